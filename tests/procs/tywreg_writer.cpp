// Helper for the settings store tests: writes many entries into one settings file while
// another process does the same.
//
// Usage: tywreg_writer <settings file> <name prefix> <count>
// Prints "ready", waits for a line "go" on standard input, writes <prefix>-<i>=<i> for i in
// [0, count) under HKEY_LOCAL_MACHINE\Pervasive\11\Concurrent, then prints "done <failures>"
// and exits with 0 when every write succeeded.
//
// Usage: tywreg_writer <settings file> --hold-lock
// Takes the writers' lock of the settings file the way a writer does, prints "locked" and
// keeps it until standard input ends or the process is killed.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "platform.h"
#include "tywreg.h"

namespace {

int HoldLock(const std::string& settingsFile) {
    platform::FileOptions options;
    options.access = platform::FileAccess::kReadWrite;
    options.share = platform::FileShare::kDenyReadWrite;
    options.create = true;
    platform::File lock;
    if (platform::File::Open((settingsFile + ".lock").c_str(), options, &lock) != platform::FileStatus::kOk) {
        std::cout << "not locked" << std::endl;
        return 1;
    }
    std::cout << "locked" << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[2]) == "--hold-lock") return HoldLock(argv[1]);
    if (argc != 4) {
        std::fprintf(stderr, "usage: tywreg_writer <file> <prefix> <count>\n");
        return 2;
    }
    if (!platform::SetEnvironment("TYWREG_FILE", argv[1])) return 2;
    std::string prefix = argv[2];
    int count = std::atoi(argv[3]);
    TyWRegSelect("Pervasive", "11");

    std::cout << "ready" << std::endl;
    std::string line;
    if (!std::getline(std::cin, line) || line != "go") return 3;

    int failures = 0;
    for (int i = 0; i < count; ++i) {
        std::string name = prefix + "-" + std::to_string(i);
        int32_t result = TyWRegWriteInt(TYWREG_HKEY_LOCAL_MACHINE, "Concurrent", name.c_str(), i);
        if (result != 0) {
            std::fprintf(stderr, "write of %s failed: %d\n", name.c_str(), static_cast<int>(result));
            ++failures;
        }
    }
    std::cout << "done " << failures << std::endl;
    return failures == 0 ? 0 : 1;
}
