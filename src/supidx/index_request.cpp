#include "index_request.h"

#include <cstring>

#include "gateway.h"
#include "heap_block.h"
#include "key_queries.h"
#include "open_file_table.h"
#include "status.h"
#include "tydb.h"

namespace tydb {
namespace {

// Create and Drop Index read no key buffer, but the record manager may be told it has 255
// bytes; one more keeps the buffer even.
constexpr int kScratchSize = 256;

int8_t ExactKeyNumber(int16_t keyNumber) {
    return static_cast<int8_t>(static_cast<uint8_t>(keyNumber) | btr::kKeyNumberExact);
}

}  // namespace

IndexRequest::IndexRequest(int16_t fileHandle, const void* definition, int16_t length) : fileHandle_(fileHandle) {
    std::memset(&statistics_, 0, sizeof statistics_);
    if (definition == nullptr || length <= 0) return;
    void* copy = AllocZeroed(1, length);
    if (copy == nullptr) {
        copyFailed_ = true;
        return;
    }
    std::memcpy(copy, definition, static_cast<size_t>(length));
    keyDefinition_ = static_cast<BtrKeySpec*>(copy);
    keyDefinitionLength_ = length;
}

IndexRequest::~IndexRequest() {
    if (keyDefinition_ != nullptr) FreeBlock(keyDefinition_);
}

const StatisticsBuffer* IndexRequest::Statistics(bool refresh) {
    if (statisticsStale_ || refresh) {
        DbFileStat(fileHandle_, &statistics_);
        statisticsStale_ = false;
    }
    return &statistics_;
}

int IndexRequest::AvailableSegments() const { return keyDefinitionLength_ / kKeySpecSize; }

int IndexRequest::KeySegments() const { return KeySegmentCount(keyDefinition_, AvailableSegments()); }

const char* IndexRequest::FileName() const {
    const OpenFileEntry* entry = GetOpenEntry(fileHandle_);
    return entry != nullptr ? entry->nameKey : "";
}

const char* IndexRequest::Directory() const {
    const OpenFileEntry* entry = GetOpenEntry(fileHandle_);
    return entry != nullptr ? entry->directory : "";
}

int16_t IndexRequest::CurrentKey() const {
    int32_t keyNumber = 0;
    DbGetOverRideDef(fileHandle_, &keyNumber, nullptr);
    return static_cast<int16_t>(keyNumber);
}

void IndexRequest::SetCurrentKey(int16_t keyNumber) { DbOverRideDef(fileHandle_, keyNumber, -1); }

int16_t IndexRequest::CreateKey(int16_t keyNumber) {
    OpenFileEntry* entry = GetOpenEntry(fileHandle_);
    if (entry == nullptr) return static_cast<int16_t>(kStatusInvalidHandle);
    const int segments = KeySegments();
    for (int i = 0; i < segments; ++i) keyDefinition_[i].flags |= btr::kKeyFlagSupplemental;

    uint8_t scratchKey[kScratchSize] = {};
    // The reply's data length goes to a copy: a drop or build earlier in the same call must
    // not change the length the next build sends.
    uint16_t length = static_cast<uint16_t>(keyDefinitionLength_);
    const int16_t status = CallEngine(btr::kOpCreateIndex, entry->positionBlock, keyDefinition_, &length, scratchKey,
                                      ExactKeyNumber(keyNumber));
    if (status == btr::kStatusSuccess) SetCurrentKey(keyNumber);
    return status;
}

int16_t IndexRequest::DropKey(int16_t keyNumber) {
    OpenFileEntry* entry = GetOpenEntry(fileHandle_);
    if (entry == nullptr) return static_cast<int16_t>(kStatusInvalidHandle);
    uint8_t scratch[kScratchSize] = {};
    // The data buffer is unused by a drop; its declared length never exceeds the scratch.
    uint16_t length = static_cast<uint16_t>(keyDefinitionLength_ < kScratchSize ? keyDefinitionLength_ : kScratchSize);
    const int16_t status =
        CallEngine(btr::kOpDropIndex, entry->positionBlock, scratch, &length, scratch, ExactKeyNumber(keyNumber));
    if (status == btr::kStatusSuccess && CurrentKey() == keyNumber) SetCurrentKey(0);
    return status;
}

}  // namespace tydb
