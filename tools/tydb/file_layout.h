// file_layout.h: a data file's statistics as the tool shows and uses them.
#ifndef TYDB_TOOLS_FILE_LAYOUT_H
#define TYDB_TOOLS_FILE_LAYOUT_H

#include <cstdint>
#include <string>
#include <vector>

#include "btrcall.h"

namespace tool {

struct FileLayout {
    BtrFileSpec file = {};
    // Key by key, in the order the record manager reports them; each key's segments in order.
    std::vector<std::vector<BtrKeySpec>> keys;
    bool hasAcs = false;
    BtrAcs acs = {};
};

// The statistics of the open file `handle`; 0 or the library's status.
int32_t ReadFileLayout(int16_t handle, FileLayout* layout);

// The key's number as the record manager reports it.
inline int KeyNumberOf(const std::vector<BtrKeySpec>& key) { return key.empty() ? -1 : key.front().keyNumber; }

// Sum of the key's segment lengths.
int KeyLength(const std::vector<BtrKeySpec>& key);

// "zstring" for a segment with that extended type, else "string" or "binary".
std::string SegmentTypeName(const BtrKeySpec& segment);

// The collating sequence's name, blanks trimmed.
std::string AcsName(const BtrAcs& acs);

}  // namespace tool

#endif  // TYDB_TOOLS_FILE_LAYOUT_H
