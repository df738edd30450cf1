// Integers and texts between the file and the caller's buffers.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "value_text.h"

namespace {

using tywreg::ParseInteger;

TEST(TyWRegParseInteger, AcceptsTheFullSignedRangeInDecimal) {
    EXPECT_EQ(ParseInteger("2147483647"), INT32_MAX);
    EXPECT_EQ(ParseInteger("-2147483648"), INT32_MIN);
    EXPECT_EQ(ParseInteger("-0"), 0);
    EXPECT_EQ(ParseInteger("007"), 7);
    EXPECT_FALSE(ParseInteger("2147483648").has_value());
    EXPECT_FALSE(ParseInteger("-2147483649").has_value());
    EXPECT_FALSE(ParseInteger("18446744073709551617").has_value());
}

TEST(TyWRegParseInteger, HexTakesAllThirtyTwoBits) {
    EXPECT_EQ(ParseInteger("0x7FFFFFFF"), INT32_MAX);
    EXPECT_EQ(ParseInteger("0x80000000"), INT32_MIN);
    EXPECT_EQ(ParseInteger("0xffffffff"), -1);
    EXPECT_EQ(ParseInteger("-0x80000000"), INT32_MIN);
    EXPECT_FALSE(ParseInteger("-0x80000001").has_value());
    EXPECT_FALSE(ParseInteger("0x1FFFFFFFF").has_value());
    EXPECT_FALSE(ParseInteger("0xG").has_value());
}

TEST(TyWRegParseInteger, OnlyBlanksMaySurroundTheNumber) {
    EXPECT_EQ(ParseInteger(" \t5\t "), 5);
    EXPECT_FALSE(ParseInteger("5;").has_value());
    EXPECT_FALSE(ParseInteger("- 5").has_value());
    EXPECT_FALSE(ParseInteger(" ").has_value());
    EXPECT_FALSE(ParseInteger("+").has_value());
}

TEST(TyWRegFormatInteger, ReadsBackAsTheSameValue) {
    for (int32_t value : {0, 1, -1, INT32_MAX, INT32_MIN, 123456}) {
        EXPECT_EQ(ParseInteger(tywreg::FormatInteger(value)), value);
    }
}

TEST(TyWRegCopyToBuffer, NeverWritesPastTheSize) {
    char buffer[6];
    std::memset(buffer, '#', sizeof buffer);
    tywreg::CopyToBuffer("hello world", buffer, 3);
    EXPECT_EQ(std::string(buffer, 6), std::string("he\0###", 6));
    tywreg::CopyToBuffer("", buffer, 6);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], 'e');
}

}  // namespace
