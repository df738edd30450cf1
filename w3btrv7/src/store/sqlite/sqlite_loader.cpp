#include "store/sqlite/sqlite_loader.h"

#include "store/sqlite/connection.h"
#include "store/sqlite/schema.h"
#include "store/sqlite/sqlite_file.h"

namespace w3b {

int16_t SqliteLoader::Create(const std::string& path, const FileDef& def, std::unique_ptr<FileLoader>* out) {
    if (int16_t status = SqliteFile::Create(path, def, IfExists::kReplace); status != btr::kStatusSuccess)
        return status;
    std::unique_ptr<SqliteLoader> loader(new SqliteLoader());
    loader->path_ = path;
    int rc = OpenConnection(path, Access::kReadWrite, &loader->db_);
    if (rc == SQLITE_OK) rc = Configure(loader->db_, ChooseShareMode(path).mode);
    // The whole file is one transaction: a copy that fails leaves no half-filled file.
    if (rc == SQLITE_OK) rc = Execute(loader->db_, "BEGIN IMMEDIATE");
    if (rc == SQLITE_OK)
        rc = loader->insertRecord_.Prepare(loader->db_, "INSERT INTO records(position, data) VALUES(?1, ?2)");
    if (rc != SQLITE_OK) return btr::kStatusCreateIoError;
    loader->insertEntry_.resize(kKeyNumberSlots);
    for (const KeyInfo& key : def.keys) {
        std::string sql = "INSERT INTO " + KeyTable(key.number) + "(value, seq, position) VALUES(?1, ?2, ?3)";
        if (loader->insertEntry_[static_cast<size_t>(key.number)].Prepare(loader->db_, sql.c_str()) != SQLITE_OK) {
            return btr::kStatusCreateIoError;
        }
    }
    *out = std::move(loader);
    return btr::kStatusSuccess;
}

SqliteLoader::~SqliteLoader() {
    insertRecord_.Finalize();
    insertEntry_.clear();
    if (db_ != nullptr) sqlite3_close_v2(db_);
    if (finished_ || path_.empty()) return;
    // An unfinished copy is no file at all.
    DeleteDatabase(path_);
}

int16_t SqliteLoader::PutRecord(int64_t position, const std::string& data) {
    sqlite3_stmt* stmt = insertRecord_.Get();
    StatementScope scope(stmt);
    sqlite3_bind_int64(stmt, 1, position);
    BindBlob(stmt, 2, data);
    return StatusOf(sqlite3_step(stmt));
}

int16_t SqliteLoader::PutEntry(int key, const KeyEntry& entry) {
    if (key < 0 || static_cast<size_t>(key) >= insertEntry_.size() ||
        !insertEntry_[static_cast<size_t>(key)].IsPrepared()) {
        return btr::kStatusIoError;
    }
    sqlite3_stmt* stmt = insertEntry_[static_cast<size_t>(key)].Get();
    StatementScope scope(stmt);
    BindBlob(stmt, 1, entry.value);
    sqlite3_bind_int64(stmt, 2, entry.sequence);
    sqlite3_bind_int64(stmt, 3, entry.position);
    return StatusOf(sqlite3_step(stmt));
}

int16_t SqliteLoader::Finish(int64_t /*highest*/) {
    insertRecord_.Finalize();
    insertEntry_.clear();
    int rc = Execute(db_, "COMMIT");
    if (rc == SQLITE_OK) rc = sqlite3_close(db_);
    if (rc != SQLITE_OK) return StatusOf(rc);
    db_ = nullptr;
    finished_ = true;
    return btr::kStatusSuccess;
}

}  // namespace w3b
