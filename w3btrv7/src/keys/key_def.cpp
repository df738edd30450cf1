// key_def.cpp: resolving key specifications into key definitions, and reading a key's value
// out of a record.
#include <array>
#include <cstring>

#include "keys/key_codec.h"

namespace w3b {
namespace {

// Flags that describe the whole key and so must be the same on each of its segments.
constexpr uint16_t kKeyWideFlags =
    btr::kKeyFlagDuplicates | btr::kKeyFlagModifiable | btr::kKeyFlagNullAll | btr::kKeyFlagNullAny;

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

int16_t BuildKeyDef(const BtrKeySpec* specs, size_t count, const uint8_t* const* acsMaps, size_t acsCount,
                    KeyDef* out) {
    if (out == nullptr) return btr::kStatusInvalidKeyLength;
    out->segments.clear();
    out->nullAll = false;
    out->nullAny = false;
    if (specs == nullptr || count == 0) return btr::kStatusInvalidKeyLength;

    KeyDef key;
    size_t total = 0;
    for (size_t i = 0; i < count; ++i) {
        const BtrKeySpec& spec = specs[i];
        const int16_t status = ValidateSegment(spec);
        if (status != btr::kStatusSuccess) return status;
        if (spec.position < 1) return btr::kStatusInvalidKeyPosition;
        if ((spec.flags & kKeyWideFlags) != (specs[0].flags & kKeyWideFlags)) {
            return btr::kStatusInconsistentKeyFlags;
        }

        SegmentDef segment;
        segment.offset = static_cast<uint16_t>(spec.position - 1);
        segment.length = static_cast<uint16_t>(spec.length);
        segment.flags = spec.flags;
        segment.type = EffectiveType(spec);
        segment.nullValue = spec.nullValue;
        segment.descending = (spec.flags & btr::kKeyFlagDescending) != 0;
        if (count > 1 && segment.type == btr::kTypeAutoincrement) return btr::kStatusKeyTypeError;

        if (spec.flags & btr::kKeyFlagAlternateSequence) {
            const size_t number = (spec.flags & btr::kKeyFlagNoCase) ? spec.acsNumber : 0;
            if (acsMaps == nullptr || number >= acsCount || acsMaps[number] == nullptr) {
                return btr::kStatusInvalidAcs;
            }
            segment.collation = acsMaps[number];
        } else if (spec.flags & btr::kKeyFlagNoCase) {
            segment.collation = CaseFoldMap();
        }
        total += segment.length;
        key.segments.push_back(segment);
    }
    if (total > static_cast<size_t>(btr::kMaxKeyLength)) return btr::kStatusInvalidKeyLength;
    key.nullAll = (specs[0].flags & btr::kKeyFlagNullAll) != 0;
    key.nullAny = (specs[0].flags & btr::kKeyFlagNullAny) != 0;
    *out = std::move(key);
    return btr::kStatusSuccess;
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
