// pg_schema.h: the server store's layout, the one place it is written (w3btrv7's README
// describes the same tables). Every folder is a schema; every data file of the folder is a row
// of its w3b_file, and its keys, collating sequences, records and key entries are rows of the
// schema's other tables, tagged with the file's id.
#ifndef W3BTRV7_STORE_POSTGRES_PG_SCHEMA_H
#define W3BTRV7_STORE_POSTGRES_PG_SCHEMA_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "store/file_connection.h"
#include "store/file_def.h"
#include "store/postgres/pg_session.h"

namespace w3b {

// The sequence that hands out the record positions of file `id`: never one twice, and without
// a row that every insert would have to update.
std::string PositionSequence(PgSession& session, int32_t id);

// Creates the folder's schema and its tables when they are not there yet.
int16_t EnsureFolderSchema(PgSession& session);

// The id and definition generation of the file named `name`; `found` false when the folder
// has no such file (or no schema yet).
int16_t FindServerFile(PgSession& session, const std::string& name, int32_t* id, int64_t* generation, bool* found);

// Reads the definition of file `id`. 30 when it is not one Create could have made.
int16_t ReadServerDefinition(PgSession& session, int32_t id, std::unique_ptr<FileDef>* out);

// Writes a new file `name` holding `def` and no records inside a transaction the caller has
// begun. A file of that name answers 59, or is replaced when no process has it open (85 when
// one has), as `ifExists` says.
// `*id` (when asked for) is the new file's id.
int16_t WriteServerFile(PgSession& session, const std::string& name, const FileDef& def, IfExists ifExists,
                        int32_t* id = nullptr);

// Removes the file `name` with everything it holds, inside a transaction the caller has begun;
// 85 while another session has it open.
int16_t RemoveServerFile(PgSession& session, const std::string& name);

// The names of the folder's files, in name order (none while it has no schema).
int16_t ListServerFiles(PgSession& session, std::vector<std::string>* names);

// Adds key `number` (its segments, and the collating sequences it brings numbered from
// `firstAcsNumber`) to file `id` inside a write the caller has begun.
int16_t AddServerKey(PgSession& session, int32_t id, int number, const std::vector<BtrKeySpec>& specs,
                     const std::vector<AcsBlock>& newAcs, size_t firstAcsNumber);

// Drops key `number` of `def` with its entries; with kCloseTheGap the keys above move down.
int16_t DropServerKey(PgSession& session, int32_t id, const FileDef& def, int number, Renumbering renumbering);

// Gives file `id` the owner `owner` (none when it is not present) inside a write the caller has
// begun.
int16_t SetServerOwner(PgSession& session, int32_t id, const OwnerSeal& owner);

// Fills key `key` of file `id` from the records already in the file. 5 when a key without
// duplicates meets a value twice.
int16_t FillServerKey(PgSession& session, int32_t id, const KeyInfo& key, size_t recordLength);

}  // namespace w3b

#endif  // W3BTRV7_STORE_POSTGRES_PG_SCHEMA_H
