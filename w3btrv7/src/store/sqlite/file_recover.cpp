#include "store/sqlite/file_recover.h"

#include <limits>
#include <memory>
#include <set>

#include "btrcall.h"
#include "platform.h"
#include "store/file_def.h"
#include "store/sqlite/connection.h"
#include "store/sqlite/key_tables.h"
#include "store/sqlite/schema.h"
#include "store/sqlite/sqlite_file.h"
#include "store/sqlite/statement.h"

namespace w3b {

namespace {

constexpr int64_t kLastPosition = std::numeric_limits<int64_t>::max();

// Closes a connection, rolling back what it left open.
struct Connection {
    sqlite3* db = nullptr;
    ~Connection() {
        if (db == nullptr) return;
        if (!sqlite3_get_autocommit(db)) Execute(db, "ROLLBACK");
        sqlite3_close_v2(db);
    }
};

// Reads the records of a damaged file in position order, past damaged pages.
class RecordScan {
public:
    explicit RecordScan(sqlite3* db) : db_(db) {}

    // Calls `take` for each readable record and `skip` for each damaged stretch (positions after
    // the first and before the last). False when the records cannot be read at all.
    bool Run(const std::function<void(int64_t, const std::string&)>& take,
             const std::function<void(int64_t, int64_t)>& skip) {
        // Seeks always go straight to the first position wanted (>=): a seek to the position
        // before would start inside the damaged page that ended the last pass.
        int64_t from = std::numeric_limits<int64_t>::min();
        for (;;) {
            Statement scan;
            if (scan.Prepare(db_, "SELECT position, data FROM records WHERE position >= ?1 ORDER BY position") !=
                SQLITE_OK) {
                return false;
            }
            sqlite3_bind_int64(scan.Get(), 1, from);
            const int64_t start = from;
            int rc;
            while ((rc = sqlite3_step(scan.Get())) == SQLITE_ROW) {
                const int64_t position = sqlite3_column_int64(scan.Get(), 0);
                take(position, ColumnBlob(scan.Get(), 1));
                if (position == kLastPosition) return true;
                from = position + 1;
            }
            if (rc == SQLITE_DONE) return true;
            // A damaged page: the next record readable past it starts the scan again.
            int64_t next = NextReadable(from - 1);
            if (next == start && from == start) ++next;  // nothing read from there: move on
            skip(from - 1, next);
            if (next == kLastPosition) return true;
            from = next;
        }
    }

private:
    // Whether seeking to the first record at or after `position` reads pages that are whole.
    bool Readable(int64_t position) {
        Statement probe;
        if (probe.Prepare(db_, "SELECT position FROM records WHERE position >= ?1 ORDER BY position LIMIT 1") !=
            SQLITE_OK) {
            return false;
        }
        sqlite3_bind_int64(probe.Get(), 1, position);
        const int rc = sqlite3_step(probe.Get());
        return rc == SQLITE_ROW || rc == SQLITE_DONE;
    }

    // The least position after `after` from which the records can be read again (kLastPosition
    // when none): steps that double until one reads, then halving back to the edge.
    int64_t NextReadable(int64_t after) {
        int64_t low = after, step = 1;
        int64_t high = kLastPosition;
        while (step < (int64_t{1} << 62)) {
            const int64_t probe = after + step;
            if (probe <= after) break;  // past the end of positions
            if (Readable(probe)) {
                high = probe;
                break;
            }
            low = probe;
            step *= 2;
        }
        if (high == kLastPosition) return kLastPosition;
        while (high - low > 1) {
            const int64_t middle = low + (high - low) / 2;
            (Readable(middle) ? high : low) = middle;
        }
        return high;
    }

