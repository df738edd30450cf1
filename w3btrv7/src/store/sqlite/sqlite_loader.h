// sqlite_loader.h: a new SQLite data file filled with another store's records and key entries.
#ifndef W3BTRV7_STORE_SQLITE_SQLITE_LOADER_H
#define W3BTRV7_STORE_SQLITE_SQLITE_LOADER_H

#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

#include "store/file_def.h"
#include "store/file_loader.h"
#include "store/sqlite/statement.h"

namespace w3b {

class SqliteLoader final : public FileLoader {
public:
    // Creates the data file at `path` (nothing may be there) holding `def`, to be filled.
    static int16_t Create(const std::string& path, const FileDef& def, std::unique_ptr<FileLoader>* out);
    ~SqliteLoader() override;

    int16_t PutRecord(int64_t position, const std::string& data) override;
    int16_t PutEntry(int key, const KeyEntry& entry) override;
    // SQLite gives a new record the position after the highest one in the file: nothing to set.
    int16_t Finish(int64_t highest) override;
    std::string Problem() const override { return db_ != nullptr ? sqlite3_errmsg(db_) : std::string(); }

private:
    SqliteLoader() = default;

    std::string path_;
    sqlite3* db_ = nullptr;
    bool finished_ = false;
    Statement insertRecord_;
    std::vector<Statement> insertEntry_;  // by key number
};

}  // namespace w3b

#endif  // W3BTRV7_STORE_SQLITE_SQLITE_LOADER_H
