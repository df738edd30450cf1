#include "store/sqlite/statement.h"

#include <utility>

#include "btrcall.h"

namespace w3b {

Statement::~Statement() { Finalize(); }

Statement::Statement(Statement&& other) noexcept : stmt_(std::exchange(other.stmt_, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        Finalize();
        stmt_ = std::exchange(other.stmt_, nullptr);
    }
    return *this;
}

int Statement::Prepare(sqlite3* db, const char* sql) {
    if (stmt_ != nullptr) return SQLITE_OK;
    return sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
}

void Statement::Finalize() {
    if (stmt_ != nullptr) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

int Execute(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

sqlite3_stmt* Prepared(sqlite3* db, Statement& statement, const std::string& sql) {
    if (!statement.IsPrepared() && statement.Prepare(db, sql.c_str()) != SQLITE_OK) return nullptr;
    return statement.Get();
}

int StepOnce(sqlite3_stmt* stmt) {
    if (stmt == nullptr) return SQLITE_ERROR;
    StatementScope scope(stmt);
    int rc = sqlite3_step(stmt);
    return rc == SQLITE_DONE || rc == SQLITE_ROW ? SQLITE_OK : rc;
}

int16_t StepCount(sqlite3_stmt* stmt, int64_t* count) {
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    int rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW) return StatusOf(rc == SQLITE_DONE ? SQLITE_ERROR : rc);
    *count = sqlite3_column_int64(stmt, 0);
    return btr::kStatusSuccess;
}

int16_t StatusOf(int rc) {
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
        // The file's pages are damaged: not the disk's fault (2), the file's integrity (19);
        // tydb check says where, tydb recover saves what can be read.
        case SQLITE_CORRUPT: return btr::kStatusUnrecoverable;
        default: return btr::kStatusIoError;
    }
}

}  // namespace w3b
