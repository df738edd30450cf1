// hex_text.h: bytes written as hex digit pairs, and read back from them.
//
// Hex fields, a record's rest written as hex, and the "#invalid(...)" form of bytes that hold no
// value of their field all use the same lower-case pairs.
#ifndef TYDB_TOOLS_HEX_TEXT_H
#define TYDB_TOOLS_HEX_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace tool {

// Two lower-case hex digits per byte.
std::string HexText(const uint8_t* in, size_t length);

// "#invalid(HEX)": bytes that hold no value of their field, shown as they are, never guessed at.
std::string InvalidText(const uint8_t* in, size_t length);

// The bytes that `text`'s hex digit pairs (either case) stand for; false, with why in `error`,
// when its length is odd or a character is not a hex digit.
bool BytesOfHexText(const std::string& text, std::string* bytes, std::string* error);

}  // namespace tool

#endif  // TYDB_TOOLS_HEX_TEXT_H
