// decimal_encoding.cpp: encodings of the decimal key types (packed BCD and ASCII digits).
//
// Every value of a segment has the same number of digit positions, so a fixed-width digit
// string compares like the number it writes, leading zeros included. The encoding is
//   one class byte: 0x00 for a negative value, 0x01 for zero or a positive value;
//   the digits, most significant first, two to a byte (a trailing half byte is 0), each digit
//   written as itself for a positive value and as 9 - digit for a negative one,
// so larger negative magnitudes sort first, and its length depends only on the segment length.
// A zero is always written as a positive zero, so -0 and +0 are one key value.
//
// Malformed input is still ordered: a digit position holding anything but a digit (a BCD
// nibble above 9, a blank or other byte among ASCII digits) counts as 0, and a sign the type
// does not define counts as positive.
#include <array>

#include "keys/segment_encoding.h"

namespace w3b::keycodec {
namespace {

// The most digits a 255-byte packed decimal holds.
constexpr size_t kMaxDigits = 2 * 255 - 1;

struct DecimalValue {
    std::array<uint8_t, kMaxDigits> digits{};
    size_t count = 0;
    bool negative = false;
};

uint8_t AsciiDigit(uint8_t byte) {
    return byte >= '0' && byte <= '9' ? static_cast<uint8_t>(byte - '0') : 0;
}

void AppendDecimal(DecimalValue& value, std::string* out) {
    bool zero = true;
    for (size_t i = 0; i < value.count; ++i) zero = zero && value.digits[i] == 0;
    const bool negative = value.negative && !zero;
    out->push_back(negative ? '\0' : '\1');
    for (size_t i = 0; i < value.count; i += 2) {
        uint8_t high = value.digits[i];
        uint8_t low = i + 1 < value.count ? value.digits[i + 1] : 0;
        if (negative) {
            high = 9 - high;
            low = i + 1 < value.count ? 9 - low : 0;
        }
        out->push_back(static_cast<char>((high << 4) | low));
    }
}

}  // namespace

void AppendPackedDecimal(const SegmentDef& segment, const uint8_t* value, std::string* out) {
    DecimalValue decimal;
    decimal.count = 2u * segment.length - 1u;
    for (size_t i = 0; i < decimal.count; ++i) {
        const uint8_t byte = value[i / 2];
        const uint8_t nibble = i % 2 == 0 ? byte >> 4 : byte & 0x0F;
        decimal.digits[i] = nibble <= 9 ? nibble : 0;
    }
    const uint8_t sign = value[segment.length - 1u] & 0x0F;
    decimal.negative = sign == 0x0D || sign == 0x0B;
    AppendDecimal(decimal, out);
}

void AppendOverpunchedNumeric(const SegmentDef& segment, const uint8_t* value, std::string* out) {
    DecimalValue decimal;
    decimal.count = segment.length;
    for (size_t i = 0; i + 1 < segment.length; ++i) decimal.digits[i] = AsciiDigit(value[i]);
    const uint8_t last = value[segment.length - 1u];
    uint8_t digit = AsciiDigit(last);
    if (segment.type == btr::kTypeNumericSa) {
        if (last >= 'p' && last <= 'y') {
            digit = last - 'p';
            decimal.negative = true;
        }
    } else if (last == '{') {
        digit = 0;
    } else if (last >= 'A' && last <= 'I') {
        digit = last - 'A' + 1;
    } else if (last == '}') {
        digit = 0;
        decimal.negative = true;
    } else if (last >= 'J' && last <= 'R') {
        digit = last - 'J' + 1;
        decimal.negative = true;
    }
    decimal.digits[segment.length - 1u] = digit;
    AppendDecimal(decimal, out);
}

void AppendTrailingSignNumeric(const SegmentDef& segment, const uint8_t* value, std::string* out) {
    DecimalValue decimal;
    decimal.count = segment.length - 1u;
    for (size_t i = 0; i < decimal.count; ++i) decimal.digits[i] = AsciiDigit(value[i]);
    decimal.negative = value[segment.length - 1u] == '-';
    AppendDecimal(decimal, out);
}

}  // namespace w3b::keycodec
