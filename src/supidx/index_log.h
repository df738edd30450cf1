// index_log.h: the account of one index action, appended to "tysupidx.log".
//
// Every registry carries one IndexLog. The registry sets the action it performed; when the
// log is destroyed (after the registry file is closed) it appends one entry to the log file in
// the data file's directory and copies it to the debugger output, but only while the setting
// "Index Log" is non-zero and an action was set. Writing never changes a caller's result.
#ifndef TYDB_SUPIDX_INDEX_LOG_H
#define TYDB_SUPIDX_INDEX_LOG_H

#include <cstdint>

#include "platform.h"
#include "registry_record.h"

namespace tydb {

class IndexRequest;

enum IndexAction : int32_t {
    kActionBuildingNewKey = 0,
    kActionActivatingExistingKey = 1,
    kActionDeactivatingExistingKey = 2,
    kActionPurgingExistingKey = 3,
    // Nothing was done: no entry is written.
    kActionInvalidOperation = 4,
};

inline constexpr const char* kLogFileName = TYDB_LOG_FILE_NAME;
inline constexpr const char* kIndexLogSetting = TYDB_SETTING_INDEX_LOG;
// The entry text stays below this for directories of up to 259 characters.
inline constexpr int kLogEntrySize = 1024;
inline constexpr int kLogOpenAttempts = 10;

// The first line of an entry: the action's name; "INVALID OPERATION" for unknown codes.
const char* IndexActionName(int32_t action);

class IndexLog {
public:
    // Takes the current time as the start time. Neither argument is owned; both must outlive
    // the log.
    IndexLog(IndexRequest& request, const RegistryRecord& record);
    virtual ~IndexLog();
    IndexLog(const IndexLog&) = delete;
    IndexLog& operator=(const IndexLog&) = delete;

    // The last action set is the one written.
    void SetAction(int32_t action) { action_ = action; }
    int32_t action() const { return action_; }

    // Appends the entry now, when the setting asks for it and an action was set.
    void WriteEntry();

    // Forms the entry text into `out` (kLogEntrySize bytes) from the record, the request and a
    // freshly read statistics buffer; the stop time is `stopTime`.
    void FormatEntry(int64_t stopTime, char* out);

    // Opens `path` for appending in text mode, shared with nobody: up to kLogOpenAttempts
    // attempts, waiting DbWait(3) after each one that finds the file held. False when none
    // succeeded, or when the path does not fit kRegistryPathSize.
    static bool OpenLogFile(const char* path, platform::File* out);

private:
    int32_t action_ = kActionInvalidOperation;
    IndexRequest& request_;
    const RegistryRecord& record_;
    int64_t startTime_;
};

}  // namespace tydb

#endif  // TYDB_SUPIDX_INDEX_LOG_H
