// Per-file defaults: key number and operation bias, and the last data length read back.
#include "open_file_table.h"
#include "status.h"
#include "tydb.h"

using namespace tydb;

extern "C" TYDB_API int32_t TYDB_CALL DbOverRideDef(int16_t handle, int32_t keyNumber, int32_t bias) {
    // A handle that names no open file must not reach into the table.
    OpenFileEntry* entry = GetOpenEntry(handle);
    if (entry == nullptr) return kStatusInvalidHandle;
    if (keyNumber >= 0) entry->keyNumber = static_cast<int16_t>(keyNumber & 0xFFFF);
    if (bias >= 0) entry->operationBias = bias;
    return kStatusSuccess;
}

extern "C" TYDB_API int32_t TYDB_CALL DbGetOverRideDef(int16_t handle, int32_t* keyNumber, int32_t* bias) {
    const OpenFileEntry* entry = GetOpenEntry(handle);
    if (entry == nullptr) return kStatusInvalidHandle;
    if (keyNumber != nullptr) *keyNumber = entry->keyNumber;
    if (bias != nullptr) *bias = entry->operationBias;
    return kStatusSuccess;
}

extern "C" TYDB_API int32_t TYDB_CALL DbGetLastDataLength(int16_t handle) {
    const OpenFileEntry* entry = GetOpenEntry(handle);
    return entry != nullptr ? entry->lastDataLength : kStatusInvalidHandle;
}
