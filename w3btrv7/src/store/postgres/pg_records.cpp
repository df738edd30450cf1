// Records by position and key entries of a server file.
#include <algorithm>

#include "store/postgres/pg_file.h"
#include "store/postgres/pg_schema.h"

namespace w3b {

namespace {

// A batch read from the server is not served again in a later call (the server's state is
// never known to be unchanged), so one row at a time is all a read can use.
constexpr int kServerBatch = 1;

// A batch's limit is written into the statement rather than sent as a parameter: with an
// unknown limit the server prices the statement's general plan as if it read a tenth of the
// range, keeps planning every call afresh for its actual values, and planning costs more than
// reading the row.
std::string Limit(int limit) { return " LIMIT " + std::to_string(limit); }

const char* const kEntryColumns = "SELECT e.value, e.seq, e.position, r.data FROM ";

int16_t ReadPositioned(const PgResult& result, int64_t* position, std::string* data, bool* found) {
    *found = result.Rows() > 0;
    if (*found) {
        *position = result.Int(0, 0);
        result.Bytes(0, 1, data);
    }
    return btr::kStatusSuccess;
}

void ReadEntry(const PgResult& result, int row, KeyEntry* entry, std::string* data) {
    result.Bytes(row, 0, &entry->value);
    entry->sequence = result.Int(row, 1);
    entry->position = result.Int(row, 2);
    if (data != nullptr) result.Bytes(row, 3, data);
}

// Reads records (position, data) from `result` into rows.
void ReadRecordRows(const PgResult& result, std::vector<FetchedRow>* rows, size_t* count) {
    for (int row = 0; row < result.Rows(); ++row) {
        if (rows->size() <= *count) rows->resize(*count + 1);
        FetchedRow& fetched = (*rows)[(*count)++];
        fetched.entry.position = result.Int(row, 0);
        result.Bytes(row, 1, &fetched.data);
    }
}

}  // namespace

void PgFile::ReadRows(const PgResult& result, std::vector<FetchedRow>* rows, size_t* count) {
    for (int row = 0; row < result.Rows(); ++row) {
        if (rows->size() <= *count) rows->resize(*count + 1);
        FetchedRow& fetched = (*rows)[(*count)++];
        ReadEntry(result, row, &fetched.entry, &fetched.data);
    }
}

int16_t PgFile::RunForCount(const std::string& sql, PgParams& params, int64_t* count) {
    PgResult result;
    int16_t status = Run(sql, params, &result);
    if (status == btr::kStatusSuccess) *count = result.Rows() > 0 ? result.Int(0, 0) : 0;
    return status;
}

// ---- Records ---------------------------------------------------------------------------------

int16_t PgFile::ReadRecord(int64_t position, std::string* data, bool* found) {
    PgParams params = Params();
    params.Int8(position);
    PgResult result;
    int16_t status =
        Run(Text(kTextReadRecord,
                 [&] { return "SELECT data FROM " + Table("w3b_record") + " WHERE file = $1 AND position = $2"; }),
            params, &result);
    *found = status == btr::kStatusSuccess && result.Rows() > 0;
    if (*found) result.Bytes(0, 0, data);
    return status;
}

int16_t PgFile::InsertRecord(const uint8_t* data, size_t size, int64_t* position) {
    PgParams params = Params();
    params.Bytes(data, size);
    const bool asked = *position > 0;
    if (asked) {
        params.Int8(*position);
    } else if (deferring_) {
        *position = kPositionPending;
    }
    const std::string& insert =
        Text(kTextInsertRecord + (asked ? 1 : 0), [&] {
            const std::string sequence = PositionSequence(*session_, id_);
            if (!asked) {
                return "INSERT INTO " + Table("w3b_record") + "(file, position, data) VALUES($1, nextval('" + sequence +
                       "'), $2) RETURNING position";
            }
            // The position asked for, and the sequence moved past it so that it is never given again.
            return "WITH placed AS (INSERT INTO " + Table("w3b_record") +
                   "(file, position, data) VALUES($1, $3, $2) RETURNING position), moved AS (SELECT setval('" +
                   sequence + "', GREATEST(position, (SELECT last_value FROM " + sequence +
                   "))) FROM placed) SELECT position FROM placed, moved";
        }).plain;
    return Write(insert, params, [position, asked](int16_t status, PgResult& result) {
        // A position taken twice is the caller's when it asked for one, else the store's fault.
        if (status != btr::kStatusSuccess) {
            if (status != btr::kStatusDuplicateKey) return status;
            return asked ? btr::kStatusInvalidRecordAddress : btr::kStatusIoError;
        }
        if (result.Rows() != 1) return btr::kStatusIoError;
        *position = result.Int(0, 0);
        // Positions are 4-byte record addresses.
        return *position > 0xFFFFFFFFLL ? btr::kStatusDiskFull : btr::kStatusSuccess;
    });
}

namespace {

// A change of one record that answers whether it found the record as read: with a row, or,
// sent ahead, by failing, for a write sent ahead learns it only from the server, and the rest
// of the write is then skipped.
std::string AskingOneRow(const std::string& change, bool sentAhead) {
    if (!sentAhead) return change + " RETURNING 1";
    return "WITH changed AS (" + change + " RETURNING 1) SELECT w3btrv7.expect(count(*) = 1, '" + kSqlStateNotAsRead +
           "') FROM changed";
}

}  // namespace

int16_t PgFile::UpdateRecord(int64_t position, const std::string& expected, const uint8_t* data, size_t size,
                             bool* changed) {
    PgParams params = Params();
    params.Int8(position).Bytes(data, size).Bytes(expected);
    const std::string& update =
        Text(kTextUpdateRecord + (deferring_ ? 1 : 0), [&] {
            return AskingOneRow(
                "UPDATE " + Table("w3b_record") + " SET data = $3 WHERE file = $1 AND position = $2 AND data = $4",
                deferring_);
        }).plain;
    *changed = true;
    if (deferring_) return Write(update, params);
    return Write(update, params, [changed](int16_t status, PgResult& result) {
        *changed = status == btr::kStatusSuccess && result.Rows() == 1;
        return status;
    });
}

int16_t PgFile::DeleteRecord(int64_t position, const std::string& expected, bool* changed) {
    PgParams params = Params();
    params.Int8(position).Bytes(expected);
    const std::string& remove =
        Text(kTextDeleteRecord + (deferring_ ? 1 : 0), [&] {
            return AskingOneRow(
                "DELETE FROM " + Table("w3b_record") + " WHERE file = $1 AND position = $2 AND data = $3", deferring_);
        }).plain;
    *changed = true;
    if (deferring_) return Write(remove, params);
    return Write(remove, params, [changed](int16_t status, PgResult& result) {
        *changed = status == btr::kStatusSuccess && result.Rows() == 1;
        return status;
    });
}

int16_t PgFile::StepRecord(Seek kind, int64_t from, int64_t* position, std::string* data, bool* found) {
    const char* order;
    switch (kind) {
        case Seek::kFirst: order = " ORDER BY position LIMIT 1"; break;
        case Seek::kLast: order = " ORDER BY position DESC LIMIT 1"; break;
        case Seek::kNext: order = " AND position > $2 ORDER BY position LIMIT 1"; break;
        case Seek::kPrevious: order = " AND position < $2 ORDER BY position DESC LIMIT 1"; break;
        default: return btr::kStatusInvalidOperation;
    }
    PgParams params = Params();
    if (kind == Seek::kNext || kind == Seek::kPrevious) params.Int8(from);
    PgResult result;
    StatementText& text = Text(kTextStepRecord + static_cast<size_t>(kind), [&] {
        return "SELECT position, data FROM " + Table("w3b_record") + " WHERE file = $1" + order;
    });
    if (int16_t status = Run(text, params, &result); status != btr::kStatusSuccess) return status;
    return ReadPositioned(result, position, data, found);
}

int16_t PgFile::StepRecords(Direction direction, int64_t from, int limit, std::vector<FetchedRow>* rows,
                            size_t* count) {
    bool forward = direction == Direction::kForward;
    *count = 0;
    if (limit < 1) return btr::kStatusSuccess;
    PgParams params = Params();
    params.Int8(from);
    PgResult result;
    StatementText& text = Text(kTextStepRecords + (forward ? 0 : 1), [&] {
        return "SELECT position, data FROM " + Table("w3b_record") +
               (forward ? " WHERE file = $1 AND position > $2 ORDER BY position"
                        : " WHERE file = $1 AND position < $2 ORDER BY position DESC") +
               Limit(kServerBatch);
    });
    int16_t status = Run(text, params, &result);
    if (status != btr::kStatusSuccess) return status;
    ReadRecordRows(result, rows, count);
    return btr::kStatusSuccess;
}

int16_t PgFile::CountRecords(int64_t* count) {
    PgParams params = Params();
    return RunForCount("SELECT count(*) FROM " + Table("w3b_record") + " WHERE file = $1", params, count);
}

int16_t PgFile::CountRecordsBefore(int64_t position, int64_t* count) {
    PgParams params = Params();
    params.Int8(position);
    return RunForCount("SELECT count(*) FROM " + Table("w3b_record") + " WHERE file = $1 AND position < $2", params,
                       count);
}

int16_t PgFile::RecordAtOffset(int64_t offset, int64_t* position, std::string* data, bool* found) {
    PgParams params = Params();
    params.Int8(offset);
    PgResult result;
    if (int16_t status = Run("SELECT position, data FROM " + Table("w3b_record") +
                                 " WHERE file = $1 ORDER BY position LIMIT 1 OFFSET $2",
                             params, &result);
        status != btr::kStatusSuccess) {
        return status;
    }
    return ReadPositioned(result, position, data, found);
}

// ---- Key entries -------------------------------------------------------------------------------

int16_t PgFile::SeekEntry(const KeyInfo& key, Seek kind, const std::string& value, int64_t sequence, KeyEntry* entry,
                          std::string* data, bool* found) {
    const char* ascending = " ORDER BY e.value, e.seq LIMIT 1";
    const char* descending = " ORDER BY e.value DESC, e.seq DESC LIMIT 1";
    const char* where = "";
    const char* order = ascending;
    switch (kind) {
        case Seek::kFirst: break;
        case Seek::kLast: order = descending; break;
        case Seek::kEqual: where = " AND e.value = $3"; break;
        case Seek::kGreater: where = " AND e.value > $3"; break;
        case Seek::kGreaterOrEqual: where = " AND e.value >= $3"; break;
        case Seek::kLess: where = " AND e.value < $3", order = descending; break;
        case Seek::kLessOrEqual: where = " AND e.value <= $3", order = descending; break;
        case Seek::kNext: where = " AND (e.value, e.seq) > ($3, $4)"; break;
        case Seek::kPrevious: where = " AND (e.value, e.seq) < ($3, $4)", order = descending; break;
        default: return btr::kStatusInvalidOperation;
    }
    PgParams params = KeyParams(key);
    if (kind != Seek::kFirst && kind != Seek::kLast) params.Bytes(value);
    if (kind == Seek::kNext || kind == Seek::kPrevious) params.Int8(sequence);
    PgResult result;
    StatementText& text = Text(kTextSeekEntry + static_cast<size_t>(kind), [&] {
        return kEntryColumns + Table("w3b_entry") + " e JOIN " + Table("w3b_record") +
               " r ON r.file = e.file AND r.position = e.position WHERE e.file = $1 AND e.key = $2" + where + order;
    });
    if (int16_t status = Run(text, params, &result); status != btr::kStatusSuccess) return status;
    *found = result.Rows() > 0;
    if (*found) ReadEntry(result, 0, entry, data);
    return btr::kStatusSuccess;
}

int16_t PgFile::SeekEntries(const KeyInfo& key, Direction direction, const KeyEntry& from, bool vacated, int limit,
                            std::vector<FetchedRow>* rows, size_t* count) {
    bool forward = direction == Direction::kForward;
    *count = 0;
    if (limit < 1) return btr::kStatusSuccess;
    PgParams params = KeyParams(key);
    params.Bytes(from.value);
    // One statement, so that a read is one round trip however the key is made. Without
    // duplicates every entry's seq is 0 and the value alone orders them. With duplicates the
    // rest of the block's group of equal values comes first, then the values beyond: together,
    // every entry after (before) the block's (value, seq). Going forward, the entry the block
    // stands on may have been deleted and its place in the group taken by a later arrival of the
    // same value: that one comes next.
    const char* where =
        forward ? " AND e.value > $3 ORDER BY e.value, e.seq" : " AND e.value < $3 ORDER BY e.value DESC, e.seq DESC";
    if (key.duplicates && forward) {
        params.Int8(from.sequence).Int8(from.position).Bool(vacated);
        where =
            " AND (e.value, e.seq) >= ($3, $4) AND ((e.value, e.seq) > ($3, $4) OR $6 OR e.position <> $5)"
            " ORDER BY e.value, e.seq";
    } else if (key.duplicates) {
        params.Int8(from.sequence);
        where = " AND (e.value, e.seq) < ($3, $4) ORDER BY e.value DESC, e.seq DESC";
    }
    PgResult result;
    StatementText& text = Text(kTextSeekEntries + (forward ? 0 : 1) + (key.duplicates ? 2 : 0), [&] {
        return kEntryColumns + Table("w3b_entry") + " e JOIN " + Table("w3b_record") +
               " r ON r.file = e.file AND r.position = e.position WHERE e.file = $1 AND e.key = $2" + where +
               Limit(kServerBatch);
    });
    if (int16_t status = Run(text, params, &result); status != btr::kStatusSuccess) return status;
    ReadRows(result, rows, count);
    return btr::kStatusSuccess;
}

int16_t PgFile::EntryOfRecord(const KeyInfo& key, const std::string& value, int64_t position, KeyEntry* entry,
                              bool* found) {
    PgParams params = KeyParams(key);
    params.Bytes(value).Int8(position);
    PgResult result;
    int16_t status = Run("SELECT seq FROM " + Table("w3b_entry") +
                             " WHERE file = $1 AND key = $2 AND value = $3 AND position = $4 LIMIT 1",
                         params, &result);
    *found = status == btr::kStatusSuccess && result.Rows() > 0;
    if (*found) *entry = KeyEntry{value, result.Int(0, 0), position};
    return status;
}

int16_t PgFile::EntryAtOffset(const KeyInfo& key, int64_t offset, KeyEntry* entry, std::string* data, bool* found) {
    PgParams params = KeyParams(key);
    params.Int8(offset);
    PgResult result;
    if (int16_t status = Run(kEntryColumns + Table("w3b_entry") + " e JOIN " + Table("w3b_record") +
                                 " r ON r.file = e.file AND r.position = e.position WHERE e.file = $1 AND e.key = $2"
                                 " ORDER BY e.value, e.seq LIMIT 1 OFFSET $3",
                             params, &result);
        status != btr::kStatusSuccess) {
        return status;
    }
    *found = result.Rows() > 0;
    if (*found) ReadEntry(result, 0, entry, data);
    return btr::kStatusSuccess;
}

int16_t PgFile::InsertEntry(const KeyInfo& key, const std::string& value, int64_t position, int64_t* sequence) {
    PgParams params = KeyParams(key);
    params.Bytes(value);
    // Inside a write sent ahead the record's position is the one the server gave it just now.
    const bool pending = position == kPositionPending;
    if (!pending) params.Int8(position);
    // Equal values keep the order in which they entered the key: a new one goes last. A key
    // without duplicates numbers every entry 0, so the primary key refuses a second value (5).
    const std::string& sql =
        Text(kTextInsertEntry + (key.duplicates ? 1 : 0) + (pending ? 2 : 0), [&] {
            std::string at = pending ? "currval('" + PositionSequence(*session_, id_) + "')" : "$4";
            return key.duplicates
                       ? "INSERT INTO " + Table("w3b_entry") +
                             "(file, key, value, seq, position) SELECT $1, $2, $3,"
                             " COALESCE(max(seq) + 1, 0), " +
                             at + " FROM " + Table("w3b_entry") +
                             " WHERE file = $1 AND key = $2 AND value = $3 RETURNING seq"
                       : "INSERT INTO " + Table("w3b_entry") +
                             "(file, key, value, seq, position) VALUES($1, $2, $3, 0, " + at + ") RETURNING seq";
        }).plain;
    return Write(sql, params, [sequence](int16_t status, PgResult& result) {
        if (status == btr::kStatusSuccess && sequence != nullptr) *sequence = result.Rows() > 0 ? result.Int(0, 0) : 0;
        return status;
    });
}

int16_t PgFile::DeleteEntry(const KeyInfo& key, const std::string& value, int64_t position) {
    PgParams params = KeyParams(key);
    params.Bytes(value).Int8(position);
    return Write(Text(kTextDeleteEntry,
                      [&] {
                          return "DELETE FROM " + Table("w3b_entry") +
                                 " WHERE file = $1 AND key = $2 AND value = $3 AND position = $4";
                      })
                     .plain,
                 params);
}

int16_t PgFile::CountEntries(const KeyInfo& key, int64_t* count) {
    PgParams params = KeyParams(key);
    return RunForCount("SELECT count(*) FROM " + Table("w3b_entry") + " WHERE file = $1 AND key = $2", params, count);
}

int16_t PgFile::CountDistinct(const KeyInfo& key, int64_t* count) {
    PgParams params = KeyParams(key);
    return RunForCount("SELECT count(DISTINCT value) FROM " + Table("w3b_entry") + " WHERE file = $1 AND key = $2",
                       params, count);
}

int16_t PgFile::CountEntriesBelow(const KeyInfo& key, const std::string& value, int64_t* count) {
    PgParams params = KeyParams(key);
    params.Bytes(value);
    return RunForCount("SELECT count(*) FROM " + Table("w3b_entry") + " WHERE file = $1 AND key = $2 AND value < $3",
                       params, count);
}

// ---- The whole file, for a copy into another store -------------------------------------------

int16_t PgFile::ListRecords(int64_t after, int limit, std::vector<FetchedRow>* rows, size_t* count) {
    PgParams params = Params();
    params.Int8(after).Int4(limit);
    PgResult result;
    *count = 0;
    int16_t status = Run("SELECT position, data FROM " + Table("w3b_record") +
                             " WHERE file = $1 AND position > $2 ORDER BY position LIMIT $3",
                         params, &result);
    if (status != btr::kStatusSuccess) return status;
    ReadRecordRows(result, rows, count);
    return btr::kStatusSuccess;
}

int16_t PgFile::ListEntries(const KeyInfo& key, const KeyEntry* after, int limit, std::vector<KeyEntry>* entries) {
    PgParams params = KeyParams(key);
    params.Int4(limit);
    if (after != nullptr) params.Bytes(after->value).Int8(after->sequence);
    PgResult result;
    int16_t status = Run("SELECT value, seq, position FROM " + Table("w3b_entry") + " WHERE file = $1 AND key = $2" +
                             (after != nullptr ? " AND (value, seq) > ($4, $5)" : "") + " ORDER BY value, seq LIMIT $3",
                         params, &result);
    entries->clear();
    if (status != btr::kStatusSuccess) return status;
    entries->resize(static_cast<size_t>(result.Rows()));
    for (int row = 0; row < result.Rows(); ++row)
        ReadEntry(result, row, &(*entries)[static_cast<size_t>(row)], nullptr);
    return btr::kStatusSuccess;
}

}  // namespace w3b
