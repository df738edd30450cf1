// page_reader.cpp: format detection, the current control record, the allocation table and
// page reads with their header checks.
#include "page_reader.h"

#include <cstdio>
#include <cstring>

#include "datafile_error.h"

namespace dfimport {
namespace {

constexpr uint32_t kFirstPatPage = 2;   // 6.x: pages 0 and 1 are the two control-record copies
constexpr uint32_t kFirstDataPage = 4;  // 6.x: after both copies of the first allocation pair
constexpr uint32_t kPatEntriesAt = sizeof(PatHeader);
constexpr uint32_t kPatEntrySize = 4;

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*x", digits, value);
    return text;
}

[[noreturn]] void RefuseLaterFamily(uint32_t page, uint16_t version) {
    FailAt(PageName(page), offsetof(FcrBlock, version),
           "a file of the record manager's " + std::to_string(version >> 8) + ".x family (version word " +
               Hex(version, 4) + "); only 5.x and 6.x files can be imported");
}

FcrBlock BlockOf(const PageBytes& page) {
    FcrBlock block;
    std::memcpy(&block, page.data(), sizeof block);
    return block;
}

// A 6.x copy the engine made at creation and never wrote since: "FC", the page size, zeros.
bool NeverWritten(const PageBytes& page) {
    for (size_t i = offsetof(FcrBlock, accelerated); i < page.size(); ++i) {
        if (page[i] != 0) return false;
    }
    return Le32(page.data() + offsetof(FcrBlock, usage)) == 0;
}

}  // namespace

PageReader::PageReader(const ByteSource& source) : source_(source) {
    DetectFamily();
    if (family_ == Family::kV5) {
        fcr_ = Physical(0);
        fcrBlock_ = BlockOf(fcr_);
        pageCount_ = Ws32(fcrBlock_.pageCount);
        if (pageCount_ == 0 || pageCount_ > physicalPages_) {
            FailAt(PageName(0), offsetof(FcrBlock, pageCount),
                   "the file control record counts " + std::to_string(pageCount_) + " pages, the file holds " +
                       std::to_string(physicalPages_) + " (truncated or damaged)");
        }
        return;
    }
    ChooseFcr();
    LoadAllocationTable();
}

void PageReader::DetectFamily() {
    const uint64_t size = source_.Size();
    uint8_t head[sizeof(FcrBlock)];
    if (size < kMinPageSize || !source_.Read(0, sizeof head, head)) {
        Fail("a file of " + std::to_string(size) +
             " bytes, shorter than one page: not a data file of the original "
             "record manager");
    }
    const FcrBlock& block = *reinterpret_cast<const FcrBlock*>(head);
    static const uint8_t kV6Signature[4] = {'F', 'C', 0, 0};
    static const uint8_t kV5Signature[4] = {0, 0, 0, 0};
    if (std::memcmp(block.signature, kV6Signature, 4) == 0) {
        family_ = Family::kV6;
        // Later families keep the signature but store the page size elsewhere: look first.
        const uint16_t version = Le16(block.version);
        if (version >= kVersion70) RefuseLaterFamily(0, version);
    } else if (std::memcmp(block.signature, kV5Signature, 4) == 0 && block.usage[2] == 0 && block.usage[3] >= 3 &&
               block.usage[3] <= 5) {
        family_ = Family::kV5;
        version_ = block.usage[3];
    } else {
        FailAt(PageName(0), 0,
               "not a data file of the original record manager (it starts " + Hex(Ws32(head), 8) + ", format byte " +
                   std::to_string(block.usage[3]) + ")");
    }
    pageSize_ = Le16(block.pageSize);
    if (pageSize_ < kMinPageSize || pageSize_ > kMaxPageSize || pageSize_ % kMinPageSize != 0) {
        FailAt(PageName(0), offsetof(FcrBlock, pageSize),
               "page size " + std::to_string(pageSize_) + " is not one of 512 to 4096 in steps of 512");
    }
    if (size % pageSize_ != 0) {
        Fail("the file's " + std::to_string(size) + " bytes are not a whole number of " + std::to_string(pageSize_) +
             "-byte pages (truncated or damaged)");
    }
    physicalPages_ = static_cast<uint32_t>(size / pageSize_);
}

PageBytes PageReader::ReadFcrCopy(uint32_t page) const {
    PageBytes bytes = Physical(page);
    const FcrBlock block = BlockOf(bytes);
    if (std::memcmp(block.signature, "FC\0\0", 4) != 0) {
        FailAt(PageName(page), 0, "this copy of the file control record is damaged (no \"FC\" signature)");
    }
    if (Le16(block.pageSize) != pageSize_) {
        FailAt(PageName(page), offsetof(FcrBlock, pageSize),
               "the two copies of the file control record disagree on the page size");
    }
    return bytes;
}

