// file_connection.h: what the operations need of a store: this process's connection to one data
// file, shared by every position block of the process that has the file open.
//
// The interface speaks of records, key entries, definitions, transactions and locks, never of
// how a store keeps them. A store keeps the promises written here; the operations in ops/ build
// the record manager's semantics (currency, biases, read-ahead, transactions across files) on
// top of them and on nothing else.
//
// Every call sees the newest committed state: a connection keeps nothing open between calls
// that would hold another process's writer or show it an old snapshot. Positions are the
// store's record addresses: positive, stable for a record's lifetime, never reused while the
// file is open anywhere.
#ifndef W3BTRV7_STORE_FILE_CONNECTION_H
#define W3BTRV7_STORE_FILE_CONNECTION_H

#include <cstdint>
#include <string>
#include <vector>

#include "platform.h"
#include "store/change_stamp.h"
#include "store/file_def.h"
#include "store/record_locks.h"

namespace w3b {

// One entry of a key: where a record sits on a key path. Entries of equal value are ordered by
// `sequence`, the order in which they were inserted.
struct KeyEntry {
    std::string value;  // encoded key value (compares bytewise in key order)
    int64_t sequence = 0;
    int64_t position = 0;
};

// An entry with its record, as a batch read returns them. For physical order only
// entry.position is set.
struct FetchedRow {
    KeyEntry entry;
    std::string data;
};

// What tells the process's data files apart, however their paths are spelled: a file of this
// computer (or a share) by its identity, a server file by its folder's server and schema and its
// name there.
struct FileKey {
    platform::FileIdentity local;
    std::string server;

    bool operator<(const FileKey& other) const {
        return local != other.local ? local < other.local : server < other.server;
    }
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

enum class Direction { kForward, kBackward };

// How a transaction or a file's part of one ends.
enum class Outcome { kCommit, kRollBack };

// What Drop Index does to the keys numbered above the dropped one.
enum class Renumbering { kKeepNumbers, kCloseTheGap };

// What Create does with a file already at the name: answers 59, or replaces it.
enum class IfExists { kRefuse, kReplace };

// Answers a store gives the operations, never the caller.
// The definition changed under the call (another process added or dropped a key) before the
// call changed anything: the entry point reads the definition again and runs the call again.
inline constexpr int16_t kStatusDefinitionMoved = -2;
// Update or Delete found the record no longer as the block read it, learnt only when the write
// committed (the write is then rolled back).
inline constexpr int16_t kStatusRecordNotAsRead = -3;

class FileConnection {
public:
    virtual ~FileConnection() = default;

    virtual const std::string& Path() const = 0;
    virtual const FileKey& Key() const = 0;
    virtual const FileDef& Def() const = 0;
    // Changes whenever the definition is read again (Def() is then a new object).
    virtual uint64_t DefinitionGeneration() const = 0;

    // ---- "Has anything changed since". BeginCall takes the stamp every operation of this call
    // compares with; inside a transaction the connection's own uncommitted writes count too.
    virtual void BeginCall() = 0;
    virtual const ChangeStamp& CallStamp() const = 0;
    // True unless it is certain that nothing was written since the call's stamp was taken.
    virtual bool MayHaveChangedSinceCallStart() const = 0;
    // Notices a definition changed by another connection (Create or Drop Index) and reloads it.
    // A store may leave the check to the call's first statement (kStatusDefinitionMoved).
    virtual int16_t Refresh() = 0;
    // For a call that ran no statement: kStatusDefinitionMoved when the definition changed
    // since Refresh, so that an answer the old definition gave (a key number it lacks, say)
    // is not the last word.
    virtual int16_t ConfirmDefinition() { return btr::kStatusSuccess; }

    // Every completed write of this connection reaches the disk before the call returns.
    virtual void RequireFullSync() = 0;

    // ---- Record locks, the file's transaction lock, and exclusive opens of this process.
    virtual RecordLocks& Locks() = 0;
    // The process's first exclusive open excludes every other process: 88 while another
    // process has the file open. Further ones only count.
    virtual int16_t AcquireExclusiveOpen() = 0;
    // The last exclusive open's close lets other processes open the file again.
    virtual void ReleaseExclusiveOpen() = 0;

    // ---- Write operations: each is one transaction, or inside the process's transaction once
    // the file has joined it, a part of it that Rollback undoes alone (a savepoint, or for what
    // a store can delete again, such as inserts, by deleting it). Begin holds the file's write lock and has read
    // the definition again if another process changed it meanwhile.
    //
    // Outside the process's transaction a store may send a write's statements only when the
    // write needs an answer (a read) or commits, so that the write costs one round trip to a
    // server. Until Commit has answered 0, the position InsertRecord gives may only stand for
    // the new record in InsertEntry, and it and InsertEntry's sequence are written through
    // their pointers by then; UpdateRecord and DeleteRecord may answer `changed` true and let
    // Commit answer kStatusRecordNotAsRead; Begin may leave a changed definition, or a write lock
    // another process holds while this write may wait for it, to a later call of the write
    // (kStatusDefinitionMoved: the call runs again), and a refusal (5, 84, 85) may come from any
    // later call of the write.
    virtual int16_t Begin() = 0;
    virtual int16_t Commit() = 0;
    virtual void Rollback() = 0;
    // With kAnswerAtOnce a file busy with another process's write answers 85 at once instead
    // of waiting for it (writes with the no-wait bias +500).
    virtual void SetWriteWait(LockWait wait) = 0;

