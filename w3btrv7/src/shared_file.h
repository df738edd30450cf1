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

// The byte range of the data file that every open holds shared and Create takes exclusively:
// the system releases it when the holder closes or dies. It lies far beyond the ranges the
// database itself locks.
inline constexpr uint64_t kOpenLockOffset = uint64_t{1} << 62;

class SharedFile {
public:
    ~SharedFile();
    SharedFile(const SharedFile&) = delete;
    SharedFile& operator=(const SharedFile&) = delete;

    // Opens the data file at `path` (already native). Returns a status: 12 when it does not
    // exist, 30 when it is not a data file of this engine, 85 while it is being created.
    static int16_t Open(const std::string& path, std::unique_ptr<SharedFile>* out);

    // Creates a new data file at `path` from `def`, replacing what is there. The caller has made
    // sure that no position block of this process has it open; 85 when another process has.
    static int16_t Create(const std::string& path, const FileDef& def);

    const std::string& Path() const { return path_; }
    const FileDef& Def() const { return *def_; }
    // Changes whenever the definition is read again.
    uint64_t DefinitionGeneration() const { return definitionGeneration_; }

    // Takes the change stamp every operation of this call compares with.
    void BeginCall() { callStamp_ = watch_.Current(); }
    const ChangeStamp& CallStamp() const { return callStamp_; }

    // Notices a definition changed by another connection (Create or Drop Index) and reloads it.
    int16_t Refresh();

    // Every completed write of this connection reaches the disk before the call returns.
    void RequireFullSync();

    // ---- Transactions: each write operation is one.
    int16_t Begin();
    int16_t Commit();
    void Rollback();

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

    // ---- Definition changes (inside a transaction).
    int16_t AddKey(int number, const std::vector<BtrKeySpec>& specs, const std::vector<AcsBlock>& newAcs);
    int16_t DropKey(int number, bool renumber);

    // Maps an SQLite result code to a status.
    static int16_t StatusOf(int rc);

private:
    SharedFile() = default;

    struct KeyStatements {
        Statement seek[static_cast<int>(Seek::kCount_)];
        Statement batch[2];
        Statement samePlace, entryOfRecord, atOffset, insert, erase, lastSequence, count, countDistinct, countBelow;
    };

    int16_t LoadDefinition();
    KeyStatements& StatementsOf(const KeyInfo& key);
    sqlite3_stmt* Prepared(Statement& statement, const std::string& sql);
    void ResetKeyStatements();

    std::string path_;
    sqlite3* db_ = nullptr;
    platform::File openLock_;
    std::unique_ptr<FileDef> def_;
    int64_t schemaVersion_ = -1;
    uint64_t definitionGeneration_ = 0;
    std::vector<std::unique_ptr<KeyStatements>> keyStatements_;  // by key number
    Statement schemaVersionStmt_, begin_, commit_, rollback_;
    Statement readRecord_, insertRecord_, updateRecord_, deleteRecord_, countRecords_, countBefore_, recordAtOffset_;
    Statement step_[4];
    Statement stepBatch_[2];
    ChangeWatch watch_;
    ChangeStamp callStamp_;
    ChangeStamp refreshedAt_;
};

}  // namespace w3b

#endif  // W3BTRV7_SHARED_FILE_H
