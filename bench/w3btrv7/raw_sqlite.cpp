#include "raw_sqlite.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace rawbench {

std::string BigEndian(uint32_t id) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(id >> (24 - 8 * i));
    return out;
}

RawFile::RawFile(const std::string& path, bool fullSync) {
    std::remove(path.c_str());
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        std::abort();
    }
    Exec("PRAGMA journal_mode=WAL");
    Exec(fullSync ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL");
    // Read through a mapping of the file, as the record manager does in 64-bit processes.
    if (sizeof(void*) >= 8) Exec("PRAGMA mmap_size=1073741824");
    Exec(
        "CREATE TABLE records(position INTEGER PRIMARY KEY, data BLOB NOT NULL);"
        "CREATE TABLE k0(key BLOB NOT NULL, position INTEGER NOT NULL, PRIMARY KEY (key)) WITHOUT ROWID;"
        "CREATE TABLE k1(key BLOB NOT NULL, position INTEGER NOT NULL, PRIMARY KEY (key, position)) WITHOUT ROWID;");
    begin_ = Prepare("BEGIN IMMEDIATE");
    commit_ = Prepare("COMMIT");
    insertRecord_ = Prepare("INSERT INTO records(data) VALUES(?1)");
    insertKey0_ = Prepare("INSERT INTO k0(key, position) VALUES(?1, ?2)");
    insertKey1_ = Prepare("INSERT INTO k1(key, position) VALUES(?1, ?2)");
    getEqual_ = Prepare("SELECT r.data FROM k0 CROSS JOIN records AS r ON r.position = k0.position WHERE k0.key = ?1");
    scanKey_ = Prepare("SELECT r.data FROM k0 CROSS JOIN records AS r ON r.position = k0.position ORDER BY k0.key");
    scanPosition_ = Prepare("SELECT data FROM records ORDER BY position");
    scanKeyGroupBelow_ = Prepare(
        "SELECT r.data FROM k0 CROSS JOIN records AS r ON r.position = k0.position"
        " WHERE substr(r.data, 5, 10) < ?1 ORDER BY k0.key");
    findPosition_ = Prepare(
        "SELECT k0.position, r.data FROM k0 CROSS JOIN records AS r ON r.position = k0.position"
        " WHERE k0.key = ?1");
    readRecord_ = Prepare("SELECT data FROM records WHERE position = ?1");
    findEntry_ = Prepare("SELECT position FROM k0 WHERE key = ?1 AND position = ?2");
    updateRecord_ = Prepare("UPDATE records SET data = ?2 WHERE position = ?1");
    deleteRecord_ = Prepare("DELETE FROM records WHERE position = ?1");
    deleteKey0_ = Prepare("DELETE FROM k0 WHERE key = ?1");
    deleteKey1_ = Prepare("DELETE FROM k1 WHERE key = ?1 AND position = ?2");
}

RawFile::~RawFile() {
    for (sqlite3_stmt* s : {begin_, commit_, insertRecord_, insertKey0_, insertKey1_, getEqual_, scanKey_,
                            scanPosition_, scanKeyGroupBelow_, findPosition_, readRecord_, findEntry_, updateRecord_,
                            deleteRecord_, deleteKey0_, deleteKey1_}) {
        sqlite3_finalize(s);
    }
    sqlite3_close(db_);
}

sqlite3_stmt* RawFile::Prepare(const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) std::abort();
    return stmt;
}

void RawFile::Exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) std::abort();
}

namespace {

void Run(sqlite3_stmt* stmt) {
    if (sqlite3_step(stmt) != SQLITE_DONE) std::abort();
    sqlite3_reset(stmt);
}

}  // namespace

void RawFile::Insert(const std::string& record) {
    Run(begin_);
    InsertRows(record);
    Run(commit_);
}

void RawFile::InsertMany(const std::vector<std::string>& records) {
    Run(begin_);
    for (const std::string& record : records) InsertRows(record);
    Run(commit_);
}

void RawFile::InsertRows(const std::string& record) {
    uint32_t id;
    std::memcpy(&id, record.data(), 4);
    std::string key0 = BigEndian(id);
    sqlite3_bind_blob(insertRecord_, 1, record.data(), static_cast<int>(record.size()), SQLITE_STATIC);
    Run(insertRecord_);
    sqlite3_int64 position = sqlite3_last_insert_rowid(db_);
    sqlite3_bind_blob(insertKey0_, 1, key0.data(), 4, SQLITE_STATIC);
    sqlite3_bind_int64(insertKey0_, 2, position);
    Run(insertKey0_);
    sqlite3_bind_blob(insertKey1_, 1, record.data() + 4, 10, SQLITE_STATIC);
    sqlite3_bind_int64(insertKey1_, 2, position);
    Run(insertKey1_);
}

bool RawFile::GetEqual(uint32_t id, std::string* record) {
    std::string key0 = BigEndian(id);
    sqlite3_bind_blob(getEqual_, 1, key0.data(), 4, SQLITE_STATIC);
    bool found = sqlite3_step(getEqual_) == SQLITE_ROW;
    if (found) {
        record->assign(static_cast<const char*>(sqlite3_column_blob(getEqual_, 0)),
                       static_cast<size_t>(sqlite3_column_bytes(getEqual_, 0)));
    }
    sqlite3_reset(getEqual_);
    return found;
}

