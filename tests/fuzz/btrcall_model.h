// btrcall_model.h: what the BTRCALL fuzzer expects a data file to hold: its records by position,
// its keys, and the order of every key, worked out here without any of the record manager's
// code, from the rules of the call interface (key types, collation, null keys, duplicates in
// the order they arrived).
#ifndef TYDB_TESTS_FUZZ_BTRCALL_MODEL_H
#define TYDB_TESTS_FUZZ_BTRCALL_MODEL_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "btrcall.h"

namespace btrfuzz {

// One key segment as the fuzzer defines it: sent to Create or Create Index as a key
// specification, and ordered by KeyOrder.
struct SegmentDesign {
    int position = 1;  // 1-based
    int length = 1;
    uint8_t type = btr::kTypeString;
    uint16_t flags = 0;  // key flags, without the extended-type and segmented bits
    uint8_t nullValue = 0;
};

struct KeyDesign {
    std::vector<SegmentDesign> segments;

    // The specifications as Create takes them: extended type on every segment, the segmented
    // flag on all but the last.
    std::vector<BtrKeySpec> Specs() const;
    bool Duplicates() const { return (segments.front().flags & btr::kKeyFlagDuplicates) != 0; }
    bool Modifiable() const { return (segments.front().flags & btr::kKeyFlagModifiable) != 0; }
    bool UsesAcs() const;
    size_t Length() const;
};

// The collating sequence the fuzzer's files use: upper case for ASCII letters, and the digits in
// reverse (so that a key that ignored the sequence, or merely folded case, sorts differently).
const uint8_t* AcsMap();
// The whole 265-byte block, as Create takes it.
std::string AcsBlock();

// The order of one key's values, as key buffers hold them (segments concatenated).
class KeyOrder {
public:
    explicit KeyOrder(const KeyDesign& design) : design_(design) {}

    std::string ValueOf(const std::string& record) const;
    // True when the record is left out of the key by its null rule.
    bool IsNull(const std::string& record) const;
    // Negative, zero or positive; zero for values the key holds equal (one value of a unique key).
    int Compare(const std::string& a, const std::string& b) const;
    const KeyDesign& Design() const { return design_; }

private:
    KeyDesign design_;
};

struct ModelRecord {
    std::string data;
    uint64_t id = 0;  // changes with every write of the record, so a reader can tell it changed
};

// A place on a key path: the value, its number in its group of equal values, and the record.
struct ModelEntry {
    std::string value;
    int64_t seq = 0;
    int64_t position = 0;
};

struct ModelKey {
    int number = 0;
    KeyOrder order;
    // The sequence number of every record on the key, by position. Equal values keep the order
    // in which they entered the key: a record entering a group gets one more than the highest
    // number in it (0 in a key without duplicates).
    std::map<int64_t, int64_t> seq;
};

// One data file as the fuzzer expects it.
class FileModel {
public:
    int recordLength = 0;
    int pageSize = 4096;
    uint16_t fileFlags = 0;
    bool hasAcs = false;
    std::map<int64_t, ModelRecord> records;
    std::vector<ModelKey> keys;  // ascending key number

    bool Variable() const { return (fileFlags & btr::kFileFlagVariableLength) != 0; }
    const ModelKey* Key(int number) const;
    int SegmentCount() const;

    // The key's entries in key order.
    std::vector<ModelEntry> Entries(const ModelKey& key) const;
    // Number of distinct values on the key.
    uint32_t DistinctValues(const ModelKey& key) const;
    // True when writing `record` (as a new record, or over the one at `position`) would give a
    // key without duplicates a value it already holds for another record.
    bool Collides(const std::string& record, int64_t position) const;
    // The bytes stored for a written record: blank truncation drops trailing blanks of the
    // variable part.
    std::string Stored(const std::string& record) const;

    void Insert(int64_t position, const std::string& data, uint64_t id);
    void Update(int64_t position, const std::string& data, uint64_t id);
    void Delete(int64_t position);
    // A key built over the records already there: equal values numbered in position order.
    void AddKey(int number, const KeyDesign& design);
    // Removes a key; with `renumber` every higher key number goes down by one.
    void DropKey(int number, bool renumber);
    // The entry of the record at `position` on `key` (which must hold it).
    ModelEntry EntryOf(const ModelKey& key, int64_t position) const;

private:
    int64_t NextSeq(const ModelKey& key, const std::string& value, int64_t except) const;
};

}  // namespace btrfuzz

#endif  // TYDB_TESTS_FUZZ_BTRCALL_MODEL_H
