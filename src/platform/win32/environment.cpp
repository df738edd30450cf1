// Environment variables through the Windows kernel.
#include <cstring>
#include <vector>

#include "platform.h"
#include "windows_api.h"

namespace platform {

uint32_t GetEnvironment(const char* name, char* buffer, uint32_t size) {
    if (name == nullptr) return 0;
    if (buffer == nullptr) size = 0;
    return GetEnvironmentVariableA(name, buffer, size);
}

std::string GetEnvironmentString(const char* name, const std::string& fallback) {
    if (name == nullptr) return fallback;
    std::vector<char> value(256);
    // Another thread may grow the value between asking its size and reading it.
    for (int attempt = 0; attempt < 8; ++attempt) {
        SetLastError(ERROR_SUCCESS);
        DWORD length = GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
        if (length == 0) {
            return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? fallback : std::string();
        }
        if (length < value.size()) return std::string(value.data(), length);
        value.resize(length);
    }
    return fallback;
}

bool SetEnvironment(const char* name, const char* value) {
    if (name == nullptr || name[0] == '\0' || std::strchr(name, '=') != nullptr) return false;
    return SetEnvironmentVariableA(name, value) != 0;
}

char PathListSeparator() { return ';'; }

bool FileNamesIgnoreCase() { return true; }

bool SeparatorsSpelledEitherWay() { return false; }

}  // namespace platform
