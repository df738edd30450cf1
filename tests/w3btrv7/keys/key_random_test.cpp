// Randomised agreement between the encoder and the independent comparator: for every type, many
// value pairs from generators biased towards equal values, prefixes, extremes and malformed
// input; then keys mixing types, descending segments, collating sequences and case folding.
#include <array>
#include <cmath>
#include <limits>
#include <random>

#include "key_test_util.h"

namespace {

using namespace keytest;
using w3b::KeyDef;
using w3b::SegmentDef;

constexpr int kPairsPerCase = 3000;

class ValueGenerator {
public:
    explicit ValueGenerator(uint32_t seed) : random_(seed) {}

    int Below(int bound) { return static_cast<int>(random_() % static_cast<uint32_t>(bound)); }
    uint8_t Byte() { return static_cast<uint8_t>(random_()); }
    bool OneIn(int n) { return Below(n) == 0; }
    template <typename T>
    T Pick(std::initializer_list<T> choices) {
        return *(choices.begin() + Below(static_cast<int>(choices.size())));
    }

    // A value for one segment, of segment.length bytes.
    Bytes Value(const SegmentDef& segment) {
        if (OneIn(16)) return RandomBytes(segment.length);  // anything at all, malformed included
        switch (segment.type) {
            case btr::kTypeString: return TextBytes(segment.length);
            case btr::kTypeLstring: {
                Bytes value = TextBytes(segment.length);
                value[0] = OneIn(8) ? Byte() : static_cast<uint8_t>(Below(segment.length + 2));
                return value;
            }
            case btr::kTypeZstring: {
                Bytes value = TextBytes(segment.length);
                if (!OneIn(6)) value[Below(segment.length)] = 0;
                return value;
            }
            case btr::kTypeFloat:
                return segment.length == 4 ? FloatBytes<float, uint32_t>() : FloatBytes<double, uint64_t>();
            case btr::kTypeBfloat: return MbfBytes(segment.length);
            case btr::kTypeDecimal:
            case btr::kTypeMoney: return PackedDecimalBytes(segment.length);
            case btr::kTypeNumeric: return AsciiDigits(segment.length, "{ABCDEFGHI}JKLMNOPQR0123456789 ");
            case btr::kTypeNumericSa: return AsciiDigits(segment.length, "pqrstuvwxy0123456789J{ ");
            case btr::kTypeNumericSts: return AsciiDigits(segment.length, "+-+- ");
            default: return IntegerBytes(segment.length);
        }
    }

    Bytes RandomBytes(size_t length) {
        Bytes value(length);
        for (uint8_t& b : value) b = Byte();
        return value;
    }

    // A second value near `a`: often equal, often one byte changed, sometimes unrelated.
    Bytes Near(const SegmentDef& segment, const Bytes& a) {
        switch (Below(4)) {
            case 0: return a;
            case 1: {
                Bytes b = a;
                b[Below(static_cast<int>(b.size()))] =
                    Pick<uint8_t>({0x00, 0x01, 0x7F, 0x80, 0xFF, ' ', '0', 'a', 'A', Byte()});
                return b;
            }
            case 2: {
                Bytes b = a;
                const int at = Below(static_cast<int>(b.size()));
                b[at] = static_cast<uint8_t>(b[at] + (OneIn(2) ? 1 : -1));
                return b;
            }
            default: return Value(segment);
        }
    }

private:
    // Text from a small alphabet, so equal and prefix-related texts are common.
    Bytes TextBytes(size_t length) {
        Bytes value(length);
        const int alphabet = Pick({2, 4, 8});
        for (uint8_t& b : value) {
            b = Pick<uint8_t>({'A', 'a', ' ', 'B', 0x00, 'b', 0xFF, 0x01});
            if (Below(8) >= alphabet) b = 'A';
            if (OneIn(20)) b = Byte();
        }
        if (OneIn(3)) {
            // Blank-padded tail.
            for (size_t i = Below(static_cast<int>(length)); i < length; ++i) value[i] = ' ';
        }
        return value;
    }

