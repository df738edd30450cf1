// record_table.h: the records of a data file in the SQLite store, by position (the table's
// integer primary key).
#ifndef W3BTRV7_STORE_SQLITE_RECORD_TABLE_H
#define W3BTRV7_STORE_SQLITE_RECORD_TABLE_H

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "store/file_connection.h"
#include "store/sqlite/statement.h"

namespace w3b {

// The statements on the record table of one connection, prepared on first use. Each method is
// FileConnection's of the same name.
class RecordTable {
public:
    // `db` is the connection's handle, which may be opened after this is made.
    explicit RecordTable(sqlite3* const& db) : db_(db) {}
    RecordTable(const RecordTable&) = delete;
    RecordTable& operator=(const RecordTable&) = delete;

    int16_t Read(int64_t position, std::string* data, bool* found);
    int16_t Insert(const uint8_t* data, size_t size, int64_t* position);
    int16_t Update(int64_t position, const std::string& expected, const uint8_t* data, size_t size, bool* changed);
    int16_t Delete(int64_t position, const std::string& expected, bool* changed);
    // Removes the record at `position` whatever it holds: undoes an insert.
    int16_t Erase(int64_t position);
    int16_t Step(Seek kind, int64_t from, int64_t* position, std::string* data, bool* found);
    int16_t StepMany(Direction direction, int64_t from, int limit, std::vector<FetchedRow>* rows, size_t* count);
    int16_t Count(int64_t* count);
    int16_t CountBefore(int64_t position, int64_t* count);
    int16_t AtOffset(int64_t offset, int64_t* position, std::string* data, bool* found);

    // Before the connection closes.
    void Finalize();

private:
    sqlite3* const& db_;
    Statement read_, insert_, update_, delete_, erase_, count_, countBefore_, atOffset_;
    Statement step_[4];
    Statement stepMany_[2];
};

}  // namespace w3b

#endif  // W3BTRV7_STORE_SQLITE_RECORD_TABLE_H
