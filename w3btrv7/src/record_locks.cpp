#include "record_locks.h"

#include "btrcall.h"

namespace w3b {

int16_t RecordLocks::Acquire(int64_t position, bool wait) {
    auto it = held_.find(position);
    if (it != held_.end()) {
        ++it->second;
        return btr::kStatusSuccess;
    }
    platform::FileStatus fs = descriptor_->LockRange(kRecordLockBase + static_cast<uint64_t>(position), 1,
                                                     platform::RangeLock::kExclusive, wait);
    if (fs == platform::FileStatus::kAccessDenied) return btr::kStatusRecordInUse;
    if (fs != platform::FileStatus::kOk) return btr::kStatusIoError;
    held_.emplace(position, 1);
    return btr::kStatusSuccess;
}

void RecordLocks::Release(int64_t position) {
    auto it = held_.find(position);
    if (it == held_.end()) return;
    if (--it->second > 0) return;
    held_.erase(it);
    descriptor_->UnlockRange(kRecordLockBase + static_cast<uint64_t>(position), 1);
}

int16_t RecordLocks::LockFile() {
    if (fileLocked_) return btr::kStatusSuccess;
    platform::FileStatus fs = descriptor_->LockRange(kFileLockOffset, 1, platform::RangeLock::kExclusive, false);
    if (fs == platform::FileStatus::kAccessDenied) return btr::kStatusFileInUse;
    if (fs != platform::FileStatus::kOk) return btr::kStatusIoError;
    fileLocked_ = true;
    return btr::kStatusSuccess;
}

void RecordLocks::UnlockFile() {
    if (!fileLocked_) return;
    descriptor_->UnlockRange(kFileLockOffset, 1);
    fileLocked_ = false;
}

int16_t RecordLocks::CheckFileFree(bool wait) {
    if (fileLocked_) return btr::kStatusSuccess;
    platform::FileStatus fs = descriptor_->LockRange(kFileLockOffset, 1, platform::RangeLock::kShared, wait);
    if (fs == platform::FileStatus::kAccessDenied) return btr::kStatusFileInUse;
    if (fs != platform::FileStatus::kOk) return btr::kStatusIoError;
    descriptor_->UnlockRange(kFileLockOffset, 1);
    return btr::kStatusSuccess;
}

}  // namespace w3b
