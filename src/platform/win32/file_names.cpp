// Operations on files by name. Windows itself refuses to delete a file that another process
// holds open, so the delete needs no lock of its own.
//
// Windows also refuses to delete a file marked read-only, which POSIX never looks at. A stale
// lock file that carries the mark (copied from read-only media, say) would then look held
// forever; so a read-only file that nobody holds is unmarked and deleted.
#include "platform_internal.h"
#include "platform.h"
#include "windows_api.h"

namespace platform {

namespace {

FileStatus StatusFromError(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME: return FileStatus::kNotFound;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return FileStatus::kAccessDenied;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return FileStatus::kAlreadyExists;
        default: return FileStatus::kIoError;
    }
}

FileStatus StatusFromLastError() { return StatusFromError(GetLastError()); }

// Deletes a read-only file through one handle: the handle is refused while another opener
// holds the file without sharing its deletion (as DeleteFileA is), so the mark is only taken
// off a file that is going away, and put back if the delete is refused after all.
FileStatus DeleteReadOnly(const char* path, DWORD attributes) {
    HANDLE file = CreateFileA(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return StatusFromLastError();
    // Zero times leave them as they are; zero attributes would too, hence NORMAL.
    FILE_BASIC_INFO basic = {};
    DWORD unmarked = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    basic.FileAttributes = unmarked != 0 ? unmarked : FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic)) {
        FileStatus status = StatusFromLastError();
        CloseHandle(file);
        return status;
    }
    // FILE_DISPOSITION_INFO, whose one field <windows.h> has renamed through its DeleteFile macro.
    struct {
        BOOLEAN deleteFile;
    } disposition = {TRUE};
    static_assert(sizeof disposition == sizeof(FILE_DISPOSITION_INFO));
    if (!SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition)) {
        DWORD error = GetLastError();
        basic.FileAttributes = attributes;
        SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
        CloseHandle(file);
        return StatusFromError(error);
    }
    // The file goes when its last handle, this one, is closed.
    return CloseHandle(file) ? FileStatus::kOk : FileStatus::kIoError;
}

FileStatus Delete(const char* path) {
    if (DeleteFileA(path)) return FileStatus::kOk;
    DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED) {
        DWORD attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
            (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            return DeleteReadOnly(path, attributes);
        }
    }
    return StatusFromError(error);
}

}  // namespace

bool FileExists(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    FileStatus injected;
    if (internal::ConsumeInjectedFileFailure(testing::FileOperation::kExists, &injected)) return false;
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

FileStatus IdentifyFile(const char* path, FileIdentity* identity) {
    if (path == nullptr || path[0] == '\0' || identity == nullptr) return FileStatus::kNotFound;
    // A handle without access rights shares everything, so it disturbs no other opener, and
    // closing it leaves every lock taken through other handles as it was.
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return StatusFromLastError();
    BY_HANDLE_FILE_INFORMATION info;
    BOOL ok = GetFileInformationByHandle(file, &info);
    FileStatus status = ok ? FileStatus::kOk : StatusFromLastError();
    CloseHandle(file);
    if (!ok) return status;
    identity->volume = info.dwVolumeSerialNumber;
    identity->index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return FileStatus::kOk;
}

bool IsOnReadOnlyVolume(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    char volume[MAX_PATH + 1];
    if (!GetVolumePathNameA(path, volume, sizeof volume)) return false;
    DWORD flags = 0;
    if (!GetVolumeInformationA(volume, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) return false;
    return (flags & FILE_READ_ONLY_VOLUME) != 0;
}

FileStatus DeleteUnlessHeld(const char* path) {
    if (path == nullptr || path[0] == '\0') return FileStatus::kNotFound;
    FileStatus injected;
    if (internal::ConsumeInjectedFileFailure(testing::FileOperation::kDelete, &injected)) return injected;
    return Delete(path);
}

FileStatus DeleteFile(const char* path) {
    if (path == nullptr || path[0] == '\0') return FileStatus::kNotFound;
    FileStatus injected;
    if (internal::ConsumeInjectedFileFailure(testing::FileOperation::kDelete, &injected)) return injected;
    return Delete(path);
}

FileStatus RenameReplace(const char* from, const char* to) {
    if (from == nullptr || to == nullptr || from[0] == '\0' || to[0] == '\0') return FileStatus::kNotFound;
    FileStatus injected;
    if (internal::ConsumeInjectedFileFailure(testing::FileOperation::kRename, &injected)) return injected;
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? FileStatus::kOk
                                                                                     : StatusFromLastError();
}

FileStatus RenameNoReplace(const char* from, const char* to) {
    if (from == nullptr || to == nullptr || from[0] == '\0' || to[0] == '\0') return FileStatus::kNotFound;
    FileStatus injected;
    if (internal::ConsumeInjectedFileFailure(testing::FileOperation::kRename, &injected)) return injected;
    // Without MOVEFILE_REPLACE_EXISTING the move fails when `to` exists.
    return MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH) ? FileStatus::kOk : StatusFromLastError();
}

}  // namespace platform
