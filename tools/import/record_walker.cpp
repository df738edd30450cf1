// record_walker.cpp: live slots of the data pages and the fragments of their variable tails.
#include "record_walker.h"

#include <cstdio>

#include "datafile_error.h"

namespace dfimport {
namespace {

constexpr uint32_t kSlotsStart = sizeof(PageHeader);
constexpr uint32_t kFragmentsStart = sizeof(VariablePageHeader);
constexpr uint32_t kPointerSize = 4;

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

}  // namespace

RecordWalker::RecordWalker(const PageReader& pages, const Definition& definition, LostPart lost)
    : pages_(pages),
      definition_(definition),
      slotsPerPage_((pages.pageSize() - kSlotsStart) / definition.slotLength),
      lost_(std::move(lost)) {}

bool RecordWalker::PassOver(const DatafileError& damage, const std::string& passedOver) const {
    if (!lost_) return false;
    lost_(std::string(damage.what()) + ": " + passedOver);
    return true;
}

uint32_t RecordWalker::Walk(const std::function<bool(const Record&)>& visit) const {
    return pages_.family() == Family::kV5 ? WalkV5(visit) : WalkV6(visit);
}

std::string RecordWalker::SlotName(uint32_t pageNumber, uint32_t slotOffset) const {
    return "the record at " + pages_.Name(pageNumber) + " offset " + Hex(slotOffset);
}

// Builds the record of the slot at `slotOffset` and hands it on.
bool RecordWalker::VisitSlot(const PageBytes& page, uint32_t pageNumber, uint32_t slotOffset,
                             const std::function<bool(const Record&)>& visit) const {
    Record record;
    record.address = pageNumber * pages_.pageSize() + slotOffset;
    const uint8_t* data = page.data() + slotOffset + pages_.slotPrefix();
    record.bytes.assign(data, data + definition_.recordLength);
    if (definition_.variable) {
        const std::string owner = SlotName(pageNumber, slotOffset);
        try {
            try {
                AppendTail(data + definition_.recordLength, owner, &record.bytes);
            } catch (const DatafileError& e) {
                // Say whose tail it was: the page named is a variable page shared by many records.
                if (std::string(e.what()).rfind(owner, 0) == 0) throw;
                Fail(std::string(e.what()) + ", in the variable tail of " + owner);
            }
        } catch (const DatafileError& e) {
            if (PassOver(e, "that record is not imported")) return true;
            throw;
        }
    }
    return visit(record);
}

// 5.x: every slot of a data page holds a record, except the unused end of the last data page
// and the slots on the deleted-record chain.
uint32_t RecordWalker::WalkV5(const std::function<bool(const Record&)>& visit) const {
    const FcrBlock& fcr = pages_.fcr();
    const std::set<uint32_t> deleted = DeletedSlots();
    const uint32_t lastPage = Ws32(fcr.lastDataPage);
    const uint32_t lastFree = Le16(fcr.lastPageFree);
    const uint32_t room = pages_.pageSize() - kSlotsStart;
    if (lastFree > room) FailAt(pages_.Name(0), offsetof(FcrBlock, lastPageFree), "more free bytes than a page has");
    const uint32_t lastUsed = (room - lastFree) / definition_.slotLength;
    bool lastSeen = false;
    uint32_t count = 0;
    for (uint32_t p = 1; p < pages_.pageCount(); ++p) {
        const PageBytes page = pages_.Physical(p);
        if ((Le16(page.data() + offsetof(PageHeader, usage)) & kDataPageBit) == 0) continue;
        if (Ws32(page.data()) != p) {
            try {
                FailAt(pages_.Name(p), 0, "a data page whose header names page " + std::to_string(Ws32(page.data())));
            } catch (const DatafileError& e) {
                if (PassOver(e, "the records of that page are not imported")) continue;
                throw;
            }
        }
        lastSeen = lastSeen || p == lastPage;
        const uint32_t used = p == lastPage ? lastUsed : slotsPerPage_;
        for (uint32_t s = 0; s < used; ++s) {
            const uint32_t offset = kSlotsStart + s * definition_.slotLength;
            if (deleted.count(p * pages_.pageSize() + offset) != 0) continue;
            ++count;
            if (!VisitSlot(page, p, offset, visit)) return count;
        }
    }
    if (lastPage != 0 && !lastSeen) {
        try {
            FailAt(pages_.Name(0), offsetof(FcrBlock, lastDataPage),
                   "the last data page named here, page " + std::to_string(lastPage) + ", is not a data page");
        } catch (const DatafileError& e) {
            if (!PassOver(e, "the records of the pages after it may be missing")) throw;
        }
    }
    return count;
}

// 5.x deleted records: a chain of slot addresses from the control record, each slot starting
// with the next one's.
std::set<uint32_t> RecordWalker::DeletedSlots() const {
    std::set<uint32_t> deleted;
    const uint32_t ps = pages_.pageSize();
    uint32_t address = Ws32(pages_.fcr().deletedHead);
    std::string from = pages_.Name(0) + " offset " + Hex(offsetof(FcrBlock, deletedHead));
    while (address != kNoAddress) {
        const uint32_t page = address / ps, offset = address % ps;
        if (page == 0 || page >= pages_.pageCount() || offset < kSlotsStart ||
            (offset - kSlotsStart) % definition_.slotLength != 0 || offset + definition_.slotLength > ps) {
            Fail(from + ": the deleted-record chain points to " + Hex(address) + ", which is not a record slot");
        }
        if (!deleted.insert(address).second) Fail(from + ": the deleted-record chain loops back to " + Hex(address));
        const PageBytes bytes = pages_.Page(page, kPageData);
        from = SlotName(page, offset);
        address = Ws32(bytes.data() + offset);
    }
    return deleted;
}

// 6.x: a slot is live when its usage count is not 0; free slots may sit between live ones.
uint32_t RecordWalker::WalkV6(const std::function<bool(const Record&)>& visit) const {
    uint32_t count = 0;
    for (uint32_t l = 1; l < pages_.pageCount(); ++l) {
        PageBytes page;
        try {
            if (pages_.TypeOf(l) != kPageData) continue;
            page = pages_.Page(l, kPageData);
        } catch (const DatafileError& e) {
            if (PassOver(e,
                         "the records of logical page " + std::to_string(l) + ", if it holds any, are not imported")) {
                continue;
            }
            throw;
        }
        for (uint32_t s = 0; s < slotsPerPage_; ++s) {
            const uint32_t offset = kSlotsStart + s * definition_.slotLength;
            if (Le16(page.data() + offset) == 0) continue;
            ++count;
            if (!VisitSlot(page, l, offset, visit)) return count;
        }
    }
    return count;
}

RecordWalker::Fragment RecordWalker::FragmentOf(const PageBytes& page, uint32_t pageNumber, uint8_t fragment) const {
    const uint32_t ps = pages_.pageSize();
    const uint32_t count = Le16(page.data() + offsetof(VariablePageHeader, fragmentCount));
    if (kFragmentsStart + 2 * (count + 1) > ps) {
        FailAt(pages_.Name(pageNumber), offsetof(VariablePageHeader, fragmentCount),
               "a fragment count of " + std::to_string(count) + " does not fit the page");
    }
    if (fragment >= count) {
        FailAt(pages_.Name(pageNumber), offsetof(VariablePageHeader, fragmentCount),
               "fragment " + std::to_string(fragment) + " asked for; the page has " + std::to_string(count));
    }
    const uint32_t tableStart = ps - 2 * (count + 1);
    const uint32_t entryAt = ps - 2 * (fragment + 1u);
    const uint16_t entry = Le16(page.data() + entryAt);
    const uint32_t offset = entry & ~kFragmentContinues & 0xFFFFu;
    if (entry == kUnusedFragment || offset < kFragmentsStart || offset > tableStart) {
        FailAt(pages_.Name(pageNumber), entryAt,
               "fragment " + std::to_string(fragment) + " has no place in the page (entry " + Hex(entry) + ")");
    }
    // A fragment ends where the next one in the page begins (the last entry marks the end of
    // the last fragment), or at the table.
    uint32_t end = tableStart;
    for (uint32_t i = 0; i <= count; ++i) {
        const uint16_t other = Le16(page.data() + ps - 2 * (i + 1));
        const uint32_t start = other & ~kFragmentContinues & 0xFFFFu;
        if (other != kUnusedFragment && start > offset && start < end) end = start;
    }
    return {offset, end - offset, (entry & kFragmentContinues) != 0};
}

void RecordWalker::AppendTail(const uint8_t* pointer, const std::string& owner, std::vector<uint8_t>* bytes) const {
    TailPointer next = Vp4(pointer);
    std::set<std::pair<uint32_t, uint8_t>> seen;
    while (next.fragment != kEndOfChain) {
        if (!seen.insert({next.page, next.fragment}).second) {
            Fail(owner + ": its variable tail loops back to " + pages_.Name(next.page) + " fragment " +
                 std::to_string(next.fragment));
        }
        const PageBytes page = pages_.Page(next.page, kPageVariable);
        const Fragment fragment = FragmentOf(page, next.page, next.fragment);
        const bool chained = pages_.family() == Family::kV6 || fragment.continues;
        if (chained && fragment.length < kPointerSize) {
            FailAt(pages_.Name(next.page), fragment.offset, "a fragment too short for its chain pointer");
        }
        const uint8_t* start = page.data() + fragment.offset;
        const uint32_t skip = chained ? kPointerSize : 0;
        bytes->insert(bytes->end(), start + skip, start + fragment.length);
        next = chained ? Vp4(start) : TailPointer{0, kEndOfChain};
    }
}

}  // namespace dfimport
