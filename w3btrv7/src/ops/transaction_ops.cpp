// Begin, End and Abort Transaction: the process's transaction over every file it writes.
#include "ops/call.h"

namespace w3b {

int16_t DoBeginTransaction(Call& call) {
    Transaction& transaction = Engine::Get().CurrentTransaction();
    if (transaction.active) return btr::kStatusTransactionActive;
    transaction.active = true;
    transaction.exclusive = !call.op.concurrent;
    transaction.defaultLock = call.op.lock;
    transaction.noWriteWait = call.op.noWriteWait;
    return btr::kStatusSuccess;
}

int16_t DoEndTransaction(Call&) {
    if (!Engine::Get().CurrentTransaction().active) return btr::kStatusEndTransactionError;
    return Engine::Get().EndTransaction(Outcome::kCommit);
}

int16_t DoAbortTransaction(Call&) {
    if (!Engine::Get().CurrentTransaction().active) return btr::kStatusEndTransactionError;
    Engine::Get().EndTransaction(Outcome::kRollBack);
    return btr::kStatusSuccess;
}

}  // namespace w3b