size_t RawFile::ScanByKey() {
    size_t count = 0;
    char buffer[256];
    while (sqlite3_step(scanKey_) == SQLITE_ROW) {
        std::memcpy(buffer, sqlite3_column_blob(scanKey_, 0), static_cast<size_t>(sqlite3_column_bytes(scanKey_, 0)));
        ++count;
    }
    sqlite3_reset(scanKey_);
    return count;
}

size_t RawFile::ScanByKeyGroupBelow(const std::string& group) {
    size_t count = 0;
    char buffer[256];
    sqlite3_bind_blob(scanKeyGroupBelow_, 1, group.data(), static_cast<int>(group.size()), SQLITE_STATIC);
    while (sqlite3_step(scanKeyGroupBelow_) == SQLITE_ROW) {
        std::memcpy(buffer, sqlite3_column_blob(scanKeyGroupBelow_, 0),
                    static_cast<size_t>(sqlite3_column_bytes(scanKeyGroupBelow_, 0)));
        ++count;
    }
    sqlite3_reset(scanKeyGroupBelow_);
    return count;
}

size_t RawFile::ScanByPosition() {
    size_t count = 0;
    char buffer[256];
    while (sqlite3_step(scanPosition_) == SQLITE_ROW) {
        std::memcpy(buffer, sqlite3_column_blob(scanPosition_, 0),
                    static_cast<size_t>(sqlite3_column_bytes(scanPosition_, 0)));
        ++count;
    }
    sqlite3_reset(scanPosition_);
    return count;
}

int64_t RawFile::PositionOf(uint32_t id) {
    std::string key0 = BigEndian(id);
    sqlite3_bind_blob(findPosition_, 1, key0.data(), 4, SQLITE_STATIC);
    if (sqlite3_step(findPosition_) != SQLITE_ROW) std::abort();
    sqlite3_int64 position = sqlite3_column_int64(findPosition_, 0);
    sqlite3_reset(findPosition_);
    return position;
}

bool RawFile::ReadWithKeyEntry(int64_t position, std::string* record) {
    sqlite3_bind_int64(readRecord_, 1, position);
    bool found = sqlite3_step(readRecord_) == SQLITE_ROW;
    if (found) {
        record->assign(static_cast<const char*>(sqlite3_column_blob(readRecord_, 0)),
                       static_cast<size_t>(sqlite3_column_bytes(readRecord_, 0)));
    }
    sqlite3_reset(readRecord_);
    if (!found) return false;
    uint32_t id;
    std::memcpy(&id, record->data(), 4);
    std::string key0 = BigEndian(id);
    sqlite3_bind_blob(findEntry_, 1, key0.data(), 4, SQLITE_STATIC);
    sqlite3_bind_int64(findEntry_, 2, position);
    found = sqlite3_step(findEntry_) == SQLITE_ROW;
    sqlite3_reset(findEntry_);
    return found;
}

void RawFile::Update(uint32_t id, const std::string& record) {
    std::string key0 = BigEndian(id);
    sqlite3_bind_blob(findPosition_, 1, key0.data(), 4, SQLITE_STATIC);
    if (sqlite3_step(findPosition_) != SQLITE_ROW) std::abort();
    sqlite3_int64 position = sqlite3_column_int64(findPosition_, 0);
    sqlite3_reset(findPosition_);
    Run(begin_);
    sqlite3_bind_int64(updateRecord_, 1, position);
    sqlite3_bind_blob(updateRecord_, 2, record.data(), static_cast<int>(record.size()), SQLITE_STATIC);
    Run(updateRecord_);
    Run(commit_);
}

void RawFile::Delete(uint32_t id) {
    std::string key0 = BigEndian(id);
    sqlite3_bind_blob(findPosition_, 1, key0.data(), 4, SQLITE_STATIC);
    if (sqlite3_step(findPosition_) != SQLITE_ROW) std::abort();
    sqlite3_int64 position = sqlite3_column_int64(findPosition_, 0);
    std::string data(static_cast<const char*>(sqlite3_column_blob(findPosition_, 1)),
                     static_cast<size_t>(sqlite3_column_bytes(findPosition_, 1)));
    sqlite3_reset(findPosition_);
    Run(begin_);
    sqlite3_bind_int64(deleteRecord_, 1, position);
    Run(deleteRecord_);
    sqlite3_bind_blob(deleteKey0_, 1, key0.data(), 4, SQLITE_STATIC);
    Run(deleteKey0_);
    sqlite3_bind_blob(deleteKey1_, 1, data.data() + 4, 10, SQLITE_STATIC);
    sqlite3_bind_int64(deleteKey1_, 2, position);
    Run(deleteKey1_);
    Run(commit_);
}

void RawFile::BuildIndex() {
    Exec("DROP TABLE IF EXISTS k2");
    Exec(
        "BEGIN IMMEDIATE;"
        "CREATE TABLE k2(key BLOB NOT NULL, position INTEGER NOT NULL, PRIMARY KEY (key, position)) WITHOUT ROWID;"
        "INSERT INTO k2(key, position) SELECT substr(data, 15, 10), position FROM records;"
        "COMMIT");
}

}  // namespace rawbench
