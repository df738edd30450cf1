#include "store/sqlite/key_tables.h"

#include "store/sqlite/schema.h"

namespace w3b {

namespace {

const char* const kEntryWithRecord = "SELECT e.value, e.seq, e.position, r.data FROM ";
const char* const kJoinRecord = " AS e CROSS JOIN records AS r ON r.position = e.position";
// Without duplicates every entry's seq is 0, and a batch reads none. The stored value is read,
// not encoded again from the record: the key's order is that of the stored values, even in a
// file whose definition no longer encodes its records the same way.
const char* const kEntryByValue = "SELECT e.value, e.seq, e.position, r.data FROM ";
const char* const kUniqueEntry = "SELECT e.value, e.position, r.data FROM ";

// Every seek returns the entry and, joined, its record; the key table drives the loop.
std::string SeekSql(const std::string& table, Seek kind) {
    std::string head = kEntryWithRecord + table + kJoinRecord;
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
    AssignBlob(stmt, 0, &entry->value);
    entry->sequence = sqlite3_column_int64(stmt, 1);
    entry->position = sqlite3_column_int64(stmt, 2);
    if (data != nullptr) AssignBlob(stmt, 3, data);
}

// One row of entry and record into `entry` and `data`; `found` says whether there was one.
int16_t ReadOneEntry(sqlite3_stmt* stmt, KeyEntry* entry, std::string* data, bool* found) {
    int rc = sqlite3_step(stmt);
    *found = rc == SQLITE_ROW;
    if (*found) ReadEntry(stmt, entry, data);
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? btr::kStatusSuccess : StatusOf(rc);
}

}  // namespace

KeyTables::Statements& KeyTables::Of(const KeyInfo& key) {
    if (statements_.size() < static_cast<size_t>(kKeyNumberSlots)) statements_.resize(kKeyNumberSlots);
    auto& slot = statements_[static_cast<size_t>(key.number)];
    if (slot == nullptr) slot = std::make_unique<Statements>();
    return *slot;
}

int16_t KeyTables::SeekEntry(const KeyInfo& key, Seek kind, const std::string& value, int64_t sequence, KeyEntry* entry,
                             std::string* data, bool* found) {
    sqlite3_stmt* stmt =
        PreparedOnce(db_, Of(key).seek[static_cast<int>(kind)], [&] { return SeekSql(KeyTable(key.number), kind); });
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    if (kind != Seek::kFirst && kind != Seek::kLast) BindBlob(stmt, 1, value);
    if (kind == Seek::kNext || kind == Seek::kPrevious) sqlite3_bind_int64(stmt, 2, sequence);
    return ReadOneEntry(stmt, entry, data, found);
}

int16_t KeyTables::SeekSamePlace(const KeyInfo& key, const KeyEntry& from, bool vacated, std::vector<FetchedRow>* rows,
                                 size_t* count) {
    sqlite3_stmt* stmt = PreparedOnce(db_, Of(key).samePlace, [&] {
        return kEntryWithRecord + KeyTable(key.number) + kJoinRecord +
               " WHERE e.value = ?1 AND e.seq = ?2 AND (?4 OR e.position <> ?3)";
    });
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
    }
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? btr::kStatusSuccess : StatusOf(rc);
}

int16_t KeyTables::SeekEntries(const KeyInfo& key, Direction direction, const KeyEntry& from, bool vacated, int limit,
                               std::vector<FetchedRow>* rows, size_t* count) {
    bool forward = direction == Direction::kForward;
    *count = 0;
    if (key.duplicates) {
        if (forward) {
            // The entry the block stands on may have been deleted and its place in the group
            // taken by a later arrival of the same value: that one comes next, alone, and the
            // next call goes on from it.
            int16_t status = SeekSamePlace(key, from, vacated, rows, count);
            if (status != btr::kStatusSuccess || *count != 0) return status;
        }
        // The rest of the block's group of equal values first.
        sqlite3_stmt* stmt = PreparedOnce(db_, Of(key).groupRest[forward ? 0 : 1], [&] {
            return kEntryByValue + KeyTable(key.number) + kJoinRecord +
                   (forward ? " WHERE e.value = ?1 AND e.seq > ?2 ORDER BY e.seq LIMIT ?3"
                            : " WHERE e.value = ?1 AND e.seq < ?2 ORDER BY e.seq DESC LIMIT ?3");
        });
        if (int16_t status = ReadBatch(stmt, key, from, limit, rows, count); status != btr::kStatusSuccess) {
            return status;
        }
        if (*count >= static_cast<size_t>(limit)) return btr::kStatusSuccess;
    }
    // Entries beyond the block's value. Without duplicates every entry's seq is 0, so the value
    // alone orders them and SQLite compares nothing else per row.
    sqlite3_stmt* stmt = PreparedOnce(db_, Of(key).beyond[forward ? 0 : 1], [&] {
        return (key.duplicates ? kEntryByValue : kUniqueEntry) + KeyTable(key.number) + kJoinRecord +
               (forward ? " WHERE e.value > ?1 ORDER BY e.value, e.seq LIMIT ?3"
                        : " WHERE e.value < ?1 ORDER BY e.value DESC, e.seq DESC LIMIT ?3");
    });
    return ReadBatch(stmt, key, from, limit - static_cast<int>(*count), rows, count);
}

