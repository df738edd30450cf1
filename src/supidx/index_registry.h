// index_registry.h: the registry of supplemental keys in one data directory.
//
// An IndexRegistry opens "tysupidx.db" in the request's data directory (creating it when it
// is missing) for the length of one lifecycle operation, through the library's own exports, so
// it takes one slot of the open-file table. Its operations count uses of a key, release them,
// delete entries, lock an entry against other workstations and list idle keys. Destruction
// closes the file and then lets the IndexLog member write its entry.
//
// A registry that could not be opened keeps handle -1: its file operations answer -1 and touch
// neither the open-file table nor the file; the counting operations still set their action.
#ifndef TYDB_SUPIDX_INDEX_REGISTRY_H
#define TYDB_SUPIDX_INDEX_REGISTRY_H

#include <cstdint>

#include "index_log.h"
#include "registry_record.h"

namespace tydb {

class IndexRequest;

inline constexpr int kRegistryKeyBufferSize = 255;
inline constexpr int kLockEntryAttempts = 10;

class IndexRegistry {
public:
    explicit IndexRegistry(IndexRequest& request);
    virtual ~IndexRegistry();
    IndexRegistry(const IndexRegistry&) = delete;
    IndexRegistry& operator=(const IndexRegistry&) = delete;

    // Opens the registry at `path`, creating it first when it is missing; one that another
    // workstation makes at the same moment is opened as it is.
    int32_t Open(const char* path);
    // Creates the registry unless a file is there already (then 59, and nothing changes).
    int32_t Create(const char* path);
    int32_t Close();

    // The value of registry key 0 (18 bytes) or key 1 (30 bytes) of `record`, into `buffer`.
    static void BuildKey(int keyNumber, uint8_t* buffer, const RegistryRecord& record);
    // Now, in local time, as YYYYMMDD and HHMMSS numbers.
    static void Timestamp(int32_t* date, int32_t* time);

    // Reads the entry of the working record's file and key number into the working record. A
    // missing entry gives 0 with the counters zeroed. With `replace`, an existing entry is
    // purged first; a purge that fails ends the search with its status.
    int32_t Find(bool replace);
    // Inserts (isNew) or updates the working record; the engine's status.
    int32_t Write(bool isNew);

    // One more use of key `keyNumber` (a build when isNew: any stale entry is replaced).
    int32_t AddReference(int16_t keyNumber, int16_t segmentCount, bool isNew);
    // One use fewer; 4, and nothing written, when the entry's count is 0 already.
    int32_t RemoveReference(int16_t keyNumber, int16_t segmentCount);
    // Deletes the entry of `keyNumber`; the Get Equal status when there is none.
    int32_t PurgeEntry(int16_t keyNumber, int16_t segmentCount);
    // Key numbers of this file's idle entries in key-1 order into `out` (room for the larger of
    // deficit and wanted), until their segments add up to that larger number. The count
    // stored, or 0 when all together free fewer than `deficit` segments.
    int CollectIdleKeys(int32_t* out, int16_t deficit, int16_t wanted);
    // Deletes every entry of this file: 0 at another file's entry, 9 at the end of the
    // registry, or a failed read's or delete's status.
    int32_t DeleteFileEntries();
    // Reads the entry of `keyNumber` with a multiple-record no-wait lock, retrying a busy entry
    // or file: 0, 4 (no entry), 84/85 (still busy after kLockEntryAttempts) or another status.
    int32_t LockEntry(int16_t keyNumber);
    int32_t Unlock();

    int16_t handle() const { return handle_; }
    const RegistryRecord& record() const { return record_; }
    const IndexLog& log() const { return log_; }

private:
    bool IsOpen() const { return handle_ > 0; }
    void UseKey(int keyNumber);

    IndexRequest& request_;
    int16_t handle_ = -1;
    RegistryRecord record_;
    uint8_t keyBuffer_[kRegistryKeyBufferSize];
    IndexLog log_;
};

}  // namespace tydb

#endif  // TYDB_SUPIDX_INDEX_REGISTRY_H
