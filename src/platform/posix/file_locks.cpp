// Sharing modes on POSIX. Windows refuses an open that conflicts with another holder's
// sharing mode; here each holder keeps an open-file-description lock on the whole file, which
// follows the open file rather than the process and ends when it is closed or its process
// dies, so a crashed holder never leaves a stale lock behind.
#include "file_locks.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <limits>

namespace platform::posix {

FileStatus StatusFromErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR: return FileStatus::kNotFound;
        case EACCES:
        case EPERM:
        case EAGAIN:
        case EISDIR:
        case EROFS:
        case ETXTBSY: return FileStatus::kAccessDenied;
        case EEXIST: return FileStatus::kAlreadyExists;
        default: return FileStatus::kIoError;
    }
}

FileStatus SetRangeLock(int fd, short kind, uint64_t offset, uint64_t length, bool wait) {
    constexpr uint64_t kMaxOffset = static_cast<uint64_t>(std::numeric_limits<off_t>::max());
    if (offset > kMaxOffset || length > kMaxOffset - offset) return FileStatus::kIoError;
    struct flock lock = {};
    lock.l_type = kind;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(offset);
    lock.l_len = static_cast<off_t>(length);
    lock.l_pid = 0;  // required to be 0 for open-file-description locks
    int command = wait ? F_OFD_SETLKW : F_OFD_SETLK;
    for (;;) {
        if (fcntl(fd, command, &lock) == 0) return FileStatus::kOk;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EACCES) return FileStatus::kAccessDenied;
        return FileStatus::kIoError;
    }
}

FileStatus CheckStillNamed(int fd, const char* path) {
    struct stat opened, named;
    if (fstat(fd, &opened) != 0) return FileStatus::kIoError;
    if (stat(path, &named) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? FileStatus::kNotFound : FileStatus::kIoError;
    }
    if (opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) return FileStatus::kNotFound;
    return FileStatus::kOk;
}

}  // namespace platform::posix
