// Text for an attached debugger.
#include "platform.h"
#include "windows_api.h"

namespace platform {

void DebugOutput(const char* text) {
    if (text != nullptr) OutputDebugStringA(text);
}

}  // namespace platform
