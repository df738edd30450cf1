// Checkpoints and continuous operation of the SQLite store.
//
// In WAL mode the database file itself changes only when a checkpoint copies committed pages
// into it from the WAL: after a commit once the WAL has grown past a threshold, and when the
// last connection closes. Continuous operation holds both back in every process, so the database
// file stays a consistent database of the moment the mode began, which an ordinary file copy
// can take while the application goes on writing into the WAL. A process that keeps the file in
// the mode holds a shared byte-range lock on it; the system drops the lock when the process ends
// however it ends, so a crashed backup never holds checkpoints back for good.
#include "store/sqlite/sqlite_file.h"

namespace w3b {

namespace {

// SQLite's own threshold for checkpoints after a commit, in pages of WAL.
constexpr int kCheckpointAfterPages = 1000;

}  // namespace

int SqliteFile::AfterCommit(void* self, sqlite3*, const char*, int walPages) {
    if (walPages >= kCheckpointAfterPages)
        static_cast<SqliteFile*>(self)->CheckpointUnlessHeldBack(SQLITE_CHECKPOINT_PASSIVE);
    return SQLITE_OK;
}

bool SqliteFile::CheckpointsHeldBack() {
    if (continuous_) return true;
    // Held by nobody when this process can have it alone for an instant.
    if (openLock_.LockRange(kContinuousLockOffset, 1, platform::RangeLock::kExclusive, false) !=
        platform::FileStatus::kOk) {
        return true;
    }
    openLock_.UnlockRange(kContinuousLockOffset, 1);
    return false;
}

void SqliteFile::CheckpointUnlessHeldBack(int mode) {
    // Refused while another process is beginning continuous operation: the checkpoint waits
    // for the next commit.
    if (openLock_.LockRange(kCheckpointLockOffset, 1, platform::RangeLock::kShared, false) !=
        platform::FileStatus::kOk) {
        return;
    }
    if (!CheckpointsHeldBack()) sqlite3_wal_checkpoint_v2(db_, nullptr, mode, nullptr, nullptr);
    openLock_.UnlockRange(kCheckpointLockOffset, 1);
}

bool SqliteFile::HoldBackCheckpointOnClose() {
    if (readOnly_ || db_ == nullptr) return false;
    bool deciding =
        openLock_.LockRange(kCheckpointLockOffset, 1, platform::RangeLock::kShared, false) == platform::FileStatus::kOk;
    if (!deciding || CheckpointsHeldBack()) sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    return deciding;
}

int16_t SqliteFile::BeginContinuous() {
    if (continuous_) return btr::kStatusSuccess;
    // With a rollback journal every commit writes the database file itself: nothing holds it
    // still for a copy.
    if (shareMode_ == ShareMode::kNetworkShare) return btr::kStatusOperationNotAllowed;
    // A connection that cannot write cannot bring the database file up to date first.
    if (readOnly_) return btr::kStatusAccessDenied;
    if (inTransaction_) return btr::kStatusOperationNotAllowed;
    // Waits for checkpoints other processes decided on before this one holds them back.
    if (openLock_.LockRange(kCheckpointLockOffset, 1, platform::RangeLock::kExclusive, true) !=
        platform::FileStatus::kOk) {
        return btr::kStatusIoError;
    }
    platform::FileStatus fs = openLock_.LockRange(kContinuousLockOffset, 1, platform::RangeLock::kShared, true);
    openLock_.UnlockRange(kCheckpointLockOffset, 1);
    if (fs != platform::FileStatus::kOk) return btr::kStatusIoError;
    continuous_ = true;
    // Every commit so far into the database file, and the WAL begun again: the file is now
    // the moment the mode begins. It waits (up to the busy timeout) for writers and readers.
    int rc = sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        EndContinuous();
        return rc == SQLITE_BUSY ? btr::kStatusFileInUse : StatusOf(rc);
    }
    return btr::kStatusSuccess;
}

void SqliteFile::EndContinuous() {
    if (!continuous_) return;
    openLock_.UnlockRange(kContinuousLockOffset, 1);
    continuous_ = false;
    // Catches up as far as it can without waiting; the next commit or close does the rest.
    CheckpointUnlessHeldBack(SQLITE_CHECKPOINT_PASSIVE);
}

}  // namespace w3b
