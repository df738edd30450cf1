// owner_seal.h: a file's owner name as the file keeps it: never in clear, only a salted,
// stretched hash (PBKDF2 with HMAC-SHA-256) that Open compares a given name with.
#ifndef W3BTRV7_STORE_OWNER_SEAL_H
#define W3BTRV7_STORE_OWNER_SEAL_H

#include <cstdint>
#include <string>

namespace w3b {

// Access levels of Set Owner.
enum class OwnerLevel : uint8_t {
    kNameForEveryAccess = 0,
    kReadWithoutName = 1,
    kNameForEveryAccessEncrypted = 2,
    kReadWithoutNameEncrypted = 3,
};

struct OwnerSeal {
    bool present = false;
    OwnerLevel level = OwnerLevel::kNameForEveryAccess;
    uint32_t rounds = 0;
    std::string salt;
    std::string hash;

    bool ReadsWithoutName() const { return level == OwnerLevel::kReadWithoutName; }
    bool operator==(const OwnerSeal& other) const {
        return present == other.present && level == other.level && rounds == other.rounds && salt == other.salt &&
               hash == other.hash;
    }
};

// Seals `name` with a new random salt.
OwnerSeal SealOwnerName(const std::string& name, OwnerLevel level);

// True when `name` is the name `seal` was made from.
bool OwnerNameMatches(const OwnerSeal& seal, const std::string& name);

// PBKDF2-HMAC-SHA-256 (RFC 8018) of `password` and `salt`: `length` bytes.
std::string Pbkdf2Sha256(const std::string& password, const std::string& salt, uint32_t rounds, size_t length);

}  // namespace w3b

#endif  // W3BTRV7_STORE_OWNER_SEAL_H
