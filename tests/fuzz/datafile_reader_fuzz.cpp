// datafile_reader_fuzz: arbitrary bytes as a data file of the original record manager. The
// reader must answer every input with a definition and records or an error, never a crash
// or a hang; and what it accepts must hold together: records in ascending address order,
// each at least as long as the fixed part (exactly as long in a fixed-length file), as many
// as the control record counts, every key segment inside the fixed part.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "datafile.h"
#include "fuzz_support.h"

using fuzzsupport::Check;

namespace {

// The fuzzer's bytes as the file.
class MemorySource : public dfimport::ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool Read(uint64_t offset, uint32_t length, uint8_t* out) const override {
        if (offset > size_ || length > size_ - offset) return false;
        std::memcpy(out, data_ + offset, length);
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    auto file = dfimport::Datafile::Open(std::make_unique<MemorySource>(data, size), &error);
    if (!file) {
        Check(!error.empty(), "a refused file without a reason");
        return 0;
    }
    const dfimport::Definition& def = file->definition();
    for (const dfimport::Key& key : def.keys) {
        for (const dfimport::Segment& segment : key.segments) {
            Check(segment.offset + segment.length <= def.recordLength, "a key segment outside the fixed part");
            Check(segment.acs < static_cast<int>(def.acs.size()), "a segment naming a collating sequence not read");
        }
    }
    uint32_t count = 0;
    uint32_t lastAddress = 0;
    const bool read = file->ForEachRecord(
        [&](const dfimport::Record& record) {
            Check(count == 0 || record.address > lastAddress, "records out of physical order");
            Check(record.bytes.size() >= def.recordLength, "a record shorter than its fixed part");
            Check(def.variable || record.bytes.size() == def.recordLength, "a fixed-length record with a tail");
            Check(record.bytes.size() <= size, "a record longer than the file");
            lastAddress = record.address;
            ++count;
            return true;
        },
        &error);
    Check(read ? count == def.recordCount : !error.empty(),
          read ? "a count that differs, accepted" : "an error without a reason");

    // Salvaging, the same file gives every record a strict walk gives, in the same order, and
    // each thing passed over is named.
    uint32_t salvaged = 0;
    std::string salvageError;
    const bool salvagedAll = file->ForEachRecord(
        [&](const dfimport::Record& record) {
            Check(record.bytes.size() >= def.recordLength && record.bytes.size() <= size, "a salvaged record's size");
            ++salvaged;
            return true;
        },
        &salvageError, [](const std::string& what) { Check(!what.empty(), "a part passed over without a reason"); });
    Check(!read || (salvagedAll && salvaged == count), "salvaging a sound file gives other records");
    Check(salvagedAll || !salvageError.empty(), "a salvage that ends without a reason");
    return 0;
}
