// Loading libraries by their Windows names: "w3btrv7.dll" is "libw3btrv7.so" here, looked for
// along PATH first, as Windows does, so the engine directory put in front of PATH wins.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform.h"

namespace platform {

namespace {

bool EndsWithDll(const std::string& name) {
    if (name.size() < 4) return false;
    const char* tail = name.c_str() + name.size() - 4;
    return tail[0] == '.' && (tail[1] == 'd' || tail[1] == 'D') && (tail[2] == 'l' || tail[2] == 'L') &&
           (tail[3] == 'l' || tail[3] == 'L');
}

// "x.dll" (any case of the extension) and the bare "x" become "libx.so"; names with another
// extension are taken as they are.
std::string SharedObjectName(const std::string& fileName) {
    if (EndsWithDll(fileName)) return "lib" + fileName.substr(0, fileName.size() - 4) + ".so";
    if (fileName.find('.') == std::string::npos) return "lib" + fileName + ".so";
    return fileName;
}

bool IsRegularFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

LibraryHandle Open(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

}  // namespace

LibraryHandle LoadLibraryByName(const char* name) {
    if (name == nullptr || name[0] == '\0') return nullptr;
    std::string native = NativePath(name);
    size_t slash = native.rfind('/');
    if (slash != std::string::npos) {
        // A name with a directory part is loaded from that directory only.
        std::string directory = native.substr(0, slash + 1);
        std::string fileName = native.substr(slash + 1);
        if (fileName.empty()) return nullptr;
        return Open(directory + SharedObjectName(fileName));
    }
    std::string fileName = SharedObjectName(native);
    std::string path = GetEnvironmentString("PATH");
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(PathListSeparator(), start);
        if (end == std::string::npos) end = path.size();
        if (end > start) {
            std::string candidate = path.substr(start, end - start);
            if (candidate.back() != '/') candidate += '/';
            candidate += fileName;
            // A file that exists but does not load (another architecture, say) does not end the
            // search: a later directory may hold a usable one.
            if (IsRegularFile(candidate)) {
                if (LibraryHandle handle = Open(candidate)) return handle;
            }
        }
        start = end + 1;
    }
    return Open(fileName);
}

void* FindSymbol(LibraryHandle library, const char* name) {
    if (library == nullptr || name == nullptr) return nullptr;
    return dlsym(library, name);
}

void* FindOrdinal(LibraryHandle, uint16_t) { return nullptr; }

void FreeLibraryHandle(LibraryHandle library) {
    if (library != nullptr) dlclose(library);
}

std::string LoadedFileOf(const void* address) {
    Dl_info info{};
    if (address == nullptr || dladdr(address, &info) == 0 || info.dli_fname == nullptr) return std::string();
    return info.dli_fname;
}

std::string ExecutablePath() {
    // The process file system names the program's file whatever name started it.
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    return length > 0 && static_cast<size_t>(length) < sizeof path ? std::string(path, static_cast<size_t>(length))
                                                                   : std::string();
}

}  // namespace platform
