// The computer name, which the workstation lock writes into its lock file.
#include <limits.h>
#include <unistd.h>

#include <cstring>

#include "platform.h"

namespace platform {

bool GetComputerName(char* buffer, uint32_t size) {
    if (buffer == nullptr || size == 0) return false;
    buffer[0] = '\0';
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof(name) - 1) != 0) return false;
    size_t length = std::strlen(name);
    if (length > size - 1) length = size - 1;
    std::memcpy(buffer, name, length);
    buffer[length] = '\0';
    return true;
}

}  // namespace platform
