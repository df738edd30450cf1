// file_def.h: the definition of a data file (file specification, keys, collating sequences),
// parsed from a Create or Create Index buffer and validated.
#ifndef W3BTRV7_STORE_FILE_DEF_H
#define W3BTRV7_STORE_FILE_DEF_H

#include <array>
#include <memory>
#include <cstdint>
#include <string>
#include <vector>

#include "btrcall.h"
#include "keys/key_codec.h"
#include "store/owner_seal.h"

namespace w3b {

using AcsBlock = std::array<uint8_t, btr::kAcsSize>;

inline constexpr int kKeyNumberSlots = btr::kMaxKeyNumber + 1;  // key numbers 0..118

// One key of a file.
struct KeyInfo {
    int number = 0;
    std::vector<BtrKeySpec> specs;  // as defined (counts zeroed, key number byte = number)
    KeyDef def;                     // resolved for encoding; collation points into FileDef::acs
    bool duplicates = false;
    bool modifiable = false;
    int autoincrementSegment = -1;  // the segment of an AUTOINCREMENT key, else -1
    size_t length = 0;              // bytes of the key value in a key buffer
};

// Everything Create stores about a file, and what the engine derives from it.
struct FileDef {
    BtrFileSpec spec{};  // as created; record count and version byte zero
    uint8_t versionByte = 0x70;
    std::vector<AcsBlock> acs;
    std::vector<KeyInfo> keys;                            // ascending key number
    std::array<int16_t, kKeyNumberSlots> slotOfNumber{};  // key number -> index in keys, or -1
    OwnerSeal owner;                                      // Set Owner's name and level, when the file has one

    FileDef() { slotOfNumber.fill(-1); }
    FileDef(const FileDef&) = delete;
    FileDef& operator=(const FileDef&) = delete;

    const KeyInfo* Key(int number) const {
        if (number < 0 || number >= kKeyNumberSlots) return nullptr;
        int slot = slotOfNumber[number];
        return slot < 0 ? nullptr : &keys[static_cast<size_t>(slot)];
    }
    int SegmentCount() const;
    bool UsesAcs() const;
    bool VariableLength() const { return (spec.fileFlags & btr::kFileFlagVariableLength) != 0; }
    bool KeyOnly() const { return (spec.fileFlags & btr::kFileFlagKeyOnly) != 0; }
    uint16_t RecordLength() const { return static_cast<uint16_t>(spec.recordLength); }

    // A copy, for a definition with one key more or less.
    std::unique_ptr<FileDef> Copy() const;
    // Adds a key (specs already validated) and rebuilds every key's resolved definition so
    // that collation pointers stay valid.
    void AddKey(int number, std::vector<BtrKeySpec> specs);
    void RemoveKey(int number);
    void RenumberKey(int from, int to);
    void Resolve();
};

// Largest number of key segments a file of `pageSize` may hold.
int MaxSegmentsForPageSize(int pageSize);

// Parses and validates the data buffer of Create. Returns a status; on 0 `out` holds the
// definition.
int16_t ParseCreateBuffer(const uint8_t* data, uint32_t length, FileDef* out);

// Checks a definition read back from a data file as Create checks one it is given, so that a
// damaged or altered file is refused instead of having its keys read past the end of a record.
// Returns the status of the first check that fails, or 0.
int16_t ValidateDefinition(const FileDef& def);

// Parses and validates the data buffer of Create Index against an existing definition. On 0,
// `specs` holds the new key's segments (ACS numbers resolved) and `newAcs` an ACS block the key
// adds to the file (empty when none).
int16_t ParseIndexBuffer(const FileDef& file, const uint8_t* data, uint32_t length, std::vector<BtrKeySpec>* specs,
                         std::vector<AcsBlock>* newAcs);

}  // namespace w3b

#endif  // W3BTRV7_STORE_FILE_DEF_H
