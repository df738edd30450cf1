// pg_file.h: the server store: this process's connection to one data file that a PostgreSQL
// server keeps for a served folder.
//
// Every call reads the server's newest committed state (nothing is cached between calls), and
// the file's writes are one server transaction each, or savepoints inside the process's
// transaction, which is one server transaction across all the folder's files. Writers of a
// file take turns on its row of w3b_file, as writers of an SQLite file take turns on its write
// lock; readers never wait.
//
// Round trips: a call's first read checks in the same round trip that the definition is still
// the one this process has (the check runs after the read, so an unchanged definition was
// unchanged while the read ran); a write outside the process's transaction sends its
// statements with its commit, in one round trip. A definition found changed makes the call
// answer kStatusDefinitionMoved before it changed anything, and the entry point runs it again.
#ifndef W3BTRV7_STORE_POSTGRES_PG_FILE_H
#define W3BTRV7_STORE_POSTGRES_PG_FILE_H

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "store/file_connection.h"
#include "store/postgres/advisory_locks.h"
#include "store/postgres/pg_session.h"
#include "store/server_folder.h"

namespace w3b {

class PgFile final : public FileConnection {
public:
    // The position InsertRecord gives inside a write that sends ahead: InsertEntry then takes
    // the position the server gave the record in the same transaction.
    static constexpr int64_t kPositionPending = -1;

    ~PgFile() override;
    PgFile(const PgFile&) = delete;
    PgFile& operator=(const PgFile&) = delete;

    // Opens the file `name` of `folder`. 12 when the folder has no such file, 85 while another
    // process creates it or has it open exclusively, 95 when the server cannot be reached.
    static int16_t Open(const ServerFolder& folder, const std::string& path, const FileKey& key,
                        std::unique_ptr<FileConnection>* out);
    // Creates the file `name` of `folder`; one already there answers 59 or is replaced, as
    // `ifExists` says (85 while any process has it open).
    static int16_t Create(const ServerFolder& folder, const std::string& name, const FileDef& def, IfExists ifExists);
    // Whether the folder has a file `name`.
    static int16_t Exists(const ServerFolder& folder, const std::string& name, bool* exists);

    const std::string& Path() const override { return path_; }
    const FileKey& Key() const override { return key_; }
    const FileDef& Def() const override { return *def_; }
    uint64_t DefinitionGeneration() const override { return definitionGeneration_; }

    // Nothing here can tell cheaply that the server's state is unchanged, so every stamp is
    // unknown and nothing read in an earlier call is served again.
    void BeginCall() override { locks_->ForgetWriteHold(); }
    const ChangeStamp& CallStamp() const override { return unknown_; }
    bool MayHaveChangedSinceCallStart() const override { return true; }
    int16_t Refresh() override;
    int16_t ConfirmDefinition() override;

    void RequireFullSync() override { session_->RequireDurableCommit(); }

    RecordLocks& Locks() override { return *locks_; }
    int16_t AcquireExclusiveOpen() override;
    void ReleaseExclusiveOpen() override;

    int16_t Begin() override;
    int16_t Commit() override;
    void Rollback() override;
    void SetWriteWait(LockWait wait) override { writeWait_ = wait == LockWait::kWait; }

    bool InTransaction() const override { return inTransaction_; }
    int16_t JoinTransaction() override;
    int16_t EndTransaction(Outcome outcome) override;

    int16_t ReadRecord(int64_t position, std::string* data, bool* found) override;
    int16_t InsertRecord(const uint8_t* data, size_t size, int64_t* position) override;
    int16_t UpdateRecord(int64_t position, const std::string& expected, const uint8_t* data, size_t size,
                         bool* changed) override;
    int16_t DeleteRecord(int64_t position, const std::string& expected, bool* changed) override;
    int16_t StepRecord(Seek kind, int64_t from, int64_t* position, std::string* data, bool* found) override;
    int16_t StepRecords(Direction direction, int64_t from, int limit, std::vector<FetchedRow>* rows,
                        size_t* count) override;
    int16_t CountRecords(int64_t* count) override;
    int16_t CountRecordsBefore(int64_t position, int64_t* count) override;
    int16_t RecordAtOffset(int64_t offset, int64_t* position, std::string* data, bool* found) override;

    int16_t SeekEntry(const KeyInfo& key, Seek kind, const std::string& value, int64_t sequence, KeyEntry* entry,
                      std::string* data, bool* found) override;
    int16_t SeekEntries(const KeyInfo& key, Direction direction, const KeyEntry& from, bool vacated, int limit,
                        std::vector<FetchedRow>* rows, size_t* count) override;
    int16_t EntryOfRecord(const KeyInfo& key, const std::string& value, int64_t position, KeyEntry* entry,
                          bool* found) override;
    int16_t EntryAtOffset(const KeyInfo& key, int64_t offset, KeyEntry* entry, std::string* data, bool* found) override;
    int16_t InsertEntry(const KeyInfo& key, const std::string& value, int64_t position, int64_t* sequence) override;
    int16_t DeleteEntry(const KeyInfo& key, const std::string& value, int64_t position) override;
    int16_t CountEntries(const KeyInfo& key, int64_t* count) override;
    int16_t CountDistinct(const KeyInfo& key, int64_t* count) override;
    int16_t CountEntriesBelow(const KeyInfo& key, const std::string& value, int64_t* count) override;

    int16_t ListRecords(int64_t after, int limit, std::vector<FetchedRow>* rows, size_t* count) override;
    int16_t ListEntries(const KeyInfo& key, const KeyEntry* after, int limit, std::vector<KeyEntry>* entries) override;

