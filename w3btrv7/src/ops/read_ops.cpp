// The Get family (and Get Key), Get Position, Get Direct and the Step operations.
#include "ops/call.h"

namespace w3b {

namespace {

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// A stored record shorter than the fixed part cannot come from this engine.
bool Intact(const FileDef& def, const std::string& record) { return record.size() >= def.RecordLength(); }

}  // namespace

int16_t DoGet(Call& call, OpenInstance& open) {
    FileConnection& file = *open.file;
    const FileDef& def = file.Def();
    Cursor& cursor = open.cursor;
    const KeyInfo* key = KeyOf(def, call.keyNumber);
    if (key == nullptr) return btr::kStatusInvalidKeyNumber;
    if (!call.KeyFits(key->length)) return btr::kStatusKeyBufferTooShort;

    uint16_t base = call.op.base;
    Seek kind = Seek::kFirst;
    std::string search;
    switch (base) {
        case btr::kOpGetNext:
        case btr::kOpGetPrevious: {
            if (cursor.logical == Place::kNone) return btr::kStatusInvalidPositioning;
            if (cursor.keyNumber != key->number) return btr::kStatusDifferentKeyNumber;
            if (!cursor.KeyUnchanged(file.DefinitionGeneration(), *key)) {
                cursor.Clear();
                return btr::kStatusInvalidPositioning;
            }
            bool next = base == btr::kOpGetNext;
            if (cursor.logical == (next ? Place::kAfterLast : Place::kBeforeFirst)) return btr::kStatusEndOfFile;
            if (cursor.logical == Place::kAt) {
                kind = next ? Seek::kNext : Seek::kPrevious;
            } else {
                kind = next ? Seek::kFirst : Seek::kLast;
            }
            break;
        }
        case btr::kOpGetFirst: kind = Seek::kFirst; break;
        case btr::kOpGetLast: kind = Seek::kLast; break;
        default:
            kind = base == btr::kOpGetEqual       ? Seek::kEqual
                   : base == btr::kOpGetGreater   ? Seek::kGreater
                   : base == btr::kOpGetGreaterOrEqual ? Seek::kGreaterOrEqual
                   : base == btr::kOpGetLess      ? Seek::kLess
                                                  : Seek::kLessOrEqual;
            EncodeKeyValue(key->def, call.key, &search);
            break;
    }

    KeyEntry entry;
    std::string record;
    bool found = false;
    if (kind == Seek::kNext || kind == Seek::kPrevious) {
        // Walking along the key: serve from the rows read ahead, or read a new batch.
        bool forward = kind == Seek::kNext;
        ReadAhead& ahead = cursor.ahead;
        const FetchedRow* row = ahead.Serve(file.CallStamp(), false, key->number, forward, cursor.entry.position,
                                            cursor.entry.sequence);
        if (row == nullptr) {
            int size = ahead.NextSize(false, key->number, forward);
            size_t count = 0;
            if (int16_t status = file.SeekEntries(*key, forward ? Direction::kForward : Direction::kBackward, cursor.entry, cursor.vacated, size, &ahead.rows, &count);
                status != btr::kStatusSuccess) {
                ahead.Filled(ChangeStamp(), false, key->number, forward, 0);
                return status;
            }
            ahead.Filled(file.CallStamp(), false, key->number, forward, count);
            if (count > 0) row = &ahead.rows[0];
        }
        if (row != nullptr) {
            found = true;
            if (!Intact(def, row->data)) return btr::kStatusIoError;
            cursor.SetAt(key->number, row->entry, !call.op.getKey);
            cursor.RememberKey(file.DefinitionGeneration(), *key);
            ExtractKeyValue(key->def, Bytes(row->data), call.key);
            if (call.op.getKey) return btr::kStatusSuccess;
            return ReturnRecord(call, cursor, row->data);
        }
    } else if (int16_t status = file.SeekEntry(*key, kind, search, 0, &entry, &record, &found);
               status != btr::kStatusSuccess) {
        return status;
    }
    if (!found) {
        if (base == btr::kOpGetNext || base == btr::kOpGetPrevious) {
            // The block stays past the end it ran into: the other direction comes back.
            cursor.logical = base == btr::kOpGetNext ? Place::kAfterLast : Place::kBeforeFirst;
            cursor.recordCurrent = false;
            return btr::kStatusEndOfFile;
        }
        cursor.Clear();
        return base == btr::kOpGetEqual ? btr::kStatusKeyNotFound : btr::kStatusEndOfFile;
    }
    if (!Intact(def, record)) return btr::kStatusIoError;
    cursor.SetAt(key->number, entry, !call.op.getKey);
    cursor.RememberKey(file.DefinitionGeneration(), *key);
    ExtractKeyValue(key->def, Bytes(record), call.key);
    if (call.op.getKey) return btr::kStatusSuccess;
    return ReturnRecord(call, cursor, record);
}

int16_t DoGetPosition(Call& call, OpenInstance& open) {
    if (open.cursor.physical != Place::kAt) return btr::kStatusInvalidPositioning;
    if (call.DataCapacity() < static_cast<uint32_t>(btr::kRecordPositionSize)) return btr::kStatusDataLengthError;
    WriteU32(call.data, static_cast<uint32_t>(open.cursor.position));
    call.SetDataLength(btr::kRecordPositionSize);
    return btr::kStatusSuccess;
}

int16_t DoGetDirect(Call& call, OpenInstance& open) {
    // Reading parts of a record (key number -2) is not offered.
    if (call.keyNumber == btr::kKeyNumberChunk) return btr::kStatusInvalidOperation;
    FileConnection& file = *open.file;
    const FileDef& def = file.Def();
    const KeyInfo* key = nullptr;
    if (call.keyNumber != btr::kKeyNumberNoCurrency) {
        key = KeyOf(def, call.keyNumber);
        if (key == nullptr) return btr::kStatusInvalidKeyNumber;
        if (!call.KeyFits(key->length)) return btr::kStatusKeyBufferTooShort;
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
        cursor.SetAt(key->number, entry, true);
        cursor.RememberKey(file.DefinitionGeneration(), *key);
        ExtractKeyValue(key->def, Bytes(record), call.key);
    } else {
        cursor.SetPhysical(position);
    }
    return ReturnRecord(call, cursor, record);
}

int16_t DoStep(Call& call, OpenInstance& open) {
    FileConnection& file = *open.file;
    const FileDef& def = file.Def();
    if (def.KeyOnly()) return btr::kStatusOperationNotAllowed;
    Cursor& cursor = open.cursor;
    uint16_t base = call.op.base;
    bool forward = base == btr::kOpStepNext;
    Seek kind;
    if (base == btr::kOpStepFirst) {
        kind = Seek::kFirst;
    } else if (base == btr::kOpStepLast) {
        kind = Seek::kLast;
    } else {
        if (cursor.physical == Place::kNone) return btr::kStatusInvalidPositioning;
        if (cursor.physical == (forward ? Place::kAfterLast : Place::kBeforeFirst)) return btr::kStatusEndOfFile;
        if (cursor.physical == Place::kAt) {
            kind = forward ? Seek::kNext : Seek::kPrevious;
        } else {
            kind = forward ? Seek::kFirst : Seek::kLast;
        }
    }
    int64_t position = 0;
    std::string record;
    bool found = false;
    if (kind == Seek::kNext || kind == Seek::kPrevious) {
        bool forwardStep = kind == Seek::kNext;
        ReadAhead& ahead = cursor.ahead;
        const FetchedRow* row = ahead.Serve(file.CallStamp(), true, -1, forwardStep, cursor.position, 0);
        if (row == nullptr) {
            int size = ahead.NextSize(true, -1, forwardStep);
            size_t count = 0;
            if (int16_t status = file.StepRecords(forwardStep ? Direction::kForward : Direction::kBackward, cursor.position, size, &ahead.rows, &count);
                status != btr::kStatusSuccess) {
                ahead.Filled(ChangeStamp(), true, -1, forwardStep, 0);
                return status;
            }
            ahead.Filled(file.CallStamp(), true, -1, forwardStep, count);
            if (count > 0) row = &ahead.rows[0];
        }
        if (row != nullptr) {
            if (!Intact(def, row->data)) return btr::kStatusIoError;
            cursor.SetPhysical(row->entry.position);
            return ReturnRecord(call, cursor, row->data);
        }
    } else if (int16_t status = file.StepRecord(kind, cursor.position, &position, &record, &found);
               status != btr::kStatusSuccess) {
        return status;
    }
    if (!found) {
        // Step Next and Previous leave the block past the end they ran into, whether they
        // started on a record or already before the first (after the last) one.
        if (base == btr::kOpStepNext || base == btr::kOpStepPrevious) {
            cursor.keyNumber = -1;
            cursor.logical = Place::kNone;
            cursor.physical = forward ? Place::kAfterLast : Place::kBeforeFirst;
            cursor.recordCurrent = false;
        } else {
            cursor.Clear();
        }
        return btr::kStatusEndOfFile;
    }
    if (!Intact(def, record)) return btr::kStatusIoError;
    cursor.SetPhysical(position);
    return ReturnRecord(call, cursor, record);
}

}  // namespace w3b
