// Reads that lock the record they reach, and Unlock.
#include <algorithm>
#include <cstring>
#include <vector>

#include "ops/call.h"

namespace w3b {

namespace {

Cursor CurrencyOf(const Cursor& cursor) {
    Cursor copy;
    copy.keyNumber = cursor.keyNumber;
    copy.logical = cursor.logical;
    copy.entry = cursor.entry;
    copy.vacated = cursor.vacated;
    copy.physical = cursor.physical;
    copy.position = cursor.position;
    copy.recordCurrent = cursor.recordCurrent;
    return copy;
}

// What a read changes in the caller's buffers and the block's currency, so that a read whose
// record turns out to be locked can leave everything as it found it.
class ReadUndo {
public:
    ReadUndo(const Call& call, const Cursor& cursor, size_t keyBytes)
        : call_(call), cursor_(CurrencyOf(cursor)), image_(cursor.Image()) {
        if (call.dataLength != nullptr) dataLength_ = *call.dataLength;
        // Only what the read can write: a key buffer is often exactly as long as its key,
        // whatever length the caller declares.
        if (call.key != nullptr) key_.assign(call.key, call.key + keyBytes);
        // Get Direct and Get By Percentage take their input from the data buffer's start.
        if (call.data != nullptr && dataLength_ >= btr::kRecordPositionSize) {
            std::memcpy(dataStart_, call.data, btr::kRecordPositionSize);
            hasDataStart_ = true;
        }
    }

