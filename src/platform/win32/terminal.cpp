// Whether a person watches the output: a console rather than a pipe or a file.
#include "platform.h"
#include "windows_api.h"

namespace platform {

bool IsTerminal(int descriptor) {
    if (descriptor != 1 && descriptor != 2) return false;
    HANDLE handle = GetStdHandle(descriptor == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    // A console answers its mode; a pipe or a file does not.
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

}  // namespace platform
