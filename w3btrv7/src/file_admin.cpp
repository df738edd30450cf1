// The administration entry points that check a data file, copy it while it is in use and save
// what a damaged one still holds (w3btrv7_admin.h): thin wrappers over the SQLite store's check,
// backup and recovery; and W3bInsertAt, the position the thread's next Insert takes. They use no
// open file of the engine, so they take no engine lock and never hold up the process's calls.
#include <string>

#include "admin_answer.h"
#include "ops/requested_position.h"
#include "store/file_def.h"
#include "store/server_folder.h"
#include "store/sqlite/file_backup.h"
#include "store/sqlite/file_check.h"
#include "store/sqlite/file_recover.h"
#include "w3btrv7_admin.h"

using w3b::Answer;

namespace {

// 41, saying what to do instead, for a file a server keeps; 2 when its folder's server file
// cannot be read; 0 for an SQLite file.
int16_t RefuseServerFile(const char* path, char* message, uint32_t messageSize) {
    w3b::ServerFolder folder;
    std::string problem;
    switch (w3b::FindServerFolder(path, &folder, &problem)) {
        case w3b::FolderKind::kLocal: return 0;
        case w3b::FolderKind::kUnreadable: return Answer(btr::kStatusIoError, problem, message, messageSize);
        case w3b::FolderKind::kServer: break;
    }
    return Answer(btr::kStatusOperationNotAllowed,
                  std::string(path) + " is kept by a PostgreSQL server (schema " + folder.schema +
                      "): back it up with pg_dump --schema=" + folder.schema +
                      "; the server keeps its own tables whole (a damaged server is restored from such a dump)",
                  message, messageSize);
}

}  // namespace

extern "C" BTR_EXPORT int16_t BTR_CALL W3bCheckFile(const char* path, W3bCheckReport report, void* context,
                                                    W3bCheckSummary* summary, char* message, uint32_t messageSize) {
    if (path == nullptr || path[0] == '\0' || summary == nullptr) {
        return Answer(btr::kStatusInvalidOperation, "a path and a place for the summary are needed", message,
                      messageSize);
    }
    *summary = W3bCheckSummary{};
    if (int16_t status = RefuseServerFile(path, message, messageSize); status != 0) return status;
    w3b::CheckCounts counts;
    int16_t status = w3b::CheckSqliteFile(
        path,
        [&](const w3b::Finding& finding) {
            if (report == nullptr) return;
            W3bFinding out{static_cast<int32_t>(finding.kind), finding.key, finding.position, finding.text.c_str()};
            report(context, &out);
        },
        &counts);
    *summary = W3bCheckSummary{counts.records, counts.keys, counts.entries, counts.findings};
    const char* words = status == btr::kStatusFileNotFound      ? "no such file"
                        : status == btr::kStatusNotABtrieveFile ? "not a data file of this record manager"
                                                                : "";
    return Answer(status, words, message, messageSize);
}

extern "C" BTR_EXPORT int16_t BTR_CALL W3bBackupFile(const char* source, const char* dest, W3bBackupProgress progress,
                                                     void* context, char* message, uint32_t messageSize) {
    if (source == nullptr || dest == nullptr || source[0] == '\0' || dest[0] == '\0') {
        return Answer(btr::kStatusInvalidOperation, "a source and a destination are needed", message, messageSize);
    }
    if (int16_t status = RefuseServerFile(source, message, messageSize); status != 0) return status;
    std::string problem;
    int16_t status = w3b::BackupSqliteFile(
        source, dest,
        [&](int64_t copied, int64_t total) {
            if (progress != nullptr) progress(context, copied, total);
        },
        &problem);
    if (status == btr::kStatusFileNotFound && problem.empty()) problem = "no such file";
    return Answer(status, problem, message, messageSize);
}

namespace {

int16_t Recover(const char* source, const char* dest, const w3b::FileDef* definition, W3bLostRecord report,
                void* context, W3bRecoverSummary* summary, char* message, uint32_t messageSize) {
    if (source == nullptr || dest == nullptr || source[0] == '\0' || dest[0] == '\0' || summary == nullptr) {
        return Answer(btr::kStatusInvalidOperation, "a source, a destination and a place for the summary are needed",
                      message, messageSize);
    }
    *summary = W3bRecoverSummary{};
    if (int16_t status = RefuseServerFile(source, message, messageSize); status != 0) return status;
    std::string problem;
    w3b::RecoverCounts counts;
    int16_t status = w3b::RecoverSqliteFile(
        source, dest, definition,
        [&](int64_t position, const std::string& why) {
            if (report != nullptr) report(context, position, why.c_str());
        },
        &counts, &problem);
    *summary = W3bRecoverSummary{counts.saved, counts.lost};
    if (status == btr::kStatusFileNotFound && problem.empty()) problem = "no such file";
    return Answer(status, problem, message, messageSize);
}

}  // namespace

extern "C" BTR_EXPORT int16_t BTR_CALL W3bRecoverFile(const char* source, const char* dest, W3bLostRecord report,
                                                      void* context, W3bRecoverSummary* summary, char* message,
                                                      uint32_t messageSize) {
    return Recover(source, dest, nullptr, report, context, summary, message, messageSize);
}

extern "C" BTR_EXPORT int16_t BTR_CALL W3bRecoverFileAs(const char* source, const char* dest, const void* createBuffer,
                                                        uint32_t createLength, W3bLostRecord report, void* context,
                                                        W3bRecoverSummary* summary, char* message,
                                                        uint32_t messageSize) {
    if (createBuffer == nullptr) {
        return Answer(btr::kStatusInvalidOperation, "a definition is needed", message, messageSize);
    }
    w3b::FileDef definition;
    if (int16_t status = w3b::ParseCreateBuffer(static_cast<const uint8_t*>(createBuffer), createLength, &definition);
        status != btr::kStatusSuccess) {
        return Answer(status, "the definition given is not one Create would accept", message, messageSize);
    }
    return Recover(source, dest, &definition, report, context, summary, message, messageSize);
}

extern "C" BTR_EXPORT int16_t BTR_CALL W3bInsertAt(uint32_t position) {
    w3b::RequestedInsertPosition() = position;
    return 0;
}
