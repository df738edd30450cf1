// create_file.h: the Create request behind DbCreateFile, with the create mode its caller needs.
#ifndef TYDB_DBAPI_CREATE_FILE_H
#define TYDB_DBAPI_CREATE_FILE_H

#include <cstdint>

namespace tydb {

// DbCreateFile with the record manager's create mode (btr::kCreate...) chosen by the caller:
// DbCreateFile replaces an existing file; a file that other workstations may make at the same
// moment (the index registry) is created with btr::kCreateNoOverwrite, which answers 59 and
// leaves an existing file alone.
int32_t CreateDataFile(const char* path, const void* fileSpec, const void* keySpecs, int8_t createMode);

}  // namespace tydb

#endif  // TYDB_DBAPI_CREATE_FILE_H
