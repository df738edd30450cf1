// description_file.h: a data file's definition as a plain-text description file, the form the
// original record manager's maintenance utility reads and writes, so that a definition can come
// over from an installation of any version.
//
// The file is `keyword=value` pairs separated by blanks or line ends, keywords and y/n values
// case-blind: record=, variable=, truncate=, compress=, key= (the number of keys), page=,
// replace=, then for each key segment position= (from 1), length=, duplicates=, modifiable=,
// type= (string, integer, unsigned binary, zstring, autoincrement, ...), descending=, alternate=,
// nullkey=, value= (the null byte), segment= (y: more segments of this key follow), and name=
// for the alternate collating sequence file (265 bytes, found beside the description). What the
// original form cannot say, tydb writes with keywords of its own, only when a file needs them:
// nocase=y, supplemental=y, keynumber=N (on a key's first segment), extended=n (a segment typed
// by the old binary flag rather than an extended type) and nullkey=any.
#ifndef TYDB_TOOLS_DESCRIPTION_FILE_H
#define TYDB_TOOLS_DESCRIPTION_FILE_H

#include <cstdint>
#include <string>
#include <vector>

namespace tool {

struct Description {
    std::vector<uint8_t> createBuffer;  // file specification, segments, collating sequence
    bool replace = false;               // replace=y
};

// Reads description `text`; name= files are read from `folder`. False with `*error` ("line N:
// reason") when it is not a definition Create could take; keywords it does not know are named
// in `*warnings` and otherwise passed over.
bool ParseDescription(const std::string& text, const std::string& folder, Description* out,
                      std::vector<std::string>* warnings, std::string* error);

// The description of the definition in Stat reply `stat`. A key's collating sequence goes to
// `*acs`, for the file `*acsName` (the sequence's own name, NAME.alt) that the description
// names. False with `*error` when the definition holds what a description cannot say (more
// than one collating sequence, say).
bool WriteDescription(const std::vector<uint8_t>& stat, std::string* text, std::vector<uint8_t>* acs,
                      std::string* acsName, std::string* error);

}  // namespace tool

#endif  // TYDB_TOOLS_DESCRIPTION_FILE_H
