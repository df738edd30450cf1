#include "store/sqlite/sqlite_file.h"

#include <cstdio>
#include <cstring>
#include <random>
#include <utility>

#include "store/sqlite/connection.h"
#include "store/sqlite/schema.h"

namespace w3b {

namespace {

// Takes the file at `path` for Create: made if missing (only made, never taken over, when
// `ifExists` refuses), nobody else has it open, no journal of an older file beside it, and
// empty. `guard` keeps it until the new file is written.
int16_t ClaimForCreate(const std::string& path, IfExists ifExists, platform::File* guard) {
    platform::FileOptions options;
    options.access = platform::FileAccess::kReadWrite;
    options.create = true;
    options.createNew = ifExists == IfExists::kRefuse;
    platform::FileStatus fs = platform::File::Open(path.c_str(), options, guard);
    if (fs == platform::FileStatus::kAlreadyExists) return btr::kStatusFileAlreadyExists;
    if (fs != platform::FileStatus::kOk) return btr::kStatusCreateIoError;
    // Nobody may have the file open while it is replaced; opens wait for us by failing.
    fs = guard->LockRange(kOpenLockOffset, 1, platform::RangeLock::kExclusive, false);
    if (fs == platform::FileStatus::kAccessDenied) return btr::kStatusFileInUse;
    if (fs != platform::FileStatus::kOk) return btr::kStatusCreateIoError;
    // A journal left beside an old file would be replayed into the new one. SQLite names its
    // journals after the database's full path with links resolved, so a file created through
    // another spelling of its path loses the same ones.
    std::string databaseName = DatabaseName(path);
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        std::string side = databaseName + suffix;
        if (platform::FileExists(side.c_str())) platform::DeleteFile(side.c_str());
    }
    return guard->Truncate(0) == platform::FileStatus::kOk ? btr::kStatusSuccess : btr::kStatusCreateIoError;
}

// Writes the database of a new file at `path`, empty and claimed. An SQLite result code.
int WriteNewDatabase(const std::string& path, const FileDef& def) {
    sqlite3* db = nullptr;
    int rc = OpenConnection(path, Access::kReadWrite, &db);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        rc = Configure(db, ChooseShareMode(path).mode);
    }
    if (rc == SQLITE_OK) rc = Execute(db, "BEGIN IMMEDIATE");
    if (rc == SQLITE_OK) rc = WriteSchema(db, def);
    if (rc == SQLITE_OK) rc = Execute(db, "COMMIT");
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        return rc;
    }
    return sqlite3_close(db);
}

// A new file's name while it is written: its final name, this and eight hexadecimal digits.
constexpr char kNewFileSuffix[] = ".new-";
constexpr size_t kNewFileSuffixLength = sizeof kNewFileSuffix - 1 + 8;

// Writes a new file under a name of its own beside `path`, then moves it to `path` unless a
// file has appeared there meanwhile (59). So no other process ever finds it half made: an empty
// file there would answer 30 to every open, and nobody would ever finish it. kNoRoomBeside when
// the longer name would pass the longest path a data file may have (and Windows' own limit),
// or when the file system cannot move it into place without replacing.
constexpr int16_t kNoRoomBeside = -1;

int16_t CreateBeside(const std::string& path, const FileDef& def) {
    if (path.size() + kNewFileSuffixLength >= static_cast<size_t>(btr::kMaxPathLength)) return kNoRoomBeside;
    std::random_device random;
    std::string temporary;
    platform::FileOptions options;
    options.access = platform::FileAccess::kReadWrite;
    options.createNew = true;
    platform::FileStatus fs = platform::FileStatus::kAlreadyExists;
    for (int attempt = 0; attempt < 8 && fs == platform::FileStatus::kAlreadyExists; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, "%s%08x", kNewFileSuffix, static_cast<unsigned>(random()));
        temporary = path + suffix;
        platform::File claim;
        fs = platform::File::Open(temporary.c_str(), options, &claim);
    }
    if (fs != platform::FileStatus::kOk) return kNoRoomBeside;
    int rc = WriteNewDatabase(temporary, def);
    if (rc != SQLITE_OK) {
        DeleteDatabase(temporary);
        return StatusOf(rc) == btr::kStatusDiskFull ? btr::kStatusDiskFull : btr::kStatusCreateIoError;
    }
    fs = platform::RenameNoReplace(temporary.c_str(), path.c_str());
    if (fs == platform::FileStatus::kOk) return btr::kStatusSuccess;
    DeleteDatabase(temporary);
    // A file system that can neither link nor rename without replacing (FAT, some shares)
    // still gets its file, made in place under its lock.
    return fs == platform::FileStatus::kAlreadyExists ? btr::kStatusFileAlreadyExists : kNoRoomBeside;
}

}  // namespace

