#include "store/sqlite/connection.h"

#include <cstring>

#include "platform.h"
#include "settings.h"
#include "store/sqlite/statement.h"

namespace w3b {

namespace {

// Reads map the file instead of copying its pages through a private cache, so a large file costs
// no more per page than a small one. A 32-bit process keeps its address space for the
// application, which may have many files open.
constexpr sqlite3_int64 kMapSize = sizeof(void*) >= 8 ? sqlite3_int64{1} << 30 : 0;
constexpr int kWriteCacheKiB = 8192;

// A URI naming `path` as a database that cannot change: SQLite then neither locks it nor
// looks for its journals.
std::string ImmutableUri(const std::string& path) {
    std::string uri = "file:";
    if (path.size() > 1 && path[1] == ':') uri += '/';  // a Windows drive letter
    for (char c : path) {
        switch (c) {
            case '\\': uri += '/'; break;
            case '%': uri += "%25"; break;
            case '?': uri += "%3f"; break;
            case '#': uri += "%23"; break;
            default: uri += c;
        }
    }
    return uri + "?immutable=1";
}

}  // namespace

int OpenConnection(const std::string& path, Access access, sqlite3** db) {
    if (access == Access::kReadWrite) {
        return sqlite3_open_v2(path.c_str(), db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    }
    // Nobody can change a file on read-only media either.
    if (platform::IsOnReadOnlyVolume(path.c_str())) {
        return sqlite3_open_v2(ImmutableUri(path).c_str(), db,
                               SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    }
    return sqlite3_open_v2(path.c_str(), db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
}

int OpenReadingConnection(const std::string& path, sqlite3** db) {
    int rc = OpenConnection(path, Access::kReadWrite, db);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(*db);
        *db = nullptr;
        rc = OpenConnection(path, Access::kReadOnly, db);
    }
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(*db);
        *db = nullptr;
        return rc;
    }
    sqlite3_busy_timeout(*db, kBusyTimeoutMs);
    Execute(*db, "PRAGMA query_only=1");
    return SQLITE_OK;
}

int Configure(sqlite3* db, ShareMode mode) {
    const bool network = mode == ShareMode::kNetworkShare;
    Statement journal;
    int rc = journal.Prepare(db, network ? "PRAGMA journal_mode=DELETE" : "PRAGMA journal_mode=WAL");
    if (rc == SQLITE_OK) rc = sqlite3_step(journal.Get());
    if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? SQLITE_ERROR : rc;
    // SQLite answers the mode it is in. Leaving WAL needs the file to itself: a connection still
    // using the shared memory would go on reading pages no journal protects.
    const char* now = reinterpret_cast<const char*>(sqlite3_column_text(journal.Get(), 0));
    if (network && (now == nullptr || sqlite3_stricmp(now, "delete") != 0)) return SQLITE_BUSY;
    journal.Finalize();
    // In rollback mode a commit is durable only once the journal is gone: NORMAL syncs that too.
    Execute(db, FullSyncSetting() ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL");
    // A transaction of many inserts changes pages all over each key; a cache that holds them
    // until the commit writes each once, where SQLite's 2 MiB would write them out and read
    // them back. The cache only grows as far as a connection writes.
    Execute(db, ("PRAGMA cache_size=-" + std::to_string(kWriteCacheKiB)).c_str());
    return ConfigureReading(db, mode);
}

int ConfigureReading(sqlite3* db, ShareMode mode) {
    // Mapped pages of a file on a share may lag what another computer wrote.
    const sqlite3_int64 mapSize = mode == ShareMode::kNetworkShare ? 0 : kMapSize;
    return Execute(db, ("PRAGMA mmap_size=" + std::to_string(mapSize)).c_str());
}

std::string DatabaseName(const std::string& path) {
    sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
    if (vfs == nullptr || vfs->mxPathname <= 0) return path;
    std::string full(static_cast<size_t>(vfs->mxPathname) + 1, '\0');
    if (vfs->xFullPathname(vfs, path.c_str(), vfs->mxPathname + 1, full.data()) != SQLITE_OK) return path;
    full.resize(std::strlen(full.c_str()));
    return full;
}

void DeleteDatabase(const std::string& path) {
    std::string databaseName = DatabaseName(path);
    for (const char* suffix : {"-wal", "-shm", "-journal"}) platform::DeleteFile((databaseName + suffix).c_str());
    platform::DeleteFile(path.c_str());
}

}  // namespace w3b
