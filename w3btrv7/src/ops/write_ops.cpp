// Insert, Update and Delete: each one transaction over the record and all its key entries.
#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

#include "ops/call.h"
#include "ops/write_transaction.h"

namespace w3b {

namespace {

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
        bool release = false;
        int16_t status = file_.Locks().HoldForWrite(position, &release);
        if (status == btr::kStatusSuccess && release) position_ = position;
        return status;
    }

private:
    FileConnection& file_;
    int64_t position_ = 0;
};

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

// What Insert and Update take from the caller: the key the block's currency follows (none for
// key number -1) and the record to store.
struct WriteRequest {
    const KeyInfo* currencyKey = nullptr;
    std::string record;

    // Checks the request against `def`; a recheck replaces what an earlier check found.
    int16_t Check(const FileDef& def, const Call& call) {
        int16_t status = CallKey(def, call, btr::kKeyNumberNoCurrency, &currencyKey);
        return status != btr::kStatusSuccess ? status : PrepareRecord(def, call, &record);
    }
};

// Begins the write of `request`, checked again when another process changed the definition
// while this one waited for the write lock.
int16_t BeginWrite(WriteTransaction& transaction, WriteRequest& request, FileConnection& file, const Call& call) {
    if (int16_t status = transaction.Begin(); status != btr::kStatusSuccess) return status;
    return transaction.Redefined() ? request.Check(file.Def(), call) : btr::kStatusSuccess;
}

// Whether the record at the block's position is still as the block read it (0), or gone (8),
// or changed by another block since (80), so that writing now would undo that.
int16_t ChangeSinceRead(FileConnection& file, const Cursor& cursor) {
    std::string stored;
    bool found = false;
    if (int16_t status = file.ReadRecord(cursor.position, &stored, &found); status != btr::kStatusSuccess) {
        return status;
    }
    if (!found || stored.size() < file.Def().RecordLength()) return btr::kStatusInvalidPositioning;
    return stored == cursor.Image() ? btr::kStatusSuccess : btr::kStatusConflict;
}

// Why Update or Delete did not find the record at the block's position as the block read it.
int16_t WhyUnchanged(FileConnection& file, const Cursor& cursor) {
    int16_t status = ChangeSinceRead(file, cursor);
    return status == btr::kStatusSuccess ? btr::kStatusConflict : status;
}

// The entry of the record at `position` on `key`, if it has one.
int16_t EntryOnKey(FileConnection& file, const KeyInfo& key, const std::string& record, int64_t position,
                   std::optional<KeyEntry>* entry) {
    if (IsNullKey(key.def, Bytes(record))) return btr::kStatusSuccess;
    std::string encoded;
    EncodeRecordKey(key.def, Bytes(record), &encoded);
    KeyEntry found;
    bool onKey = false;
    if (int16_t status = file.EntryOfRecord(key, encoded, position, &found, &onKey); status != btr::kStatusSuccess) {
        return status;
    }
    if (onKey) *entry = found;
    return btr::kStatusSuccess;
}

// The entry of the updated record on the key the block's currency follows. A key without
// duplicates numbers every entry 0, so its entry is known without looking.
int16_t EntryAfterUpdate(FileConnection& file, const KeyInfo& key, const std::string& record, int64_t position,
                         std::optional<KeyEntry>* entry) {
    if (key.duplicates) return EntryOnKey(file, key, record, position, entry);
    if (IsNullKey(key.def, Bytes(record))) return btr::kStatusSuccess;
    KeyEntry unique{std::string(), 0, position};
    EncodeRecordKey(key.def, Bytes(record), &unique.value);
    *entry = std::move(unique);
    return btr::kStatusSuccess;
}

// ---- Insert

// Gives the new record at `position` its entries on every key where its value is not null, and
// makes its entry on `request.currencyKey`, whose sequence the store fills in by Commit.
int16_t InsertEntries(FileConnection& file, const FileDef& def, const WriteRequest& request, int64_t position,
                      std::optional<KeyEntry>* currencyEntry) {
    std::string encoded;
    for (const KeyInfo& key : def.keys) {
        if (IsNullKey(key.def, Bytes(request.record))) continue;
        EncodeRecordKey(key.def, Bytes(request.record), &encoded);
        int64_t* sequence = nullptr;
        if (&key == request.currencyKey) sequence = &currencyEntry->emplace(KeyEntry{encoded, 0, 0}).sequence;
        if (int16_t status = file.InsertEntry(key, encoded, position, sequence); status != btr::kStatusSuccess) {
            return status;
        }
    }
    return btr::kStatusSuccess;
}

