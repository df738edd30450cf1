// status.h: the status codes that the library itself returns.
//
// Negative codes are the library's own. The positive ones are the record manager's codes that
// the library also sets by itself, in their record-manager meaning.
#ifndef TYDB_BASE_STATUS_H
#define TYDB_BASE_STATUS_H

#include <cstdint>

#include "btrcall.h"
#include "tydb.h"

namespace tydb {

// The values are the public header's, so a caller's constant and the library's never differ.
inline constexpr int32_t kStatusSuccess = 0;
// Handle out of range or entry not open.
inline constexpr int32_t kStatusInvalidHandle = TYDB_STATUS_INVALID_HANDLE;
// No free entry in the open-file table, or an entry already shared by 255 opens.
inline constexpr int32_t kStatusTableFull = TYDB_STATUS_TABLE_FULL;
// A record buffer could not be allocated.
inline constexpr int32_t kStatusNoMemory = TYDB_STATUS_NO_MEMORY;
// Another workstation holds the lock directory.
inline constexpr int32_t kStatusLockedOut = TYDB_STATUS_LOCKED_OUT;
// No lock file can be made in the lock directory: nobody holds it, but it cannot be written.
inline constexpr int32_t kStatusLockNotWritable = TYDB_STATUS_LOCK_NOT_WRITABLE;

// Record-manager codes the library sets itself.
inline constexpr int32_t kStatusInvalidFileName = TYDB_STATUS_INVALID_FILE_NAME;
inline constexpr int32_t kStatusFileNotFound = btr::kStatusFileNotFound;
inline constexpr int32_t kStatusEngineInactive = TYDB_STATUS_ENGINE_INACTIVE;
// A caller's buffer pointer is missing: there is nothing to read from or write into.
inline constexpr int32_t kStatusNoBuffer = TYDB_STATUS_NO_BUFFER;
// The record manager cannot find a file that exists on disk: it may not open it.
inline constexpr int32_t kStatusPermissionError = TYDB_STATUS_PERMISSION_ERROR;

// The public header's codes keep their record-manager meaning.
static_assert(kStatusInvalidFileName == btr::kStatusInvalidFileName);
static_assert(kStatusEngineInactive == btr::kStatusRecordManagerInactive);
static_assert(kStatusNoBuffer == btr::kStatusDataLengthError);
static_assert(kStatusPermissionError == btr::kStatusPermissionError);

}  // namespace tydb

#endif  // TYDB_BASE_STATUS_H
