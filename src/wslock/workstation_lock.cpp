#include "workstation_lock.h"

#include "text_compare.h"

namespace tydb {
namespace {

// Built when the library loads, destroyed when it unloads.
WorkstationLock workstationLock;

}  // namespace

WorkstationLock& TheWorkstationLock() { return workstationLock; }

bool IsGuardedByLock(std::string_view lockDirectory, bool lockDisabled, std::string_view text) {
    if (lockDisabled || lockDirectory.empty()) return false;
    return PathTextStartsWith(text, lockDirectory);
}

WorkstationLock::~WorkstationLock() { lockFile_.DropLockFile(); }

LockAnswer WorkstationLock::AcquireLock(std::string_view lockDirectory, bool lockDisabled, std::string_view path) {
    if (!IsGuardedByLock(lockDirectory, lockDisabled, path)) return LockAnswer::kNotConcerned;
    if (holderCount_ > 0) {
        ++holderCount_;
        return LockAnswer::kGranted;
    }
    if (!lockFile_.TakeLockFile(lockDirectory)) {
        return lockFile_.CannotBeMade() ? LockAnswer::kNotWritable : LockAnswer::kRefused;
    }
    if (lockFile_.IsOwnLockFile()) {
        holderCount_ = 1;
        return LockAnswer::kGranted;
    }
    // Another computer's name: let go; the file is deleted only if nobody holds it.
    lockFile_.DropLockFile();
    return LockAnswer::kRefused;
}

void WorkstationLock::ReleaseLock() {
    if (holderCount_ > 0) --holderCount_;
    if (holderCount_ == 0) lockFile_.DropLockFile();
}

}  // namespace tydb
