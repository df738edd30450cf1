// byte_range_locks.h: record locks of a store whose data file is a file of this computer or a
// share: byte-range locks on the file itself.
//
// A record lock is an exclusive byte-range lock on one byte of the data file, far beyond what
// the database itself uses, taken through the process's own descriptor of the file. The system
// releases it when that descriptor is closed or the process dies, so a lock never outlives its
// holder and no process id is ever written anywhere. Every position block of the process shares
// the descriptor, so they never conflict with each other; a count per record keeps the byte
// locked until the last of them lets go.
#ifndef W3BTRV7_STORE_BYTE_RANGE_LOCKS_H
#define W3BTRV7_STORE_BYTE_RANGE_LOCKS_H

#include <cstdint>
#include <unordered_map>

#include "platform.h"
#include "store/record_locks.h"

namespace w3b {

// Bytes of the data file that stand for locks (they never hold data).
inline constexpr uint64_t kOpenLockOffset = uint64_t{1} << 62;
// Held exclusively by a process whose exclusive transaction has touched the file.
inline constexpr uint64_t kFileLockOffset = kOpenLockOffset + 1;
// Held shared by every process that keeps the file in continuous operation.
inline constexpr uint64_t kContinuousLockOffset = kOpenLockOffset + 2;
// Held shared while a process decides on and runs a checkpoint, exclusively while one begins
// continuous operation: so no checkpoint decided before the beginning runs after it.
inline constexpr uint64_t kCheckpointLockOffset = kOpenLockOffset + 3;
// Held shared by every process that has the file open for one computer (WAL), and by every
// one that has it open for a network share (rollback journal): never both at once.
inline constexpr uint64_t kOneComputerLockOffset = kOpenLockOffset + 4;
inline constexpr uint64_t kNetworkShareLockOffset = kOpenLockOffset + 5;
// Held exclusively for the instant an opener looks whether the other mode's byte is held, one
// byte per mode: openers of one mode take turns, so that they never mistake each other's look
// for a holder of the other mode.
inline constexpr uint64_t kOneComputerLookOffset = kOpenLockOffset + 6;
inline constexpr uint64_t kNetworkShareLookOffset = kOpenLockOffset + 7;
inline constexpr uint64_t kRecordLockBase = kOpenLockOffset + (uint64_t{1} << 40);

class ByteRangeLocks final : public RecordLocks {
public:
    explicit ByteRangeLocks(platform::File* descriptor) : descriptor_(descriptor) {}

    int16_t Acquire(int64_t position, LockWait wait) override;
    void Release(int64_t position) override;
    bool HeldHere(int64_t position) const override { return held_.count(position) != 0; }
    int16_t LockFile() override;
    void UnlockFile() override;
    int16_t CheckFileFree(LockWait wait) override;

private:
    platform::File* descriptor_;
    bool fileLocked_ = false;
    std::unordered_map<int64_t, int> held_;
};

}  // namespace w3b

#endif  // W3BTRV7_STORE_BYTE_RANGE_LOCKS_H
