// Which kind of file system holds a file: the record manager keeps a data file differently when
// other computers reach it over the network.
#include <cstdint>
#include <string>

#include "platform_internal.h"
#include "platform.h"
#include "windows_api.h"

namespace platform {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool StartsCaseBlind(const std::string& text, const char* prefix) {
    for (size_t i = 0; prefix[i] != '\0'; ++i) {
        if (i >= text.size()) return false;
        char a = text[i], b = prefix[i];
        if (IsSeparator(a) && IsSeparator(b)) continue;
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
        if (a != b) return false;
    }
    return true;
}

}  // namespace

bool IsOnNetworkFileSystem(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    char full[MAX_PATH * 2];
    DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
    std::string name = length > 0 && length < sizeof full ? std::string(full, length) : std::string(path);
    // \\server\share\... and \\?\UNC\server\share\... name a share; \\?\C:\... and \\.\C:\...
    // name a drive.
    if (StartsCaseBlind(name, "\\\\?\\UNC\\")) return true;
    if (StartsCaseBlind(name, "\\\\?\\") || StartsCaseBlind(name, "\\\\.\\")) name.erase(0, 4);
    if (name.size() >= 2 && IsSeparator(name[0]) && IsSeparator(name[1])) return true;
    int64_t pretended;
    if (internal::PretendedFileSystemType(&pretended)) return pretended == DRIVE_REMOTE;
    if (name.size() < 2 || name[1] != ':') return false;
    const char root[] = {name[0], ':', '\\', '\0'};
    return GetDriveTypeA(root) == DRIVE_REMOTE;
}

}  // namespace platform