SqliteFile::~SqliteFile() {
    keys_.Reset();
    records_.Finalize();
    for (Statement* s : {&schemaVersionStmt_, &begin_, &commit_, &rollback_, &savepoint_, &release_, &rollbackTo_}) {
        s->Finalize();
    }
    watch_.Detach();
    versionWatch_.Detach();
    EndContinuous();
    bool deciding = HoldBackCheckpointOnClose();
    if (db_ != nullptr) sqlite3_close_v2(db_);
    db_ = nullptr;
    if (deciding) openLock_.UnlockRange(kCheckpointLockOffset, 1);
    // openLock_ closes after the database: its descriptor must outlive SQLite's own.
}

int16_t SqliteFile::Open(const std::string& path, const FileKey& key, std::unique_ptr<FileConnection>* out) {
    std::unique_ptr<SqliteFile> file(new SqliteFile());
    file->path_ = path;
    file->key_ = key;
    // The descriptor that carries this process's open, exclusive-open and record locks. Exclusive
    // locks need it writable; a file the process may only read still opens for reading.
    platform::FileOptions options;
    options.access = platform::FileAccess::kReadWrite;
    platform::FileStatus fs = platform::File::Open(path.c_str(), options, &file->openLock_);
    bool readOnly = fs == platform::FileStatus::kAccessDenied;
    if (readOnly) {
        options.access = platform::FileAccess::kRead;
        fs = platform::File::Open(path.c_str(), options, &file->openLock_);
    }
    if (fs == platform::FileStatus::kNotFound) return btr::kStatusFileNotFound;
    if (fs != platform::FileStatus::kOk) return btr::kStatusAccessDenied;
    fs = file->openLock_.LockRange(kOpenLockOffset, 1, platform::RangeLock::kShared, false);
    if (fs == platform::FileStatus::kAccessDenied) return btr::kStatusFileInUse;
    if (fs != platform::FileStatus::kOk) return btr::kStatusIoError;
    file->shareMode_ = ChooseShareMode(path).mode;
    if (int16_t status = file->HoldShareMode(readOnly); status != btr::kStatusSuccess) return status;

    if (int16_t status = file->Connect(readOnly); status != btr::kStatusSuccess) return status;
    *out = std::move(file);
    return btr::kStatusSuccess;
}

int16_t SqliteFile::Connect(bool readOnly) {
    int rc = OpenConnection(path_, readOnly ? Access::kReadOnly : Access::kReadWrite, &db_);
    if (rc != SQLITE_OK) return rc == SQLITE_CANTOPEN ? btr::kStatusFileNotFound : StatusOf(rc);
    sqlite3_busy_handler(db_, &SqliteFile::BusyWait, this);
    // The file must prove to be one of ours before anything is written to it: switching another
    // program's database to WAL, or making an empty file a database, cannot be undone by a 30.
    if (int16_t status = Refresh(); status != btr::kStatusSuccess) return status;
    rc = readOnly ? ConfigureReading(db_, shareMode_) : Configure(db_, shareMode_);
    if (rc != SQLITE_OK) return rc == SQLITE_NOTADB ? btr::kStatusNotABtrieveFile : StatusOf(rc);
    readOnly_ = readOnly;
    // Without shared memory there is no header to watch: the stamps come from the file's
    // version, read under its lock (version_watch.h).
    if (shareMode_ == ShareMode::kNetworkShare) return btr::kStatusSuccess;
    if (!readOnly) sqlite3_wal_hook(db_, &SqliteFile::AfterCommit, this);
    watch_.Attach(db_);
    return btr::kStatusSuccess;
}

