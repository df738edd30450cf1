// platform.h: everything the products need of the operating system, in their own terms.
//
// Nothing outside src/platform/ includes a system header such as <windows.h>,
// <unistd.h>, <dlfcn.h> or <fcntl.h>: the library, the record manager, the
// settings store and the tool all reach the system through this interface.
// posix/ and win32/ implement it.
#ifndef TYDB_PLATFORM_PLATFORM_H
#define TYDB_PLATFORM_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// ---- Libraries loaded at run time --------------------------------------------------------------

using LibraryHandle = void*;

// Loads a library by its Windows name ("w3btrv7.dll") through the system's search, which
// includes PATH. On POSIX the name maps to "libw3btrv7.so", looked for in each directory of
// PATH in order, then through the dynamic loader's own search. A name with a directory part
// is loaded from there only. Returns nullptr when it cannot be loaded.
LibraryHandle LoadLibraryByName(const char* name);

// The address of an exported symbol, or nullptr.
void* FindSymbol(LibraryHandle library, const char* name);

// The address of the function a Windows DLL exports under `ordinal` (some export by ordinal
// only); nullptr, and on POSIX always, when there is none.
void* FindOrdinal(LibraryHandle library, uint16_t ordinal);

void FreeLibraryHandle(LibraryHandle library);

// The file of the loaded library (or program) that holds `address`, e.g. an exported function;
// empty when it cannot be told.
std::string LoadedFileOf(const void* address);

// The full path of the running program's own file, however it was started (a relative path, a
// link, the search path); empty when the system cannot tell.
std::string ExecutablePath();

// ---- Environment -------------------------------------------------------------------------------

// Reads a variable the way GetEnvironmentVariableA does: when the value and its terminator fit
// into `size` bytes it is copied and its length (without terminator) returned; otherwise
// nothing is copied and the size needed (terminator included) is returned. 0 when unset.
// `buffer` may be null when `size` is 0.
uint32_t GetEnvironment(const char* name, char* buffer, uint32_t size);

// The whole value, or `fallback` when unset.
std::string GetEnvironmentString(const char* name, const std::string& fallback = std::string());

// Sets a variable; a null value removes it. False when the system refuses.
bool SetEnvironment(const char* name, const char* value);

// Separator of the directories in PATH: ':' on POSIX, ';' on Windows.
char PathListSeparator();

// Whether the file system takes names without regard to letter case (and '/' as '\'): true
// on Windows, false on POSIX.
bool FileNamesIgnoreCase();

// Whether the library's path texts may spell a directory separator as '/' or '\' alike: true on
// POSIX, where the application's '\' paths become '/' on their way to the file system, so both
// spellings name one directory; false on Windows, where texts compare as the application wrote
// them, letter case aside.
bool SeparatorsSpelledEitherWay();

// ---- Computer ----------------------------------------------------------------------------------

// The computer's name, cut to fit `size` bytes with its terminator. False when the system
// cannot tell; the buffer then holds the empty string.
bool GetComputerName(char* buffer, uint32_t size);

// ---- Memory ------------------------------------------------------------------------------------

// A zero-filled block of count x size bytes from the process heap, or nullptr when either is
// negative, the product overflows, or the heap refuses. count x size = 0 gives a valid block.
// The product overflows when it leaves the signed 32-bit range, on every platform alike.
void* HeapAllocZeroed(int32_t count, int32_t size);

// Releases a block from HeapAllocZeroed. Non-zero on success (a null block is a success).
int HeapFreeBlock(void* block);

// ---- Time --------------------------------------------------------------------------------------

void SleepMilliseconds(uint32_t milliseconds);

// Seconds since 1970-01-01 00:00 UTC.
int64_t CurrentTime();

// The local time of `seconds` as "Www Mmm DD hh:mm:ss YYYY\n" (English names, zero-padded
// two-digit day): 24 characters, a line end and a terminator in `out`. The empty string when
// the time cannot be converted.
void FormatCalendarTime(int64_t seconds, char out[26]);

// The local date and time of `seconds` as the numbers YYYYMMDD and hhmmss (20261209, 93015).
// False, with both 0, when the time cannot be converted.
bool LocalDateAndTime(int64_t seconds, int32_t* date, int32_t* time);

// ---- Diagnostics -------------------------------------------------------------------------------

// Text for a debugger. On POSIX dropped unless TYDB_DEBUG_OUTPUT is set; then standard error.
void DebugOutput(const char* text);

// ---- Paths -------------------------------------------------------------------------------------