    sqlite3* db_;
};

// The positions strictly between `after` and `before` that any key still lists.
std::set<int64_t> ListedBetween(sqlite3* db, const FileDef& def, int64_t after, int64_t before) {
    std::set<int64_t> positions;
    for (const KeyInfo& key : def.keys) {
        Statement listed;
        const std::string sql =
            "SELECT position FROM " + KeyTable(key.number) + " WHERE position > ?1 AND position < ?2";
        if (listed.Prepare(db, sql.c_str()) != SQLITE_OK) continue;
        sqlite3_bind_int64(listed.Get(), 1, after);
        sqlite3_bind_int64(listed.Get(), 2, before);
        while (sqlite3_step(listed.Get()) == SQLITE_ROW) positions.insert(sqlite3_column_int64(listed.Get(), 0));
    }
    return positions;
}

}  // namespace

int16_t RecoverSqliteFile(const std::string& source, const std::string& dest, const FileDef* definition,
                          const std::function<void(int64_t position, const std::string& why)>& lost,
                          RecoverCounts* counts, std::string* problem) {
    *counts = RecoverCounts();
    if (!platform::FileExists(source.c_str())) return btr::kStatusFileNotFound;
    if (platform::FileExists(dest.c_str())) {
        *problem = dest + " exists already";
        return btr::kStatusFileAlreadyExists;
    }
    Connection from;
    if (int rc = OpenReadingConnection(source, &from.db); rc != SQLITE_OK) {
        *problem = std::string("cannot open the source: ") + sqlite3_errstr(rc);
        return StatusOf(rc);
    }
    Execute(from.db, "BEGIN");
    std::unique_ptr<FileDef> stored;
    if (definition == nullptr && ReadDefinition(from.db, &stored) != btr::kStatusSuccess) {
        *problem = "the source's definition cannot be read: give it from a description (tydb recover --description)";
        return btr::kStatusNotABtrieveFile;
    }
    const FileDef* def = definition != nullptr ? definition : stored.get();
    if (int16_t status = SqliteFile::Create(dest, *def, IfExists::kRefuse); status != btr::kStatusSuccess) {
        *problem = "cannot make " + dest;
        return status;
    }
    // From here on a failure leaves no new file behind.
    bool made = false;
    struct Unmake {
        const std::string& path;
        const bool& made;
        ~Unmake() {
            if (!made) DeleteDatabase(path);
        }
    } unmake{dest, made};
    Connection to;
    int rc = OpenConnection(dest, Access::kReadWrite, &to.db);
    if (rc == SQLITE_OK) rc = Configure(to.db, ChooseShareMode(dest).mode);
    if (rc == SQLITE_OK) rc = Execute(to.db, "BEGIN IMMEDIATE");
    Statement insert;
    if (rc == SQLITE_OK) rc = insert.Prepare(to.db, "INSERT INTO records(position, data) VALUES(?1, ?2)");
    if (rc != SQLITE_OK) {
        *problem = std::string("cannot write ") + dest + ": " + sqlite3_errstr(rc);
        return StatusOf(rc);
    }
    const size_t recordLength = def->RecordLength();
    int writeError = SQLITE_OK;
    auto take = [&](int64_t position, const std::string& data) {
        if (data.size() < recordLength) {
            ++counts->lost;
            lost(position, "shorter than the record length");
            return;
        }
        StatementScope scope(insert.Get());
        sqlite3_bind_int64(insert.Get(), 1, position);
        BindBlob(insert.Get(), 2, data);
        if (int step = sqlite3_step(insert.Get()); step != SQLITE_DONE && writeError == SQLITE_OK) writeError = step;
        ++counts->saved;
    };
    auto skip = [&](int64_t after, int64_t before) {
        std::set<int64_t> listed = ListedBetween(from.db, *def, after, before);
        for (int64_t position : listed) lost(position, "in a damaged page");
        counts->lost += static_cast<int64_t>(listed.size());
        if (listed.empty()) {
            lost(-1, "a damaged stretch after position " + std::to_string(after) +
                         " that no key lists; its records, if any, are lost");
        }
    };
    if (!RecordScan(from.db).Run(take, skip)) {
        *problem = "the source's records cannot be read at all";
        return btr::kStatusUnrecoverable;
    }
    if (writeError != SQLITE_OK) {
        *problem = std::string("cannot write ") + dest + ": " + sqlite3_errstr(writeError);
        return StatusOf(writeError);
    }
    insert.Finalize();
    for (const KeyInfo& key : def->keys) {
        if (int16_t status = FillKeyTable(to.db, key, recordLength); status != btr::kStatusSuccess) {
            *problem = "key " + std::to_string(key.number) + " cannot be built from the saved records" +
                       (status == btr::kStatusDuplicateKey ? ": a value repeats in a key without duplicates" : "");
            return status;
        }
    }
    if ((rc = Execute(to.db, "COMMIT")) != SQLITE_OK || (rc = sqlite3_close(to.db)) != SQLITE_OK) {
        *problem = std::string("cannot finish ") + dest + ": " + sqlite3_errstr(rc);
        return StatusOf(rc);
    }
    to.db = nullptr;
    made = true;
    return btr::kStatusSuccess;
}

}  // namespace w3b
