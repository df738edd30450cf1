// DbRead, DbModify and DbUnlock: record requests on an open file, with the file's key number,
// default data length and operation bias applied.
#include <cstring>

#include "btrcall.h"
#include "gateway.h"
#include "record_request.h"
#include "status.h"
#include "tydb.h"

using namespace tydb;

namespace {

// Added to a DbRead code: put the file back on its current record after the read.
constexpr uint16_t kKeepPositionFlag = 512;
// A DbRead code whose remainder by 100 is this reads by record position, which the caller
// has already placed in the data buffer, and returns the key value in the caller's key buffer.
constexpr int kGetDirectWithKey = 73;
constexpr int kGetDirectWithKeyOffset = kGetDirectWithKey - btr::kOpGetDirect;
constexpr int kLockBiasStep = 100;
constexpr int16_t kModeGetPosition = 23;
constexpr int16_t kModeRestore = 0;
constexpr int32_t kUnlockModeSingle = btr::kOpUnlock;

}  // namespace

extern "C" TYDB_API int32_t TYDB_CALL DbRead(int16_t operation, int16_t handle, void* keyBuffer, void* dataBuffer,
                                             int16_t dataLength) {
    OpenFileEntry* entry = GetOpenEntry(handle);
    if (entry == nullptr) return kStatusInvalidHandle;

    const bool keepPosition = (static_cast<uint16_t>(operation) & kKeepPositionFlag) != 0;
    const auto code = static_cast<int16_t>(static_cast<uint16_t>(operation) & ~kKeepPositionFlag);
    const int base = code % kLockBiasStep;
    uint16_t length = RequestLength(*entry, dataLength);
    if (base == btr::kOpGetDirect) {
        // The record position comes in the key buffer: without one there is nothing to read.
        if (keyBuffer == nullptr) return btr::kStatusInvalidRecordAddress;
        if (dataBuffer == nullptr) return kStatusNoBuffer;
        // The position is copied into the data buffer, so the buffer the caller declares must
        // hold it: a shorter one is refused before a byte is written.
        if (length < btr::kRecordPositionSize) return btr::kStatusDataLengthError;
    }

    uint8_t savedPosition[btr::kRecordPositionSize] = {};
    const bool restore = keepPosition && DbPosition(kModeGetPosition, handle, savedPosition) == kStatusSuccess;

    if (base == btr::kOpGetDirect) std::memcpy(dataBuffer, keyBuffer, btr::kRecordPositionSize);
    const int sent = base == kGetDirectWithKey ? code - kGetDirectWithKeyOffset : code;
    // The scratch key is cleared only when it is sent: reads are the hot path.
    uint8_t scratchKey[kScratchKeySize];
    void* key = keyBuffer;
    if (base == btr::kOpGetDirect || keyBuffer == nullptr) {
        std::memset(scratchKey, 0, sizeof scratchKey);
        key = scratchKey;
    }

    int32_t status =
        CallEngine(Biased(*entry, sent), entry->positionBlock, dataBuffer, &length, key, EntryKeyNumber(*entry));
    entry->lastDataLength = static_cast<int16_t>(length);

    if (restore && status == kStatusSuccess) {
        status = DbPosition(kModeRestore, handle, savedPosition);
        // The record that was current has gone since: the read itself succeeded.
        if (status == btr::kStatusInvalidRecordAddress) status = kStatusSuccess;
    }
    return status;
}

extern "C" TYDB_API int32_t TYDB_CALL DbModify(int16_t operation, int16_t handle, void* keyBuffer, void* dataBuffer,
                                               int16_t dataLength) {
    OpenFileEntry* entry = GetOpenEntry(handle);
    if (entry == nullptr) return kStatusInvalidHandle;

    // A delete by key first finds the record; a key value that is not there deletes nothing.
    if (operation == btr::kOpDelete && keyBuffer != nullptr) {
        uint16_t length = RequestLength(*entry, dataLength);
        const int16_t found = CallEngine(Biased(*entry, btr::kOpGetEqual), entry->positionBlock, dataBuffer, &length,
                                         keyBuffer, EntryKeyNumber(*entry));
        if (found != btr::kStatusSuccess) return btr::kStatusKeyNotFound;
    }

    uint8_t scratchKey[kScratchKeySize];
    void* key = keyBuffer;
    if (keyBuffer == nullptr) {
        std::memset(scratchKey, 0, sizeof scratchKey);
        key = scratchKey;
    }
    uint16_t length = RequestLength(*entry, dataLength);
    return CallEngine(Biased(*entry, operation), entry->positionBlock, dataBuffer, &length, key,
                      EntryKeyNumber(*entry));
}

extern "C" TYDB_API int32_t TYDB_CALL DbUnlock(int32_t mode, int16_t handle, const void* position) {
    OpenFileEntry* entry = GetOpenEntry(handle);
    if (entry == nullptr) return kStatusInvalidHandle;

    const int16_t keyNumber = mode == kUnlockModeSingle ? btr::kUnlockSingle : static_cast<int16_t>(mode);
    // The record manager reads the position from the data buffer; the same bytes serve as key.
    uint8_t buffer[kScratchKeySize] = {};
    if (position != nullptr) std::memcpy(buffer, position, btr::kRecordPositionSize);
    uint16_t length = btr::kRecordPositionSize;
    return CallEngine(btr::kOpUnlock, entry->positionBlock, buffer, &length, buffer, static_cast<int8_t>(keyNumber));
}
