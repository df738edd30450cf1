// DbPosition: take a file's record position, or put the file back on one.
#include <algorithm>
#include <cstring>

#include "btrcall.h"
#include "gateway.h"
#include "heap_block.h"
#include "record_request.h"
#include "status.h"
#include "tydb.h"

using namespace tydb;

namespace {

constexpr int16_t kModeGetPosition = 23;

int32_t GetPosition(OpenFileEntry& entry, void* position) {
    if (position == nullptr) return kStatusNoBuffer;
    uint8_t key[kScratchKeySize] = {};
    uint16_t dataLength = btr::kRecordPositionSize;
    return CallEngine(Biased(entry, btr::kOpGetPosition), entry.positionBlock, position, &dataLength, key,
                      EntryKeyNumber(entry));
}

// Reads the record at `position` (Get Direct), or the first one on the current key when there
// is no position, only for the currency it leaves on the file; the record itself is dropped.
int32_t RestorePosition(OpenFileEntry& entry, const void* position) {
    // A variable-length file (record length 0) can hold records up to the longest the record
    // manager allows, and Get Direct needs room for the 4 position bytes in any case.
    uint16_t blockSize = static_cast<uint16_t>(entry.recordLength);
    if (blockSize == 0) blockSize = kLongestRecord;
    blockSize = std::max<uint16_t>(blockSize, btr::kRecordPositionSize);
    HeapBlock block(blockSize, 1);
    if (!block) return kStatusNoMemory;

    uint32_t address = 0;
    if (position != nullptr) std::memcpy(&address, position, sizeof address);
    uint16_t operation = btr::kOpGetFirst;
    if (address != 0) {
        operation = btr::kOpGetDirect;
        std::memcpy(block.as<uint8_t>(), &address, sizeof address);
    }
    uint8_t key[kScratchKeySize] = {};
    uint16_t dataLength = blockSize;
    return CallEngine(Biased(entry, operation), entry.positionBlock, block.as<uint8_t>(), &dataLength, key,
                      EntryKeyNumber(entry));
}

}  // namespace

extern "C" TYDB_API int32_t TYDB_CALL DbPosition(int16_t mode, int16_t handle, void* position) {
    OpenFileEntry* entry = GetOpenEntry(handle);
    if (entry == nullptr) return kStatusInvalidHandle;
    if (mode == kModeGetPosition) return GetPosition(*entry, position);
    return RestorePosition(*entry, position);
}
