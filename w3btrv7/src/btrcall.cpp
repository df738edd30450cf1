// The record manager's entry point: decodes a request, checks the position block and hands the
// request to its operation.
#include <chrono>
#include <mutex>
#include <utility>

#include "ops/call.h"
#include "ops/requested_position.h"
#include "settings.h"
#include "trace.h"

namespace w3b {

namespace {

int16_t RunOnBlock(const OperationRow& row, Call& call, OpenInstance& open) {
    if (row.Has(Trait::kLockingRead)) {
        uint8_t lock = EffectiveLock(call);
        bool locksNothing = row.Has(Trait::kChunkLocksNothing) && call.keyNumber == btr::kKeyNumberChunk;
        if (lock != 0 && !locksNothing) return LockedRead(call, open, row, lock);
    }
    return row.runOnBlock(call, open);
}

// How often a call runs again on a definition that another process keeps changing under it.
constexpr int kRunsOnChangedDefinition = 3;

// Runs the call; kStatusDefinitionMoved when the definition it ran on had changed before it
// changed anything. An answer given without a statement (a key number the old definition
// lacks, say) is confirmed against the definition as it is now.
int16_t RunOnDefinition(const OperationRow& row, Call& call, OpenInstance& open) {
    int16_t status = RunOnBlock(row, call, open);
    if (status != btr::kStatusSuccess && status != kStatusDefinitionMoved &&
        open.file->ConfirmDefinition() == kStatusDefinitionMoved) {
        status = kStatusDefinitionMoved;
    }
    return status;
}

int16_t Dispatch(const OperationRow& row, Call& call) {
    if (!row.NeedsBlock()) return row.run(call);
    OpenInstance* open = Engine::Get().Find(call.positionBlock);
    if (open == nullptr) return btr::kStatusFileNotOpen;
    if (row.Has(Trait::kUsesFileAsIs)) return RunOnBlock(row, call, *open);
    int16_t status = kStatusDefinitionMoved;
    // A store that checks the definition with the call's own statements may find it changed:
    // the call then runs again on the new one (as does a write that found the file's write lock
    // taken and may wait for it).
    for (int run = 0; status == kStatusDefinitionMoved && run <= kRunsOnChangedDefinition; ++run) {
        open->file->BeginCall();
        if ((status = open->file->Refresh()) != btr::kStatusSuccess) return status;
        status = RunOnDefinition(row, call, *open);
    }
    return status == kStatusDefinitionMoved ? btr::kStatusFileInUse : status;
}

// Decodes the request and runs it. Operations not offered, and biases an operation does not
// take, answer 1 before the position block is looked at.
int16_t Serve(uint16_t operation, Call& call) {
    const OperationRow* row = DecodeOperation(operation, &call.op);
    if (row == nullptr) return btr::kStatusInvalidOperation;
    int16_t status = Dispatch(*row, call);
    if (row->Has(Trait::kReloadsSettings)) {
        ReloadSettings();
        TraceReload();
    }
    return status;
}

// Serve, timed and written to the trace; apart from the untraced path, which every call takes.
int16_t ServeTraced(uint16_t operation, Call& call) {
    auto start = std::chrono::steady_clock::now();
    uint32_t lengthIn = call.dataLength != nullptr ? *call.dataLength : 0;
    int16_t status = Serve(operation, call);
    auto micros =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
    TraceCall(operation, call.keyNumber, lengthIn, call.dataLength != nullptr ? *call.dataLength : 0, status,
              static_cast<int64_t>(micros));
    return status;
}

}  // namespace

}  // namespace w3b

extern "C" BTR_EXPORT int16_t BTR_CALL BTRCALL(uint16_t operation, void* positionBlock, void* dataBuffer,
                                               uint32_t* dataLength, void* keyBuffer, uint8_t keyLength,
                                               int8_t keyNumber) {
    using namespace w3b;
    std::lock_guard<std::mutex> lock(Engine::Get().Mutex());
    Call call;
    call.positionBlock = static_cast<uint8_t*>(positionBlock);
    call.data = static_cast<uint8_t*>(dataBuffer);
    call.dataLength = dataLength;
    call.key = static_cast<uint8_t*>(keyBuffer);
    call.keyLength = keyLength;
    call.keyNumber = keyNumber;
    call.insertPosition = std::exchange(RequestedInsertPosition(), 0);
    return TraceEnabled() ? ServeTraced(operation, call) : Serve(operation, call);
}
