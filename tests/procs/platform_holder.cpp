// A second process for the platform tests: holds files and byte ranges on command.
//
// Commands, one a line on standard input; each answers one line on standard output:
//   hold PATH            open PATH with the deny-write hold
//   create PATH          create PATH exclusively and write "held" into it
//   append PATH          open PATH for exclusive appending
//   lock PATH OFFSET LENGTH shared|exclusive
//                        open PATH for reading and writing, lock the range without waiting
//   delete PATH          delete PATH unless another process holds it
//   close                close every file this process holds
//   name                 answers this computer's name instead of a status
// Answers: "ok" or the failure's name ("denied", "notfound", "exists", "ioerror").
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform.h"

namespace {

const char* Name(platform::FileStatus status) {
    switch (status) {
        case platform::FileStatus::kOk: return "ok";
        case platform::FileStatus::kNotFound: return "notfound";
        case platform::FileStatus::kAccessDenied: return "denied";
        case platform::FileStatus::kAlreadyExists: return "exists";
        case platform::FileStatus::kIoError: return "ioerror";
    }
    return "unknown";
}

}  // namespace

int main() {
    std::vector<platform::File> held;
    std::cout << "ready" << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string command, path;
        words >> command >> path;
        platform::File file;
        platform::FileStatus status = platform::FileStatus::kIoError;
        if (command == "hold") {
            status = platform::File::OpenDenyWrite(path.c_str(), true, &file);
        } else if (command == "create") {
            status = platform::File::CreateExclusive(path.c_str(), true, &file);
            if (status == platform::FileStatus::kOk) status = file.Write("held", 4);
        } else if (command == "append") {
            status = platform::File::OpenAppendExclusive(path.c_str(), true, &file);
        } else if (command == "lock") {
            uint64_t offset = 0, length = 0;
            std::string kind;
            words >> offset >> length >> kind;
            platform::FileOptions options;
            options.access = platform::FileAccess::kReadWrite;
            status = platform::File::Open(path.c_str(), options, &file);
            if (status == platform::FileStatus::kOk) {
                auto lockKind = kind == "shared" ? platform::RangeLock::kShared : platform::RangeLock::kExclusive;
                status = file.LockRange(offset, length, lockKind, false);
            }
        } else if (command == "delete") {
            status = platform::DeleteUnlessHeld(path.c_str());
        } else if (command == "name") {
            char name[256];
            std::cout << (platform::GetComputerName(name, sizeof(name)) ? name : "(none)") << std::endl;
            continue;
        } else if (command == "close") {
            held.clear();
            status = platform::FileStatus::kOk;
        } else {
            std::cout << "unknown" << std::endl;
            continue;
        }
        if (status == platform::FileStatus::kOk && file.IsOpen()) held.push_back(std::move(file));
        std::cout << Name(status) << std::endl;
    }
    return 0;
}
