// Set Owner and Clear Owner, and the owner name an Open gives.
//
// A file's owner name is kept only as a salted hash (store/owner_seal.h). Levels 0 and 1 are
// honoured; levels 2 and 3 would also encrypt the records at rest, which this record manager
// does not do, so it refuses them (41) and the file stays without an owner.
#include <algorithm>

#include "ops/call.h"
#include "ops/write_transaction.h"

namespace w3b {

namespace {

// Longest owner name, without its terminator.
constexpr size_t kOwnerNameMax = 8;

// The NUL-terminated name in `bytes[0 .. length)`: false when there is none, or it is longer
// than an owner name can be.
bool NameIn(const uint8_t* bytes, uint32_t length, std::string* name) {
    if (bytes == nullptr) return false;
    size_t size = 0;
    while (size < length && bytes[size] != 0) ++size;
    if (size == 0 || size > kOwnerNameMax) return false;
    name->assign(reinterpret_cast<const char*>(bytes), size);
    return true;
}

// Runs `change` as a write while no other process has the file open, since they opened it
// under the owner it had: 88 while one has.
template <typename Change>
int16_t ChangeOwnerAlone(FileConnection& file, Change change) {
    if (int16_t status = file.AcquireExclusiveOpen(); status != btr::kStatusSuccess) return status;
    WriteTransaction transaction(file);
    int16_t status = transaction.Begin();
    if (status == btr::kStatusSuccess) status = change(transaction);
    if (status == btr::kStatusSuccess) status = transaction.Commit();
    file.ReleaseExclusiveOpen();
    return status;
}

}  // namespace

std::string OwnerNameOfOpen(const Call& call) {
    // What a caller leaves in the buffer of an Open matters only for a file with an owner: the
    // bytes up to the terminator, at most a little more than any owner name.
    uint32_t length = std::min<uint32_t>(call.DataCapacity(), kOwnerNameMax + 1);
    size_t size = 0;
    while (size < length && call.data[size] != 0) ++size;
    return std::string(reinterpret_cast<const char*>(call.data), size);
}

int16_t CheckOwnerName(const FileDef& def, const std::string& name, OwnerAccess* access) {
    if (!def.owner.present) return btr::kStatusSuccess;
    if (name.empty()) {
        if (!def.owner.ReadsWithoutName()) return btr::kStatusInvalidOwner;
        access->readsOnly = true;
        return btr::kStatusSuccess;
    }
    if (name.size() > kOwnerNameMax || !OwnerNameMatches(def.owner, name)) return btr::kStatusInvalidOwner;
    access->gaveName = true;
    return btr::kStatusSuccess;
}

int16_t DoSetOwner(Call& call, OpenInstance& open) {
    if (open.ReadOnly()) return btr::kStatusAccessDenied;
    if (Engine::Get().CurrentTransaction().active) return btr::kStatusOperationNotAllowed;
    FileConnection& file = *open.file;
    if (file.Def().owner.present) return btr::kStatusOwnerAlreadySet;
    std::string name, again;
    if (!NameIn(call.data, call.DataCapacity(), &name) || !NameIn(call.key, call.keyLength, &again) || name != again) {
        return btr::kStatusInvalidOwner;
    }
    switch (static_cast<OwnerLevel>(call.keyNumber)) {
        case OwnerLevel::kNameForEveryAccess:
        case OwnerLevel::kReadWithoutName: break;
        case OwnerLevel::kNameForEveryAccessEncrypted:
        case OwnerLevel::kReadWithoutNameEncrypted: return btr::kStatusOperationNotAllowed;
        default: return btr::kStatusInvalidKeyNumber;
    }
    OwnerSeal seal = SealOwnerName(name, static_cast<OwnerLevel>(call.keyNumber));
    int16_t status = ChangeOwnerAlone(file, [&](WriteTransaction& transaction) {
        // Another process may have given the file an owner while this one waited.
        if (transaction.Redefined() && file.Def().owner.present) return btr::kStatusOwnerAlreadySet;
        return file.SetOwner(seal);
    });
    if (status == btr::kStatusSuccess) open.gaveOwnerName = true;
    return status;
}

int16_t DoClearOwner(Call&, OpenInstance& open) {
    FileConnection& file = *open.file;
    if (!file.Def().owner.present) return btr::kStatusSuccess;
    if (!open.gaveOwnerName) return btr::kStatusInvalidOwner;
    if (open.ReadOnly()) return btr::kStatusAccessDenied;
    if (Engine::Get().CurrentTransaction().active) return btr::kStatusOperationNotAllowed;
    return ChangeOwnerAlone(file, [&](WriteTransaction&) { return file.SetOwner(OwnerSeal()); });
}

}  // namespace w3b
