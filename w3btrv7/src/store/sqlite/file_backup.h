// file_backup.h: a consistent copy of a data file kept as an SQLite database, taken while the
// application goes on using it.
#ifndef W3BTRV7_STORE_SQLITE_FILE_BACKUP_H
#define W3BTRV7_STORE_SQLITE_FILE_BACKUP_H

#include <cstdint>
#include <functional>
#include <string>

namespace w3b {

// Copies the data file at `source` into a new file `dest` through SQLite's online backup, a
// slice of pages at a time, `progress` told after each (pages copied, pages in all). In WAL mode
// the copy reads one snapshot, the moment it began, and no writer waits for it; with a rollback
// journal each slice holds writers back only while it is read, and the copy begins again when
// another workstation commits meanwhile (after many such restarts, the rest is read in one
// piece). `dest` appears only whole: it is written under a name of its own beside it and moved
// into place. 12 when `source` is missing, 59 when `dest` exists, 85 when the source stayed busy,
// another status with `problem` in words otherwise.
int16_t BackupSqliteFile(const std::string& source, const std::string& dest,
                         const std::function<void(int64_t, int64_t)>& progress, std::string* problem);

}  // namespace w3b

#endif  // W3BTRV7_STORE_SQLITE_FILE_BACKUP_H
