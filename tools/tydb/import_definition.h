// import_definition.h: the Create request for a file with an imported file's definition.
#ifndef TYDB_TOOLS_IMPORT_DEFINITION_H
#define TYDB_TOOLS_IMPORT_DEFINITION_H

#include <cstdint>
#include <string>
#include <vector>

#include "datafile.h"

namespace tool {

// The file specification, every key segment and the collating sequences the keys use, as
// Create takes them; false with `*error` when the definition cannot be expressed that way.
bool BuildCreateBuffer(const dfimport::Definition& definition, std::vector<uint8_t>* buffer, std::string* error);

}  // namespace tool

#endif  // TYDB_TOOLS_IMPORT_DEFINITION_H
