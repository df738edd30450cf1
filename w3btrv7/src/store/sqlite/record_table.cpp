#include "store/sqlite/record_table.h"

namespace w3b {

namespace {

// A row of (position, data) into `position` and `data`; `found` says whether there was one.
int16_t ReadPositionedRow(sqlite3_stmt* stmt, int64_t* position, std::string* data, bool* found) {
    int rc = sqlite3_step(stmt);
    *found = rc == SQLITE_ROW;
    if (*found) {
        *position = sqlite3_column_int64(stmt, 0);
        AssignBlob(stmt, 1, data);
    }
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? btr::kStatusSuccess : StatusOf(rc);
}

}  // namespace

int16_t RecordTable::Read(int64_t position, std::string* data, bool* found) {
    sqlite3_stmt* stmt = Prepared(db_, read_, "SELECT data FROM records WHERE position = ?1");
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    sqlite3_bind_int64(stmt, 1, position);
    int rc = sqlite3_step(stmt);
    *found = rc == SQLITE_ROW;
    if (*found) AssignBlob(stmt, 0, data);
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? btr::kStatusSuccess : StatusOf(rc);
}

int16_t RecordTable::Insert(const uint8_t* data, size_t size, int64_t* position) {
    // Without a position SQLite takes one past the highest in use.
    sqlite3_stmt* stmt = Prepared(db_, insert_, "INSERT INTO records(position, data) VALUES(?2, ?1)");
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    BindBlob(stmt, 1, data, size);
    if (*position > 0) sqlite3_bind_int64(stmt, 2, *position);
    int rc = sqlite3_step(stmt);
    if (rc != SQLITE_DONE) {
        // A position taken twice is the caller's when it asked for one, else the store's fault.
        if (StatusOf(rc) != btr::kStatusDuplicateKey) return StatusOf(rc);
        return *position > 0 ? btr::kStatusInvalidRecordAddress : btr::kStatusIoError;
    }
    *position = sqlite3_last_insert_rowid(db_);
    // Positions are 4-byte record addresses.
    if (*position > 0xFFFFFFFFLL) return btr::kStatusDiskFull;
    return btr::kStatusSuccess;
}

int16_t RecordTable::Update(int64_t position, const std::string& expected, const uint8_t* data, size_t size,
                            bool* changed) {
    sqlite3_stmt* stmt = Prepared(db_, update_, "UPDATE records SET data = ?2 WHERE position = ?1 AND data = ?3");
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    sqlite3_bind_int64(stmt, 1, position);
    BindBlob(stmt, 2, data, size);
    BindBlob(stmt, 3, expected);
    int rc = sqlite3_step(stmt);
    *changed = rc == SQLITE_DONE && sqlite3_changes(db_) == 1;
    return StatusOf(rc);
}

int16_t RecordTable::Delete(int64_t position, const std::string& expected, bool* changed) {
    sqlite3_stmt* stmt = Prepared(db_, delete_, "DELETE FROM records WHERE position = ?1 AND data = ?2");
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    sqlite3_bind_int64(stmt, 1, position);
    BindBlob(stmt, 2, expected);
    int rc = sqlite3_step(stmt);
    *changed = rc == SQLITE_DONE && sqlite3_changes(db_) == 1;
    return StatusOf(rc);
}

int16_t RecordTable::Erase(int64_t position) {
    sqlite3_stmt* stmt = Prepared(db_, erase_, "DELETE FROM records WHERE position = ?1");
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    sqlite3_bind_int64(stmt, 1, position);
    return StatusOf(sqlite3_step(stmt));
}

int16_t RecordTable::Step(Seek kind, int64_t from, int64_t* position, std::string* data, bool* found) {
    static const char* const kSql[4] = {
        "SELECT position, data FROM records ORDER BY position LIMIT 1",
        "SELECT position, data FROM records ORDER BY position DESC LIMIT 1",
        "SELECT position, data FROM records WHERE position > ?1 ORDER BY position LIMIT 1",
        "SELECT position, data FROM records WHERE position < ?1 ORDER BY position DESC LIMIT 1",
    };
    int index;
    switch (kind) {
        case Seek::kFirst: index = 0; break;
        case Seek::kLast: index = 1; break;
        case Seek::kNext: index = 2; break;
        case Seek::kPrevious: index = 3; break;
        default: return btr::kStatusInvalidOperation;
    }
    sqlite3_stmt* stmt = Prepared(db_, step_[index], kSql[index]);
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    if (index >= 2) sqlite3_bind_int64(stmt, 1, from);
    return ReadPositionedRow(stmt, position, data, found);
}

int16_t RecordTable::StepMany(Direction direction, int64_t from, int limit, std::vector<FetchedRow>* rows,
                              size_t* count) {
    bool forward = direction == Direction::kForward;
    const char* sql = forward
                          ? "SELECT position, data FROM records WHERE position > ?1 ORDER BY position LIMIT ?2"
                          : "SELECT position, data FROM records WHERE position < ?1 ORDER BY position DESC LIMIT ?2";
    sqlite3_stmt* stmt = Prepared(db_, stepMany_[forward ? 0 : 1], sql);
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
        AssignBlob(stmt, 1, &row.data);
    }
    return rc == SQLITE_DONE ? btr::kStatusSuccess : StatusOf(rc);
}

int16_t RecordTable::Count(int64_t* count) {
    return StepCount(Prepared(db_, count_, "SELECT count(*) FROM records"), count);
}

int16_t RecordTable::CountBefore(int64_t position, int64_t* count) {
    sqlite3_stmt* stmt = Prepared(db_, countBefore_, "SELECT count(*) FROM records WHERE position < ?1");
    if (stmt != nullptr) sqlite3_bind_int64(stmt, 1, position);
    return StepCount(stmt, count);
}

int16_t RecordTable::AtOffset(int64_t offset, int64_t* position, std::string* data, bool* found) {
    sqlite3_stmt* stmt =
        Prepared(db_, atOffset_, "SELECT position, data FROM records ORDER BY position LIMIT 1 OFFSET ?1");
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    sqlite3_bind_int64(stmt, 1, offset);
    return ReadPositionedRow(stmt, position, data, found);
}

void RecordTable::Finalize() {
    for (Statement* s : {&read_, &insert_, &update_, &delete_, &count_, &countBefore_, &atOffset_}) s->Finalize();
    for (Statement& s : step_) s.Finalize();
    for (Statement& s : stepMany_) s.Finalize();
}

}  // namespace w3b
