#include "store/sqlite/file_check.h"

#include <algorithm>
#include <memory>
#include <vector>
#include <unordered_map>
#include <unordered_set>

#include "btrcall.h"
#include "keys/key_codec.h"
#include "platform.h"
#include "store/file_def.h"
#include "store/sqlite/connection.h"
#include "store/sqlite/schema.h"
#include "store/sqlite/statement.h"

namespace w3b {

namespace {

// SQLite's integrity check stops after this many complaints.
constexpr int kIntegrityMessages = 100;

class Checker {
public:
    Checker(sqlite3* db, const std::function<void(const Finding&)>& report, CheckCounts* counts)
        : db_(db), report_(report), counts_(counts) {}

    void Report(DamageKind kind, int key, int64_t position, std::string text) {
        ++counts_->findings;
        report_(Finding{kind, key, position, std::move(text)});
    }

    // SQLite's own check of every page, table and index. False when the file is no database.
    bool CheckPages() {
        Statement check;
        std::string sql = "PRAGMA integrity_check(" + std::to_string(kIntegrityMessages) + ")";
        int rc = check.Prepare(db_, sql.c_str());
        if (rc == SQLITE_NOTADB) return false;
        if (rc != SQLITE_OK) {
            Report(DamageKind::kPages, -1, -1,
                   std::string("the file's pages cannot be checked: ") + sqlite3_errmsg(db_));
            return true;
        }
        while ((rc = sqlite3_step(check.Get())) == SQLITE_ROW) {
            const char* line = reinterpret_cast<const char*>(sqlite3_column_text(check.Get(), 0));
            std::string text = line != nullptr ? line : "";
            if (text != "ok") Report(DamageKind::kPages, -1, -1, text);
        }
        if (rc == SQLITE_NOTADB) return false;
        if (rc != SQLITE_DONE)
            Report(DamageKind::kPages, -1, -1, std::string("page check stopped: ") + sqlite3_errmsg(db_));
        return true;
    }

    // Every record's value of `key` (records the key leaves out by its null rule: in `nulls`).
    bool ExpectedEntries(const KeyInfo& key, size_t recordLength, std::unordered_map<int64_t, std::string>* values,
                         std::unordered_set<int64_t>* nulls, bool countRecords) {
        Statement scan;
        if (scan.Prepare(db_, "SELECT position, data FROM records") != SQLITE_OK) return false;
        int rc;
        while ((rc = sqlite3_step(scan.Get())) == SQLITE_ROW) {
            const int64_t position = sqlite3_column_int64(scan.Get(), 0);
            const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(scan.Get(), 1));
            const size_t size = static_cast<size_t>(sqlite3_column_bytes(scan.Get(), 1));
            if (countRecords) ++counts_->records;
            if (data == nullptr || size < recordLength) {
                if (countRecords) {
                    Report(DamageKind::kShortRecord, -1, position,
                           "record " + std::to_string(position) + " has " + std::to_string(size) +
                               " bytes, fewer than the record length " + std::to_string(recordLength));
                }
                nulls->insert(position);  // no entry can be judged for it
                continue;
            }
            if (IsNullKey(key.def, data)) {
                nulls->insert(position);
                continue;
            }
            EncodeRecordKey(key.def, data, &(*values)[position]);
        }
        if (rc != SQLITE_DONE) {
            Report(DamageKind::kPages, key.number, -1,
                   std::string("the records cannot all be read: ") + sqlite3_errmsg(db_));
        }
        return rc == SQLITE_DONE;
    }