// The block stands on the new record: on the key named where the record has an entry on it,
// else by its position alone.
void StandOnInserted(Call& call, OpenInstance& open, const WriteRequest& request,
                     const std::optional<KeyEntry>& currencyEntry, int64_t position) {
    Cursor& cursor = open.cursor;
    const KeyInfo* key = request.currencyKey;
    if (key != nullptr) {
        if (currencyEntry) {
            cursor.SetAt(key->number, *currencyEntry, ReadKind::kRecord);
            cursor.RememberKey(open.file->DefinitionGeneration(), *key);
        } else {
            cursor.SetPhysical(position);
            cursor.keyNumber = key->number;
        }
        ExtractKeyValue(key->def, Bytes(request.record), call.key);
    } else {
        cursor.physical = Place::kAt;
        cursor.position = position;
        cursor.recordCurrent = true;
    }
    cursor.RecordWritten(request.record);
}

// ---- Update

// An AUTOINCREMENT field set to zero keeps the value it has.
void KeepAutoincrement(const FileDef& def, const std::string& stored, std::string* record) {
    for (const KeyInfo& key : def.keys) {
        if (key.autoincrementSegment < 0) continue;
        const SegmentDef& segment = key.def.segments[static_cast<size_t>(key.autoincrementSegment)];
        if (AllZero(Bytes(*record) + segment.offset, segment.length)) {
            std::memcpy(record->data() + segment.offset, stored.data() + segment.offset, segment.length);
        }
    }
}

// Moves the entries of the keys whose value the update changes (10 when such a key may not
// change). A changed value leaves its place and joins the end of its new group.
int16_t MoveChangedEntries(FileConnection& file, const FileDef& def, const std::string& stored,
                           const std::string& record, int64_t position) {
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
        if (!oldNull) {
            if (int16_t status = file.DeleteEntry(key, oldEncoded, position); status != btr::kStatusSuccess) {
                return status;
            }
        }
        if (!newNull) {
            if (int16_t status = file.InsertEntry(key, newEncoded, position, nullptr); status != btr::kStatusSuccess) {
                return status;
            }
        }
    }
    return btr::kStatusSuccess;
}

// Writing the record ends the block's single-record lock on it; multiple-record locks stay.
// Logical currency follows the record on the key named, when that is the key path in use; a
// different key number leaves the path, so the next Get on the new number reports it.
void FollowUpdated(Call& call, OpenInstance& open, const WriteRequest& request,
                   const std::optional<KeyEntry>& currencyEntry) {
    Cursor& cursor = open.cursor;
    cursor.RecordWritten(request.record);
    if (open.singleLock == cursor.position) open.ReleaseLocksOn(cursor.position);
    const KeyInfo* key = request.currencyKey;
    if (key == nullptr) return;
    if (currencyEntry && (cursor.keyNumber == key->number || cursor.logical == Place::kNone)) {
        cursor.keyNumber = key->number;
        cursor.logical = Place::kAt;
        cursor.entry = *currencyEntry;
        cursor.vacated = false;
        cursor.RememberKey(open.file->DefinitionGeneration(), *key);
    }
    ExtractKeyValue(key->def, Bytes(request.record), call.key);
}

// Update's writes: the record, while it is as the block read it, and the entries of the keys
// it changes; `currencyEntry` is its entry on the key the block follows.
int16_t WriteUpdate(FileConnection& file, const Cursor& cursor, WriteRequest* request,
                    std::optional<KeyEntry>* currencyEntry) {
    const FileDef& def = file.Def();
    // The stored record, once the update finds it unchanged since the block read it.
    const std::string& stored = cursor.Image();
    KeepAutoincrement(def, stored, &request->record);
    const std::string& record = request->record;
    bool changed = false;
    if (int16_t status = file.UpdateRecord(cursor.position, stored, Bytes(record), record.size(), &changed);
        status != btr::kStatusSuccess) {
        return status;
    }
    if (!changed) return WhyUnchanged(file, cursor);
    if (int16_t status = MoveChangedEntries(file, def, stored, record, cursor.position);
        status != btr::kStatusSuccess) {
        return status;
    }
    if (request->currencyKey == nullptr) return btr::kStatusSuccess;
    return EntryAfterUpdate(file, *request->currencyKey, record, cursor.position, currencyEntry);
}

