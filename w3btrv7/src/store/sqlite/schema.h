// schema.h: the SQLite store's layout of a data file, the one place it is written (w3btrv7's
// README describes the same tables): the file's definition in w3b_file, w3b_keyseg, w3b_acs and,
// while it has an owner, w3b_owner; the records in `records`, and one table per key.
#ifndef W3BTRV7_STORE_SQLITE_SCHEMA_H
#define W3BTRV7_STORE_SQLITE_SCHEMA_H

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "store/file_connection.h"
#include "store/file_def.h"

namespace w3b {

// The table that holds the entries of key `number`: (value, seq, position), in key order.
std::string KeyTable(int number);

// Writes the tables of a new data file holding `def` and no records, inside a write the caller
// has begun. An SQLite result code.
int WriteSchema(sqlite3* db, const FileDef& def);

// Gives the file the owner `owner`, or none when it is not present, inside a write the caller
// has begun. An SQLite result code.
int WriteOwnerToSchema(sqlite3* db, const OwnerSeal& owner);

// Reads the definition a data file holds. 30 when the database is not a data file of ours or
// its definition is not one Create could have made.
int16_t ReadDefinition(sqlite3* db, std::unique_ptr<FileDef>* out);

// Adds key `number` (its segments, the collating sequences it brings, numbered from
// `firstAcsNumber`, and its empty table) inside a write the caller has begun. An SQLite result
// code.
int AddKeyToSchema(sqlite3* db, int number, const std::vector<BtrKeySpec>& specs, const std::vector<AcsBlock>& newAcs,
                   size_t firstAcsNumber);

// Drops key `number` of `def` inside a write the caller has begun; with kCloseTheGap the keys
// above it move down one number. An SQLite result code.
int DropKeyFromSchema(sqlite3* db, const FileDef& def, int number, Renumbering renumbering);

}  // namespace w3b

#endif  // W3BTRV7_STORE_SQLITE_SCHEMA_H
