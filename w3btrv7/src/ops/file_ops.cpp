// Open, Close, Create, Stat, Version, Stop and Reset.
#include <algorithm>
#include <cstring>

#include "ops/call.h"
#include "platform.h"
#include "settings.h"
#include "store/store.h"

namespace w3b {

namespace {

// Open modes may carry later sharing hints (-32, -64) that change nothing here.
bool NormaliseOpenMode(int8_t keyNumber, int8_t* mode) {
    int value = keyNumber;
    if (value <= -64) value += 64;
    if (value <= -32) value += 32;
    if (value > 0 || value < btr::kOpenExclusive) return false;
    *mode = static_cast<int8_t>(value);
    return true;
}

struct VersionBlock {
    uint16_t version;
    uint16_t revision;
    char type;
};

constexpr VersionBlock kVersionBlocks[] = {{7, 0, 'N'}, {7, 0, 'W'}, {0, 0, 0}};
constexpr uint32_t kVersionBlockSize = 5;

}  // namespace

int16_t DoOpen(Call& call) {
    if (call.positionBlock == nullptr) return btr::kStatusFileNotOpen;
    int8_t mode;
    if (!NormaliseOpenMode(call.keyNumber, &mode)) return btr::kStatusInvalidOperation;
    std::string path;
    if (int16_t status = PathFromKeyBuffer(call, &path); status != btr::kStatusSuccess) return status;
    return Engine::Get().Open(path, mode, OwnerNameOfOpen(call), call.positionBlock);
}

int16_t DoClose(Call& call, OpenInstance& open) {
    Engine::Get().Close(&open, call.positionBlock);
    return btr::kStatusSuccess;
}

int16_t DoCreate(Call& call) {
    int8_t mode = call.keyNumber;
    if (mode > 0 || mode < btr::kCreateNoOverwriteNoTts) return btr::kStatusInvalidOperation;
    std::string path;
    if (int16_t status = PathFromKeyBuffer(call, &path); status != btr::kStatusSuccess) return status;
    FileDef def;
    if (int16_t status = ParseCreateBuffer(call.data, call.DataCapacity(), &def); status != btr::kStatusSuccess) {
        return status;
    }
    def.versionByte = FileVersionSetting();
    bool replace = mode == btr::kCreateOverwrite || mode == btr::kCreateOverwriteNoTts;
    DataFileLocation where;
    if (int16_t status = LocateDataFile(path, &where); status != btr::kStatusSuccess) return status;
    if (!replace) {
        bool exists = false;
        if (int16_t status = DataFileExists(path, where, &exists); status != btr::kStatusSuccess) return status;
        if (exists) return btr::kStatusFileAlreadyExists;
    }
    if (Engine::Get().IsOpenHere(where)) return btr::kStatusFileInUse;
    return CreateDataFile(path, where, def, replace ? IfExists::kReplace : IfExists::kRefuse);
}

int16_t DoStat(Call& call, OpenInstance& open) {
    FileConnection& file = *open.file;
    const FileDef& def = file.Def();
    uint32_t keyBytes = static_cast<uint32_t>(sizeof(BtrFileSpec) + sizeof(BtrKeySpec) * def.SegmentCount());
    uint32_t capacity = call.DataCapacity();
    if (capacity < keyBytes) return btr::kStatusDataLengthError;

    int64_t records = 0;
    if (int16_t status = file.CountRecords(&records); status != btr::kStatusSuccess) return status;
    std::vector<uint32_t> unique;
    for (const KeyInfo& key : def.keys) {
        int64_t count = 0;
        if (int16_t status = file.CountDistinct(key, &count); status != btr::kStatusSuccess) return status;
        unique.push_back(static_cast<uint32_t>(count));
    }

    BtrFileSpec spec = def.spec;
    spec.keyCount = static_cast<uint8_t>(def.keys.size());
    spec.fileVersion = call.keyNumber == btr::kKeyNumberPhysical ? def.versionByte : 0;
    spec.recordCount = static_cast<uint32_t>(records);
    spec.unused13 = 0;
    spec.allocation = 0;
    uint8_t* out = call.data;
    std::memcpy(out, &spec, sizeof spec);
    out += sizeof spec;
    for (size_t k = 0; k < def.keys.size(); ++k) {
        for (BtrKeySpec segment : def.keys[k].specs) {
            segment.uniqueCount = unique[k];
            std::memcpy(out, &segment, sizeof segment);
            out += sizeof segment;
        }
    }
    // Collating sequences follow when a key uses one, as many whole tables as fit.
    uint32_t written = keyBytes;
    if (def.UsesAcs()) {
        for (const AcsBlock& acs : def.acs) {
            if (capacity - written < acs.size()) break;
            std::memcpy(out, acs.data(), acs.size());
            out += acs.size();
            written += static_cast<uint32_t>(acs.size());
        }
    }
    if (call.key != nullptr && call.keyLength >= 1) call.key[0] = 0;
    call.SetDataLength(written);
    return btr::kStatusSuccess;
}

int16_t DoVersion(Call& call) {
    uint32_t capacity = call.DataCapacity();
    if (capacity < kVersionBlockSize) return btr::kStatusDataLengthError;
    uint32_t blocks = std::min<uint32_t>(capacity / kVersionBlockSize, 3);
    for (uint32_t i = 0; i < blocks; ++i) {
        uint8_t* at = call.data + i * kVersionBlockSize;
        std::memcpy(at, &kVersionBlocks[i].version, 2);
        std::memcpy(at + 2, &kVersionBlocks[i].revision, 2);
        at[4] = static_cast<uint8_t>(kVersionBlocks[i].type);
    }
    call.SetDataLength(blocks * kVersionBlockSize);
    return btr::kStatusSuccess;
}

int16_t DoStop(Call&) {
    Engine::Get().CloseAll();
    return btr::kStatusSuccess;
}

int16_t DoReset(Call& call) {
    // Only the caller's own resources can be reset: other clients live in other processes.
    if (call.keyNumber != 0) return btr::kStatusInvalidOperation;
    Engine::Get().CloseAll();
    return btr::kStatusSuccess;
}

}  // namespace w3b
