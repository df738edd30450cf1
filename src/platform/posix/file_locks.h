// file_locks.h: errno translation and whole-file sharing locks shared by the POSIX file code.
#ifndef TYDB_PLATFORM_POSIX_FILE_LOCKS_H
#define TYDB_PLATFORM_POSIX_FILE_LOCKS_H

#include <cstdint>

#include "platform.h"

namespace platform::posix {

FileStatus StatusFromErrno(int error);

// Takes (kind F_RDLCK or F_WRLCK) or drops (F_UNLCK) an open-file-description lock on
// [offset, offset + length); length 0 reaches to the end of any file. A conflict is
// kAccessDenied unless `wait`.
FileStatus SetRangeLock(int fd, short kind, uint64_t offset, uint64_t length, bool wait);

// After the sharing lock is held: kOk when `path` still names the file open on `fd`,
// kNotFound when it is gone or now names another file.
FileStatus CheckStillNamed(int fd, const char* path);

}  // namespace platform::posix

#endif  // TYDB_PLATFORM_POSIX_FILE_LOCKS_H
