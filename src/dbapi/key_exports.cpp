// DbFindPermanentKey, DbGetKeySpec and DbFindKey: which key of an open file has the segments of
// a definition, and the specification of key N.
#include "btrcall.h"
#include "key_queries.h"
#include "statistics_buffer.h"
#include "status.h"
#include "tydb.h"

using namespace tydb;

namespace {

constexpr int kNoKey = -1;

// The caller's definition comes without a length. No key of a file has more segments than the
// file has room for, so nothing past that many segments can take part in a match; a definition
// that has not ended by then matches no key.
int FindKey(int16_t handle, const void* definition, bool permanentOnly) {
    StatisticsBuffer statistics = {};
    // A failed Stat leaves the buffer cleared: no keys, so no match.
    DbFileStat(handle, &statistics);
    const int key = StatFindMatchingKey(&statistics, static_cast<const BtrKeySpec*>(definition), kSegmentCapacity);
    if (key == kNoKey || !permanentOnly) return key;
    const BtrKeySpec* first = StatFindKeySpec(&statistics, static_cast<int16_t>(key));
    if (first != nullptr && (first->flags & btr::kKeyFlagSupplemental) != 0) return kNoKey;
    return key;
}

}  // namespace

extern "C" TYDB_API int32_t TYDB_CALL DbFindPermanentKey(int16_t handle, const void* definition) {
    return FindKey(handle, definition, true);
}

extern "C" TYDB_API int32_t TYDB_CALL DbFindKey(int16_t handle, const void* definition) {
    return FindKey(handle, definition, false);
}

extern "C" TYDB_API void* TYDB_CALL DbGetKeySpec(int16_t handle, void* buffer, int16_t keyNumber) {
    if (DbFileStat(handle, buffer) != kStatusSuccess) return nullptr;
    auto* statistics = static_cast<StatisticsBuffer*>(buffer);
    return const_cast<BtrKeySpec*>(StatFindKeySpec(statistics, keyNumber));
}
