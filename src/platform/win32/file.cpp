// Open files through the Windows runtime, whose sharing modes are checked by the system when
// the file is opened, so no other opener can slip in between the open and the sharing.
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <climits>
#include <utility>

#include "platform_internal.h"
#include "platform.h"
#include "windows_api.h"

namespace platform {

namespace {

FileStatus StatusFromErrno(int error) {
    switch (error) {
        case ENOENT: return FileStatus::kNotFound;
        case EACCES: return FileStatus::kAccessDenied;
        case EEXIST: return FileStatus::kAlreadyExists;
        default: return FileStatus::kIoError;
    }
}

int Descriptor(intptr_t handle) { return static_cast<int>(handle); }

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

    bool wantRead = options.access != FileAccess::kWrite;
    bool wantWrite = options.access != FileAccess::kRead;
    bool openWrite = wantWrite || options.truncate;
    int flags = _O_NOINHERIT | (options.text ? _O_TEXT : _O_BINARY);
    flags |= wantRead && openWrite ? _O_RDWR : openWrite ? _O_WRONLY : _O_RDONLY;
    if (options.create || options.createNew) flags |= _O_CREAT;
    if (options.createNew) flags |= _O_EXCL;
    if (options.truncate) flags |= _O_TRUNC;
    if (options.append) flags |= _O_APPEND;
    int share = options.share == FileShare::kDenyReadWrite ? _SH_DENYRW
                : options.share == FileShare::kDenyWrite   ? _SH_DENYWR
                                                           : _SH_DENYNO;
    int fd = -1;
    errno_t error = _sopen_s(&fd, path, flags, share, _S_IREAD | _S_IWRITE);
    if (error != 0 || fd < 0) return StatusFromErrno(error != 0 ? error : errno);
    out->handle_ = fd;
    out->text_ = options.text;
    out->canRead_ = wantRead;
    out->canWrite_ = wantWrite;
    return FileStatus::kOk;
}

bool File::IsOpen() const { return handle_ >= 0; }

void File::Close() {
    if (handle_ >= 0) {
        _close(Descriptor(handle_));
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
    // The runtime turns "\r\n" into '\n' itself in text mode.
    unsigned int ask = size > INT_MAX ? INT_MAX : static_cast<unsigned int>(size);
    int result = _read(Descriptor(handle_), buffer, ask);
    if (result < 0) return StatusFromErrno(errno);
    if (got != nullptr) *got = static_cast<size_t>(result);
    return FileStatus::kOk;
}

FileStatus File::Write(const void* buffer, size_t size) {
    if (handle_ < 0) return FileStatus::kIoError;
    if (!canWrite_) return FileStatus::kAccessDenied;
    if (size == 0) return FileStatus::kOk;
    if (buffer == nullptr) return FileStatus::kIoError;
    FileStatus injected;
    if (internal::ConsumeInjectedFileFailure(testing::FileOperation::kWrite, &injected)) return injected;
    // The runtime stores '\n' as "\r\n" itself in text mode, and counts the caller's bytes.
    const char* bytes = static_cast<const char*>(buffer);
    while (size > 0) {
        unsigned int chunk = size > (1u << 30) ? (1u << 30) : static_cast<unsigned int>(size);
        int written = _write(Descriptor(handle_), bytes, chunk);
        if (written < 0) return StatusFromErrno(errno);
        if (written == 0) return FileStatus::kIoError;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return FileStatus::kOk;
}

FileStatus File::Seek(int64_t offset, SeekFrom from, int64_t* position) {
    if (handle_ < 0) return FileStatus::kIoError;
    int whence = from == SeekFrom::kBegin ? SEEK_SET : from == SeekFrom::kCurrent ? SEEK_CUR : SEEK_END;
    __int64 result = _lseeki64(Descriptor(handle_), offset, whence);
    if (result < 0) return StatusFromErrno(errno);
    if (position != nullptr) *position = result;
    return FileStatus::kOk;
}

FileStatus File::Size(int64_t* size) {
    if (handle_ < 0 || size == nullptr) return FileStatus::kIoError;
    __int64 length = _filelengthi64(Descriptor(handle_));
    if (length < 0) return StatusFromErrno(errno);
    *size = length;
    return FileStatus::kOk;
}

FileStatus File::Truncate(int64_t size) {
    if (handle_ < 0 || size < 0) return FileStatus::kIoError;
    if (!canWrite_) return FileStatus::kAccessDenied;
    errno_t error = _chsize_s(Descriptor(handle_), size);
    return error == 0 ? FileStatus::kOk : StatusFromErrno(error);
}

FileStatus File::Sync() {
    if (handle_ < 0) return FileStatus::kIoError;
    FileStatus injected;
    if (internal::ConsumeInjectedFileFailure(testing::FileOperation::kSync, &injected)) return injected;
    if (_commit(Descriptor(handle_)) == 0) return FileStatus::kOk;
    // Windows refuses to flush a handle opened for reading only; nothing was written through it,
    // so there is nothing to put on disk.
    if (!canWrite_ && errno == EACCES) return FileStatus::kOk;
    return StatusFromErrno(errno);
}

namespace {

// LockFileEx and UnlockFileEx take the range as two 32-bit halves each.
struct Range {
    OVERLAPPED where = {};
    DWORD lengthLow = 0;
    DWORD lengthHigh = 0;
};

bool MakeRange(uint64_t offset, uint64_t length, Range* range) {
    if (length == 0) length = UINT64_MAX - offset;
    if (length == 0 || length > UINT64_MAX - offset) return false;
    range->where.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    range->where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    range->lengthLow = static_cast<DWORD>(length & 0xFFFFFFFFu);
    range->lengthHigh = static_cast<DWORD>(length >> 32);
    return true;
}

HANDLE OsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(_get_osfhandle(Descriptor(handle))); }

}  // namespace

FileStatus File::LockRange(uint64_t offset, uint64_t length, RangeLock kind, bool wait) {
    if (handle_ < 0) return FileStatus::kIoError;
    Range range;
    if (!MakeRange(offset, length, &range)) return FileStatus::kIoError;
    HANDLE os = OsHandle(handle_);
    if (os == INVALID_HANDLE_VALUE) return FileStatus::kIoError;
    DWORD flags =
        (kind == RangeLock::kExclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    if (LockFileEx(os, flags, 0, range.lengthLow, range.lengthHigh, &range.where)) return FileStatus::kOk;
    DWORD error = GetLastError();
    return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? FileStatus::kAccessDenied
                                                                      : FileStatus::kIoError;
}

FileStatus File::UnlockRange(uint64_t offset, uint64_t length) {
    if (handle_ < 0) return FileStatus::kIoError;
    Range range;
    if (!MakeRange(offset, length, &range)) return FileStatus::kIoError;
    HANDLE os = OsHandle(handle_);
    if (os == INVALID_HANDLE_VALUE) return FileStatus::kIoError;
    return UnlockFileEx(os, 0, range.lengthLow, range.lengthHigh, &range.where) ? FileStatus::kOk
                                                                                : FileStatus::kIoError;
}

}  // namespace platform
