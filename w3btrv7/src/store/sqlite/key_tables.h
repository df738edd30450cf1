// key_tables.h: the key entries of a data file in the SQLite store: one table per key of
// (value, seq, position), ordered by value and then by the order of arrival.
#ifndef W3BTRV7_STORE_SQLITE_KEY_TABLES_H
#define W3BTRV7_STORE_SQLITE_KEY_TABLES_H

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "store/file_connection.h"
#include "store/sqlite/statement.h"

namespace w3b {

// The statements on the key tables of one connection, prepared on first use per key. Each
// method is FileConnection's of the same name.
class KeyTables {
public:
    // `db` is the connection's handle, which may be opened after this is made.
    explicit KeyTables(sqlite3* const& db) : db_(db) {}
    KeyTables(const KeyTables&) = delete;
    KeyTables& operator=(const KeyTables&) = delete;

    int16_t SeekEntry(const KeyInfo& key, Seek kind, const std::string& value, int64_t sequence, KeyEntry* entry,
                      std::string* data, bool* found);
    int16_t SeekEntries(const KeyInfo& key, Direction direction, const KeyEntry& from, bool vacated, int limit,
                        std::vector<FetchedRow>* rows, size_t* count);
    int16_t EntryOfRecord(const KeyInfo& key, const std::string& value, int64_t position, KeyEntry* entry, bool* found);
    int16_t EntryAtOffset(const KeyInfo& key, int64_t offset, KeyEntry* entry, std::string* data, bool* found);
    int16_t InsertEntry(const KeyInfo& key, const std::string& value, int64_t position, int64_t* sequence);
    int16_t DeleteEntry(const KeyInfo& key, const std::string& value, int64_t position);
    int16_t CountEntries(const KeyInfo& key, int64_t* count);
    int16_t CountDistinct(const KeyInfo& key, int64_t* count);
    int16_t CountEntriesBelow(const KeyInfo& key, const std::string& value, int64_t* count);
    int16_t ListEntries(const KeyInfo& key, const KeyEntry* after, int limit, std::vector<KeyEntry>* entries);

    // Forgets every prepared statement: the key tables were renamed, dropped or added.
    void Reset() { statements_.clear(); }

    // While the connection holds the file's write lock from one operation to the next (its
    // transaction), nobody else changes the key tables, so the number of the last entry of each
    // group of equal values, once known, is kept instead of looked up again for the next
    // arrival. Whatever may lower it (a deleted entry, an operation or transaction rolled back)
    // makes it be looked up again, so every entry gets exactly the number the lookup would give.
    void KeepGroupEnds(bool keep);
    void ForgetGroupEnds();

private:
    struct Statements {
        Statement seek[static_cast<int>(Seek::kCount_)];
        Statement groupRest[2], beyond[2];  // forward, backward
        Statement samePlace, entryOfRecord, atOffset, insert, erase, lastSequence, count, countDistinct, countBelow;
        std::unordered_map<std::string, int64_t> groupEnds;  // value -> its last sequence number
    };

    Statements& Of(const KeyInfo& key);
    // The entry that took the place of `from` in its group of equal values, if any.
    int16_t SeekSamePlace(const KeyInfo& key, const KeyEntry& from, bool vacated, std::vector<FetchedRow>* rows,
                          size_t* count);
    // Reads the rows of a batch statement (seq, position, record) after those already in `rows`.
    int16_t ReadBatch(sqlite3_stmt* stmt, const KeyInfo& key, const KeyEntry& from, int limit,
                      std::vector<FetchedRow>* rows, size_t* count);
    // The sequence number of a new entry of `value`: last of its group.
    int16_t NextSequence(const KeyInfo& key, const std::string& value, int64_t* next);

    sqlite3* const& db_;
    std::vector<std::unique_ptr<Statements>> statements_;  // by key number
    bool keepGroupEnds_ = false;
};

// Fills the empty table of `key` from every record of the file, inside a write the caller has
// begun: 5 when a key without duplicates meets a value twice, 2 when a record is shorter than
// `recordLength`.
int16_t FillKeyTable(sqlite3* db, const KeyInfo& key, size_t recordLength);

}  // namespace w3b

#endif  // W3BTRV7_STORE_SQLITE_KEY_TABLES_H
