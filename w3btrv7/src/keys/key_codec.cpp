// key_codec.cpp: whole-key encoding, segment by segment.
#include "keys/key_rules.h"
#include "keys/segment_encoding.h"

namespace w3b {
namespace {

void AppendSegment(const SegmentDef& segment, const uint8_t* value, std::string* out) {
    using namespace keycodec;
    const uint8_t type = LengthAllowedForType(segment.type, segment.length) ? segment.type : btr::kTypeUnsignedBinary;
    switch (type) {
        case btr::kTypeString: return AppendString(segment, value, out);
        case btr::kTypeLstring: return AppendLstring(segment, value, out);
        case btr::kTypeZstring: return AppendZstring(segment, value, out);
        case btr::kTypeInteger:
        case btr::kTypeCurrency: return AppendSignedInteger(segment, value, out);
        case btr::kTypeFloat: return AppendIeeeFloat(segment, value, out);
        case btr::kTypeBfloat: return AppendMbfFloat(segment, value, out);
        case btr::kTypeDecimal:
        case btr::kTypeMoney: return AppendPackedDecimal(segment, value, out);
        case btr::kTypeNumeric:
        case btr::kTypeNumericSa: return AppendOverpunchedNumeric(segment, value, out);
        case btr::kTypeNumericSts: return AppendTrailingSignNumeric(segment, value, out);
        default:
            // UNSIGNED BINARY, old-style binary, AUTOINCREMENT, DATE, TIME, LOGICAL and
            // TIMESTAMP all order as little-endian unsigned numbers. A type validation would
            // have rejected gets the same total order.
            return AppendUnsignedInteger(segment, value, out);
    }
}

// A descending segment inverts its bytes, which reverses the order because no encoding of a
// segment is a proper prefix of another.
void AppendOrderedSegment(const SegmentDef& segment, const uint8_t* value, std::string* out) {
    const size_t start = out->size();
    AppendSegment(segment, value, out);
    if (segment.descending) {
        for (size_t i = start; i < out->size(); ++i) (*out)[i] = static_cast<char>(~(*out)[i]);
    }
}

}  // namespace

void EncodeKeyValue(const KeyDef& key, const uint8_t* keyValue, std::string* out) {
    out->clear();
    for (const SegmentDef& segment : key.segments) {
        AppendOrderedSegment(segment, keyValue, out);
        keyValue += segment.length;
    }
}

void EncodeRecordKey(const KeyDef& key, const uint8_t* record, std::string* out) {
    out->clear();
    for (const SegmentDef& segment : key.segments) AppendOrderedSegment(segment, record + segment.offset, out);
}

}  // namespace w3b
