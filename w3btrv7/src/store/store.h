// store.h: which store keeps a data file, and opening and creating files through it.
#ifndef W3BTRV7_STORE_STORE_H
#define W3BTRV7_STORE_STORE_H

#include <cstdint>
#include <memory>
#include <string>

#include "platform.h"
#include "store/file_connection.h"
#include "store/file_def.h"

namespace w3b {

// Opens this process's connection to the data file at `path` (native). Returns a status: 12
// when it does not exist, 30 when it is not a data file of this engine, 85 while it is being
// created, 88 while another process has it open exclusively. `identity` is the file's, found
// by the caller without opening it.
int16_t OpenDataFile(const std::string& path, const platform::FileIdentity& identity,
                     std::unique_ptr<FileConnection>* out);

// Creates a new data file at `path` from `def`, replacing what is there. The caller has made
// sure that no position block of this process has it open; 85 when another process has.
int16_t CreateDataFile(const std::string& path, const FileDef& def);

}  // namespace w3b

#endif  // W3BTRV7_STORE_STORE_H
