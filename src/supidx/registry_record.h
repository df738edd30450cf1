// registry_record.h: how the library makes and names the index registry "tysupidx.db", whose
// record and keys include/tydb_files.h fixes for every workstation and tool.
#ifndef TYDB_SUPIDX_REGISTRY_RECORD_H
#define TYDB_SUPIDX_REGISTRY_RECORD_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "btrcall.h"
#include "tydb.h"
#include "tydb_files.h"

namespace tydb {

inline constexpr const char* kRegistryFileName = TYDB_REGISTRY_FILE_NAME;
// Longest path (terminator included) the registry and the log may have: a path the library
// opens and creates files by.
inline constexpr int kRegistryPathSize = TYDB_MAX_PATH_LENGTH + 1;
inline constexpr int kRegistryNameSize = TYDB_REGISTRY_NAME_SIZE;
// Characters of a data file's name that the registry keeps; the rest of the field stays zero.
inline constexpr int kRegistryNameLength = kRegistryNameSize - 1;

using RegistryRecord = TydbRegistryRecord;
static_assert(offsetof(RegistryRecord, KeyNumber) == 16, "registry record layout");
static_assert(offsetof(RegistryRecord, ActiveReferences) == 20, "registry record layout");
static_assert(offsetof(RegistryRecord, LastUseDate) == 26, "registry record layout");

inline constexpr int16_t kRegistryRecordLength = static_cast<int16_t>(sizeof(RegistryRecord));
inline constexpr int16_t kRegistryPageSize = TYDB_REGISTRY_PAGE_SIZE;
inline constexpr uint8_t kRegistryKeyCount = 2;
inline constexpr int kRegistrySegmentCount = 7;
// Key 0: (DataFileName, KeyNumber), unique; key 1: (DataFileName, ActiveReferences,
// TotalReferences, LastUseDate, LastUseTime), duplicates, modifiable.
inline constexpr int kRegistryKey0Length = TYDB_REGISTRY_KEY0_LENGTH;
inline constexpr int kRegistryKey1Length = TYDB_REGISTRY_KEY1_LENGTH;

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

// The path of side file `name` for the directory string `directory` (TydbSideFilePath); false
// (out empty) when it does not fit kRegistryPathSize: such a registry or log cannot be opened.
inline bool DirectoryFilePath(const char* directory, const char* name, char (&out)[kRegistryPathSize]) {
    return TydbSideFilePath(directory, name, out, sizeof out) != 0;
}

}  // namespace tydb

#endif  // TYDB_SUPIDX_REGISTRY_RECORD_H