int16_t SqliteFile::HoldShareMode(bool readOnly) {
    const bool network = shareMode_ == ShareMode::kNetworkShare;
    const uint64_t mine = network ? kNetworkShareLockOffset : kOneComputerLockOffset;
    const uint64_t other = network ? kOneComputerLockOffset : kNetworkShareLockOffset;
    if (openLock_.LockRange(mine, 1, platform::RangeLock::kShared, false) != platform::FileStatus::kOk) {
        return btr::kStatusIoError;
    }
    // Held first, looked for second: of two openers in different modes at the same moment at
    // least one finds the other. A descriptor that may only read cannot look (an exclusive lock
    // needs write access); a reader changes no journal mode, and writers find it.
    if (readOnly) return btr::kStatusSuccess;
    const uint64_t look = network ? kNetworkShareLookOffset : kOneComputerLookOffset;
    if (openLock_.LockRange(look, 1, platform::RangeLock::kExclusive, true) != platform::FileStatus::kOk) {
        return btr::kStatusIoError;
    }
    platform::FileStatus fs = openLock_.LockRange(other, 1, platform::RangeLock::kExclusive, false);
    if (fs == platform::FileStatus::kOk) openLock_.UnlockRange(other, 1);
    openLock_.UnlockRange(look, 1);
    if (fs == platform::FileStatus::kOk) return btr::kStatusSuccess;
    return fs == platform::FileStatus::kAccessDenied ? btr::kStatusIncompatibleMode : btr::kStatusIoError;
}

bool SqliteFile::IsNewFileInTheMaking(const std::string& name) {
    if (name.size() <= kNewFileSuffixLength) return false;
    const size_t at = name.size() - kNewFileSuffixLength;
    if (name.compare(at, sizeof kNewFileSuffix - 1, kNewFileSuffix) != 0) return false;
    return name.find_first_not_of("0123456789abcdef", at + sizeof kNewFileSuffix - 1) == std::string::npos;
}

int16_t SqliteFile::Create(const std::string& path, const FileDef& def, IfExists ifExists) {
    if (!platform::FileExists(path.c_str())) {
        int16_t status = CreateBeside(path, def);
        // Made by another process meanwhile: replaced below only when asked for. Without room
        // for a name beside it, the file is made in place, under its lock.
        if (status != kNoRoomBeside && (status != btr::kStatusFileAlreadyExists || ifExists == IfExists::kRefuse)) {
            return status;
        }
    } else if (ifExists == IfExists::kRefuse) {
        return btr::kStatusFileAlreadyExists;
    }
    platform::File guard;
    if (int16_t status = ClaimForCreate(path, ifExists, &guard); status != btr::kStatusSuccess) return status;
    int rc = WriteNewDatabase(path, def);
    if (rc == SQLITE_OK) return btr::kStatusSuccess;
    return StatusOf(rc) == btr::kStatusDiskFull ? btr::kStatusDiskFull : btr::kStatusCreateIoError;
}

int SqliteFile::BusyWait(void* self, int count) {
    auto* file = static_cast<SqliteFile*>(self);
    // Another process's exclusive transaction keeps the database busy until it ends: the
    // write is refused at once (85) instead of after the timeout. Anything else waits: a read
    // or a commit meets a lock only while another workstation commits (with a rollback journal).
    if (file->beginningWrite_ &&
        (!file->writeWait_ || file->locks_.CheckFileFree(LockWait::kAnswerAtOnce) != btr::kStatusSuccess)) {
        return 0;
    }
    if (count == 0) file->busyWaitedMs_ = 0;
    int pause = count < 10 ? count + 1 : 10;
    if (file->busyWaitedMs_ >= kBusyTimeoutMs) return 0;
    file->busyWaitedMs_ += pause;
    sqlite3_sleep(pause);
    return 1;
}

void SqliteFile::RequireFullSync() { Execute(db_, "PRAGMA synchronous=FULL"); }

int SqliteFile::SynchronousLevelForTest() {
    Statement stmt;
    if (stmt.Prepare(db_, "PRAGMA synchronous") != SQLITE_OK || sqlite3_step(stmt.Get()) != SQLITE_ROW) return -1;
    return sqlite3_column_int(stmt.Get(), 0);
}

int16_t SqliteFile::Refresh() {
    // Nothing committed since the definition was read: it is still the file's.
    if (def_ != nullptr && callStamp_.Same(refreshedAt_)) return btr::kStatusSuccess;
    // Inside this connection's transaction nobody else can write, and the definition was made
    // sure of when it began: definition changes are refused inside transactions.
    if (def_ != nullptr && inTransaction_) return btr::kStatusSuccess;
    int16_t status = ReloadIfVersionChanged();
    if (status == btr::kStatusSuccess) refreshedAt_ = callStamp_;
    return status;
}

