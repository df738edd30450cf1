#include "store/file_def.h"

#include <algorithm>
#include <cstring>

namespace w3b {

namespace {

constexpr int kMaxKeys = btr::kMaxKeyNumber + 1;
constexpr int kMinRecordLength = 4;
constexpr int kPageOverhead = 10;        // bytes of a data page the record cannot use
constexpr int kLinkedDuplicateCost = 8;  // per key with linked duplicates
constexpr int kDuplicatePointerCost = 8;
constexpr int kVariableRecordCost = 4;
constexpr int kBlankTruncationCost = 2;
constexpr int kMinEntriesPerIndexPage = 4;
constexpr int kIndexPageOverhead = 12;
constexpr int kIndexEntryOverhead = 8;
// The library reserves room for 96 segments in every file, so no page size offers fewer.
constexpr int kLibrarySegmentSlots = 96;

uint16_t ConsistentFlags(uint16_t flags) {
    return flags & (btr::kKeyFlagDuplicates | btr::kKeyFlagModifiable | btr::kKeyFlagNullAll | btr::kKeyFlagNullAny |
                    btr::kKeyFlagSupplemental);
}

bool UsesAcsFlag(uint16_t flags) { return (flags & btr::kKeyFlagAlternateSequence) != 0; }
bool NumberedAcs(uint16_t flags) { return UsesAcsFlag(flags) && (flags & btr::kKeyFlagNoCase) != 0; }
bool NamedAcs(uint16_t flags) { return NumberedAcs(flags) && (flags & btr::kKeyFlagNamedAcs) != 0; }

BtrKeySpec ReadSpec(const uint8_t* at) {
    BtrKeySpec spec;
    std::memcpy(&spec, at, sizeof spec);
    return spec;
}

// Checks the segments of one key against the file they would belong to.
int16_t ValidateKey(const std::vector<BtrKeySpec>& specs, int recordLength, int pageSize, size_t acsCount) {
    int total = 0;
    uint16_t common = ConsistentFlags(specs.front().flags);
    for (const BtrKeySpec& spec : specs) {
        if (spec.length <= 0 || spec.length > btr::kMaxKeyLength) return btr::kStatusInvalidKeyLength;
        int16_t status = ValidateSegment(spec);
        if (status != btr::kStatusSuccess) return status;
        // The segmented flag says that another segment of the key follows. A buffer is read by
        // it, so there it always agrees; a stored definition where it does not is damaged (its
        // Stat would describe a file that Create refuses).
        bool last = &spec == &specs.back();
        if (((spec.flags & btr::kKeyFlagSegmented) != 0) == last) return btr::kStatusInconsistentKeyFlags;
        if (spec.position < 1 || spec.position + spec.length - 1 > recordLength) {
            return btr::kStatusInvalidKeyPosition;
        }
        if (ConsistentFlags(spec.flags) != common) return btr::kStatusInconsistentKeyFlags;
        if (UsesAcsFlag(spec.flags)) {
            size_t needed = NumberedAcs(spec.flags) ? static_cast<size_t>(spec.acsNumber) + 1 : 1;
            if (acsCount < needed) return btr::kStatusInvalidAcs;
        }
        if (EffectiveType(spec) == btr::kTypeAutoincrement &&
            (specs.size() > 1 || (spec.flags & btr::kKeyFlagDuplicates) != 0)) {
            return btr::kStatusKeyTypeError;
        }
        total += spec.length;
    }
    if (total > btr::kMaxKeyLength) return btr::kStatusInvalidKeyLength;
    if ((pageSize - kIndexPageOverhead) / (total + kIndexEntryOverhead) < kMinEntriesPerIndexPage) {
        return btr::kStatusInvalidKeyLength;
    }
    return btr::kStatusSuccess;
}

int16_t ValidateAcsBlock(const uint8_t* block) {
    // Only user-defined tables carry their map; country and sort-rule tables name data this
    // engine does not have.
    return block[0] == btr::kAcsUserDefined ? btr::kStatusSuccess : btr::kStatusInvalidAcs;
}

// Page size and record length, which every key is checked against.
int16_t ValidateFileSpec(const BtrFileSpec& spec) {
    if (spec.pageSize < 512 || spec.pageSize > 4096 || spec.pageSize % 512 != 0) return btr::kStatusPageSizeError;
    if (spec.recordLength < kMinRecordLength) return btr::kStatusInvalidRecordLength;
    return btr::kStatusSuccess;
}

int PhysicalRecordLength(const BtrFileSpec& spec, const std::vector<std::vector<BtrKeySpec>>& keys) {
    int length = spec.recordLength;
    for (const auto& key : keys) {
        uint16_t flags = key.front().flags;
        if ((flags & btr::kKeyFlagDuplicates) != 0 && (flags & btr::kKeyFlagSupplemental) == 0) {
            length += kLinkedDuplicateCost;
        }
    }
    if ((spec.fileFlags & btr::kFileFlagDuplicatePointers) != 0)
        length += kDuplicatePointerCost * spec.duplicatePointers;
    if ((spec.fileFlags & btr::kFileFlagVariableLength) != 0) length += kVariableRecordCost;
    if ((spec.fileFlags & btr::kFileFlagBlankTruncation) != 0) length += kBlankTruncationCost;
    return length;
}

// The segments of each key, as Create's key blocks give them.
using KeyBlocks = std::vector<std::vector<BtrKeySpec>>;

// Create's data buffer and how far it has been read.
struct CreateBuffer {
    const uint8_t* data;
    uint32_t length;
    uint32_t offset;
    uint32_t Left() const { return length - offset; }
};

// The file specification of Create on its own: page size, record length, number of keys.
int16_t ValidateCreateSpec(const BtrFileSpec& spec) {
    if (int16_t status = ValidateFileSpec(spec); status != btr::kStatusSuccess) return status;
    if (spec.keyCount > kMaxKeys) return btr::kStatusNumberOfKeys;
    if ((spec.fileFlags & btr::kFileFlagKeyOnly) != 0 && spec.keyCount != 1) return btr::kStatusNumberOfKeys;
    return btr::kStatusSuccess;
}

// Reads the key blocks that follow the file specification: each key runs to its first segment
// without the segmented flag. A buffer that ends inside them answers 22, more segments than the
// page size allows 26, whichever comes first.
int16_t ReadKeyBlocks(const BtrFileSpec& spec, CreateBuffer* buffer, KeyBlocks* keys) {
    const int maxSegments = MaxSegmentsForPageSize(spec.pageSize);
    int segments = 0;
    for (int k = 0; k < spec.keyCount; ++k) {
        std::vector<BtrKeySpec> key;
        for (;;) {
            if (buffer->Left() < sizeof(BtrKeySpec)) return btr::kStatusDataLengthError;
            key.push_back(ReadSpec(buffer->data + buffer->offset));
            buffer->offset += sizeof(BtrKeySpec);
            if (++segments > maxSegments) return btr::kStatusNumberOfKeys;
            if ((key.back().flags & btr::kKeyFlagSegmented) == 0) break;
        }
        keys->push_back(std::move(key));
    }
    return btr::kStatusSuccess;
}

// Reads the collating sequences that follow the key blocks: one shared table, or as many
// numbered ones as the highest number any segment uses. A named sequence cannot be created.
int16_t ReadCollatingSequences(const KeyBlocks& keys, CreateBuffer* buffer, std::vector<AcsBlock>* acs) {
    size_t acsCount = 0;
    for (const auto& key : keys) {
        for (const BtrKeySpec& segment : key) {
            if (NamedAcs(segment.flags)) return btr::kStatusInvalidAcs;
            if (!UsesAcsFlag(segment.flags)) continue;
            size_t needed = NumberedAcs(segment.flags) ? static_cast<size_t>(segment.acsNumber) + 1 : 1;
            acsCount = std::max(acsCount, needed);
        }
    }
    if (buffer->Left() / btr::kAcsSize < acsCount) return btr::kStatusDataLengthError;
    acs->assign(acsCount, AcsBlock{});
    for (AcsBlock& block : *acs) {
        std::memcpy(block.data(), buffer->data + buffer->offset, btr::kAcsSize);
        buffer->offset += btr::kAcsSize;
        if (int16_t status = ValidateAcsBlock(block.data()); status != btr::kStatusSuccess) return status;
    }
    return btr::kStatusSuccess;
}

// Checks each key against the file and gives it its number: its place among the keys, or the
// number its first segment names when the file asks for numbers given. Keys are checked in
// order, each one's segments before its number.
int16_t ValidateAndNumberKeys(const BtrFileSpec& spec, const KeyBlocks& keys, size_t acsCount,
                              std::vector<int>* numbers) {
    const bool specified = (spec.fileFlags & btr::kFileFlagSpecifyKeyNumbers) != 0;
    for (size_t k = 0; k < keys.size(); ++k) {
        if (int16_t status = ValidateKey(keys[k], spec.recordLength, spec.pageSize, acsCount);
            status != btr::kStatusSuccess) {
            return status;
        }
        int number = specified ? keys[k].front().keyNumber : static_cast<int>(k);
        if (number < 0 || number >= kMaxKeys || std::find(numbers->begin(), numbers->end(), number) != numbers->end()) {
            return btr::kStatusInvalidKeyNumber;
        }
        numbers->push_back(number);
    }
    return btr::kStatusSuccess;
}
}  // namespace

int MaxSegmentsForPageSize(int pageSize) {
    int table;
    if (pageSize <= 512) {
        table = 8;
    } else if (pageSize <= 1024) {
        table = 23;
    } else if (pageSize <= 1536) {
        table = 24;
    } else if (pageSize < 4096) {
        table = 54;
    } else {
        table = 119;
    }
    return std::max(table, kLibrarySegmentSlots);
}

int FileDef::SegmentCount() const {
    int count = 0;
    for (const KeyInfo& key : keys) count += static_cast<int>(key.specs.size());
    return count;
}

bool FileDef::UsesAcs() const {
    for (const KeyInfo& key : keys) {
        for (const BtrKeySpec& spec : key.specs) {
            if (UsesAcsFlag(spec.flags)) return true;
        }
    }
    return false;
}

void FileDef::AddKey(int number, std::vector<BtrKeySpec> specs) {
    KeyInfo key;
    key.number = number;
    for (BtrKeySpec& spec : specs) {
        spec.uniqueCount = 0;
        spec.keyNumber = static_cast<int8_t>(number);
    }
    key.specs = std::move(specs);
    auto at = std::lower_bound(keys.begin(), keys.end(), number, [](const KeyInfo& k, int n) { return k.number < n; });
    keys.insert(at, std::move(key));
    Resolve();
}

void FileDef::RemoveKey(int number) {
    keys.erase(std::remove_if(keys.begin(), keys.end(), [number](const KeyInfo& k) { return k.number == number; }),
               keys.end());
    Resolve();
}

void FileDef::RenumberKey(int from, int to) {
    for (KeyInfo& key : keys) {
        if (key.number != from) continue;
        key.number = to;
        for (BtrKeySpec& spec : key.specs) spec.keyNumber = static_cast<int8_t>(to);
    }
    std::sort(keys.begin(), keys.end(), [](const KeyInfo& a, const KeyInfo& b) { return a.number < b.number; });
    Resolve();
}

std::unique_ptr<FileDef> FileDef::Copy() const {
    auto copy = std::make_unique<FileDef>();
    copy->spec = spec;
    copy->versionByte = versionByte;
    copy->acs = acs;
    copy->owner = owner;
    for (const KeyInfo& key : keys) copy->AddKey(key.number, key.specs);
    return copy;
}

void FileDef::Resolve() {
    slotOfNumber.fill(-1);
    for (size_t i = 0; i < keys.size(); ++i) {
        KeyInfo& key = keys[i];
        slotOfNumber[static_cast<size_t>(key.number)] = static_cast<int16_t>(i);
        key.def = KeyDef();
        key.length = 0;
        key.autoincrementSegment = -1;
        uint16_t first = key.specs.front().flags;
        key.duplicates = (first & btr::kKeyFlagDuplicates) != 0;
        key.modifiable = (first & btr::kKeyFlagModifiable) != 0;
        key.def.nullAll = (first & btr::kKeyFlagNullAll) != 0;
        key.def.nullAny = (first & btr::kKeyFlagNullAny) != 0;
        for (size_t s = 0; s < key.specs.size(); ++s) {
            const BtrKeySpec& spec = key.specs[s];
            SegmentDef segment;
            segment.offset = static_cast<uint16_t>(spec.position - 1);
            segment.length = static_cast<uint16_t>(spec.length);
            segment.flags = spec.flags;
            segment.type = EffectiveType(spec);
            segment.nullValue = spec.nullValue;
            segment.descending = (spec.flags & btr::kKeyFlagDescending) != 0;
            if (UsesAcsFlag(spec.flags)) {
                size_t index = NumberedAcs(spec.flags) ? spec.acsNumber : 0;
                if (index < acs.size()) segment.collation = acs[index].data() + 9;
            } else if ((spec.flags & btr::kKeyFlagNoCase) != 0) {
                segment.collation = CaseFoldMap();
            }
            if (segment.type == btr::kTypeAutoincrement) key.autoincrementSegment = static_cast<int>(s);
            key.length += segment.length;
            key.def.segments.push_back(segment);
        }
    }
}

int16_t ParseCreateBuffer(const uint8_t* data, uint32_t length, FileDef* out) {
    if (data == nullptr || length < sizeof(BtrFileSpec)) return btr::kStatusDataLengthError;
    BtrFileSpec spec;
    std::memcpy(&spec, data, sizeof spec);
    if (int16_t status = ValidateCreateSpec(spec); status != btr::kStatusSuccess) return status;

    CreateBuffer buffer{data, length, sizeof(BtrFileSpec)};
    KeyBlocks keys;
    if (int16_t status = ReadKeyBlocks(spec, &buffer, &keys); status != btr::kStatusSuccess) return status;
    if (PhysicalRecordLength(spec, keys) > spec.pageSize - kPageOverhead) return btr::kStatusInvalidRecordLength;
    std::vector<AcsBlock> acs;
    if (int16_t status = ReadCollatingSequences(keys, &buffer, &acs); status != btr::kStatusSuccess) return status;
    std::vector<int> numbers;
    if (int16_t status = ValidateAndNumberKeys(spec, keys, acs.size(), &numbers); status != btr::kStatusSuccess) {
        return status;
    }

    spec.recordCount = 0;
    spec.fileVersion = 0;
    spec.unused13 = 0;
    out->spec = spec;
    out->acs = std::move(acs);
    out->keys.clear();
    for (size_t k = 0; k < keys.size(); ++k) out->AddKey(numbers[k], std::move(keys[k]));
    out->spec.keyCount = static_cast<uint8_t>(out->keys.size());
    return btr::kStatusSuccess;
}

int16_t ValidateDefinition(const FileDef& def) {
    const BtrFileSpec& spec = def.spec;
    if (int16_t status = ValidateFileSpec(spec); status != btr::kStatusSuccess) return status;
    // The record must fit a page. Only the file's own costs count here: Create Index may have
    // added keys beyond what Create allows a new file, and such a file stays readable.
    if (PhysicalRecordLength(spec, {}) > spec.pageSize - kPageOverhead) return btr::kStatusInvalidRecordLength;
    if (def.SegmentCount() > MaxSegmentsForPageSize(spec.pageSize)) return btr::kStatusNumberOfKeys;
    // A key-only file keeps its records in its one key: without exactly one it holds nothing.
    if (def.KeyOnly() && def.keys.size() != 1) return btr::kStatusNumberOfKeys;
    for (const AcsBlock& block : def.acs) {
        if (int16_t status = ValidateAcsBlock(block.data()); status != btr::kStatusSuccess) return status;
    }
    for (const KeyInfo& key : def.keys) {
        if (int16_t status = ValidateKey(key.specs, spec.recordLength, spec.pageSize, def.acs.size());
            status != btr::kStatusSuccess) {
            return status;
        }
    }
    return btr::kStatusSuccess;
}

int16_t ParseIndexBuffer(const FileDef& file, const uint8_t* data, uint32_t length, std::vector<BtrKeySpec>* specs,
                         std::vector<AcsBlock>* newAcs) {
    if (data == nullptr) return btr::kStatusDataLengthError;
    // A key-only file is its one key: the records live in it.
    if (file.KeyOnly()) return btr::kStatusNumberOfKeys;
    int room = MaxSegmentsForPageSize(file.spec.pageSize) - file.SegmentCount();
    std::vector<BtrKeySpec> key;
    uint32_t offset = 0;
    for (;;) {
        if (offset > length || length - offset < sizeof(BtrKeySpec)) return btr::kStatusDataLengthError;
        key.push_back(ReadSpec(data + offset));
        offset += sizeof(BtrKeySpec);
        if (static_cast<int>(key.size()) > room) return btr::kStatusNumberOfKeys;
        if ((key.back().flags & btr::kKeyFlagSegmented) == 0) break;
    }
    if (file.keys.size() >= static_cast<size_t>(kMaxKeys)) return btr::kStatusNumberOfKeys;

    // A block after the segments either names a table the file has or defines a new one.
    bool hasBlock = length - offset >= static_cast<uint32_t>(btr::kAcsSize);
    const uint8_t* block = hasBlock ? data + offset : nullptr;
    size_t acsCount = file.acs.size();
    newAcs->clear();
    for (BtrKeySpec& segment : key) {
        if (!NumberedAcs(segment.flags)) continue;
        if (NamedAcs(segment.flags)) {
            if (block == nullptr) return btr::kStatusDataLengthError;
            size_t nameBytes = 9;
            size_t found = acsCount;
            for (size_t i = 0; i < file.acs.size(); ++i) {
                if (std::memcmp(file.acs[i].data(), block, nameBytes) == 0) found = i;
            }
            if (found == acsCount) return btr::kStatusInvalidAcs;
            segment.acsNumber = static_cast<uint8_t>(found);
        } else if (block != nullptr) {
            if (int16_t status = ValidateAcsBlock(block); status != btr::kStatusSuccess) return status;
            size_t found = acsCount;
            for (size_t i = 0; i < file.acs.size(); ++i) {
                if (std::memcmp(file.acs[i].data(), block, btr::kAcsSize) == 0) found = i;
            }
            if (found == acsCount && newAcs->empty()) {
                AcsBlock added;
                std::memcpy(added.data(), block, btr::kAcsSize);
                newAcs->push_back(added);
            }
            segment.acsNumber = static_cast<uint8_t>(found);
        }
    }
    if (int16_t status = ValidateKey(key, file.spec.recordLength, file.spec.pageSize, acsCount + newAcs->size());
        status != btr::kStatusSuccess) {
        return status;
    }
    *specs = std::move(key);
    return btr::kStatusSuccess;
}

}  // namespace w3b
