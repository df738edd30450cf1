// The record-object exports (ordinals 300 to 321): the record API of the open-file table run
// with the buffers, data length and key number an object carries.
#include <algorithm>
#include <cstring>

#include "btrcall.h"
#include "gateway.h"
#include "heap_block.h"
#include "open_file_table.h"
#include "record_object.h"
#include "record_request.h"
#include "statistics_buffer.h"
#include "status.h"
#include "tydb.h"

using namespace tydb;

namespace {

constexpr int32_t kKeepBias = -1;
constexpr int16_t kPositionModeGet = 23;
constexpr int16_t kPositionModeRestore = 0;
constexpr int32_t kUnlockModeSingle = btr::kOpUnlock;
// DbRecRecordCount's answer when the file's statistics cannot be read.
constexpr int32_t kNoRecordCount = -1;

// The record buffer holds the record length asked for, and never less than Get Direct's 4-byte
// position. When the data length field comes out 0, every read takes the file's own record
// length, so the buffer must hold the longest record there is.
int32_t DataBufferSize(int32_t recordLength) {
    int32_t size = recordLength;
    if ((recordLength & 0xFFFF) == 0) size = std::max<int32_t>(size, kLongestRecord);
    return std::max<int32_t>(size, btr::kRecordPositionSize);
}

int16_t HandleOf(const RecordObject* object) { return object != nullptr ? object->handle : kRecordNotOpen; }

int32_t Modify(RecordObject* object, int16_t operation) {
    const int16_t handle = HandleOf(object);
    if (!IsValidHandle(handle)) return kStatusInvalidHandle;
    // Only a delete can do without a record.
    if (operation != btr::kOpDelete && object->dataBuffer == nullptr) return kStatusNoBuffer;
    KeyOverrideScope scope(handle, object->keyNumber, kKeepBias);
    // A delete goes without the key buffer, so it removes the current record whatever the
    // buffer holds.
    void* key = operation == btr::kOpDelete ? nullptr : object->keyBuffer;
    return DbModify(operation, handle, key, object->dataBuffer, object->dataLength);
}

int32_t Read(RecordObject* object, int16_t operation, int32_t lockBias) {
    const int16_t handle = HandleOf(object);
    if (!IsValidHandle(handle)) return kStatusInvalidHandle;
    if (object->dataBuffer == nullptr) return kStatusNoBuffer;
    KeyOverrideScope scope(handle, object->keyNumber, lockBias);
    return DbRead(operation, handle, object->keyBuffer, object->dataBuffer, object->dataLength);
}

}  // namespace

extern "C" TYDB_API TydbRecordObject* TYDB_CALL DbRecCreate(int32_t recordLength, int32_t keyLength) {
    if (recordLength < 0) return nullptr;
    auto* object = static_cast<RecordObject*>(AllocZeroed(1, sizeof(RecordObject)));
    if (object == nullptr) return nullptr;
    void* data = AllocZeroed(1, DataBufferSize(recordLength));
    if (data == nullptr) {
        FreeBlock(object);
        return nullptr;
    }
    void* key = AllocZeroed(1, kRecordKeyBufferSize);
    if (key == nullptr) {
        FreeBlock(data);
        FreeBlock(object);
        return nullptr;
    }
    object->handle = kRecordNotOpen;
    object->dataBuffer = data;
    object->keyBuffer = key;
    object->dataLength = static_cast<int16_t>(recordLength & 0xFFFF);
    object->keyLength = keyLength;
    object->keyNumber = 0;
    object->reserved = kRecordReservedInitial;
    return object;
}

extern "C" TYDB_API int32_t TYDB_CALL DbRecFree(TydbRecordObject* object) {
    if (object == nullptr) return 0;
    if (object->dataBuffer != nullptr) FreeBlock(object->dataBuffer);
    if (object->keyBuffer != nullptr) FreeBlock(object->keyBuffer);
    return FreeBlock(object);
}

extern "C" TYDB_API int32_t TYDB_CALL DbRecPadKey(TydbRecordObject* object) {
    if (object == nullptr || object->keyBuffer == nullptr) return kStatusNoBuffer;
    auto* key = static_cast<char*>(object->keyBuffer);
    // The application may have set any key length and filled the whole buffer: neither the
    // string's end nor the padding is looked for past the buffer.
    const int32_t keyLength = std::min<int32_t>(object->keyLength, kRecordKeyBufferSize);
    const auto length = static_cast<int32_t>(strnlen(key, kRecordKeyBufferSize));
    if (length < keyLength - 1) {
        std::memset(key + length, ' ', static_cast<size_t>(keyLength - 1 - length));
        key[keyLength - 1] = '\0';
    }
    return kStatusSuccess;
}

extern "C" TYDB_API int32_t TYDB_CALL DbRecOpen(int16_t* handle, int16_t mode, const char* path) {
    return DbOpen(handle, path, mode, 0);
}

extern "C" TYDB_API int32_t TYDB_CALL DbRecClose(TydbRecordObject* object) { return DbClose(HandleOf(object)); }

