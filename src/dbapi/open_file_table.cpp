#include "open_file_table.h"

#include <cstring>
#include <string_view>

#include "status.h"

namespace tydb {
namespace {

OpenFileEntry openFiles[kOpenFileCount] = {};

void TakeEntry(OpenFileEntry& entry, const ResolvedPath& resolved) {
    entry = OpenFileEntry{};
    // ResolveDirectory has bounded both lengths, so both copies stay NUL-terminated.
    std::memcpy(entry.nameKey, resolved.nameKey.data(), resolved.nameKey.size());
    std::memcpy(entry.directory, resolved.directory.data(), resolved.directory.size());
    entry.directorySlot = resolved.slot;
}

}  // namespace

OpenFileEntry& EntryAt(int index) { return openFiles[index]; }

bool IsValidHandle(int16_t handle) {
    const int index = handle - 1;
    return index >= 0 && index < kOpenFileCount && openFiles[index].openCount != 0;
}

OpenFileEntry* GetOpenEntry(int16_t handle) { return IsValidHandle(handle) ? &openFiles[handle - 1] : nullptr; }

int32_t FindOrAllocateEntry(const char* path, int* index) {
    ResolvedPath resolved;
    if (!ResolveDirectory(path, &resolved)) return kStatusInvalidFileName;

    int freeIndex = -1;
    for (int i = 0; i < kOpenFileCount; ++i) {
        const OpenFileEntry& entry = openFiles[i];
        if (entry.openCount == 0) {
            if (freeIndex < 0) freeIndex = i;
            // Without sharing the first free entry is all we need.
            if (!resolved.share) break;
            continue;
        }
        if (resolved.share && std::string_view(entry.nameKey) == resolved.nameKey) {
            if (entry.openCount >= kMaxOpenCount) return kStatusTableFull;
            *index = i;
            return kStatusSuccess;
        }
    }
    if (freeIndex < 0) return kStatusTableFull;
    TakeEntry(openFiles[freeIndex], resolved);
    *index = freeIndex;
    return kStatusSuccess;
}

}  // namespace tydb
