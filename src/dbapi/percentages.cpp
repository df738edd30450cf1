// The percentage operations: read the record at a relative place in a key's order (or in
// physical order), and tell where a key value or a record lies.
#include <cstring>

#include "btrcall.h"
#include "gateway.h"
#include "record_request.h"
#include "status.h"
#include "tydb.h"

using namespace tydb;

namespace {

constexpr int kPercentageReplySize = 4;

int32_t GetByPercent(int16_t handle, void* keyBuffer, void* dataBuffer, int16_t dataLength, int16_t percentage,
                     bool physical) {
    OpenFileEntry* entry = GetOpenEntry(handle);
    if (entry == nullptr) return kStatusInvalidHandle;
    if (dataBuffer == nullptr) return kStatusNoBuffer;
    // The percentage travels in the data buffer: one declared too short for it is refused
    // before a byte is written.
    uint16_t length = RequestLength(*entry, dataLength);
    if (length < sizeof percentage) return btr::kStatusDataLengthError;
    std::memcpy(dataBuffer, &percentage, sizeof percentage);
    const int8_t keyNumber = physical ? btr::kKeyNumberPhysical : EntryKeyNumber(*entry);
    return CallEngine(Biased(*entry, btr::kOpGetByPercentage), entry->positionBlock, dataBuffer, &length, keyBuffer,
                      keyNumber);
}

// One Find Percentage; the percentage is written whatever the status, when the caller wants it.
int32_t FindPercent(OpenFileEntry& entry, uint32_t address, void* keyBuffer, int8_t keyNumber, int16_t* percentage) {
    uint8_t reply[kPercentageReplySize] = {};
    std::memcpy(reply, &address, sizeof address);
    uint16_t length = kPercentageReplySize;
    const int16_t status =
        CallEngine(btr::kOpFindPercentage, entry.positionBlock, reply, &length, keyBuffer, keyNumber);
    if (percentage != nullptr) std::memcpy(percentage, reply, sizeof *percentage);
    return status;
}

}  // namespace

extern "C" TYDB_API int32_t TYDB_CALL DbGetByPercent(int16_t handle, void* keyBuffer, void* dataBuffer,
                                                     int16_t dataLength, int16_t percentage) {
    return GetByPercent(handle, keyBuffer, dataBuffer, dataLength, percentage, false);
}

extern "C" TYDB_API int32_t TYDB_CALL DbGetByPercentPhysical(int16_t handle, void* keyBuffer, void* dataBuffer,
                                                             int16_t dataLength, int16_t percentage) {
    return GetByPercent(handle, keyBuffer, dataBuffer, dataLength, percentage, true);
}

extern "C" TYDB_API int32_t TYDB_CALL DbFindPercent(int16_t handle, void* keyBuffer, int16_t* percentage) {
    OpenFileEntry* entry = GetOpenEntry(handle);
    if (entry == nullptr) return kStatusInvalidHandle;
    return FindPercent(*entry, 0, keyBuffer, EntryKeyNumber(*entry), percentage);
}

extern "C" TYDB_API int32_t TYDB_CALL DbFindPercentPhysical(int16_t handle, const void* position, int16_t* percentage) {
    OpenFileEntry* entry = GetOpenEntry(handle);
    if (entry == nullptr) return kStatusInvalidHandle;
    // Without a record position there is no record to place.
    if (position == nullptr) return btr::kStatusInvalidRecordAddress;
    uint32_t address = 0;
    std::memcpy(&address, position, sizeof address);
    return FindPercent(*entry, address, nullptr, btr::kKeyNumberPhysical, percentage);
}
