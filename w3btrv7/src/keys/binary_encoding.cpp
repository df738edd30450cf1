// binary_encoding.cpp: encodings of the integer and floating-point key types.
#include <cstring>

#include "keys/segment_encoding.h"

namespace w3b::keycodec {
namespace {

uint64_t ReadLittleEndian(const uint8_t* bytes, size_t width) {
    uint64_t value = 0;
    for (size_t i = width; i-- > 0;) value = (value << 8) | bytes[i];
    return value;
}

void AppendBigEndian(uint64_t value, size_t width, std::string* out) {
    for (size_t i = width; i-- > 0;) out->push_back(static_cast<char>(value >> (8 * i)));
}

// Sign-magnitude to an unsigned order: negatives below zero, larger magnitudes further out.
// `magnitude` must fit in (bits - 1) bits; a zero magnitude lands on the middle whatever its
// sign, so -0 and +0 are one value.
uint64_t OrderSignMagnitude(bool negative, uint64_t magnitude, int bits) {
    const uint64_t middle = uint64_t{1} << (bits - 1);
    return negative ? middle - magnitude : middle + magnitude;
}

}  // namespace

void AppendSignedInteger(const SegmentDef& segment, const uint8_t* value, std::string* out) {
    for (size_t i = segment.length; i-- > 0;) {
        const uint8_t byte = i == segment.length - 1u ? value[i] ^ 0x80 : value[i];
        out->push_back(static_cast<char>(byte));
    }
}

void AppendUnsignedInteger(const SegmentDef& segment, const uint8_t* value, std::string* out) {
    for (size_t i = segment.length; i-- > 0;) out->push_back(static_cast<char>(value[i]));
}

void AppendIeeeFloat(const SegmentDef& segment, const uint8_t* value, std::string* out) {
    const size_t width = segment.length;
    const int bits = static_cast<int>(width * 8);
    const int mantissaBits = width == 4 ? 23 : 52;
    const uint64_t raw = ReadLittleEndian(value, width);
    const uint64_t signBit = uint64_t{1} << (bits - 1);
    const uint64_t magnitude = raw & (signBit - 1);
    const uint64_t infinity = ((signBit - 1) >> mantissaBits) << mantissaBits;
    if (magnitude > infinity) {
        // Every NaN is the same key value, above +infinity: all ones is above any ordered number.
        AppendBigEndian(~uint64_t{0}, width, out);
        return;
    }
    // IEEE magnitudes order like their bit patterns; -0 becomes +0 there.
    AppendBigEndian(OrderSignMagnitude((raw & signBit) != 0, magnitude, bits), width, out);
}

void AppendMbfFloat(const SegmentDef& segment, const uint8_t* value, std::string* out) {
    // MBF: last byte the biased exponent (0 means the value 0), the byte before it the sign bit
    // and the top of the mantissa, whose leading 1 is implied. With the exponent placed above the
    // mantissa, magnitudes order like the integer they form.
    const size_t width = segment.length;
    const int bits = static_cast<int>(width * 8);
    const int mantissaBits = bits - 9;
    const uint64_t exponent = value[width - 1];
    const bool negative = (value[width - 2] & 0x80) != 0;
    const uint64_t mantissa = ReadLittleEndian(value, width - 1) & ((uint64_t{1} << mantissaBits) - 1);
    const uint64_t magnitude = exponent == 0 ? 0 : (exponent << mantissaBits) | mantissa;
    AppendBigEndian(OrderSignMagnitude(negative, magnitude, bits), width, out);
}

}  // namespace w3b::keycodec
