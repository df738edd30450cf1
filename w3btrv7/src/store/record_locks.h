// record_locks.h: this process's record locks on one data file, and the file's lock for an
// exclusive transaction, as every store offers them.
//
// A lock never outlives the process that holds it, and every position block of the process
// shares the process's locks, so they never conflict with each other: a count per record keeps
// it locked until the last of them lets go.
#ifndef W3BTRV7_STORE_RECORD_LOCKS_H
#define W3BTRV7_STORE_RECORD_LOCKS_H

#include <cstdint>

namespace w3b {

// Whether a lock that another process holds is waited for or answered at once.
enum class LockWait { kAnswerAtOnce, kWait };

class RecordLocks {
public:
    virtual ~RecordLocks() = default;

    // Adds one holder of `position` in this process. Status 0; 84 when another process holds
    // it and `wait` is kAnswerAtOnce (with kWait the call blocks until it is free); 2 when the
    // system refuses the lock for another reason.
    virtual int16_t Acquire(int64_t position, LockWait wait) = 0;
    // Removes one holder; the record is free for others once none is left.
    virtual void Release(int64_t position) = 0;
    virtual bool HeldHere(int64_t position) const = 0;
    // Acquire(position, kAnswerAtOnce) for a caller that reads again right after it: a store
    // may send the request with that read, whose status then carries a refusal (84).
    virtual int16_t AcquireWithNextRead(int64_t position) { return Acquire(position, LockWait::kAnswerAtOnce); }
    // Keeps other processes from locking `position` during the write this process begins
    // next, and refuses with 84 when another process holds it. `*release` true: the caller
    // ends the hold with Release after the write; false: the hold ends with the write, and a
    // store may answer the refusal from a later call of the write.
    virtual int16_t HoldForWrite(int64_t position, bool* release) {
        *release = true;
        return Acquire(position, LockWait::kAnswerAtOnce);
    }

    // The whole file, for this process's exclusive transaction: 85 when another process's
    // exclusive transaction has it.
    virtual int16_t LockFile() = 0;
    virtual void UnlockFile() = 0;
    // 0 unless another process's exclusive transaction holds the file: then 85, or with kWait
    // the call blocks until that transaction ends.
    virtual int16_t CheckFileFree(LockWait wait) = 0;
    // The same for a caller that reads next: a store may send the check with that read.
    virtual int16_t CheckFileFreeWithNextRead(LockWait wait) { return CheckFileFree(wait); }
};

}  // namespace w3b

#endif  // W3BTRV7_STORE_RECORD_LOCKS_H
