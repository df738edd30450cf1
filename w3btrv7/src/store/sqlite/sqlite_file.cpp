#include "store/sqlite/sqlite_file.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "settings.h"

namespace w3b {

namespace {

constexpr char kFormatName[] = "w3btrv7";
constexpr int kBusyTimeoutMs = 10000;

// Reads map the file instead of copying its pages through a private cache, so a large file costs
// no more per page than a small one. A 32-bit process keeps its address space for the
// application, which may have many files open.
constexpr sqlite3_int64 kMapSize = sizeof(void*) >= 8 ? sqlite3_int64{1} << 30 : 0;

const char* const kSchema =
    "CREATE TABLE w3b_file(id INTEGER PRIMARY KEY CHECK (id = 1), format TEXT NOT NULL,"
    " spec BLOB NOT NULL, version INTEGER NOT NULL);"
    "CREATE TABLE w3b_keyseg(key INTEGER NOT NULL, segment INTEGER NOT NULL, spec BLOB NOT NULL,"
    " PRIMARY KEY (key, segment)) WITHOUT ROWID;"
    "CREATE TABLE w3b_acs(number INTEGER PRIMARY KEY, block BLOB NOT NULL);"
    "CREATE TABLE records(position INTEGER PRIMARY KEY, data BLOB NOT NULL);";

std::string KeyTable(int number) { return "key_" + std::to_string(number); }

std::string CreateKeyTableSql(int number) {
    return "CREATE TABLE " + KeyTable(number) +
           "(value BLOB NOT NULL, seq INTEGER NOT NULL, position INTEGER NOT NULL,"
           " PRIMARY KEY (value, seq)) WITHOUT ROWID";
}

// Every seek returns the entry and, joined, its record; the key table drives the loop.
std::string SeekSql(const std::string& table, Seek kind) {
    std::string head = "SELECT e.value, e.seq, e.position, r.data FROM " + table +
                       " AS e CROSS JOIN records AS r ON r.position = e.position";
    const char* ascending = " ORDER BY e.value, e.seq LIMIT 1";
    const char* descending = " ORDER BY e.value DESC, e.seq DESC LIMIT 1";
    switch (kind) {
        case Seek::kFirst: return head + ascending;
        case Seek::kLast: return head + descending;
        case Seek::kEqual: return head + " WHERE e.value = ?1" + ascending;
        case Seek::kGreater: return head + " WHERE e.value > ?1" + ascending;
        case Seek::kGreaterOrEqual: return head + " WHERE e.value >= ?1" + ascending;
        case Seek::kLess: return head + " WHERE e.value < ?1" + descending;
        case Seek::kLessOrEqual: return head + " WHERE e.value <= ?1" + descending;
        case Seek::kNext: return head + " WHERE (e.value, e.seq) > (?1, ?2)" + ascending;
        case Seek::kPrevious: return head + " WHERE (e.value, e.seq) < (?1, ?2)" + descending;
        default: return std::string();
    }
}

void ReadEntry(sqlite3_stmt* stmt, KeyEntry* entry, std::string* data) {
    entry->value = ColumnBlob(stmt, 0);
    entry->sequence = sqlite3_column_int64(stmt, 1);
    entry->position = sqlite3_column_int64(stmt, 2);
    if (data != nullptr) *data = ColumnBlob(stmt, 3);
}

// Copies a definition and adds one more key to the copy.
std::unique_ptr<FileDef> CopyDefinition(const FileDef& from) {
    auto copy = std::make_unique<FileDef>();
    copy->spec = from.spec;
    copy->versionByte = from.versionByte;
    copy->acs = from.acs;
    for (const KeyInfo& key : from.keys) copy->AddKey(key.number, key.specs);
    return copy;
}

// The name SQLite gives the database at `path`, from which it names the journals beside it.
std::string DatabaseName(const std::string& path) {
    sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
    if (vfs == nullptr || vfs->mxPathname <= 0) return path;
    std::string full(static_cast<size_t>(vfs->mxPathname) + 1, '\0');
    if (vfs->xFullPathname(vfs, path.c_str(), vfs->mxPathname + 1, full.data()) != SQLITE_OK) return path;
    full.resize(std::strlen(full.c_str()));
    return full;
}

// A URI naming `path` as a database that cannot change: SQLite then neither locks it nor
// looks for its journals.
std::string ImmutableUri(const std::string& path) {
    std::string uri = "file:";
    if (path.size() > 1 && path[1] == ':') uri += '/';  // a Windows drive letter
    for (char c : path) {
        switch (c) {
            case '\\': uri += '/'; break;
            case '%': uri += "%25"; break;
            case '?': uri += "%3f"; break;
            case '#': uri += "%23"; break;
            default: uri += c;
        }
    }
    return uri + "?immutable=1";
}

}  // namespace

int SqliteFile::Configure(sqlite3* db) {
    int rc = Execute(db, "PRAGMA journal_mode=WAL");
    if (rc != SQLITE_OK) return rc;
    Execute(db, FullSyncSetting() ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL");
    return ConfigureReading(db);
}

int SqliteFile::ConfigureReading(sqlite3* db) {
    return Execute(db, ("PRAGMA mmap_size=" + std::to_string(kMapSize)).c_str());
}

int16_t SqliteFile::StatusOf(int rc) {
    switch (rc & 0xFF) {
        case SQLITE_OK:
        case SQLITE_DONE:
        case SQLITE_ROW: return btr::kStatusSuccess;
        case SQLITE_CONSTRAINT: return btr::kStatusDuplicateKey;
        case SQLITE_BUSY:
        case SQLITE_LOCKED: return btr::kStatusFileInUse;
        case SQLITE_FULL: return btr::kStatusDiskFull;
        case SQLITE_READONLY:
        case SQLITE_PERM: return btr::kStatusAccessDenied;
        case SQLITE_NOTADB: return btr::kStatusNotABtrieveFile;
        default: return btr::kStatusIoError;
    }
}

SqliteFile::~SqliteFile() {
    keyStatements_.clear();
    for (Statement* s : {&schemaVersionStmt_, &begin_, &commit_, &rollback_, &savepoint_, &release_, &rollbackTo_, &readRecord_, &insertRecord_,
                         &updateRecord_, &deleteRecord_, &countRecords_, &countBefore_, &recordAtOffset_}) {
        s->Finalize();
    }
    for (Statement& s : step_) s.Finalize();
    for (Statement& s : stepBatch_) s.Finalize();
    watch_.Detach();
    if (db_ != nullptr) sqlite3_close_v2(db_);
    db_ = nullptr;
    // openLock_ closes after the database: its descriptor must outlive SQLite's own.
}

int16_t SqliteFile::Open(const std::string& path, const platform::FileIdentity& identity,
                         std::unique_ptr<FileConnection>* out) {
    std::unique_ptr<SqliteFile> file(new SqliteFile());
    file->path_ = path;
    file->identity_ = identity;
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

    int rc = file->Connect(readOnly);
    if (rc != SQLITE_OK) return rc == SQLITE_CANTOPEN ? btr::kStatusFileNotFound : StatusOf(rc);
    sqlite3_busy_handler(file->db_, &SqliteFile::BusyWait, file.get());
    // The file must prove to be one of ours before anything is written to it: switching another
    // program's database to WAL, or making an empty file a database, cannot be undone by a 30.
    if (int16_t status = file->Refresh(); status != btr::kStatusSuccess) return status;
    rc = readOnly ? ConfigureReading(file->db_) : Configure(file->db_);
    if (rc != SQLITE_OK) return rc == SQLITE_NOTADB ? btr::kStatusNotABtrieveFile : StatusOf(rc);
    file->watch_.Attach(file->db_);
    *out = std::move(file);
    return btr::kStatusSuccess;
}

int SqliteFile::Connect(bool readOnly) {
    if (!readOnly) return sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    // On read-only media SQLite cannot make the shared-memory file a WAL reader needs; there
    // nobody can change the file either, so it is read as the unchanging file it is.
    if (platform::IsOnReadOnlyVolume(path_.c_str())) {
        return sqlite3_open_v2(ImmutableUri(path_).c_str(), &db_,
                               SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    }
    return sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
}

int16_t SqliteFile::Create(const std::string& path, const FileDef& def) {
    platform::File guard;
    platform::FileOptions options;
    options.access = platform::FileAccess::kReadWrite;
    options.create = true;
    platform::FileStatus fs = platform::File::Open(path.c_str(), options, &guard);
    if (fs != platform::FileStatus::kOk) return btr::kStatusCreateIoError;
    // Nobody may have the file open while it is replaced; opens wait for us by failing.
    fs = guard.LockRange(kOpenLockOffset, 1, platform::RangeLock::kExclusive, false);
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
    if (guard.Truncate(0) != platform::FileStatus::kOk) return btr::kStatusCreateIoError;

    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    auto fail = [&](int code) {
        sqlite3_close_v2(db);
        int16_t status = StatusOf(code);
        return status == btr::kStatusDiskFull ? status : btr::kStatusCreateIoError;
    };
    if (rc != SQLITE_OK) return fail(rc);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    if ((rc = Configure(db)) != SQLITE_OK) return fail(rc);
    if ((rc = Execute(db, "BEGIN IMMEDIATE")) != SQLITE_OK) return fail(rc);
    if ((rc = Execute(db, kSchema)) != SQLITE_OK) return fail(rc);
    {
        Statement insert;
        if ((rc = insert.Prepare(db, "INSERT INTO w3b_file(id, format, spec, version) VALUES(1, ?1, ?2, ?3)")) !=
            SQLITE_OK) {
            return fail(rc);
        }
        sqlite3_bind_text(insert.Get(), 1, kFormatName, -1, SQLITE_STATIC);
        BindBlob(insert.Get(), 2, &def.spec, sizeof def.spec);
        sqlite3_bind_int(insert.Get(), 3, def.versionByte);
        if ((rc = sqlite3_step(insert.Get())) != SQLITE_DONE) return fail(rc);
    }
    {
        Statement insert;
        if ((rc = insert.Prepare(db, "INSERT INTO w3b_acs(number, block) VALUES(?1, ?2)")) != SQLITE_OK) return fail(rc);
        for (size_t i = 0; i < def.acs.size(); ++i) {
            StatementScope scope(insert.Get());
            sqlite3_bind_int64(insert.Get(), 1, static_cast<int64_t>(i));
            BindBlob(insert.Get(), 2, def.acs[i].data(), def.acs[i].size());
            if ((rc = sqlite3_step(insert.Get())) != SQLITE_DONE) return fail(rc);
        }
    }
    {
        Statement insert;
        if ((rc = insert.Prepare(db, "INSERT INTO w3b_keyseg(key, segment, spec) VALUES(?1, ?2, ?3)")) != SQLITE_OK) {
            return fail(rc);
        }
        for (const KeyInfo& key : def.keys) {
            for (size_t s = 0; s < key.specs.size(); ++s) {
                StatementScope scope(insert.Get());
                sqlite3_bind_int(insert.Get(), 1, key.number);
                sqlite3_bind_int64(insert.Get(), 2, static_cast<int64_t>(s));
                BindBlob(insert.Get(), 3, &key.specs[s], sizeof(BtrKeySpec));
                if ((rc = sqlite3_step(insert.Get())) != SQLITE_DONE) return fail(rc);
            }
            if ((rc = Execute(db, CreateKeyTableSql(key.number).c_str())) != SQLITE_OK) return fail(rc);
        }
    }
    if ((rc = Execute(db, "COMMIT")) != SQLITE_OK) return fail(rc);
    rc = sqlite3_close(db);
    return rc == SQLITE_OK ? btr::kStatusSuccess : btr::kStatusCreateIoError;
}

int SqliteFile::BusyWait(void* self, int count) {
    auto* file = static_cast<SqliteFile*>(self);
    // Another process's exclusive transaction keeps the database busy until it ends: the
    // write is refused at once (85) instead of after the timeout.
    if (!file->writeWait_ || file->locks_.CheckFileFree(LockWait::kAnswerAtOnce) != btr::kStatusSuccess) return 0;
    if (count == 0) file->busyWaitedMs_ = 0;
    int pause = count < 10 ? count + 1 : 10;
    if (file->busyWaitedMs_ >= kBusyTimeoutMs) return 0;
    file->busyWaitedMs_ += pause;
    sqlite3_sleep(pause);
    return 1;
}

void SqliteFile::RequireFullSync() { Execute(db_, "PRAGMA synchronous=FULL"); }

int SqliteFile::SynchronousLevel() {
    Statement stmt;
    if (stmt.Prepare(db_, "PRAGMA synchronous") != SQLITE_OK || sqlite3_step(stmt.Get()) != SQLITE_ROW) return -1;
    return sqlite3_column_int(stmt.Get(), 0);
}

int16_t SqliteFile::Refresh() {
    // Nothing committed since the definition was read: it is still the file's.
    if (def_ != nullptr && callStamp_.Same(refreshedAt_)) return btr::kStatusSuccess;
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
    auto def = std::make_unique<FileDef>();
    {
        Statement stmt;
        if (stmt.Prepare(db_, "SELECT format, spec, version FROM w3b_file WHERE id = 1") != SQLITE_OK) {
            return btr::kStatusNotABtrieveFile;
        }
        if (sqlite3_step(stmt.Get()) != SQLITE_ROW) return btr::kStatusNotABtrieveFile;
        const unsigned char* format = sqlite3_column_text(stmt.Get(), 0);
        std::string spec = ColumnBlob(stmt.Get(), 1);
        if (format == nullptr || std::strcmp(reinterpret_cast<const char*>(format), kFormatName) != 0 ||
            spec.size() != sizeof(BtrFileSpec)) {
            return btr::kStatusNotABtrieveFile;
        }
        std::memcpy(&def->spec, spec.data(), sizeof def->spec);
        def->versionByte = static_cast<uint8_t>(sqlite3_column_int(stmt.Get(), 2));
    }
    {
        Statement stmt;
        if (stmt.Prepare(db_, "SELECT block FROM w3b_acs ORDER BY number") != SQLITE_OK) {
            return btr::kStatusNotABtrieveFile;
        }
        while (sqlite3_step(stmt.Get()) == SQLITE_ROW) {
            std::string block = ColumnBlob(stmt.Get(), 0);
            if (block.size() != static_cast<size_t>(btr::kAcsSize)) return btr::kStatusNotABtrieveFile;
            AcsBlock acs;
            std::memcpy(acs.data(), block.data(), acs.size());
            def->acs.push_back(acs);
        }
    }
    {
        Statement stmt;
        if (stmt.Prepare(db_, "SELECT key, spec FROM w3b_keyseg ORDER BY key, segment") != SQLITE_OK) {
            return btr::kStatusNotABtrieveFile;
        }
        int current = -1;
        std::vector<BtrKeySpec> specs;
        auto flush = [&]() {
            if (current >= 0 && current < kKeyNumberSlots && !specs.empty()) def->AddKey(current, specs);
            specs.clear();
        };
        while (sqlite3_step(stmt.Get()) == SQLITE_ROW) {
            int key = sqlite3_column_int(stmt.Get(), 0);
            std::string bytes = ColumnBlob(stmt.Get(), 1);
            if (bytes.size() != sizeof(BtrKeySpec) || key < 0 || key >= kKeyNumberSlots) {
                return btr::kStatusNotABtrieveFile;
            }
            if (key != current) flush();
            current = key;
            BtrKeySpec spec;
            std::memcpy(&spec, bytes.data(), sizeof spec);
            specs.push_back(spec);
        }
        flush();
    }
    def->spec.keyCount = static_cast<uint8_t>(def->keys.size());
    if (ValidateDefinition(*def) != btr::kStatusSuccess) return btr::kStatusNotABtrieveFile;
    ResetKeyStatements();
    def_ = std::move(def);
    ++definitionGeneration_;
    return btr::kStatusSuccess;
}

void SqliteFile::ResetKeyStatements() { keyStatements_.clear(); }

sqlite3_stmt* SqliteFile::Prepared(Statement& statement, const std::string& sql) {
    if (!statement.IsPrepared() && statement.Prepare(db_, sql.c_str()) != SQLITE_OK) return nullptr;
    return statement.Get();
}

SqliteFile::KeyStatements& SqliteFile::StatementsOf(const KeyInfo& key) {
    if (keyStatements_.size() < static_cast<size_t>(kKeyNumberSlots)) keyStatements_.resize(kKeyNumberSlots);
    auto& slot = keyStatements_[static_cast<size_t>(key.number)];
    if (slot == nullptr) slot = std::make_unique<KeyStatements>();
    return *slot;
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
    int rc = Execute(db_, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) return StatusOf(rc);
    if (int16_t status = ReloadIfRedefined(); status != btr::kStatusSuccess) {
        Execute(db_, "ROLLBACK");
        return status;
    }
    inTransaction_ = true;
    return btr::kStatusSuccess;
}

int16_t SqliteFile::EndTransaction(Outcome outcome) {
    bool commit = outcome == Outcome::kCommit;
    if (!inTransaction_) return btr::kStatusSuccess;
    inTransaction_ = false;
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

namespace {

int StepOnce(sqlite3_stmt* stmt) {
    if (stmt == nullptr) return SQLITE_ERROR;
    StatementScope scope(stmt);
    int rc = sqlite3_step(stmt);
    return rc == SQLITE_DONE || rc == SQLITE_ROW ? SQLITE_OK : rc;
}

}  // namespace

int16_t SqliteFile::Begin() {
    if (inTransaction_) {
        // A savepoint, so that a refused operation undoes only itself.
        if (sqlite3_get_autocommit(db_)) return btr::kStatusTransactionError;
        ++ownWrites_;
        return StatusOf(StepOnce(Prepared(savepoint_, "SAVEPOINT w3b_operation")));
    }
    sqlite3_stmt* stmt = Prepared(begin_, "BEGIN IMMEDIATE");
    if (stmt == nullptr) return btr::kStatusIoError;
    {
        StatementScope scope(stmt);
        if (int16_t status = StatusOf(sqlite3_step(stmt)); status != btr::kStatusSuccess) return status;
    }
    // While this call waited for the write lock, another process may have added or dropped a
    // key; the operation must write the keys the file has now.
    int16_t status = ReloadIfRedefined();
    if (status != btr::kStatusSuccess) Rollback();
    return status;
}

int16_t SqliteFile::Commit() {
    if (inTransaction_) {
        int rc = StepOnce(Prepared(release_, "RELEASE w3b_operation"));
        if (rc != SQLITE_OK) Rollback();
        return StatusOf(rc);
    }
    sqlite3_stmt* stmt = Prepared(commit_, "COMMIT");
    if (stmt == nullptr) return btr::kStatusIoError;
    int rc;
    {
        StatementScope scope(stmt);
        rc = sqlite3_step(stmt);
    }
    if (rc != SQLITE_DONE) {
        Rollback();
        return StatusOf(rc);
    }
    if (!redefining_) return btr::kStatusSuccess;
    redefining_ = false;
    schemaVersion_ = -1;
    refreshedAt_ = ChangeStamp();
    return Refresh();
}

void SqliteFile::Rollback() {
    if (redefining_) {
        // Statements prepared for the changed keys belong to tables that are gone again.
        redefining_ = false;
        ResetKeyStatements();
    }
    if (sqlite3_get_autocommit(db_)) return;
    if (inTransaction_) {
        StepOnce(Prepared(rollbackTo_, "ROLLBACK TO w3b_operation"));
        StepOnce(Prepared(release_, "RELEASE w3b_operation"));
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

// ---- Records -------------------------------------------------------------------------------------

int16_t SqliteFile::ReadRecord(int64_t position, std::string* data, bool* found) {
    sqlite3_stmt* stmt = Prepared(readRecord_, "SELECT data FROM records WHERE position = ?1");
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    sqlite3_bind_int64(stmt, 1, position);
    int rc = sqlite3_step(stmt);
    *found = rc == SQLITE_ROW;
    if (*found) *data = ColumnBlob(stmt, 0);
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? btr::kStatusSuccess : StatusOf(rc);
}

int16_t SqliteFile::InsertRecord(const uint8_t* data, size_t size, int64_t* position) {
    sqlite3_stmt* stmt = Prepared(insertRecord_, "INSERT INTO records(data) VALUES(?1)");
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    BindBlob(stmt, 1, data, size);
    int rc = sqlite3_step(stmt);
    if (rc != SQLITE_DONE) return StatusOf(rc) == btr::kStatusDuplicateKey ? btr::kStatusIoError : StatusOf(rc);
    *position = sqlite3_last_insert_rowid(db_);
    // Positions are 4-byte record addresses.
    if (*position > 0xFFFFFFFFLL) return btr::kStatusDiskFull;
    return btr::kStatusSuccess;
}

int16_t SqliteFile::UpdateRecord(int64_t position, const uint8_t* data, size_t size) {
    sqlite3_stmt* stmt = Prepared(updateRecord_, "UPDATE records SET data = ?2 WHERE position = ?1");
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    sqlite3_bind_int64(stmt, 1, position);
    BindBlob(stmt, 2, data, size);
    return StatusOf(sqlite3_step(stmt));
}

int16_t SqliteFile::DeleteRecord(int64_t position) {
    sqlite3_stmt* stmt = Prepared(deleteRecord_, "DELETE FROM records WHERE position = ?1");
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    sqlite3_bind_int64(stmt, 1, position);
    return StatusOf(sqlite3_step(stmt));
}

int16_t SqliteFile::StepRecord(Seek kind, int64_t from, int64_t* position, std::string* data, bool* found) {
    int index;
    const char* sql;
    switch (kind) {
        case Seek::kFirst:
            index = 0;
            sql = "SELECT position, data FROM records ORDER BY position LIMIT 1";
            break;
        case Seek::kLast:
            index = 1;
            sql = "SELECT position, data FROM records ORDER BY position DESC LIMIT 1";
            break;
        case Seek::kNext:
            index = 2;
            sql = "SELECT position, data FROM records WHERE position > ?1 ORDER BY position LIMIT 1";
            break;
        case Seek::kPrevious:
            index = 3;
            sql = "SELECT position, data FROM records WHERE position < ?1 ORDER BY position DESC LIMIT 1";
            break;
        default: return btr::kStatusInvalidOperation;
    }
    sqlite3_stmt* stmt = Prepared(step_[index], sql);
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    if (index >= 2) sqlite3_bind_int64(stmt, 1, from);
    int rc = sqlite3_step(stmt);
    *found = rc == SQLITE_ROW;
    if (*found) {
        *position = sqlite3_column_int64(stmt, 0);
        *data = ColumnBlob(stmt, 1);
    }
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? btr::kStatusSuccess : StatusOf(rc);
}

int16_t SqliteFile::StepRecords(Direction direction, int64_t from, int limit, std::vector<FetchedRow>* rows,
                                size_t* count) {
    bool forward = direction == Direction::kForward;
    const char* sql = forward ? "SELECT position, data FROM records WHERE position > ?1 ORDER BY position LIMIT ?2"
                              : "SELECT position, data FROM records WHERE position < ?1 ORDER BY position DESC LIMIT ?2";
    sqlite3_stmt* stmt = Prepared(stepBatch_[forward ? 0 : 1], sql);
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    sqlite3_bind_int64(stmt, 1, from);
    sqlite3_bind_int(stmt, 2, limit);
    *count = 0;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        if (rows->size() <= *count) rows->resize(*count + 1);
        FetchedRow& row = (*rows)[(*count)++];
        row.entry.position = sqlite3_column_int64(stmt, 0);
        const void* data = sqlite3_column_blob(stmt, 1);
        row.data.assign(data != nullptr ? static_cast<const char*>(data) : "",
                        static_cast<size_t>(sqlite3_column_bytes(stmt, 1)));
    }
    return rc == SQLITE_DONE ? btr::kStatusSuccess : StatusOf(rc);
}

namespace {

int16_t StepCount(sqlite3_stmt* stmt, int64_t* count) {
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    int rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW) return SqliteFile::StatusOf(rc == SQLITE_DONE ? SQLITE_ERROR : rc);
    *count = sqlite3_column_int64(stmt, 0);
    return btr::kStatusSuccess;
}

}  // namespace

int16_t SqliteFile::CountRecords(int64_t* count) {
    return StepCount(Prepared(countRecords_, "SELECT count(*) FROM records"), count);
}

int16_t SqliteFile::CountRecordsBefore(int64_t position, int64_t* count) {
    sqlite3_stmt* stmt = Prepared(countBefore_, "SELECT count(*) FROM records WHERE position < ?1");
    if (stmt != nullptr) sqlite3_bind_int64(stmt, 1, position);
    return StepCount(stmt, count);
}

int16_t SqliteFile::RecordAtOffset(int64_t offset, int64_t* position, std::string* data, bool* found) {
    sqlite3_stmt* stmt =
        Prepared(recordAtOffset_, "SELECT position, data FROM records ORDER BY position LIMIT 1 OFFSET ?1");
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    sqlite3_bind_int64(stmt, 1, offset);
    int rc = sqlite3_step(stmt);
    *found = rc == SQLITE_ROW;
    if (*found) {
        *position = sqlite3_column_int64(stmt, 0);
        *data = ColumnBlob(stmt, 1);
    }
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? btr::kStatusSuccess : StatusOf(rc);
}

// ---- Key tables ----------------------------------------------------------------------------------

int16_t SqliteFile::SeekEntry(const KeyInfo& key, Seek kind, const std::string& value, int64_t sequence,
                              KeyEntry* entry, std::string* data, bool* found) {
    KeyStatements& statements = StatementsOf(key);
    sqlite3_stmt* stmt = Prepared(statements.seek[static_cast<int>(kind)], SeekSql(KeyTable(key.number), kind));
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    if (kind != Seek::kFirst && kind != Seek::kLast) BindBlob(stmt, 1, value);
    if (kind == Seek::kNext || kind == Seek::kPrevious) sqlite3_bind_int64(stmt, 2, sequence);
    int rc = sqlite3_step(stmt);
    *found = rc == SQLITE_ROW;
    if (*found) ReadEntry(stmt, entry, data);
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? btr::kStatusSuccess : StatusOf(rc);
}

int16_t SqliteFile::SeekEntries(const KeyInfo& key, Direction direction, const KeyEntry& from, bool vacated,
                                int limit, std::vector<FetchedRow>* rows, size_t* count) {
    bool forward = direction == Direction::kForward;
    KeyStatements& statements = StatementsOf(key);
    *count = 0;
    if (forward && key.duplicates) {
        // The entry the block stands on may have been deleted and its place in the group taken
        // by a later arrival of the same value: that one comes next.
        std::string sql = "SELECT e.value, e.seq, e.position, r.data FROM " + KeyTable(key.number) +
                          " AS e CROSS JOIN records AS r ON r.position = e.position"
                          " WHERE e.value = ?1 AND e.seq = ?2 AND (?4 OR e.position <> ?3)";
        sqlite3_stmt* stmt = Prepared(statements.samePlace, sql);
        if (stmt == nullptr) return btr::kStatusIoError;
        StatementScope scope(stmt);
        BindBlob(stmt, 1, from.value);
        sqlite3_bind_int64(stmt, 2, from.sequence);
        sqlite3_bind_int64(stmt, 3, from.position);
        sqlite3_bind_int(stmt, 4, vacated ? 1 : 0);
        int rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW) {
            if (rows->empty()) rows->resize(1);
            FetchedRow& row = (*rows)[(*count)++];
            ReadEntry(stmt, &row.entry, &row.data);
            // Only this row: the next call goes on from it.
            return btr::kStatusSuccess;
        }
        if (rc != SQLITE_DONE) return StatusOf(rc);
    }
    std::string sql = "SELECT e.value, e.seq, e.position, r.data FROM " + KeyTable(key.number) +
                      " AS e CROSS JOIN records AS r ON r.position = e.position" +
                      (forward ? " WHERE (e.value, e.seq) > (?1, ?2) ORDER BY e.value, e.seq LIMIT ?3"
                               : " WHERE (e.value, e.seq) < (?1, ?2) ORDER BY e.value DESC, e.seq DESC LIMIT ?3");
    sqlite3_stmt* stmt = Prepared(statements.batch[forward ? 0 : 1], sql);
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    BindBlob(stmt, 1, from.value);
    sqlite3_bind_int64(stmt, 2, from.sequence);
    sqlite3_bind_int(stmt, 3, limit);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        if (rows->size() <= *count) rows->resize(*count + 1);
        FetchedRow& row = (*rows)[(*count)++];
        const void* bytes = sqlite3_column_blob(stmt, 0);
        row.entry.value.assign(bytes != nullptr ? static_cast<const char*>(bytes) : "",
                               static_cast<size_t>(sqlite3_column_bytes(stmt, 0)));
        row.entry.sequence = sqlite3_column_int64(stmt, 1);
        row.entry.position = sqlite3_column_int64(stmt, 2);
        const void* data = sqlite3_column_blob(stmt, 3);
        row.data.assign(data != nullptr ? static_cast<const char*>(data) : "",
                        static_cast<size_t>(sqlite3_column_bytes(stmt, 3)));
    }
    return rc == SQLITE_DONE ? btr::kStatusSuccess : StatusOf(rc);
}

int16_t SqliteFile::EntryOfRecord(const KeyInfo& key, const std::string& value, int64_t position, KeyEntry* entry,
                                  bool* found) {
    KeyStatements& statements = StatementsOf(key);
    sqlite3_stmt* stmt = Prepared(statements.entryOfRecord, "SELECT value, seq, position FROM " +
                                                                KeyTable(key.number) +
                                                                " WHERE value = ?1 AND position = ?2 LIMIT 1");
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    BindBlob(stmt, 1, value);
    sqlite3_bind_int64(stmt, 2, position);
    int rc = sqlite3_step(stmt);
    *found = rc == SQLITE_ROW;
    if (*found) ReadEntry(stmt, entry, nullptr);
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? btr::kStatusSuccess : StatusOf(rc);
}

int16_t SqliteFile::EntryAtOffset(const KeyInfo& key, int64_t offset, KeyEntry* entry, std::string* data,
                                  bool* found) {
    KeyStatements& statements = StatementsOf(key);
    sqlite3_stmt* stmt = Prepared(statements.atOffset, "SELECT e.value, e.seq, e.position, r.data FROM " +
                                                           KeyTable(key.number) +
                                                           " AS e CROSS JOIN records AS r ON r.position = e.position"
                                                           " ORDER BY e.value, e.seq LIMIT 1 OFFSET ?1");
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    sqlite3_bind_int64(stmt, 1, offset);
    int rc = sqlite3_step(stmt);
    *found = rc == SQLITE_ROW;
    if (*found) ReadEntry(stmt, entry, data);
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? btr::kStatusSuccess : StatusOf(rc);
}

int16_t SqliteFile::InsertEntry(const KeyInfo& key, const std::string& value, int64_t position, int64_t* sequence) {
    KeyStatements& statements = StatementsOf(key);
    int64_t next = 0;
    if (key.duplicates) {
        // Equal values keep the order in which they entered the key: a new one goes last.
        sqlite3_stmt* last = Prepared(statements.lastSequence, "SELECT seq FROM " + KeyTable(key.number) +
                                                                   " WHERE value = ?1 ORDER BY seq DESC LIMIT 1");
        if (last == nullptr) return btr::kStatusIoError;
        StatementScope scope(last);
        BindBlob(last, 1, value);
        int rc = sqlite3_step(last);
        if (rc == SQLITE_ROW) {
            next = sqlite3_column_int64(last, 0) + 1;
        } else if (rc != SQLITE_DONE) {
            return StatusOf(rc);
        }
    }
    sqlite3_stmt* stmt = Prepared(statements.insert, "INSERT INTO " + KeyTable(key.number) +
                                                         "(value, seq, position) VALUES(?1, ?2, ?3)");
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    BindBlob(stmt, 1, value);
    sqlite3_bind_int64(stmt, 2, next);
    sqlite3_bind_int64(stmt, 3, position);
    int rc = sqlite3_step(stmt);
    if (rc != SQLITE_DONE) return StatusOf(rc);
    if (sequence != nullptr) *sequence = next;
    return btr::kStatusSuccess;
}

int16_t SqliteFile::DeleteEntry(const KeyInfo& key, const std::string& value, int64_t position) {
    KeyStatements& statements = StatementsOf(key);
    sqlite3_stmt* stmt =
        Prepared(statements.erase, "DELETE FROM " + KeyTable(key.number) + " WHERE value = ?1 AND position = ?2");
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    BindBlob(stmt, 1, value);
    sqlite3_bind_int64(stmt, 2, position);
    return StatusOf(sqlite3_step(stmt));
}

int16_t SqliteFile::CountEntries(const KeyInfo& key, int64_t* count) {
    return StepCount(Prepared(StatementsOf(key).count, "SELECT count(*) FROM " + KeyTable(key.number)), count);
}

int16_t SqliteFile::CountDistinct(const KeyInfo& key, int64_t* count) {
    return StepCount(
        Prepared(StatementsOf(key).countDistinct, "SELECT count(DISTINCT value) FROM " + KeyTable(key.number)),
        count);
}

int16_t SqliteFile::CountEntriesBelow(const KeyInfo& key, const std::string& value, int64_t* count) {
    sqlite3_stmt* stmt =
        Prepared(StatementsOf(key).countBelow, "SELECT count(*) FROM " + KeyTable(key.number) + " WHERE value < ?1");
    if (stmt != nullptr) BindBlob(stmt, 1, value);
    return StepCount(stmt, count);
}

// ---- Definition changes --------------------------------------------------------------------------

int16_t SqliteFile::AddKey(int number, const std::vector<BtrKeySpec>& specs, const std::vector<AcsBlock>& newAcs) {
    std::unique_ptr<FileDef> next = CopyDefinition(*def_);
    for (const AcsBlock& block : newAcs) next->acs.push_back(block);
    next->AddKey(number, specs);
    const KeyInfo& key = *next->Key(number);

    redefining_ = true;
    auto fail = [&](int16_t code) {
        Rollback();
        return code;
    };
    int rc;
    for (size_t i = 0; i < newAcs.size(); ++i) {
        Statement insert;
        if ((rc = insert.Prepare(db_, "INSERT INTO w3b_acs(number, block) VALUES(?1, ?2)")) != SQLITE_OK) {
            return fail(StatusOf(rc));
        }
        sqlite3_bind_int64(insert.Get(), 1, static_cast<int64_t>(def_->acs.size() + i));
        BindBlob(insert.Get(), 2, newAcs[i].data(), newAcs[i].size());
        if ((rc = sqlite3_step(insert.Get())) != SQLITE_DONE) return fail(StatusOf(rc));
    }
    {
        Statement insert;
        if ((rc = insert.Prepare(db_, "INSERT INTO w3b_keyseg(key, segment, spec) VALUES(?1, ?2, ?3)")) != SQLITE_OK) {
            return fail(StatusOf(rc));
        }
        for (size_t s = 0; s < key.specs.size(); ++s) {
            StatementScope scope(insert.Get());
            sqlite3_bind_int(insert.Get(), 1, number);
            sqlite3_bind_int64(insert.Get(), 2, static_cast<int64_t>(s));
            BindBlob(insert.Get(), 3, &key.specs[s], sizeof(BtrKeySpec));
            if ((rc = sqlite3_step(insert.Get())) != SQLITE_DONE) return fail(StatusOf(rc));
        }
    }
    if ((rc = Execute(db_, CreateKeyTableSql(number).c_str())) != SQLITE_OK) return fail(StatusOf(rc));
    {
        // Encode every record, sort, then fill the key in its own order: appending to the
        // index is far cheaper than inserting at random places.
        std::vector<std::pair<std::string, int64_t>> entries;
        Statement scan;
        if ((rc = scan.Prepare(db_, "SELECT position, data FROM records")) != SQLITE_OK) return fail(StatusOf(rc));
        while ((rc = sqlite3_step(scan.Get())) == SQLITE_ROW) {
            int64_t position = sqlite3_column_int64(scan.Get(), 0);
            const uint8_t* data = static_cast<const uint8_t*>(sqlite3_column_blob(scan.Get(), 1));
            size_t size = static_cast<size_t>(sqlite3_column_bytes(scan.Get(), 1));
            if (data == nullptr || size < def_->RecordLength()) return fail(btr::kStatusIoError);
            if (IsNullKey(key.def, data)) continue;
            entries.emplace_back(std::string(), position);
            EncodeRecordKey(key.def, data, &entries.back().first);
        }
        if (rc != SQLITE_DONE) return fail(StatusOf(rc));
        scan.Finalize();
        std::sort(entries.begin(), entries.end());
        Statement insert;
        std::string sql = "INSERT INTO " + KeyTable(number) + "(value, seq, position) VALUES(?1, ?2, ?3)";
        if ((rc = insert.Prepare(db_, sql.c_str())) != SQLITE_OK) return fail(StatusOf(rc));
        int64_t sequence = 0;
        for (size_t i = 0; i < entries.size(); ++i) {
            bool sameValue = i > 0 && entries[i].first == entries[i - 1].first;
            if (sameValue && !key.duplicates) return fail(btr::kStatusDuplicateKey);
            // Records already in the file join their group in record order.
            sequence = sameValue ? sequence + 1 : 0;
            StatementScope scope(insert.Get());
            BindBlob(insert.Get(), 1, entries[i].first);
            sqlite3_bind_int64(insert.Get(), 2, sequence);
            sqlite3_bind_int64(insert.Get(), 3, entries[i].second);
            if ((rc = sqlite3_step(insert.Get())) != SQLITE_DONE) return fail(StatusOf(rc));
        }
    }
    return btr::kStatusSuccess;
}

int16_t SqliteFile::DropKey(int number, Renumbering renumbering) {
    redefining_ = true;
    ResetKeyStatements();
    auto fail = [&](int rc) {
        Rollback();
        return StatusOf(rc);
    };
    int rc;
    if ((rc = Execute(db_, ("DROP TABLE " + KeyTable(number)).c_str())) != SQLITE_OK) return fail(rc);
    if ((rc = Execute(db_, ("DELETE FROM w3b_keyseg WHERE key = " + std::to_string(number)).c_str())) != SQLITE_OK) {
        return fail(rc);
    }
    if (renumbering == Renumbering::kCloseTheGap) {
        for (const KeyInfo& key : def_->keys) {
            if (key.number <= number) continue;
            std::string sql = "ALTER TABLE " + KeyTable(key.number) + " RENAME TO " + KeyTable(key.number - 1) +
                              "; UPDATE w3b_keyseg SET key = " + std::to_string(key.number - 1) +
                              " WHERE key = " + std::to_string(key.number);
            if ((rc = Execute(db_, sql.c_str())) != SQLITE_OK) return fail(rc);
        }
    }
    return btr::kStatusSuccess;
}

}  // namespace w3b
