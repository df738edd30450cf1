// change_watch.h: notices, without a system call, whether any connection committed to a data
// file since an earlier moment.
//
// In WAL mode every commit rewrites the header of the WAL index, which SQLite keeps in shared
// memory (its layout is part of SQLite's documented file format: two 48-byte copies of the
// header at the start of the first region). Comparing that header with a copy taken earlier
// tells whether anything was committed in between. A read that catches a writer in the middle
// of an update sees the two copies differ and reports "unknown", so the caller does the full
// work instead.
#ifndef W3BTRV7_STORE_SQLITE_CHANGE_WATCH_H
#define W3BTRV7_STORE_SQLITE_CHANGE_WATCH_H

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>

#include "store/change_stamp.h"

namespace w3b {

class ChangeWatch {
public:
    // Finds the shared WAL index of `db`'s main database. Call after a statement has run, so
    // that SQLite has mapped it. Without it every stamp is invalid, which is always safe.
    void Attach(sqlite3* db);
    void Detach() { header_ = nullptr; }

    // The stamp of the committed state now: the header is compared with the one seen last, and
    // a different one starts a new epoch. With `commits`, also the header's count of commits
    // (SQLite adds one with every commit), for a valid stamp.
    ChangeStamp Current(uint32_t* commits = nullptr) const;

private:
    static constexpr size_t kHeaderWords = 48 / sizeof(uint64_t);
    static constexpr size_t kCommitsOffset = 8;  // iChange: u32, native byte order

    const volatile uint8_t* header_ = nullptr;
    mutable uint64_t lastSeen_[kHeaderWords] = {};
    mutable uint64_t epoch_ = 0;
};

}  // namespace w3b

#endif  // W3BTRV7_STORE_SQLITE_CHANGE_WATCH_H
