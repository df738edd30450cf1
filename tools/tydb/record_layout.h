// record_layout.h: the fields of a record as a layout file names them, and their conversion
// between a record's bytes and text.
//
// A layout file has one field a line: "NAME OFFSET LENGTH TYPE", separated by blanks or commas;
// OFFSET counts bytes from the start of the record (0 is the first byte); '#' starts a comment.
// Types: string (blank-padded text), zstring (text ended by a NUL), integer and unsigned
// (little-endian, 1, 2, 4 or 8 bytes), float (4 or 8 bytes) and hex (raw bytes as hex digits).
#ifndef TYDB_TOOLS_RECORD_LAYOUT_H
#define TYDB_TOOLS_RECORD_LAYOUT_H

#include <cstdint>
#include <string>
#include <vector>

namespace tool {

enum class FieldType { kString, kZstring, kInteger, kUnsigned, kFloat, kHex };

struct LayoutField {
    std::string name;
    int offset = 0;
    int length = 0;
    FieldType type = FieldType::kString;
};

struct RecordLayout {
    std::vector<LayoutField> fields;

    // One past the last byte any field uses.
    int End() const;
    // The index of the field named `name` (exact match), or -1.
    int Find(const std::string& name) const;
};

// Parses a layout's text; false with "line N: reason" in `*error` when it is malformed (unknown
// type, a length the type cannot have, overlapping fields, a name used twice, no fields).
bool ParseLayout(const std::string& text, RecordLayout* layout, std::string* error);

// Reads and parses the layout file at `path`.
bool ReadLayoutFile(const std::string& path, RecordLayout* layout, std::string* error);

// The type's name as a layout file writes it.
const char* FieldTypeName(FieldType type);

// Writes `text` into the field's bytes of `record` (which must hold the field); false with a
// reason, and the record untouched, when the text does not fit the field.
bool EncodeField(const LayoutField& field, const std::string& text, uint8_t* record, std::string* error);

// The field's value as text; `record` must hold the field.
std::string DecodeField(const LayoutField& field, const uint8_t* record);

// The value an empty record has in the field: blanks for strings, zeros otherwise.
void ClearField(const LayoutField& field, uint8_t* record);

}  // namespace tool

#endif  // TYDB_TOOLS_RECORD_LAYOUT_H
