// store.h: which store keeps a data file, and opening and creating files through it.
//
// A file whose folder holds `w3btrv7.server` is kept by that folder's PostgreSQL server; every
// other file is an SQLite database of this computer (or a share).
#ifndef W3BTRV7_STORE_STORE_H
#define W3BTRV7_STORE_STORE_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "store/file_connection.h"
#include "store/file_def.h"
#include "store/server_folder.h"

namespace w3b {

// Where the data file at a path lives, and what identifies it in the process.
struct DataFileLocation {
    FileKey key;
    std::optional<ServerFolder> server;  // set for a file of a served folder
    bool localExists = false;            // whether a file is at the path itself
};

// Finds where the file at `path` (native) lives, without opening it. 2 when the folder's
// `w3btrv7.server` cannot be used, 94 when the file's identity cannot be read.
int16_t LocateDataFile(const std::string& path, DataFileLocation* out);

// Opens this process's connection to the data file at `path`. Returns a status: 12 when it does
// not exist, 30 when it is not a data file of this engine (or, in a served folder, a file lies
// at the path itself), 85 while it is being created, 88
// while another process has it open exclusively, 95 when its server cannot be reached.
int16_t OpenDataFile(const std::string& path, const DataFileLocation& where, std::unique_ptr<FileConnection>* out);

// Whether a data file is at `path`.
int16_t DataFileExists(const std::string& path, const DataFileLocation& where, bool* exists);

// Creates a new data file at `path` from `def`; a file already there answers 59 or is replaced,
// as `ifExists` says. The caller has made sure that no position block of this process has it
// open; 85 when another process has, 59 in a served folder where a file lies at the path itself.
int16_t CreateDataFile(const std::string& path, const DataFileLocation& where, const FileDef& def, IfExists ifExists);

}  // namespace w3b

#endif  // W3BTRV7_STORE_STORE_H
