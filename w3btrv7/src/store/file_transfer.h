// file_transfer.h: one data file copied from one store into another, and the copy checked
// against its source, whatever the two stores are.
#ifndef W3BTRV7_STORE_FILE_TRANSFER_H
#define W3BTRV7_STORE_FILE_TRANSFER_H

#include <cstdint>
#include <string>

#include "store/file_connection.h"
#include "store/file_loader.h"

namespace w3b {

// Copies every record of `source` with its position and every entry of each key as stored
// (value, sequence, position: equal values keep their order of arrival) into `target`, then
// finishes it. `*records` is the number of records copied.
int16_t CopyFileContents(FileConnection& source, FileLoader& target, int64_t* records);

// Checks a finished copy against its source: the same definition, record count and entry
// count per key, and every record the same at the same position. False, with `*problem`
// saying what differs, when it is not a faithful copy.
bool VerifyCopy(FileConnection& source, FileConnection& copy, std::string* problem);

}  // namespace w3b

#endif  // W3BTRV7_STORE_FILE_TRANSFER_H
