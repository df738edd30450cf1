// unformatted_file.h: the "unformatted" save file of the original record manager's maintenance
// utility, which it writes for a data file of any version: for each record its length in ASCII
// decimal digits, a comma, the record's bytes, then CR LF; a Ctrl-Z byte ends the file.
#ifndef TYDB_TOOLS_UNFORMATTED_FILE_H
#define TYDB_TOOLS_UNFORMATTED_FILE_H

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace tool {

// Longest record a save file may hold here: what a record manager's record can be.
inline constexpr size_t kLongestUnformattedRecord = 1 << 20;

class UnformattedReader {
public:
    explicit UnformattedReader(std::istream& in) : in_(in) {}

    enum class Next { kRecord, kEnd, kMalformed };
    // The next record into `*record`; kEnd at the Ctrl-Z; kMalformed with `*error` naming the
    // record and the byte offset where the file stops being a save file.
    Next Read(std::vector<uint8_t>* record, std::string* error);

private:
    bool Fail(const std::string& reason, std::string* error) const;

    std::istream& in_;
    uint64_t offset_ = 0;  // of the record being read
    uint64_t records_ = 0;
};

void WriteUnformattedRecord(std::ostream& out, const uint8_t* data, size_t size);
void EndUnformatted(std::ostream& out);

}  // namespace tool

#endif  // TYDB_TOOLS_UNFORMATTED_FILE_H
