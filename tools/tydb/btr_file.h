// btr_file.h: one data file opened through the record manager's BTRCALL, for the commands that
// need more than the library's exports (its own collating sequences, transactions, whole
// records of any length). Closing ends what it holds: a transaction in progress is aborted and
// the file closed, so no path of a command leaves either behind.
#ifndef TYDB_TOOLS_BTR_FILE_H
#define TYDB_TOOLS_BTR_FILE_H

#include <cstdint>
#include <string>
#include <vector>

#include "btrcall.h"

namespace tool {

class BtrFile {
public:
    BtrFile(BtrCallFunction btrcall, const std::string& path) : btrcall_(btrcall), path_(path) {}
    ~BtrFile();
    BtrFile(const BtrFile&) = delete;
    BtrFile& operator=(const BtrFile&) = delete;

    // Creates the file from a Create buffer (file specification, key segments, collating
    // sequences); an existing file only when `replace`.
    int16_t Create(std::vector<uint8_t>& definition, bool replace);
    int16_t Open(int8_t mode);
    int16_t Insert(const uint8_t* data, uint32_t length);
    // Begin (19) or End (20) Transaction.
    int16_t Transaction(uint16_t operation);
    bool inTransaction() const { return inTransaction_; }
    // The file's Stat reply: specification, every segment, then its collating sequences.
    int16_t Stat(std::vector<uint8_t>* reply);
    // Step First/Next (33, 24): the record, fixed and variable parts, in `record`.
    int16_t Step(uint16_t operation, std::vector<uint8_t>* record);
    // Create Index (31) over every record; `number` -1 lets the record manager choose it.
    int16_t CreateIndex(std::vector<BtrKeySpec> segments, int number);
    // Drop Index (32); the other keys keep their numbers unless `renumber`.
    int16_t DropIndex(int number, bool renumber);

private:
    int16_t Call(uint16_t operation, void* data, uint32_t* length, int8_t keyNumber = 0);

    BtrCallFunction btrcall_;
    std::string path_;
    uint8_t positionBlock_[btr::kPositionBlockSize] = {};
    bool open_ = false;
    bool inTransaction_ = false;
};

}  // namespace tool

#endif  // TYDB_TOOLS_BTR_FILE_H
