// raw_sqlite.h: what a programmer would write by hand with SQLite for the benchmark's work:
// one table of records by position, one WITHOUT ROWID table per key (key bytes, then position),
// prepared statements, the record manager's journal mode and synchronous setting, each write
// its own transaction, scans as one statement stepped to the end.
#ifndef W3BTRV7_BENCH_RAW_SQLITE_H
#define W3BTRV7_BENCH_RAW_SQLITE_H

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

namespace rawbench {

class RawFile {
public:
    // `fullSync`: synchronous=FULL instead of NORMAL.
    explicit RawFile(const std::string& path, bool fullSync = false);
    ~RawFile();

    // Record of 100 bytes: id (4 bytes, unique key 0) at 0, group (10 bytes, duplicate key 1) at 4.
    void Insert(const std::string& record);
    // All of `records` in one transaction.
    void InsertMany(const std::vector<std::string>& records);
    bool GetEqual(uint32_t id, std::string* record);
    // Every record in key-0 order / position order; returns the number read.
    size_t ScanByKey();
    size_t ScanByPosition();
    // Every record whose group (bytes 4..13) sorts below `group`, in key-0 order.
    size_t ScanByKeyGroupBelow(const std::string& group);
    // Position (rowid) of the record with key 0 `id`.
    int64_t PositionOf(uint32_t id);
    // The record at `position`, then its entry in key 0 found, as a program returning to a
    // remembered record and going on along the key from it would do.
    bool ReadWithKeyEntry(int64_t position, std::string* record);
    void Update(uint32_t id, const std::string& record);
    void Delete(uint32_t id);
    // A third key over bytes 14..23, filled by one statement.
    void BuildIndex();

private:
    sqlite3_stmt* Prepare(const char* sql);
    void InsertRows(const std::string& record);
    void Exec(const char* sql);

    sqlite3* db_ = nullptr;
    sqlite3_stmt *begin_, *commit_, *insertRecord_, *insertKey0_, *insertKey1_, *getEqual_, *scanKey_, *scanPosition_,
        *scanKeyGroupBelow_, *findPosition_, *readRecord_, *findEntry_, *updateRecord_, *deleteRecord_, *deleteKey0_,
        *deleteKey1_;
};

std::string BigEndian(uint32_t id);

}  // namespace rawbench

#endif  // W3BTRV7_BENCH_RAW_SQLITE_H
