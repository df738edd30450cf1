// Helper for the workstation-lock tests: loads libtydb.so at run time and opens and closes
// files on command, so a test can watch the lock file from another process (optionally
// running under another host name) and see what unloading the library does.
//
// Usage: wslock_opener <path of libtydb.so>
// Prints "ready <host name>", then answers one line per command read from standard input:
//   dirs <lock directory>   sets a directory block with that lock directory -> "dirs <status>"
//   open <path>             DbOpen, normal mode, no bias                     -> "open <status> <handle>"
//   close <handle>          DbClose                                           -> "close <status>"
//   unload                  unloads the library                               -> "unload <gone|loaded>"
//   exit                    ends the process normally (files stay open)
#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "tydb.h"

namespace {

using SetDirectoriesFunction = int32_t (*)(const TydbDirectoryBlock*);
using OpenFunction = int32_t (*)(int16_t*, const char*, int16_t, int32_t);
using CloseFunction = int32_t (*)(int16_t);

template <typename T>
T Find(void* library, const char* name) {
    return reinterpret_cast<T>(dlsym(library, name));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: wslock_opener <libtydb.so>\n");
        return 2;
    }
    const char* libraryPath = argv[1];
    void* library = dlopen(libraryPath, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "wslock_opener: %s\n", dlerror());
        return 2;
    }
    auto setDirectories = Find<SetDirectoriesFunction>(library, "DbSetDirectories");
    auto open = Find<OpenFunction>(library, "DbOpen");
    auto close = Find<CloseFunction>(library, "DbClose");
    if (setDirectories == nullptr || open == nullptr || close == nullptr) {
        std::fprintf(stderr, "wslock_opener: exports missing\n");
        return 2;
    }

    char host[256] = {};
    gethostname(host, sizeof host - 1);
    std::cout << "ready " << host << std::endl;

    std::string line;
    while (std::getline(std::cin, line)) {
        const size_t space = line.find(' ');
        const std::string command = line.substr(0, space);
        const std::string argument = space == std::string::npos ? "" : line.substr(space + 1);
        if (command == "dirs") {
            TydbDirectoryBlock block = {};
            std::strncpy(block.directories[TYDB_LOCK_SLOT], argument.c_str(), TYDB_DIRECTORY_SLOT_SIZE - 1);
            std::cout << "dirs " << setDirectories(&block) << std::endl;
        } else if (command == "open") {
            int16_t handle = 0;
            const int32_t status = open(&handle, argument.c_str(), 0, 0);
            std::cout << "open " << status << " " << handle << std::endl;
        } else if (command == "close") {
            std::cout << "close " << close(static_cast<int16_t>(std::atoi(argument.c_str()))) << std::endl;
        } else if (command == "unload") {
            dlclose(library);
            const bool gone = dlopen(libraryPath, RTLD_NOW | RTLD_NOLOAD) == nullptr;
            std::cout << "unload " << (gone ? "gone" : "loaded") << std::endl;
        } else if (command == "exit") {
            return 0;
        } else {
            std::cout << "unknown " << command << std::endl;
        }
    }
    return 0;
}
