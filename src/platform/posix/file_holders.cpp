// Looking for sharing holders of a file without disturbing them (the tool's lock report).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "file_locks.h"
#include "platform.h"

namespace platform {

FileStatus FindSharingHolder(const char* path, bool* held) {
    if (held == nullptr) return FileStatus::kIoError;
    *held = false;
    if (path == nullptr || path[0] == '\0') return FileStatus::kNotFound;
    const std::string native = NativePath(path);
    int fd;
    do {
        fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return posix::StatusFromErrno(errno);
    // Every sharing mode is an open-file-description lock on the whole file; asking which lock
    // a write lock would meet reports any of them and takes none.
    struct flock probe = {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0;
    probe.l_len = 0;
    const int result = ::fcntl(fd, F_OFD_GETLK, &probe);
    const int error = errno;
    ::close(fd);
    if (result != 0) return posix::StatusFromErrno(error);
    *held = probe.l_type != F_UNLCK;
    return FileStatus::kOk;
}

}  // namespace platform
