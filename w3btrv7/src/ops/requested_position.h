// requested_position.h: the position the next Insert of a thread is to take.
#ifndef W3BTRV7_OPS_REQUESTED_POSITION_H
#define W3BTRV7_OPS_REQUESTED_POSITION_H

#include <cstdint>

namespace w3b {

// Set by W3bInsertAt (an importer keeping each record's original address) and taken by the
// thread's next BTRCALL, whatever it is: 0 when the store is to choose. A thread's own, so that
// no other thread's Insert takes it.
inline int64_t& RequestedInsertPosition() {
    thread_local int64_t position = 0;
    return position;
}

}  // namespace w3b

#endif  // W3BTRV7_OPS_REQUESTED_POSITION_H
