// Operations on files by name. Windows itself refuses to delete a file that another process
// holds open, so the delete needs no lock of its own.
#include "platform_internal.h"
#include "platform.h"
#include "windows_api.h"

namespace platform {

namespace {

FileStatus StatusFromLastError() {
    switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return FileStatus::kNotFound;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return FileStatus::kAccessDenied;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return FileStatus::kAlreadyExists;
        default:
            return FileStatus::kIoError;
    }
}

}  // namespace

bool FileExists(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

FileStatus DeleteUnlessHeld(const char* path) {
    if (path == nullptr || path[0] == '\0') return FileStatus::kNotFound;
    FileStatus injected;
    if (internal::ConsumeInjectedFileFailure(testing::FileOperation::kDelete, &injected)) return injected;
    return DeleteFileA(path) ? FileStatus::kOk : StatusFromLastError();
}

FileStatus DeleteFile(const char* path) {
    if (path == nullptr || path[0] == '\0') return FileStatus::kNotFound;
    FileStatus injected;
    if (internal::ConsumeInjectedFileFailure(testing::FileOperation::kDelete, &injected)) return injected;
    return DeleteFileA(path) ? FileStatus::kOk : StatusFromLastError();
}

FileStatus RenameReplace(const char* from, const char* to) {
    if (from == nullptr || to == nullptr || from[0] == '\0' || to[0] == '\0') return FileStatus::kNotFound;
    FileStatus injected;
    if (internal::ConsumeInjectedFileFailure(testing::FileOperation::kRename, &injected)) return injected;
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? FileStatus::kOk
                                                                                      : StatusFromLastError();
}

}  // namespace platform
