// text_encoding.cpp: encodings of the string key types.
#include <cstring>

#include "keys/segment_encoding.h"

namespace w3b::keycodec {
namespace {

// Variable-length text is written with 0x00 escaped as 0x00 0xFF and ended by 0x00 0x00. The
// terminator sorts below every escaped byte, so a text sorts before any longer text it begins,
// and since 0x00 0x00 never occurs inside, no encoding is a proper prefix of another.
void AppendTerminatedText(const uint8_t* collation, const uint8_t* text, size_t length, std::string* out) {
    for (size_t i = 0; i < length; ++i) {
        const uint8_t weight = collation != nullptr ? collation[text[i]] : text[i];
        out->push_back(static_cast<char>(weight));
        if (weight == 0) out->push_back(static_cast<char>(0xFF));
    }
    out->push_back('\0');
    out->push_back('\0');
}

}  // namespace

void AppendString(const SegmentDef& segment, const uint8_t* value, std::string* out) {
    if (segment.collation == nullptr) {
        out->append(reinterpret_cast<const char*>(value), segment.length);
        return;
    }
    for (size_t i = 0; i < segment.length; ++i) out->push_back(static_cast<char>(segment.collation[value[i]]));
}

void AppendLstring(const SegmentDef& segment, const uint8_t* value, std::string* out) {
    // A length byte larger than the field can hold only counts the bytes the field has.
    size_t textLength = value[0];
    if (textLength > segment.length - 1u) textLength = segment.length - 1u;
    AppendTerminatedText(segment.collation, value + 1, textLength, out);
}

void AppendZstring(const SegmentDef& segment, const uint8_t* value, std::string* out) {
    const void* nul = std::memchr(value, 0, segment.length);
    const size_t textLength = nul != nullptr ? static_cast<const uint8_t*>(nul) - value : segment.length;
    AppendTerminatedText(segment.collation, value, textLength, out);
}

}  // namespace w3b::keycodec
