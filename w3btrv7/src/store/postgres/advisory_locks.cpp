#include "store/postgres/advisory_locks.h"

#include "btrcall.h"

namespace w3b {

namespace {

constexpr char kTryRecord[] = "SELECT pg_try_advisory_lock($1)";

// Whether another process's exclusive transaction leaves the file free; the waiting form
// blocks until that transaction ends.
const char* FileFreeSql(LockWait wait) {
    return wait == LockWait::kWait
               ? "SELECT pg_advisory_unlock_shared($1, 1) FROM (SELECT pg_advisory_lock_shared($1, 1)) AS waited"
               : "SELECT CASE WHEN pg_try_advisory_lock_shared($1, 1) THEN pg_advisory_unlock_shared($1, 1)"
                 " ELSE false END";
}

}  // namespace

int16_t AdvisoryLocks::Ask(const char* sql, PgParams& params, bool* granted) {
    PgResult result;
    int16_t status = session_.Run(sql, params, &result);
    *granted = status == btr::kStatusSuccess && Granted(result);
    return status;
}

bool AdvisoryLocks::HoldAgain(int64_t position) {
    auto it = held_.find(position);
    if (it == held_.end()) return false;
    ++it->second;
    return true;
}

int16_t AdvisoryLocks::AcquireWithNextRead(int64_t position) {
    if (HoldAgain(position)) return btr::kStatusSuccess;
    PgParams params = RecordParams(position);
    return session_.Send(kTryRecord, params, [this, position](int16_t status, PgResult& result) {
        if (status != btr::kStatusSuccess) return status;
        if (!Granted(result)) return btr::kStatusRecordInUse;
        ++held_[position];
        return btr::kStatusSuccess;
    });
}

int16_t AdvisoryLocks::CheckFileFreeWithNextRead(LockWait wait) {
    if (fileLocked_) return btr::kStatusSuccess;
    PgParams params = FileParams();
    return session_.Send(FileFreeSql(wait), params, [](int16_t status, PgResult& result) {
        if (status != btr::kStatusSuccess) return status;
        return Granted(result) ? btr::kStatusSuccess : btr::kStatusFileInUse;
    });
}

int16_t AdvisoryLocks::Acquire(int64_t position, LockWait wait) {
    if (HoldAgain(position)) return btr::kStatusSuccess;
    PgParams params = RecordParams(position);
    bool granted = false;
    // The waiting form blocks until the holder lets go; the server answers a deadlock (78).
    int16_t status = wait == LockWait::kWait
                         ? Ask("SELECT true FROM (SELECT pg_advisory_lock($1)) AS waited", params, &granted)
                         : Ask(kTryRecord, params, &granted);
    if (status != btr::kStatusSuccess) return status;
    if (!granted) return btr::kStatusRecordInUse;
    held_.emplace(position, 1);
    return btr::kStatusSuccess;
}

int16_t AdvisoryLocks::HoldForWrite(int64_t position, bool* release) {
    *release = false;
    writeHold_ = RecordTag(position);
    return btr::kStatusSuccess;
}

int16_t AdvisoryLocks::SendWriteHold() {
    if (writeHold_ == 0) return btr::kStatusSuccess;
    PgParams params = PgParams().Int8(TakeWriteHold());
    return session_.Send("SELECT " + WriteHoldCondition("$1"), params);
}

void AdvisoryLocks::Release(int64_t position) {
    // A lock sent ahead is counted once its answer is read.
    if (session_.HasSent()) session_.Flush();
    auto it = held_.find(position);
    if (it == held_.end()) return;
    if (--it->second > 0) return;
    held_.erase(it);
    // Without a connection the lock ended with it; a new connection is not worth making for it.
    if (!session_.Connected()) return;
    PgParams params = RecordParams(position);
    bool released = false;
    Ask("SELECT pg_advisory_unlock($1)", params, &released);
}

int16_t AdvisoryLocks::LockFile() {
    if (fileLocked_) return btr::kStatusSuccess;
    PgParams params = FileParams();
    bool granted = false;
    int16_t status = Ask("SELECT pg_try_advisory_lock($1, 1)", params, &granted);
    if (status != btr::kStatusSuccess) return status;
    if (!granted) return btr::kStatusFileInUse;
    fileLocked_ = true;
    return btr::kStatusSuccess;
}

void AdvisoryLocks::UnlockFile() {
    if (!fileLocked_) return;
    fileLocked_ = false;
    if (!session_.Connected()) return;
    PgParams params = FileParams();
    bool released = false;
    Ask("SELECT pg_advisory_unlock($1, 1)", params, &released);
}

int16_t AdvisoryLocks::CheckFileFree(LockWait wait) {
    if (fileLocked_) return btr::kStatusSuccess;
    PgParams params = FileParams();
    bool free = false;
    if (int16_t status = Ask(FileFreeSql(wait), params, &free); status != btr::kStatusSuccess) return status;
    return free ? btr::kStatusSuccess : btr::kStatusFileInUse;
}

void AdvisoryLocks::ReleaseAll() {
    if (!session_.Connected()) return Forget();
    for (const auto& [position, count] : held_) {
        PgParams params = RecordParams(position);
        bool released = false;
        Ask("SELECT pg_advisory_unlock($1)", params, &released);
    }
    held_.clear();
    UnlockFile();
}

}  // namespace w3b
