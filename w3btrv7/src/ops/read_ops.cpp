// The Get family (and Get Key), Get Position, Get Direct and the Step operations.
#include "ops/call.h"

#include <utility>

namespace w3b {

namespace {

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// A stored record shorter than the fixed part cannot come from this engine.
bool Intact(const FileDef& def, const std::string& record) { return record.size() >= def.RecordLength(); }

// What a read reached: a row with its record, or nothing there (`row` nullptr). A status other
// than 0 when the read failed. `ahead`: the row is one of the rows the block read ahead.
struct Reached {
    int16_t status = btr::kStatusSuccess;
    FetchedRow* row = nullptr;
    bool ahead = false;
};

bool IsOnward(Seek kind) { return kind == Seek::kNext || kind == Seek::kPrevious; }

Direction DirectionOf(Seek kind) { return kind == Seek::kNext ? Direction::kForward : Direction::kBackward; }

// The row `onward` leads to: served from the rows the block read ahead, else the first of a new
// batch that `readBatch(limit, &count)` reads into them.
template <typename ReadBatch>
Reached ReadOnward(FileConnection& file, Cursor& cursor, const Walk& onward, ReadBatch readBatch) {
    ReadAhead& ahead = cursor.ahead;
    if (FetchedRow* row = ahead.Serve(file.CallStamp(), onward); row != nullptr) {
        return {btr::kStatusSuccess, row, true};
    }
    cursor.KeepImage();
    int limit = ahead.NextSize(onward);
    size_t count = 0;
    if (int16_t status = readBatch(limit, &count); status != btr::kStatusSuccess) {
        ahead.Filled(ChangeStamp(), onward, 0);
        return {status, nullptr};
    }
    ahead.Filled(file.CallStamp(), onward, count);
    return {btr::kStatusSuccess, count > 0 ? &ahead.rows[0] : nullptr, true};
}

// Returns the record of a row read ahead, or read alone.
[[gnu::always_inline]] inline int16_t ReturnReached(const Call& call, Cursor& cursor, const Reached& reached) {
    if (reached.ahead) return ReturnServed(call, cursor, reached.row->data);
    return ReturnRecord(call, cursor, std::move(reached.row->data));
}

// ---- Get

Seek SeekOfGet(uint16_t base) {
    switch (base) {
        case btr::kOpGetEqual: return Seek::kEqual;
        case btr::kOpGetGreater: return Seek::kGreater;
        case btr::kOpGetGreaterOrEqual: return Seek::kGreaterOrEqual;
        case btr::kOpGetLess: return Seek::kLess;
        case btr::kOpGetFirst: return Seek::kFirst;
        case btr::kOpGetLast: return Seek::kLast;
        default: return Seek::kLessOrEqual;
    }
}

bool IsGetOnward(uint16_t base) { return base == btr::kOpGetNext || base == btr::kOpGetPrevious; }

// Where Get Next or Get Previous goes from the block's place on the key path, which must be a
// place on the key named, still defined as it was.
int16_t PlanGetOnward(uint16_t base, FileConnection& file, const KeyInfo& key, Cursor& cursor, Seek* kind) {
    if (cursor.logical == Place::kNone) return btr::kStatusInvalidPositioning;
    if (cursor.keyNumber != key.number) return btr::kStatusDifferentKeyNumber;
    if (!cursor.KeyUnchanged(file.DefinitionGeneration(), key)) {
        cursor.Clear();
        return btr::kStatusInvalidPositioning;
    }
    bool next = base == btr::kOpGetNext;
    if (cursor.logical == (next ? Place::kAfterLast : Place::kBeforeFirst)) return btr::kStatusEndOfFile;
    if (cursor.logical == Place::kAt) {
        *kind = next ? Seek::kNext : Seek::kPrevious;
    } else {
        *kind = next ? Seek::kFirst : Seek::kLast;
    }
    return btr::kStatusSuccess;
}

// The entry `kind` and `value` name, read into `into`.
Reached SeekOne(FileConnection& file, const KeyInfo& key, Seek kind, const std::string& value, FetchedRow* into) {
    bool found = false;
    int16_t status = file.SeekEntry(key, kind, value, 0, &into->entry, &into->data, &found);
    return {status, status == btr::kStatusSuccess && found ? into : nullptr};
}

// Where Get Next or Get Previous leads: the entry after (before) the block's along the key path,
// from the rows read ahead when they still hold it; the first (last) entry from a place before
// the first (after the last) one.
Reached GetOnward(uint16_t base, FileConnection& file, Cursor& cursor, const KeyInfo& key) {
    Seek kind = Seek::kFirst;
    if (int16_t status = PlanGetOnward(base, file, key, cursor, &kind); status != btr::kStatusSuccess) {
        return {status, nullptr};
    }
    if (!IsOnward(kind)) return SeekOne(file, key, kind, std::string(), &cursor.single);
    Walk onward{.order = Order::kKey,
                .keyNumber = key.number,
                .direction = DirectionOf(kind),
                .position = cursor.entry.position,
                .sequence = cursor.entry.sequence};
    return ReadOnward(file, cursor, onward, [&](int limit, size_t* count) {
        return file.SeekEntries(key, onward.direction, cursor.entry, cursor.vacated, limit, &cursor.ahead.rows, count);
    });
}

// The entry the other Gets seek: by the key buffer's value, or the first or last one.
Reached GetBySeek(const Call& call, FileConnection& file, Cursor& cursor, const KeyInfo& key) {
    Seek kind = SeekOfGet(call.op.base);
    std::string value;
    if (kind != Seek::kFirst && kind != Seek::kLast) EncodeKeyValue(key.def, call.key, &value);
    return SeekOne(file, key, kind, value, &cursor.single);
}

// Get Next and Get Previous stay past the end they ran into, so that the other direction comes
// back; the other Gets lose the block's place.
int16_t GetFoundNothing(uint16_t base, Cursor& cursor) {
    if (IsGetOnward(base)) {
        cursor.logical = base == btr::kOpGetNext ? Place::kAfterLast : Place::kBeforeFirst;
        cursor.recordCurrent = false;
        return btr::kStatusEndOfFile;
    }
    cursor.Clear();
    return base == btr::kOpGetEqual ? btr::kStatusKeyNotFound : btr::kStatusEndOfFile;
}

// Puts the block on `row` along `key` and returns its key value and, unless Get Key, its record.
// The row's record and entry are taken.
int16_t ArriveOnKey(Call& call, OpenInstance& open, const KeyInfo& key, const Reached& reached) {
    FetchedRow& row = *reached.row;
    FileConnection& file = *open.file;
    if (!Intact(file.Def(), row.data)) return btr::kStatusIoError;
    Cursor& cursor = open.cursor;
    cursor.TakeEntry(key.number, row.entry, call.op.getKey ? ReadKind::kKeyOnly : ReadKind::kRecord);
    cursor.RememberKey(file.DefinitionGeneration(), key);
    ExtractKeyValue(key.def, Bytes(row.data), call.key);
    if (call.op.getKey) return btr::kStatusSuccess;
    return ReturnReached(call, cursor, reached);
}

// ---- Step

bool IsStepOnward(uint16_t base) { return base == btr::kOpStepNext || base == btr::kOpStepPrevious; }

// Where a Step goes: Step Next and Step Previous go on from the block's place in record order.
int16_t PlanStep(uint16_t base, const Cursor& cursor, Seek* kind) {
    if (base == btr::kOpStepFirst) {
        *kind = Seek::kFirst;
    } else if (base == btr::kOpStepLast) {
        *kind = Seek::kLast;
    } else {
        bool forward = base == btr::kOpStepNext;
        if (cursor.physical == Place::kNone) return btr::kStatusInvalidPositioning;
        if (cursor.physical == (forward ? Place::kAfterLast : Place::kBeforeFirst)) return btr::kStatusEndOfFile;
        if (cursor.physical == Place::kAt) {
            *kind = forward ? Seek::kNext : Seek::kPrevious;
        } else {
            *kind = forward ? Seek::kFirst : Seek::kLast;
        }
    }
    return btr::kStatusSuccess;
}

// The record after (before) the block's in record order.
Reached StepOnward(FileConnection& file, Cursor& cursor, Seek kind) {
    Walk onward{.order = Order::kPhysical, .direction = DirectionOf(kind), .position = cursor.position};
    return ReadOnward(file, cursor, onward, [&](int limit, size_t* count) {
        return file.StepRecords(onward.direction, cursor.position, limit, &cursor.ahead.rows, count);
    });
}

// The record `kind` names in record order, read into `into`.
Reached StepOne(FileConnection& file, Seek kind, int64_t from, FetchedRow* into) {
    bool found = false;
    int16_t status = file.StepRecord(kind, from, &into->entry.position, &into->data, &found);
    return {status, status == btr::kStatusSuccess && found ? into : nullptr};
}

// Step Next and Previous leave the block past the end they ran into, whether they started on a
// record or already before the first (after the last) one; Step First and Last lose its place.
int16_t StepFoundNothing(uint16_t base, Cursor& cursor) {
    if (IsStepOnward(base)) {
        cursor.keyNumber = -1;
        cursor.logical = Place::kNone;
        cursor.physical = base == btr::kOpStepNext ? Place::kAfterLast : Place::kBeforeFirst;
        cursor.recordCurrent = false;
    } else {
        cursor.Clear();
    }
    return btr::kStatusEndOfFile;
}

}  // namespace

int16_t DoGet(Call& call, OpenInstance& open) {
    FileConnection& file = *open.file;
    const KeyInfo* key = KeyOf(file.Def(), call.keyNumber);
    if (key == nullptr) return btr::kStatusInvalidKeyNumber;
    if (!call.KeyFits(key->length)) return btr::kStatusKeyBufferTooShort;
    Reached reached = IsGetOnward(call.op.base) ? GetOnward(call.op.base, file, open.cursor, *key)
                                                : GetBySeek(call, file, open.cursor, *key);
    if (reached.status != btr::kStatusSuccess) return reached.status;
    if (reached.row == nullptr) return GetFoundNothing(call.op.base, open.cursor);
    return ArriveOnKey(call, open, *key, reached);
}

int16_t DoGetPosition(Call& call, OpenInstance& open) {
    if (open.cursor.physical != Place::kAt) return btr::kStatusInvalidPositioning;
    if (call.DataCapacity() < static_cast<uint32_t>(btr::kRecordPositionSize)) return btr::kStatusDataLengthError;
    WriteU32(call.data, static_cast<uint32_t>(open.cursor.position));
    call.SetDataLength(btr::kRecordPositionSize);
    return btr::kStatusSuccess;
}

int16_t DoGetDirect(Call& call, OpenInstance& open) {
    if (call.keyNumber == btr::kKeyNumberChunk) return DoGetChunk(call, open);
    FileConnection& file = *open.file;
    const FileDef& def = file.Def();
    const KeyInfo* key = nullptr;
    if (int16_t status = CallKey(def, call, btr::kKeyNumberNoCurrency, &key); status != btr::kStatusSuccess) {
        return status;
    }
    if (call.DataCapacity() < static_cast<uint32_t>(btr::kRecordPositionSize)) return btr::kStatusDataLengthError;
    int64_t position = ReadU32(call.data);
    std::string record;
    bool found = false;
    if (position != 0) {
        if (int16_t status = file.ReadRecord(position, &record, &found); status != btr::kStatusSuccess) return status;
    }
    if (!found) return btr::kStatusInvalidRecordAddress;
    if (!Intact(def, record)) return btr::kStatusIoError;

    Cursor& cursor = open.cursor;
    if (key != nullptr) {
        if (IsNullKey(key->def, Bytes(record))) return btr::kStatusNullKeyPath;
        KeyEntry entry;
        std::string encoded;
        EncodeRecordKey(key->def, Bytes(record), &encoded);
        bool onKey = false;
        if (int16_t status = file.EntryOfRecord(*key, encoded, position, &entry, &onKey);
            status != btr::kStatusSuccess) {
            return status;
        }
        if (!onKey) return btr::kStatusIoError;
        cursor.SetAt(key->number, entry, ReadKind::kRecord);
        cursor.RememberKey(file.DefinitionGeneration(), *key);
        ExtractKeyValue(key->def, Bytes(record), call.key);
    } else {
        cursor.SetPhysical(position);
    }
    return ReturnRecord(call, cursor, std::move(record));
}

int16_t DoStep(Call& call, OpenInstance& open) {
    FileConnection& file = *open.file;
    if (file.Def().KeyOnly()) return btr::kStatusOperationNotAllowed;
    Cursor& cursor = open.cursor;
    Seek kind = Seek::kFirst;
    if (int16_t status = PlanStep(call.op.base, cursor, &kind); status != btr::kStatusSuccess) return status;
    Reached reached =
        IsOnward(kind) ? StepOnward(file, cursor, kind) : StepOne(file, kind, cursor.position, &cursor.single);
    if (reached.status != btr::kStatusSuccess) return reached.status;
    if (reached.row == nullptr) return StepFoundNothing(call.op.base, cursor);
    if (!Intact(file.Def(), reached.row->data)) return btr::kStatusIoError;
    cursor.SetPhysical(reached.row->entry.position);
    return ReturnReached(call, cursor, reached);
}

}  // namespace w3b
