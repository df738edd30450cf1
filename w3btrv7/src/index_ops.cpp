// Create and Drop Supplemental Index.
#include "call.h"

namespace w3b {

int16_t DoCreateIndex(Call& call, OpenInstance& open) {
    if (open.ReadOnly()) return btr::kStatusAccessDenied;
    if (Engine::Get().CurrentTransaction().active) return btr::kStatusOperationNotAllowed;
    SharedFile& file = *open.file;
    const FileDef& def = file.Def();
    std::vector<BtrKeySpec> specs;
    std::vector<AcsBlock> newAcs;
    if (int16_t status = ParseIndexBuffer(def, call.data, call.DataCapacity(), &specs, &newAcs);
        status != btr::kStatusSuccess) {
        return status;
    }
    uint8_t requested = static_cast<uint8_t>(call.keyNumber);
    int number;
    if ((requested & btr::kKeyNumberExact) != 0) {
        // The caller names the number; it must be free.
        number = requested & ~btr::kKeyNumberExact;
        if (number > btr::kMaxKeyNumber || def.Key(number) != nullptr) return btr::kStatusInvalidKeyNumber;
    } else {
        number = 0;
        while (number <= btr::kMaxKeyNumber && def.Key(number) != nullptr) ++number;
        if (number > btr::kMaxKeyNumber) return btr::kStatusNumberOfKeys;
    }
    return file.AddKey(number, specs, newAcs);
}

int16_t DoDropIndex(Call& call, OpenInstance& open) {
    if (open.ReadOnly()) return btr::kStatusAccessDenied;
    if (Engine::Get().CurrentTransaction().active) return btr::kStatusOperationNotAllowed;
    SharedFile& file = *open.file;
    uint8_t requested = static_cast<uint8_t>(call.keyNumber);
    bool renumber = (requested & btr::kKeyNumberExact) == 0;
    int number = requested & ~btr::kKeyNumberExact;
    if (file.Def().Key(number) == nullptr) return btr::kStatusInvalidKeyNumber;
    int16_t status = file.DropKey(number, renumber);
    if (status == btr::kStatusSuccess) Engine::Get().KeyDropped(&file, number, renumber);
    return status;
}

}  // namespace w3b
