// key_codec.h: turns key values into byte strings whose memcmp order is the record
// manager's key order, so that SQLite's BLOB comparison sorts an index correctly.
//
// Two values that the record manager considers equal (same number, same text after the
// collating sequence, ZSTRING bytes after the NUL, ...) encode to the same bytes, so a
// UNIQUE constraint on the encoding is exactly the key's "no duplicates" rule.
//
// Every segment's encoding is either of fixed length for its segment definition or ends
// with a terminator that cannot occur inside it, so no encoding of a segment is a proper
// prefix of another. That is what lets segments be concatenated, and lets a descending
// segment be encoded by inverting its bytes.
#ifndef W3BTRV7_KEYS_KEY_CODEC_H
#define W3BTRV7_KEYS_KEY_CODEC_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "btrcall.h"

namespace w3b {

// One segment of a key, resolved from its BtrKeySpec (by FileDef::Resolve, store/file_def.h).
struct SegmentDef {
    uint16_t offset = 0;  // 0-based offset in the record (position - 1)
    uint16_t length = 0;  // bytes
    uint16_t flags = 0;   // btr::kKeyFlag... as stored
    uint8_t type = 0;     // effective type: btr::kType..., old-style binary resolved to kTypeUnsignedBinary
    uint8_t nullValue = 0;
    bool descending = false;
    // 256-byte map applied to string bytes before comparing (collating sequence, or the
    // a-z to A-Z fold for case-insensitive segments); nullptr for none.
    const uint8_t* collation = nullptr;
};

// One key: its segments in order, and its null rule.
struct KeyDef {
    std::vector<SegmentDef> segments;
    bool nullAll = false;  // 0x0008: left out when every segment holds only its null value
    bool nullAny = false;  // 0x0200: left out when any segment holds only its null value
    // Sum of the segment lengths: the size of the key value in a key buffer.
    size_t TotalLength() const;
};

// Checks one segment specification on its own (type, length, flags). Returns a record manager
// status: 0, 29 (length not allowed for the type), 49 (type unknown or not allowed with the
// flags) or 45 (flags inconsistent). An unknown type is reported before its length.
int16_t ValidateSegment(const BtrKeySpec& spec);

// Resolves the effective type of a segment specification (extended type, or the old-style
// binary/string choice of flag 0x0004).
uint8_t EffectiveType(const BtrKeySpec& spec);

// The a-z to A-Z fold used for case-insensitive segments.
const uint8_t* CaseFoldMap();

// True when `record` is left out of the key by its null rule (raw bytes compared with the null
// value, before any collating sequence).
bool IsNullKey(const KeyDef& key, const uint8_t* record);

// Copies the key value of `record` (the segments concatenated, as a key buffer holds it) into
// `out`, which must hold key.TotalLength() bytes. The record must cover every segment.
void ExtractKeyValue(const KeyDef& key, const uint8_t* record, uint8_t* out);

// Order-preserving encoding of a key value given as a key buffer holds it (key.TotalLength()
// bytes). Replaces the contents of `*out`.
void EncodeKeyValue(const KeyDef& key, const uint8_t* keyValue, std::string* out);

// Order-preserving encoding of the key of a record (ExtractKeyValue then EncodeKeyValue).
// The record must cover every segment. Replaces the contents of `*out`.
void EncodeRecordKey(const KeyDef& key, const uint8_t* record, std::string* out);

}  // namespace w3b

#endif  // W3BTRV7_KEYS_KEY_CODEC_H
