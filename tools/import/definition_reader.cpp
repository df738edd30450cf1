// definition_reader.cpp: file specification, keys and collating sequences from the current
// control record, each count and offset checked against the page before it is used.
#include "definition_reader.h"

#include <algorithm>
#include <cstring>

#include "datafile_error.h"

namespace dfimport {
namespace {

constexpr uint16_t kFlagVariable = 0x0001;
constexpr uint16_t kFlagTruncation = 0x0002;
constexpr uint16_t kFlagCompression = 0x0008;
constexpr uint16_t kFlagKeyOnly = 0x0010;
constexpr uint16_t kFlagDuplicatePointers = 0x0100;
constexpr uint16_t kFlagSystemData = 0x0200;
constexpr uint16_t kFlagKeyNumbers = 0x0400;
constexpr uint16_t kFlagVats = 0x0800;
constexpr uint16_t kKeyDuplicates = 0x0001;
constexpr uint16_t kKeySegmented = 0x0010;
constexpr uint16_t kKeyAcs = 0x0020;
constexpr uint16_t kKeyRepeatingDuplicates = 0x0080;
constexpr uint8_t kMarkerTruncation = 0xFD;
constexpr uint8_t kAcceleratedOpen = 0x40;
constexpr uint32_t kSpecSize = sizeof(SegmentBlock);
constexpr uint32_t kDupPairSize = 8;
constexpr uint32_t kTailPointerSize = 4;

void RefuseKinds(const PageReader& pages, uint16_t flags) {
    struct Kind {
        uint16_t flag;
        const char* what;
    };
    static const Kind kRefused[] = {
        {kFlagCompression, "a compressed file: its records cannot be read without the record manager"},
        {kFlagKeyOnly, "a key-only file: its records live in the index, which this reader does not read"},
        {kFlagSystemData, "a file with system data, a later family's feature"},
        {kFlagVats, "a file with variable-tail allocation tables, whose layout is not known"},
        {kFlagTruncation, "a file with blank truncation, which this reader does not restore yet"},
    };
    for (const Kind& kind : kRefused) {
        if ((flags & kind.flag) != 0) FailAt(pages.Name(0), offsetof(FcrBlock, fileFlags), kind.what);
    }
    const uint8_t marker = pages.fcr().variableMarker;
    if (marker == kMarkerTruncation) FailAt(pages.Name(0), offsetof(FcrBlock, variableMarker), kRefused[4].what);
    if ((marker != 0) != ((flags & kFlagVariable) != 0)) {
        FailAt(pages.Name(0), offsetof(FcrBlock, variableMarker),
               "the variable-record marker and the file flags disagree");
    }
}

SegmentBlock SpecAt(const PageReader& pages, uint32_t offset) {
    if (offset < kFcrSpecsOffset || offset + kSpecSize > pages.pageSize()) {
        FailAt(pages.Name(0), offset, "a key segment specification outside the control record's page");
    }
    SegmentBlock block;
    std::memcpy(&block, pages.fcrPage().data() + offset, sizeof block);
    return block;
}

// The segments of one key, starting at `offset`; `budget` bounds the segments of all keys.
Key ReadKey(const PageReader& pages, const Definition& def, uint32_t offset, uint32_t* budget) {
    Key key;
    for (;;) {
        if (*budget == 0) FailAt(pages.Name(0), offset, "more key segments than the control record has room for");
        --*budget;
        const SegmentBlock block = SpecAt(pages, offset);
        if (key.segments.empty()) {
            key.uniqueCount = Ws32(block.uniqueCount);
            key.number = block.keyNumber & 0x7F;
        }
        Segment segment;
        const uint32_t position = Le16(block.position);
        segment.length = Le16(block.length);
        segment.flags = Le16(block.flags);
        segment.type = block.extendedType;
        segment.nullValue = block.nullValue;
        if (position < pages.slotPrefix() || segment.length == 0 ||
            position - pages.slotPrefix() + segment.length > def.recordLength) {
            FailAt(pages.Name(0), offset + offsetof(SegmentBlock, position),
                   "a key segment at " + std::to_string(position) + ", " + std::to_string(segment.length) +
                       " bytes long, lies outside the " + std::to_string(def.recordLength) + "-byte record");
        }
        segment.offset = static_cast<uint16_t>(position - pages.slotPrefix());
        if ((segment.flags & kKeyAcs) != 0) {
            segment.acs = static_cast<int>(block.acsPage[0] << 16 | block.acsPage[2] << 8 | block.acsPage[1]);
        }
        key.segments.push_back(segment);
        if ((segment.flags & kKeySegmented) == 0) return key;
        offset += kSpecSize;
    }
}

void ReadKeys(const PageReader& pages, Definition* def) {
    const FcrBlock& fcr = pages.fcr();
    const uint32_t keyCount = Le16(fcr.keyCount);
    uint32_t budget = (pages.pageSize() - kFcrSpecsOffset) / kSpecSize;
    if (keyCount > budget) FailAt(pages.Name(0), offsetof(FcrBlock, keyCount), "more keys than the page can describe");
    uint32_t offset = kFcrSpecsOffset;
    const uint32_t kat = Le16(fcr.katOffset);
    if (pages.family() == Family::kV6) {
        if (fcr.keyCount6 != keyCount)
            FailAt(pages.Name(0), offsetof(FcrBlock, keyCount6), "the two key counts disagree");
        if (keyCount > 0 && (kat < kFcrSpecsOffset || kat + 2 * keyCount > pages.pageSize())) {
            FailAt(pages.Name(0), offsetof(FcrBlock, katOffset), "the key attribute table lies outside the page");
        }
    }
    uint32_t segments = 0;
    for (uint32_t k = 0; k < keyCount; ++k) {
        if (pages.family() == Family::kV6) offset = Le16(pages.fcrPage().data() + kat + 2 * k);
        Key key = ReadKey(pages, *def, offset, &budget);
        if ((def->fileFlags & kFlagKeyNumbers) == 0 || pages.family() == Family::kV5) key.number = static_cast<int>(k);
        offset += kSpecSize * static_cast<uint32_t>(key.segments.size());
        segments += static_cast<uint32_t>(key.segments.size());
        def->keys.push_back(std::move(key));
    }
    if (pages.family() == Family::kV6 && segments != fcr.segmentCount) {
        FailAt(pages.Name(0), offsetof(FcrBlock, segmentCount),
               "the control record counts " + std::to_string(fcr.segmentCount) + " key segments, its keys have " +
                   std::to_string(segments));
    }
}

Acs ReadAcs(const PageReader& pages, uint32_t page) {
    const PageBytes bytes = pages.Page(page, kPageAcs);
    const auto* acs = reinterpret_cast<const AcsPage*>(bytes.data());
    if (acs->signature != kAcsSignature) {
        FailAt(pages.Name(page), offsetof(AcsPage, signature), "not an alternate collating sequence");
    }
    Acs out;
    out.page = page;
    out.name.assign(reinterpret_cast<const char*>(acs->name), sizeof acs->name);
    out.block.assign(&acs->signature, &acs->signature + 1 + sizeof acs->name + sizeof acs->table);
    return out;
}

// Every collating sequence of the file, in page order, and each segment's index among them.
void ReadCollatingSequences(const PageReader& pages, Definition* def) {
    std::vector<uint32_t> acsPages;
    if (pages.family() == Family::kV6) {
        for (uint32_t l = 1; l < pages.pageCount(); ++l) {
            if (pages.TypeOf(l) == kPageAcs) acsPages.push_back(l);
        }
    }
    for (Key& key : def->keys) {
        for (Segment& segment : key.segments) {
            if (segment.acs < 0) continue;
            // 5.x files keep their one sequence on page 1.
            const uint32_t page = pages.family() == Family::kV5 ? 1 : static_cast<uint32_t>(segment.acs);
            if (pages.family() == Family::kV5 && acsPages.empty()) acsPages.push_back(1);
            const auto found = std::find(acsPages.begin(), acsPages.end(), page);
            if (found == acsPages.end()) {
                Fail("key " + std::to_string(key.number) + " uses a collating sequence on " + LogicalName(page) +
                     ", which the allocation table does not list as one");
            }
            segment.acs = static_cast<int>(found - acsPages.begin());
        }
    }
    for (uint32_t page : acsPages) def->acs.push_back(ReadAcs(pages, page));
}

// The slot must be exactly what the definition needs, or the record's parts are not where
// this reader would look for them.
void CheckSlotLength(const PageReader& pages, Definition* def) {
    uint32_t linkedDuplicateKeys = 0;
    for (const Key& key : def->keys) {
        const uint16_t flags = key.segments.front().flags;
        if ((flags & kKeyDuplicates) != 0 && (flags & kKeyRepeatingDuplicates) == 0) ++linkedDuplicateKeys;
    }
    const uint32_t pairs = pages.family() == Family::kV6 ? pages.fcr().dupPairs : linkedDuplicateKeys;
    if (pairs >= linkedDuplicateKeys && (def->fileFlags & kFlagDuplicatePointers) != 0) {
        def->duplicatePointers = static_cast<uint8_t>(pairs - linkedDuplicateKeys);
    }
    const uint32_t expected =
        pages.slotPrefix() + def->recordLength + (def->variable ? kTailPointerSize : 0) + kDupPairSize * pairs;
    if (def->slotLength != expected || def->slotLength > pages.pageSize() - sizeof(PageHeader)) {
        FailAt(pages.Name(0), offsetof(FcrBlock, slotLength),
               "a physical record of " + std::to_string(def->slotLength) + " bytes where the definition makes " +
                   std::to_string(expected) + " in pages of " + std::to_string(pages.pageSize()));
    }
}

}  // namespace

Definition ReadDefinition(const PageReader& pages) {
    const FcrBlock& fcr = pages.fcr();
    Definition def;
    def.format = pages.family() == Family::kV5 ? "5.x, format level " + std::to_string(pages.version())
                                               : (pages.version() == kVersion60 ? "6.0" : "6.1");
    def.pageSize = pages.pageSize();
    def.recordLength = Le16(fcr.recordLength);
    def.slotLength = Le16(fcr.slotLength);
    def.fileFlags = Le16(fcr.fileFlags);
    def.variable = (def.fileFlags & kFlagVariable) != 0;
    def.recordCount = Ws32(fcr.recordCount);
    RefuseKinds(pages, def.fileFlags);
    if (def.recordLength == 0) FailAt(pages.Name(0), offsetof(FcrBlock, recordLength), "a record length of 0");
    ReadKeys(pages, &def);
    ReadCollatingSequences(pages, &def);
    CheckSlotLength(pages, &def);
    if (pages.family() == Family::kV5) {
        if (fcr.accelerated[1] == kAcceleratedOpen) {
            def.warnings.push_back(
                "the file was opened in accelerated mode and never closed: its indexes may be "
                "stale (the records are read from the data pages)");
        }
        if (Le16(fcr.inconsistent) == 0xFFFF) def.warnings.push_back("the file is marked as needing recovery");
    }
    return def;
}

}  // namespace dfimport
