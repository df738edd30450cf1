#include "ops/operation.h"

#include "btrcall.h"

namespace w3b {

namespace {

bool IsWriteBase(uint16_t base) {
    return base == btr::kOpInsert || base == btr::kOpUpdate || base == btr::kOpDelete;
}

}  // namespace

bool DecodeOperation(uint16_t code, Operation* out) {
    Operation op;
    if (code >= btr::kBiasConcurrentTransaction) {
        op.concurrent = true;
        code -= btr::kBiasConcurrentTransaction;
    }
    if (code >= btr::kBiasNoWriteWait) {
        op.noWriteWait = true;
        code -= btr::kBiasNoWriteWait;
    }
    if (code >= 500) return false;
    op.lock = static_cast<uint8_t>(code / 100);
    code %= 100;
    if (code >= btr::kOpGetEqual + btr::kBiasGetKey && code <= btr::kOpGetLast + btr::kBiasGetKey) {
        op.getKey = true;
        code -= btr::kBiasGetKey;
    }
    op.base = code;
    // +1000 belongs to Begin Transaction alone; +500 to Begin Transaction and the writes.
    if (op.concurrent && op.base != btr::kOpBeginTransaction) return false;
    if (op.noWriteWait && !(op.base == btr::kOpBeginTransaction && op.concurrent) && !IsWriteBase(op.base)) {
        return false;
    }
    *out = op;
    return true;
}

}  // namespace w3b
