// engine.h: the record manager's process-wide state: which position blocks are open on which
// files, and the one connection per file that they share.
#ifndef W3BTRV7_OPS_ENGINE_H
#define W3BTRV7_OPS_ENGINE_H

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ops/cursor.h"
#include "store/file_connection.h"
#include "store/store.h"

namespace w3b {

// One open of a file through one position block.
struct OpenInstance {
    uint32_t id = 0;
    FileConnection* file = nullptr;
    int8_t mode = 0;
    Cursor cursor;
    // Record locks this block took: at most one single-record lock, or any number of
    // multiple-record locks, never both.
    int64_t singleLock = 0;
    std::vector<int64_t> multipleLocks;
    // Where the block's last chunk operation ended, for chunks that follow on from it.
    uint64_t chunkEnd = 0;
    // The block gave the file's owner name (at Open or Set Owner), or opened the file without
    // it where the owner lets everyone read, and then only reads.
    bool gaveOwnerName = false;
    bool readsWithoutOwnerName = false;

    bool ReadOnly() const;
    bool HoldsMultiple(int64_t position) const;
    // Lets go of every lock of the block, or of those on one record.
    void ReleaseLocks();
    void ReleaseLocksOn(int64_t position);
};

// The process's transaction (Begin to End or Abort).
struct Transaction {
    bool active = false;
    bool exclusive = false;
    uint8_t defaultLock = 0;   // lock bias of Begin, applied to reads that name none
    bool noWriteWait = false;  // +500 on Begin: writes that meet another writer answer at once
    // Files whose part has begun, and the records written in it, locked until the end.
    std::vector<FileConnection*> files;
    std::vector<std::pair<FileConnection*, int64_t>> lockedRecords;
};

class Engine {
public:
    static Engine& Get() { return *instance_; }

    // Every call holds this for its whole duration: the engine serves one call at a time.
    std::mutex& Mutex() { return mutex_; }

    // The open instance a position block refers to, or nullptr for a block that is not (or no
    // longer) open in this process: zeroed, closed, overwritten, or another process's.
    OpenInstance* Find(const uint8_t* positionBlock);

    // Opens `path` (native) for a position block, giving the file's owner name `ownerName`
    // (empty for none). Returns a status.
    int16_t Open(const std::string& path, int8_t mode, const std::string& ownerName, uint8_t* positionBlock);
    void Close(OpenInstance* open, uint8_t* positionBlock);

    // True when any position block of this process has the file at `where` open, under any
    // spelling of its path.
    bool IsOpenHere(const DataFileLocation& where) const;

    // Closes every file (Stop, Reset); every position block given out so far becomes invalid,
    // and the current directory is the process's own again.
    void CloseAll();

    // The directory relative paths of Open and Create start from (Set Directory); empty for the
    // process's own current directory.
    const std::string& Directory() const { return directory_; }
    void SetDirectory(std::string directory) { directory_ = std::move(directory); }

    Transaction& CurrentTransaction() { return transaction_; }
    // Starts `file`'s part of the active transaction (once per file).
    int16_t JoinTransaction(FileConnection* file);
    // Locks a record written inside the transaction until it ends: 84 when another process
    // holds it.
    int16_t LockForTransaction(FileConnection* file, int64_t position);
    // Commits or rolls back every file's part, releases the transaction's locks and closes the
    // files that were kept open only for it. The first failing commit's status, else 0.
    int16_t EndTransaction(Outcome outcome);

    // Keeps the files at `paths` (native) in continuous operation for this process: all of them,
    // or on the first refusal none and its status. A file already kept stays so.
    int16_t BeginContinuous(const std::vector<std::string>& paths);
    // Ends continuous operation for the files at `paths`, or for every file without them. A
    // file this process does not keep in it is passed over.
    int16_t EndContinuous(const std::vector<std::string>* paths);

    // Applies a change of key numbers (Drop Index) to every position block of this process on
    // the file: blocks on the dropped key lose logical currency, blocks on renumbered keys move.
    void KeyDropped(FileConnection* file, int number, Renumbering renumbering);

private:
    Engine();
    void DrawGeneration();

    // Made when the record manager is loaded and never destroyed: calls may come during process
    // exit. Every call asks for it, so it is a plain pointer, not a function's static.
    static Engine* const instance_;

    struct FileSlot {
        std::unique_ptr<FileConnection> file;
        int opens = 0;
        bool continuous = false;  // kept in continuous operation, open or not

        // Nothing needs the connection any more.
        bool Idle() const { return opens <= 0 && !continuous && !file->InTransaction(); }
    };
    using Slot = std::map<FileKey, FileSlot>::iterator;

    // The process's connection to the file at `path`, opened when it has none yet.
    int16_t Connect(const std::string& path, Slot* slot);

    std::mutex mutex_;
    uint32_t generation_ = 0;  // 0 until the first Open
    uint32_t nextId_ = 1;
    std::unordered_map<uint32_t, OpenInstance> opens_;
    // The open found last: most calls come on the block of the call before.
    uint32_t lastFoundId_ = 0;
    OpenInstance* lastFound_ = nullptr;
    // One connection per file, found by what the file is rather than how its path is spelled:
    // a second connection would mean a second descriptor, and closing it would end the POSIX
    // locks SQLite holds through the first.
    std::map<FileKey, FileSlot> files_;
    Transaction transaction_;
    std::string directory_;
};

}  // namespace w3b

#endif  // W3BTRV7_OPS_ENGINE_H
