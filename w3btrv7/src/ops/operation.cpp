#include "ops/operation.h"

#include "btrcall.h"

namespace w3b {

namespace {

// Past the lock biases (+100 .. +400) lies no code an operation takes.
constexpr uint16_t kLockBiasEnd = btr::kBiasMultipleNoWaitLock + 100;

// Whether `row` takes the +500 and +1000 biases `op` carries.
bool TakesBiases(const OperationRow& row, const Operation& op) {
    if (op.concurrent && !row.Has(Trait::kTakesConcurrent)) return false;
    if (!op.noWriteWait) return true;
    return row.Has(Trait::kTakesNoWriteWait) || (op.concurrent && row.Has(Trait::kTakesNoWriteWaitWhenConcurrent));
}

}  // namespace

const OperationRow* DecodeBiasedOperation(uint16_t code, Operation* out) {
    Operation op;
    if (code >= btr::kBiasConcurrentTransaction) {
        op.concurrent = true;
        code -= btr::kBiasConcurrentTransaction;
    }
    if (code >= btr::kBiasNoWriteWait) {
        op.noWriteWait = true;
        code -= btr::kBiasNoWriteWait;
    }
    if (code >= kLockBiasEnd) return nullptr;
    op.lock = static_cast<uint8_t>(code / 100);
    code %= 100;
    const OperationRow* row = FindOperation(code);
    if (code >= btr::kBiasGetKey) {
        const OperationRow* get = FindOperation(code - btr::kBiasGetKey);
        if (get != nullptr && get->Has(Trait::kTakesGetKey)) {
            op.getKey = true;
            code -= btr::kBiasGetKey;
            row = get;
        }
    }
    op.base = code;
    if (row == nullptr || !TakesBiases(*row, op)) return nullptr;
    *out = op;
    return row;
}

}  // namespace w3b
