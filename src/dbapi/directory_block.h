// directory_block.h: the process's directory block and how an opened path is matched to it.
//
// The block decides two things at open time: whether a repeated open shares the first
// open's entry, and (slot 3) which directory the workstation lock guards. Paths split on
// both '\' and '/'; a leading "X:" is a drive.
#ifndef TYDB_DBAPI_DIRECTORY_BLOCK_H
#define TYDB_DBAPI_DIRECTORY_BLOCK_H

#include <cstddef>
#include <string_view>

#include "btrcall.h"
#include "tydb.h"

namespace tydb {

using DirectoryBlock = TydbDirectoryBlock;

inline constexpr int kDirectorySlotCount = TYDB_DIRECTORY_SLOT_COUNT;
inline constexpr int kDirectorySlotSize = TYDB_DIRECTORY_SLOT_SIZE;
inline constexpr int kLockSlot = TYDB_LOCK_SLOT;
inline constexpr int kScratchSlot = TYDB_SCRATCH_SLOT;
inline constexpr int kMaxPathLength = TYDB_MAX_PATH_LENGTH;
inline constexpr int kMaxNameKeyLength = TYDB_MAX_NAME_KEY_LENGTH;
static_assert(kMaxPathLength + 1 == btr::kMaxPathLength, "a path the library takes fills the record manager's");

static_assert(sizeof(DirectoryBlock) == 1568);
static_assert(offsetof(DirectoryBlock, directories) == 0);
static_assert(sizeof(DirectoryBlock::directories[0]) == 260);
static_assert(offsetof(DirectoryBlock, directories) + kLockSlot * kDirectorySlotSize == 780);
static_assert(offsetof(DirectoryBlock, directories) + kScratchSlot * kDirectorySlotSize == 1300);
static_assert(offsetof(DirectoryBlock, lockDisabled) == 1560);
static_assert(offsetof(DirectoryBlock, shareOpenFiles) == 1564);

// The one block of the process, zero-filled at load: no directories, lock off, no sharing.
DirectoryBlock& Directories();

// The text of a slot. A slot the application filled without a terminator is read as its 260
// characters, which no directory string (kMaxPathLength at most) can equal.
std::string_view SlotText(const DirectoryBlock& block, int slot);

// The lock directory (slot 3) and whether the lock is switched off.
std::string_view LockDirectory();
bool LockDisabled();

// A path split the library's way. Both views point into the path.
struct PathParts {
    std::string_view nameKey;    // file name plus extension, as spelt
    std::string_view directory;  // drive and directory, one trailing '\' dropped
};

// Splits `path`. False for the paths no file is created or opened by: a null path, one of more
// than kMaxPathLength characters, or one whose name key has more than kMaxNameKeyLength.
bool SplitPath(const char* path, PathParts* out);

// An opened path split the library's way. Both views point into the path.
struct ResolvedPath {
    std::string_view nameKey;    // file name plus extension, as spelt
    std::string_view directory;  // drive and directory, one trailing '\' dropped
    int slot = kScratchSlot;     // the slot the directory matched, or the scratch slot
    bool share = false;          // whether an open file of the same name key is shared
};

// Splits `path` and matches its directory against slots 0..4 in order, ignoring case and
// taking '\' and '/' as the same separator; a directory that matches none is copied into the
// scratch slot. Refuses (false, nothing written) what SplitPath refuses.
bool ResolveDirectory(const char* path, ResolvedPath* out);

}  // namespace tydb

#endif  // TYDB_DBAPI_DIRECTORY_BLOCK_H