int16_t SqliteFile::ReloadIfRedefined() {
    if (def_ != nullptr && Stamp().Same(refreshedAt_)) return btr::kStatusSuccess;
    return ReloadIfVersionChanged();
}

int16_t SqliteFile::ReloadIfVersionChanged() {
    sqlite3_stmt* stmt = Prepared(schemaVersionStmt_, "PRAGMA schema_version");
    if (stmt == nullptr) return btr::kStatusNotABtrieveFile;
    int64_t version;
    {
        StatementScope scope(stmt);
        int rc = sqlite3_step(stmt);
        if (rc != SQLITE_ROW) return rc == SQLITE_NOTADB ? btr::kStatusNotABtrieveFile : StatusOf(rc);
        version = sqlite3_column_int64(stmt, 0);
    }
    if (version == schemaVersion_ && def_ != nullptr) return btr::kStatusSuccess;
    int16_t status = LoadDefinition();
    if (status == btr::kStatusSuccess) schemaVersion_ = version;
    return status;
}

int16_t SqliteFile::LoadDefinition() {
    std::unique_ptr<FileDef> def;
    if (int16_t status = ReadDefinition(db_, &def); status != btr::kStatusSuccess) return status;
    keys_.Reset();
    def_ = std::move(def);
    ++definitionGeneration_;
    return btr::kStatusSuccess;
}

// ---- Records --------------------------------------------------------------------------------------

int16_t SqliteFile::InsertRecord(const uint8_t* data, size_t size, int64_t* position) {
    int16_t status = records_.Insert(data, size, position);
    // A position past the 4-byte range is refused after the row went in: it must go again.
    bool added = status == btr::kStatusSuccess || (status == btr::kStatusDiskFull && *position > 0xFFFFFFFFLL);
    if (added && Unprotected()) undo_.push_back(Undo{nullptr, std::string(), *position});
    if (status == btr::kStatusSuccess) wroteRecord_ = true;
    return status;
}

int16_t SqliteFile::InsertEntry(const KeyInfo& key, const std::string& value, int64_t position, int64_t* sequence) {
    int16_t status = keys_.InsertEntry(key, value, position, sequence);
    if (status == btr::kStatusSuccess && Unprotected()) undo_.push_back(Undo{&key, value, position});
    return status;
}

int16_t SqliteFile::DeleteEntry(const KeyInfo& key, const std::string& value, int64_t position) {
    if (int16_t status = ProtectOperation(); status != btr::kStatusSuccess) return status;
    return keys_.DeleteEntry(key, value, position);
}

int16_t SqliteFile::UpdateRecord(int64_t position, const std::string& expected, const uint8_t* data, size_t size,
                                 bool* changed) {
    if (int16_t status = ProtectOperation(); status != btr::kStatusSuccess) return status;
    int16_t status = records_.Update(position, expected, data, size, changed);
    // SQLite leaves a page alone when a row is overwritten with the bytes it has.
    bool sameBytes = size == expected.size() && (size == 0 || std::memcmp(data, expected.data(), size) == 0);
    if (status == btr::kStatusSuccess && *changed && !sameBytes) wroteRecord_ = true;
    return status;
}

int16_t SqliteFile::DeleteRecord(int64_t position, const std::string& expected, bool* changed) {
    if (int16_t status = ProtectOperation(); status != btr::kStatusSuccess) return status;
    int16_t status = records_.Delete(position, expected, changed);
    if (status == btr::kStatusSuccess && *changed) wroteRecord_ = true;
    return status;
}

// ---- Transactions --------------------------------------------------------------------------------

int16_t SqliteFile::AcquireExclusiveOpen() {
    if (exclusiveOpens_ == 0) {
#ifdef _WIN32
        // Windows does not convert a lock in place: the shared one goes first, and comes back
        // when the exclusive one is refused.
        openLock_.UnlockRange(kOpenLockOffset, 1);
#endif
        // On POSIX the shared lock becomes exclusive in one step, or stays as it was.
        platform::FileStatus fs = openLock_.LockRange(kOpenLockOffset, 1, platform::RangeLock::kExclusive, false);
        if (fs != platform::FileStatus::kOk) {
#ifdef _WIN32
            openLock_.LockRange(kOpenLockOffset, 1, platform::RangeLock::kShared, false);
#endif
            return fs == platform::FileStatus::kAccessDenied ? btr::kStatusIncompatibleMode : btr::kStatusAccessDenied;
        }
    }
    ++exclusiveOpens_;
    return btr::kStatusSuccess;
}

