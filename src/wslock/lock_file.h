// lock_file.h: the file "~ty~.loc" that reserves the lock directory for one computer.
//
// The file holds exactly the computer name of the workstation that has the directory (no
// terminator, no line end). A holder keeps it open for reading with others denied writing,
// so no other process can delete or rewrite it; a file nobody holds is stale and may be
// deleted. Processes of one computer write and expect the same name, so they share it.
#ifndef TYDB_WSLOCK_LOCK_FILE_H
#define TYDB_WSLOCK_LOCK_FILE_H

#include <string_view>

#include "platform.h"
#include "tydb_files.h"

namespace tydb {

inline constexpr const char* kLockFileName = TYDB_LOCK_FILE_NAME;
// The lock file's full name, terminator included, must fit this many bytes.
inline constexpr int kLockPathSize = 256;
// Room for the computer name, terminator included; at most one byte less is read back.
inline constexpr int kComputerNameSize = TYDB_LOCK_COMPUTER_NAME_SIZE;

// The lock file's full name in `lockDirectory` (a '\' is put between them unless the directory
// already ends in '\' or '/') into `out`. False, with `out` empty, when it does not fit
// kLockPathSize bytes.
bool FormatLockFilePath(std::string_view lockDirectory, char (&out)[kLockPathSize]);

class LockFile {
public:
    // Reads the computer name; when the system cannot tell, it stays empty and no lock file
    // will ever read back as this computer's.
    LockFile();
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

    // Clears a stale lock file, creates one with this computer's name when there is none, and
    // opens it for holding. True when the file is now held; false when already held before
    // (nothing changes), when another process keeps it busy through ten tries 168 ms apart,
    // or when it cannot be made at all. Whose name it holds is for IsOwnLockFile to tell.
    bool TakeLockFile(std::string_view lockDirectory);

    // After a take that failed: true when no lock file could be made in the lock directory at
    // all (read-only media, no permission, no such folder, a name too long for kLockPathSize),
    // rather than one that others keep busy. A file another process holds is always there, so
    // a create that leaves nothing at the name is the folder's refusal, not theirs.
    bool CannotBeMade() const { return cannotBeMade_; }

    // True when the held file contains exactly this computer's name (case-sensitive).
    bool IsOwnLockFile();

    // Closes a held file and deletes it unless another process holds it too. True when the
    // file is not held afterwards.
    bool DropLockFile();

    // Creates `path` with this computer's name unless something exists there; others are
    // denied reading and writing while the name is written. True when the file exists after.
    bool CreateLockFile(const char* path);

    bool IsHeld() const { return file_.IsOpen(); }
    const char* path() const { return path_; }
    const char* computerName() const { return computerName_; }

private:
    enum class HoldResult { kHeld, kVanished, kBusy };
    // Up to ten opens for holding; waits between tries while another process has the file
    // locked.
    HoldResult HoldLockFile();

    platform::File file_;
    char path_[kLockPathSize] = {};
    char computerName_[kComputerNameSize] = {};
    bool cannotBeMade_ = false;
};

}  // namespace tydb

#endif  // TYDB_WSLOCK_LOCK_FILE_H
