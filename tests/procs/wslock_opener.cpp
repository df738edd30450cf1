// Helper for the workstation-lock tests: loads libtydb.so at run time and opens and closes
// files on command, so a test can watch the lock file from another process (optionally
// running under another host name) and see what unloading the library does.
//
// Usage: wslock_opener <path of libtydb.so (tydb.dll on Windows)>
// Prints "ready <host name>", then answers one line per command read from standard input:
//   dirs <lock directory>   sets a directory block with that lock directory -> "dirs <status>"
//   open <path>             DbOpen, normal mode, no bias                     -> "open <status> <handle>"
//   close <handle>          DbClose                                           -> "close <status>"
//   unload                  unloads the library                               -> "unload <gone|loaded>"
//   exit                    ends the process normally (files stay open)
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "platform.h"
#include "tydb.h"

namespace {

using SetDirectoriesFunction = int32_t(TYDB_CALL*)(const TydbDirectoryBlock*);
using OpenFunction = int32_t(TYDB_CALL*)(int16_t*, const char*, int16_t, int32_t);
using CloseFunction = int32_t(TYDB_CALL*)(int16_t);

// An export by its name, or on Windows by its ordinal, which is how the application binds
// them (most carry no name there).
template <typename T>
T Find(void* library, const char* name, uintptr_t ordinal) {
#if defined(_WIN32)
    (void)name;
    return reinterpret_cast<T>(dlsym(library, reinterpret_cast<const char*>(ordinal)));
#else
    (void)ordinal;
    return reinterpret_cast<T>(dlsym(library, name));
#endif
}

// Whether the library is still mapped into this process, asked without loading it again.
bool StillLoaded(const char* path) {
    void* again = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (again == nullptr) return false;
    dlclose(again);
    return true;
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
    auto setDirectories = Find<SetDirectoriesFunction>(library, "DbSetDirectories", 200);
    auto open = Find<OpenFunction>(library, "DbOpen", 202);
    auto close = Find<CloseFunction>(library, "DbClose", 203);
    if (setDirectories == nullptr || open == nullptr || close == nullptr) {
        std::fprintf(stderr, "wslock_opener: exports missing\n");
        return 2;
    }

    char host[256] = {};
    platform::GetComputerName(host, sizeof host);
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
            std::cout << "unload " << (StillLoaded(libraryPath) ? "loaded" : "gone") << std::endl;
        } else if (command == "exit") {
            return 0;
        } else {
            std::cout << "unknown " << command << std::endl;
        }
    }
    return 0;
}
