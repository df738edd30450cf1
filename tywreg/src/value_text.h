// value_text.h: settings values as text, the way the file stores them.
#ifndef TYWREG_VALUE_TEXT_H
#define TYWREG_VALUE_TEXT_H

#include <cstdint>
#include <optional>
#include <string>

namespace tywreg {

// Reads a 32-bit integer: decimal with an optional sign, or hexadecimal after "0x" (also
// with a sign). Blanks around the number are allowed; anything else around it, an empty
// text or a number outside 32 bits gives nothing. Hexadecimal up to 0xFFFFFFFF is taken as
// the bits of the value, as a registry DWORD is, so 0xFFFFFFFF reads as -1.
std::optional<int32_t> ParseInteger(const std::string& text);

// Decimal text that ParseInteger reads back as `value`.
std::string FormatInteger(int32_t value);

// Copies `text` into `buffer` NUL-terminated within `size` bytes, cut when longer. Writes
// nothing when the buffer is null or the size is not positive.
void CopyToBuffer(const std::string& text, char* buffer, int32_t size);

}  // namespace tywreg

#endif  // TYWREG_VALUE_TEXT_H
