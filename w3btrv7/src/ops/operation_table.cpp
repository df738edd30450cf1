#include "ops/operation_table.h"

#include <array>

#include "ops/call.h"

namespace w3b {

namespace {

constexpr Trait kGet = Trait::kLockingRead | Trait::kTakesGetKey;
constexpr Trait kStep = Trait::kLockingRead | Trait::kLeavesKeyBuffer;
constexpr Trait kWrite = Trait::kTakesNoWriteWait;

constexpr OperationRow kOperations[] = {
    {btr::kOpOpen, DoOpen},
    {btr::kOpClose, DoClose, Trait::kUsesFileAsIs},
    {btr::kOpInsert, DoInsert, kWrite},
    {btr::kOpUpdate, DoUpdate, kWrite},
    {btr::kOpDelete, DoDelete, kWrite},
    {btr::kOpGetEqual, DoGet, kGet},
    {btr::kOpGetNext, DoGet, kGet},
    {btr::kOpGetPrevious, DoGet, kGet},
    {btr::kOpGetGreater, DoGet, kGet},
    {btr::kOpGetGreaterOrEqual, DoGet, kGet},
    {btr::kOpGetLess, DoGet, kGet},
    {btr::kOpGetLessOrEqual, DoGet, kGet},
    {btr::kOpGetFirst, DoGet, kGet},
    {btr::kOpGetLast, DoGet, kGet},
    {btr::kOpCreate, DoCreate},
    {btr::kOpStat, DoStat},
    {btr::kOpSetDirectory, DoSetDirectory},
    {btr::kOpGetDirectory, DoGetDirectory},
    {btr::kOpBeginTransaction, DoBeginTransaction, Trait::kTakesConcurrent | Trait::kTakesNoWriteWaitWhenConcurrent},
    {btr::kOpEndTransaction, DoEndTransaction},
    {btr::kOpAbortTransaction, DoAbortTransaction},
    {btr::kOpGetPosition, DoGetPosition},
    {btr::kOpGetDirect, DoGetDirect, Trait::kLockingRead | Trait::kChunkLocksNothing},
    {btr::kOpStepNext, DoStep, kStep},
    {btr::kOpStop, DoStop, Trait::kReloadsSettings},
    {btr::kOpVersion, DoVersion},
    {btr::kOpUnlock, DoUnlock},
    {btr::kOpReset, DoReset, Trait::kReloadsSettings},
    {btr::kOpCreateIndex, DoCreateIndex},
    {btr::kOpDropIndex, DoDropIndex},
    {btr::kOpSetOwner, DoSetOwner},
    {btr::kOpClearOwner, DoClearOwner},
    {btr::kOpStepFirst, DoStep, kStep},
    {btr::kOpStepLast, DoStep, kStep},
    {btr::kOpStepPrevious, DoStep, kStep},
    {btr::kOpGetNextExtended, DoReadExtended},
    {btr::kOpGetPreviousExtended, DoReadExtended},
    {btr::kOpStepNextExtended, DoReadExtended},
    {btr::kOpStepPreviousExtended, DoReadExtended},
    {btr::kOpInsertExtended, DoInsertExtended, kWrite},
    {btr::kOpContinuous, DoContinuous},
    {btr::kOpGetByPercentage, DoGetByPercentage, Trait::kLockingRead},
    {btr::kOpFindPercentage, DoFindPercentage},
    {btr::kOpUpdateChunk, DoUpdateChunk, kWrite},
};

}  // namespace

// Every call looks its code up: by index, not by search, in a table built at compile time.
constexpr std::array<const OperationRow*, kOperationCodes> kOperationByCode = [] {
    std::array<const OperationRow*, kOperationCodes> index{};
    for (const OperationRow& row : kOperations) index[row.code] = &row;
    return index;
}();

}  // namespace w3b