    // ---- The process's transaction over this file.
    virtual bool InTransaction() const = 0;
    // Starts this file's part of the transaction: the write lock is held from now until it
    // ends (85 when another process keeps it longer than the busy timeout). As with Begin, the
    // definition is the file's current one once it returns.
    virtual int16_t JoinTransaction() = 0;
    // Ends this file's part. Status 36 when the store had already abandoned it.
    virtual int16_t EndTransaction(Outcome outcome) = 0;

    // ---- Records by position. `found` false (status 0) when there is no such record.
    virtual int16_t ReadRecord(int64_t position, std::string* data, bool* found) = 0;
    // `*position` in: the position the record is to take, or 0 for the store to choose one after
    // every position in use; 43 when the one asked for is taken. Out: the record's position.
    virtual int16_t InsertRecord(const uint8_t* data, size_t size, int64_t* position) = 0;
    // Update and Delete change the record only while it is still `expected`, the record as the
    // caller read it: `*changed` false (status 0) when it is not, or no longer there. So a change
    // another block made since it was read is never undone by mistake.
    virtual int16_t UpdateRecord(int64_t position, const std::string& expected, const uint8_t* data, size_t size,
                                 bool* changed) = 0;
    virtual int16_t DeleteRecord(int64_t position, const std::string& expected, bool* changed) = 0;
    // Position order. `kind` is kFirst, kLast, kNext or kPrevious (after/before `from`).
    virtual int16_t StepRecord(Seek kind, int64_t from, int64_t* position, std::string* data, bool* found) = 0;
    // Up to `limit` records after (before) `from`, in `rows[0 .. *count)`.
    virtual int16_t StepRecords(Direction direction, int64_t from, int limit, std::vector<FetchedRow>* rows,
                                size_t* count) = 0;
    virtual int16_t CountRecords(int64_t* count) = 0;
    virtual int16_t CountRecordsBefore(int64_t position, int64_t* count) = 0;
    // The record `offset` records from the first in position order.
    virtual int16_t RecordAtOffset(int64_t offset, int64_t* position, std::string* data, bool* found) = 0;

    // ---- Key entries, with the record they lead to.
    virtual int16_t SeekEntry(const KeyInfo& key, Seek kind, const std::string& value, int64_t sequence,
                              KeyEntry* entry, std::string* data, bool* found) = 0;
    // Up to `limit` entries with their records after (before) the entry `from`. `vacated`: the
    // caller deleted the record of `from` itself, so `from` is no longer in the key.
    virtual int16_t SeekEntries(const KeyInfo& key, Direction direction, const KeyEntry& from, bool vacated, int limit,
                                std::vector<FetchedRow>* rows, size_t* count) = 0;
    virtual int16_t EntryOfRecord(const KeyInfo& key, const std::string& value, int64_t position, KeyEntry* entry,
                                  bool* found) = 0;
    virtual int16_t EntryAtOffset(const KeyInfo& key, int64_t offset, KeyEntry* entry, std::string* data,
                                  bool* found) = 0;
    // Adds an entry at the end of its group of equal values; 5 when a key without duplicates
    // already holds the value.
    virtual int16_t InsertEntry(const KeyInfo& key, const std::string& value, int64_t position, int64_t* sequence) = 0;
    virtual int16_t DeleteEntry(const KeyInfo& key, const std::string& value, int64_t position) = 0;
    virtual int16_t CountEntries(const KeyInfo& key, int64_t* count) = 0;
    virtual int16_t CountDistinct(const KeyInfo& key, int64_t* count) = 0;
    virtual int16_t CountEntriesBelow(const KeyInfo& key, const std::string& value, int64_t* count) = 0;

    // ---- The whole file in its store's own order, for a copy into another store: up to `limit`
    // records after position `after`, and up to `limit` entries of `key` after `after` (from the
    // first when null) in key order, each exactly as stored (value, sequence, position).
    virtual int16_t ListRecords(int64_t after, int limit, std::vector<FetchedRow>* rows, size_t* count) = 0;
    virtual int16_t ListEntries(const KeyInfo& key, const KeyEntry* after, int limit,
                                std::vector<KeyEntry>* entries) = 0;

    // ---- Key build and drop, inside a write begun with Begin: Commit then reads the new
    // definition. A refused change has rolled the write back.
    virtual int16_t AddKey(int number, const std::vector<BtrKeySpec>& specs, const std::vector<AcsBlock>& newAcs) = 0;
    virtual int16_t DropKey(int number, Renumbering renumbering) = 0;
    // Gives the file the owner `owner` (none when it is not present), inside a write begun with
    // Begin: Commit then reads the new definition.
    virtual int16_t SetOwner(const OwnerSeal& owner) = 0;

    // ---- Continuous operation, for backups of a file in use. While any process keeps the file
    // in it, the file's own bytes on disk stay as they were when this process's Begin returned,
    // a consistent database of that moment that an ordinary file copy can take, and every
    // process's writes go on beside them. It ends with End, with the connection, or with the
    // process; when no process keeps it any more the bytes catch up. A store without such bytes
    // answers 41.
    virtual int16_t BeginContinuous() = 0;
    virtual void EndContinuous() = 0;
};

}  // namespace w3b

#endif  // W3BTRV7_STORE_FILE_CONNECTION_H
