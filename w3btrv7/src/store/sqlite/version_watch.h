// version_watch.h: notices whether any other connection committed to a data file kept with a
// rollback journal (no shared memory to watch, share_mode.h) since an earlier moment.
//
// `PRAGMA data_version` takes the file's shared lock, which makes SQLite compare the file's
// change counter with the one it saw last (through the file system, so commits of other
// workstations count), and answers a number that changes whenever another connection committed.
// This connection's own changes do not move it; its count of changed rows stands for them. One
// statement and one lock per stamp: cheaper than reading the definition's version and the rows
// again, and it lets a block's read-ahead serve while nothing changed.
#ifndef W3BTRV7_STORE_SQLITE_VERSION_WATCH_H
#define W3BTRV7_STORE_SQLITE_VERSION_WATCH_H

#include <sqlite3.h>

#include <cstdint>

#include "store/change_stamp.h"
#include "store/sqlite/statement.h"

namespace w3b {

class VersionWatch {
public:
    // The stamp of the committed state now; invalid (always safe) when the version cannot be read.
    ChangeStamp Current(sqlite3* db) const;
    void Detach() { version_.Finalize(); }

private:
    mutable Statement version_;
    mutable int64_t lastVersion_ = -1;
    mutable int64_t lastChanges_ = -1;
    mutable uint64_t epoch_ = 0;
};

}  // namespace w3b

#endif  // W3BTRV7_STORE_SQLITE_VERSION_WATCH_H