// The path as the file system wants it: on POSIX every '\' becomes '/'; unchanged on Windows.
std::string NativePath(const char* path);

// ---- Files -------------------------------------------------------------------------------------

enum class FileStatus {
    kOk,
    kNotFound,       // the file (or its folder) does not exist, or vanished while being opened
    kAccessDenied,   // another holder's sharing forbids it (EACCES), or permissions
    kAlreadyExists,  // create-new of an existing file
    kIoError,        // anything else
};

enum class FileAccess { kRead, kWrite, kReadWrite };

// What other openers may do while this one holds the file (the Windows sharing modes).
// On POSIX the modes are open-file-description locks on the whole file, so they exclude
// every opener that also asks for one of them.
enum class FileShare { kDenyNone, kDenyWrite, kDenyReadWrite };

struct FileOptions {
    FileAccess access = FileAccess::kRead;
    FileShare share = FileShare::kDenyNone;
    bool create = false;     // create when missing
    bool createNew = false;  // fail with kAlreadyExists when present; a symbolic link there
                             // counts as present, dangling or not, and is never followed
    bool truncate = false;   // empty the file, only once the sharing lock is held
    bool append = false;     // every write goes to the end
    bool text = false;       // every '\n' written is stored as "\r\n"; reads give "\r\n" back as '\n'
};

enum class SeekFrom { kBegin, kCurrent, kEnd };

enum class RangeLock { kShared, kExclusive };

// An open file. Closed by its destructor; movable, not copyable.
class File {
public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens `path` with the given access and sharing. A file that vanished or was replaced
    // between the open and the sharing lock counts as kNotFound.
    static FileStatus Open(const char* path, const FileOptions& options, File* out);

    // The sharing behaviours the library needs, by name.
    // Create (or truncate) for writing, others denied reading and writing.
    static FileStatus CreateExclusive(const char* path, bool text, File* out);
    // Open an existing file for reading, others denied writing.
    static FileStatus OpenDenyWrite(const char* path, bool text, File* out);
    // Open (creating when missing) for appending, others denied reading and writing.
    static FileStatus OpenAppendExclusive(const char* path, bool text, File* out);

    bool IsOpen() const;
    void Close();

    // Reads up to `size` bytes; `*got` is what was read (0 at the end of the file).
    FileStatus Read(void* buffer, size_t size, size_t* got);
    // Writes all `size` bytes (text mode expands line ends).
    FileStatus Write(const void* buffer, size_t size);
    FileStatus Seek(int64_t offset, SeekFrom from, int64_t* position = nullptr);
    FileStatus Size(int64_t* size);
    FileStatus Truncate(int64_t size);
    // Puts what was written on disk.
    FileStatus Sync();

    // Byte-range locks that the system releases when the file is closed or the process dies.
    // On POSIX they belong to this open file (open-file-description locks), so two File
    // objects of one process conflict with each other just as two processes do.
    // `wait` blocks until granted; otherwise a conflict answers kAccessDenied at once.
    // A `length` of 0 covers everything from `offset` on. On POSIX a shared lock needs a file
    // opened for reading and an exclusive one a file opened for writing (else kIoError).
    // Unlock exactly the ranges that were locked: Windows neither merges nor splits them.
    FileStatus LockRange(uint64_t offset, uint64_t length, RangeLock kind, bool wait);
    FileStatus UnlockRange(uint64_t offset, uint64_t length);

private:
    intptr_t handle_ = -1;
    bool text_ = false;
    bool canRead_ = false;
    bool canWrite_ = false;
};

// True when something exists at `path`.
bool FileExists(const char* path);

// What makes a file itself, whatever path names it: one file reached through two spellings of
// its path (`D/T.DAT`, `D/./T.DAT`, `D//T.DAT`) or through a link has one identity. On POSIX the
// device and inode, on Windows the volume serial number and the file index.
struct FileIdentity {
    uint64_t volume = 0;
    uint64_t index = 0;

    bool operator==(const FileIdentity& other) const { return volume == other.volume && index == other.index; }
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }
    bool operator<(const FileIdentity& other) const {
        return volume != other.volume ? volume < other.volume : index < other.index;
    }
};

// The identity of the file at `path`, links followed. On POSIX it is read without opening the
// file: closing a descriptor of a file ends every POSIX record lock the process holds on that
// file through any descriptor, SQLite's among them.
FileStatus IdentifyFile(const char* path, FileIdentity* identity);

// True when the file system that holds `path` is mounted read-only (a CD, a read-only share or
// mount), so that nobody can change the file there; false when it is writable or cannot be told.
bool IsOnReadOnlyVolume(const char* path);

