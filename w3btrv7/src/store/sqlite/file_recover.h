// file_recover.h: what a damaged data file still holds, saved into a new file.
#ifndef W3BTRV7_STORE_SQLITE_FILE_RECOVER_H
#define W3BTRV7_STORE_SQLITE_FILE_RECOVER_H

#include <cstdint>
#include <functional>
#include <string>

namespace w3b {

struct FileDef;

struct RecoverCounts {
    int64_t saved = 0;
    int64_t lost = 0;
};

// Copies every record of the SQLite data file `source` that can still be read, at its own
// position, into the new file `dest` made with `definition` (null: the source's own), and builds every key
// again from those records. Records in damaged pages are passed over: the scan goes on after the
// damage, and each record lost is told to `lost` with its position (as the keys still list it)
// and why; a damaged stretch no key lists is told with position -1. 12 when `source` is missing,
// 59 when `dest` exists, 30 when the source's definition cannot be read, 5 when a key without
// duplicates would hold a value twice; `dest` is then not made, and `problem` says why.
int16_t RecoverSqliteFile(const std::string& source, const std::string& dest, const FileDef* definition,
                          const std::function<void(int64_t position, const std::string& why)>& lost,
                          RecoverCounts* counts, std::string* problem);

}  // namespace w3b

#endif  // W3BTRV7_STORE_SQLITE_FILE_RECOVER_H
