// record_layout.h: the fields of a record as a layout file names them, and their conversion
// between a record's bytes and text.
//
// A layout file has one field a line: "NAME OFFSET LENGTH TYPE", separated by blanks or commas;
// OFFSET counts bytes from the start of the record (0 is the first byte); '#' starts a comment.
// Types: string (blank-padded text), zstring (text ended by a NUL), integer and unsigned
// (little-endian, 1, 2, 4 or 8 bytes), float (4 or 8 bytes), hex (raw bytes as hex digits), and
// the record manager's own types (accounting_fields.h): date, time, timestamp, decimal:S,
// money, numeric:S, currency, bfloat, lstring, logical, autoincrement (S: digits after the
// point; decimal and numeric without it have none). A last field of LENGTH `*` is the rest of
// the record, however long (the variable-length part): `text` (its bytes as they are) or `hex`.
#ifndef TYDB_TOOLS_RECORD_LAYOUT_H
#define TYDB_TOOLS_RECORD_LAYOUT_H

#include <cstdint>
#include <string>
#include <vector>

#include "accounting_fields.h"

namespace tool {

enum class FieldType { kString, kZstring, kInteger, kUnsigned, kFloat, kHex, kAccounting, kText };

struct LayoutField {
    std::string name;
    int offset = 0;
    int length = 0;
    FieldType type = FieldType::kString;
    AccountingType accounting = AccountingType::kDate;  // for kAccounting
    int scale = 0;                                      // digits after the point: decimal, numeric
    int codePage = 0;   // text fields: the record keeps the text in this Windows code page (0: as is)
    bool rest = false;  // LENGTH `*`: from `offset` to the record's end (length 0)
};

struct RecordLayout {
    std::vector<LayoutField> fields;

    // One past the last byte any field uses.
    int End() const;
    // The record keeps its text (string, zstring and lstring fields) in Windows code page
    // `codePage`; the text outside is UTF-8.
    void SetCodePage(int codePage);
    // The index of the field named `name` (exact match), or -1.
    int Find(const std::string& name) const;
};

// Parses a layout's text; false with "line N: reason" in `*error` when it is malformed (unknown
// type, a length the type cannot have, overlapping fields, a name used twice, no fields).
bool ParseLayout(const std::string& text, RecordLayout* layout, std::string* error);

// Reads and parses the layout file at `path`.
bool ReadLayoutFile(const std::string& path, RecordLayout* layout, std::string* error);

// Every type a layout may name, as a help text lists them.
const char* LayoutTypeList();

// The field's type as a layout file writes it ("decimal:2").
std::string FieldTypeName(const LayoutField& field);

// Writes `text` into the field's bytes of `record` (which must hold the field); false with a
// reason, and the record untouched, when the text does not fit the field (or, with a code page,
// has a character the code page does not).
bool EncodeField(const LayoutField& field, const std::string& text, uint8_t* record, std::string* error);

// The field's value as text; `record` must hold the field. `*valid` (when given) is false when
// the bytes hold no value of the field's type, or text that does not convert from its code
// page: the text is then #invalid(HEX).
std::string DecodeField(const LayoutField& field, const uint8_t* record, bool* valid = nullptr);

// A rest field's text as the bytes the record ends with; false with a reason when it is none
// (hex digits that are not, a character the code page does not have).
bool EncodeRest(const LayoutField& field, const std::string& text, std::string* bytes, std::string* error);

// The rest field's text of a record of `length` bytes (empty when the record ends before the
// field); `*valid` as DecodeField's.
std::string DecodeRest(const LayoutField& field, const uint8_t* record, size_t length, bool* valid = nullptr);

// The value an empty record has in the field: blanks for strings, zeros otherwise.
void ClearField(const LayoutField& field, uint8_t* record);

}  // namespace tool

#endif  // TYDB_TOOLS_RECORD_LAYOUT_H
