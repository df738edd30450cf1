#include "index_log.h"

#include <cstdio>
#include <cstring>

#include "index_request.h"
#include "key_queries.h"
#include "library_settings.h"
#include "tydb.h"

namespace tydb {
namespace {

constexpr int32_t kLogWaitUnits = 3;
constexpr int kTimeTextSize = 26;

// The key length the entry reports: of the definition being worked on, else of the key as
// the file describes it now, else 0.
int EntryKeyLength(IndexRequest& request, const StatisticsBuffer* statistics, uint16_t keyNumber) {
    if (request.KeyDefinition() != nullptr) return KeyTotalLength(request.KeyDefinition(), request.AvailableSegments());
    const BtrKeySpec* spec = StatFindKeySpec(statistics, static_cast<int16_t>(keyNumber));
    if (spec == nullptr) return 0;
    const int index = static_cast<int>(spec - FirstSegment(*statistics));
    return KeyTotalLength(spec, StatUsedSegments(statistics) - index);
}

}  // namespace

const char* IndexActionName(int32_t action) {
    switch (action) {
        case kActionBuildingNewKey: return TYDB_LOG_BUILDING_NEW_KEY;
        case kActionActivatingExistingKey: return TYDB_LOG_ACTIVATING_EXISTING_KEY;
        case kActionDeactivatingExistingKey: return TYDB_LOG_DEACTIVATING_EXISTING_KEY;
        case kActionPurgingExistingKey: return TYDB_LOG_PURGING_EXISTING_KEY;
        default: return "INVALID OPERATION";
    }
}

IndexLog::IndexLog(IndexRequest& request, const RegistryRecord& record)
    : request_(request), record_(record), startTime_(platform::CurrentTime()) {}

IndexLog::~IndexLog() { WriteEntry(); }

void IndexLog::FormatEntry(int64_t stopTime, char* out) {
    char startText[kTimeTextSize];
    char stopText[kTimeTextSize];
    platform::FormatCalendarTime(startTime_, startText);
    platform::FormatCalendarTime(stopTime, stopText);

    const StatisticsBuffer* statistics = request_.Statistics(true);
    // The record is packed: copy every field before formatting it.
    char name[kRegistryNameSize + 1] = {};
    std::memcpy(name, record_.DataFileName, kRegistryNameSize);
    const uint16_t keyNumber = record_.KeyNumber;
    const uint16_t segments = record_.SegmentCount;
    const uint16_t active = record_.ActiveReferences;
    const int32_t total = record_.TotalReferences;
    const int16_t pageSize = statistics->file.pageSize;
    const int16_t recordSize = statistics->file.recordLength;
    const auto records = static_cast<int32_t>(statistics->file.recordCount);

    std::snprintf(out, kLogEntrySize,
                  "%s\n  File Name............: %s\n  Path Name............: %s\n"
                  "  Key Number...........: %d\n  Number of Segments...: %d\n  Key Length...........: %d\n"
                  "  Page Size............: %d\n  Record Size..........: %d\n  Number of Records....: %d\n"
                  "  Active References....: %d\n  Total References.....: %d\n  Total Used Segments..: %d\n"
                  "  Total Free Segments..: %d\n  Start Time...........: %s  Stop Time............: %s\n",
                  IndexActionName(action_), name, request_.Directory(), static_cast<int>(keyNumber),
                  static_cast<int>(segments), EntryKeyLength(request_, statistics, keyNumber),
                  static_cast<int>(pageSize), static_cast<int>(recordSize), static_cast<int>(records),
                  static_cast<int>(active), static_cast<int>(total), StatUsedSegments(statistics),
                  StatFreeSegments(statistics), startText, stopText);
}

void IndexLog::WriteEntry() {
    if (ReadSettingInt(kSettingsSection, kIndexLogSetting, 0) == 0) return;
    if (action_ == kActionInvalidOperation) return;
    const int64_t stopTime = platform::CurrentTime();
    char text[kLogEntrySize];
    FormatEntry(stopTime, text);

    char path[kRegistryPathSize];
    if (!DirectoryFilePath(request_.Directory(), kLogFileName, path)) return;
    platform::File file;
    if (!OpenLogFile(path, &file)) return;
    platform::DebugOutput(text);
    // A log that cannot be written must not change the result of the action it describes.
    file.Write(text, std::strlen(text));
    file.Close();
}

bool IndexLog::OpenLogFile(const char* path, platform::File* out) {
    if (path == nullptr || out == nullptr) return false;
    if (std::strlen(path) + 1 > static_cast<size_t>(kRegistryPathSize)) return false;
    for (int attempt = 0; attempt < kLogOpenAttempts; ++attempt) {
        const platform::FileStatus status = platform::File::OpenAppendExclusive(path, true, out);
        if (status == platform::FileStatus::kOk) return true;
        // Only a holder on another workstation or in another process is worth waiting for.
        if (status == platform::FileStatus::kAccessDenied) DbWait(kLogWaitUnits);
    }
    return false;
}

}  // namespace tydb
