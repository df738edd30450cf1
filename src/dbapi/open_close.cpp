// DbOpen, DbClose and DbCloseAll: files into and out of the open-file table.
#include <cstring>

#include "btrcall.h"
#include "directory_block.h"
#include "gateway.h"
#include "open_file_table.h"
#include "platform.h"
#include "statistics_buffer.h"
#include "status.h"
#include "tydb.h"
#include "workstation_lock.h"

namespace tydb {
namespace {

constexpr int kOpenAttempts = 10;
// Requests that carry no caller data still hand the record manager real buffers.
constexpr int kScratchSize = 256;
// The path travels in the key buffer, which the record manager may read up to its declared
// 255 bytes; a zero-filled copy keeps that read inside our memory whatever the path's length.
constexpr int kOpenKeySize = kDirectorySlotSize;

int8_t EngineOpenMode(int16_t mode) {
    switch (static_cast<uint16_t>(mode) & 0xFF00) {
        case 0x0100: return btr::kOpenAccelerated;
        case 0x0200: return btr::kOpenReadOnly;
        case 0x0300: return btr::kOpenVerify;
        case 0x0400: return btr::kOpenExclusive;
        default: return btr::kOpenNormal;
    }
}

// One open attempt: the workstation lock, then the record manager's Open with the bias added
// to its operation code.
int32_t EngineOpen(OpenFileEntry& entry, int32_t bias, int8_t openMode, const char* path) {
    WorkstationLock& lock = TheWorkstationLock();
    const LockAnswer answer = lock.AcquireLock(LockDirectory(), LockDisabled(), path);
    if (answer == LockAnswer::kRefused) return kStatusLockedOut;
    if (answer == LockAnswer::kNotWritable) return kStatusLockNotWritable;

    char key[kOpenKeySize] = {};
    std::memcpy(key, path, std::strlen(path));  // at most kMaxPathLength characters
    uint8_t data[kScratchSize] = {};
    uint16_t dataLength = 0;
    const uint16_t operation = static_cast<uint16_t>(btr::kOpOpen + static_cast<uint16_t>(bias & 0xFFFF));
    const int16_t status = CallEngine(operation, entry.positionBlock, data, &dataLength, key, openMode);
    if (status != btr::kStatusSuccess) {
        if (answer == LockAnswer::kGranted) lock.ReleaseLock();
        return status;
    }
    entry.lockCounted = answer == LockAnswer::kGranted;
    return kStatusSuccess;
}

// The fixed record length becomes the file's default data length; variable-length files and a
// failed Stat leave it 0.
void ReadRecordLength(OpenFileEntry& entry) {
    StatisticsBuffer statistics = {};
    uint8_t key[kScratchSize] = {};
    uint16_t dataLength = kStatisticsSize;
    if (CallEngine(btr::kOpStat, entry.positionBlock, &statistics, &dataLength, key, 0) != btr::kStatusSuccess) return;
    // Copied out of the packed buffer before its fields are read.
    const BtrFileSpec spec = statistics.file;
    if ((spec.fileFlags & btr::kFileFlagVariableLength) == 0) entry.recordLength = spec.recordLength;
}

int32_t EngineClose(OpenFileEntry& entry) {
    uint8_t data[kScratchSize] = {};
    uint8_t key[kScratchSize] = {};
    uint16_t dataLength = 0;
    const int16_t status =
        CallEngine(btr::kOpClose, entry.positionBlock, data, &dataLength, key, static_cast<int8_t>(entry.keyNumber));
    // After a failed close the file may still be open at the record manager, so the lock
    // keeps guarding it.
    if (status == btr::kStatusSuccess && entry.lockCounted) {
        entry.lockCounted = false;
        TheWorkstationLock().ReleaseLock();
    }
    return status;
}

}  // namespace
}  // namespace tydb

using namespace tydb;

extern "C" TYDB_API int32_t TYDB_CALL DbOpen(int16_t* handle, const char* path, int16_t mode, int32_t bias) {
    if (handle == nullptr) return kStatusNoBuffer;
    int index = -1;
    const int32_t found = FindOrAllocateEntry(path, &index);
    if (found != kStatusSuccess) return found;
    OpenFileEntry& entry = EntryAt(index);

    // A shared reopen only counts: the first open's mode and bias stay.
    if (entry.openCount == 0) {
        const int8_t openMode = EngineOpenMode(mode);
        int32_t status = kStatusSuccess;
        for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
            status = EngineOpen(entry, bias, openMode, path);
            if (status == kStatusSuccess) break;
            // The file is there, yet the record manager cannot find it: trying again will not
            // change that.
            if (status == kStatusFileNotFound && platform::FileExists(path)) return kStatusPermissionError;
        }
        if (status != kStatusSuccess) return status;
        entry.openMode = openMode;
        ReadRecordLength(entry);
        entry.keyNumber = 0;
        entry.operationBias = bias;
    }
    ++entry.openCount;
    *handle = static_cast<int16_t>(index + 1);
    return kStatusSuccess;
}

extern "C" TYDB_API int32_t TYDB_CALL DbClose(int16_t handle) {
    OpenFileEntry* entry = GetOpenEntry(handle);
    if (entry == nullptr) return kStatusInvalidHandle;
    if (--entry->openCount > 0) return kStatusSuccess;
    // The entry is free from here on, whatever the record manager answers.
    return EngineClose(*entry);
}

extern "C" TYDB_API int32_t TYDB_CALL DbCloseAll(void) {
    for (int index = 0; index < kOpenFileCount; ++index) {
        OpenFileEntry& entry = EntryAt(index);
        if (entry.openCount == 0) continue;
        entry.openCount = 1;
        const int32_t status = DbClose(static_cast<int16_t>(index + 1));
        if (status != kStatusSuccess) return status;
    }
    return kStatusSuccess;
}
