#include "store/sqlite/file_backup.h"

#include <cstdio>
#include <random>

#include "btrcall.h"
#include "platform.h"
#include "store/sqlite/connection.h"
#include "store/sqlite/statement.h"

namespace w3b {

namespace {

constexpr int kPagesPerStep = 128;
// With a rollback journal: restarts after which the rest is copied in one step.
constexpr int kRestartsBeforeOneStep = 20;

// Closes both connections and the backup, whatever happens.
struct BackupScope {
    sqlite3* source = nullptr;
    sqlite3* dest = nullptr;
    sqlite3_backup* backup = nullptr;
    ~BackupScope() {
        if (backup != nullptr) sqlite3_backup_finish(backup);
        if (source != nullptr) {
            Execute(source, "ROLLBACK");
            sqlite3_close_v2(source);
        }
        if (dest != nullptr) sqlite3_close_v2(dest);
    }
};

bool InWalMode(sqlite3* db) {
    Statement mode;
    if (mode.Prepare(db, "PRAGMA journal_mode") != SQLITE_OK || sqlite3_step(mode.Get()) != SQLITE_ROW) return false;
    const char* name = reinterpret_cast<const char*>(sqlite3_column_text(mode.Get(), 0));
    return name != nullptr && sqlite3_stricmp(name, "wal") == 0;
}

// Runs the backup to its end. An SQLite result code.
int Copy(sqlite3_backup* backup, bool restartable, const std::function<void(int64_t, int64_t)>& progress) {
    int restarts = 0;
    int waitedMs = 0;
    int64_t copiedBefore = 0;
    for (;;) {
        const int pages = restartable && restarts >= kRestartsBeforeOneStep ? -1 : kPagesPerStep;
        int rc = sqlite3_backup_step(backup, pages);
        const int64_t total = sqlite3_backup_pagecount(backup);
        const int64_t copied = total - sqlite3_backup_remaining(backup);
        if (rc == SQLITE_DONE) {
            progress(total, total);
            return SQLITE_OK;
        }
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
            if (waitedMs >= kBusyTimeoutMs) return rc;
            sqlite3_sleep(10);
            waitedMs += 10;
            continue;
        }
        if (rc != SQLITE_OK) return rc;
        waitedMs = 0;
        if (copied < copiedBefore) ++restarts;  // another workstation committed: begun again
        copiedBefore = copied;
        progress(copied, total);
        // Room for the writers between two slices, which with a rollback journal wait for them.
        if (restartable) sqlite3_sleep(1);
    }
}

}  // namespace

int16_t BackupSqliteFile(const std::string& source, const std::string& dest,
                         const std::function<void(int64_t, int64_t)>& progress, std::string* problem) {
    if (!platform::FileExists(source.c_str())) return btr::kStatusFileNotFound;
    if (platform::FileExists(dest.c_str())) {
        *problem = dest + " exists already";
        return btr::kStatusFileAlreadyExists;
    }
    BackupScope scope;
    int rc = OpenReadingConnection(source, &scope.source);
    if (rc != SQLITE_OK) {
        *problem = std::string("cannot open the source: ") + sqlite3_errstr(rc);
        return StatusOf(rc);
    }
    // In WAL mode the copy reads through one read transaction: the moment it began, however
    // long it takes, and writers never wait for a reader there.
    const bool wal = InWalMode(scope.source);
    if (wal && (Execute(scope.source, "BEGIN") != SQLITE_OK ||
                Execute(scope.source, "SELECT count(*) FROM sqlite_master") != SQLITE_OK)) {
        *problem = std::string("cannot read the source: ") + sqlite3_errmsg(scope.source);
        return StatusOf(sqlite3_errcode(scope.source));
    }
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".new-%08x", static_cast<unsigned>(std::random_device()()));
    const std::string temporary = dest + suffix;
    rc = sqlite3_open_v2(temporary.c_str(), &scope.dest,
                         SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc == SQLITE_OK) {
        scope.backup = sqlite3_backup_init(scope.dest, "main", scope.source, "main");
        rc = scope.backup != nullptr ? Copy(scope.backup, !wal, progress) : sqlite3_errcode(scope.dest);
    }
    if (scope.backup != nullptr) {
        int finish = sqlite3_backup_finish(scope.backup);
        scope.backup = nullptr;
        if (rc == SQLITE_OK) rc = finish;
    }
    if (rc == SQLITE_OK) rc = sqlite3_close(scope.dest);
    scope.dest = nullptr;
    if (rc != SQLITE_OK) {
        *problem = std::string("the copy failed: ") + sqlite3_errstr(rc);
        DeleteDatabase(temporary);
        return rc == SQLITE_BUSY || rc == SQLITE_LOCKED ? btr::kStatusFileInUse : StatusOf(rc);
    }
    platform::FileStatus fs = platform::RenameNoReplace(temporary.c_str(), dest.c_str());
    if (fs != platform::FileStatus::kOk) {
        DeleteDatabase(temporary);
        *problem = fs == platform::FileStatus::kAlreadyExists ? dest + " appeared meanwhile"
                                                              : "the copy could not be moved to " + dest;
        return fs == platform::FileStatus::kAlreadyExists ? btr::kStatusFileAlreadyExists : btr::kStatusCreateIoError;
    }
    return btr::kStatusSuccess;
}

}  // namespace w3b
