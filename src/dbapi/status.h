// status.h: the status codes that the library itself returns.
//
// Negative codes are the library's own. The positive ones are the record manager's codes that
// the library also sets by itself, in their record-manager meaning.
#ifndef TYDB_DBAPI_STATUS_H
#define TYDB_DBAPI_STATUS_H

#include <cstdint>

#include "btrcall.h"

namespace tydb {

inline constexpr int32_t kStatusSuccess = 0;
// Handle out of range or entry not open.
inline constexpr int32_t kStatusInvalidHandle = -1;
// No free entry in the open-file table, or an entry already shared by 255 opens.
inline constexpr int32_t kStatusTableFull = -2;
// A record buffer could not be allocated.
inline constexpr int32_t kStatusNoMemory = -5;
// Another workstation holds the lock directory.
inline constexpr int32_t kStatusLockedOut = -6;
// No lock file can be made in the lock directory: nobody holds it, but it cannot be written.
inline constexpr int32_t kStatusLockNotWritable = -7;

// Record-manager codes the library sets itself.
inline constexpr int32_t kStatusInvalidFileName = btr::kStatusInvalidFileName;       // 11
inline constexpr int32_t kStatusFileNotFound = btr::kStatusFileNotFound;             // 12
inline constexpr int32_t kStatusEngineInactive = btr::kStatusRecordManagerInactive;  // 20
// A caller's buffer pointer is missing: there is nothing to read from or write into.
inline constexpr int32_t kStatusNoBuffer = btr::kStatusDataLengthError;  // 22
// The record manager cannot find a file that exists on disk: it may not open it.
inline constexpr int32_t kStatusPermissionError = btr::kStatusPermissionError;  // 94

}  // namespace tydb

#endif  // TYDB_DBAPI_STATUS_H
