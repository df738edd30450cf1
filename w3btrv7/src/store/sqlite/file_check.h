// file_check.h: a data file kept as an SQLite database checked as a whole: SQLite's own check of
// its pages, then what only the record manager knows: the stored definition, and every key table
// against the records it indexes.
#ifndef W3BTRV7_STORE_SQLITE_FILE_CHECK_H
#define W3BTRV7_STORE_SQLITE_FILE_CHECK_H

#include <cstdint>
#include <functional>
#include <string>

namespace w3b {

enum class DamageKind {
    kPages = 1,         // SQLite's integrity check: a damaged page, index or table
    kDefinition = 2,    // the stored definition cannot be read or is not valid
    kShortRecord = 3,   // a record shorter than the fixed record length
    kMissingEntry = 4,  // a record that has no entry in a key that should list it
    kStrayEntry = 5,    // an entry that names no record, or a record the key leaves out
    kWrongEntry = 6,    // an entry whose value is not its record's, or a record listed twice
    kOrder = 7,         // duplicates' order numbers: a repeated value in a key without duplicates
};

struct Finding {
    DamageKind kind = DamageKind::kPages;
    int key = -1;           // the key concerned, or -1
    int64_t position = -1;  // the record concerned, or -1
    std::string text;
};

struct CheckCounts {
    int64_t records = 0;
    int keys = 0;
    int64_t entries = 0;
    int64_t findings = 0;
};

// Checks the data file at `path` on one snapshot of it, without changing it (in WAL mode
// writers go on meanwhile; with a rollback journal they wait for the check's read). Every finding
// goes to `report`. 0 when the check ran to its end, whatever it found; 12 when there is no
// such file, 30 when it is no database at all.
int16_t CheckSqliteFile(const std::string& path, const std::function<void(const Finding&)>& report,
                        CheckCounts* counts);

}  // namespace w3b

#endif  // W3BTRV7_STORE_SQLITE_FILE_CHECK_H
