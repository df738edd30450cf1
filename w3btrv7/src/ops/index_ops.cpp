// Create and Drop Supplemental Index.
#include "ops/call.h"
#include "ops/write_transaction.h"

namespace w3b {

namespace {

// The segments, new collating sequence and number of the key a Create Index request adds to a
// file of definition `def`.
struct NewKey {
    std::vector<BtrKeySpec> specs;
    std::vector<AcsBlock> acs;
    int number = 0;
};

int16_t PlanKey(const FileDef& def, const Call& call, NewKey* key) {
    if (int16_t status = ParseIndexBuffer(def, call.data, call.DataCapacity(), &key->specs, &key->acs);
        status != btr::kStatusSuccess) {
        return status;
    }
    uint8_t requested = static_cast<uint8_t>(call.keyNumber);
    if ((requested & btr::kKeyNumberExact) != 0) {
        // The caller names the number; it must be free.
        key->number = requested & ~btr::kKeyNumberExact;
        if (key->number > btr::kMaxKeyNumber || def.Key(key->number) != nullptr) return btr::kStatusInvalidKeyNumber;
        return btr::kStatusSuccess;
    }
    key->number = 0;
    while (key->number <= btr::kMaxKeyNumber && def.Key(key->number) != nullptr) ++key->number;
    return key->number > btr::kMaxKeyNumber ? btr::kStatusNumberOfKeys : btr::kStatusSuccess;
}

int16_t CheckDrop(const FileDef& def, const Call& call) {
    int number = static_cast<uint8_t>(call.keyNumber) & ~btr::kKeyNumberExact;
    return def.Key(number) == nullptr ? btr::kStatusInvalidKeyNumber : btr::kStatusSuccess;
}

}  // namespace

// Both operations check the request before they ask for the write lock, so that a bad one
// never waits for it, and again once they hold it when another process changed the keys while
// they waited.
int16_t DoCreateIndex(Call& call, OpenInstance& open) {
    if (open.ReadOnly()) return btr::kStatusAccessDenied;
    if (Engine::Get().CurrentTransaction().active) return btr::kStatusOperationNotAllowed;
    FileConnection& file = *open.file;
    NewKey key;
    if (int16_t status = PlanKey(file.Def(), call, &key); status != btr::kStatusSuccess) return status;
    WriteTransaction transaction(file);
    if (int16_t status = transaction.Begin(); status != btr::kStatusSuccess) return status;
    if (transaction.Redefined()) {
        key = NewKey();
        if (int16_t status = PlanKey(file.Def(), call, &key); status != btr::kStatusSuccess) return status;
    }
    if (int16_t status = file.AddKey(key.number, key.specs, key.acs); status != btr::kStatusSuccess) return status;
    return transaction.Commit();
}

int16_t DoDropIndex(Call& call, OpenInstance& open) {
    if (open.ReadOnly()) return btr::kStatusAccessDenied;
    if (Engine::Get().CurrentTransaction().active) return btr::kStatusOperationNotAllowed;
    FileConnection& file = *open.file;
    if (int16_t status = CheckDrop(file.Def(), call); status != btr::kStatusSuccess) return status;
    WriteTransaction transaction(file);
    if (int16_t status = transaction.Begin(); status != btr::kStatusSuccess) return status;
    if (int16_t status = transaction.Redefined() ? CheckDrop(file.Def(), call) : btr::kStatusSuccess;
        status != btr::kStatusSuccess) {
        return status;
    }
    uint8_t requested = static_cast<uint8_t>(call.keyNumber);
    // Without +128 the keys above the dropped one move down to close the gap.
    Renumbering renumbering =
        (requested & btr::kKeyNumberExact) == 0 ? Renumbering::kCloseTheGap : Renumbering::kKeepNumbers;
    int number = requested & ~btr::kKeyNumberExact;
    if (int16_t status = file.DropKey(number, renumbering); status != btr::kStatusSuccess) return status;
    int16_t status = transaction.Commit();
    if (status == btr::kStatusSuccess) Engine::Get().KeyDropped(&file, number, renumbering);
    return status;
}

}  // namespace w3b