extern "C" TYDB_API int32_t TYDB_CALL DbRecInsert(TydbRecordObject* object) { return Modify(object, btr::kOpInsert); }

extern "C" TYDB_API int32_t TYDB_CALL DbRecUpdate(TydbRecordObject* object) { return Modify(object, btr::kOpUpdate); }

extern "C" TYDB_API int32_t TYDB_CALL DbRecDelete(TydbRecordObject* object) { return Modify(object, btr::kOpDelete); }

extern "C" TYDB_API int32_t TYDB_CALL DbRecGetFirst(TydbRecordObject* object, int32_t lockBias) {
    return Read(object, btr::kOpGetFirst, lockBias);
}

extern "C" TYDB_API int32_t TYDB_CALL DbRecGetNext(TydbRecordObject* object, int32_t lockBias) {
    return Read(object, btr::kOpGetNext, lockBias);
}

extern "C" TYDB_API int32_t TYDB_CALL DbRecGetLast(TydbRecordObject* object, int32_t lockBias) {
    return Read(object, btr::kOpGetLast, lockBias);
}

extern "C" TYDB_API int32_t TYDB_CALL DbRecGetPrevious(TydbRecordObject* object, int32_t lockBias) {
    return Read(object, btr::kOpGetPrevious, lockBias);
}

extern "C" TYDB_API int32_t TYDB_CALL DbRecGetEqual(TydbRecordObject* object, int32_t lockBias) {
    return Read(object, btr::kOpGetEqual, lockBias);
}

extern "C" TYDB_API int32_t TYDB_CALL DbRecGetGreaterOrEqual(TydbRecordObject* object, int32_t lockBias) {
    return Read(object, btr::kOpGetGreaterOrEqual, lockBias);
}

extern "C" TYDB_API int32_t TYDB_CALL DbRecGetPosition(TydbRecordObject* object, void* position) {
    return DbPosition(kPositionModeGet, HandleOf(object), position);
}

extern "C" TYDB_API int32_t TYDB_CALL DbRecSetPosition(TydbRecordObject* object, uint32_t position) {
    return DbPosition(kPositionModeRestore, HandleOf(object), &position);
}

extern "C" TYDB_API int32_t TYDB_CALL DbRecGetDirect(TydbRecordObject* object, uint32_t position, int32_t lockBias) {
    OpenFileEntry* entry = GetOpenEntry(HandleOf(object));
    if (entry == nullptr) return kStatusInvalidHandle;
    if (object->dataBuffer == nullptr) return kStatusNoBuffer;

    // The object's own data length goes out and takes the length read; the file's defaults
    // stay out of this read. The position is copied into the data buffer first, so a length
    // too short for it is refused before a byte is written.
    auto length = static_cast<uint16_t>(object->dataLength);
    if (length < sizeof position) return btr::kStatusDataLengthError;

    // Unlike the reads, the bias is plain arithmetic here: -1 makes the code 22.
    const auto operation = static_cast<uint16_t>(btr::kOpGetDirect + lockBias);
    std::memcpy(object->dataBuffer, &position, sizeof position);
    uint8_t scratchKey[kScratchKeySize] = {};
    void* key = object->keyBuffer != nullptr ? object->keyBuffer : scratchKey;
    const int16_t status = CallEngine(operation, entry->positionBlock, object->dataBuffer, &length, key,
                                      static_cast<int8_t>(object->keyNumber));
    object->dataLength = static_cast<int16_t>(length);
    return status;
}

extern "C" TYDB_API void TYDB_CALL DbRecSyncKeyNumber(TydbRecordObject* object) {
    const OpenFileEntry* entry = GetOpenEntry(HandleOf(object));
    if (entry != nullptr) object->keyNumber = entry->keyNumber;
}

extern "C" TYDB_API int32_t TYDB_CALL DbRecDeactivateKey(TydbRecordObject* object) {
    const int16_t handle = HandleOf(object);
    const int32_t status = DbDeactivateKey(handle);
    int32_t keyNumber = 0;
    if (DbGetOverRideDef(handle, &keyNumber, nullptr) == kStatusSuccess) {
        object->keyNumber = static_cast<int16_t>(keyNumber & 0xFFFF);
    }
    return status;
}

extern "C" TYDB_API int32_t TYDB_CALL DbRecUnlock(TydbRecordObject* object, uint32_t position) {
    return DbUnlock(kUnlockModeSingle, HandleOf(object), &position);
}

extern "C" TYDB_API int32_t TYDB_CALL DbRecFileStat(TydbRecordObject* object, void* statistics) {
    return DbFileStat(HandleOf(object), statistics);
}

extern "C" TYDB_API int32_t TYDB_CALL DbRecRecordCount(TydbRecordObject* object) {
    StatisticsBuffer statistics;
    if (DbRecFileStat(object, &statistics) != kStatusSuccess) return kNoRecordCount;
    return static_cast<int32_t>(statistics.file.recordCount);
}
