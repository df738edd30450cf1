// trace.h: the call trace, one line per call appended to the file W3BTRV7_TRACE names.
#ifndef W3BTRV7_TRACE_H
#define W3BTRV7_TRACE_H

#include <cstdint>

namespace w3b {

// True when tracing is on (read once per process, and again after Stop or Reset).
bool TraceEnabled();
void TraceReload();

// "op=<code> key=<number> in=<data length in> out=<data length out> status=<status> us=<microseconds>"
void TraceCall(uint16_t operation, int8_t keyNumber, uint32_t lengthIn, uint32_t lengthOut, int16_t status,
               int64_t microseconds);

}  // namespace w3b

#endif  // W3BTRV7_TRACE_H
