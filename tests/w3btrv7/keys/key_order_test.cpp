// The sort order of each key type on hand-picked values: the documented collation vectors and
// the edges of every type, checked on both the encoder and the independent comparator.
#include <cmath>
#include <limits>

#include "key_test_util.h"

namespace {

using namespace keytest;
using w3b::KeyDef;

std::array<uint8_t, 256> UpperCaseAcs() {
    std::array<uint8_t, 256> map{};
    for (int i = 0; i < 256; ++i) map[i] = static_cast<uint8_t>(i >= 'a' && i <= 'z' ? i - 32 : i);
    return map;
}

// ---- the documented collation vectors ----

TEST(CollationVectors, Integer2OrdersBySignedValue) {
    ExpectAscending(Key({Segment(btr::kTypeInteger, 2)}), {{0xFF, 0xFF}, {0x00, 0x00}, {0x00, 0x01}});
}

TEST(CollationVectors, UnsignedBinary2OrdersByLittleEndianValue) {
    ExpectAscending(Key({Segment(btr::kTypeUnsignedBinary, 2)}),
                    {{0x00, 0x00}, {0xFF, 0x00}, {0x00, 0x01}, {0xFF, 0xFF}});
}

TEST(CollationVectors, StringOrdersBytewiseWithBlanksFirst) {
    ExpectAscending(Key({Segment(btr::kTypeString, 4)}), {Text("AB  "), Text("ABC "), Text("B   ")});
}

TEST(CollationVectors, UpperCaseAcsMakesCasesOneValue) {
    const auto acs = UpperCaseAcs();
    const KeyDef key = Key({Segment(btr::kTypeString, 4, false, acs.data())});
    ExpectSameKey(key, Text("abc "), Text("ABC "));
    ExpectAscending(key, {Text("abc "), Text("abd "), Text("ABE ")});
}

TEST(CollationVectors, LstringShorterPrefixFirstThenText) {
    ExpectAscending(Key({Segment(btr::kTypeLstring, 5)}),
                    {Concat({{2}, Text("ABxx")}), Concat({{3}, Text("ABCx")}), Concat({{1}, Text("Bxxx")})});
}

TEST(CollationVectors, ZstringIgnoresBytesAfterNul) {
    const KeyDef key = Key({Segment(btr::kTypeZstring, 5)});
    ExpectSameKey(key, Text(std::string("AB\0xx", 5)), Text(std::string("AB\0yy", 5)));
    ExpectAscending(key, {Text(std::string("AB\0xx", 5)), Text(std::string("ABC\0\0", 5))});
}

TEST(CollationVectors, DateOrdersByYearMonthDay) {
    ExpectAscending(Key({Segment(btr::kTypeDate, 4)}), {{0x1F, 0x0C, 0xCF, 0x07}, {0x01, 0x01, 0xD0, 0x07}});
}

TEST(CollationVectors, TimeOrdersByHourMinuteSecondHundredth) {
    ExpectAscending(Key({Segment(btr::kTypeTime, 4)}), {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 0, 9}, {0, 0, 0, 10}});
}

TEST(CollationVectors, DescendingInteger2ReversesOrder) {
    ExpectAscending(Key({Segment(btr::kTypeInteger, 2, true)}), {{0x00, 0x01}, {0x00, 0x00}, {0xFF, 0xFF}});
}

TEST(CollationVectors, SegmentedAscendingIntegerDescendingString) {
    const KeyDef key = Key({Segment(btr::kTypeInteger, 2), Segment(btr::kTypeString, 2, true)});
    ExpectAscending(key, {Concat({{1, 0}, Text("B ")}), Concat({{1, 0}, Text("A ")}), Concat({{2, 0}, Text("Z ")})});
}

// ---- strings ----

TEST(StringOrder, CaseFoldOnlyFoldsAsciiLetters) {
    const KeyDef key = Key({Segment(btr::kTypeString, 1, false, w3b::CaseFoldMap())});
    ExpectSameKey(key, {'a'}, {'A'});
    ExpectSameKey(key, {'z'}, {'Z'});
    // '[' (0x5B) lies between 'Z' and 'a'; folded letters sort below it.
    ExpectAscending(key, {{'@'}, {'a'}, {'b'}, {'Z'}, {'['}, {'`'}, {'{'}, {0xE4}, {0xF6}});
}

