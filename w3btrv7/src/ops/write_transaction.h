// write_transaction.h: one write operation's transaction on a data file.
#ifndef W3BTRV7_OPS_WRITE_TRANSACTION_H
#define W3BTRV7_OPS_WRITE_TRANSACTION_H

#include <cstdint>

#include "ops/call.h"

namespace w3b {

// A write with the no-wait bias (+500), or inside a transaction begun with it, does not wait
// for another process's write to end.
class WriteWaitScope {
public:
    WriteWaitScope(FileConnection& file, const Call& call) : file_(file) {
        file_.SetWriteWait(call.op.noWriteWait || Engine::Get().CurrentTransaction().noWriteWait
                               ? LockWait::kAnswerAtOnce
                               : LockWait::kWait);
    }
    ~WriteWaitScope() { file_.SetWriteWait(LockWait::kWait); }

private:
    FileConnection& file_;
};

// Rolls the operation back unless it was committed. Inside the process's transaction the
// operation is a part of the file's share of it that is undone alone.
//
// An operation checks its request against the file's definition before Begin, so that a bad
// request never waits for the write lock, and again after it when Redefined() says another
// process added or dropped a key meanwhile: references into the old definition are then stale.
class WriteTransaction {
public:
    explicit WriteTransaction(FileConnection& file) : file_(file), generation_(file.DefinitionGeneration()) {}
    ~WriteTransaction() {
        if (open_) file_.Rollback();
    }
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;

    int16_t Begin() {
        if (Engine::Get().CurrentTransaction().active) {
            if (int16_t status = Engine::Get().JoinTransaction(&file_); status != btr::kStatusSuccess) return status;
        }
        int16_t status = file_.Begin();
        open_ = status == btr::kStatusSuccess;
        return status;
    }
    bool Redefined() const { return file_.DefinitionGeneration() != generation_; }
    int16_t Commit() {
        open_ = false;
        return file_.Commit();
    }
    // Rolls back now, before the operation reads outside the write.
    void Abandon() {
        if (open_) file_.Rollback();
        open_ = false;
    }

private:
    FileConnection& file_;
    uint64_t generation_;
    bool open_ = false;
};

}  // namespace w3b

#endif  // W3BTRV7_OPS_WRITE_TRANSACTION_H
