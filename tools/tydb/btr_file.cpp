#include "btr_file.h"

#include <cstring>

namespace tool {

namespace {

// Room for any record: the largest fixed part and variable tail the record manager keeps.
constexpr uint32_t kRecordRoom = 1u << 20;
// Room for a Stat reply: the file spec block, 119 segments and every collating sequence.
constexpr uint32_t kStatRoom = 64u << 10;

}  // namespace

BtrFile::~BtrFile() {
    if (inTransaction_) Call(btr::kOpAbortTransaction, nullptr, nullptr);
    if (open_) Call(btr::kOpClose, nullptr, nullptr);
}

int16_t BtrFile::Create(std::vector<uint8_t>& definition, bool replace) {
    uint32_t length = static_cast<uint32_t>(definition.size());
    return Call(btr::kOpCreate, definition.data(), &length, replace ? btr::kCreateOverwrite : btr::kCreateNoOverwrite);
}

int16_t BtrFile::Open(int8_t mode) {
    uint32_t length = 0;
    const int16_t status = Call(btr::kOpOpen, nullptr, &length, mode);
    open_ = status == btr::kStatusSuccess;
    return status;
}

int16_t BtrFile::Insert(const uint8_t* data, uint32_t length) {
    std::vector<uint8_t> copy(data, data + length);
    return Call(btr::kOpInsert, copy.data(), &length, btr::kKeyNumberNoCurrency);
}

int16_t BtrFile::Transaction(uint16_t operation) {
    const int16_t status = Call(operation, nullptr, nullptr);
    if (status == btr::kStatusSuccess) inTransaction_ = operation == btr::kOpBeginTransaction;
    return status;
}

int16_t BtrFile::Stat(std::vector<uint8_t>* reply) {
    reply->assign(kStatRoom, 0);
    uint32_t length = kStatRoom;
    const int16_t status = Call(btr::kOpStat, reply->data(), &length);
    reply->resize(status == btr::kStatusSuccess ? length : 0);
    return status;
}

int16_t BtrFile::Step(uint16_t operation, std::vector<uint8_t>* record) {
    record->resize(kRecordRoom);
    uint32_t length = kRecordRoom;
    const int16_t status = Call(operation, record->data(), &length);
    record->resize(status == btr::kStatusSuccess ? length : 0);
    return status;
}

int16_t BtrFile::CreateIndex(std::vector<BtrKeySpec> segments, int number) {
    uint32_t length = static_cast<uint32_t>(segments.size() * sizeof(BtrKeySpec));
    const int8_t keyNumber = number < 0 ? int8_t{0} : static_cast<int8_t>(number | btr::kKeyNumberExact);
    return Call(btr::kOpCreateIndex, segments.data(), &length, keyNumber);
}

int16_t BtrFile::DropIndex(int number, bool renumber) {
    uint32_t length = 0;
    return Call(btr::kOpDropIndex, nullptr, &length,
                static_cast<int8_t>(renumber ? number : number | btr::kKeyNumberExact));
}

int16_t BtrFile::Call(uint16_t operation, void* data, uint32_t* length, int8_t keyNumber) {
    uint32_t none = 0;
    char key[btr::kMaxPathLength] = {};
    std::strncpy(key, path_.c_str(), sizeof key - 1);
    return btrcall_(operation, positionBlock_, data, length != nullptr ? length : &none, key, sizeof key, keyNumber);
}

}  // namespace tool