int16_t KeyTables::ReadBatch(sqlite3_stmt* stmt, const KeyInfo& key, const KeyEntry& from, int limit,
                             std::vector<FetchedRow>* rows, size_t* count) {
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    BindBlob(stmt, 1, from.value);
    sqlite3_bind_int64(stmt, 2, from.sequence);
    sqlite3_bind_int(stmt, 3, limit);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        if (rows->size() <= *count) rows->resize(*count + 1);
        FetchedRow& row = (*rows)[(*count)++];
        AssignBlob(stmt, 0, &row.entry.value);
        int column = 1;
        row.entry.sequence = key.duplicates ? sqlite3_column_int64(stmt, column++) : 0;
        row.entry.position = sqlite3_column_int64(stmt, column++);
        AssignBlob(stmt, column, &row.data);
    }
    return rc == SQLITE_DONE ? btr::kStatusSuccess : StatusOf(rc);
}

int16_t KeyTables::EntryOfRecord(const KeyInfo& key, const std::string& value, int64_t position, KeyEntry* entry,
                                 bool* found) {
    sqlite3_stmt* stmt = PreparedOnce(db_, Of(key).entryOfRecord, [&] {
        return "SELECT seq FROM " + KeyTable(key.number) + " WHERE value = ?1 AND position = ?2 LIMIT 1";
    });
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    BindBlob(stmt, 1, value);
    sqlite3_bind_int64(stmt, 2, position);
    int rc = sqlite3_step(stmt);
    *found = rc == SQLITE_ROW;
    if (*found) {
        entry->value = value;
        entry->sequence = sqlite3_column_int64(stmt, 0);
        entry->position = position;
    }
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? btr::kStatusSuccess : StatusOf(rc);
}

int16_t KeyTables::EntryAtOffset(const KeyInfo& key, int64_t offset, KeyEntry* entry, std::string* data, bool* found) {
    sqlite3_stmt* stmt = PreparedOnce(db_, Of(key).atOffset, [&] {
        return std::string(kEntryWithRecord + KeyTable(key.number) + kJoinRecord +
                           " ORDER BY e.value, e.seq LIMIT 1 OFFSET ?1");
    });
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    sqlite3_bind_int64(stmt, 1, offset);
    return ReadOneEntry(stmt, entry, data, found);
}

// A transaction over very many distinct values keeps the ends of the latest ones only.
constexpr size_t kKeptGroupEndsPerKey = 65536;

void KeyTables::KeepGroupEnds(bool keep) {
    keepGroupEnds_ = keep;
    ForgetGroupEnds();
}

void KeyTables::ForgetGroupEnds() {
    for (auto& slot : statements_) {
        if (slot != nullptr && !slot->groupEnds.empty()) slot->groupEnds.clear();
    }
}

int16_t KeyTables::NextSequence(const KeyInfo& key, const std::string& value, int64_t* next) {
    *next = 0;
    if (!key.duplicates) return btr::kStatusSuccess;
    // Equal values keep the order in which they entered the key: a new one goes last, one past
    // the group's last number (a number freed at the end of the group is taken again).
    if (keepGroupEnds_) {
        const auto& ends = Of(key).groupEnds;
        if (auto known = ends.find(value); known != ends.end()) {
            *next = known->second + 1;
            return btr::kStatusSuccess;
        }
    }
    sqlite3_stmt* last = PreparedOnce(db_, Of(key).lastSequence, [&] {
        return std::string("SELECT seq FROM " + KeyTable(key.number) + " WHERE value = ?1 ORDER BY seq DESC LIMIT 1");
    });
    if (last == nullptr) return btr::kStatusIoError;
    StatementScope scope(last);
    BindBlob(last, 1, value);
    int rc = sqlite3_step(last);
    if (rc == SQLITE_ROW) *next = sqlite3_column_int64(last, 0) + 1;
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? btr::kStatusSuccess : StatusOf(rc);
}