void PageReader::ChooseFcr() {
    if (physicalPages_ < kFirstDataPage) {
        Fail("a 6.x file of " + std::to_string(physicalPages_) +
             " pages, fewer than its control records and allocation table need (truncated)");
    }
    PageBytes first = ReadFcrCopy(0), second = ReadFcrCopy(1);
    const uint32_t firstUsage = Le32(first.data() + offsetof(FcrBlock, usage));
    const uint32_t secondUsage = Le32(second.data() + offsetof(FcrBlock, usage));
    const uint32_t current = secondUsage > firstUsage ? 1 : 0;
    fcr_ = current == 1 ? std::move(second) : std::move(first);
    fcrBlock_ = BlockOf(fcr_);
    fcrUsage_ = current == 1 ? secondUsage : firstUsage;
    if (NeverWritten(fcr_)) FailAt(PageName(current), 0, "neither copy of the file control record was ever written");
    version_ = Le16(fcrBlock_.version);
    if (version_ >= kVersion70) RefuseLaterFamily(current, version_);
    if (version_ != kVersion60 && version_ != kVersion61) {
        FailAt(PageName(current), offsetof(FcrBlock, version), "unknown format version word " + Hex(version_, 4));
    }
    pageCount_ = Ws32(fcrBlock_.pageCount);
    // Every logical page needs a physical page of its own.
    if (pageCount_ == 0 || pageCount_ > physicalPages_) {
        FailAt(PageName(current), offsetof(FcrBlock, pageCount),
               "the file control record counts " + std::to_string(pageCount_) + " logical pages, the file holds " +
                   std::to_string(physicalPages_) + " pages (truncated or damaged)");
    }
}

void PageReader::LoadAllocationTable() {
    const uint32_t perPair = pageSize_ / 4;
    const uint32_t entries = perPair - 2;
    const uint32_t pairs = (pageCount_ - 1 + entries - 1) / entries;
    for (uint32_t k = 0; k < pairs; ++k) {
        const uint32_t page = kFirstPatPage + k * perPair;
        if (page + 1 >= physicalPages_) {
            Fail("allocation table pair " + std::to_string(k) + " belongs at pages " + std::to_string(page) + " and " +
                 std::to_string(page + 1) + ", beyond the file's " + std::to_string(physicalPages_) + " pages");
        }
        int chosen = -1;
        uint32_t chosenUsage = 0;
        PageBytes copies[2] = {Physical(page), Physical(page + 1)};
        // The copy the current control record committed: the newest not newer than it.
        for (int pass = 0; pass < 2 && chosen < 0; ++pass) {
            for (int c = 0; c < 2; ++c) {
                const uint32_t usage = Le32(copies[c].data() + offsetof(PatHeader, usage));
                const bool valid = copies[c][0] == 'P' && copies[c][1] == 'P';
                const bool committed = pass == 1 || usage <= fcrUsage_;
                if (valid && committed && (chosen < 0 || usage > chosenUsage)) {
                    chosen = c;
                    chosenUsage = usage;
                }
            }
        }
        if (chosen < 0)
            FailAt(PageName(page), 0, "neither copy of this allocation table page has its \"PP\" signature");
        pat_.push_back(std::move(copies[chosen]));
        patPage_.push_back(page + static_cast<uint32_t>(chosen));
    }
}

uint8_t PageReader::TypeOf(uint32_t logical) const {
    if (logical == 0 || logical >= pageCount_) Fail(LogicalName(logical) + " is outside the file's logical pages");
    const uint32_t entries = pageSize_ / 4 - 2;
    const PageBytes& pat = pat_[(logical - 1) / entries];
    return Pp4(pat.data() + kPatEntriesAt + kPatEntrySize * ((logical - 1) % entries)).type;
}

uint32_t PageReader::Resolve(uint32_t logical) const {
    TypeOf(logical);
    const uint32_t entries = pageSize_ / 4 - 2;
    const uint32_t pair = (logical - 1) / entries;
    const uint32_t at = kPatEntriesAt + kPatEntrySize * ((logical - 1) % entries);
    const uint32_t page = Pp4(pat_[pair].data() + at).page;
    if (page < kFirstDataPage || page >= physicalPages_) {
        FailAt(PageName(patPage_[pair]), at,
               "the allocation entry of " + LogicalName(logical) + " points to page " + std::to_string(page) +
                   ", outside the file's pages 4 to " + std::to_string(physicalPages_ - 1));
    }
    return page;
}

PageBytes PageReader::Page(uint32_t number, uint8_t type) const {
    if (family_ == Family::kV5) {
        if (number == 0 || number >= pageCount_) Fail(PageName(number) + " is outside the file's pages");
        PageBytes bytes = Physical(number);
        const uint32_t own = Ws32(bytes.data());
        const bool data = (Le16(bytes.data() + offsetof(PageHeader, usage)) & kDataPageBit) != 0;
        if (own != number) FailAt(PageName(number), 0, "the page header names page " + std::to_string(own));
        if ((type == kPageData) != data) {
            FailAt(PageName(number), offsetof(PageHeader, usage),
                   type == kPageData ? "not a data page" : "a data page where another kind was expected");
        }
        return bytes;
    }
    const uint8_t mapped = TypeOf(number);
    if (mapped != type) {
        Fail(LogicalName(number) + " is of type " + Hex(mapped, 2) + " in the allocation table, where " + Hex(type, 2) +
             " was expected");
    }
    PageBytes bytes = Physical(Resolve(number));
    const PagePointer own = Pp4(bytes.data());
    if (own.page != number || own.type != type) {
        FailAt(Name(number), 0,
               "the page header says logical page " + std::to_string(own.page) + " of type " + Hex(own.type, 2));
    }
    return bytes;
}

PageBytes PageReader::Physical(uint32_t page) const {
    if (page >= physicalPages_) Fail(PageName(page) + " is beyond the end of the file");
    PageBytes bytes(pageSize_);
    if (!source_.Read(static_cast<uint64_t>(page) * pageSize_, pageSize_, bytes.data())) {
        Fail(PageName(page) + " could not be read");
    }
    return bytes;
}

std::string PageReader::Name(uint32_t number) const {
    if (family_ == Family::kV5) return PageName(number);
    return LogicalName(number) + " (page " + std::to_string(Resolve(number)) + ")";
}

}  // namespace dfimport