// True when the file at `path` (or, for a file not made yet, its folder) lies on a file system
// that other computers reach over the network, or whose locking and memory mapping the system
// does not guarantee between computers: on POSIX NFS, SMB/CIFS, FUSE, 9P, AFS, Coda, Ceph,
// Lustre and GFS2 by the type the system reports for the mount; on Windows a UNC path or a drive
// of type "remote". False when it is local or cannot be told.
bool IsOnNetworkFileSystem(const char* path);

// True when the process's standard output (1) or standard error (2) is a terminal (a console
// window on Windows), where a person watches; false for a pipe or a file.
bool IsTerminal(int descriptor);

// Text in a Windows code page (1252, 850, ...) and UTF-8: the application keeps its text in the
// former, the tool's CSV files in the latter.
enum class TextDirection { kCodePageToUtf8, kUtf8ToCodePage };

// Whether texts can be converted between `codePage` and UTF-8 here.
bool CodePageKnown(int codePage);

// Converts `text` in `direction`. False when a character has no form on the other side (or is
// no character at all: bytes that are not UTF-8, a byte the code page leaves undefined), with
// its byte offset in `text` in `*failedAt`; nothing is ever replaced by a look-alike.
bool ConvertCodePage(int codePage, TextDirection direction, const std::string& text, std::string* out,
                     size_t* failedAt);

// Deletes `path` unless another process holds it open with a sharing mode (then kAccessDenied).
// Windows also refuses while the file is open at all, sharing mode or not; POSIX only looks at
// holders with a sharing mode.
FileStatus DeleteUnlessHeld(const char* path);

// Deletes `path` without looking at holders.
FileStatus DeleteFile(const char* path);

// Replaces `to` by `from` in one step.
FileStatus RenameReplace(const char* from, const char* to);

// Moves `from` to `to` in one step unless something is at `to` already: then kAlreadyExists,
// and `from` stays where it was. Nobody ever sees `to` exist without its whole content.
FileStatus RenameNoReplace(const char* from, const char* to);

// Whether any opener holds `path` with a sharing mode that keeps others from writing it (a
// deny-write or deny-read-write holder), found without taking, changing or blocking anything.
// kOk with `*held` set; otherwise the file could not be examined (kNotFound, ...).
FileStatus FindSharingHolder(const char* path, bool* held);

// ---- Fault injection for tests -----------------------------------------------------------------

namespace testing {

// Makes HeapAllocZeroed fail: the allocation after `successes` more successful ones returns
// nullptr, `failures` times in a row. A negative `successes` turns injection off.
void InjectAllocationFailure(int successes, int failures = 1);

// Number of SleepMilliseconds calls so far, and the milliseconds slept, for tests that count
// waits instead of timing them.
uint64_t SleepCount();
uint64_t SleptMilliseconds();

// Runs `hook` inside every File::Open of this process after the file is opened and before its
// sharing lock is taken (only for opens that ask for a sharing mode), so a test can delete or
// replace the file in exactly that window. nullptr removes it. POSIX only: Windows applies the
// sharing mode in the open itself, so there is no such window and the hook is never run.
using BeforeShareLockHook = void (*)(const char* path, void* context);
void SetBeforeShareLockHook(BeforeShareLockHook hook, void* context);

// Makes IsOnNetworkFileSystem see `type` as the kind of every file system it asks about: on
// POSIX the type number statfs reports (0x6969 for NFS...), on Windows the drive type that
// GetDriveType reports (4 for a remote drive). A negative `type` turns it off. UNC paths on
// Windows are network paths whatever the drive type.
void PretendFileSystemType(int64_t type);

// The file operations that tests can make fail.
enum class FileOperation { kOpen, kRead, kWrite, kSync, kDelete, kRename, kExists };

// Makes `operation` fail with `status` after `successes` more successful calls, `failures` times
// in a row, as if the system had refused it (a full disk, a busy file), before anything is
// done. A negative `successes`, or `status` kOk, turns injection off for that operation. Every
// File::Open counts as kOpen (the named opens too); DeleteUnlessHeld and DeleteFile as kDelete;
// RenameReplace and RenameNoReplace as kRename; FileExists as kExists, which then answers false, as if the file were
// not there yet (another process makes it just after the look). Calls refused for bad
// arguments do not count.
void InjectFileFailure(FileOperation operation, int successes, FileStatus status, int failures = 1);

}  // namespace testing

}  // namespace platform

#endif  // TYDB_PLATFORM_PLATFORM_H
