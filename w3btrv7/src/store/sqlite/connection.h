// connection.h: opening and setting up an SQLite connection to a data file.
#ifndef W3BTRV7_STORE_SQLITE_CONNECTION_H
#define W3BTRV7_STORE_SQLITE_CONNECTION_H

#include <sqlite3.h>

#include <string>

#include "store/sqlite/share_mode.h"

namespace w3b {

// How long a write waits for another process's write before it answers 85.
inline constexpr int kBusyTimeoutMs = 10000;

enum class Access { kReadWrite, kReadOnly };

// Opens `path` (an existing database). Read-only on read-only media, it is opened as the
// unchanging file it is: SQLite could not make the shared memory a WAL reader needs there. An
// SQLite result code; `*db` must be closed even when it fails.
int OpenConnection(const std::string& path, Access access, sqlite3** db);

// Opens `path` for a job that only reads it beside the application (check, backup, recovery):
// read-write where it can be, so that a WAL reader can use the shared memory, read-only
// otherwise; it writes nothing (query_only) and waits for writers as long as a write would. An
// SQLite result code; on failure `*db` is closed and null.
int OpenReadingConnection(const std::string& path, sqlite3** db);

// Journal, durability and read settings of every connection that may write a data file: WAL for
// one computer, a rollback journal for a network share (SQLITE_BUSY when another connection
// keeps the file in WAL mode meanwhile).
int Configure(sqlite3* db, ShareMode mode);
// The settings of a connection that only reads (it changes no journal mode).
int ConfigureReading(sqlite3* db, ShareMode mode);

// The name SQLite gives the database at `path` (its full path with links resolved), from which
// it names the journals beside it.
std::string DatabaseName(const std::string& path);

// Deletes the database at `path` with the journals beside it.
void DeleteDatabase(const std::string& path);

}  // namespace w3b

#endif  // W3BTRV7_STORE_SQLITE_CONNECTION_H
