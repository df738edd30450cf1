// extended_descriptor.h: the descriptor of the extended reads (Get and Step Next/Previous
// Extended): which records to take (a filter of terms), how many, and which bytes of each to
// return (an extractor of fields).
//
// The descriptor comes from the caller's data buffer and is untrusted: parsing checks every
// length and offset against the descriptor's own length, the buffer's length and the record
// length before anything is read, and keeps copies of what it needs, since the buffer is then
// overwritten by the result.
#ifndef W3BTRV7_OPS_EXTENDED_DESCRIPTOR_H
#define W3BTRV7_OPS_EXTENDED_DESCRIPTOR_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "keys/key_codec.h"

namespace w3b {

// Where examination starts: after the current record ("EG") or with it ("UC").
enum class ExtendedStart { kAfterCurrent, kWithCurrent };

// What the descriptor is checked against.
struct DescriptorLimits {
    uint32_t bufferLength = 0;     // the data buffer's length as the call gives it
    uint32_t recordLength = 0;     // fields must lie within the fixed part of a record
    const uint8_t* acs = nullptr;  // the map a term with "use the key's ACS" compares by
};

// One term of the filter: a field of the record compared with a value or with another field.
struct FilterTerm {
    enum class Comparison : uint8_t { kEqual = 1, kGreater, kLess, kNotEqual, kGreaterOrEqual, kLessOrEqual };
    KeyDef field;         // one segment at offset 0: the field's type, length, collation
    uint16_t offset = 0;  // of the field in the record
    Comparison comparison = Comparison::kEqual;
    bool withField = false;  // compared with the field at `otherOffset`, else with `value`
    uint16_t otherOffset = 0;
    std::string value;    // the comparison value as the descriptor gave it
    bool orNext = false;  // the connector to the next term: OR, else AND
};

// One field of the extractor.
struct ExtractField {
    uint16_t length = 0;
    uint16_t offset = 0;
};

struct ExtendedDescriptor {
    ExtendedStart start = ExtendedStart::kAfterCurrent;
    uint16_t rejectLimit = 0;  // records rejected before the call stops with 60
    uint16_t wanted = 0;       // records to return
    std::vector<FilterTerm> terms;
    std::vector<ExtractField> fields;
    uint32_t extractLength = 0;  // bytes extracted from each record

    // Bytes of the result when `records` records are returned.
    uint64_t ResultLength(uint32_t records) const;
    // True when the record (at least the limits' record length) passes the filter, terms
    // combined left to right.
    bool Accepts(const uint8_t* record) const;
    // Appends the extracted fields of the record to `out`.
    void Extract(const uint8_t* record, std::string* out) const;

private:
    // The encodings a term compares, kept from record to record.
    mutable std::string field_;
    mutable std::string other_;
};

// How many rejected records a call examines when the descriptor leaves it to the engine (0).
inline constexpr uint16_t kDefaultRejectLimit = 4095;

// Parses and checks the descriptor at the start of `buffer` (limits.bufferLength bytes).
// Returns 0 with `out` filled; 62 for a malformed descriptor (length, signature, term types and
// lengths, comparison or connector codes, a term or field past the descriptor); 65 for a field
// of the filter or the extractor past the record length, or an empty extractor; 61 when the
// buffer cannot hold the result of the records asked for. An ACS comparison without a collating
// sequence to use is malformed (62).
int16_t ParseExtendedDescriptor(const uint8_t* buffer, const DescriptorLimits& limits, ExtendedDescriptor* out);

}  // namespace w3b

#endif  // W3BTRV7_OPS_EXTENDED_DESCRIPTOR_H
