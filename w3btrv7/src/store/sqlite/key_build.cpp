// Building a new key's table from the records already in the file.
#include <algorithm>
#include <utility>

#include "keys/key_codec.h"
#include "store/sqlite/key_tables.h"
#include "store/sqlite/schema.h"

namespace w3b {

namespace {

using Entries = std::vector<std::pair<std::string, int64_t>>;  // (encoded value, position)

// Every record's value of `key`, except the records on which the key is null.
int16_t CollectEntries(sqlite3* db, const KeyInfo& key, size_t recordLength, Entries* entries) {
    Statement scan;
    int rc = scan.Prepare(db, "SELECT position, data FROM records");
    if (rc != SQLITE_OK) return StatusOf(rc);
    while ((rc = sqlite3_step(scan.Get())) == SQLITE_ROW) {
        int64_t position = sqlite3_column_int64(scan.Get(), 0);
        const uint8_t* data = static_cast<const uint8_t*>(sqlite3_column_blob(scan.Get(), 1));
        size_t size = static_cast<size_t>(sqlite3_column_bytes(scan.Get(), 1));
        if (data == nullptr || size < recordLength) return btr::kStatusIoError;
        if (IsNullKey(key.def, data)) continue;
        entries->emplace_back(std::string(), position);
        EncodeRecordKey(key.def, data, &entries->back().first);
    }
    return rc == SQLITE_DONE ? btr::kStatusSuccess : StatusOf(rc);
}

}  // namespace

int16_t FillKeyTable(sqlite3* db, const KeyInfo& key, size_t recordLength) {
    // Encode every record, sort, then fill the key in its own order: appending to the index is
    // far cheaper than inserting at random places.
    Entries entries;
    if (int16_t status = CollectEntries(db, key, recordLength, &entries); status != btr::kStatusSuccess) {
        return status;
    }
    std::sort(entries.begin(), entries.end());
    Statement insert;
    std::string sql = "INSERT INTO " + KeyTable(key.number) + "(value, seq, position) VALUES(?1, ?2, ?3)";
    if (int rc = insert.Prepare(db, sql.c_str()); rc != SQLITE_OK) return StatusOf(rc);
    int64_t sequence = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        bool sameValue = i > 0 && entries[i].first == entries[i - 1].first;
        if (sameValue && !key.duplicates) return btr::kStatusDuplicateKey;
        // Records already in the file join their group in record order.
        sequence = sameValue ? sequence + 1 : 0;
        StatementScope scope(insert.Get());
        BindBlob(insert.Get(), 1, entries[i].first);
        sqlite3_bind_int64(insert.Get(), 2, sequence);
        sqlite3_bind_int64(insert.Get(), 3, entries[i].second);
        if (int rc = sqlite3_step(insert.Get()); rc != SQLITE_DONE) return StatusOf(rc);
    }
    return btr::kStatusSuccess;
}

}  // namespace w3b
