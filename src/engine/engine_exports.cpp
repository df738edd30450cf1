// Exports that ask after the record manager itself: presence, stop and version.
#include <cstring>

#include "gateway.h"
#include "tydb.h"

using tydb::CallEngine;

namespace {

// Scratch areas for requests that carry no caller buffers.
constexpr int kScratchSize = 255;

uint16_t ReadLittleEndian16(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)); }

}  // namespace

extern "C" TYDB_API int32_t TYDB_CALL DbCheckEngine(void) {
    // An Open of the empty name: any answer but 20 means a record manager is there.
    uint8_t positionBlock[btr::kPositionBlockSize] = {};
    uint8_t scratch[kScratchSize] = {};
    uint16_t dataLength = 0;
    const int16_t status = CallEngine(btr::kOpOpen, positionBlock, scratch, &dataLength, scratch, 0);
    return status == btr::kStatusRecordManagerInactive ? btr::kStatusRecordManagerInactive : 0;
}

extern "C" TYDB_API int32_t TYDB_CALL DbStopEngine(void) {
    uint8_t positionBlock[btr::kPositionBlockSize] = {};
    uint8_t data[kScratchSize] = {};
    uint8_t key[kScratchSize] = {};
    uint16_t dataLength = 0;
    return CallEngine(btr::kOpStop, positionBlock, data, &dataLength, key, 0);
}

extern "C" TYDB_API int32_t TYDB_CALL DbGetEngineVersion(int32_t* version, int32_t* revision, char* engineType) {
    if (version != nullptr) *version = 0;
    if (revision != nullptr) *revision = 0;
    if (engineType != nullptr) engineType[0] = '\0';

    // One scratch area serves as position block, data buffer and key buffer.
    uint8_t scratch[btr::kPositionBlockSize] = {};
    uint16_t dataLength = sizeof scratch;
    const int16_t status = CallEngine(btr::kOpVersion, scratch, scratch, &dataLength, scratch, 0);
    if (status != btr::kStatusSuccess) return static_cast<uint16_t>(status);

    // The engine's own block follows the interface's: version @5, revision @7, type @9.
    if (version != nullptr) *version = ReadLittleEndian16(scratch + 5);
    if (revision != nullptr) *revision = ReadLittleEndian16(scratch + 7);
    if (engineType != nullptr) {
        engineType[0] = static_cast<char>(scratch[9]);
        engineType[1] = '\0';
    }
    return 0;
}
