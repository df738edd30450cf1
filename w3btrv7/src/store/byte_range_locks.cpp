#include "store/byte_range_locks.h"

#include "btrcall.h"

namespace w3b {

int16_t ByteRangeLocks::Acquire(int64_t position, LockWait wait) {
    auto it = held_.find(position);
    if (it != held_.end()) {
        ++it->second;
        return btr::kStatusSuccess;
    }
    platform::FileStatus fs = descriptor_->LockRange(kRecordLockBase + static_cast<uint64_t>(position), 1,
                                                     platform::RangeLock::kExclusive, wait == LockWait::kWait);
    if (fs == platform::FileStatus::kAccessDenied) return btr::kStatusRecordInUse;
    if (fs != platform::FileStatus::kOk) return btr::kStatusIoError;
    held_.emplace(position, 1);
    return btr::kStatusSuccess;
}

void ByteRangeLocks::Release(int64_t position) {
    auto it = held_.find(position);
    if (it == held_.end()) return;
    if (--it->second > 0) return;
    held_.erase(it);
    descriptor_->UnlockRange(kRecordLockBase + static_cast<uint64_t>(position), 1);
}

int16_t ByteRangeLocks::LockFile() {
    if (fileLocked_) return btr::kStatusSuccess;
    platform::FileStatus fs = descriptor_->LockRange(kFileLockOffset, 1, platform::RangeLock::kExclusive, false);
    if (fs == platform::FileStatus::kAccessDenied) return btr::kStatusFileInUse;
    if (fs != platform::FileStatus::kOk) return btr::kStatusIoError;
    fileLocked_ = true;
    return btr::kStatusSuccess;
}

void ByteRangeLocks::UnlockFile() {
    if (!fileLocked_) return;
    descriptor_->UnlockRange(kFileLockOffset, 1);
    fileLocked_ = false;
}

int16_t ByteRangeLocks::CheckFileFree(LockWait wait) {
    if (fileLocked_) return btr::kStatusSuccess;
    platform::FileStatus fs =
        descriptor_->LockRange(kFileLockOffset, 1, platform::RangeLock::kShared, wait == LockWait::kWait);
    if (fs == platform::FileStatus::kAccessDenied) return btr::kStatusFileInUse;
    if (fs != platform::FileStatus::kOk) return btr::kStatusIoError;
    descriptor_->UnlockRange(kFileLockOffset, 1);
    return btr::kStatusSuccess;
}

}  // namespace w3b