TEST(StringOrder, CollationAppliesToTextBytesNotLengthByte) {
    // A map that would move the length byte 2 above 3 must not change which text is longer.
    std::array<uint8_t, 256> map{};
    for (int i = 0; i < 256; ++i) map[i] = static_cast<uint8_t>(i);
    map[2] = 200;
    const KeyDef key = Key({Segment(btr::kTypeLstring, 4, false, map.data())});
    ExpectAscending(key, {Concat({{2}, Text("AAx")}), Concat({{3}, Text("AAA")})});
}

TEST(StringOrder, TextBytesMappedToZeroStillSortAfterShorterText) {
    std::array<uint8_t, 256> map{};
    for (int i = 0; i < 256; ++i) map[i] = static_cast<uint8_t>(i);
    map['#'] = 0;
    const KeyDef key = Key({Segment(btr::kTypeZstring, 4, false, map.data())});
    ExpectAscending(key, {Text(std::string("A\0\0\0", 4)), Text(std::string("A#\0\0", 4)),
                          Text(std::string("A#\x01\0", 4)), Text(std::string("A\x01\0\0", 4))});
}

TEST(StringOrder, LstringLengthBeyondFieldCountsOnlyFieldBytes) {
    const KeyDef key = Key({Segment(btr::kTypeLstring, 4)});
    ExpectSameKey(key, Concat({{3}, Text("ABC")}), Concat({{200}, Text("ABC")}));
    ExpectAscending(key, {Concat({{2}, Text("ABC")}), Concat({{255}, Text("ABC")})});
}

TEST(StringOrder, LstringBytesAfterLengthIgnored) {
    const KeyDef key = Key({Segment(btr::kTypeLstring, 5)});
    ExpectSameKey(key, Concat({{2}, Text("ABxy")}), Concat({{2}, Text("AB\0\0")}));
    ExpectSameKey(key, Concat({{0}, Text("ABxy")}), Concat({{0}, Text("zzzz")}));
}

TEST(StringOrder, ZstringWithoutNulUsesWholeField) {
    const KeyDef key = Key({Segment(btr::kTypeZstring, 3)});
    ExpectAscending(key, {Text(std::string("AB\0", 3)), Text("ABC"), Text("ABD")});
}

TEST(StringOrder, EmptyTextSortsFirst) {
    const KeyDef key = Key({Segment(btr::kTypeZstring, 3)});
    ExpectAscending(key, {Text(std::string("\0zz", 3)), Text(std::string("\x01\0\0", 3))});
}

// ---- integers ----

TEST(IntegerOrder, EveryWidthOrdersBySignedValue) {
    ExpectAscending(Key({Segment(btr::kTypeInteger, 1)}), {{0x80}, {0xFF}, {0x00}, {0x01}, {0x7F}});
    ExpectAscending(Key({Segment(btr::kTypeInteger, 4)}),
                    {LittleEndian<int32_t>(INT32_MIN), LittleEndian<int32_t>(-65536), LittleEndian<int32_t>(-1),
                     LittleEndian<int32_t>(0), LittleEndian<int32_t>(255), LittleEndian<int32_t>(256),
                     LittleEndian<int32_t>(INT32_MAX)});
    ExpectAscending(Key({Segment(btr::kTypeInteger, 8)}),
                    {LittleEndian<int64_t>(INT64_MIN), LittleEndian<int64_t>(INT64_MIN + 1), LittleEndian<int64_t>(-1),
                     LittleEndian<int64_t>(0), LittleEndian<int64_t>(1), LittleEndian<int64_t>(INT64_MAX - 1),
                     LittleEndian<int64_t>(INT64_MAX)});
}

TEST(IntegerOrder, CurrencyIsSigned64) {
    ExpectAscending(Key({Segment(btr::kTypeCurrency, 8)}),
                    {LittleEndian<int64_t>(INT64_MIN), LittleEndian<int64_t>(-10000), LittleEndian<int64_t>(0),
                     LittleEndian<int64_t>(10000), LittleEndian<int64_t>(INT64_MAX)});
}

