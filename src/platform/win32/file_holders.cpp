// Looking for sharing holders of a file without disturbing them (the tool's lock report).
#include "platform.h"
#include "windows_api.h"

namespace platform {

FileStatus FindSharingHolder(const char* path, bool* held) {
    if (held == nullptr) return FileStatus::kIoError;
    *held = false;
    if (path == nullptr || path[0] == '\0') return FileStatus::kNotFound;
    // Asking for write access meets every holder that denies writing; sharing everything
    // ourselves, we never stand in a holder's way. Nothing is written, and the handle is closed
    // at once.
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return FileStatus::kOk;
    }
    switch (GetLastError()) {
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: *held = true; return FileStatus::kOk;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME: return FileStatus::kNotFound;
        case ERROR_ACCESS_DENIED: return FileStatus::kAccessDenied;
        default: return FileStatus::kIoError;
    }
}

}  // namespace platform
