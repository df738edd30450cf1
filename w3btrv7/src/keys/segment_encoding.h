// segment_encoding.h: the per-type encoders behind EncodeKeyValue (internal to the key codec).
//
// Each Append... function appends the ascending encoding of one segment value of
// segment.length bytes at `value`. Fixed-length types give the same number of bytes for every
// value of a segment; text types end with a terminator. Either way no encoding of a segment is
// a proper prefix of another, which segment concatenation and descending inversion rely on.
#ifndef W3BTRV7_KEYS_SEGMENT_ENCODING_H
#define W3BTRV7_KEYS_SEGMENT_ENCODING_H

#include <cstdint>
#include <string>

#include "keys/key_codec.h"

namespace w3b::keycodec {

// STRING and old-style string: the collated bytes, fixed length.
void AppendString(const SegmentDef& segment, const uint8_t* value, std::string* out);
// LSTRING: the collated text of the length byte's count (at most length - 1), terminated.
void AppendLstring(const SegmentDef& segment, const uint8_t* value, std::string* out);
// ZSTRING: the collated text before the first NUL (or the whole field), terminated.
void AppendZstring(const SegmentDef& segment, const uint8_t* value, std::string* out);

// Little-endian two's complement of any width: sign bit flipped, big-endian.
void AppendSignedInteger(const SegmentDef& segment, const uint8_t* value, std::string* out);
// Little-endian unsigned of any width: big-endian.
void AppendUnsignedInteger(const SegmentDef& segment, const uint8_t* value, std::string* out);
// IEEE 754 binary32/binary64.
void AppendIeeeFloat(const SegmentDef& segment, const uint8_t* value, std::string* out);
// Microsoft Binary Format single/double.
void AppendMbfFloat(const SegmentDef& segment, const uint8_t* value, std::string* out);

// Packed BCD with a trailing sign nibble (DECIMAL, MONEY).
void AppendPackedDecimal(const SegmentDef& segment, const uint8_t* value, std::string* out);
// ASCII digits with the sign overpunched on the last byte (NUMERIC, NUMERICSA).
void AppendOverpunchedNumeric(const SegmentDef& segment, const uint8_t* value, std::string* out);
// ASCII digits followed by a sign byte (NUMERICSTS).
void AppendTrailingSignNumeric(const SegmentDef& segment, const uint8_t* value, std::string* out);

}  // namespace w3b::keycodec

#endif  // W3BTRV7_KEYS_SEGMENT_ENCODING_H