    Bytes IntegerBytes(size_t length) {
        Bytes value(length);
        const int shape = Below(6);
        for (size_t i = 0; i < length; ++i) {
            switch (shape) {
                case 0: value[i] = 0x00; break;
                case 1: value[i] = 0xFF; break;
                case 2: value[i] = Pick<uint8_t>({0x00, 0xFF}); break;
                default: value[i] = Byte(); break;
            }
        }
        if (OneIn(3)) value[length - 1] = Pick<uint8_t>({0x00, 0x7F, 0x80, 0xFF});
        if (OneIn(4)) value[0] = Pick<uint8_t>({0x00, 0x01, 0xFF});
        return value;
    }

    template <typename Float, typename Bits>
    Bytes FloatBytes() {
        Float value;
        switch (Below(4)) {
            case 0:
                value = Pick<Float>({0.0, -0.0, 1.0, -1.0, std::numeric_limits<Float>::infinity(),
                                     -std::numeric_limits<Float>::infinity(), std::numeric_limits<Float>::quiet_NaN(),
                                     -std::numeric_limits<Float>::quiet_NaN(), std::numeric_limits<Float>::max(),
                                     std::numeric_limits<Float>::lowest(), std::numeric_limits<Float>::denorm_min(),
                                     -std::numeric_limits<Float>::denorm_min(), std::numeric_limits<Float>::min()});
                break;
            case 1: value = static_cast<Float>(Below(7) - 3) / Pick<Float>({1, 2, 4}); break;
            default: {
                Bits bits = 0;
                for (size_t i = 0; i < sizeof(Bits); ++i) bits = (bits << 8) | Byte();
                return LittleEndian(bits);
            }
        }
        return LittleEndian(value);
    }

    Bytes MbfBytes(size_t length) {
        Bytes value = RandomBytes(length);
        if (OneIn(4)) value[length - 1] = 0;
        if (OneIn(4)) value[length - 1] = Pick<uint8_t>({0x01, 0x80, 0x81, 0xFF});
        if (OneIn(3)) {
            for (size_t i = 0; i + 2 < length; ++i) value[i] = 0;
        }
        return value;
    }

    Bytes PackedDecimalBytes(size_t length) {
        Bytes value(length);
        const size_t significant = Below(static_cast<int>(2 * length));
        for (size_t digit = 0; digit + 1 < 2 * length; ++digit) {
            const uint8_t nibble = digit + significant >= 2 * length - 1
                                       ? static_cast<uint8_t>(Below(10))
                                       : (OneIn(30) ? static_cast<uint8_t>(Below(16)) : 0);
            value[digit / 2] |= digit % 2 == 0 ? nibble << 4 : nibble;
        }
        const uint8_t sign = OneIn(10) ? static_cast<uint8_t>(Below(16)) : Pick<uint8_t>({0xC, 0xD, 0xF, 0xB});
        value[length - 1] |= sign;
        return value;
    }

    Bytes AsciiDigits(size_t length, const std::string& lastChoices) {
        Bytes value(length);
        const size_t significant = Below(static_cast<int>(length) + 1);
        for (size_t i = 0; i < length; ++i) {
            value[i] =
                i + significant >= length ? static_cast<uint8_t>('0' + Below(10)) : Pick<uint8_t>({'0', '0', '0', ' '});
        }
        if (!OneIn(4))
            value[length - 1] = static_cast<uint8_t>(lastChoices[Below(static_cast<int>(lastChoices.size()))]);
        return value;
    }

