// The hash is written here rather than taken from a crypto library so that the Linux build and
// the Windows DLL seal names the same way with nothing more to link: SHA-256 as FIPS 180-4
// gives it, HMAC as RFC 2104, PBKDF2 as RFC 8018.
#include "store/owner_seal.h"

#include <array>
#include <cstring>
#include <random>

namespace w3b {

namespace {

// Enough rounds that trying every 8-character name costs real time per file.
constexpr uint32_t kRounds = 20000;
constexpr size_t kSaltBytes = 16;
constexpr size_t kHashBytes = 32;
constexpr size_t kBlockBytes = 64;

constexpr std::array<uint32_t, 64> kRoundConstants = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

uint32_t Rotate(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

class Sha256 {
public:
    void Add(const void* bytes, size_t size) {
        const auto* in = static_cast<const uint8_t*>(bytes);
        total_ += size;
        while (size > 0) {
            size_t take = std::min(size, kBlockBytes - used_);
            std::memcpy(block_.data() + used_, in, take);
            used_ += take;
            in += take;
            size -= take;
            if (used_ == kBlockBytes) Compress();
        }
    }
    void Add(const std::string& bytes) { Add(bytes.data(), bytes.size()); }

    std::string Finish() {
        uint64_t bits = total_ * 8;
        uint8_t pad = 0x80;
        Add(&pad, 1);
        uint8_t zero = 0;
        while (used_ != kBlockBytes - 8) Add(&zero, 1);
        uint8_t length[8];
        for (int i = 0; i < 8; ++i) length[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
        Add(length, 8);
        std::string digest(kHashBytes, '\0');
        for (size_t i = 0; i < 8; ++i) {
            for (size_t b = 0; b < 4; ++b) digest[i * 4 + b] = static_cast<char>(state_[i] >> (24 - 8 * b));
        }
        return digest;
    }

private:
    void Compress() {
        std::array<uint32_t, 64> w;
        for (size_t i = 0; i < 16; ++i) {
            w[i] = uint32_t{block_[i * 4]} << 24 | uint32_t{block_[i * 4 + 1]} << 16 |
                   uint32_t{block_[i * 4 + 2]} << 8 | uint32_t{block_[i * 4 + 3]};
        }
        for (size_t i = 16; i < 64; ++i) {
            uint32_t s0 = Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
            uint32_t s1 = Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::array<uint32_t, 8> v = state_;
        for (size_t i = 0; i < 64; ++i) {
            uint32_t s1 = Rotate(v[4], 6) ^ Rotate(v[4], 11) ^ Rotate(v[4], 25);
            uint32_t choose = (v[4] & v[5]) ^ (~v[4] & v[6]);
            uint32_t t1 = v[7] + s1 + choose + kRoundConstants[i] + w[i];
            uint32_t s0 = Rotate(v[0], 2) ^ Rotate(v[0], 13) ^ Rotate(v[0], 22);
            uint32_t majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
            v = {t1 + s0 + majority, v[0], v[1], v[2], v[3] + t1, v[4], v[5], v[6]};
        }
        for (size_t i = 0; i < 8; ++i) state_[i] += v[i];
        used_ = 0;
    }

    std::array<uint32_t, 8> state_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                      0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::array<uint8_t, kBlockBytes> block_{};
    size_t used_ = 0;
    uint64_t total_ = 0;
};

// HMAC-SHA-256 with the key's inner and outer pads prepared once, for the many rounds of PBKDF2.
class HmacSha256 {
public:
    explicit HmacSha256(const std::string& key) {
        std::string k = key.size() > kBlockBytes ? Digest(key) : key;
        k.resize(kBlockBytes, '\0');
        std::string inner(kBlockBytes, '\0'), outer(kBlockBytes, '\0');
        for (size_t i = 0; i < kBlockBytes; ++i) {
            inner[i] = static_cast<char>(k[i] ^ 0x36);
            outer[i] = static_cast<char>(k[i] ^ 0x5c);
        }
        inner_.Add(inner);
        outer_.Add(outer);
    }

    std::string Of(const std::string& message) const {
        Sha256 inner = inner_;
        inner.Add(message);
        Sha256 outer = outer_;
        outer.Add(inner.Finish());
        return outer.Finish();
    }

private:
    static std::string Digest(const std::string& bytes) {
        Sha256 hash;
        hash.Add(bytes);
        return hash.Finish();
    }

    Sha256 inner_;
    Sha256 outer_;
};

bool SameBytes(const std::string& a, const std::string& b) {
    // Every byte is compared, whatever the first difference, so the time says nothing.
    if (a.size() != b.size()) return false;
    uint8_t difference = 0;
    for (size_t i = 0; i < a.size(); ++i) difference |= static_cast<uint8_t>(a[i] ^ b[i]);
    return difference == 0;
}

}  // namespace

std::string Pbkdf2Sha256(const std::string& password, const std::string& salt, uint32_t rounds, size_t length) {
    HmacSha256 prf(password);
    std::string out;
    for (uint32_t block = 1; out.size() < length; ++block) {
        std::string first = salt;
        for (int shift = 24; shift >= 0; shift -= 8) first.push_back(static_cast<char>(block >> shift));
        std::string u = prf.Of(first);
        std::string t = u;
        for (uint32_t r = 1; r < rounds; ++r) {
            u = prf.Of(u);
            for (size_t i = 0; i < t.size(); ++i) t[i] = static_cast<char>(t[i] ^ u[i]);
        }
        out += t;
    }
    out.resize(length);
    return out;
}

OwnerSeal SealOwnerName(const std::string& name, OwnerLevel level) {
    OwnerSeal seal;
    seal.present = true;
    seal.level = level;
    seal.rounds = kRounds;
    std::random_device random;
    for (size_t i = 0; i < kSaltBytes; ++i) seal.salt.push_back(static_cast<char>(random() & 0xFF));
    seal.hash = Pbkdf2Sha256(name, seal.salt, seal.rounds, kHashBytes);
    return seal;
}

bool OwnerNameMatches(const OwnerSeal& seal, const std::string& name) {
    if (!seal.present || seal.rounds == 0 || seal.hash.empty()) return false;
    return SameBytes(Pbkdf2Sha256(name, seal.salt, seal.rounds, seal.hash.size()), seal.hash);
}

}  // namespace w3b
