// Environment variables with the calling conventions of the Windows kernel's functions.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform.h"

namespace platform {

uint32_t GetEnvironment(const char* name, char* buffer, uint32_t size) {
    if (name == nullptr) return 0;
    const char* value = std::getenv(name);
    if (value == nullptr) return 0;
    if (buffer == nullptr) size = 0;
    size_t length = std::strlen(value);
    if (length >= std::numeric_limits<uint32_t>::max()) return std::numeric_limits<uint32_t>::max();
    if (length + 1 > size) return static_cast<uint32_t>(length + 1);
    std::memcpy(buffer, value, length + 1);
    return static_cast<uint32_t>(length);
}

std::string GetEnvironmentString(const char* name, const std::string& fallback) {
    if (name == nullptr) return fallback;
    const char* value = std::getenv(name);
    return value == nullptr ? fallback : std::string(value);
}

bool SetEnvironment(const char* name, const char* value) {
    if (name == nullptr || name[0] == '\0' || std::strchr(name, '=') != nullptr) return false;
    if (value == nullptr) return unsetenv(name) == 0;
    return setenv(name, value, 1) == 0;
}

char PathListSeparator() { return ':'; }

bool FileNamesIgnoreCase() { return false; }

bool SeparatorsSpelledEitherWay() { return true; }

}  // namespace platform