int16_t KeyTables::InsertEntry(const KeyInfo& key, const std::string& value, int64_t position, int64_t* sequence) {
    int64_t next = 0;
    if (int16_t status = NextSequence(key, value, &next); status != btr::kStatusSuccess) return status;
    Statements& statements = Of(key);
    sqlite3_stmt* stmt = PreparedOnce(db_, statements.insert, [&] {
        return std::string("INSERT INTO " + KeyTable(key.number) + "(value, seq, position) VALUES(?1, ?2, ?3)");
    });
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    BindBlob(stmt, 1, value);
    sqlite3_bind_int64(stmt, 2, next);
    sqlite3_bind_int64(stmt, 3, position);
    int rc = sqlite3_step(stmt);
    if (rc != SQLITE_DONE) return StatusOf(rc);
    if (keepGroupEnds_ && key.duplicates) {
        if (statements.groupEnds.size() >= kKeptGroupEndsPerKey) statements.groupEnds.clear();
        statements.groupEnds.insert_or_assign(value, next);
    }
    if (sequence != nullptr) *sequence = next;
    return btr::kStatusSuccess;
}

int16_t KeyTables::DeleteEntry(const KeyInfo& key, const std::string& value, int64_t position) {
    // The group may lose its last entry: its end is looked up again.
    Of(key).groupEnds.erase(value);
    sqlite3_stmt* stmt = PreparedOnce(db_, Of(key).erase, [&] {
        return std::string("DELETE FROM " + KeyTable(key.number) + " WHERE value = ?1 AND position = ?2");
    });
    if (stmt == nullptr) return btr::kStatusIoError;
    StatementScope scope(stmt);
    BindBlob(stmt, 1, value);
    sqlite3_bind_int64(stmt, 2, position);
    return StatusOf(sqlite3_step(stmt));
}

int16_t KeyTables::CountEntries(const KeyInfo& key, int64_t* count) {
    return StepCount(
        PreparedOnce(db_, Of(key).count, [&] { return std::string("SELECT count(*) FROM " + KeyTable(key.number)); }),
        count);
}

int16_t KeyTables::CountDistinct(const KeyInfo& key, int64_t* count) {
    return StepCount(
        PreparedOnce(db_, Of(key).countDistinct,
                     [&] { return std::string("SELECT count(DISTINCT value) FROM " + KeyTable(key.number)); }),
        count);
}

int16_t KeyTables::CountEntriesBelow(const KeyInfo& key, const std::string& value, int64_t* count) {
    sqlite3_stmt* stmt = PreparedOnce(db_, Of(key).countBelow, [&] {
        return std::string("SELECT count(*) FROM " + KeyTable(key.number) + " WHERE value < ?1");
    });
    if (stmt != nullptr) BindBlob(stmt, 1, value);
    return StepCount(stmt, count);
}

int16_t KeyTables::ListEntries(const KeyInfo& key, const KeyEntry* after, int limit, std::vector<KeyEntry>* entries) {
    // Prepared per batch: a copy reads thousands of entries per batch and keeps no statement.
    std::string sql = "SELECT value, seq, position FROM " + KeyTable(key.number) +
                      (after != nullptr ? " WHERE (value, seq) > (?1, ?2)" : "") + " ORDER BY value, seq LIMIT ?3";
    Statement stmt;
    if (stmt.Prepare(db_, sql.c_str()) != SQLITE_OK) return btr::kStatusIoError;
    if (after != nullptr) {
        BindBlob(stmt.Get(), 1, after->value);
        sqlite3_bind_int64(stmt.Get(), 2, after->sequence);
    }
    sqlite3_bind_int(stmt.Get(), 3, limit);
    entries->clear();
    int rc;
    while ((rc = sqlite3_step(stmt.Get())) == SQLITE_ROW) {
        KeyEntry entry;
        AssignBlob(stmt.Get(), 0, &entry.value);
        entry.sequence = sqlite3_column_int64(stmt.Get(), 1);
        entry.position = sqlite3_column_int64(stmt.Get(), 2);
        entries->push_back(std::move(entry));
    }
    return rc == SQLITE_DONE ? btr::kStatusSuccess : StatusOf(rc);
}

}  // namespace w3b
