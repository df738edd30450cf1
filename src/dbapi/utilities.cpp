// The exported wait and no-op.
#include "platform.h"
#include "tydb.h"

namespace {
// One unit of DbWait; the retry loops of the library wait 3 units between attempts.
constexpr uint32_t kWaitUnitMilliseconds = 56;
}  // namespace

extern "C" TYDB_API int32_t TYDB_CALL DbWait(int32_t count) {
    // Counted in 32 bits, so every count ends; zero or less returns at once.
    for (int32_t i = 0; i < count; ++i) platform::SleepMilliseconds(kWaitUnitMilliseconds);
    return 0;
}

extern "C" TYDB_API int32_t TYDB_CALL DbNop(void) { return 0; }
