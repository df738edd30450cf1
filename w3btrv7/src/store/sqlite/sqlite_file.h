// sqlite_file.h: the SQLite store: this process's connection to one data file kept as an SQLite
// database.
//
// The connection runs in WAL mode (a rollback journal on a network share, share_mode.h) and keeps
// no statement stepping between calls, so every call reads the newest committed state and no
// reader holds up a writer or a checkpoint for longer than a call. Each write operation is its
// own transaction.
#ifndef W3BTRV7_STORE_SQLITE_SQLITE_FILE_H
#define W3BTRV7_STORE_SQLITE_SQLITE_FILE_H

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform.h"
#include "store/byte_range_locks.h"
#include "store/file_connection.h"
#include "store/sqlite/change_watch.h"
#include "store/sqlite/key_tables.h"
#include "store/sqlite/record_table.h"
#include "store/sqlite/share_mode.h"
#include "store/sqlite/statement.h"
#include "store/sqlite/version_watch.h"

namespace w3b {

class SqliteFile final : public FileConnection {
public:
    ~SqliteFile() override;
    SqliteFile(const SqliteFile&) = delete;
    SqliteFile& operator=(const SqliteFile&) = delete;

    // Opens the data file at `path` (already native). Returns a status: 12 when it does not
    // exist, 30 when it is not a data file of this engine, 85 while it is being created.
    // `key` is the file's identity, found by the caller without a descriptor of its own. The
    // connection keeps its one descriptor of the file until it closes.
    static int16_t Open(const std::string& path, const FileKey& key, std::unique_ptr<FileConnection>* out);

    // Whether `name` is that of a new file still being written beside its final name (or left so
    // by a process that died meanwhile): never a data file of its own.
    static bool IsNewFileInTheMaking(const std::string& name);

    // Creates a new data file at `path` from `def`; one already there answers 59 or is replaced,
    // as `ifExists` says. The caller has made sure that no position block of this process has it
    // open; 85 when another process has.
    static int16_t Create(const std::string& path, const FileDef& def, IfExists ifExists);

    const std::string& Path() const override { return path_; }
    const FileKey& Key() const override { return key_; }
    const FileDef& Def() const override { return *def_; }
    uint64_t DefinitionGeneration() const override { return definitionGeneration_; }

    // In WAL mode this connection's own uncommitted writes leave the shared header as it was
    // (and nobody else can commit inside its transaction), so the stamp counts them apart.
    void BeginCall() override { callStamp_ = Stamp(); }
    const ChangeStamp& CallStamp() const override { return callStamp_; }
    bool MayHaveChangedSinceCallStart() const override { return !Stamp().Same(callStamp_); }
    int16_t Refresh() override;

    void RequireFullSync() override;
    // SQLite's synchronous level of the connection (1 NORMAL, 2 FULL), or -1.
    int SynchronousLevelForTest();

    RecordLocks& Locks() override { return locks_; }
    // The open lock is a byte-range lock on the file: shared by every open, exclusive for an
    // exclusive one.
    int16_t AcquireExclusiveOpen() override;
    void ReleaseExclusiveOpen() override;

    int16_t Begin() override;
    int16_t Commit() override;
    void Rollback() override;
    void SetWriteWait(LockWait wait) override { writeWait_ = wait == LockWait::kWait; }

    bool InTransaction() const override { return inTransaction_; }
    int16_t JoinTransaction() override;
    int16_t EndTransaction(Outcome outcome) override;

    int16_t ReadRecord(int64_t position, std::string* data, bool* found) override {
        return records_.Read(position, data, found);
    }
    int16_t InsertRecord(const uint8_t* data, size_t size, int64_t* position) override;
    int16_t UpdateRecord(int64_t position, const std::string& expected, const uint8_t* data, size_t size,
                         bool* changed) override;
    int16_t DeleteRecord(int64_t position, const std::string& expected, bool* changed) override;
    int16_t StepRecord(Seek kind, int64_t from, int64_t* position, std::string* data, bool* found) override {
        return records_.Step(kind, from, position, data, found);
    }
    int16_t StepRecords(Direction direction, int64_t from, int limit, std::vector<FetchedRow>* rows,
                        size_t* count) override {
        return records_.StepMany(direction, from, limit, rows, count);
    }
    int16_t CountRecords(int64_t* count) override { return records_.Count(count); }
    int16_t CountRecordsBefore(int64_t position, int64_t* count) override {
        return records_.CountBefore(position, count);
    }
    int16_t RecordAtOffset(int64_t offset, int64_t* position, std::string* data, bool* found) override {
        return records_.AtOffset(offset, position, data, found);
    }

    int16_t SeekEntry(const KeyInfo& key, Seek kind, const std::string& value, int64_t sequence, KeyEntry* entry,
                      std::string* data, bool* found) override {
        return keys_.SeekEntry(key, kind, value, sequence, entry, data, found);
    }
    int16_t SeekEntries(const KeyInfo& key, Direction direction, const KeyEntry& from, bool vacated, int limit,
                        std::vector<FetchedRow>* rows, size_t* count) override {
        return keys_.SeekEntries(key, direction, from, vacated, limit, rows, count);
    }
    int16_t EntryOfRecord(const KeyInfo& key, const std::string& value, int64_t position, KeyEntry* entry,
                          bool* found) override {
        return keys_.EntryOfRecord(key, value, position, entry, found);
    }
    int16_t EntryAtOffset(const KeyInfo& key, int64_t offset, KeyEntry* entry, std::string* data,
                          bool* found) override {
        return keys_.EntryAtOffset(key, offset, entry, data, found);
    }
    int16_t InsertEntry(const KeyInfo& key, const std::string& value, int64_t position, int64_t* sequence) override;
    int16_t DeleteEntry(const KeyInfo& key, const std::string& value, int64_t position) override;
    int16_t CountEntries(const KeyInfo& key, int64_t* count) override { return keys_.CountEntries(key, count); }
    int16_t CountDistinct(const KeyInfo& key, int64_t* count) override { return keys_.CountDistinct(key, count); }
    int16_t CountEntriesBelow(const KeyInfo& key, const std::string& value, int64_t* count) override {
        return keys_.CountEntriesBelow(key, value, count);
    }

