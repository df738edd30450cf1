// record_locks.h: this process's record locks on one data file.
//
// A record lock is an exclusive byte-range lock on one byte of the data file, far beyond what
// the database itself uses, taken through the process's own descriptor of the file. The system
// releases it when that descriptor is closed or the process dies, so a lock never outlives its
// holder and no process id is ever written anywhere. Every position block of the process shares
// the descriptor, so they never conflict with each other; a count per record keeps the byte
// locked until the last of them lets go.
#ifndef W3BTRV7_RECORD_LOCKS_H
#define W3BTRV7_RECORD_LOCKS_H

#include <cstdint>
#include <unordered_map>

#include "platform.h"

namespace w3b {

// Bytes of the data file that stand for locks (they never hold data).
inline constexpr uint64_t kOpenLockOffset = uint64_t{1} << 62;
// Held exclusively by a process whose exclusive transaction has touched the file.
inline constexpr uint64_t kFileLockOffset = kOpenLockOffset + 1;
inline constexpr uint64_t kRecordLockBase = kOpenLockOffset + (uint64_t{1} << 40);

class RecordLocks {
public:
    explicit RecordLocks(platform::File* descriptor) : descriptor_(descriptor) {}

    // Adds one holder of `position` in this process. Status 0; 84 when another process holds
    // it and `wait` is false (with `wait` the call blocks until it is free); 2 when the system
    // refuses the lock for another reason.
    int16_t Acquire(int64_t position, bool wait);
    // Removes one holder; the record is free for others once none is left.
    void Release(int64_t position);
    bool HeldHere(int64_t position) const { return held_.count(position) != 0; }

    // The whole file, for this process's exclusive transaction: 85 when another process's
    // exclusive transaction has it.
    int16_t LockFile();
    void UnlockFile();
    // 0 unless another process's exclusive transaction holds the file: then 85, or with `wait`
    // the call blocks until that transaction ends.
    int16_t CheckFileFree(bool wait);

private:
    platform::File* descriptor_;
    bool fileLocked_ = false;
    std::unordered_map<int64_t, int> held_;
};

}  // namespace w3b

#endif  // W3BTRV7_RECORD_LOCKS_H
