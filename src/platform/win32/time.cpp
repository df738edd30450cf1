// Sleeping, the clock and local time through the Windows kernel and runtime.
#include <time.h>

#include <ctime>

#include "platform_internal.h"
#include "platform.h"
#include "windows_api.h"

namespace platform {

void SleepMilliseconds(uint32_t milliseconds) {
    internal::CountSleep(milliseconds);
    Sleep(milliseconds);
}

int64_t CurrentTime() { return static_cast<int64_t>(_time64(nullptr)); }

namespace internal {

bool LocalCalendar(int64_t seconds, std::tm* out) {
    __time64_t when = static_cast<__time64_t>(seconds);
    _tzset();
    return _localtime64_s(out, &when) == 0;
}

}  // namespace internal
}  // namespace platform
