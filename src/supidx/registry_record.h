// registry_record.h: the index registry file "tysupidx.db", byte for byte.
//
// One registry per data directory, shared by every workstation that works there, so its
// creation parameters and its 34-byte record are fixed here and nowhere else. All integers
// are little-endian.
#ifndef TYDB_SUPIDX_REGISTRY_RECORD_H
#define TYDB_SUPIDX_REGISTRY_RECORD_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "btrcall.h"
#include "tydb.h"

namespace tydb {

inline constexpr const char* kRegistryFileName = "tysupidx.db";
// Longest path (terminator included) the registry and the log may have: a path the library
// opens and creates files by.
inline constexpr int kRegistryPathSize = TYDB_MAX_PATH_LENGTH + 1;
inline constexpr int kRegistryNameSize = 16;
// Characters of a data file's name that the registry keeps; the rest of the field stays zero.
inline constexpr int kRegistryNameLength = kRegistryNameSize - 1;

#pragma pack(push, 1)
struct RegistryRecord {
    // Name and extension of the data file, without directory.
    char DataFileName[kRegistryNameSize];
    // Number of the supplemental key in that data file.
    uint16_t KeyNumber;
    // Key segments of that key: the room a purge gives back.
    uint16_t SegmentCount;
    // Current users; never taken below 0.
    uint16_t ActiveReferences;
    // Activations and builds since the entry was created.
    int32_t TotalReferences;
    // Local date of the last use as the number YYYYMMDD.
    int32_t LastUseDate;
    // Local time of the last use as the number HHMMSS.
    int32_t LastUseTime;
};
#pragma pack(pop)

static_assert(sizeof(RegistryRecord) == 34, "registry record is 34 bytes");
static_assert(offsetof(RegistryRecord, KeyNumber) == 16, "registry record layout");
static_assert(offsetof(RegistryRecord, SegmentCount) == 18, "registry record layout");
static_assert(offsetof(RegistryRecord, ActiveReferences) == 20, "registry record layout");
static_assert(offsetof(RegistryRecord, TotalReferences) == 22, "registry record layout");
static_assert(offsetof(RegistryRecord, LastUseDate) == 26, "registry record layout");
static_assert(offsetof(RegistryRecord, LastUseTime) == 30, "registry record layout");

inline constexpr int16_t kRegistryRecordLength = static_cast<int16_t>(sizeof(RegistryRecord));
inline constexpr int16_t kRegistryPageSize = 4096;
inline constexpr uint8_t kRegistryKeyCount = 2;
inline constexpr int kRegistrySegmentCount = 7;
// Key 0: (DataFileName, KeyNumber), unique; key 1: (DataFileName, ActiveReferences,
// TotalReferences, LastUseDate, LastUseTime), duplicates, modifiable.
inline constexpr int kRegistryKey0Length = 18;
inline constexpr int kRegistryKey1Length = 30;

// The file specification the registry is created with.
inline BtrFileSpec RegistryFileSpec() {
    BtrFileSpec spec = {};
    spec.recordLength = kRegistryRecordLength;
    spec.pageSize = kRegistryPageSize;
    spec.keyCount = kRegistryKeyCount;
    return spec;
}

// The seven key-segment specifications of the registry, in key order. Every segment is a plain
// byte string, so numbers compare by their lowest byte first.
inline void RegistryKeySpecs(BtrKeySpec out[kRegistrySegmentCount]) {
    constexpr uint16_t kKey1Flags = btr::kKeyFlagDuplicates | btr::kKeyFlagModifiable;
    struct Segment {
        int16_t position;
        int16_t length;
        uint16_t flags;
    };
    constexpr Segment kSegments[kRegistrySegmentCount] = {
        {1, 16, btr::kKeyFlagSegmented},
        {17, 2, 0},
        {1, 16, kKey1Flags | btr::kKeyFlagSegmented},
        {21, 2, kKey1Flags | btr::kKeyFlagSegmented},
        {23, 4, kKey1Flags | btr::kKeyFlagSegmented},
        {27, 4, kKey1Flags | btr::kKeyFlagSegmented},
        {31, 4, kKey1Flags},
    };
    for (int i = 0; i < kRegistrySegmentCount; ++i) {
        out[i] = BtrKeySpec{};
        out[i].position = kSegments[i].position;
        out[i].length = kSegments[i].length;
        out[i].flags = kSegments[i].flags;
    }
}

// `directory`, a backslash and `name` into `out`; `name` alone when the directory is empty (a
// data file opened by a bare name), which is the process's current folder, as for the data
// file itself. False (out empty) when the path and its terminator would not fit
// kRegistryPathSize: such a registry or log cannot be opened.
inline bool DirectoryFilePath(const char* directory, const char* name, char (&out)[kRegistryPathSize]) {
    out[0] = '\0';
    if (directory == nullptr || name == nullptr) return false;
    const size_t directoryLength = std::strlen(directory);
    const size_t separatorLength = directoryLength > 0 ? 1 : 0;
    const size_t nameLength = std::strlen(name);
    if (directoryLength + separatorLength + nameLength + 1 > static_cast<size_t>(kRegistryPathSize)) return false;
    std::memcpy(out, directory, directoryLength);
    if (separatorLength > 0) out[directoryLength] = '\\';
    std::memcpy(out + directoryLength + separatorLength, name, nameLength + 1);
    return true;
}

}  // namespace tydb

#endif  // TYDB_SUPIDX_REGISTRY_RECORD_H
