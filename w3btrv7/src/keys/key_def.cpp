// key_def.cpp: what a resolved key definition tells about a record: its key value, whether the
// null rule leaves it out; and the case fold that case-insensitive segments collate with.
#include <array>
#include <cstring>

#include "keys/key_codec.h"

namespace w3b {
namespace {

std::array<uint8_t, 256> MakeCaseFold() {
    std::array<uint8_t, 256> map{};
    for (int i = 0; i < 256; ++i) map[i] = static_cast<uint8_t>(i >= 'a' && i <= 'z' ? i - 'a' + 'A' : i);
    return map;
}

bool SegmentIsNull(const SegmentDef& segment, const uint8_t* record) {
    const uint8_t* bytes = record + segment.offset;
    for (size_t i = 0; i < segment.length; ++i) {
        if (bytes[i] != segment.nullValue) return false;
    }
    return true;
}

}  // namespace

size_t KeyDef::TotalLength() const {
    size_t total = 0;
    for (const SegmentDef& segment : segments) total += segment.length;
    return total;
}

const uint8_t* CaseFoldMap() {
    static const std::array<uint8_t, 256> kFold = MakeCaseFold();
    return kFold.data();
}

bool IsNullKey(const KeyDef& key, const uint8_t* record) {
    if (!key.nullAll && !key.nullAny) return false;
    size_t nullSegments = 0;
    for (const SegmentDef& segment : key.segments) {
        if (SegmentIsNull(segment, record)) ++nullSegments;
    }
    // A key with both flags is left out by the wider rule.
    if (key.nullAny && nullSegments > 0) return true;
    return key.nullAll && !key.segments.empty() && nullSegments == key.segments.size();
}

void ExtractKeyValue(const KeyDef& key, const uint8_t* record, uint8_t* out) {
    for (const SegmentDef& segment : key.segments) {
        std::memcpy(out, record + segment.offset, segment.length);
        out += segment.length;
    }
}

}  // namespace w3b
