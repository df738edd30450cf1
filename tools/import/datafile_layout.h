// datafile_layout.h: the on-disk layout of the original record manager's data files (the 5.x
// and 6.x page formats), written once. Every field is a byte array, so a block can be copied
// out of any page at any offset; the decoders below turn the format's integer encodings into
// numbers. Nothing here checks a value: the readers do, against the file and page size.
#ifndef TYDB_IMPORT_DATAFILE_LAYOUT_H
#define TYDB_IMPORT_DATAFILE_LAYOUT_H

#include <cstddef>
#include <cstdint>

namespace dfimport {

// Little-endian 16 and 32 bits.
inline uint16_t Le16(const uint8_t* b) { return static_cast<uint16_t>(b[0] | b[1] << 8); }
inline uint32_t Le32(const uint8_t* b) { return Le16(b) | static_cast<uint32_t>(Le16(b + 2)) << 16; }
// 32 bits as two little-endian words, the high word first: counts and record addresses.
inline uint32_t Ws32(const uint8_t* b) { return static_cast<uint32_t>(Le16(b)) << 16 | Le16(b + 2); }

// A page pointer of the page allocation table and of 6.x page headers: [hi][type][lo][mid].
struct PagePointer {
    uint32_t page;
    uint8_t type;
};
inline PagePointer Pp4(const uint8_t* b) {
    return {static_cast<uint32_t>(b[0]) << 16 | static_cast<uint32_t>(b[3]) << 8 | b[2], b[1]};
}

// A variable-tail pointer: [hi][lo][mid][fragment]; fragment 0xFF ends the chain.
struct TailPointer {
    uint32_t page;
    uint8_t fragment;
};
inline TailPointer Vp4(const uint8_t* b) {
    return {static_cast<uint32_t>(b[0]) << 16 | static_cast<uint32_t>(b[2]) << 8 | b[1], b[3]};
}
inline constexpr uint8_t kEndOfChain = 0xFF;
inline constexpr uint32_t kNoAddress = 0xFFFFFFFFu;

// Page types of the allocation table and of 6.x page headers.
inline constexpr uint8_t kPageFree = 0x00;
inline constexpr uint8_t kPageAcs = 0x41;       // 'A'
inline constexpr uint8_t kPageData = 0x44;      // 'D'
inline constexpr uint8_t kPageVariable = 0x56;  // 'V'

// Bit 15 of a page's usage word marks a data page.
inline constexpr uint16_t kDataPageBit = 0x8000;
// Bit 15 of a 5.x fragment-table entry: the fragment starts with the pointer to the next one.
inline constexpr uint16_t kFragmentContinues = 0x8000;
inline constexpr uint16_t kUnusedFragment = 0xFFFF;

inline constexpr uint32_t kMinPageSize = 512;
inline constexpr uint32_t kMaxPageSize = 4096;
inline constexpr uint16_t kVersion60 = 0x0600;
inline constexpr uint16_t kVersion61 = 0x0610;
inline constexpr uint16_t kVersion70 = 0x0700;
inline constexpr uint8_t kAcsSignature = 0xAC;

#pragma pack(push, 1)

// The file control record: page 0 (5.x) or pages 0 and 1, two copies (6.x).
struct FcrBlock {
    uint8_t signature[4];  // 5.x: 00 00 00 00; 6.x: "FC" 00 00
    uint8_t usage[4];      // 6.x: u32 usage count, the larger copy is current; 5.x: byte 3 = format level
    uint8_t pageSize[2];
    uint8_t accelerated[2];  // 5.x: byte 1 = 0x40 after an accelerated open that was never closed
    uint8_t unknown0C[4];
    uint8_t deletedHead[4];  // 5.x: ws32 file offset of the first deleted slot
    uint8_t keyCount[2];
    uint8_t recordLength[2];  // the fixed part
    uint8_t slotLength[2];    // the physical record
    uint8_t recordCount[4];   // ws32
    uint8_t lastDataPage[4];  // 5.x: ws32 page whose slots are filled only in part
    uint8_t inconsistent[2];  // 5.x: 0xFFFF when the file needs recovery
    uint8_t unknown24[2];
    uint8_t pageCount[4];     // ws32: 5.x physical pages, 6.x logical pages
    uint8_t lastPageFree[2];  // 5.x: free bytes of the last data page
    uint8_t unknown2C[12];
    uint8_t variableMarker;  // 0 fixed, 0xFF variable, 0xFD variable with blank truncation
    uint8_t unknown39;
    uint8_t lastVariablePage[2];
    uint8_t acsName[8];
    uint8_t unknown44[6];
    uint8_t version[2];  // 6.x: 0x0600, 0x0610, later families higher
    uint8_t unknown4C[38];
    uint8_t dupOffset[2];  // 6.x: where the duplicate pointers start in the slot
    uint8_t dupPairs;      // 6.x: 8-byte duplicate-pointer pairs per slot
    uint8_t unknown75;
    uint8_t keyCount6;     // 6.x: the key count again
    uint8_t segmentCount;  // 6.x: segments of all keys
    uint8_t katOffset[2];  // 6.x: key attribute table, offset inside the page
    uint8_t unknown7A[34];
    uint8_t freeSlotHead[4];
    uint8_t unknownA0[102];
    uint8_t fileFlags[2];
    uint8_t freeThreshold[2];
    uint8_t unknown10A[6];
};

// A key segment specification inside the file control record.
struct SegmentBlock {
    uint8_t rootPage[4];
    uint8_t uniqueCount[4];
    uint8_t flags[2];
    uint8_t keyLength[2];
    uint8_t entryLength[2];
    uint8_t maxEntries[2];
    uint8_t minEntries[2];
    uint8_t dupOffset[2];
    uint8_t position[2];  // 0-based offset in the slot (6.x: after the 2-byte usage count)
    uint8_t length[2];
    uint8_t keyNumber;   // 6.x: 0x80 + key number on a key's first segment
    uint8_t acsPage[3];  // 6.x: logical page of the segment's ACS, [hi][lo][mid]
    uint8_t extendedType;
    uint8_t nullValue;
};

// The first bytes of data, index and variable pages.
struct PageHeader {
    uint8_t own[4];  // 5.x: ws32 own page number; 6.x: pp4 of type and logical number
    uint8_t usage[2];
};

struct VariablePageHeader {
    PageHeader header;
    uint8_t unknown6[4];
    uint8_t fragmentCount[2];  // entries of the fragment table at the end of the page, less one
};

// 6.x page allocation table page: "PP", pair number, usage count, then the entries.
struct PatHeader {
    uint8_t signature[2];
    uint8_t pairNumber[2];
    uint8_t usage[4];
};

struct AcsPage {
    PageHeader header;
    uint8_t signature;  // 0xAC
    uint8_t name[8];
    uint8_t table[256];
};

#pragma pack(pop)

static_assert(sizeof(FcrBlock) == 0x110, "file control record fields end where the key specs start");
static_assert(offsetof(FcrBlock, pageSize) == 0x08 && offsetof(FcrBlock, keyCount) == 0x14, "FCR layout");
static_assert(offsetof(FcrBlock, recordCount) == 0x1A && offsetof(FcrBlock, pageCount) == 0x26, "FCR layout");
static_assert(offsetof(FcrBlock, variableMarker) == 0x38 && offsetof(FcrBlock, acsName) == 0x3C, "FCR layout");
static_assert(offsetof(FcrBlock, version) == 0x4A && offsetof(FcrBlock, dupOffset) == 0x72, "FCR layout");
static_assert(offsetof(FcrBlock, katOffset) == 0x78 && offsetof(FcrBlock, freeSlotHead) == 0x9C, "FCR layout");
static_assert(offsetof(FcrBlock, fileFlags) == 0x106 && offsetof(FcrBlock, freeThreshold) == 0x108, "FCR layout");
static_assert(sizeof(SegmentBlock) == 30, "segment spec is 30 bytes");
static_assert(offsetof(SegmentBlock, flags) == 0x08 && offsetof(SegmentBlock, position) == 0x14, "segment layout");
static_assert(offsetof(SegmentBlock, keyNumber) == 0x18 && offsetof(SegmentBlock, acsPage) == 0x19, "segment layout");
static_assert(offsetof(SegmentBlock, extendedType) == 0x1C, "segment layout");
static_assert(sizeof(PageHeader) == 6, "data records start at byte 6");
static_assert(sizeof(VariablePageHeader) == 12, "fragments start at byte 12");
static_assert(sizeof(PatHeader) == 8, "allocation entries start at byte 8");
static_assert(sizeof(AcsPage) == 271 && offsetof(AcsPage, signature) == 6, "ACS page layout");

inline constexpr uint32_t kFcrSpecsOffset = sizeof(FcrBlock);

}  // namespace dfimport

#endif  // TYDB_IMPORT_DATAFILE_LAYOUT_H