void SqliteFile::ReleaseExclusiveOpen() {
    if (exclusiveOpens_ <= 0 || --exclusiveOpens_ > 0) return;
        // Back to an ordinary open (in one step on POSIX).
#ifdef _WIN32
    openLock_.UnlockRange(kOpenLockOffset, 1);
#endif
    openLock_.LockRange(kOpenLockOffset, 1, platform::RangeLock::kShared, false);
}

int16_t SqliteFile::JoinTransaction() {
    if (inTransaction_) return btr::kStatusSuccess;
    beginningWrite_ = true;
    int rc = Execute(db_, "BEGIN IMMEDIATE");
    beginningWrite_ = false;
    if (rc != SQLITE_OK) return StatusOf(rc);
    if (int16_t status = ReloadIfRedefined(); status != btr::kStatusSuccess) {
        Execute(db_, "ROLLBACK");
        return status;
    }
    inTransaction_ = true;
    keys_.KeepGroupEnds(true);
    return btr::kStatusSuccess;
}

int16_t SqliteFile::EndTransaction(Outcome outcome) {
    bool commit = outcome == Outcome::kCommit;
    if (!inTransaction_) return btr::kStatusSuccess;
    inTransaction_ = false;
    keys_.KeepGroupEnds(false);
    EndOperation();
    locks_.UnlockFile();
    ++ownWrites_;  // what was read inside may be undone now
    callStamp_ = ChangeStamp();
    if (sqlite3_get_autocommit(db_)) return commit ? btr::kStatusTransactionError : btr::kStatusSuccess;
    if (!commit) {
        Execute(db_, "ROLLBACK");
        return btr::kStatusSuccess;
    }
    int rc = Execute(db_, "COMMIT");
    if (rc != SQLITE_OK) {
        Execute(db_, "ROLLBACK");
        return StatusOf(rc);
    }
    return btr::kStatusSuccess;
}

int16_t SqliteFile::Begin() {
    if (inTransaction_) {
        // A refused operation undoes only itself: its inserts are listed to be deleted again,
        // other writes open a savepoint before they write.
        if (sqlite3_get_autocommit(db_)) return btr::kStatusTransactionError;
        ++ownWrites_;
        EndOperation();
        operationOpen_ = true;
        return btr::kStatusSuccess;
    }
    wroteRecord_ = false;
    sqlite3_stmt* stmt = Prepared(begin_, "BEGIN IMMEDIATE");
    if (stmt == nullptr) return btr::kStatusIoError;
    {
        StatementScope scope(stmt);
        beginningWrite_ = true;
        int rc = sqlite3_step(stmt);
        beginningWrite_ = false;
        if (int16_t status = StatusOf(rc); status != btr::kStatusSuccess) return status;
    }
    // While this call waited for the write lock, another process may have added or dropped a
    // key; the operation must write the keys the file has now.
    int16_t status = ReloadIfRedefined();
    if (status != btr::kStatusSuccess) Rollback();
    return status;
}

int16_t SqliteFile::ProtectOperation() {
    if (!operationOpen_ || operationSavepoint_) return btr::kStatusSuccess;
    int rc = StepOnce(Prepared(savepoint_, "SAVEPOINT w3b_operation"));
    operationSavepoint_ = rc == SQLITE_OK;
    return StatusOf(rc);
}

void SqliteFile::EndOperation() {
    operationOpen_ = false;
    operationSavepoint_ = false;
    undo_.clear();
}

