// The supplemental-key exports: each validates the handle, runs one operation of an
// IndexManager for an IndexRequest on the file, and returns its status.
#include "btrcall.h"
#include "index_manager.h"
#include "index_request.h"
#include "key_queries.h"
#include "open_file_table.h"
#include "status.h"
#include "tydb.h"

using namespace tydb;

extern "C" TYDB_API int32_t TYDB_CALL DbActivateKey(int16_t handle, int16_t length, const void* definition) {
    if (!IsValidHandle(handle)) return kStatusInvalidHandle;
    IndexManager manager;
    IndexRequest request(handle, definition, length);
    if (request.CopyFailed()) return kStatusNoMemory;
    // A definition that does not end within its length would be read past its end.
    if (request.KeyDefinition() != nullptr) {
        const int32_t checked = CheckKeyDefinition(request.KeyDefinition(), request.AvailableSegments());
        if (checked != kStatusSuccess) return checked;
    }
    return manager.ActivateKey(request, kActivateAttempts);
}

extern "C" TYDB_API int32_t TYDB_CALL DbDeactivateKey(int16_t handle) {
    if (!IsValidHandle(handle)) return kStatusInvalidHandle;
    IndexManager manager;
    IndexRequest request(handle, nullptr, 0);
    return manager.ReleaseCurrentKey(request, false);
}

extern "C" TYDB_API int32_t TYDB_CALL DbPurgeKey(int16_t handle) {
    if (!IsValidHandle(handle)) return kStatusInvalidHandle;
    IndexManager manager;
    IndexRequest request(handle, nullptr, 0);
    return manager.ReleaseCurrentKey(request, true);
}

extern "C" TYDB_API int32_t TYDB_CALL DbClearKeyRegistry(int16_t handle) {
    if (!IsValidHandle(handle)) return kStatusInvalidHandle;
    IndexManager manager;
    IndexRequest request(handle, nullptr, 0);
    return manager.ClearRegistry(request);
}
