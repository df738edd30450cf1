// workstation_lock.h: one computer at a time in the lock directory.
//
// While any file under the lock directory is open at the record manager, the process holds
// the lock file there (see lock_file.h). Each engine open under the directory is counted; the
// lock file is taken at the first and dropped at the last. The lock directory and the switch
// come from the caller on every call. REQUIRES: one caller thread at a time.
#ifndef TYDB_WSLOCK_WORKSTATION_LOCK_H
#define TYDB_WSLOCK_WORKSTATION_LOCK_H

#include <cstdint>
#include <string_view>

#include "lock_file.h"

namespace tydb {

// True when the lock guards `text` (a path or a directory): the lock is on, the lock
// directory is not empty, and `text` begins with it, ignoring case and the kind of separator
// ('\' or '/'). This is a plain prefix test, so a sibling such as D:\DATA2 is guarded by
// D:\DATA as well.
bool IsGuardedByLock(std::string_view lockDirectory, bool lockDisabled, std::string_view text);

enum class LockAnswer {
    kNotConcerned,  // the path is not guarded: nothing was counted
    kGranted,       // counted; give it back with ReleaseLock
    kRefused,       // another computer has the directory, or others keep the lock file busy
    kNotWritable,   // no lock file can be made in the lock directory; nobody else holds it
};

class WorkstationLock {
public:
    WorkstationLock() = default;
    // Unloading the library with the lock held closes and deletes the lock file.
    ~WorkstationLock();
    WorkstationLock(const WorkstationLock&) = delete;
    WorkstationLock& operator=(const WorkstationLock&) = delete;

    // Asked before each engine open of a new file.
    LockAnswer AcquireLock(std::string_view lockDirectory, bool lockDisabled, std::string_view path);

    // Gives back one kGranted answer; the last one drops the lock file.
    void ReleaseLock();

    uint32_t holderCount() const { return holderCount_; }
    const LockFile& lockFile() const { return lockFile_; }

private:
    uint32_t holderCount_ = 0;
    LockFile lockFile_;
};

// The one lock of the process, built when the library loads.
WorkstationLock& TheWorkstationLock();

}  // namespace tydb

#endif  // TYDB_WSLOCK_WORKSTATION_LOCK_H