TEST(IntegerOrder, UnsignedValuesAtAndAbove2To63SortAboveSmallerOnes) {
    const std::vector<Bytes> ascending = {LittleEndian<uint64_t>(0),
                                          LittleEndian<uint64_t>(1),
                                          LittleEndian<uint64_t>(INT64_MAX),
                                          LittleEndian<uint64_t>(uint64_t{1} << 63),
                                          LittleEndian<uint64_t>((uint64_t{1} << 63) + 1),
                                          LittleEndian<uint64_t>(UINT64_MAX)};
    ExpectAscending(Key({Segment(btr::kTypeUnsignedBinary, 8)}), ascending);
    ExpectAscending(Key({Segment(btr::kTypeTimestamp, 8)}), ascending);
}

TEST(IntegerOrder, UnsignedBinaryOfOddAndLongWidthsOrdersByValue) {
    // 3 bytes: 0x000100 < 0x0000FF would be wrong; the last byte is the most significant.
    ExpectAscending(Key({Segment(btr::kTypeUnsignedBinary, 3)}),
                    {{0xFF, 0xFF, 0x00}, {0x00, 0x00, 0x01}, {0x01, 0x00, 0x01}, {0x00, 0x01, 0x01}});
    Bytes low(255, 0xFF);
    low[254] = 0x00;
    Bytes high(255, 0x00);
    high[254] = 0x01;
    ExpectAscending(Key({Segment(btr::kTypeUnsignedBinary, 255)}), {Bytes(255, 0), low, high, Bytes(255, 0xFF)});
}

TEST(IntegerOrder, AutoincrementOrdersAsUnsigned) {
    ExpectAscending(Key({Segment(btr::kTypeAutoincrement, 2)}),
                    {LittleEndian<uint16_t>(1), LittleEndian<uint16_t>(255), LittleEndian<uint16_t>(256),
                     LittleEndian<uint16_t>(32767), LittleEndian<uint16_t>(32768)});
    ExpectAscending(Key({Segment(btr::kTypeAutoincrement, 4)}),
                    {LittleEndian<uint32_t>(1), LittleEndian<uint32_t>(65536), LittleEndian<uint32_t>(0x80000000u)});
}

TEST(IntegerOrder, LogicalOrdersAsUnsigned) {
    ExpectAscending(Key({Segment(btr::kTypeLogical, 1)}), {{0}, {1}, {0x80}, {0xFF}});
    ExpectAscending(Key({Segment(btr::kTypeLogical, 2)}), {{0, 0}, {1, 0}, {0, 1}});
}

// ---- floating point ----

TEST(FloatOrder, DoubleEdgesInNumericOrder) {
    const double inf = std::numeric_limits<double>::infinity();
    ExpectAscending(
        Key({Segment(btr::kTypeFloat, 8)}),
        {LittleEndian(-inf), LittleEndian(-std::numeric_limits<double>::max()), LittleEndian(-1.5),
         LittleEndian(-std::numeric_limits<double>::denorm_min()), LittleEndian(0.0),
         LittleEndian(std::numeric_limits<double>::denorm_min()), LittleEndian(std::numeric_limits<double>::min()),
         LittleEndian(1.0), LittleEndian(1.5), LittleEndian(std::numeric_limits<double>::max()), LittleEndian(inf),
         LittleEndian(std::numeric_limits<double>::quiet_NaN())});
}

TEST(FloatOrder, FloatEdgesInNumericOrder) {
    const float inf = std::numeric_limits<float>::infinity();
    ExpectAscending(
        Key({Segment(btr::kTypeFloat, 4)}),
        {LittleEndian(-inf), LittleEndian(-3.0f), LittleEndian(-0.25f), LittleEndian(0.0f), LittleEndian(0.25f),
         LittleEndian(3.0f), LittleEndian(inf), LittleEndian(std::numeric_limits<float>::quiet_NaN())});
}

TEST(FloatOrder, NegativeZeroEqualsPositiveZero) {
    ExpectSameKey(Key({Segment(btr::kTypeFloat, 8)}), LittleEndian(-0.0), LittleEndian(0.0));
    ExpectSameKey(Key({Segment(btr::kTypeFloat, 4)}), LittleEndian(-0.0f), LittleEndian(0.0f));
}

