// shared_file.h: one process's connection to one data file, shared by every position block
// of the process that has the file open.
//
// The connection runs in WAL mode and keeps no statement stepping between calls, so every call
// reads the newest committed state and no reader holds up a writer or a checkpoint. Each write
// operation is its own transaction.
#ifndef W3BTRV7_SHARED_FILE_H
#define W3BTRV7_SHARED_FILE_H

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "change_watch.h"
#include "file_def.h"
#include "platform.h"
#include "record_locks.h"
#include "sqlite_statement.h"

namespace w3b {

// One entry of a key table: where a record sits on a key path.
struct KeyEntry {
    std::string value;  // encoded key value
    int64_t sequence = 0;
    int64_t position = 0;
};

// An entry with its record, as a batch read returns them. For physical order only
// entry.position is set.
struct FetchedRow {
    KeyEntry entry;
    std::string data;
};

enum class Seek {
    kFirst,
    kLast,
    kEqual,
    kGreater,
    kGreaterOrEqual,
    kLess,
    kLessOrEqual,
    kNext,      // after (value, sequence)
    kPrevious,  // before (value, sequence)
    kCount_,
};

class SharedFile {
public:
    ~SharedFile();
    SharedFile(const SharedFile&) = delete;
    SharedFile& operator=(const SharedFile&) = delete;

    // Opens the data file at `path` (already native). Returns a status: 12 when it does not
    // exist, 30 when it is not a data file of this engine, 85 while it is being created.
    // `identity` is the file's, found by the caller without a descriptor of its own. The
    // connection keeps its one descriptor of the file until it closes.
    static int16_t Open(const std::string& path, const platform::FileIdentity& identity,
                        std::unique_ptr<SharedFile>* out);

    // Creates a new data file at `path` from `def`, replacing what is there. The caller has made
    // sure that no position block of this process has it open; 85 when another process has.
    static int16_t Create(const std::string& path, const FileDef& def);

    const std::string& Path() const { return path_; }
    const platform::FileIdentity& Identity() const { return identity_; }
    const FileDef& Def() const { return *def_; }
    // Changes whenever the definition is read again.
    uint64_t DefinitionGeneration() const { return definitionGeneration_; }

    // Takes the change stamp every operation of this call compares with. Inside a transaction
    // this connection's own uncommitted writes leave the shared header as it was (and nobody
    // else can commit), so the stamp also counts them.
    void BeginCall() { callStamp_ = Stamp(); }
    const ChangeStamp& CallStamp() const { return callStamp_; }
    // True unless it is certain that nothing was written since the call's stamp was taken.
    bool MayHaveChangedSinceCallStart() const { return !Stamp().Same(callStamp_); }

    // Notices a definition changed by another connection (Create or Drop Index) and reloads it.
    int16_t Refresh();

    // Every completed write of this connection reaches the disk before the call returns.
    void RequireFullSync();
    // SQLite's synchronous level of the connection (1 NORMAL, 2 FULL), or -1.
    int SynchronousLevel();

    // ---- Record locks and exclusive opens of this process.
    RecordLocks& Locks() { return locks_; }
    // The process's first exclusive open takes the open byte exclusively: 88 while another
    // process has the file open. Further ones only count.
    int16_t AcquireExclusiveOpen();
    // The last exclusive open's close lets other processes open the file again.
    void ReleaseExclusiveOpen();

    // ---- Write operations: each is one transaction, or one savepoint inside the process's
    // transaction once the file has joined it. Begin holds the database's write lock and has
    // read the definition again if another process changed it meanwhile (the definition
    // generation then changes, and Def() is a new object).
    int16_t Begin();
    int16_t Commit();
    void Rollback();

    // While set, a database busy with another process's write answers 85 at once instead of
    // waiting for it (writes with the no-wait bias +500).
    void SetWriteWait(bool wait) { writeWait_ = wait; }

    // ---- The process's transaction over this file.
    bool InTransaction() const { return inTransaction_; }
    // Starts this file's part of the transaction: the write lock of the database is held from
    // now until it ends (85 when another process keeps it longer than the busy timeout). As
    // with Begin, the definition is the file's current one once it returns.
    int16_t JoinTransaction();
    // Commits (or rolls back) this file's part. Status 36 when the database had already
    // abandoned it (after an I/O error, for example).
    int16_t EndTransaction(bool commit);

