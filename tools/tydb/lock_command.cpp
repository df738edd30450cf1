// tydb lock: is a lock directory reserved, for which computer, and is that reservation live.
//
// Only looks: the lock file is read without a sharing mode and its holders are found without
// taking a lock, so a running application is never disturbed.
#include <filesystem>
#include <iostream>
#include <string>

#include "commands.h"
#include "platform.h"

namespace tool {
namespace {

constexpr const char* kLockFileName = "~ty~.loc";
// The library reads back at most this many bytes of a lock file.
constexpr size_t kNameBytes = 253;

// The lock file's name the way the library forms it: a '\' between directory and name unless
// the directory already ends in a separator.
std::string LockFilePath(const std::string& directory) {
    const bool needsSeparator = directory.empty() || (directory.back() != '\\' && directory.back() != '/');
    return directory + (needsSeparator ? "\\" : "") + kLockFileName;
}

struct LockReport {
    std::string path;
    bool present = false;
    std::string computer;
    bool truncated = false;
    bool heldKnown = false;
    bool held = false;
    std::string thisComputer;
};

LockReport Examine(const std::string& directory) {
    LockReport report;
    report.path = LockFilePath(directory);
    char name[256] = {};
    platform::GetComputerName(name, 254);
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
    report.computer.assign(content, got > kNameBytes ? kNameBytes : got);

    bool held = false;
    if (platform::FindSharingHolder(report.path.c_str(), &held) == platform::FileStatus::kOk) {
        report.heldKnown = true;
        report.held = held;
    }
    return report;
}

void RunLock(const std::string& directory, bool json) {
    const std::string native = platform::NativePath(directory.c_str());
    std::error_code error;
    if (!std::filesystem::is_directory(native, error)) Fail(2, "no such directory: " + directory);
    const LockReport report = Examine(directory);
    const bool own = report.present && !report.truncated && report.computer == report.thisComputer;

    if (json) {
        std::cout << "{\"lockFile\":" << JsonString(platform::NativePath(report.path.c_str()))
                  << ",\"present\":" << (report.present ? "true" : "false")
                  << ",\"computer\":" << (report.present ? JsonString(report.computer) : "null")
                  << ",\"held\":" << (report.heldKnown ? (report.held ? "true" : "false") : "null")
                  << ",\"thisComputer\":" << JsonString(report.thisComputer)
                  << ",\"own\":" << (own ? "true" : "false") << "}" << std::endl;
        return;
    }
    std::cout << "Lock file: " << platform::NativePath(report.path.c_str()) << "\n";
    if (!report.present) {
        std::cout << "  Not there: no workstation has the directory.\n";
        return;
    }
    std::cout << "  Computer: " << (report.computer.empty() ? "(empty)" : report.computer)
              << (report.truncated ? " (longer than a computer name)" : "")
              << (own ? "  (this computer)" : "") << "\n";
    if (!report.heldKnown) {
        std::cout << "  Held open: cannot tell\n";
    } else if (report.held) {
        std::cout << "  Held open: yes, the lock is live\n";
    } else {
        std::cout << "  Held open: no; the file is stale and the next open under the directory replaces it\n";
    }
}

}  // namespace

void AddLockCommand(CLI::App& app) {
    auto* command =
        app.add_subcommand("lock", "Show the workstation lock of a directory: its lock file, which computer holds it, "
                                   "whether it is held open");
    auto directory = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    command->add_option("DIR", *directory, "The lock directory")->required();
    command->add_flag("--json", *json, "Print the result as JSON");
    command->callback([directory, json] { RunLock(*directory, *json); });
}

}  // namespace tool
