// Operations on files by name: existence, deletion, replacement.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "file_locks.h"
#include "platform_internal.h"
#include "platform.h"

namespace platform {

namespace {

// A file replaced under our feet between open and lock is looked at again a few times; a
// path that keeps changing that fast is reported as busy.
constexpr int kDeleteAttempts = 5;

FileStatus OpenForDelete(const std::string& native, int* fd) {
    do {
        *fd = ::open(native.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    } while (*fd < 0 && errno == EINTR);
    if (*fd >= 0) return FileStatus::kOk;
    if (errno != EACCES) return posix::StatusFromErrno(errno);
    // Without write permission on the file a write lock cannot be taken, yet the folder may
    // still allow the delete; look for holders instead of locking them out.
    do {
        *fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    } while (*fd < 0 && errno == EINTR);
    return *fd >= 0 ? FileStatus::kOk : posix::StatusFromErrno(errno);
}

FileStatus ExcludeHolders(int fd) {
    FileStatus status = posix::SetRangeLock(fd, F_WRLCK, 0, 0, false);
    if (status != FileStatus::kIoError) return status;
    struct flock probe = {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_GETLK, &probe) != 0) return FileStatus::kIoError;
    return probe.l_type == F_UNLCK ? FileStatus::kOk : FileStatus::kAccessDenied;
}

}  // namespace

bool FileExists(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    FileStatus injected;
    if (internal::ConsumeInjectedFileFailure(testing::FileOperation::kExists, &injected)) return false;
    struct stat info;
    return ::stat(NativePath(path).c_str(), &info) == 0;
}

FileStatus IdentifyFile(const char* path, FileIdentity* identity) {
    if (path == nullptr || path[0] == '\0' || identity == nullptr) return FileStatus::kNotFound;
    struct stat info;
    if (::stat(NativePath(path).c_str(), &info) != 0) return posix::StatusFromErrno(errno);
    identity->volume = static_cast<uint64_t>(info.st_dev);
    identity->index = static_cast<uint64_t>(info.st_ino);
    return FileStatus::kOk;
}

bool IsOnReadOnlyVolume(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    struct statvfs info;
    return ::statvfs(NativePath(path).c_str(), &info) == 0 && (info.f_flag & ST_RDONLY) != 0;
}

FileStatus DeleteUnlessHeld(const char* path) {
    if (path == nullptr || path[0] == '\0') return FileStatus::kNotFound;
    FileStatus injected;
    if (internal::ConsumeInjectedFileFailure(testing::FileOperation::kDelete, &injected)) return injected;
    std::string native = NativePath(path);
    for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
        int fd;
        FileStatus status = OpenForDelete(native, &fd);
        if (status != FileStatus::kOk) return status;
        status = ExcludeHolders(fd);
        if (status == FileStatus::kOk) status = posix::CheckStillNamed(fd, native.c_str());
        if (status == FileStatus::kOk) {
            // Unlinking while still holding the lock: an opener that got the file before us
            // finds it unnamed once it gets its lock, and gives up on it.
            status = ::unlink(native.c_str()) == 0 ? FileStatus::kOk : posix::StatusFromErrno(errno);
            ::close(fd);
            return status;
        }
        ::close(fd);
        if (status != FileStatus::kNotFound) return status;
        // Gone or replaced since we opened it: look again at whatever the name means now.
    }
    return FileStatus::kAccessDenied;
}

FileStatus DeleteFile(const char* path) {
    if (path == nullptr || path[0] == '\0') return FileStatus::kNotFound;
    FileStatus injected;
    if (internal::ConsumeInjectedFileFailure(testing::FileOperation::kDelete, &injected)) return injected;
    return ::unlink(NativePath(path).c_str()) == 0 ? FileStatus::kOk : posix::StatusFromErrno(errno);
}

FileStatus RenameReplace(const char* from, const char* to) {
    if (from == nullptr || to == nullptr || from[0] == '\0' || to[0] == '\0') return FileStatus::kNotFound;
    FileStatus injected;
    if (internal::ConsumeInjectedFileFailure(testing::FileOperation::kRename, &injected)) return injected;
    int result = std::rename(NativePath(from).c_str(), NativePath(to).c_str());
    return result == 0 ? FileStatus::kOk : posix::StatusFromErrno(errno);
}

FileStatus RenameNoReplace(const char* from, const char* to) {
    if (from == nullptr || to == nullptr || from[0] == '\0' || to[0] == '\0') return FileStatus::kNotFound;
    FileStatus injected;
    if (internal::ConsumeInjectedFileFailure(testing::FileOperation::kRename, &injected)) return injected;
    const std::string source = NativePath(from);
    const std::string target = NativePath(to);
    // A second name that the system refuses to make when the name is taken, then the first
    // name goes: `to` never exists half made.
    if (::link(source.c_str(), target.c_str()) == 0) {
        ::unlink(source.c_str());
        return FileStatus::kOk;
    }
    const int linkError = errno;
    if (linkError == EEXIST) return FileStatus::kAlreadyExists;
#ifdef __linux__
    // File systems without hard links (FAT, some shares) may still rename without replacing.
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return FileStatus::kOk;
    if (errno == EEXIST) return FileStatus::kAlreadyExists;
#endif
    return posix::StatusFromErrno(linkError);
}

}  // namespace platform