    int16_t AddKey(int number, const std::vector<BtrKeySpec>& specs, const std::vector<AcsBlock>& newAcs) override;
    int16_t DropKey(int number, Renumbering renumbering) override;
    int16_t SetOwner(const OwnerSeal& owner) override;
    // A server file has no bytes of its own for a file copy to take: its backups are the
    // server's (pg_dump and the like), so continuous operation is refused.
    int16_t BeginContinuous() override { return btr::kStatusOperationNotAllowed; }
    void EndContinuous() override {}

private:
    PgFile() = default;
    // Takes the file's row for this write or the process's transaction: at once when it is
    // free, else after waiting up to the busy timeout (85 at once with the no-wait bias, or
    // while another process's exclusive transaction has the file). Reads the definition again
    // when it changed.
    int16_t LockFileRow(bool insideServerTransaction);
    int16_t TryLockFileRow(bool insideServerTransaction, bool wait, int64_t hold, bool* changed);
    // The same for one write outside it, sent ahead with the write's statements.
    int16_t SendBeginWrite();
    int16_t LoadDefinition();
    // Reads the definition again when its generation on the server is not the one read.
    int16_t ReadDefinitionIfChanged();
    // Takes the file's open lock (shared, or exclusive for an exclusive open) on the connection
    // the session has now; 85 (88 for an exclusive open) when another process stands in the way.
    int16_t TakeOpenLock();
    // After the folder's connection was lost and made again: the server ended every lock of
    // the old one, so the open lock is taken again and the record locks are forgotten.
    int16_t Reattach();
    // The texts of the statements the calls make most, each made once for this file, on first
    // use: they name the folder's schema, and making them anew on every call cost more than
    // the rest of the call's own work. A statement that varies by kind has a slot per kind.
    enum TextSlot : size_t {
        kTextReadRecord,
        kTextStepRecord,                                                          // + Seek
        kTextStepRecords = kTextStepRecord + static_cast<size_t>(Seek::kCount_),  // + Direction
        kTextSeekEntry = kTextStepRecords + 2,                                    // + Seek
        kTextSeekEntries = kTextSeekEntry + static_cast<size_t>(Seek::kCount_),   // + Direction, + 2 with duplicates
        kTextInsertRecord = kTextSeekEntries + 4,                                 // + 1 at a position asked for
        kTextUpdateRecord = kTextInsertRecord + 2,                                // + 1 sent ahead
        kTextDeleteRecord = kTextUpdateRecord + 2,                                // + 1 sent ahead
        kTextInsertEntry = kTextDeleteRecord + 2,  // + 1 with duplicates, + 2 at the pending position
        kTextDeleteEntry = kTextInsertEntry + 4,
        kTextDefinitionCheck,  // + FileRow
        kTextSlots = kTextDefinitionCheck + 3,
    };
    struct StatementText {
        std::string plain;
        std::string checked;  // a read's text that also answers the file's generation
    };
    template <class Make>
    StatementText& Text(size_t slot, Make make) {
        StatementText& text = texts_[slot];
        if (text.plain.empty()) text.plain = make();
        return text;
    }
    // Runs a statement of this file's: $1 is always the file's id. The call's first one also
    // checks the definition (a read by answering the file's generation with its own rows).
    int16_t Run(StatementText& text, PgParams& params, PgResult* result);
    int16_t Run(const std::string& sql, PgParams& params, PgResult* result = nullptr) {
        StatementText once{sql, std::string()};
        return Run(once, params, result);
    }
    // Runs a statement that answers one count.
    int16_t RunForCount(const std::string& sql, PgParams& params, int64_t* count);
    // A write's statement: sent ahead inside a write outside the process's transaction, else
    // run at once; `answer` reads its result either way.
    int16_t Write(const std::string& sql, PgParams& params, PgSession::Answer answer = nullptr);
    // Notes a definition found changed, so that the next call reads it again.
    int16_t NoteDefinitionMoved(int16_t status) {
        if (status == kStatusDefinitionMoved) definitionStale_ = true;
        return status;
    }
    // The definition check that a write sends first, and what it does with the file's row.
    enum class FileRow { kRead, kTakeAtOnce, kTakeAtOnceHoldingRecord };
    const std::string& DefinitionCheck(FileRow row);
    PgParams Params() const {
        PgParams params;
        params.Int4(id_);
        return params;
    }
    PgParams KeyParams(const KeyInfo& key) const {
        PgParams params = Params();
        params.Int2(static_cast<int16_t>(key.number));
        return params;
    }
    std::string Table(const char* name) const { return session_->Schema() + "." + name; }
    // Reads entries with their records from `result` (value, seq, position, data) into rows.
    static void ReadRows(const PgResult& result, std::vector<FetchedRow>* rows, size_t* count);

    std::shared_ptr<PgSession> session_;
    std::string path_;
    FileKey key_;
    int32_t id_ = 0;
    std::unique_ptr<AdvisoryLocks> locks_;
    std::unique_ptr<FileDef> def_;
    int64_t serverGeneration_ = 0;
    uint64_t definitionGeneration_ = 0;
    int exclusiveOpens_ = 0;
    uint64_t connectionNumber_ = 0;  // the session's connection the locks were taken on
    bool inTransaction_ = false;
    uint64_t joinedTransaction_ = 0;  // the session's server transaction this file joined
    bool writeWait_ = true;
    bool redefining_ = false;
    bool deferring_ = false;        // a write outside the process's transaction sends ahead
    bool checkDefinition_ = false;  // the call's first read checks the definition
    bool definitionStale_ = false;  // a check found it changed: the next call reads it again
    bool takeRowFirst_ = false;  // a write found the definition changed or the row busy: it runs again holding the row
    ChangeStamp unknown_;
    std::array<StatementText, kTextSlots> texts_;
};

}  // namespace w3b

#endif  // W3BTRV7_STORE_POSTGRES_PG_FILE_H
