#include "trace.h"

#include <cinttypes>
#include <cstdio>
#include <string>

#include "settings.h"

namespace w3b {

namespace {

struct TraceState {
    bool loaded = false;
    bool enabled = false;
    std::string path;
};

// Constant-initialised, so that the test every call makes needs no guard.
constinit TraceState state;

TraceState& State() { return state; }

}  // namespace

bool TraceEnabled() {
    if (!state.loaded) {
        state.path = TraceFileSetting();
        state.enabled = !state.path.empty();
        state.loaded = true;
    }
    return state.enabled;
}

void TraceReload() { State().loaded = false; }

void TraceCall(uint16_t operation, int8_t keyNumber, uint32_t lengthIn, uint32_t lengthOut, int16_t status,
               int64_t microseconds) {
    if (!TraceEnabled()) return;
    // Opened per line so that concurrent processes append whole lines and a crash loses nothing.
    std::FILE* file = std::fopen(State().path.c_str(), "a");
    if (file == nullptr) return;
    std::fprintf(file, "op=%u key=%d in=%" PRIu32 " out=%" PRIu32 " status=%d us=%" PRId64 "\n",
                 static_cast<unsigned>(operation), static_cast<int>(keyNumber), lengthIn, lengthOut,
                 static_cast<int>(status), microseconds);
    std::fclose(file);
}

}  // namespace w3b
