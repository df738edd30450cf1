// The record manager's entry point: decodes a request, checks the position block and hands the
// request to its operation.
#include <chrono>
#include <mutex>

#include "ops/call.h"
#include "trace.h"

namespace w3b {

namespace {

bool IsFileOperation(uint16_t base) {
    switch (base) {
        case btr::kOpClose:
        case btr::kOpInsert:
        case btr::kOpUpdate:
        case btr::kOpDelete:
        case btr::kOpGetEqual:
        case btr::kOpGetNext:
        case btr::kOpGetPrevious:
        case btr::kOpGetGreater:
        case btr::kOpGetGreaterOrEqual:
        case btr::kOpGetLess:
        case btr::kOpGetLessOrEqual:
        case btr::kOpGetFirst:
        case btr::kOpGetLast:
        case btr::kOpStat:
        case btr::kOpGetPosition:
        case btr::kOpGetDirect:
        case btr::kOpStepNext:
        case btr::kOpStepFirst:
        case btr::kOpStepLast:
        case btr::kOpStepPrevious:
        case btr::kOpUnlock:
        case btr::kOpCreateIndex:
        case btr::kOpDropIndex:
        case btr::kOpGetByPercentage:
        case btr::kOpFindPercentage: return true;
        default: return false;
    }
}

// The reads that lock the record they reach when asked to.
int16_t (*LockingRead(uint16_t base))(Call&, OpenInstance&) {
    switch (base) {
        case btr::kOpGetEqual:
        case btr::kOpGetNext:
        case btr::kOpGetPrevious:
        case btr::kOpGetGreater:
        case btr::kOpGetGreaterOrEqual:
        case btr::kOpGetLess:
        case btr::kOpGetLessOrEqual:
        case btr::kOpGetFirst:
        case btr::kOpGetLast: return DoGet;
        case btr::kOpGetDirect: return DoGetDirect;
        case btr::kOpStepNext:
        case btr::kOpStepFirst:
        case btr::kOpStepLast:
        case btr::kOpStepPrevious: return DoStep;
        case btr::kOpGetByPercentage: return DoGetByPercentage;
        default: return nullptr;
    }
}

int16_t DispatchOpen(Call& call, OpenInstance& open) {
    if (auto read = LockingRead(call.op.base); read != nullptr) {
        uint8_t lock = EffectiveLock(call);
        // Get Direct's chunk form reads no whole record and locks nothing.
        if (lock != 0 && !(call.op.base == btr::kOpGetDirect && call.keyNumber == btr::kKeyNumberChunk)) {
            return LockedRead(call, open, read, lock);
        }
        return read(call, open);
    }
    switch (call.op.base) {
        case btr::kOpClose: return DoClose(call, open);
        case btr::kOpInsert: return DoInsert(call, open);
        case btr::kOpUpdate: return DoUpdate(call, open);
        case btr::kOpDelete: return DoDelete(call, open);
        case btr::kOpGetEqual:
        case btr::kOpGetNext:
        case btr::kOpGetPrevious:
        case btr::kOpGetGreater:
        case btr::kOpGetGreaterOrEqual:
        case btr::kOpGetLess:
        case btr::kOpGetLessOrEqual:
        case btr::kOpGetFirst:
        case btr::kOpGetLast: return DoGet(call, open);
        case btr::kOpStat: return DoStat(call, open);
        case btr::kOpGetPosition: return DoGetPosition(call, open);
        case btr::kOpGetDirect: return DoGetDirect(call, open);
        case btr::kOpStepNext:
        case btr::kOpStepFirst:
        case btr::kOpStepLast:
        case btr::kOpStepPrevious: return DoStep(call, open);
        case btr::kOpUnlock: return DoUnlock(call, open);
        case btr::kOpCreateIndex: return DoCreateIndex(call, open);
        case btr::kOpDropIndex: return DoDropIndex(call, open);
        case btr::kOpGetByPercentage: return DoGetByPercentage(call, open);
        case btr::kOpFindPercentage: return DoFindPercentage(call, open);
        default: return btr::kStatusInvalidOperation;
    }
}

int16_t Dispatch(Call& call) {
    switch (call.op.base) {
        case btr::kOpOpen: return DoOpen(call);
        case btr::kOpCreate: return DoCreate(call);
        case btr::kOpVersion: return DoVersion(call);
        case btr::kOpStop: return DoStop(call);
        case btr::kOpReset: return DoReset(call);
        case btr::kOpBeginTransaction: return DoBeginTransaction(call);
        case btr::kOpEndTransaction: return DoEndTransaction(call);
        case btr::kOpAbortTransaction: return DoAbortTransaction(call);
        default: break;
    }
    // Operations not offered answer 1 before the position block is looked at.
    if (!IsFileOperation(call.op.base)) return btr::kStatusInvalidOperation;
    OpenInstance* open = Engine::Get().Find(call.positionBlock);
    if (open == nullptr) return btr::kStatusFileNotOpen;
    if (call.op.base != btr::kOpClose) {
        open->file->BeginCall();
        if (int16_t status = open->file->Refresh(); status != btr::kStatusSuccess) return status;
    }
    return DispatchOpen(call, *open);
}

}  // namespace

}  // namespace w3b

extern "C" BTR_EXPORT int16_t BTR_CALL BTRCALL(uint16_t operation, void* positionBlock, void* dataBuffer,
                                               uint32_t* dataLength, void* keyBuffer, uint8_t keyLength,
                                               int8_t keyNumber) {
    using namespace w3b;
    std::lock_guard<std::mutex> lock(Engine::Get().Mutex());
    bool trace = TraceEnabled();
    auto start = trace ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point();
    uint32_t lengthIn = dataLength != nullptr ? *dataLength : 0;

    Call call;
    call.positionBlock = static_cast<uint8_t*>(positionBlock);
    call.data = static_cast<uint8_t*>(dataBuffer);
    call.dataLength = dataLength;
    call.key = static_cast<uint8_t*>(keyBuffer);
    call.keyLength = keyLength;
    call.keyNumber = keyNumber;
    int16_t status = DecodeOperation(operation, &call.op) ? Dispatch(call) : btr::kStatusInvalidOperation;

    if (call.op.base == btr::kOpStop || call.op.base == btr::kOpReset) TraceReload();
    if (trace) {
        auto micros =
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
        TraceCall(operation, keyNumber, lengthIn, dataLength != nullptr ? *dataLength : 0, status,
                  static_cast<int64_t>(micros));
    }
    return status;
}
