// key_options.h: key definitions as people write them on the command line, and the names the
// tool shows for key flags, key types and file flags.
//
// A key is "POS:LEN[:FLAG...][,POS:LEN[:FLAG...]...]": one segment per comma, position 1-based,
// flags by name (dup, mod, bin, null, desc, upper, nocase, type=NAME), several flags joined by
// ':' or '+'. Duplicates, modifiable and null apply to the whole key, so a flag of that kind on
// any segment is set on all of them; the segmented flag is set on all but the last segment.
#ifndef TYDB_TOOLS_KEY_OPTIONS_H
#define TYDB_TOOLS_KEY_OPTIONS_H

#include <cstdint>
#include <string>
#include <vector>

#include "btrcall.h"

namespace tool {

// Parses one key; false with a message in `*error` when the text is not a key.
bool ParseKey(const std::string& text, std::vector<BtrKeySpec>* segments, std::string* error);

// "dup mod desc" for the flags a segment carries (segmented left out); "" for none.
std::vector<std::string> KeyFlagNames(uint16_t flags);

// "string", "zstring", ...; "type N" for a number the tool does not know.
std::string KeyTypeName(uint8_t type);

// The name a description file gives the type: "unsigned binary", "autoincrement", ...
std::string DescriptionTypeName(uint8_t type);

// The type `name` stands for, in either spelling ("unsigned" or "unsigned binary"); false for a
// name the tool does not know.
bool KeyTypeOfName(const std::string& name, uint8_t* type);

// "variable", "truncate", ... for a file's flags.
std::vector<std::string> FileFlagNames(uint16_t flags);

}  // namespace tool

#endif  // TYDB_TOOLS_KEY_OPTIONS_H
