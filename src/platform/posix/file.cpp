// Open files with Windows-like sharing modes (see file_locks.cpp for how they are kept).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "file_locks.h"
#include "platform_internal.h"
#include "platform.h"

namespace platform {

namespace {

constexpr size_t kTextChunk = 8192;

FileStatus WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return posix::StatusFromErrno(errno);
        }
        if (written == 0) return FileStatus::kIoError;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return FileStatus::kOk;
}

ssize_t ReadSome(int fd, void* buffer, size_t size) {
    for (;;) {
        ssize_t got = ::read(fd, buffer, size);
        if (got >= 0 || errno != EINTR) return got;
    }
}

}  // namespace

File::~File() { Close(); }

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)),
      text_(other.text_),
      canRead_(other.canRead_),
      canWrite_(other.canWrite_) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, -1);
        text_ = other.text_;
        canRead_ = other.canRead_;
        canWrite_ = other.canWrite_;
    }
    return *this;
}

FileStatus File::Open(const char* path, const FileOptions& options, File* out) {
    if (out == nullptr) return FileStatus::kIoError;
    out->Close();
    if (path == nullptr || path[0] == '\0') return FileStatus::kNotFound;
    FileStatus injected;
    if (internal::ConsumeInjectedFileFailure(testing::FileOperation::kOpen, &injected)) return injected;
    std::string native = NativePath(path);

    bool wantRead = options.access != FileAccess::kWrite;
    bool wantWrite = options.access != FileAccess::kRead;
    // A read lock needs a readable descriptor and a write lock a writable one, whatever the
    // caller means to do with the file; Read and Write still keep to the caller's access.
    bool openRead = wantRead || options.share == FileShare::kDenyWrite;
    bool openWrite = wantWrite || options.share == FileShare::kDenyReadWrite || options.truncate;

    int flags = O_CLOEXEC | (openRead && openWrite ? O_RDWR : openWrite ? O_WRONLY : O_RDONLY);
    if (options.create || options.createNew) flags |= O_CREAT;
    if (options.createNew) flags |= O_EXCL;
    if (options.append) flags |= O_APPEND;

    int fd;
    do {
        fd = ::open(native.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return posix::StatusFromErrno(errno);
    // A folder opens for reading here but not on Windows; refuse it the same way everywhere.
    struct stat info;
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        return FileStatus::kAccessDenied;
    }

    if (options.share != FileShare::kDenyNone) {
        internal::RunBeforeShareLockHook(native.c_str());
        short kind = options.share == FileShare::kDenyWrite ? F_RDLCK : F_WRLCK;
        FileStatus status = posix::SetRangeLock(fd, kind, 0, 0, false);
        // Whoever deleted or replaced the file while we were not yet holding it wins: the
        // descriptor may be of a file no one can name any more.
        if (status == FileStatus::kOk) status = posix::CheckStillNamed(fd, native.c_str());
        if (status != FileStatus::kOk) {
            ::close(fd);
            return status;
        }
    }
    // Emptying the file before holding the lock would destroy another holder's content.
    if (options.truncate && ::ftruncate(fd, 0) != 0) {
        FileStatus status = posix::StatusFromErrno(errno);
        ::close(fd);
        return status;
    }
    out->handle_ = fd;
    out->text_ = options.text;
    out->canRead_ = wantRead;
    out->canWrite_ = wantWrite;
    return FileStatus::kOk;
}

bool File::IsOpen() const { return handle_ >= 0; }

void File::Close() {
    if (handle_ >= 0) {
        // The descriptor is gone even when close reports an error; never close it twice.
        ::close(static_cast<int>(handle_));
        handle_ = -1;
    }
    text_ = canRead_ = canWrite_ = false;
}

FileStatus File::Read(void* buffer, size_t size, size_t* got) {
    if (got != nullptr) *got = 0;
    if (handle_ < 0) return FileStatus::kIoError;
    if (!canRead_) return FileStatus::kAccessDenied;
    if (size == 0) return FileStatus::kOk;
    if (buffer == nullptr) return FileStatus::kIoError;
    FileStatus injected;
    if (internal::ConsumeInjectedFileFailure(testing::FileOperation::kRead, &injected)) return injected;
    int fd = static_cast<int>(handle_);
    char* bytes = static_cast<char*>(buffer);
    ssize_t raw = ReadSome(fd, bytes, size);
    if (raw < 0) return posix::StatusFromErrno(errno);
    size_t count = static_cast<size_t>(raw);
    if (text_ && count > 0) {
        // "\r\n" reads back as '\n'. A '\r' that ends the chunk needs a look at the next byte.
        size_t kept = 0;
        for (size_t i = 0; i < count; ++i) {
            if (bytes[i] != '\r') {
                bytes[kept++] = bytes[i];
            } else if (i + 1 < count) {
                if (bytes[i + 1] != '\n') bytes[kept++] = '\r';
            } else {
                char next;
                ssize_t peeked = ReadSome(fd, &next, 1);
                if (peeked == 1 && next == '\n') {
                    bytes[kept++] = '\n';
                } else {
                    if (peeked == 1 && ::lseek(fd, -1, SEEK_CUR) < 0) return posix::StatusFromErrno(errno);
                    bytes[kept++] = '\r';
                }
            }
        }
        count = kept;
    }
    if (got != nullptr) *got = count;
    return FileStatus::kOk;
}

FileStatus File::Write(const void* buffer, size_t size) {
    if (handle_ < 0) return FileStatus::kIoError;
    if (!canWrite_) return FileStatus::kAccessDenied;
    if (size == 0) return FileStatus::kOk;
    if (buffer == nullptr) return FileStatus::kIoError;
    FileStatus injected;
    if (internal::ConsumeInjectedFileFailure(testing::FileOperation::kWrite, &injected)) return injected;
    int fd = static_cast<int>(handle_);
    const char* bytes = static_cast<const char*>(buffer);
    if (!text_) return WriteAll(fd, bytes, size);
    char chunk[kTextChunk];
    size_t used = 0;
    for (size_t i = 0; i < size; ++i) {
        if (used + 2 > sizeof(chunk)) {
            FileStatus status = WriteAll(fd, chunk, used);
            if (status != FileStatus::kOk) return status;
            used = 0;
        }
        if (bytes[i] == '\n') chunk[used++] = '\r';
        chunk[used++] = bytes[i];
    }
    return WriteAll(fd, chunk, used);
}

FileStatus File::Seek(int64_t offset, SeekFrom from, int64_t* position) {
    if (handle_ < 0) return FileStatus::kIoError;
    int whence = from == SeekFrom::kBegin ? SEEK_SET : from == SeekFrom::kCurrent ? SEEK_CUR : SEEK_END;
    off_t result = ::lseek(static_cast<int>(handle_), static_cast<off_t>(offset), whence);
    if (result < 0) return posix::StatusFromErrno(errno);
    if (position != nullptr) *position = static_cast<int64_t>(result);
    return FileStatus::kOk;
}

FileStatus File::Size(int64_t* size) {
    if (handle_ < 0 || size == nullptr) return FileStatus::kIoError;
    struct stat info;
    if (::fstat(static_cast<int>(handle_), &info) != 0) return posix::StatusFromErrno(errno);
    *size = static_cast<int64_t>(info.st_size);
    return FileStatus::kOk;
}

FileStatus File::Truncate(int64_t size) {
    if (handle_ < 0 || size < 0) return FileStatus::kIoError;
    if (!canWrite_) return FileStatus::kAccessDenied;
    int result;
    do {
        result = ::ftruncate(static_cast<int>(handle_), static_cast<off_t>(size));
    } while (result != 0 && errno == EINTR);
    return result == 0 ? FileStatus::kOk : posix::StatusFromErrno(errno);
}

FileStatus File::Sync() {
    if (handle_ < 0) return FileStatus::kIoError;
    FileStatus injected;
    if (internal::ConsumeInjectedFileFailure(testing::FileOperation::kSync, &injected)) return injected;
    return ::fsync(static_cast<int>(handle_)) == 0 ? FileStatus::kOk : posix::StatusFromErrno(errno);
}

FileStatus File::LockRange(uint64_t offset, uint64_t length, RangeLock kind, bool wait) {
    if (handle_ < 0) return FileStatus::kIoError;
    short type = kind == RangeLock::kShared ? F_RDLCK : F_WRLCK;
    return posix::SetRangeLock(static_cast<int>(handle_), type, offset, length, wait);
}

FileStatus File::UnlockRange(uint64_t offset, uint64_t length) {
    if (handle_ < 0) return FileStatus::kIoError;
    return posix::SetRangeLock(static_cast<int>(handle_), F_UNLCK, offset, length, false);
}

}  // namespace platform