int16_t SqliteFile::Commit() {
    if (inTransaction_) {
        int rc = operationSavepoint_ ? StepOnce(Prepared(release_, "RELEASE w3b_operation")) : SQLITE_OK;
        if (rc != SQLITE_OK) {
            Rollback();
            return StatusOf(rc);
        }
        EndOperation();
        return btr::kStatusSuccess;
    }
    sqlite3_stmt* stmt = Prepared(commit_, "COMMIT");
    if (stmt == nullptr) return btr::kStatusIoError;
    // Still under the write lock: nobody else can commit before this write does.
    uint32_t commitsBefore = 0;
    ChangeStamp before = Stamp(&commitsBefore);
    int rc;
    {
        StatementScope scope(stmt);
        rc = sqlite3_step(stmt);
    }
    if (rc != SQLITE_DONE) {
        Rollback();
        return StatusOf(rc);
    }
    if (!redefining_) {
        if (wroteRecord_) KeepDefinitionAfterCommit(before, commitsBefore);
        return btr::kStatusSuccess;
    }
    redefining_ = false;
    schemaVersion_ = -1;
    refreshedAt_ = ChangeStamp();
    return Refresh();
}

void SqliteFile::KeepDefinitionAfterCommit(const ChangeStamp& before, uint32_t commitsBefore) {
    // Begin made sure of the definition under the write lock, held until the commit, and only
    // Create and Drop Index change it. The write changed a page, so its commit added one to the
    // header's count of commits: when the header shows that and no later commit, the definition
    // is still the file's in the state the header stands for, and the next call need not read
    // the schema version again (which every call after a write would do otherwise).
    uint32_t commitsAfter = 0;
    ChangeStamp after = Stamp(&commitsAfter);
    if (before.valid && after.valid && commitsAfter == commitsBefore + 1) refreshedAt_ = after;
}

void SqliteFile::Rollback() {
    keys_.ForgetGroupEnds();
    if (redefining_) {
        // Statements prepared for the changed keys belong to tables that are gone again.
        redefining_ = false;
        keys_.Reset();
    }
    if (sqlite3_get_autocommit(db_)) {
        EndOperation();
        return;
    }
    if (inTransaction_) {
        if (operationSavepoint_) {
            StepOnce(Prepared(rollbackTo_, "ROLLBACK TO w3b_operation"));
            StepOnce(Prepared(release_, "RELEASE w3b_operation"));
        }
        // The inserts made before the savepoint (or without one), newest first.
        bool undone = true;
        for (auto it = undo_.rbegin(); undone && it != undo_.rend(); ++it) {
            int16_t status = it->key == nullptr ? records_.Erase(it->position)
                                                : keys_.DeleteEntry(*it->key, it->value, it->position);
            undone = status == btr::kStatusSuccess;
        }
        EndOperation();
        // What cannot be undone must not be committed: the whole transaction goes, and its End
        // Transaction answers that it no longer exists.
        if (!undone) Execute(db_, "ROLLBACK");
        return;
    }
    sqlite3_stmt* stmt = Prepared(rollback_, "ROLLBACK");
    if (stmt == nullptr) {
        Execute(db_, "ROLLBACK");
        return;
    }
    StatementScope scope(stmt);
    sqlite3_step(stmt);
}

// ---- Definition changes --------------------------------------------------------------------------

int16_t SqliteFile::AddKey(int number, const std::vector<BtrKeySpec>& specs, const std::vector<AcsBlock>& newAcs) {
    if (int16_t status = ProtectOperation(); status != btr::kStatusSuccess) return status;
    std::unique_ptr<FileDef> next = def_->Copy();
    for (const AcsBlock& block : newAcs) next->acs.push_back(block);
    next->AddKey(number, specs);
    const KeyInfo& key = *next->Key(number);

    redefining_ = true;
    int16_t status = StatusOf(AddKeyToSchema(db_, number, key.specs, newAcs, def_->acs.size()));
    if (status == btr::kStatusSuccess) status = FillKeyTable(db_, key, def_->RecordLength());
    if (status != btr::kStatusSuccess) Rollback();
    return status;
}

int16_t SqliteFile::DropKey(int number, Renumbering renumbering) {
    if (int16_t status = ProtectOperation(); status != btr::kStatusSuccess) return status;
    redefining_ = true;
    keys_.Reset();
    int rc = DropKeyFromSchema(db_, *def_, number, renumbering);
    if (rc != SQLITE_OK) Rollback();
    return StatusOf(rc);
}

int16_t SqliteFile::SetOwner(const OwnerSeal& owner) {
    if (int16_t status = ProtectOperation(); status != btr::kStatusSuccess) return status;
    redefining_ = true;
    int rc = WriteOwnerToSchema(db_, owner);
    if (rc != SQLITE_OK) Rollback();
    return StatusOf(rc);
}

}  // namespace w3b
