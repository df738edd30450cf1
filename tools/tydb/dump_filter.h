// dump_filter.h: `tydb dump --where/--fields` as the record manager's extended reads take them.
//
// A condition is "POS:LEN[:type=NAME][:nocase] OP VALUE", the field written as a key segment is
// (position 1-based), OP one of = != > >= < <=, VALUE text for the string types, a decimal
// number for integer, unsigned, autoinc and float, or 0x and two hex digits per byte for any
// type. Fields to show are "POS:LEN[,POS:LEN...]".
#ifndef TYDB_TOOLS_DUMP_FILTER_H
#define TYDB_TOOLS_DUMP_FILTER_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tool {

// One filter term as the descriptor carries it.
struct FilterCondition {
    uint8_t type = 0;
    uint16_t length = 0;
    uint16_t offset = 0;     // 0-based
    uint8_t comparison = 0;  // 1..6, +64 case-blind
    std::string value;       // `length` bytes
};

// A field to extract: (length, 0-based offset).
using ExtractedField = std::pair<uint16_t, uint16_t>;

// Parses a condition; false with a message in `*error`.
bool ParseCondition(const std::string& text, FilterCondition* out, std::string* error);
// Parses "POS:LEN[,POS:LEN...]"; false with a message in `*error`.
bool ParseFields(const std::string& text, std::vector<ExtractedField>* out, std::string* error);

// The descriptor of an extended read: "UC" (start with the current record) or "EG", the
// conditions joined by AND (or OR with `any`), `records` records, the fields.
std::string BuildDescriptor(bool withCurrent, const std::vector<FilterCondition>& conditions, bool any,
                            uint16_t records, const std::vector<ExtractedField>& fields);

}  // namespace tool

#endif  // TYDB_TOOLS_DUMP_FILTER_H
