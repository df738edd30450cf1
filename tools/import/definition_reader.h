// definition_reader.h: the file's definition from its current control record: file
// specification, keys and segments with their types and flags, and the alternate collating
// sequences the keys use.
#ifndef TYDB_IMPORT_DEFINITION_READER_H
#define TYDB_IMPORT_DEFINITION_READER_H

#include "datafile.h"
#include "page_reader.h"

namespace dfimport {

// Throws DatafileError for a definition that does not hold together or a kind of file this
// reader refuses (compressed, key-only, system data, VATs, blank truncation).
Definition ReadDefinition(const PageReader& pages);

}  // namespace dfimport

#endif  // TYDB_IMPORT_DEFINITION_READER_H
