// Chunks: Get Direct/Chunk (Get Direct with key number -2) reads pieces of a record, Update
// Chunk (53) writes pieces of the current record, for records longer than a data buffer.
//
// A piece is a run of bytes of the record, given one by one ("random" chunks) or as the rows of
// a rectangle (a number of rows of equal length at equal distances). The direct forms carry
// the bytes in the data buffer; the indirect forms name addresses in the caller's memory, which
// this record manager does not write to or read from (62).
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ops/call.h"

namespace w3b {

namespace {

constexpr uint32_t kRandomDirect = 0x80000000;
constexpr uint32_t kRectangleDirect = 0x80000002;
constexpr uint32_t kTruncate = 0x80000004;
// Bits beside the form: the pieces go on from where the block's last chunk operation ended;
// Update Chunk only: appended to the record, the record ends after the last piece, the pieces
// are parts of keys (a hint this record manager has no use for).
constexpr uint32_t kNextInRecord = 0x40000000;
constexpr uint32_t kAppend = 0x20000000;
constexpr uint32_t kPartsOfKey = 0x00800000;
constexpr uint32_t kTruncateAfter = 0x00400000;
constexpr uint32_t kGetBits = kNextInRecord;
constexpr uint32_t kUpdateBits = kNextInRecord | kAppend | kPartsOfKey | kTruncateAfter;

constexpr size_t kRandomEntrySize = 12;  // offset, length, the indirect forms' address
constexpr size_t kRectangleSize = 16;    // rows, offset of the first, bytes per row, distance

struct Piece {
    uint64_t offset = 0;
    uint32_t length = 0;
};

uint32_t U32At(const uint8_t* data, size_t at) { return ReadU32(data + at); }

// The pieces a chunk descriptor at `at` names (the form's fields after its signature). `at`
// moves past the descriptor. 62 when it runs past `size` or names nothing.
int16_t ReadPieces(uint32_t form, const uint8_t* data, size_t size, size_t* at, std::vector<Piece>* pieces) {
    if (size < *at + 4) return btr::kStatusInvalidGetExpression;
    const uint32_t count = U32At(data, *at);
    if (form == kRandomDirect) {
        if (count == 0 || (size - *at - 4) / kRandomEntrySize < count) return btr::kStatusInvalidGetExpression;
        for (uint32_t i = 0; i < count; ++i) {
            const size_t entry = *at + 4 + kRandomEntrySize * i;
            pieces->push_back({U32At(data, entry), U32At(data, entry + 4)});
        }
        *at += 4 + kRandomEntrySize * count;
        return btr::kStatusSuccess;
    }
    if (size < *at + kRectangleSize || count == 0 || count > kMaxRecordLength) return btr::kStatusInvalidGetExpression;
    const uint64_t first = U32At(data, *at + 4);
    const uint32_t perRow = U32At(data, *at + 8);
    const uint64_t distance = U32At(data, *at + 12);
    for (uint32_t row = 0; row < count; ++row) pieces->push_back({first + distance * row, perRow});
    *at += kRectangleSize;
    return btr::kStatusSuccess;
}

// With "next in record" the pieces follow on from where the block's last chunk operation
// ended, each after the one before.
void FollowOn(std::vector<Piece>* pieces, uint64_t from) {
    for (Piece& piece : *pieces) {
        piece.offset = from;
        from += piece.length;
    }
}

uint64_t EndOf(const std::vector<Piece>& pieces) { return pieces.back().offset + pieces.back().length; }

// Stands the block on the record it read pieces of: its place on a key path stays when it is on
// that record.
void StandOnChunkRecord(Cursor& cursor, int64_t position, std::string&& record) {
    bool keepPath = cursor.logical == Place::kAt && cursor.entry.position == position;
    if (keepPath) {
        cursor.physical = Place::kAt;
        cursor.position = position;
        cursor.recordCurrent = true;
    } else {
        cursor.SetPhysical(position);
    }
    cursor.RecordRead(std::move(record));
}

}  // namespace

int16_t DoGetChunk(Call& call, OpenInstance& open) {
    const uint32_t capacity = call.DataCapacity();
    if (capacity < 8) return btr::kStatusDataLengthError;
    const int64_t position = ReadU32(call.data);
    const uint32_t signature = ReadU32(call.data + 4);
    const uint32_t form = signature & ~kGetBits;
    if (form != kRandomDirect && form != kRectangleDirect) return btr::kStatusInvalidGetExpression;
    std::vector<Piece> pieces;
    size_t at = 8;
    if (int16_t status = ReadPieces(form, call.data, capacity, &at, &pieces); status != btr::kStatusSuccess) {
        return status;
    }
    if ((signature & kNextInRecord) != 0) FollowOn(&pieces, open.chunkEnd);

    std::string record;
    bool found = false;
    if (position != 0) {
        if (int16_t status = open.file->ReadRecord(position, &record, &found); status != btr::kStatusSuccess) {
            return status;
        }
    }
    if (!found) return btr::kStatusInvalidRecordAddress;
    std::string out;
    for (const Piece& piece : pieces) {
        if (piece.offset > record.size()) return btr::kStatusChunkOffsetTooLong;
        // A piece past the record's end gives what there is.
        const size_t length = static_cast<size_t>(std::min<uint64_t>(piece.length, record.size() - piece.offset));
        if (out.size() + length > capacity) return btr::kStatusDataLengthError;
        out.append(record, static_cast<size_t>(piece.offset), length);
    }
    std::memcpy(call.data, out.data(), out.size());
    call.SetDataLength(static_cast<uint32_t>(out.size()));
    open.chunkEnd = EndOf(pieces);
    StandOnChunkRecord(open.cursor, position, std::move(record));
    return btr::kStatusSuccess;
}

namespace {

// The current record with the pieces written into it, as Update Chunk's buffer says.
int16_t ApplyChunks(const FileDef& def, const Call& call, uint64_t chunkEnd, std::string* record, uint64_t* end) {
    const uint32_t size = call.DataCapacity();
    if (size < 8) return btr::kStatusInvalidGetExpression;
    const uint32_t signature = ReadU32(call.data);
    const uint32_t form = signature & ~kUpdateBits;
    const size_t fixed = def.RecordLength();
    if (form == kTruncate) {
        const uint32_t offset = ReadU32(call.data + 4);
        if (offset > record->size()) return btr::kStatusChunkOffsetTooLong;
        if (offset < fixed || !def.VariableLength()) return btr::kStatusDataLengthError;
        record->resize(offset);
        *end = offset;
        return btr::kStatusSuccess;
    }
    if (form != kRandomDirect && form != kRectangleDirect) return btr::kStatusInvalidGetExpression;
    std::vector<Piece> pieces;
    size_t at = 4;
    if (int16_t status = ReadPieces(form, call.data, size, &at, &pieces); status != btr::kStatusSuccess) return status;
    if ((signature & kAppend) != 0) {
        FollowOn(&pieces, record->size());
    } else if ((signature & kNextInRecord) != 0) {
        FollowOn(&pieces, chunkEnd);
    }
    for (const Piece& piece : pieces) {
        if (size - at < piece.length) return btr::kStatusInvalidGetExpression;  // bytes follow the descriptor
        if (piece.offset > record->size()) return btr::kStatusChunkOffsetTooLong;
        const uint64_t pieceEnd = piece.offset + piece.length;
        if (pieceEnd > record->size()) {
            if (!def.VariableLength() || pieceEnd > kMaxRecordLength) return btr::kStatusDataLengthError;
            record->resize(static_cast<size_t>(pieceEnd), '\0');
        }
        std::memcpy(record->data() + piece.offset, call.data + at, piece.length);
        at += piece.length;
    }
    *end = EndOf(pieces);
    if ((signature & kTruncateAfter) != 0) {
        if (*end < fixed || !def.VariableLength()) return btr::kStatusDataLengthError;
        record->resize(static_cast<size_t>(*end));
    }
    return btr::kStatusSuccess;
}

}  // namespace

int16_t DoUpdateChunk(Call& call, OpenInstance& open) {
    if (open.ReadOnly()) return btr::kStatusAccessDenied;
    Cursor& cursor = open.cursor;
    if (!cursor.recordCurrent || cursor.physical != Place::kAt) return btr::kStatusInvalidPositioning;
    // The record as the block read it: should another block have changed it since, Update
    // answers 80 rather than write these pieces over a record they were not meant for.
    std::string record = cursor.Image();
    uint64_t end = 0;
    if (int16_t status = ApplyChunks(open.file->Def(), call, open.chunkEnd, &record, &end);
        status != btr::kStatusSuccess) {
        return status;
    }
    Call update = call;
    update.op.base = btr::kOpUpdate;
    uint32_t length = static_cast<uint32_t>(record.size());
    update.data = reinterpret_cast<uint8_t*>(record.data());
    update.dataLength = &length;
    // The block keeps its key path, whose value goes to the key buffer when the buffer holds it;
    // otherwise the update changes no currency.
    const KeyInfo* path = cursor.logical == Place::kAt ? KeyOf(open.file->Def(), cursor.keyNumber) : nullptr;
    update.keyNumber =
        path != nullptr && call.KeyFits(path->length) ? static_cast<int8_t>(path->number) : btr::kKeyNumberNoCurrency;
    int16_t status = DoUpdate(update, open);
    if (status == btr::kStatusSuccess) open.chunkEnd = end;
    return status;
}

}  // namespace w3b
