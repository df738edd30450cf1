// file_loader.h: filling a new data file with the records and key entries another store kept,
// exactly as they were kept there (positions, key values and sequences), for moving a file from
// one store to the other.
#ifndef W3BTRV7_STORE_FILE_LOADER_H
#define W3BTRV7_STORE_FILE_LOADER_H

#include <cstdint>
#include <string>

#include "store/file_connection.h"

namespace w3b {

// One new file being filled, all in one transaction. A loader destroyed before Finish leaves
// nothing behind: neither the file nor any of its rows.
class FileLoader {
public:
    virtual ~FileLoader() = default;

    // Every record with its position; then the entries of each key, in key order.
    virtual int16_t PutRecord(int64_t position, const std::string& data) = 0;
    virtual int16_t PutEntry(int key, const KeyEntry& entry) = 0;
    // Makes new records get positions above `highest` and commits the file whole.
    virtual int16_t Finish(int64_t highest) = 0;
    // What the store said of the last failure, in its own words, for a message; may be empty.
    virtual std::string Problem() const = 0;
};

}  // namespace w3b

#endif  // W3BTRV7_STORE_FILE_LOADER_H