TEST(FloatOrder, AllNaNsAreOneValueAboveInfinity) {
    const KeyDef key = Key({Segment(btr::kTypeFloat, 8)});
    const Bytes quiet = LittleEndian(std::numeric_limits<double>::quiet_NaN());
    const Bytes negativeNan = LittleEndian(-std::numeric_limits<double>::quiet_NaN());
    const Bytes signalling = LittleEndian<uint64_t>(0x7FF0000000000001ull);
    ExpectSameKey(key, quiet, negativeNan);
    ExpectSameKey(key, quiet, signalling);
    ExpectAscending(key, {LittleEndian(std::numeric_limits<double>::infinity()), signalling});
    ExpectSameKey(Key({Segment(btr::kTypeFloat, 4)}), LittleEndian<uint32_t>(0xFFC00000u),
                  LittleEndian<uint32_t>(0x7F800001u));
}

// MBF single: mantissa bytes 0-2 (sign in bit 7 of byte 2), exponent in byte 3.
Bytes Mbf4(bool negative, uint8_t exponent, uint32_t mantissa) {
    return {static_cast<uint8_t>(mantissa), static_cast<uint8_t>(mantissa >> 8),
            static_cast<uint8_t>(((mantissa >> 16) & 0x7F) | (negative ? 0x80 : 0)), exponent};
}

TEST(BfloatOrder, SingleOrdersBySignExponentMantissa) {
    // 1.0 is 0x81 with an empty mantissa, 0.5 is 0x80, 3.0 is 0x82 with the top mantissa bit.
    ExpectAscending(
        Key({Segment(btr::kTypeBfloat, 4)}),
        {Mbf4(true, 0xFF, 0x7FFFFF), Mbf4(true, 0x82, 0x400000), Mbf4(true, 0x81, 0), Mbf4(true, 0x80, 0),
         Mbf4(true, 0x01, 0), Mbf4(false, 0, 0), Mbf4(false, 0x01, 0), Mbf4(false, 0x80, 0), Mbf4(false, 0x81, 0),
         Mbf4(false, 0x81, 1), Mbf4(false, 0x82, 0x400000), Mbf4(false, 0xFF, 0x7FFFFF)});
}

TEST(BfloatOrder, ExponentZeroIsZeroWhateverTheOtherBits) {
    const KeyDef key = Key({Segment(btr::kTypeBfloat, 4)});
    ExpectSameKey(key, Mbf4(false, 0, 0), Mbf4(true, 0, 0x123456));
    ExpectSameKey(key, Mbf4(false, 0, 0), Mbf4(false, 0, 0x7FFFFF));
    const KeyDef wide = Key({Segment(btr::kTypeBfloat, 8)});
    ExpectSameKey(wide, Bytes(8, 0), {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00});
}

TEST(BfloatOrder, DoubleComparesFullMantissa) {
    // Two values that differ only in the lowest mantissa bit (below double precision of IEEE).
    const Bytes one = {0, 0, 0, 0, 0, 0, 0, 0x81};
    const Bytes oneAndABit = {1, 0, 0, 0, 0, 0, 0, 0x81};
    const Bytes minusOne = {0, 0, 0, 0, 0, 0, 0x80, 0x81};
    ExpectAscending(Key({Segment(btr::kTypeBfloat, 8)}), {minusOne, Bytes(8, 0), one, oneAndABit});
}

// ---- decimal types ----

TEST(DecimalOrder, PackedDecimalSignsAndMagnitudes) {
    // Three bytes: five digits and the sign nibble.
    ExpectAscending(Key({Segment(btr::kTypeDecimal, 3)}), {{0x99, 0x99, 0x9D},
                                                           {0x10, 0x00, 0x0D},
                                                           {0x00, 0x00, 0x1B},
                                                           {0x00, 0x00, 0x0F},
                                                           {0x00, 0x00, 0x1C},
                                                           {0x00, 0x00, 0x2F},
                                                           {0x00, 0x01, 0x0C},
                                                           {0x10, 0x00, 0x0F},
                                                           {0x99, 0x99, 0x9C}});
}

TEST(DecimalOrder, PositiveSignNibblesAreOneValueAndSoAreNegatives) {
    const KeyDef key = Key({Segment(btr::kTypeMoney, 2)});
    ExpectSameKey(key, {0x12, 0x3F}, {0x12, 0x3C});
    ExpectSameKey(key, {0x12, 0x3D}, {0x12, 0x3B});
}

