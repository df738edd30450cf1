// Debugger output. POSIX has no debugger channel, so the text goes to standard error, and only
// on request: a library must not write into its host program's streams uninvited.
#include <cstdio>
#include <cstdlib>

#include "platform.h"

namespace platform {

void DebugOutput(const char* text) {
    if (text == nullptr || std::getenv("TYDB_DEBUG_OUTPUT") == nullptr) return;
    std::fputs(text, stderr);
    std::fflush(stderr);
}

}  // namespace platform