    std::mt19937 random_;
};

struct TypeCase {
    uint8_t type;
    std::vector<uint16_t> lengths;
};

const std::vector<TypeCase>& AllTypes() {
    static const std::vector<TypeCase> kTypes = {
        {btr::kTypeString, {1, 4, 17}},
        {btr::kTypeLstring, {2, 5, 16}},
        {btr::kTypeZstring, {2, 5, 16}},
        {btr::kTypeInteger, {1, 2, 4, 8}},
        {btr::kTypeUnsignedBinary, {1, 2, 3, 8, 9, 32}},
        {btr::kTypeAutoincrement, {2, 4}},
        {btr::kTypeFloat, {4, 8}},
        {btr::kTypeBfloat, {4, 8}},
        {btr::kTypeDate, {4}},
        {btr::kTypeTime, {4}},
        {btr::kTypeDecimal, {1, 2, 5, 12}},
        {btr::kTypeMoney, {1, 4, 8}},
        {btr::kTypeNumeric, {1, 2, 5, 20}},
        {btr::kTypeNumericSa, {1, 3, 12}},
        {btr::kTypeNumericSts, {2, 3, 12}},
        {btr::kTypeLogical, {1, 2}},
        {btr::kTypeCurrency, {8}},
        {btr::kTypeTimestamp, {8}},
    };
    return kTypes;
}

bool IsText(uint8_t type) { return type == btr::kTypeString || type == btr::kTypeLstring || type == btr::kTypeZstring; }

bool IsFixedLength(uint8_t type) { return type != btr::kTypeLstring && type != btr::kTypeZstring; }

// A collating sequence that sends many bytes to the same weight, 0 included.
std::array<uint8_t, 256> CoarseAcs(uint32_t seed) {
    std::mt19937 random(seed);
    std::array<uint8_t, 256> map{};
    for (uint8_t& weight : map) weight = static_cast<uint8_t>(random() % 5 * 60);
    return map;
}

std::string Describe(const KeyDef& key) {
    std::string text;
    for (const SegmentDef& segment : key.segments) {
        text += "type " + std::to_string(segment.type) + " length " + std::to_string(segment.length) +
                (segment.descending ? " desc" : "") + (segment.collation ? " collated" : "") + "; ";
    }
    return text;
}

// Checks one pair; returns false (after recording a failure) on the first disagreement.
bool AgreeOnPair(const KeyDef& key, const Bytes& a, const Bytes& b) {
    const int compared = Sign(keyoracle::CompareKeyValues(key, a.data(), b.data()));
    const int reversed = Sign(keyoracle::CompareKeyValues(key, b.data(), a.data()));
    const int encoded = EncodedOrder(key, a, b);
    if (compared == encoded && reversed == -compared) return true;
    ADD_FAILURE() << Describe(key) << "\n a = " << Hex(a) << "\n b = " << Hex(b) << "\n comparator " << compared
                  << " (reversed " << reversed << "), encoding " << encoded;
    return false;
}

// No encoding of a segment is a proper prefix of another, and fixed-length types always give
// the same number of bytes.
bool EncodingsPrefixFree(const KeyDef& key, const Bytes& a, const Bytes& b) {
    const std::string ea = Encode(key, a);
    const std::string eb = Encode(key, b);
    if (ea != eb && (ea.compare(0, std::string::npos, eb, 0, ea.size()) == 0 ||
                     eb.compare(0, std::string::npos, ea, 0, eb.size()) == 0)) {
        ADD_FAILURE() << Describe(key) << " prefix: " << Hex(a) << "/ " << Hex(b);
        return false;
    }
    if (IsFixedLength(key.segments[0].type) && ea.size() != eb.size()) {
        ADD_FAILURE() << Describe(key) << " lengths differ: " << Hex(a) << "/ " << Hex(b);
        return false;
    }
    return true;
}

TEST(RandomisedOrder, EveryTypeAndLengthAgreesWithComparator) {
    ValueGenerator gen(20261207);
    for (const TypeCase& typeCase : AllTypes()) {
        for (uint16_t length : typeCase.lengths) {
            const KeyDef key = Key({Segment(typeCase.type, length)});
            for (int i = 0; i < kPairsPerCase; ++i) {
                const Bytes a = gen.Value(key.segments[0]);
                const Bytes b = gen.Near(key.segments[0], a);
                if (!AgreeOnPair(key, a, b) || !EncodingsPrefixFree(key, a, b)) return;
            }
        }
    }
}

TEST(RandomisedOrder, DescendingSegmentsReverseEveryType) {
    ValueGenerator gen(7);
    for (const TypeCase& typeCase : AllTypes()) {
        for (uint16_t length : typeCase.lengths) {
            const KeyDef ascending = Key({Segment(typeCase.type, length)});
            const KeyDef descending = Key({Segment(typeCase.type, length, true)});
            for (int i = 0; i < kPairsPerCase / 3; ++i) {
                const Bytes a = gen.Value(ascending.segments[0]);
                const Bytes b = gen.Near(ascending.segments[0], a);
                if (!AgreeOnPair(descending, a, b)) return;
                ASSERT_EQ(EncodedOrder(descending, a, b), -EncodedOrder(ascending, a, b)) << Describe(ascending);
            }
        }
    }
}

TEST(RandomisedOrder, CollatedAndCaseFoldedTextAgreesWithComparator) {
    ValueGenerator gen(99);
    const auto coarse = CoarseAcs(5);
    for (uint8_t type : {btr::kTypeString, btr::kTypeLstring, btr::kTypeZstring}) {
        for (const uint8_t* map : {w3b::CaseFoldMap(), static_cast<const uint8_t*>(coarse.data())}) {
            for (uint16_t length : {2, 6, 12}) {
                for (bool descending : {false, true}) {
                    const KeyDef key = Key({Segment(type, length, descending, map)});
                    for (int i = 0; i < kPairsPerCase / 2; ++i) {
                        const Bytes a = gen.Value(key.segments[0]);
                        const Bytes b = gen.Near(key.segments[0], a);
                        if (!AgreeOnPair(key, a, b) || !EncodingsPrefixFree(key, a, b)) return;
                    }
                }
            }
        }
    }
}

TEST(RandomisedOrder, MultiSegmentKeysAgreeWithComparator) {
    ValueGenerator gen(424242);
    const auto coarse = CoarseAcs(11);
    const std::vector<TypeCase>& types = AllTypes();
    for (int round = 0; round < 400; ++round) {
        std::vector<SegmentDef> segments;
        const int count = 1 + gen.Below(4);
        for (int s = 0; s < count; ++s) {
            const TypeCase& typeCase = types[gen.Below(static_cast<int>(types.size()))];
            const uint16_t length = typeCase.lengths[gen.Below(static_cast<int>(typeCase.lengths.size()))];
            const uint8_t* map = nullptr;
            if (IsText(typeCase.type)) {
                map = gen.Pick<const uint8_t*>({nullptr, w3b::CaseFoldMap(), coarse.data()});
            }
            segments.push_back(Segment(typeCase.type, length, gen.OneIn(3), map));
        }
        const KeyDef key = Key(segments);
        for (int i = 0; i < 200; ++i) {
            // Segment by segment: often the same value as `a`, so later segments get to decide.
            Bytes a;
            Bytes b;
            for (const SegmentDef& segment : key.segments) {
                const Bytes partA = gen.Value(segment);
                const Bytes partB = gen.OneIn(2) ? partA : gen.Near(segment, partA);
                a.insert(a.end(), partA.begin(), partA.end());
                b.insert(b.end(), partB.begin(), partB.end());
            }
            if (!AgreeOnPair(key, a, b)) return;
        }
    }
}

TEST(RandomisedOrder, SortingByEncodingMatchesSortingByComparator) {
    // A whole index's worth of values: sorted by encoding, each neighbour pair must be in
    // comparator order, and equal encodings exactly where the comparator says equal.
    ValueGenerator gen(3);
    const KeyDef key = Key({Segment(btr::kTypeZstring, 6, false, w3b::CaseFoldMap()),
                            Segment(btr::kTypeDecimal, 3, true), Segment(btr::kTypeInteger, 2)});
    std::vector<std::pair<std::string, Bytes>> entries;
    for (int i = 0; i < 5000; ++i) {
        Bytes value;
        for (const SegmentDef& segment : key.segments) {
            const Bytes part = gen.Value(segment);
            value.insert(value.end(), part.begin(), part.end());
        }
        entries.emplace_back(Encode(key, value), value);
    }
    std::sort(entries.begin(), entries.end());
    for (size_t i = 1; i < entries.size(); ++i) {
        const int compared =
            Sign(keyoracle::CompareKeyValues(key, entries[i - 1].second.data(), entries[i].second.data()));
        const int expected = entries[i - 1].first == entries[i].first ? 0 : -1;
        ASSERT_EQ(compared, expected) << Hex(entries[i - 1].second) << "then " << Hex(entries[i].second);
    }
}

TEST(RandomisedOrder, DefinitionsThatSkippedValidationStayInsideTheirSegments) {
    // Every type code at lengths its type may not allow: nothing may read past the value (the
    // values are exactly segment-sized, so a sanitizer build would catch it) and the two
    // implementations still agree.
    std::mt19937 random(77);
    for (int type = 0; type < 32; ++type) {
        for (uint16_t length : {0, 1, 2, 3, 5, 9, 16, 300}) {
            const KeyDef key = Key({Segment(static_cast<uint8_t>(type), length)});
            for (int i = 0; i < 50; ++i) {
                Bytes a(length);
                Bytes b(length);
                for (size_t j = 0; j < length; ++j) {
                    a[j] = static_cast<uint8_t>(random());
                    b[j] = random() % 2 ? a[j] : static_cast<uint8_t>(random());
                }
                if (!AgreeOnPair(key, a, b)) return;
            }
        }
    }
}

// ---- semantic checks against plain C++ arithmetic, independent of both implementations ----

TEST(RandomisedOrder, IntegersOrderLikeTheirValues) {
    std::mt19937_64 random(1);
    const KeyDef signedKey = Key({Segment(btr::kTypeInteger, 8)});
    const KeyDef unsignedKey = Key({Segment(btr::kTypeUnsignedBinary, 8)});
    for (int i = 0; i < 20000; ++i) {
        uint64_t x = random();
        uint64_t y = i % 3 == 0 ? x ^ (uint64_t{1} << (random() % 64)) : random();
        if (i % 7 == 0) y = x;
        ASSERT_EQ(EncodedOrder(signedKey, LittleEndian(x), LittleEndian(y)),
                  Sign(static_cast<int64_t>(x) < static_cast<int64_t>(y) ? -1 : (x == y ? 0 : 1)));
        ASSERT_EQ(EncodedOrder(unsignedKey, LittleEndian(x), LittleEndian(y)), Sign(x < y ? -1 : (x == y ? 0 : 1)));
    }
}

TEST(RandomisedOrder, DoublesOrderLikeTheirValues) {
    std::mt19937_64 random(2);
    const KeyDef key = Key({Segment(btr::kTypeFloat, 8)});
    for (int i = 0; i < 20000; ++i) {
        const double x =
            std::ldexp(static_cast<double>(static_cast<int64_t>(random())), static_cast<int>(random() % 200) - 100);
        const double y = i % 5 == 0 ? -x
                                    : std::ldexp(static_cast<double>(static_cast<int64_t>(random())),
                                                 static_cast<int>(random() % 200) - 100);
        ASSERT_EQ(EncodedOrder(key, LittleEndian(x), LittleEndian(y)), x < y ? -1 : (x == y ? 0 : 1)) << x << " " << y;
    }
}

TEST(RandomisedOrder, PackedDecimalsOrderLikeTheirValues) {
    std::mt19937_64 random(3);
    const KeyDef key = Key({Segment(btr::kTypeDecimal, 8)});  // 15 digits: fits an int64
    auto pack = [](int64_t value) {
        Bytes bytes(8, 0);
        uint64_t magnitude = value < 0 ? static_cast<uint64_t>(-value) : static_cast<uint64_t>(value);
        bytes[7] = value < 0 ? 0x0D : 0x0C;
        for (int digit = 14; digit >= 0; --digit, magnitude /= 10) {
            const uint8_t d = static_cast<uint8_t>(magnitude % 10);
            bytes[digit / 2] |= digit % 2 == 0 ? d << 4 : d;
        }
        return bytes;
    };
    for (int i = 0; i < 20000; ++i) {
        const int64_t limit = 999999999999999;
        const int64_t x = static_cast<int64_t>(random() % (2 * limit + 1)) - limit;
        const int64_t y = i % 4 == 0 ? -x : (i % 4 == 1 ? x / 10 : static_cast<int64_t>(random() % 2001) - 1000);
        ASSERT_EQ(EncodedOrder(key, pack(x), pack(y)), x < y ? -1 : (x == y ? 0 : 1)) << x << " " << y;
    }
}

}  // namespace
