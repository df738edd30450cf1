// The calendar-time text of log entries, formed by hand so that every platform writes the
// same bytes: the C runtimes disagree on how the day of the month is padded.
#include <cstdio>
#include <cstring>

#include "platform_internal.h"
#include "platform.h"

namespace platform {
namespace internal {

namespace {
constexpr const char* kDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
}  // namespace

void FormatCalendar(const std::tm& when, char out[26]) {
    out[0] = '\0';
    if (when.tm_wday < 0 || when.tm_wday > 6 || when.tm_mon < 0 || when.tm_mon > 11) return;
    if (when.tm_mday < 1 || when.tm_mday > 31 || when.tm_hour < 0 || when.tm_hour > 23) return;
    if (when.tm_min < 0 || when.tm_min > 59 || when.tm_sec < 0 || when.tm_sec > 60) return;
    // tm_year counts from 1900; only four-digit years fit the fixed width.
    if (when.tm_year < -1900 || when.tm_year > 9999 - 1900) return;
    // Every field was range-checked above, so the text is exactly 24 characters and '\n'; the
    // larger scratch buffer only keeps the compiler from doubting that.
    char text[64];
    int length = std::snprintf(text, sizeof(text), "%s %s %02d %02d:%02d:%02d %04d\n", kDayNames[when.tm_wday],
                               kMonthNames[when.tm_mon], when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec,
                               when.tm_year + 1900);
    if (length != 25) return;
    std::memcpy(out, text, 26);
}

}  // namespace internal

void FormatCalendarTime(int64_t seconds, char out[26]) {
    if (out == nullptr) return;
    out[0] = '\0';
    std::tm when{};
    if (!internal::LocalCalendar(seconds, &when)) return;
    internal::FormatCalendar(when, out);
}

bool LocalDateAndTime(int64_t seconds, int32_t* date, int32_t* time) {
    int32_t day = 0;
    int32_t clock = 0;
    std::tm when{};
    const bool known = internal::LocalCalendar(seconds, &when);
    if (known) {
        day = (when.tm_year + 1900) * 10000 + (when.tm_mon + 1) * 100 + when.tm_mday;
        clock = when.tm_hour * 10000 + when.tm_min * 100 + when.tm_sec;
    }
    if (date != nullptr) *date = day;
    if (time != nullptr) *time = clock;
    return known;
}

}  // namespace platform
