// datafile.cpp: the library's public edge: byte sources, opening a file (control record,
// allocation table, definition) and the record walk with its closing checks.
#include "datafile.h"

#include <algorithm>
#include <cstring>
#include <fstream>

#include "datafile_error.h"
#include "definition_reader.h"
#include "page_reader.h"
#include "record_walker.h"

namespace dfimport {
namespace {

constexpr uint8_t kTypeZstring = 11;
constexpr uint16_t kKeyExtendedType = 0x0100;

class FileSource : public ByteSource {
public:
    FileSource(std::ifstream in, uint64_t size) : in_(std::move(in)), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool Read(uint64_t offset, uint32_t length, uint8_t* out) const override {
        if (offset > size_ || length > size_ - offset) return false;
        in_.clear();
        in_.seekg(static_cast<std::streamoff>(offset));
        in_.read(reinterpret_cast<char*>(out), length);
        return static_cast<uint32_t>(in_.gcount()) == length;
    }

private:
    mutable std::ifstream in_;
    uint64_t size_;
};

// A zstring key segment without its terminating NUL.
bool UnterminatedZstring(const Definition& def, const Record& record) {
    for (const Key& key : def.keys) {
        for (const Segment& s : key.segments) {
            if ((s.flags & kKeyExtendedType) == 0 || s.type != kTypeZstring) continue;
            const auto begin = record.bytes.begin() + s.offset;
            if (std::find(begin, begin + s.length, 0) == begin + s.length) return true;
        }
    }
    return false;
}

}  // namespace

std::unique_ptr<ByteSource> OpenFileSource(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        *error = "cannot open " + path + " for reading";
        return nullptr;
    }
    const auto size = static_cast<uint64_t>(in.tellg());
    return std::make_unique<FileSource>(std::move(in), size);
}

Datafile::~Datafile() = default;

std::unique_ptr<Datafile> Datafile::Open(std::unique_ptr<ByteSource> source, std::string* error) {
    std::unique_ptr<Datafile> file(new Datafile());
    file->source_ = std::move(source);
    try {
        file->pages_ = std::make_unique<PageReader>(*file->source_);
        file->definition_ = ReadDefinition(*file->pages_);
    } catch (const DatafileError& e) {
        *error = e.what();
        return nullptr;
    }
    return file;
}

bool Datafile::ForEachRecord(const std::function<bool(const Record&)>& visit, std::string* error,
                             const std::function<void(const std::string&)>& lost) const {
    uint32_t unterminated = 0;
    bool stopped = false;
    uint32_t found = 0;
    try {
        found = RecordWalker(*pages_, definition_, lost).Walk([&](const Record& record) {
            if (UnterminatedZstring(definition_, record)) ++unterminated;
            stopped = !visit(record);
            return !stopped;
        });
    } catch (const DatafileError& e) {
        *error = e.what();
        return false;
    }
    if (stopped) return true;
    // Enciphered records (an owner name set with encryption) keep the page structure but
    // scramble the data: string keys lose their terminators. Real data keeps nearly all.
    if (found > 0 && unterminated * 2 > found) {
        *error = std::to_string(unterminated) + " of " + std::to_string(found) +
                 " records have a zstring key without its terminating zero: the records look enciphered, as "
                 "in a file protected by an owner name with encryption; clear the owner name with the original "
                 "record manager before importing";
        return false;
    }
    if (found != definition_.recordCount) {
        const std::string difference = "the file control record counts " + std::to_string(definition_.recordCount) +
                                       " records, the data pages hold " + std::to_string(found);
        if (lost) {
            lost(difference + " that could be read");
            return true;
        }
        *error = difference;
        return false;
    }
    return true;
}

}  // namespace dfimport