    void Restore(Cursor* cursor) const {
        if (call_.dataLength != nullptr) *call_.dataLength = dataLength_;
        if (!key_.empty()) std::memcpy(call_.key, key_.data(), key_.size());
        if (hasDataStart_) std::memcpy(call_.data, dataStart_, btr::kRecordPositionSize);
        cursor->keyNumber = cursor_.keyNumber;
        cursor->logical = cursor_.logical;
        cursor->entry = cursor_.entry;
        cursor->vacated = cursor_.vacated;
        cursor->physical = cursor_.physical;
        cursor->position = cursor_.position;
        cursor->recordCurrent = cursor_.recordCurrent;
        // The record Update and Delete compare with is the one the block stood on before.
        cursor->RecordWritten(image_);
        // Rows read ahead by the undone read are not to be served.
        cursor->ahead.next = 0;
    }

private:
    const Call& call_;
    Cursor cursor_;  // without its rows read ahead
    std::string image_;
    uint32_t dataLength_ = 0;
    std::vector<uint8_t> key_;
    uint8_t dataStart_[btr::kRecordPositionSize] = {};
    bool hasDataStart_ = false;
};

// The bytes of the key buffer a read can change: the value of the key it reads by, if any.
size_t KeyBytesWritten(const Call& call, const OpenInstance& open, const OperationRow& row) {
    if (row.Has(Trait::kLeavesKeyBuffer)) return 0;
    const KeyInfo* key = KeyOf(open.file->Def(), call.keyNumber);
    return key == nullptr ? 0 : std::min<size_t>(key->length, call.keyLength);
}

// A single-record lock (+100, +200) replaces the block's previous one; multiple-record locks
// (+300, +400) add up.
enum class LockKind { kSingle, kMultiple };

// Records the lock `open` now has on `position` (one holder already counted for it).
void KeepLock(OpenInstance& open, int64_t position, LockKind kind) {
    RecordLocks& locks = open.file->Locks();
    if (kind == LockKind::kMultiple) {
        if (open.HoldsMultiple(position)) {
            locks.Release(position);
        } else {
            open.multipleLocks.push_back(position);
        }
        return;
    }
    // A new single-record lock replaces the block's previous one.
    if (open.singleLock == position) {
        locks.Release(position);
        return;
    }
    if (open.singleLock != 0) locks.Release(open.singleLock);
    open.singleLock = position;
}

// A locking read needs the file free of another process's whole-file lock; inside an exclusive
// transaction it takes the whole file itself.
int16_t ClaimFile(FileConnection& file, LockWait wait) {
    Engine& engine = Engine::Get();
    if (engine.CurrentTransaction().active && engine.CurrentTransaction().exclusive) {
        return engine.JoinTransaction(&file);
    }
    return file.Locks().CheckFileFreeWithNextRead(wait);
}

LockKind KindOf(uint8_t lock) { return lock >= 3 ? LockKind::kMultiple : LockKind::kSingle; }
LockWait WaitOf(uint8_t lock) { return lock == 1 || lock == 3 ? LockWait::kWait : LockWait::kAnswerAtOnce; }

}  // namespace

int16_t BeginLockingRead(OpenInstance& open, uint8_t lock) {
    bool otherKindHeld = KindOf(lock) == LockKind::kMultiple ? open.singleLock != 0 : !open.multipleLocks.empty();
    if (otherKindHeld) return btr::kStatusIncompatibleLockType;
    return ClaimFile(*open.file, WaitOf(lock));
}

int16_t AcquireForRead(OpenInstance& open, int64_t position, uint8_t lock) {
    return open.file->Locks().Acquire(position, WaitOf(lock));
}

void KeepReadLock(OpenInstance& open, int64_t position, uint8_t lock) { KeepLock(open, position, KindOf(lock)); }

int16_t LockedRead(Call& call, OpenInstance& open, const OperationRow& row, uint8_t lock) {
    LockKind kind = KindOf(lock);
    LockWait wait = WaitOf(lock);
    if (int16_t status = BeginLockingRead(open, lock); status != btr::kStatusSuccess) return status;
    FileConnection& file = *open.file;
    RecordLocks& locks = file.Locks();
    int64_t waitedFor = 0;  // a record this call waited for and holds (one holder counted)
    for (;;) {
        ReadUndo undo(call, open.cursor, KeyBytesWritten(call, open, row));
        uint64_t readsBefore = open.cursor.recordsRead;
        int16_t status = row.runOnBlock(call, open);
        // A read refused before it reached a record (22 for a data buffer too short for its
        // input, say) locks nothing; one that reached a record but could not return all of it does.
        bool reached = open.cursor.recordsRead != readsBefore;
        if ((status != btr::kStatusSuccess && status != btr::kStatusDataLengthError) || !reached) {
            if (waitedFor != 0) locks.Release(waitedFor);
            return status;
        }
        int64_t position = open.cursor.position;
        if (position == waitedFor) {
            KeepLock(open, position, kind);
            return status;
        }
        if (waitedFor != 0) {
            // The record waited for moved away while its holder had it: lock the one reached.
            locks.Release(waitedFor);
            waitedFor = 0;
        }
        // Without a wait, a store may send the lock with the read that checks the record again.
        int16_t lockStatus = wait == LockWait::kAnswerAtOnce ? locks.AcquireWithNextRead(position)
                                                             : locks.Acquire(position, LockWait::kAnswerAtOnce);
        if (lockStatus == btr::kStatusSuccess) {
            // Another process may have changed the record between the read and the lock (it
            // held the lock then and let go since): what was read is only good if nothing
            // was committed in between.
            if (!file.MayHaveChangedSinceCallStart()) {
                KeepLock(open, position, kind);
                return status;
            }
            undo.Restore(&open.cursor);
        } else {
            undo.Restore(&open.cursor);
            if (lockStatus != btr::kStatusRecordInUse || wait == LockWait::kAnswerAtOnce) return lockStatus;
            // Wait for the holder, then read again: the record may have changed meanwhile.
            if ((lockStatus = locks.Acquire(position, LockWait::kWait)) != btr::kStatusSuccess) return lockStatus;
        }
        waitedFor = position;
        file.BeginCall();
        if ((status = file.Refresh()) != btr::kStatusSuccess) {
            locks.Release(waitedFor);
            return status;
        }
    }
}

int16_t DoUnlock(Call& call, OpenInstance& open) {
    switch (call.keyNumber) {
        case btr::kUnlockSingle:
            if (open.singleLock == 0 && !open.multipleLocks.empty()) return btr::kStatusLockError;
            open.ReleaseLocks();
            return btr::kStatusSuccess;
        case btr::kUnlockOneMultiple: {
            if (call.DataCapacity() < static_cast<uint32_t>(btr::kRecordPositionSize)) {
                return btr::kStatusDataLengthError;
            }
            int64_t position = ReadU32(call.data);
            if (position == 0 || !open.HoldsMultiple(position)) return btr::kStatusLockError;
            open.ReleaseLocksOn(position);
            return btr::kStatusSuccess;
        }
        case btr::kUnlockAllMultiple:
            if (open.singleLock != 0) return btr::kStatusLockError;
            open.ReleaseLocks();
            return btr::kStatusSuccess;
        default: return btr::kStatusInvalidKeyNumber;
    }
}

}  // namespace w3b
