// Sleeping, the clock and the calendar-time text.
#include <cstring>
#include <ctime>
#include <string>

#include <gtest/gtest.h>

#include "platform.h"
#include "test_support.h"

namespace {

using testsupport::ScopedEnv;

std::string Format(int64_t seconds) {
    char text[26];
    std::memset(text, 'x', sizeof(text));
    platform::FormatCalendarTime(seconds, text);
    return std::string(text);
}

TEST(CalendarTime, EpochInUtc) {
    ScopedEnv tz("TZ", "UTC");
    EXPECT_EQ("Thu Jan 01 00:00:00 1970\n", Format(0));
}

TEST(CalendarTime, SingleDigitDayIsZeroPadded) {
    ScopedEnv tz("TZ", "UTC");
    std::string text = Format(1000000000);  // 2001-09-09 01:46:40 UTC
    EXPECT_EQ("Sun Sep 09 01:46:40 2001\n", text);
    EXPECT_EQ(25u, text.size());
}

TEST(CalendarTime, TwoDigitDayAndAfternoon) {
    ScopedEnv tz("TZ", "UTC");
    EXPECT_EQ("Mon Dec 07 13:05:09 2026\n", Format(1796648709));
    EXPECT_EQ("Sat Feb 29 23:59:59 2020\n", Format(1583020799));
}

TEST(CalendarTime, UsesLocalTimeZone) {
    ScopedEnv tz("TZ", "EST5");
    EXPECT_EQ("Wed Dec 31 19:00:00 1969\n", Format(0));
}

#ifdef _WIN32
TEST(CalendarTime, TimesBeyondTheRuntimesYear3000GiveEmptyText) {
    // The Windows runtime converts local times up to the end of the year 3000.
    ScopedEnv tz("TZ", "UTC");
    EXPECT_EQ("Wed Dec 31 23:59:59 3000\n", Format(32535215999));
    EXPECT_EQ("", Format(32535244800));  // 3001-01-01 08:00:00, past every runtime's limit
    EXPECT_EQ("", Format(253402300800));
    EXPECT_EQ("", Format(INT64_MAX));
}

TEST(CalendarTime, TimesBeforeNineteenSeventyGiveEmptyText) {
    ScopedEnv tz("TZ", "UTC");
    EXPECT_EQ("", Format(-1));
    EXPECT_EQ("", Format(INT64_MIN));
}
#else
TEST(CalendarTime, YearsBeyondFourDigitsGiveEmptyText) {
    ScopedEnv tz("TZ", "UTC");
    EXPECT_EQ("Fri Dec 31 23:59:59 9999\n", Format(253402300799));
    EXPECT_EQ("", Format(253402300800));
    EXPECT_EQ("", Format(INT64_MAX));
}
#endif

TEST(CalendarTime, NullOutputIsIgnored) { platform::FormatCalendarTime(0, nullptr); }

TEST(Clock, CurrentTimeIsTheSystemClock) {
    int64_t before = static_cast<int64_t>(std::time(nullptr));
    int64_t now = platform::CurrentTime();
    int64_t after = static_cast<int64_t>(std::time(nullptr));
    EXPECT_LE(before, now);
    EXPECT_LE(now, after);
}

TEST(Sleeping, CountersRecordEachSleep) {
    uint64_t count = platform::testing::SleepCount();
    uint64_t slept = platform::testing::SleptMilliseconds();
    platform::SleepMilliseconds(3);
    platform::SleepMilliseconds(0);
    platform::SleepMilliseconds(2);
    EXPECT_EQ(count + 3, platform::testing::SleepCount());
    EXPECT_EQ(slept + 5, platform::testing::SleptMilliseconds());
}

}  // namespace
