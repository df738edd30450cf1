// operation.h: splits an operation code into its base and its biases.
#ifndef W3BTRV7_OPS_OPERATION_H
#define W3BTRV7_OPS_OPERATION_H

#include <cstdint>

#include "btrcall.h"
#include "ops/operation_table.h"

namespace w3b {

struct Operation {
    uint16_t base = 0;         // 0..99
    uint8_t lock = 0;          // 0 none, 1..4 = +100 .. +400
    bool getKey = false;       // +50 on a Get (55..63)
    bool noWriteWait = false;  // +500
    bool concurrent = false;   // +1000 (Begin Transaction only)
};

// DecodeOperation for a code that may carry biases (from +50 on).
const OperationRow* DecodeBiasedOperation(uint16_t code, Operation* out);

// Decodes `code` into `out` and returns the row of its base operation. Returns nullptr, leaving
// `out` as it was, when the operation is not offered or does not take a bias on it; the call
// then answers "invalid operation". Most calls carry no bias at all: that path is inline.
inline const OperationRow* DecodeOperation(uint16_t code, Operation* out) {
    if (code >= btr::kBiasGetKey) return DecodeBiasedOperation(code, out);
    const OperationRow* row = FindOperation(code);
    if (row != nullptr) *out = Operation{.base = code};
    return row;
}

}  // namespace w3b

#endif  // W3BTRV7_OPS_OPERATION_H
