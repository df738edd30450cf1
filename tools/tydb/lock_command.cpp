// tydb lock: is a lock directory reserved, for which computer, and is that reservation live.
//
// Only looks (lock_reader): a running application is never disturbed.
#include <filesystem>
#include <iostream>
#include <string>

#include "commands.h"
#include "lock_reader.h"
#include "platform.h"

namespace tool {
namespace {

void RunLock(const std::string& directory, bool json) {
    const std::string native = platform::NativePath(directory.c_str());
    std::error_code error;
    if (!std::filesystem::is_directory(native, error)) Fail(2, "no such directory: " + directory);
    const LockReport report = ExamineLock(directory);
    const bool own = report.own();

    if (json) {
        std::cout << "{\"lockFile\":" << JsonString(platform::NativePath(report.path.c_str()))
                  << ",\"present\":" << (report.present ? "true" : "false")
                  << ",\"computer\":" << (report.present ? JsonString(report.computer) : "null")
                  << ",\"held\":" << (report.heldKnown ? (report.held ? "true" : "false") : "null")
                  << ",\"thisComputer\":" << JsonString(report.thisComputer) << ",\"own\":" << (own ? "true" : "false")
                  << "}" << std::endl;
        return;
    }
    std::cout << "Lock file: " << platform::NativePath(report.path.c_str()) << "\n";
    if (!report.present) {
        std::cout << "  Not there: no workstation has the directory.\n";
        return;
    }
    std::cout << "  Computer: " << (report.computer.empty() ? "(empty)" : report.computer)
              << (report.truncated ? " (longer than a computer name)" : "") << (own ? "  (this computer)" : "") << "\n";
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
        app.add_subcommand("lock",
                           "Show the workstation lock of a directory: its lock file, which computer holds it, "
                           "whether it is held open");
    auto directory = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    command->add_option("DIR", *directory, "The lock directory")->required();
    command->add_flag("--json", *json, "Print the result as JSON");
    command->callback([directory, json] { RunLock(*directory, *json); });
}

}  // namespace tool
