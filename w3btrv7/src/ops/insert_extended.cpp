// Insert Extended: many records in one call, each inserted as Insert would insert it, all in one
// transaction. A refused record stops the call: the records before it stay, it and those after
// it are not written, and the call answers its status.
#include <cstring>
#include <string>
#include <vector>

#include "ops/call.h"
#include "ops/write_transaction.h"

namespace w3b {

namespace {

// The records of the buffer, each as a view into the caller's copy of it; 63 when the buffer
// does not hold what it says (a count, then a length and that many bytes for each record).
int16_t SplitRecords(const std::string& buffer, std::vector<std::pair<size_t, uint16_t>>* records) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(buffer.data());
    if (buffer.size() < 2) return btr::kStatusInvalidInsertExtendedBuffer;
    const uint16_t count = ReadU16(bytes);
    if (count == 0) return btr::kStatusInvalidInsertExtendedBuffer;
    size_t at = 2;
    for (uint16_t i = 0; i < count; ++i) {
        if (buffer.size() - at < 2) return btr::kStatusInvalidInsertExtendedBuffer;
        const uint16_t length = ReadU16(bytes + at);
        at += 2;
        if (buffer.size() - at < length) return btr::kStatusInvalidInsertExtendedBuffer;
        records->emplace_back(at, length);
        at += length;
    }
    return btr::kStatusSuccess;
}

// The file's part of a transaction for the call, unless the process's own transaction holds it.
class CallTransaction {
public:
    explicit CallTransaction(FileConnection& file) : file_(file) {}
    ~CallTransaction() {
        if (joined_) file_.EndTransaction(Outcome::kRollBack);
    }
    int16_t Join() {
        if (Engine::Get().CurrentTransaction().active) return btr::kStatusSuccess;
        int16_t status = file_.JoinTransaction();
        joined_ = status == btr::kStatusSuccess;
        return status;
    }
    int16_t Commit() {
        if (!joined_) return btr::kStatusSuccess;
        joined_ = false;
        return file_.EndTransaction(Outcome::kCommit);
    }

private:
    FileConnection& file_;
    bool joined_ = false;
};

}  // namespace

int16_t DoInsertExtended(Call& call, OpenInstance& open) {
    if (open.ReadOnly()) return btr::kStatusAccessDenied;
    uint32_t capacity = call.DataCapacity();
    std::string buffer(reinterpret_cast<const char*>(call.data), capacity);
    std::vector<std::pair<size_t, uint16_t>> records;
    if (int16_t status = SplitRecords(buffer, &records); status != btr::kStatusSuccess) return status;
    // The reply (a count and each new record's position) goes where the records came from.
    if (2 + 4 * records.size() > capacity) return btr::kStatusDataLengthError;

    FileConnection& file = *open.file;
    WriteWaitScope writeWait(file, call);
    CallTransaction transaction(file);
    if (int16_t status = transaction.Join(); status != btr::kStatusSuccess) return status;
    Call insert = call;
    insert.op.base = btr::kOpInsert;
    std::vector<uint32_t> positions;
    int16_t refused = btr::kStatusSuccess;
    std::string record;
    for (const auto& [at, length] : records) {
        record.assign(buffer, at, length);
        uint32_t recordLength = length;
        insert.data = reinterpret_cast<uint8_t*>(record.data());
        insert.dataLength = &recordLength;
        if ((refused = DoInsert(insert, open)) != btr::kStatusSuccess) break;
        positions.push_back(static_cast<uint32_t>(open.cursor.position));
    }
    if (int16_t status = transaction.Commit(); status != btr::kStatusSuccess) return status;
    std::string reply;
    AppendU16(&reply, static_cast<uint16_t>(positions.size()));
    for (uint32_t position : positions) AppendU32(&reply, position);
    std::memcpy(call.data, reply.data(), reply.size());
    call.SetDataLength(static_cast<uint32_t>(reply.size()));
    return refused;
}

}  // namespace w3b
