// ini_file.cpp: the file side of the INI store, all of it through the platform layer.
#include "ini_file.h"

#include "platform.h"
#include "tywreg.h"

namespace tywreg {

namespace {

// A settings file is a few kilobytes; anything near this size is not one, and reading it
// whole would only cost memory.
constexpr int64_t kMaxFileBytes = 16 * 1024 * 1024;

// Writers hold the lock for one read and one rewrite of a small file, so a few seconds of
// waiting means something is wrong with the holder, not that it is busy.
constexpr int kLockAttempts = 300;
constexpr uint32_t kLockRetryMilliseconds = 10;

// Where the system refuses to replace a file that a reader has open at that moment, the
// reader is gone again within milliseconds.
constexpr int kRenameAttempts = 50;

// Creations of the temporary file: one, and after a leftover was removed, a few more in case
// someone keeps putting something at that name.
constexpr int kCreateAttempts = 3;

int32_t ErrorFor(platform::FileStatus status) {
    switch (status) {
        case platform::FileStatus::kNotFound: return TYWREG_ERROR_PATH_NOT_FOUND;
        case platform::FileStatus::kAccessDenied: return TYWREG_ERROR_ACCESS_DENIED;
        default: return TYWREG_ERROR_WRITE_FAULT;
    }
}

int32_t AcquireWriterLock(const std::string& lockPath, platform::File* lock) {
    platform::FileOptions options;
    options.access = platform::FileAccess::kReadWrite;
    options.share = platform::FileShare::kDenyReadWrite;
    options.create = true;
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        platform::FileStatus status = platform::File::Open(lockPath.c_str(), options, lock);
        if (status == platform::FileStatus::kOk) return 0;
        if (status != platform::FileStatus::kAccessDenied) return ErrorFor(status);
        // "Access denied" on a lock file that is not there cannot be another writer
        // holding it: the folder refuses us, and waiting will not change that.
        if (!platform::FileExists(lockPath.c_str())) return TYWREG_ERROR_ACCESS_DENIED;
        platform::SleepMilliseconds(kLockRetryMilliseconds);
    }
    return TYWREG_ERROR_SHARING_VIOLATION;
}

platform::FileStatus ReplaceByRename(const std::string& from, const std::string& to) {
    platform::FileStatus status = platform::RenameReplace(from.c_str(), to.c_str());
    for (int attempt = 1; attempt < kRenameAttempts && status == platform::FileStatus::kAccessDenied; ++attempt) {
        platform::SleepMilliseconds(kLockRetryMilliseconds);
        status = platform::RenameReplace(from.c_str(), to.c_str());
    }
    return status;
}

// Writes `text` to a file created afresh at `path`. The folder may be writable by others, so
// whatever is found at that name (a leftover of a writer that died, or a link planted to make
// us write elsewhere) is never opened: the name itself is removed, never what it points to,
// and the file is created anew, which never follows a link.
int32_t WriteNewFile(const std::string& path, const std::string& text) {
    platform::FileOptions options;
    options.access = platform::FileAccess::kWrite;
    options.createNew = true;
    platform::File file;
    platform::FileStatus status = platform::File::Open(path.c_str(), options, &file);
    for (int attempt = 1; attempt < kCreateAttempts && status == platform::FileStatus::kAlreadyExists; ++attempt) {
        platform::DeleteFile(path.c_str());
        status = platform::File::Open(path.c_str(), options, &file);
    }
    if (status != platform::FileStatus::kOk) return ErrorFor(status);
    if (file.Write(text.data(), text.size()) != platform::FileStatus::kOk) return TYWREG_ERROR_WRITE_FAULT;
    if (file.Sync() != platform::FileStatus::kOk) return TYWREG_ERROR_WRITE_FAULT;
    file.Close();
    return 0;
}

}  // namespace

LoadResult LoadFile(const std::string& path, std::string* text) {
    text->clear();
    platform::FileOptions options;
    options.access = platform::FileAccess::kRead;
    platform::File file;
    platform::FileStatus status = platform::File::Open(path.c_str(), options, &file);
    if (status == platform::FileStatus::kNotFound) return LoadResult::kMissing;
    if (status != platform::FileStatus::kOk) return LoadResult::kFailed;

    char chunk[16384];
    for (;;) {
        size_t got = 0;
        if (file.Read(chunk, sizeof chunk, &got) != platform::FileStatus::kOk) return LoadResult::kFailed;
        if (got == 0) break;
        if (static_cast<int64_t>(text->size() + got) > kMaxFileBytes) return LoadResult::kFailed;
        text->append(chunk, got);
    }
    return LoadResult::kOk;
}

int32_t ReplaceFileLocked(const std::string& path, const std::function<std::string(const std::string&)>& change) {
    platform::File lock;
    int32_t result = AcquireWriterLock(path + ".lock", &lock);
    if (result != 0) return result;

    std::string current;
    if (LoadFile(path, &current) == LoadResult::kFailed) return TYWREG_ERROR_WRITE_FAULT;
    std::string replacement = change(current);
    // A file the reader would refuse takes every stored value with it: such a write is
    // refused, as a value that cannot be stored, and the file stays as it is.
    if (static_cast<int64_t>(replacement.size()) > kMaxFileBytes) return TYWREG_ERROR_INVALID_PARAMETER;

    // Only the lock holder writes this name; what another writer left there when it died is
    // replaced (see WriteNewFile).
    const std::string temporary = path + ".tmp";
    result = WriteNewFile(temporary, replacement);
    if (result == 0) {
        platform::FileStatus status = ReplaceByRename(temporary, path);
        if (status != platform::FileStatus::kOk) result = ErrorFor(status);
    }
    if (result != 0) platform::DeleteFile(temporary.c_str());
    return result;
}

}  // namespace tywreg
