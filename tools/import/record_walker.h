// record_walker.h: every live record of a data file in physical order, without its indexes:
// data pages in page order (6.x: logical order through the allocation table), their live
// slots in slot order, each fixed part followed by its variable tail.
#ifndef TYDB_IMPORT_RECORD_WALKER_H
#define TYDB_IMPORT_RECORD_WALKER_H

#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "datafile_error.h"

#include "datafile.h"
#include "page_reader.h"

namespace dfimport {

// Told what a salvaging walk passed over, naming page and offset.
using LostPart = std::function<void(const std::string& what)>;

class RecordWalker {
public:
    // With `lost`, the walk salvages: a damaged data page or a record whose variable tail is
    // damaged is told to `lost` and passed over, and the walk goes on. Damage that leaves live
    // records and deleted ones impossible to tell apart (the 5.x deleted-record chain) still ends it.
    RecordWalker(const PageReader& pages, const Definition& definition, LostPart lost = nullptr);

    // Calls `visit` for each live record until it returns false; returns the records visited.
    // Throws DatafileError, naming page and offset, for a damaged page or tail chain.
    uint32_t Walk(const std::function<bool(const Record&)>& visit) const;

private:
    struct Fragment {
        uint32_t offset;
        uint32_t length;
        bool continues;  // 5.x: the fragment starts with the pointer to the next one
    };

    uint32_t WalkV5(const std::function<bool(const Record&)>& visit) const;
    uint32_t WalkV6(const std::function<bool(const Record&)>& visit) const;
    std::set<uint32_t> DeletedSlots() const;
    bool VisitSlot(const PageBytes& page, uint32_t pageNumber, uint32_t slotOffset,
                   const std::function<bool(const Record&)>& visit) const;
    void AppendTail(const uint8_t* pointer, const std::string& owner, std::vector<uint8_t>* bytes) const;
    Fragment FragmentOf(const PageBytes& page, uint32_t pageNumber, uint8_t fragment) const;
    std::string SlotName(uint32_t pageNumber, uint32_t slotOffset) const;
    // Whether to pass over `damage` (salvaging: it is told to lost_) rather than end the walk.
    bool PassOver(const DatafileError& damage, const std::string& passedOver) const;

    const PageReader& pages_;
    const Definition& definition_;
    uint32_t slotsPerPage_;
    LostPart lost_;
};

}  // namespace dfimport

#endif  // TYDB_IMPORT_RECORD_WALKER_H
