#include "lock_reader.h"

#include <cstring>

#include "platform.h"
#include "tydb_files.h"

namespace tool {
namespace {

// The lock file's name the way the library forms it: a '\' between directory and name unless
// the directory already ends in a separator.
std::string LockFilePath(const std::string& directory) {
    const bool needsSeparator = directory.empty() || (directory.back() != '\\' && directory.back() != '/');
    return directory + (needsSeparator ? "\\" : "") + TYDB_LOCK_FILE_NAME;
}

}  // namespace

LockReport ExamineLock(const std::string& directory) {
    // As many bytes as the library reads back.
    constexpr size_t kNameBytes = TYDB_LOCK_COMPUTER_NAME_SIZE;
    LockReport report;
    report.path = LockFilePath(directory);
    char name[TYDB_LOCK_COMPUTER_NAME_SIZE] = {};
    platform::GetComputerName(name, sizeof name);
    report.thisComputer = name;

    platform::File file;
    platform::FileOptions options;
    options.access = platform::FileAccess::kRead;
    options.text = true;
    if (platform::File::Open(report.path.c_str(), options, &file) != platform::FileStatus::kOk) return report;
    report.present = true;
    char content[kNameBytes + 2] = {};
    size_t got = 0;
    file.Read(content, kNameBytes + 1, &got);
    file.Close();
    report.truncated = got > kNameBytes;
    // The name is the text up to its first NUL.
    report.computer.assign(content, strnlen(content, got > kNameBytes ? kNameBytes : got));

    bool held = false;
    if (platform::FindSharingHolder(report.path.c_str(), &held) == platform::FileStatus::kOk) {
        report.heldKnown = true;
        report.held = held;
    }
    return report;
}

}  // namespace tool
