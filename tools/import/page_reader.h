// page_reader.h: pages of a data file by number. Recognises the format family from page 0,
// picks the current copy of the file control record and (6.x) of each allocation-table pair,
// and maps 6.x logical pages to physical ones, so shadow and stale copies are never read.
#ifndef TYDB_IMPORT_PAGE_READER_H
#define TYDB_IMPORT_PAGE_READER_H

#include <cstdint>
#include <string>
#include <vector>

#include "datafile.h"
#include "datafile_layout.h"

namespace dfimport {

enum class Family { kV5, kV6 };

using PageBytes = std::vector<uint8_t>;

class PageReader {
public:
    // Throws DatafileError for a file of another kind or family, or a damaged control record
    // or allocation table.
    explicit PageReader(const ByteSource& source);

    Family family() const { return family_; }
    // 6.x: the version word; 5.x: the format level (3, 4 or 5).
    uint16_t version() const { return version_; }
    uint32_t pageSize() const { return pageSize_; }
    // 5.x: physical pages in use; 6.x: logical pages in use, the control record's included.
    uint32_t pageCount() const { return pageCount_; }
    const PageBytes& fcrPage() const { return fcr_; }
    const FcrBlock& fcr() const { return fcrBlock_; }
    uint32_t fcrUsage() const { return fcrUsage_; }
    // Record prefix of a slot: 2 bytes of usage count in 6.x, none in 5.x.
    uint32_t slotPrefix() const { return family_ == Family::kV6 ? 2 : 0; }

    // 6.x: the allocation table's type for logical page `logical` (1 .. pageCount - 1).
    uint8_t TypeOf(uint32_t logical) const;
    // Page `number` (5.x physical, 6.x logical through the allocation table), after checking
    // that its header names it and is of `type` (kPageData, kPageVariable or kPageAcs).
    PageBytes Page(uint32_t number, uint8_t type) const;
    // Physical page `page`, unchecked beyond its being inside the file.
    PageBytes Physical(uint32_t page) const;
    // How errors name page `number`: "page 7" or "logical page 5 (page 12)".
    std::string Name(uint32_t number) const;

private:
    void DetectFamily();
    void ChooseFcr();
    void LoadAllocationTable();
    uint32_t Resolve(uint32_t logical) const;
    PageBytes ReadFcrCopy(uint32_t page) const;

    const ByteSource& source_;
    Family family_ = Family::kV5;
    uint16_t version_ = 0;
    uint32_t pageSize_ = 0;
    uint32_t physicalPages_ = 0;
    uint32_t pageCount_ = 0;
    uint32_t fcrUsage_ = 0;
    PageBytes fcr_;
    FcrBlock fcrBlock_{};
    std::vector<PageBytes> pat_;     // current copy of each allocation-table pair
    std::vector<uint32_t> patPage_;  // where that copy lies
};

}  // namespace dfimport

#endif  // TYDB_IMPORT_PAGE_READER_H
