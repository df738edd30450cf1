// call.h: one BTRCALL request as the operations see it, and the checks they share.
#ifndef W3BTRV7_OPS_CALL_H
#define W3BTRV7_OPS_CALL_H

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "ops/engine.h"
#include "ops/operation.h"

namespace w3b {

// Longest record a write may carry: what a 16-bit data length can describe.
inline constexpr uint32_t kMaxRecordLength = 65535;

struct Call {
    Operation op;
    uint8_t* positionBlock = nullptr;
    uint8_t* data = nullptr;
    uint32_t* dataLength = nullptr;
    uint8_t* key = nullptr;
    uint8_t keyLength = 0;
    int8_t keyNumber = 0;
    int64_t insertPosition = 0;  // the position an Insert is to take (W3bInsertAt); 0: the store's choice

    // Bytes the caller supplies or can take; 0 without a buffer.
    uint32_t DataCapacity() const { return data != nullptr && dataLength != nullptr ? *dataLength : 0; }
    void SetDataLength(uint32_t length) const {
        if (dataLength != nullptr) *dataLength = length;
    }
    // True when the key buffer can hold `length` bytes.
    bool KeyFits(size_t length) const { return key != nullptr && keyLength >= length; }
};

// Copies a record into the data buffer: all of it (status 0) or as much as fits (status 22).
// The data length becomes the number of bytes copied. Every read returns through here.
inline int16_t CopyRecordOut(const Call& call, const std::string& record) {
    uint32_t capacity = call.DataCapacity();
    size_t size = record.size();
    uint32_t copied = size <= capacity ? static_cast<uint32_t>(size) : capacity;
    if (copied > 0) std::memcpy(call.data, record.data(), copied);
    call.SetDataLength(copied);
    return copied == size ? btr::kStatusSuccess : btr::kStatusDataLengthError;
}

// CopyRecordOut, and the block takes the record as the one it read; `record` is left with a
// buffer to reuse.
inline int16_t ReturnRecord(const Call& call, Cursor& cursor, std::string&& record) {
    int16_t status = CopyRecordOut(call, record);
    cursor.RecordRead(std::move(record));
    return status;
}

// The same for a record served from the rows the block read ahead, where it stays.
inline int16_t ReturnServed(const Call& call, Cursor& cursor, std::string& record) {
    int16_t status = CopyRecordOut(call, record);
    cursor.RecordServed(record);
    return status;
}

// Reads the NUL-terminated path of Open, Create and Set Directory from the key buffer, as the
// file system wants it, a relative one joined to the directory Set Directory chose. Status 11
// when there is no terminator within the declared length (or 255 bytes), or the path is empty.
int16_t PathFromKeyBuffer(const Call& call, std::string* path);
// A path as a caller gives it, as the file system wants it: relative ones joined to the
// directory Set Directory chose.
std::string CallerPath(const std::string& given);

// The owner name in an Open's data buffer: empty when it gives none.
std::string OwnerNameOfOpen(const Call& call);
// What an Open's owner name gives the block.
struct OwnerAccess {
    bool gaveName = false;
    bool readsOnly = false;  // no name, where the owner lets everyone read
};
// Whether `name` (empty for none) opens a file of definition `def`: 51 when it does not; a file
// that lets everyone read is opened read-only without it.
int16_t CheckOwnerName(const FileDef& def, const std::string& name, OwnerAccess* access);

// Checks the length of a record to be written to `def`'s file (status 22 when it does not fit)
// and prepares the bytes to store (blank truncation of the variable part).
int16_t PrepareRecord(const FileDef& def, const Call& call, std::string* record);

// Key number of a key-based operation, or nullptr (status 6).
const KeyInfo* KeyOf(const FileDef& def, int keyNumber);

// The key the call's key number names, whose value must fit the key buffer (6, or 21 when it
// does not); nullptr without a status for `noKey`, the number that names no key.
int16_t CallKey(const FileDef& def, const Call& call, int8_t noKey, const KeyInfo** key);

// Little-endian numbers in the callers' buffers.
uint16_t ReadU16(const uint8_t* at);
uint32_t ReadU32(const uint8_t* at);
void WriteU16(uint8_t* at, uint16_t value);
void WriteU32(uint8_t* at, uint32_t value);
void AppendU16(std::string* out, uint16_t value);
void AppendU32(std::string* out, uint32_t value);

// ---- Operations. Each returns a status; those with an instance run on an open position block.
int16_t DoOpen(Call& call);
int16_t DoClose(Call& call, OpenInstance& open);
int16_t DoCreate(Call& call);
int16_t DoStat(Call& call, OpenInstance& open);
int16_t DoVersion(Call& call);
int16_t DoStop(Call& call);
int16_t DoReset(Call& call);
int16_t DoSetDirectory(Call& call);
int16_t DoGetDirectory(Call& call);
int16_t DoInsert(Call& call, OpenInstance& open);
// Insert Extended: the records of the buffer, in one transaction, up to the first refused one.
int16_t DoInsertExtended(Call& call, OpenInstance& open);
int16_t DoUpdate(Call& call, OpenInstance& open);
int16_t DoDelete(Call& call, OpenInstance& open);
int16_t DoGet(Call& call, OpenInstance& open);
int16_t DoGetPosition(Call& call, OpenInstance& open);
int16_t DoGetDirect(Call& call, OpenInstance& open);
// Get Direct/Chunk and Update Chunk: pieces of a record.
int16_t DoGetChunk(Call& call, OpenInstance& open);
int16_t DoUpdateChunk(Call& call, OpenInstance& open);
int16_t DoStep(Call& call, OpenInstance& open);
// Get and Step Next/Previous Extended: many records, filtered and extracted, in one call.
int16_t DoReadExtended(Call& call, OpenInstance& open);
int16_t DoGetByPercentage(Call& call, OpenInstance& open);
int16_t DoFindPercentage(Call& call, OpenInstance& open);
int16_t DoCreateIndex(Call& call, OpenInstance& open);
int16_t DoDropIndex(Call& call, OpenInstance& open);
int16_t DoUnlock(Call& call, OpenInstance& open);
// Set Owner and Clear Owner.
int16_t DoSetOwner(Call& call, OpenInstance& open);
int16_t DoClearOwner(Call& call, OpenInstance& open);
// Continuous Operation: backups of files in use.
int16_t DoContinuous(Call& call);
int16_t DoBeginTransaction(Call& call);
int16_t DoEndTransaction(Call& call);
int16_t DoAbortTransaction(Call& call);

// The lock bias a read takes: its own, else the transaction's default; 0 for Get Key. Every
// read asks, so it is inline.
inline uint8_t EffectiveLock(const Call& call) {
    if (call.op.getKey) return 0;  // nothing is read, so nothing is locked
    if (call.op.lock != 0) return call.op.lock;
    const Transaction& transaction = Engine::Get().CurrentTransaction();
    return transaction.active ? transaction.defaultLock : 0;
}
// Runs the read of `row` and locks the record it reached (`lock` 1..4). Another process's lock
// answers 84 at once for the no-wait forms, leaving buffers and currency as they were; the wait
// forms wait for it and read again. 93 when the block holds locks of the other kind.
int16_t LockedRead(Call& call, OpenInstance& open, const OperationRow& row, uint8_t lock);
// The parts of a locking read for operations that lock records as they go (the extended reads):
// the block may take locks of this kind (93) and the file is free of another process's
// whole-file lock; then a record is locked as `lock` asks (another holder: 84 at once for the
// no-wait forms, else waited for), counted once more for this block until KeepReadLock records
// it (a single-record lock replacing the block's previous one) or it is released.
int16_t BeginLockingRead(OpenInstance& open, uint8_t lock);
int16_t AcquireForRead(OpenInstance& open, int64_t position, uint8_t lock);
void KeepReadLock(OpenInstance& open, int64_t position, uint8_t lock);

}  // namespace w3b

#endif  // W3BTRV7_OPS_CALL_H