    int16_t ListRecords(int64_t after, int limit, std::vector<FetchedRow>* rows, size_t* count) override {
        return records_.StepMany(Direction::kForward, after, limit, rows, count);
    }
    int16_t ListEntries(const KeyInfo& key, const KeyEntry* after, int limit, std::vector<KeyEntry>* entries) override {
        return keys_.ListEntries(key, after, limit, entries);
    }

    int16_t AddKey(int number, const std::vector<BtrKeySpec>& specs, const std::vector<AcsBlock>& newAcs) override;
    int16_t DropKey(int number, Renumbering renumbering) override;
    int16_t SetOwner(const OwnerSeal& owner) override;

    // Continuous operation holds back every checkpoint, the only thing that writes the
    // database file itself in WAL mode (store/sqlite/checkpoints.cpp).
    int16_t BeginContinuous() override;
    void EndContinuous() override;

private:
    SqliteFile() = default;

    // SQLite's busy handler: waits in short steps up to the busy timeout.
    static int BusyWait(void* self, int count);
    // Opens and checks the connection once the open lock is held.
    int16_t Connect(bool readOnly);
    // Takes this process's share-mode lock: 88 while another process has the file open in the
    // other mode.
    int16_t HoldShareMode(bool readOnly);
    ChangeStamp Stamp(uint32_t* commits = nullptr) const {
        ChangeStamp stamp =
            shareMode_ == ShareMode::kNetworkShare ? versionWatch_.Current(db_) : watch_.Current(commits);
        stamp.ownWrites = ownWrites_;
        return stamp;
    }
    // After this connection's own commit (not of a key change): the definition stays known.
    void KeepDefinitionAfterCommit(const ChangeStamp& before, uint32_t commitsBefore);
    // Reads the definition again when another connection changed it since it was read; the
    // first for a call's start, the second under the write lock.
    int16_t ReloadIfVersionChanged();
    int16_t ReloadIfRedefined();
    int16_t LoadDefinition();
    sqlite3_stmt* Prepared(Statement& statement, const char* sql) { return w3b::Prepared(db_, statement, sql); }
    // SQLite's hook after every commit: checkpoints as SQLite itself would, unless a process
    // keeps the file in continuous operation.
    static int AfterCommit(void* self, sqlite3* db, const char* name, int walPages);
    // True while this or another process keeps the file in continuous operation.
    bool CheckpointsHeldBack();
    void CheckpointUnlessHeldBack(int mode);
    // Before the connection closes: a close that would checkpoint does not while checkpoints
    // are held back. True when it holds the checkpoint lock, to let go after the close.
    bool HoldBackCheckpointOnClose();

    std::string path_;
    FileKey key_;
    // The descriptor that carries this process's open, exclusive-open and record locks. It closes
    // after the database: its descriptor must outlive SQLite's own.
    platform::File openLock_;
    sqlite3* db_ = nullptr;
    ByteRangeLocks locks_{&openLock_};
    RecordTable records_{db_};
    KeyTables keys_{db_};
    int exclusiveOpens_ = 0;
    bool inTransaction_ = false;
    bool continuous_ = false;
    bool readOnly_ = false;
    ShareMode shareMode_ = ShareMode::kOneComputer;
    std::unique_ptr<FileDef> def_;
    int64_t schemaVersion_ = -1;
    uint64_t definitionGeneration_ = 0;
    uint64_t ownWrites_ = 0;
    int busyWaitedMs_ = 0;
    bool writeWait_ = true;
    bool beginningWrite_ = false;  // a write is taking the file's write lock
    bool redefining_ = false;      // the open write adds or drops a key
    // The open write surely changed a page of the file (a record went in, out, or changed its
    // bytes), so that its commit is a commit of its own in the WAL header.
    bool wroteRecord_ = false;

    // An operation inside the process's transaction must undo only itself when it fails. Its
    // inserts (the bulk of a transaction's writes) are undone by deleting what they added, so
    // they need no savepoint, which costs SQLite a copy of every page the operation touches;
    // a write that cannot be undone that way opens the savepoint first (ProtectOperation).
    struct Undo {
        const KeyInfo* key;  // nullptr: the record at `position`
        std::string value;
        int64_t position;
    };
    bool operationOpen_ = false;       // Begin was called inside the transaction
    bool operationSavepoint_ = false;  // and the operation's savepoint is open
    std::vector<Undo> undo_;
    int16_t ProtectOperation();
    void EndOperation();
    // Whether a write now must be listed to be undone: once the savepoint is open, rolling back
    // to it undoes the writes after it (and listing them could delete what it brought back).
    bool Unprotected() const { return operationOpen_ && !operationSavepoint_; }

    Statement schemaVersionStmt_, begin_, commit_, rollback_, savepoint_, release_, rollbackTo_;
    ChangeWatch watch_;
    VersionWatch versionWatch_;  // in its place on a network share
    ChangeStamp callStamp_;
    ChangeStamp refreshedAt_;
};

}  // namespace w3b

#endif  // W3BTRV7_STORE_SQLITE_SQLITE_FILE_H
