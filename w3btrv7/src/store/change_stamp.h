// change_stamp.h: a token of a data file's committed state, for "has anything changed since".
#ifndef W3BTRV7_STORE_CHANGE_STAMP_H
#define W3BTRV7_STORE_CHANGE_STAMP_H

#include <cstdint>

namespace w3b {

// What a store can tell of its committed state cheaply: equal stamps mean nothing was committed
// in between; a store that cannot tell leaves `valid` false, which is always safe.
struct ChangeStamp {
    // Which committed state the connection saw: it counts the states it has seen, so equal
    // counts mean that nothing was committed in between.
    uint64_t epoch = 0;
    bool valid = false;
    // Writes of this connection not yet committed (inside a transaction), which the committed
    // state does not show.
    uint64_t ownWrites = 0;

    // True only when both stamps are known and equal: nothing was committed in between.
    bool Same(const ChangeStamp& other) const {
        return valid && other.valid && epoch == other.epoch && ownWrites == other.ownWrites;
    }
};

}  // namespace w3b

#endif  // W3BTRV7_STORE_CHANGE_STAMP_H