// Delete's writes: the record, while it is as the block read it, and its entries.
int16_t WriteDelete(FileConnection& file, const Cursor& cursor) {
    const FileDef& def = file.Def();
    const std::string& stored = cursor.Image();
    bool changed = false;
    if (int16_t status = file.DeleteRecord(cursor.position, stored, &changed); status != btr::kStatusSuccess) {
        return status;
    }
    if (!changed) return WhyUnchanged(file, cursor);
    std::string encoded;
    for (const KeyInfo& key : def.keys) {
        if (IsNullKey(key.def, Bytes(stored))) continue;
        EncodeRecordKey(key.def, Bytes(stored), &encoded);
        if (int16_t status = file.DeleteEntry(key, encoded, cursor.position); status != btr::kStatusSuccess) {
            return status;
        }
    }
    return btr::kStatusSuccess;
}

// A store that learns only from its server that the record is no longer as read has the write
// rolled back first; then the record as it is now tells why. A key change refused (10) was
// judged against the record as the block read it, before such a store had answered whether
// the record was still so: one gone or changed since answers that first, as it does where the
// record's write is answered at once.
int16_t UnlessNotAsRead(int16_t status, WriteTransaction& transaction, FileConnection& file, const Cursor& cursor) {
    if (status == kStatusRecordNotAsRead) {
        transaction.Abandon();
        return WhyUnchanged(file, cursor);
    }
    if (status != btr::kStatusModifiableKeyError) return status;
    transaction.Abandon();
    int16_t change = ChangeSinceRead(file, cursor);
    return change == btr::kStatusSuccess ? status : change;
}

}  // namespace

int16_t DoInsert(Call& call, OpenInstance& open) {
    if (open.ReadOnly()) return btr::kStatusAccessDenied;
    FileConnection& file = *open.file;
    WriteWaitScope writeWait(file, call);
    WriteRequest request;
    if (int16_t status = request.Check(file.Def(), call); status != btr::kStatusSuccess) return status;

    WriteTransaction transaction(file);
    if (int16_t status = BeginWrite(transaction, request, file, call); status != btr::kStatusSuccess) return status;
    const FileDef& def = file.Def();
    bool assigned = false;
    if (int16_t status = AssignAutoincrement(file, def, &request.record, &assigned); status != btr::kStatusSuccess) {
        return status;
    }
    const std::string& record = request.record;
    // A position asked for (W3bInsertAt) must be a record address: 1 to 2^32 - 1.
    int64_t position = call.insertPosition;
    if (position < 0 || position > 0xFFFFFFFFLL) return btr::kStatusInvalidRecordAddress;
    if (int16_t status = file.InsertRecord(Bytes(record), record.size(), &position); status != btr::kStatusSuccess) {
        return status;
    }
    std::optional<KeyEntry> currencyEntry;
    if (int16_t status = InsertEntries(file, def, request, position, &currencyEntry); status != btr::kStatusSuccess) {
        return status;
    }
    if (int16_t status = transaction.Commit(); status != btr::kStatusSuccess) return status;
    // The record's position is known for certain once the write has committed.
    if (currencyEntry) currencyEntry->position = position;

    StandOnInserted(call, open, request, currencyEntry, position);
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
    WriteRequest request;
    if (int16_t status = request.Check(file.Def(), call); status != btr::kStatusSuccess) return status;

    RecordGuard guard(file);
    if (int16_t status = guard.Take(cursor.position); status != btr::kStatusSuccess) return status;
    WriteTransaction transaction(file);
    if (int16_t status = BeginWrite(transaction, request, file, call); status != btr::kStatusSuccess) return status;
    std::optional<KeyEntry> currencyEntry;
    int16_t status = WriteUpdate(file, cursor, &request, &currencyEntry);
    if (status == btr::kStatusSuccess) status = transaction.Commit();
    if (status != btr::kStatusSuccess) return UnlessNotAsRead(status, transaction, file, cursor);

    FollowUpdated(call, open, request, currencyEntry);
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
    int16_t status = WriteDelete(file, cursor);
    if (status == btr::kStatusSuccess) status = transaction.Commit();
    if (status != btr::kStatusSuccess) return UnlessNotAsRead(status, transaction, file, cursor);

    // The record is gone, and with it the block's locks on it.
    open.ReleaseLocksOn(cursor.position);
    // Its place on the key path stays, so Get Next and Previous go on.
    if (cursor.logical == Place::kAt && cursor.entry.position == cursor.position) cursor.vacated = true;
    cursor.physical = Place::kNone;
    cursor.recordCurrent = false;
    return btr::kStatusSuccess;
}

}  // namespace w3b
