// The computer name, which the workstation lock writes into its lock file.
#include <cstring>

#include "platform.h"
#include "windows_api.h"

namespace platform {

bool GetComputerName(char* buffer, uint32_t size) {
    if (buffer == nullptr || size == 0) return false;
    buffer[0] = '\0';
    // GetComputerNameA refuses a buffer that is too small; the caller wants the name cut. Room
    // for more than the 15 characters Windows allows: Wine may pass a longer host name through.
    char name[256] = {};
    DWORD length = sizeof(name);
    if (!GetComputerNameA(name, &length)) return false;
    if (length > size - 1) length = size - 1;
    std::memcpy(buffer, name, length);
    buffer[length] = '\0';
    return true;
}

}  // namespace platform
