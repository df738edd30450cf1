// datafile.h: reading the original record manager's data files (5.x and 6.x page formats)
// without its engine: the file's definition and every live record in physical order.
//
// The file is only read. Every pointer and length in it is checked against the file and page
// size before it is followed and every chain walk is bounded, so a damaged or hostile file
// gives an error naming the page and offset, never a crash, a hang or a short result.
// Files of later families (7.x and up), compressed, key-only, system-data and VAT files, and
// files whose records are enciphered under an owner name are refused with what they are.
#ifndef TYDB_IMPORT_DATAFILE_H
#define TYDB_IMPORT_DATAFILE_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace dfimport {

// Where the bytes come from: a file opened read-only (a test may read memory instead).
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads `length` bytes at `offset`; false when they are not all there.
    virtual bool Read(uint64_t offset, uint32_t length, uint8_t* out) const = 0;
};
// Null with `*error` set when the file cannot be opened for reading.
std::unique_ptr<ByteSource> OpenFileSource(const std::string& path, std::string* error);

struct Segment {
    uint16_t offset = 0;  // 0-based, in the record
    uint16_t length = 0;
    uint16_t flags = 0;  // the key flags as stored
    uint8_t type = 0;    // extended type (with flag 0x0100)
    uint8_t nullValue = 0;
    int acs = -1;  // index into Definition::acs, -1 for none
};

struct Key {
    int number = 0;
    uint32_t uniqueCount = 0;
    std::vector<Segment> segments;
};

struct Acs {
    uint32_t page = 0;           // logical (6.x) or physical (5.x) page it was read from
    std::string name;            // 8 bytes as stored
    std::vector<uint8_t> block;  // signature, name and table: the 265 bytes Create takes
};

struct Definition {
    std::string format;  // "5.x" (with its format level), "6.0", "6.1"
    uint32_t pageSize = 0;
    uint16_t recordLength = 0;
    uint16_t slotLength = 0;
    uint16_t fileFlags = 0;
    bool variable = false;
    uint8_t duplicatePointers = 0;  // reserved pointers beyond those of duplicate keys
    uint32_t recordCount = 0;       // as the file control record says
    std::vector<Key> keys;
    std::vector<Acs> acs;
    std::vector<std::string> warnings;  // conditions worth telling, not worth refusing
};

struct Record {
    uint32_t address = 0;        // the record's position in the original file
    std::vector<uint8_t> bytes;  // fixed part, then the variable tail
};

class PageReader;

class Datafile {
public:
    // Reads and checks the file's control record, allocation table and definition. Null with
    // `*error` set when the file is not one this reader takes or is damaged.
    static std::unique_ptr<Datafile> Open(std::unique_ptr<ByteSource> source, std::string* error);
    ~Datafile();

    const Definition& definition() const { return definition_; }

    // Calls `visit` for every live record in physical order (stops early when it returns
    // false). False with `*error` set when a page or chain is damaged, when the records found
    // differ in number from the control record's count, or when they look enciphered.
    // With `lost`, a salvaging walk: damage it can pass over, and a count that then differs,
    // are told to `lost` instead (record_walker.h).
    bool ForEachRecord(const std::function<bool(const Record&)>& visit, std::string* error,
                       const std::function<void(const std::string&)>& lost = nullptr) const;

private:
    Datafile() = default;
    std::unique_ptr<ByteSource> source_;
    std::unique_ptr<PageReader> pages_;
    Definition definition_;
};

}  // namespace dfimport

#endif  // TYDB_IMPORT_DATAFILE_H
