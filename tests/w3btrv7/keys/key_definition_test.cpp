// Segment validation, null keys and key values read out of records. How Create builds a key
// definition from its specifications is tested through BTRCALL (../key_definitions_test.cpp).
#include "key_test_util.h"

namespace {

using namespace keytest;
using w3b::KeyDef;

BtrKeySpec Spec(uint8_t type, int16_t length, uint16_t flags = 0, int16_t position = 1) {
    BtrKeySpec spec{};
    spec.position = position;
    spec.length = length;
    spec.flags = static_cast<uint16_t>(flags | btr::kKeyFlagExtendedType);
    spec.extendedType = type;
    return spec;
}

BtrKeySpec OldStyleSpec(int16_t length, uint16_t flags) {
    BtrKeySpec spec{};
    spec.position = 1;
    spec.length = length;
    spec.flags = flags;
    return spec;
}

// ---- ValidateSegment ----

TEST(KeySegmentValidation, AcceptsEveryTypeAtItsAllowedLengths) {
    const struct {
        uint8_t type;
        std::vector<int16_t> lengths;
    } cases[] = {
        {btr::kTypeString, {1, 2, 255}},
        {btr::kTypeInteger, {1, 2, 4, 8}},
        {btr::kTypeFloat, {4, 8}},
        {btr::kTypeDate, {4}},
        {btr::kTypeTime, {4}},
        {btr::kTypeDecimal, {1, 7, 255}},
        {btr::kTypeMoney, {1, 8, 255}},
        {btr::kTypeLogical, {1, 2}},
        {btr::kTypeNumeric, {1, 10, 255}},
        {btr::kTypeBfloat, {4, 8}},
        {btr::kTypeLstring, {2, 255}},
        {btr::kTypeZstring, {2, 255}},
        {btr::kTypeUnsignedBinary, {1, 3, 255}},
        {btr::kTypeAutoincrement, {2, 4}},
        {btr::kTypeNumericSts, {2, 255}},
        {btr::kTypeNumericSa, {1, 255}},
        {btr::kTypeCurrency, {8}},
        {btr::kTypeTimestamp, {8}},
    };
    for (const auto& c : cases) {
        for (int16_t length : c.lengths) {
            EXPECT_EQ(w3b::ValidateSegment(Spec(c.type, length)), btr::kStatusSuccess)
                << "type " << int(c.type) << " length " << length;
        }
    }
}

TEST(KeySegmentValidation, RejectsLengthsTheTypeDoesNotAllow) {
    const struct {
        uint8_t type;
        std::vector<int16_t> lengths;
    } cases[] = {
        {btr::kTypeString, {0, 256, -1}},
        {btr::kTypeInteger, {3, 5, 6, 7, 16}},
        {btr::kTypeFloat, {2, 6, 10}},
        {btr::kTypeDate, {2, 3, 8}},
        {btr::kTypeTime, {3, 5}},
        {btr::kTypeDecimal, {0, 256}},
        {btr::kTypeLogical, {3, 4}},
        {btr::kTypeBfloat, {2, 6}},
        {btr::kTypeLstring, {1, 256}},
        {btr::kTypeZstring, {1}},
        {btr::kTypeUnsignedBinary, {0, 256}},
        {btr::kTypeAutoincrement, {1, 3, 8}},
        {btr::kTypeNumericSts, {1}},
        {btr::kTypeCurrency, {4, 7}},
        {btr::kTypeTimestamp, {4, 16}},
    };
    for (const auto& c : cases) {
        for (int16_t length : c.lengths) {
            EXPECT_EQ(w3b::ValidateSegment(Spec(c.type, length)), btr::kStatusInvalidKeyLength)
                << "type " << int(c.type) << " length " << length;
        }
    }
}

TEST(KeySegmentValidation, RejectsUnknownTypes) {
    for (int type : {12, 13, 16, 21, 22, 23, 24, 25, 26, 27, 30, 31, 100, 255}) {
        EXPECT_EQ(w3b::ValidateSegment(Spec(static_cast<uint8_t>(type), 4)), btr::kStatusKeyTypeError)
            << "type " << type;
    }
    // An unknown type is reported even when its length would be wrong for anything.
    EXPECT_EQ(w3b::ValidateSegment(Spec(16, 0)), btr::kStatusKeyTypeError);
}

TEST(KeySegmentValidation, AutoincrementMustBeUniqueAndAlone) {
    EXPECT_EQ(w3b::ValidateSegment(Spec(btr::kTypeAutoincrement, 4, btr::kKeyFlagDuplicates)),
              btr::kStatusKeyTypeError);
    EXPECT_EQ(w3b::ValidateSegment(Spec(btr::kTypeAutoincrement, 4, btr::kKeyFlagSegmented)), btr::kStatusKeyTypeError);
    EXPECT_EQ(w3b::ValidateSegment(Spec(btr::kTypeAutoincrement, 4, btr::kKeyFlagModifiable)), btr::kStatusSuccess);
}

TEST(KeySegmentValidation, CollationFlagsOnlyOnStringTypes) {
    for (uint16_t flag : {btr::kKeyFlagAlternateSequence, btr::kKeyFlagNoCase,
                          static_cast<uint16_t>(btr::kKeyFlagAlternateSequence | btr::kKeyFlagNoCase)}) {
        EXPECT_EQ(w3b::ValidateSegment(Spec(btr::kTypeString, 4, flag)), btr::kStatusSuccess);
        EXPECT_EQ(w3b::ValidateSegment(Spec(btr::kTypeLstring, 4, flag)), btr::kStatusSuccess);
        EXPECT_EQ(w3b::ValidateSegment(Spec(btr::kTypeZstring, 4, flag)), btr::kStatusSuccess);
        EXPECT_EQ(w3b::ValidateSegment(OldStyleSpec(4, flag)), btr::kStatusSuccess);
        EXPECT_EQ(w3b::ValidateSegment(Spec(btr::kTypeInteger, 4, flag)), btr::kStatusInconsistentKeyFlags);
        EXPECT_EQ(w3b::ValidateSegment(Spec(btr::kTypeNumeric, 4, flag)), btr::kStatusInconsistentKeyFlags);
        EXPECT_EQ(w3b::ValidateSegment(OldStyleSpec(4, flag | btr::kKeyFlagBinary)), btr::kStatusInconsistentKeyFlags);
    }
}

TEST(KeySegmentValidation, NamedSequenceFlagOnlyInItsCombination) {
    EXPECT_EQ(w3b::ValidateSegment(Spec(btr::kTypeString, 4, 0x0C20)), btr::kStatusSuccess);
    EXPECT_EQ(w3b::ValidateSegment(Spec(btr::kTypeString, 4, 0x0800)), btr::kStatusInconsistentKeyFlags);
    EXPECT_EQ(w3b::ValidateSegment(Spec(btr::kTypeString, 4, 0x0820)), btr::kStatusInconsistentKeyFlags);
}

TEST(KeySegmentValidation, OldStyleBinaryNeedsEvenLength) {
    EXPECT_EQ(w3b::ValidateSegment(OldStyleSpec(4, btr::kKeyFlagBinary)), btr::kStatusSuccess);
    EXPECT_EQ(w3b::ValidateSegment(OldStyleSpec(3, btr::kKeyFlagBinary)), btr::kStatusInvalidKeyLength);
    EXPECT_EQ(w3b::ValidateSegment(OldStyleSpec(3, 0)), btr::kStatusSuccess);
    // With an extended type the binary flag means nothing.
    EXPECT_EQ(w3b::ValidateSegment(Spec(btr::kTypeString, 3, btr::kKeyFlagBinary)), btr::kStatusSuccess);
}

TEST(KeySegmentValidation, EffectiveTypeResolvesOldStyleFlags) {
    EXPECT_EQ(w3b::EffectiveType(OldStyleSpec(4, 0)), btr::kTypeString);
    EXPECT_EQ(w3b::EffectiveType(OldStyleSpec(4, btr::kKeyFlagBinary)), btr::kTypeUnsignedBinary);
    BtrKeySpec ignoredType = OldStyleSpec(4, 0);
    ignoredType.extendedType = btr::kTypeInteger;  // not used without the extended-type flag
    EXPECT_EQ(w3b::EffectiveType(ignoredType), btr::kTypeString);
    EXPECT_EQ(w3b::EffectiveType(Spec(btr::kTypeFloat, 8, btr::kKeyFlagBinary)), btr::kTypeFloat);
}

// ---- null keys ----

KeyDef TwoSegmentNullKey(bool all, bool any) {
    KeyDef key = Key({Segment(btr::kTypeString, 2), Segment(btr::kTypeZstring, 3)});
    key.segments[0].nullValue = ' ';
    key.segments[1].nullValue = 0;
    key.nullAll = all;
    key.nullAny = any;
    return key;
}

TEST(NullKeyRule, AllSegmentsRuleNeedsEverySegmentNull) {
    const KeyDef key = TwoSegmentNullKey(true, false);
    EXPECT_TRUE(w3b::IsNullKey(key, Concat({Text("  "), {0, 0, 0}}).data()));
    EXPECT_FALSE(w3b::IsNullKey(key, Concat({Text("  "), {0, 0, 1}}).data()));
    EXPECT_FALSE(w3b::IsNullKey(key, Concat({Text(" x"), {0, 0, 0}}).data()));
}

TEST(NullKeyRule, AnySegmentRuleNeedsOneSegmentNull) {
    const KeyDef key = TwoSegmentNullKey(false, true);
    EXPECT_TRUE(w3b::IsNullKey(key, Concat({Text("  "), {'a', 0, 0}}).data()));
    EXPECT_TRUE(w3b::IsNullKey(key, Concat({Text("ab"), {0, 0, 0}}).data()));
    EXPECT_FALSE(w3b::IsNullKey(key, Concat({Text("ab"), {0, 'x', 0}}).data()));
}

TEST(NullKeyRule, ZstringIsNullOnlyWhenEveryByteIsTheNullValue) {
    // A leading NUL makes an empty text, not a null segment.
    const KeyDef key = TwoSegmentNullKey(false, true);
    EXPECT_FALSE(w3b::IsNullKey(key, Concat({Text("ab"), {0, 'x', 'y'}}).data()));
}

TEST(NullKeyRule, NullDetectionUsesRawBytesNotCollation) {
    KeyDef key = Key({Segment(btr::kTypeString, 2, false, w3b::CaseFoldMap())});
    key.segments[0].nullValue = 'A';
    key.nullAll = true;
    EXPECT_TRUE(w3b::IsNullKey(key, Text("AA").data()));
    EXPECT_FALSE(w3b::IsNullKey(key, Text("aa").data()));
}

TEST(NullKeyRule, KeyWithoutNullRuleIsNeverNull) {
    const KeyDef key = TwoSegmentNullKey(false, false);
    EXPECT_FALSE(w3b::IsNullKey(key, Concat({Text("  "), {0, 0, 0}}).data()));
}

// ---- key values from records ----

TEST(KeyValueFromRecord, ExtractConcatenatesSegmentsInKeyOrder) {
    KeyDef key;
    key.segments = {Segment(btr::kTypeString, 2), Segment(btr::kTypeInteger, 2)};
    key.segments[0].offset = 6;
    key.segments[1].offset = 1;  // segments out of record order and overlapping nothing
    const Bytes record = Text("0123456789");
    Bytes value(key.TotalLength());
    w3b::ExtractKeyValue(key, record.data(), value.data());
    EXPECT_EQ(value, Text("6712"));
}

TEST(KeyValueFromRecord, OverlappingSegmentsReadTheSameBytes) {
    KeyDef key;
    key.segments = {Segment(btr::kTypeString, 4), Segment(btr::kTypeString, 3)};
    key.segments[0].offset = 2;
    key.segments[1].offset = 3;
    const Bytes record = Text("abcdefgh");
    Bytes value(key.TotalLength());
    w3b::ExtractKeyValue(key, record.data(), value.data());
    EXPECT_EQ(value, Text("cdefdef"));
}

TEST(KeyValueFromRecord, RecordEncodingEqualsEncodingOfExtractedValue) {
    KeyDef key;
    key.segments = {Segment(btr::kTypeZstring, 4, true, w3b::CaseFoldMap()), Segment(btr::kTypeInteger, 4)};
    key.segments[0].offset = 8;
    key.segments[1].offset = 2;
    const Bytes record = Text(std::string("xy\x05\0\0\x80zzab\0q", 12));
    Bytes value(key.TotalLength());
    w3b::ExtractKeyValue(key, record.data(), value.data());
    std::string fromRecord;
    std::string fromValue = "stale bytes are replaced";
    w3b::EncodeRecordKey(key, record.data(), &fromRecord);
    w3b::EncodeKeyValue(key, value.data(), &fromValue);
    EXPECT_EQ(fromRecord, fromValue);
    EXPECT_FALSE(fromRecord.empty());
}

TEST(KeyValueFromRecord, TotalLengthSumsSegments) {
    EXPECT_EQ(KeyDef().TotalLength(), 0u);
    EXPECT_EQ(Key({Segment(btr::kTypeString, 7), Segment(btr::kTypeFloat, 8)}).TotalLength(), 15u);
}

TEST(KeyValueFromRecord, CaseFoldMapFoldsOnlyLowerCaseAscii) {
    const uint8_t* fold = w3b::CaseFoldMap();
    for (int i = 0; i < 256; ++i) {
        const int expected = (i >= 'a' && i <= 'z') ? i - 32 : i;
        EXPECT_EQ(fold[i], expected) << i;
    }
}

}  // namespace
