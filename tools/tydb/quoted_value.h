// quoted_value.h: input values as the tool's messages show them.
//
// A message names the value it refuses, but one field of an input file may be megabytes long:
// past kShownValueLength characters only its beginning is shown, then "..." and its length.
#ifndef TYDB_TOOLS_QUOTED_VALUE_H
#define TYDB_TOOLS_QUOTED_VALUE_H

#include <cstddef>
#include <string>

namespace tool {

inline constexpr size_t kShownValueLength = 40;

// "value" in quotes, or "its first 40 characters..." (N characters).
std::string QuotedValue(const std::string& text);

// The same without the quotes: value, or its first 40 characters... (N characters).
std::string ShownValue(const std::string& text);

// The value, or its first 40 characters and "...", for a message that states the length itself.
std::string ValuePrefix(const std::string& text);

}  // namespace tool

#endif  // TYDB_TOOLS_QUOTED_VALUE_H
