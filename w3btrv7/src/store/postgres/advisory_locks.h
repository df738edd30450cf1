// advisory_locks.h: record locks of a server file: the server's session-level advisory locks.
//
// A session lock lives as long as the connection that took it, so the server ends it when the
// workstation's connection ends for any reason (a killed process, a pulled cable, a restart),
// and no process id is written down anywhere. Row locks would not do: they end with the
// server transaction, while a record lock outlives the operation that takes it.
//
// Tags: a record is the single 64-bit key (file id << 32 | position); the file's open lock is
// (file id, 0) and its exclusive-transaction lock (file id, 1) in the two-key space, which the
// server keeps apart from the single-key one.
#ifndef W3BTRV7_STORE_POSTGRES_ADVISORY_LOCKS_H
#define W3BTRV7_STORE_POSTGRES_ADVISORY_LOCKS_H

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>

#include "store/postgres/pg_session.h"
#include "store/record_locks.h"

namespace w3b {

class AdvisoryLocks final : public RecordLocks {
public:
    AdvisoryLocks(PgSession& session, int32_t fileId) : session_(session), fileId_(fileId) {}

    int16_t Acquire(int64_t position, LockWait wait) override;
    void Release(int64_t position) override;
    bool HeldHere(int64_t position) const override { return held_.count(position) != 0; }
    // A lock of the write's own server transaction, sent with the write: the server lets go
    // of it when the write ends, and a refusal makes it skip the rest of the write. It waits
    // for the write to begin, whose statement that takes the file's row takes it too
    // (TakeWriteHold), or after which it is sent on its own (SendWriteHold).
    int16_t HoldForWrite(int64_t position, bool* release) override;
    // The tag of the record the write beginning now holds, for its first statement to lock with
    // pg_try_advisory_xact_lock; 0 for none.
    int64_t TakeWriteHold() { return std::exchange(writeHold_, 0); }
    // Sends the hold the write is waiting for, inside the write's transaction.
    int16_t SendWriteHold();
    // A call that ended before its write began leaves nothing for the next one.
    void ForgetWriteHold() { writeHold_ = 0; }
    // The condition that takes the write's hold on the record whose tag is `tag` (a parameter
    // such as "$3", or the number itself), refusing with 84 while another process holds it.
    static std::string WriteHoldCondition(const std::string& tag) {
        return "w3btrv7.expect(pg_try_advisory_xact_lock(" + tag + "), '" + kSqlStateRecordLocked + "')";
    }
    int16_t LockFile() override;
    void UnlockFile() override;
    int16_t CheckFileFree(LockWait wait) override;
    // Both go to the server with the read that follows them.
    int16_t AcquireWithNextRead(int64_t position) override;
    int16_t CheckFileFreeWithNextRead(LockWait wait) override;

    // Lets go of every lock this file holds (the file closes while the folder's connection
    // stays for others).
    void ReleaseAll();
    // Forgets every lock: the connection that held them has ended, and the server with it.
    void Forget() {
        held_.clear();
        fileLocked_ = false;
    }

private:
    int64_t RecordTag(int64_t position) const { return (int64_t{fileId_} << 32) | (position & 0xFFFFFFFFLL); }
    PgParams RecordParams(int64_t position) const { return PgParams().Int8(RecordTag(position)); }
    PgParams FileParams() const { return PgParams().Int4(fileId_); }
    // A record this process holds already is held once more, with no statement.
    bool HoldAgain(int64_t position);
    // Runs a statement that answers one boolean; `granted` is its answer.
    int16_t Ask(const char* sql, PgParams& params, bool* granted);
    static bool Granted(const PgResult& result) {
        return result.Rows() == 1 && !result.IsNull(0, 0) && result.Bool(0, 0);
    }

    PgSession& session_;
    int32_t fileId_;
    bool fileLocked_ = false;
    int64_t writeHold_ = 0;  // the tag HoldForWrite named for the write about to begin
    std::unordered_map<int64_t, int> held_;
};

}  // namespace w3b

#endif  // W3BTRV7_STORE_POSTGRES_ADVISORY_LOCKS_H
