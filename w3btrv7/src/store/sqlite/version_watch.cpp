#include "store/sqlite/version_watch.h"

namespace w3b {

ChangeStamp VersionWatch::Current(sqlite3* db) const {
    ChangeStamp stamp;
    if (db == nullptr) return stamp;
    if (!version_.IsPrepared() && version_.Prepare(db, "PRAGMA data_version") != SQLITE_OK) return stamp;
    int64_t version;
    {
        StatementScope scope(version_.Get());
        if (sqlite3_step(version_.Get()) != SQLITE_ROW) return stamp;
        version = sqlite3_column_int64(version_.Get(), 0);
    }
    const int64_t changes = sqlite3_total_changes(db);
    if (epoch_ == 0 || version != lastVersion_ || changes != lastChanges_) {
        lastVersion_ = version;
        lastChanges_ = changes;
        ++epoch_;
    }
    stamp.epoch = epoch_;
    stamp.valid = true;
    return stamp;
}

}  // namespace w3b
