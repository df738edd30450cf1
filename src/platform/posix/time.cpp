// Sleeping, the clock and local time.
#include <time.h>

#include <cerrno>
#include <ctime>

#include "platform_internal.h"
#include "platform.h"

namespace platform {

void SleepMilliseconds(uint32_t milliseconds) {
    internal::CountSleep(milliseconds);
    struct timespec remaining;
    remaining.tv_sec = milliseconds / 1000;
    remaining.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    // A signal cuts nanosleep short; the caller asked for the whole wait.
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

int64_t CurrentTime() { return static_cast<int64_t>(std::time(nullptr)); }

namespace internal {

bool LocalCalendar(int64_t seconds, std::tm* out) {
    time_t when = static_cast<time_t>(seconds);
    if (static_cast<int64_t>(when) != seconds) return false;
    tzset();
    return localtime_r(&when, out) != nullptr;
}

}  // namespace internal
}  // namespace platform
