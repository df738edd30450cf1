// Insert, Update and Delete: each one transaction over the record and all its key entries.
#include <algorithm>
#include <cstring>
#include <limits>

#include "ops/call.h"
#include "ops/write_transaction.h"

namespace w3b {

namespace {

// A write with the no-wait bias (+500), or inside a transaction begun with it, does not wait
// for another process's write to end.
class WriteWaitScope {
public:
    WriteWaitScope(FileConnection& file, const Call& call) : file_(file) {
        file_.SetWriteWait(call.op.noWriteWait || Engine::Get().CurrentTransaction().noWriteWait ? LockWait::kAnswerAtOnce
                                                                                             : LockWait::kWait);
    }
    ~WriteWaitScope() { file_.SetWriteWait(LockWait::kWait); }

private:
    FileConnection& file_;
};

// Keeps other processes' locks away from a record while this process changes it: a record
// another process has locked is refused with 84. Outside a transaction the record is held only
// for the operation; inside one it stays locked until the transaction ends.
class RecordGuard {
public:
    explicit RecordGuard(FileConnection& file) : file_(file) {}
    ~RecordGuard() {
        if (position_ != 0) file_.Locks().Release(position_);
    }
    int16_t Take(int64_t position) {
        if (Engine::Get().CurrentTransaction().active) return Engine::Get().LockForTransaction(&file_, position);
        if (file_.Locks().HeldHere(position)) return btr::kStatusSuccess;
        int16_t status = file_.Locks().Acquire(position, LockWait::kAnswerAtOnce);
        if (status == btr::kStatusSuccess) position_ = position;
        return status;
    }

private:
    FileConnection& file_;
    int64_t position_ = 0;
};

int16_t CheckWriteKey(const FileDef& def, const Call& call, const KeyInfo** key) {
    *key = nullptr;
    if (call.keyNumber == btr::kKeyNumberNoCurrency) return btr::kStatusSuccess;
    *key = KeyOf(def, call.keyNumber);
    if (*key == nullptr) return btr::kStatusInvalidKeyNumber;
    if (!call.KeyFits((*key)->length)) return btr::kStatusKeyBufferTooShort;
    return btr::kStatusSuccess;
}

uint64_t ReadUnsigned(const uint8_t* at, size_t width) {
    uint64_t value = 0;
    for (size_t i = 0; i < width && i < 8; ++i) value |= static_cast<uint64_t>(at[i]) << (8 * i);
    return value;
}

void WriteUnsigned(uint8_t* at, size_t width, uint64_t value) {
    for (size_t i = 0; i < width; ++i) at[i] = static_cast<uint8_t>(i < 8 ? value >> (8 * i) : 0);
}

bool AllZero(const uint8_t* at, size_t width) {
    for (size_t i = 0; i < width; ++i) {
        if (at[i] != 0) return false;
    }
    return true;
}

// Fills AUTOINCREMENT fields that hold zero with the highest value of the key plus one.
int16_t AssignAutoincrement(FileConnection& file, const FileDef& def, std::string* record, bool* assigned) {
    for (const KeyInfo& key : def.keys) {
        if (key.autoincrementSegment < 0) continue;
        const SegmentDef& segment = key.def.segments[static_cast<size_t>(key.autoincrementSegment)];
        uint8_t* field = reinterpret_cast<uint8_t*>(record->data()) + segment.offset;
        if (!AllZero(field, segment.length)) continue;
        KeyEntry last;
        std::string lastRecord;
        bool found = false;
        if (int16_t status = file.SeekEntry(key, Seek::kLast, std::string(), 0, &last, &lastRecord, &found);
            status != btr::kStatusSuccess) {
            return status;
        }
        // The key orders these fields as unsigned, so the last entry holds the highest value
        // read that way; a value a caller stored as negative is past the signed limit and
        // leaves nothing to assign.
        uint64_t highest = 0;
        if (found && lastRecord.size() >= segment.offset + segment.length) {
            highest =
                ReadUnsigned(reinterpret_cast<const uint8_t*>(lastRecord.data()) + segment.offset, segment.length);
        }
        uint64_t limit = segment.length >= 8 ? static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
                                             : (uint64_t{1} << (8 * segment.length - 1)) - 1;
        if (highest >= limit) return btr::kStatusAutoincrementError;
        WriteUnsigned(field, segment.length, highest + 1);
        *assigned = true;
    }
    return btr::kStatusSuccess;
}

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

}  // namespace

int16_t DoInsert(Call& call, OpenInstance& open) {
    if (open.ReadOnly()) return btr::kStatusAccessDenied;
    FileConnection& file = *open.file;
    WriteWaitScope writeWait(file, call);
    const KeyInfo* currencyKey;
    std::string record;
    auto check = [&]() {
        int16_t status = CheckWriteKey(file.Def(), call, &currencyKey);
        return status != btr::kStatusSuccess ? status : PrepareRecord(file.Def(), call, &record);
    };
    if (int16_t status = check(); status != btr::kStatusSuccess) return status;

    WriteTransaction transaction(file);
    if (int16_t status = transaction.Begin(); status != btr::kStatusSuccess) return status;
    if (int16_t status = transaction.Redefined() ? check() : btr::kStatusSuccess; status != btr::kStatusSuccess) {
        return status;
    }
    const FileDef& def = file.Def();
    bool assigned = false;
    if (int16_t status = AssignAutoincrement(file, def, &record, &assigned); status != btr::kStatusSuccess) {
        return status;
    }
    int64_t position = 0;
    if (int16_t status = file.InsertRecord(Bytes(record), record.size(), &position); status != btr::kStatusSuccess) {
        return status;
    }
    KeyEntry currencyEntry;
    bool currencyOnKey = false;
    std::string encoded;
    for (const KeyInfo& key : def.keys) {
        if (IsNullKey(key.def, Bytes(record))) continue;
        EncodeRecordKey(key.def, Bytes(record), &encoded);
        int64_t sequence = 0;
        if (int16_t status = file.InsertEntry(key, encoded, position, &sequence); status != btr::kStatusSuccess) {
            return status;
        }
        if (&key == currencyKey) {
            currencyEntry = KeyEntry{encoded, sequence, position};
            currencyOnKey = true;
        }
    }
    if (int16_t status = transaction.Commit(); status != btr::kStatusSuccess) return status;

    Cursor& cursor = open.cursor;
    if (currencyKey != nullptr) {
        if (currencyOnKey) {
            cursor.SetAt(currencyKey->number, currencyEntry, ReadKind::kRecord);
            cursor.RememberKey(file.DefinitionGeneration(), *currencyKey);
        } else {
            cursor.SetPhysical(position);
            cursor.keyNumber = currencyKey->number;
        }
        ExtractKeyValue(currencyKey->def, Bytes(record), call.key);
    } else {
        cursor.physical = Place::kAt;
        cursor.position = position;
        cursor.recordCurrent = true;
    }
    cursor.RecordWritten(record);
    // The caller learns the values the engine assigned.
    if (assigned) std::memcpy(call.data, record.data(), std::min<size_t>(record.size(), *call.dataLength));
    return btr::kStatusSuccess;
}

int16_t DoUpdate(Call& call, OpenInstance& open) {
    if (open.ReadOnly()) return btr::kStatusAccessDenied;
    Cursor& cursor = open.cursor;
    if (!cursor.recordCurrent || cursor.physical != Place::kAt) return btr::kStatusInvalidPositioning;
    FileConnection& file = *open.file;
    WriteWaitScope writeWait(file, call);
    const KeyInfo* currencyKey;
    std::string record;
    auto check = [&]() {
        int16_t status = CheckWriteKey(file.Def(), call, &currencyKey);
        return status != btr::kStatusSuccess ? status : PrepareRecord(file.Def(), call, &record);
    };
    if (int16_t status = check(); status != btr::kStatusSuccess) return status;

    RecordGuard guard(file);
    if (int16_t status = guard.Take(cursor.position); status != btr::kStatusSuccess) return status;
    WriteTransaction transaction(file);
    if (int16_t status = transaction.Begin(); status != btr::kStatusSuccess) return status;
    if (int16_t status = transaction.Redefined() ? check() : btr::kStatusSuccess; status != btr::kStatusSuccess) {
        return status;
    }
    const FileDef& def = file.Def();
    std::string stored;
    bool found = false;
    if (int16_t status = file.ReadRecord(cursor.position, &stored, &found); status != btr::kStatusSuccess) {
        return status;
    }
    if (!found || stored.size() < def.RecordLength()) return btr::kStatusInvalidPositioning;
    // Another block changed the record since this one read it: writing now would undo that.
    if (stored != cursor.image) return btr::kStatusConflict;

    // An AUTOINCREMENT field set to zero keeps the value it has.
    for (const KeyInfo& key : def.keys) {
        if (key.autoincrementSegment < 0) continue;
        const SegmentDef& segment = key.def.segments[static_cast<size_t>(key.autoincrementSegment)];
        if (AllZero(Bytes(record) + segment.offset, segment.length)) {
            std::memcpy(record.data() + segment.offset, stored.data() + segment.offset, segment.length);
        }
    }

    std::vector<uint8_t> oldValue, newValue;
    std::string oldEncoded, newEncoded;
    for (const KeyInfo& key : def.keys) {
        oldValue.resize(key.length);
        newValue.resize(key.length);
        ExtractKeyValue(key.def, Bytes(stored), oldValue.data());
        ExtractKeyValue(key.def, Bytes(record), newValue.data());
        if (oldValue == newValue) continue;
        if (!key.modifiable) return btr::kStatusModifiableKeyError;
        bool oldNull = IsNullKey(key.def, Bytes(stored));
        bool newNull = IsNullKey(key.def, Bytes(record));
        if (!oldNull) EncodeRecordKey(key.def, Bytes(stored), &oldEncoded);
        if (!newNull) EncodeRecordKey(key.def, Bytes(record), &newEncoded);
        if (oldNull == newNull && (oldNull || oldEncoded == newEncoded)) continue;
        // A changed value leaves its place and joins the end of its new group.
        if (!oldNull) {
            if (int16_t status = file.DeleteEntry(key, oldEncoded, cursor.position); status != btr::kStatusSuccess) {
                return status;
            }
        }
        if (!newNull) {
            if (int16_t status = file.InsertEntry(key, newEncoded, cursor.position, nullptr);
                status != btr::kStatusSuccess) {
                return status;
            }
        }
    }
    if (int16_t status = file.UpdateRecord(cursor.position, Bytes(record), record.size());
        status != btr::kStatusSuccess) {
        return status;
    }
    KeyEntry entry;
    bool onKey = false;
    if (currencyKey != nullptr && !IsNullKey(currencyKey->def, Bytes(record))) {
        EncodeRecordKey(currencyKey->def, Bytes(record), &newEncoded);
        if (int16_t status = file.EntryOfRecord(*currencyKey, newEncoded, cursor.position, &entry, &onKey);
            status != btr::kStatusSuccess) {
            return status;
        }
    }
    if (int16_t status = transaction.Commit(); status != btr::kStatusSuccess) return status;

    cursor.RecordWritten(record);
    // Writing the record ends the block's single-record lock on it; multiple-record locks stay.
    if (open.singleLock == cursor.position) open.ReleaseLocksOn(cursor.position);

    // Logical currency follows the record on the key named, when that is the key path in use;
    // a different key number leaves the path, so the next Get on the new number reports it.
    if (currencyKey != nullptr) {
        if (onKey && (cursor.keyNumber == currencyKey->number || cursor.logical == Place::kNone)) {
            cursor.keyNumber = currencyKey->number;
            cursor.logical = Place::kAt;
            cursor.entry = entry;
            cursor.vacated = false;
            cursor.RememberKey(file.DefinitionGeneration(), *currencyKey);
        }
        ExtractKeyValue(currencyKey->def, Bytes(record), call.key);
    }
    return btr::kStatusSuccess;
}

int16_t DoDelete(Call& call, OpenInstance& open) {
    if (open.ReadOnly()) return btr::kStatusAccessDenied;
    Cursor& cursor = open.cursor;
    if (!cursor.recordCurrent || cursor.physical != Place::kAt) return btr::kStatusInvalidPositioning;
    FileConnection& file = *open.file;
    WriteWaitScope writeWait(file, call);

    RecordGuard guard(file);
    if (int16_t status = guard.Take(cursor.position); status != btr::kStatusSuccess) return status;
    WriteTransaction transaction(file);
    if (int16_t status = transaction.Begin(); status != btr::kStatusSuccess) return status;
    const FileDef& def = file.Def();
    std::string stored;
    bool found = false;
    if (int16_t status = file.ReadRecord(cursor.position, &stored, &found); status != btr::kStatusSuccess) {
        return status;
    }
    if (!found || stored.size() < def.RecordLength()) return btr::kStatusInvalidPositioning;
    // Another block changed the record since this one read it: writing now would undo that.
    if (stored != cursor.image) return btr::kStatusConflict;
    std::string encoded;
    for (const KeyInfo& key : def.keys) {
        if (IsNullKey(key.def, Bytes(stored))) continue;
        EncodeRecordKey(key.def, Bytes(stored), &encoded);
        if (int16_t status = file.DeleteEntry(key, encoded, cursor.position); status != btr::kStatusSuccess) {
            return status;
        }
    }
    if (int16_t status = file.DeleteRecord(cursor.position); status != btr::kStatusSuccess) return status;
    if (int16_t status = transaction.Commit(); status != btr::kStatusSuccess) return status;

    // The record is gone, and with it the block's locks on it.
    open.ReleaseLocksOn(cursor.position);
    // Its place on the key path stays, so Get Next and Previous go on.
    if (cursor.logical == Place::kAt && cursor.entry.position == cursor.position) cursor.vacated = true;
    cursor.physical = Place::kNone;
    cursor.recordCurrent = false;
    return btr::kStatusSuccess;
}

}  // namespace w3b