    // ---- Records.
    int16_t ReadRecord(int64_t position, std::string* data, bool* found);
    int16_t InsertRecord(const uint8_t* data, size_t size, int64_t* position);
    int16_t UpdateRecord(int64_t position, const uint8_t* data, size_t size);
    int16_t DeleteRecord(int64_t position);
    // Physical order. `kind` is kFirst, kLast, kNext or kPrevious (after/before `from`).
    int16_t StepRecord(Seek kind, int64_t from, int64_t* position, std::string* data, bool* found);
    // Up to `limit` records after (before) `from`, in `rows[0 .. *count)`.
    int16_t StepRecords(bool forward, int64_t from, int limit, std::vector<FetchedRow>* rows, size_t* count);
    int16_t CountRecords(int64_t* count);
    int16_t CountRecordsBefore(int64_t position, int64_t* count);
    int16_t RecordAtOffset(int64_t offset, int64_t* position, std::string* data, bool* found);

    // ---- Key tables.
    int16_t SeekEntry(const KeyInfo& key, Seek kind, const std::string& value, int64_t sequence, KeyEntry* entry,
                      std::string* data, bool* found);
    // Up to `limit` entries with their records after (before) the entry `from`. `vacated`: the
    // caller deleted the record of `from` itself.
    int16_t SeekEntries(const KeyInfo& key, bool forward, const KeyEntry& from, bool vacated, int limit,
                        std::vector<FetchedRow>* rows, size_t* count);
    int16_t EntryOfRecord(const KeyInfo& key, const std::string& value, int64_t position, KeyEntry* entry,
                          bool* found);
    int16_t EntryAtOffset(const KeyInfo& key, int64_t offset, KeyEntry* entry, std::string* data, bool* found);
    // Adds an entry at the end of its group of equal values; 5 when a key without duplicates
    // already holds the value.
    int16_t InsertEntry(const KeyInfo& key, const std::string& value, int64_t position, int64_t* sequence);
    int16_t DeleteEntry(const KeyInfo& key, const std::string& value, int64_t position);
    int16_t CountEntries(const KeyInfo& key, int64_t* count);
    int16_t CountDistinct(const KeyInfo& key, int64_t* count);
    int16_t CountEntriesBelow(const KeyInfo& key, const std::string& value, int64_t* count);

    // ---- Definition changes, inside a write begun with Begin: Commit then reads the new
    // definition. A refused change has rolled the write back.
    int16_t AddKey(int number, const std::vector<BtrKeySpec>& specs, const std::vector<AcsBlock>& newAcs);
    int16_t DropKey(int number, bool renumber);

    // Maps an SQLite result code to a status.
    static int16_t StatusOf(int rc);

    // Journal, durability and read settings every connection to a data file uses.
    static int Configure(sqlite3* db);
    // The settings of a connection that only reads (it changes no journal mode).
    static int ConfigureReading(sqlite3* db);

private:
    SharedFile() = default;

    struct KeyStatements {
        Statement seek[static_cast<int>(Seek::kCount_)];
        Statement batch[2];
        Statement samePlace, entryOfRecord, atOffset, insert, erase, lastSequence, count, countDistinct, countBelow;
    };

    // SQLite's busy handler: waits in short steps up to the busy timeout.
    static int BusyWait(void* self, int count);
    ChangeStamp Stamp() const {
        ChangeStamp stamp = watch_.Current();
        stamp.ownWrites = ownWrites_;
        return stamp;
    }
    // Opens the connection: for reading and writing, or for reading only.
    int Connect(bool readOnly);
    // Reads the definition again when another connection changed it since it was read; the
    // first for a call's start, the second under the write lock.
    int16_t ReloadIfVersionChanged();
    int16_t ReloadIfRedefined();
    int16_t LoadDefinition();
    KeyStatements& StatementsOf(const KeyInfo& key);
    sqlite3_stmt* Prepared(Statement& statement, const std::string& sql);
    void ResetKeyStatements();

    std::string path_;
    platform::FileIdentity identity_;
    sqlite3* db_ = nullptr;
    platform::File openLock_;
    RecordLocks locks_{&openLock_};
    int exclusiveOpens_ = 0;
    bool inTransaction_ = false;
    std::unique_ptr<FileDef> def_;
    int64_t schemaVersion_ = -1;
    uint64_t definitionGeneration_ = 0;
    std::vector<std::unique_ptr<KeyStatements>> keyStatements_;  // by key number
    uint64_t ownWrites_ = 0;
    int busyWaitedMs_ = 0;
    bool writeWait_ = true;
    bool redefining_ = false;  // the open write adds or drops a key
    Statement schemaVersionStmt_, begin_, commit_, rollback_, savepoint_, release_, rollbackTo_;
    Statement readRecord_, insertRecord_, updateRecord_, deleteRecord_, countRecords_, countBefore_, recordAtOffset_;
    Statement step_[4];
    Statement stepBatch_[2];
    ChangeWatch watch_;
    ChangeStamp callStamp_;
    ChangeStamp refreshedAt_;
};

}  // namespace w3b

#endif  // W3BTRV7_SHARED_FILE_H
