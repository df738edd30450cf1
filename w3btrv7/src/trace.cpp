#include "trace.h"

#include <cinttypes>
#include <cstdio>
#include <string>

#include "settings.h"

namespace w3b {

namespace {

// The test every call makes reads flags that are constant-initialised, so it needs no guard;
// the file's name lives apart (a string cannot be constant-initialised everywhere).
constinit bool loaded = false;
constinit bool enabled = false;

std::string& TracePath() {
    static std::string* path = new std::string();  // never destroyed: calls may come during exit
    return *path;
}

}  // namespace

bool TraceEnabled() {
    if (!loaded) {
        TracePath() = TraceFileSetting();
        enabled = !TracePath().empty();
        loaded = true;
    }
    return enabled;
}

void TraceReload() { loaded = false; }

void TraceCall(uint16_t operation, int8_t keyNumber, uint32_t lengthIn, uint32_t lengthOut, int16_t status,
               int64_t microseconds) {
    if (!TraceEnabled()) return;
    // Opened per line so that concurrent processes append whole lines and a crash loses nothing.
    std::FILE* file = std::fopen(TracePath().c_str(), "a");
    if (file == nullptr) return;
    std::fprintf(file, "op=%u key=%d in=%" PRIu32 " out=%" PRIu32 " status=%d us=%" PRId64 "\n",
                 static_cast<unsigned>(operation), static_cast<int>(keyNumber), lengthIn, lengthOut,
                 static_cast<int>(status), microseconds);
    std::fclose(file);
}

}  // namespace w3b
