// key_compare_oracle.cpp: the record manager's comparison of key values, written straight from
// the ordering rules of each type and independent of the encoders, so each can check the other.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "key_compare_oracle.h"

#include "keys/key_rules.h"

namespace keyoracle {
namespace {

using w3b::KeyDef;
using w3b::SegmentDef;

template <typename T>
int ThreeWay(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

int CompareCollatedText(const uint8_t* collation, const uint8_t* a, size_t lengthA, const uint8_t* b, size_t lengthB) {
    const size_t common = std::min(lengthA, lengthB);
    for (size_t i = 0; i < common; ++i) {
        const uint8_t weightA = collation ? collation[a[i]] : a[i];
        const uint8_t weightB = collation ? collation[b[i]] : b[i];
        if (weightA != weightB) return ThreeWay(weightA, weightB);
    }
    return ThreeWay(lengthA, lengthB);
}

size_t LstringLength(const uint8_t* value, size_t fieldLength) { return std::min<size_t>(value[0], fieldLength - 1); }

size_t ZstringLength(const uint8_t* value, size_t fieldLength) {
    size_t n = 0;
    while (n < fieldLength && value[n] != 0) ++n;
    return n;
}

int64_t SignedLittleEndian(const uint8_t* value, size_t width) {
    uint64_t bits = 0;
    for (size_t i = 0; i < width; ++i) bits |= uint64_t{value[i]} << (8 * i);
    if (width < 8 && (value[width - 1] & 0x80)) bits |= ~uint64_t{0} << (8 * width);
    return static_cast<int64_t>(bits);
}

// Unsigned little-endian numbers of any width: the most significant byte is the last.
int CompareUnsigned(const uint8_t* a, const uint8_t* b, size_t width) {
    for (size_t i = width; i-- > 0;) {
        if (a[i] != b[i]) return ThreeWay(a[i], b[i]);
    }
    return 0;
}

template <typename Float>
int CompareIeee(const uint8_t* a, const uint8_t* b) {
    Float x;
    Float y;
    std::memcpy(&x, a, sizeof x);
    std::memcpy(&y, b, sizeof y);
    if (std::isnan(x) || std::isnan(y)) return ThreeWay(std::isnan(x) ? 1 : 0, std::isnan(y) ? 1 : 0);
    return ThreeWay(x, y);
}

// MBF: zero when the exponent (last byte) is 0; otherwise sign bit on the next-to-last byte,
// magnitude by exponent, then by mantissa from its most significant byte down.
int CompareMbf(const uint8_t* a, const uint8_t* b, size_t width) {
    auto signOf = [width](const uint8_t* v) { return v[width - 1] == 0 ? 0 : (v[width - 2] & 0x80 ? -1 : 1); };
    const int signA = signOf(a);
    const int signB = signOf(b);
    if (signA != signB || signA == 0) return ThreeWay(signA, signB);
    int magnitude = ThreeWay(a[width - 1], b[width - 1]);
    if (magnitude == 0) magnitude = ThreeWay(a[width - 2] & 0x7F, b[width - 2] & 0x7F);
    for (size_t i = width - 2; magnitude == 0 && i-- > 0;) magnitude = ThreeWay(a[i], b[i]);
    return signA * magnitude;
}

// A decimal number: its sign and its digits without leading zeros (empty for zero).
struct Number {
    bool negative = false;
    std::string digits;
};

void PushDigit(Number* number, int digit) {
    if (digit < 0 || digit > 9) digit = 0;  // a position without a digit counts as 0
    if (number->digits.empty() && digit == 0) return;
    number->digits.push_back(static_cast<char>('0' + digit));
}

int AsciiDigitValue(uint8_t byte) { return byte >= '0' && byte <= '9' ? byte - '0' : 0; }

Number ParsePackedDecimal(const uint8_t* value, size_t length) {
    Number number;
    for (size_t i = 0; i < length; ++i) {
        PushDigit(&number, value[i] >> 4);
        if (i + 1 < length) PushDigit(&number, value[i] & 0x0F);
    }
    const int sign = value[length - 1] & 0x0F;
    number.negative = sign == 0xB || sign == 0xD;
    return number;
}

Number ParseOverpunched(const uint8_t* value, size_t length, bool asciiConvention) {
    Number number;
    for (size_t i = 0; i + 1 < length; ++i) PushDigit(&number, AsciiDigitValue(value[i]));
    static const char kPositive[] = "{ABCDEFGHI";
    static const char kNegative[] = "}JKLMNOPQR";
    static const char kSaNegative[] = "pqrstuvwxy";
    const uint8_t last = value[length - 1];
    int digit = AsciiDigitValue(last);
    const char* negatives = asciiConvention ? kSaNegative : kNegative;
    if (const void* hit = std::memchr(negatives, last, 10)) {
        digit = static_cast<int>(static_cast<const char*>(hit) - negatives);
        number.negative = true;
    } else if (!asciiConvention) {
        if (const void* hit = std::memchr(kPositive, last, 10)) {
            digit = static_cast<int>(static_cast<const char*>(hit) - kPositive);
        }
    }
    PushDigit(&number, digit);
    return number;
}

Number ParseTrailingSign(const uint8_t* value, size_t length) {
    Number number;
    for (size_t i = 0; i + 1 < length; ++i) PushDigit(&number, AsciiDigitValue(value[i]));
    number.negative = value[length - 1] == '-';
    return number;
}

int CompareNumbers(const Number& a, const Number& b) {
    const int signA = a.digits.empty() ? 0 : (a.negative ? -1 : 1);
    const int signB = b.digits.empty() ? 0 : (b.negative ? -1 : 1);
    if (signA != signB || signA == 0) return ThreeWay(signA, signB);
    int magnitude = ThreeWay(a.digits.size(), b.digits.size());
    if (magnitude == 0) magnitude = a.digits.compare(b.digits) < 0 ? -1 : (a.digits == b.digits ? 0 : 1);
    return signA * magnitude;
}

int CompareSegment(const SegmentDef& segment, const uint8_t* a, const uint8_t* b) {
    const size_t n = segment.length;
    const bool shapeValid = w3b::keycodec::LengthAllowedForType(segment.type, segment.length);
    switch (shapeValid ? segment.type : btr::kTypeUnsignedBinary) {
        case btr::kTypeString: return CompareCollatedText(segment.collation, a, n, b, n);
        case btr::kTypeLstring:
            return CompareCollatedText(segment.collation, a + 1, LstringLength(a, n), b + 1, LstringLength(b, n));
        case btr::kTypeZstring:
            return CompareCollatedText(segment.collation, a, ZstringLength(a, n), b, ZstringLength(b, n));
        case btr::kTypeInteger:
        case btr::kTypeCurrency: return ThreeWay(SignedLittleEndian(a, n), SignedLittleEndian(b, n));
        case btr::kTypeFloat: return n == 4 ? CompareIeee<float>(a, b) : CompareIeee<double>(a, b);
        case btr::kTypeBfloat: return CompareMbf(a, b, n);
        case btr::kTypeDecimal:
        case btr::kTypeMoney: return CompareNumbers(ParsePackedDecimal(a, n), ParsePackedDecimal(b, n));
        case btr::kTypeNumeric: return CompareNumbers(ParseOverpunched(a, n, false), ParseOverpunched(b, n, false));
        case btr::kTypeNumericSa: return CompareNumbers(ParseOverpunched(a, n, true), ParseOverpunched(b, n, true));
        case btr::kTypeNumericSts: return CompareNumbers(ParseTrailingSign(a, n), ParseTrailingSign(b, n));
        default: return CompareUnsigned(a, b, n);
    }
}

}  // namespace

int CompareKeyValues(const KeyDef& key, const uint8_t* a, const uint8_t* b) {
    for (const SegmentDef& segment : key.segments) {
        int result = CompareSegment(segment, a, b);
        if (segment.descending) result = -result;
        if (result != 0) return result;
        a += segment.length;
        b += segment.length;
    }
    return 0;
}

}  // namespace keyoracle