TEST(DecimalOrder, NegativeZeroEqualsPositiveZero) {
    const KeyDef key = Key({Segment(btr::kTypeDecimal, 2)});
    ExpectSameKey(key, {0x00, 0x0D}, {0x00, 0x0F});
    ExpectSameKey(key, {0x00, 0x0B}, {0x00, 0x0C});
}

TEST(DecimalOrder, MalformedNibblesCountAsZeroAndUnknownSignsAsPositive) {
    const KeyDef key = Key({Segment(btr::kTypeDecimal, 2)});
    ExpectSameKey(key, {0xA1, 0x2F}, {0x01, 0x2F});
    ExpectSameKey(key, {0x12, 0x3A}, {0x12, 0x3F});
    ExpectSameKey(key, {0x12, 0x35}, {0x12, 0x3C});
    ExpectAscending(key, {{0x12, 0x3D}, {0xFF, 0xFE}, {0x12, 0x3E}});
}

TEST(DecimalOrder, LongestPackedDecimalOrdersByValue) {
    Bytes small(255, 0x00);
    small[254] = 0x1C;
    Bytes large(255, 0x00);
    large[0] = 0x10;
    large[254] = 0x0C;
    Bytes negativeLarge = large;
    negativeLarge[254] = 0x0D;
    ExpectAscending(Key({Segment(btr::kTypeDecimal, 255)}), {negativeLarge, small, large});
}

TEST(NumericOrder, OverpunchLettersCarrySignAndLastDigit) {
    // Three bytes, two plain digits then the overpunched last digit.
    ExpectAscending(Key({Segment(btr::kTypeNumeric, 3)}),
                    {Text("99R"), Text("12L"), Text("12J"), Text("00J"), Text("000"), Text("00A"), Text("00B"),
                     Text("12I"), Text("130"), Text("99I")});
}

TEST(NumericOrder, EqualValuesInDifferentNotations) {
    const KeyDef key = Key({Segment(btr::kTypeNumeric, 3)});
    ExpectSameKey(key, Text("12{"), Text("120"));
    ExpectSameKey(key, Text("12A"), Text("121"));
    ExpectSameKey(key, Text("00}"), Text("000"));
    ExpectSameKey(key, Text("00{"), Text("00}"));
}

TEST(NumericOrder, BlanksAndOtherNonDigitsCountAsZero) {
    const KeyDef key = Key({Segment(btr::kTypeNumeric, 4)});
    ExpectSameKey(key, Text("  12"), Text("0012"));
    ExpectSameKey(key, Text("00x2"), Text("0002"));
    ExpectSameKey(key, Text("001?"), Text("0010"));
}

TEST(NumericOrder, SignedAsciiConvention) {
    const KeyDef key = Key({Segment(btr::kTypeNumericSa, 2)});
    ExpectAscending(key, {Text("9y"), Text("1p"), Text("0q"), Text("00"), Text("01"), Text("10"), Text("99")});
    ExpectSameKey(key, Text("0p"), Text("00"));
    // Overpunch letters of the other convention are not signs here.
    ExpectSameKey(key, Text("1J"), Text("10"));
}

TEST(NumericOrder, TrailingSignByte) {
    const KeyDef key = Key({Segment(btr::kTypeNumericSts, 4)});
    ExpectAscending(key,
                    {Text("999-"), Text("010-"), Text("001-"), Text("000+"), Text("001+"), Text("010+"), Text("999+")});
    ExpectSameKey(key, Text("000-"), Text("000+"));
    ExpectSameKey(key, Text("012 "), Text("012+"));
}

// ---- descending segments ----

TEST(DescendingOrder, DescendingVariableLengthTextReversesPrefixOrder) {
    const KeyDef key = Key({Segment(btr::kTypeZstring, 4, true), Segment(btr::kTypeInteger, 1)});
    ExpectAscending(
        key, {Concat({Text(std::string("AB\0\0", 4)), {0}}), Concat({Text(std::string("A\0\0\0", 4)), {5}}),
              Concat({Text(std::string("\0\0\0\0", 4)), {0x80}}), Concat({Text(std::string("\0\0\0\0", 4)), {0x7F}})});
}

}  // namespace
