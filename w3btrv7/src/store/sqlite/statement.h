// statement.h: small owning wrappers over SQLite handles.
#ifndef W3BTRV7_STORE_SQLITE_STATEMENT_H
#define W3BTRV7_STORE_SQLITE_STATEMENT_H

#include <sqlite3.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace w3b {

// A prepared statement, finalized by the destructor. Movable, not copyable.
class Statement {
public:
    Statement() = default;
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Prepares `sql` once; later calls reuse the prepared form. Returns an SQLite result code.
    int Prepare(sqlite3* db, const char* sql);
    bool IsPrepared() const { return stmt_ != nullptr; }
    sqlite3_stmt* Get() const { return stmt_; }
    void Finalize();

private:
    sqlite3_stmt* stmt_ = nullptr;
};

// Resets a statement when the scope ends, so that no statement keeps a read transaction
// (and with it an old snapshot) open between calls.
class StatementScope {
public:
    explicit StatementScope(sqlite3_stmt* stmt) : stmt_(stmt) {}
    ~StatementScope() {
        if (stmt_ != nullptr) {
            sqlite3_reset(stmt_);
            sqlite3_clear_bindings(stmt_);
        }
    }
    StatementScope(const StatementScope&) = delete;
    StatementScope& operator=(const StatementScope&) = delete;

private:
    sqlite3_stmt* stmt_;
};

inline void BindBlob(sqlite3_stmt* stmt, int index, const void* data, size_t size) {
    sqlite3_bind_blob(stmt, index, size == 0 ? "" : data, static_cast<int>(size), SQLITE_STATIC);
}

inline void BindBlob(sqlite3_stmt* stmt, int index, const std::string& bytes) {
    BindBlob(stmt, index, bytes.data(), bytes.size());
}

// Replaces `*out` with a blob column, reusing the string's buffer. Batches read every row
// through here: the column is fetched once (sqlite3_column_blob and _bytes would each enter the
// statement again; the value it gives is SQLite's "unprotected" kind, safe here since a
// connection serves one call at a time), and a buffer that already has the size is only
// overwritten.
[[gnu::always_inline]] inline void AssignBlob(sqlite3_stmt* stmt, int column, std::string* out) {
    sqlite3_value* value = sqlite3_column_value(stmt, column);
    const void* bytes = sqlite3_value_blob(value);
    size_t size = static_cast<size_t>(sqlite3_value_bytes(value));
    if (out->size() != size) out->resize(size);
    if (size != 0) std::memcpy(out->data(), bytes, size);
}

inline std::string ColumnBlob(sqlite3_stmt* stmt, int column) {
    const void* data = sqlite3_column_blob(stmt, column);
    int size = sqlite3_column_bytes(stmt, column);
    if (data == nullptr || size <= 0) return std::string();
    return std::string(static_cast<const char*>(data), static_cast<size_t>(size));
}

// Runs SQL text without results (schema changes, pragmas, transaction control).
int Execute(sqlite3* db, const char* sql);

// `statement` prepared on `db` from `sql` the first time, or nullptr when SQLite refuses it.
sqlite3_stmt* Prepared(sqlite3* db, Statement& statement, const std::string& sql);

// `statement`, prepared from the SQL text `makeSql()` returns the first time: the text is built
// only when the statement is not prepared yet.
template <typename MakeSql>
sqlite3_stmt* PreparedOnce(sqlite3* db, Statement& statement, MakeSql makeSql) {
    if (statement.IsPrepared()) return statement.Get();
    return Prepared(db, statement, makeSql());
}

// Runs a statement that returns nothing the caller needs, and resets it. An SQLite result code.
int StepOnce(sqlite3_stmt* stmt);

// Runs a statement of one count and resets it. A status.
int16_t StepCount(sqlite3_stmt* stmt, int64_t* count);

// The status that answers an SQLite result code.
int16_t StatusOf(int rc);

}  // namespace w3b

#endif  // W3BTRV7_STORE_SQLITE_STATEMENT_H
