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
#include "keys/segment_encoding.h"

namespace w3b::keycodec {
namespace {

uint8_t AsciiDigit(uint8_t byte) { return byte >= '0' && byte <= '9' ? static_cast<uint8_t>(byte - '0') : 0; }

// Appends the encoding of the `count` digits `digitAt(0)`..`digitAt(count - 1)` (each 0..9).
template <typename DigitAt>
void AppendDecimal(size_t count, bool negative, DigitAt digitAt, std::string* out) {
    bool zero = true;
    for (size_t i = 0; i < count && zero; ++i) zero = digitAt(i) == 0;
    negative = negative && !zero;
    out->push_back(negative ? '\0' : '\1');
    for (size_t i = 0; i < count; i += 2) {
        const bool pair = i + 1 < count;
        uint8_t high = digitAt(i);
        uint8_t low = pair ? digitAt(i + 1) : 0;
        if (negative) {
            high = 9 - high;
            if (pair) low = 9 - low;
        }
        out->push_back(static_cast<char>((high << 4) | low));
    }
}

}  // namespace

void AppendPackedDecimal(const SegmentDef& segment, const uint8_t* value, std::string* out) {
    const uint8_t sign = value[segment.length - 1u] & 0x0F;
    auto digitAt = [value](size_t i) {
        const uint8_t nibble = i % 2 == 0 ? value[i / 2] >> 4 : value[i / 2] & 0x0F;
        return static_cast<uint8_t>(nibble <= 9 ? nibble : 0);
    };
    AppendDecimal(2u * segment.length - 1u, sign == 0x0D || sign == 0x0B, digitAt, out);
}

void AppendOverpunchedNumeric(const SegmentDef& segment, const uint8_t* value, std::string* out) {
    const size_t lastIndex = segment.length - 1u;
    const uint8_t last = value[lastIndex];
    uint8_t lastDigit = AsciiDigit(last);
    bool negative = false;
    if (segment.type == btr::kTypeNumericSa) {
        if (last >= 'p' && last <= 'y') {
            lastDigit = last - 'p';
            negative = true;
        }
    } else if (last == '{') {
        lastDigit = 0;
    } else if (last >= 'A' && last <= 'I') {
        lastDigit = last - 'A' + 1;
    } else if (last == '}') {
        lastDigit = 0;
        negative = true;
    } else if (last >= 'J' && last <= 'R') {
        lastDigit = last - 'J' + 1;
        negative = true;
    }
    auto digitAt = [value, lastIndex, lastDigit](size_t i) {
        return i == lastIndex ? lastDigit : AsciiDigit(value[i]);
    };
    AppendDecimal(segment.length, negative, digitAt, out);
}

void AppendTrailingSignNumeric(const SegmentDef& segment, const uint8_t* value, std::string* out) {
    auto digitAt = [value](size_t i) { return AsciiDigit(value[i]); };
    AppendDecimal(segment.length - 1u, value[segment.length - 1u] == '-', digitAt, out);
}

}  // namespace w3b::keycodec
