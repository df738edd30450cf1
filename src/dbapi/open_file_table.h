// open_file_table.h: the process's 64 open files and the handles that name them.
//
// Handle h (1..64) names entry h - 1 while that entry's open count is not 0. Every operation
// on an open file reaches its entry through GetOpenEntry. REQUIRES: one caller thread at a
// time; the table is process-wide and unguarded.
#ifndef TYDB_DBAPI_OPEN_FILE_TABLE_H
#define TYDB_DBAPI_OPEN_FILE_TABLE_H

#include <cstdint>

#include "btrcall.h"
#include "directory_block.h"

namespace tydb {

inline constexpr int kOpenFileCount = 64;
inline constexpr int kNameKeySize = kMaxNameKeyLength + 1;
// The open count is 8 bits wide: a shared entry takes at most this many opens.
inline constexpr int kMaxOpenCount = 255;

struct OpenFileEntry {
    // File name plus extension of the first open's path, exactly as spelt.
    char nameKey[kNameKeySize];
    // The directory of the first open's path (drive and directory, one trailing '\' dropped),
    // the entry's own copy: the index manager keeps its registry and log there.
    char directory[kDirectorySlotSize];
    // The directory slot that directory matched, or kScratchSlot.
    int directorySlot;
    // Owned by the record manager; never interpreted here.
    uint8_t positionBlock[btr::kPositionBlockSize];
    // DbOpen calls not yet closed; 0 means the entry is free.
    uint8_t openCount;
    // The record manager's open mode of the first open (0, -1 .. -4).
    int32_t openMode;
    // Key number of record operations; 0 after the first open.
    int16_t keyNumber;
    // Fixed record length from the Stat at open; 0 for variable-length files or a failed Stat.
    int32_t recordLength;
    // Added to the operation code of every record operation on the file.
    int32_t operationBias;
    // Data length the record manager returned to the last read (widened with its sign).
    int32_t lastDataLength;
    // Whether the workstation lock counted this file's engine open; the final close gives
    // back exactly that.
    bool lockCounted;
};

// Entry i of the table, 0 <= i < kOpenFileCount.
OpenFileEntry& EntryAt(int index);

// True when handle - 1 is in 0..63 and that entry is open.
bool IsValidHandle(int16_t handle);

// The entry of a valid handle, or nullptr.
OpenFileEntry* GetOpenEntry(int16_t handle);

// The entry an open of `path` uses: with sharing, an open entry of the same name key
// (compared case-sensitively), returned unchanged; otherwise the first free entry, cleared
// and given the path's name key and directory. Returns 0 and the index, or
// kStatusInvalidFileName (nothing changed), or kStatusTableFull (no free entry, or the shared
// entry already has kMaxOpenCount opens; only the scratch slot may have changed).
int32_t FindOrAllocateEntry(const char* path, int* index);

}  // namespace tydb

#endif  // TYDB_DBAPI_OPEN_FILE_TABLE_H