    void CheckKey(const KeyInfo& key, size_t recordLength, bool countRecords) {
        std::unordered_map<int64_t, std::string> expected;
        std::unordered_set<int64_t> nulls;
        if (!ExpectedEntries(key, recordLength, &expected, &nulls, countRecords)) return;
        const int k = key.number;
        const std::string name = "key " + std::to_string(k);
        Statement entries;
        std::string sql = "SELECT value, seq, position FROM " + KeyTable(k) + " ORDER BY value, seq";
        if (entries.Prepare(db_, sql.c_str()) != SQLITE_OK) {
            Report(DamageKind::kDefinition, k, -1, name + " has no table of entries: " + sqlite3_errmsg(db_));
            return;
        }
        std::unordered_set<int64_t> listed;
        std::string previous;
        bool first = true;
        int rc;
        while ((rc = sqlite3_step(entries.Get())) == SQLITE_ROW) {
            ++counts_->entries;
            std::string value = ColumnBlob(entries.Get(), 0);
            const int64_t seq = sqlite3_column_int64(entries.Get(), 1);
            const int64_t position = sqlite3_column_int64(entries.Get(), 2);
            const std::string at = name + ", record " + std::to_string(position);
            if (!listed.insert(position).second) {
                Report(DamageKind::kWrongEntry, k, position, at + ": listed more than once");
            }
            auto record = expected.find(position);
            if (record == expected.end()) {
                Report(DamageKind::kStrayEntry, k, position,
                       nulls.count(position) != 0 ? at + ": listed, though the key leaves it out (null value)"
                                                  : at + ": listed, but there is no such record");
            } else if (record->second != value) {
                Report(DamageKind::kWrongEntry, k, position, at + ": listed under a value the record does not have");
            }
            const bool sameValue = !first && value == previous;
            if (seq < 0 || (!key.duplicates && (seq != 0 || sameValue))) {
                Report(DamageKind::kOrder, k, position,
                       at + (key.duplicates ? ": negative order number among duplicates"
                                            : ": a repeated value in a key without duplicates"));
            }
            previous = std::move(value);
            first = false;
        }
        if (rc != SQLITE_DONE) {
            Report(DamageKind::kPages, k, -1, name + ": the entries cannot all be read: " + sqlite3_errmsg(db_));
            return;
        }
        std::vector<int64_t> missing;
        for (const auto& [position, value] : expected) {
            if (listed.count(position) == 0) missing.push_back(position);
        }
        std::sort(missing.begin(), missing.end());
        for (int64_t position : missing) {
            Report(DamageKind::kMissingEntry, k, position,
                   name + ", record " + std::to_string(position) + ": not listed in the key");
        }
    }

    int16_t Run() {
        if (!CheckPages()) return btr::kStatusNotABtrieveFile;
        std::unique_ptr<FileDef> def;
        if (ReadDefinition(db_, &def) != btr::kStatusSuccess) {
            Report(DamageKind::kDefinition, -1, -1, "the stored definition cannot be read or is not valid");
            return btr::kStatusSuccess;
        }
        counts_->keys = static_cast<int>(def->keys.size());
        if (def->keys.empty()) {
            Statement count;
            if (count.Prepare(db_, "SELECT count(*) FROM records") == SQLITE_OK &&
                sqlite3_step(count.Get()) == SQLITE_ROW) {
                counts_->records = sqlite3_column_int64(count.Get(), 0);
            }
        }
        bool countRecords = true;
        for (const KeyInfo& key : def->keys) {
            CheckKey(key, def->RecordLength(), countRecords);
            countRecords = false;
        }
        return btr::kStatusSuccess;
    }

private:
    sqlite3* db_;
    const std::function<void(const Finding&)>& report_;
    CheckCounts* counts_;
};

}  // namespace

int16_t CheckSqliteFile(const std::string& path, const std::function<void(const Finding&)>& report,
                        CheckCounts* counts) {
    *counts = CheckCounts();
    if (!platform::FileExists(path.c_str())) return btr::kStatusFileNotFound;
    sqlite3* db = nullptr;
    if (OpenReadingConnection(path, &db) != SQLITE_OK) return btr::kStatusFileNotFound;
    // One snapshot for the whole check: a record written meanwhile is neither missing nor stray.
    int16_t status = Execute(db, "BEGIN") == SQLITE_OK ? Checker(db, report, counts).Run() : btr::kStatusIoError;
    Execute(db, "ROLLBACK");
    sqlite3_close_v2(db);
    return status;
}

}  // namespace w3b
