#include "store/postgres/pg_schema.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "keys/key_codec.h"

namespace w3b {

namespace {

// Serialises schema creation between workstations: two sessions creating the same schema at
// once would otherwise collide in the server's catalogue.
constexpr char kSchemaLockKey[] = "2005468470";

// A folder made before files had owners gets the table when a file of it is first given one.
std::string OwnerTableSql(const std::string& s) {
    return "CREATE TABLE IF NOT EXISTS " + s + ".w3b_owner(file integer PRIMARY KEY REFERENCES " + s +
           ".w3b_file ON DELETE CASCADE, level smallint NOT NULL, rounds integer NOT NULL, salt bytea NOT NULL,"
           " hash bytea NOT NULL);";
}

// Ids of files are unique across the database, since they name the files' advisory locks,
// which every schema of the database shares.
std::string SchemaSql(const std::string& s) {
    return "CREATE SCHEMA IF NOT EXISTS w3btrv7;"
           "CREATE SEQUENCE IF NOT EXISTS w3btrv7.file_ids AS integer;"
           // Raises `state` unless `ok`: a refusal of the record manager's inside a batch of
           // statements, which makes the server skip the rest of the batch. `expect` is plain
           // SQL, which the server writes into the statement that calls it, so that a write pays
           // for a call of the procedural language only when it is refused (a call on every
           // statement cost about a twentieth of an Insert's time on the server).
           "CREATE OR REPLACE FUNCTION w3btrv7.refuse(state text) RETURNS boolean"
           " LANGUAGE plpgsql AS $f$ BEGIN RAISE EXCEPTION 'w3btrv7 refusal %', state USING ERRCODE = state; END $f$;"
           "CREATE OR REPLACE FUNCTION w3btrv7.expect(ok boolean, state text) RETURNS boolean"
           " LANGUAGE sql AS $f$ SELECT CASE WHEN ok THEN true ELSE w3btrv7.refuse(state) END $f$;"
           "CREATE SCHEMA IF NOT EXISTS " +
           s +
           ";"
           "CREATE TABLE IF NOT EXISTS " +
           s +
           ".w3b_file(id integer PRIMARY KEY DEFAULT nextval('w3btrv7.file_ids'),"
           " name text NOT NULL UNIQUE, spec bytea NOT NULL, version smallint NOT NULL,"
           " generation bigint NOT NULL DEFAULT 1);"
           "CREATE TABLE IF NOT EXISTS " +
           s + ".w3b_keyseg(file integer NOT NULL REFERENCES " + s +
           ".w3b_file ON DELETE CASCADE, key smallint NOT NULL, segment smallint NOT NULL, spec bytea NOT NULL,"
           " PRIMARY KEY (file, key, segment));"
           "CREATE TABLE IF NOT EXISTS " +
           s + ".w3b_acs(file integer NOT NULL REFERENCES " + s +
           ".w3b_file ON DELETE CASCADE, number smallint NOT NULL, block bytea NOT NULL,"
           " PRIMARY KEY (file, number));"
           "CREATE TABLE IF NOT EXISTS " +
           s +
           ".w3b_record(file integer NOT NULL, position bigint NOT NULL,"
           " data bytea NOT NULL, PRIMARY KEY (file, position));"
           "CREATE TABLE IF NOT EXISTS " +
           s +
           ".w3b_entry(file integer NOT NULL, key smallint NOT NULL,"
           " value bytea NOT NULL, seq bigint NOT NULL, position bigint NOT NULL,"
           " PRIMARY KEY (file, key, value, seq));" +
           OwnerTableSql(s);
}

int16_t WriteAcs(PgSession& session, int32_t id, const std::vector<AcsBlock>& blocks, size_t firstNumber) {
    std::string sql = "INSERT INTO " + session.Schema() + ".w3b_acs(file, number, block) VALUES($1, $2, $3)";
    for (size_t i = 0; i < blocks.size(); ++i) {
        PgParams params;
        params.Int4(id).Int2(static_cast<int16_t>(firstNumber + i)).Bytes(blocks[i].data(), blocks[i].size());
        if (int16_t status = session.Run(sql, params); status != btr::kStatusSuccess) return status;
    }
    return btr::kStatusSuccess;
}

int16_t WriteKeySegments(PgSession& session, int32_t id, int number, const std::vector<BtrKeySpec>& specs) {
    std::string sql =
        "INSERT INTO " + session.Schema() + ".w3b_keyseg(file, key, segment, spec) VALUES($1, $2, $3, $4)";
    for (size_t s = 0; s < specs.size(); ++s) {
        PgParams params;
        params.Int4(id)
            .Int2(static_cast<int16_t>(number))
            .Int2(static_cast<int16_t>(s))
            .Bytes(&specs[s], sizeof(BtrKeySpec));
        if (int16_t status = session.Run(sql, params); status != btr::kStatusSuccess) return status;
    }
    return btr::kStatusSuccess;
}

bool ReadFileRow(PgSession& session, int32_t id, FileDef* def) {
    PgResult result;
    PgParams params;
    params.Int4(id);
    if (session.Run("SELECT spec, version FROM " + session.Schema() + ".w3b_file WHERE id = $1", params, &result) !=
            btr::kStatusSuccess ||
        result.Rows() != 1) {
        return false;
    }
    std::string spec;
    result.Bytes(0, 0, &spec);
    if (spec.size() != sizeof(BtrFileSpec)) return false;
    std::memcpy(&def->spec, spec.data(), sizeof def->spec);
    def->versionByte = static_cast<uint8_t>(result.Int(0, 1));
    return true;
}

bool ReadAcs(PgSession& session, int32_t id, FileDef* def) {
    PgResult result;
    PgParams params;
    params.Int4(id);
    if (session.Run("SELECT block FROM " + session.Schema() + ".w3b_acs WHERE file = $1 ORDER BY number", params,
                    &result) != btr::kStatusSuccess) {
        return false;
    }
    std::string block;
    for (int row = 0; row < result.Rows(); ++row) {
        result.Bytes(row, 0, &block);
        if (block.size() != static_cast<size_t>(btr::kAcsSize)) return false;
        AcsBlock acs;
        std::memcpy(acs.data(), block.data(), acs.size());
        def->acs.push_back(acs);
    }
    return true;
}

bool ReadKeys(PgSession& session, int32_t id, FileDef* def) {
    PgResult result;
    PgParams params;
    params.Int4(id);
    if (session.Run("SELECT key, spec FROM " + session.Schema() + ".w3b_keyseg WHERE file = $1 ORDER BY key, segment",
                    params, &result) != btr::kStatusSuccess) {
        return false;
    }
    int current = -1;
    std::vector<BtrKeySpec> specs;
    std::string bytes;
    for (int row = 0; row <= result.Rows(); ++row) {
        int key = row < result.Rows() ? static_cast<int>(result.Int(row, 0)) : -1;
        if (key != current && !specs.empty()) {
            def->AddKey(current, specs);
            specs.clear();
        }
        if (row == result.Rows()) break;
        result.Bytes(row, 1, &bytes);
        if (bytes.size() != sizeof(BtrKeySpec) || key < 0 || key >= kKeyNumberSlots) return false;
        current = key;
        BtrKeySpec spec;
        std::memcpy(&spec, bytes.data(), sizeof spec);
        specs.push_back(spec);
    }
    return true;
}

bool ReadOwner(PgSession& session, int32_t id, FileDef* def) {
    PgResult result;
    PgParams params;
    params.Text(session.Folder().schema);
    // Asked so that a folder without the table answers "no owner" instead of an error, which
    // would spoil a transaction the read is part of.
    if (session.Run("SELECT to_regclass(quote_ident($1) || '.w3b_owner') IS NOT NULL", params, &result) !=
        btr::kStatusSuccess) {
        return false;
    }
    if (!result.Bool(0, 0)) return true;
    PgParams idOnly;
    idOnly.Int4(id);
    if (session.Run("SELECT level, rounds, salt, hash FROM " + session.Schema() + ".w3b_owner WHERE file = $1", idOnly,
                    &result) != btr::kStatusSuccess) {
        return false;
    }
    if (result.Rows() == 0) return true;
    int64_t level = result.Int(0, 0);
    if (level < 0 || level > static_cast<int>(OwnerLevel::kReadWithoutNameEncrypted)) return false;
    def->owner.present = true;
    def->owner.level = static_cast<OwnerLevel>(level);
    def->owner.rounds = static_cast<uint32_t>(result.Int(0, 1));
    result.Bytes(0, 2, &def->owner.salt);
    result.Bytes(0, 3, &def->owner.hash);
    return def->owner.rounds > 0 && !def->owner.hash.empty();
}

int16_t WriteOwner(PgSession& session, int32_t id, const OwnerSeal& owner) {
    if (int16_t status = session.Execute(OwnerTableSql(session.Schema())); status != btr::kStatusSuccess) return status;
    PgParams idOnly;
    idOnly.Int4(id);
    if (int16_t status = session.Run("DELETE FROM " + session.Schema() + ".w3b_owner WHERE file = $1", idOnly);
        status != btr::kStatusSuccess || !owner.present) {
        return status;
    }
    PgParams params;
    params.Int4(id)
        .Int2(static_cast<int16_t>(owner.level))
        .Int4(static_cast<int32_t>(owner.rounds))
        .Bytes(owner.salt.data(), owner.salt.size())
        .Bytes(owner.hash.data(), owner.hash.size());
    return session.Run(
        "INSERT INTO " + session.Schema() + ".w3b_owner(file, level, rounds, salt, hash) VALUES($1, $2, $3, $4, $5)",
        params);
}

// Every change of a file's definition (a key built or dropped, an owner) raises its
// generation, so that the other workstations read the definition again.
int16_t RaiseGeneration(PgSession& session, int32_t id) {
    PgParams params;
    params.Int4(id);
    return session.Run("UPDATE " + session.Schema() + ".w3b_file SET generation = generation + 1 WHERE id = $1",
                       params);
}

// Whether the folder's schema and its tables are there yet.
int16_t HasFolderSchema(PgSession& session, bool* has) {
    PgResult exists;
    PgParams schema;
    schema.Text(session.Folder().schema);
    int16_t status = session.Run("SELECT to_regclass(quote_ident($1) || '.w3b_file') IS NOT NULL", schema, &exists);
    *has = status == btr::kStatusSuccess && exists.Bool(0, 0);
    return status;
}

// Removes a file of `name` that no process has open, with everything it holds.
int16_t RemoveOldFile(PgSession& session, const std::string& name) {
    const std::string& s = session.Schema();
    PgResult result;
    PgParams params;
    params.Text(name);
    if (int16_t status = session.Run("SELECT id FROM " + s + ".w3b_file WHERE name = $1 FOR UPDATE", params, &result);
        status != btr::kStatusSuccess || result.Rows() == 0) {
        return status;
    }
    int32_t id = static_cast<int32_t>(result.Int(0, 0));
    PgParams idOnly;
    idOnly.Int4(id);
    // Every open holds the file's open lock shared; nobody may have it while it is replaced.
    if (int16_t status = session.Run("SELECT pg_try_advisory_xact_lock($1, 0)", idOnly, &result);
        status != btr::kStatusSuccess || !result.Bool(0, 0)) {
        return status != btr::kStatusSuccess ? status : btr::kStatusFileInUse;
    }
    for (const char* table : {"w3b_entry", "w3b_record"}) {
        std::string sql = "DELETE FROM " + s + "." + table + " WHERE file = $1";
        if (int16_t status = session.Run(sql, idOnly); status != btr::kStatusSuccess) return status;
    }
    if (int16_t status = session.Execute("DROP SEQUENCE IF EXISTS " + PositionSequence(session, id));
        status != btr::kStatusSuccess) {
        return status;
    }
    return session.Run("DELETE FROM " + s + ".w3b_file WHERE id = $1", idOnly);
}

}  // namespace

std::string PositionSequence(PgSession& session, int32_t id) {
    return session.Schema() + ".w3b_position_" + std::to_string(id);
}

int16_t EnsureFolderSchema(PgSession& session) {
    int16_t status = session.Execute(std::string("BEGIN; SELECT pg_advisory_xact_lock(") + kSchemaLockKey + ");" +
                                     SchemaSql(session.Schema()) + "COMMIT");
    if (status != btr::kStatusSuccess) session.Execute("ROLLBACK");
    return status;
}

int16_t FindServerFile(PgSession& session, const std::string& name, int32_t* id, int64_t* generation, bool* found) {
    *found = false;
    // A folder whose schema does not exist yet has no files.
    bool hasSchema = false;
    if (int16_t status = HasFolderSchema(session, &hasSchema); status != btr::kStatusSuccess || !hasSchema) {
        return status;
    }
    PgResult result;
    PgParams params;
    params.Text(name);
    int16_t status =
        session.Run("SELECT id, generation FROM " + session.Schema() + ".w3b_file WHERE name = $1", params, &result);
    if (status != btr::kStatusSuccess || result.Rows() == 0) return status;
    *id = static_cast<int32_t>(result.Int(0, 0));
    *generation = result.Int(0, 1);
    *found = true;
    return btr::kStatusSuccess;
}

int16_t ReadServerDefinition(PgSession& session, int32_t id, std::unique_ptr<FileDef>* out) {
    auto def = std::make_unique<FileDef>();
    if (!ReadFileRow(session, id, def.get()) || !ReadAcs(session, id, def.get()) || !ReadKeys(session, id, def.get()) ||
        !ReadOwner(session, id, def.get())) {
        return btr::kStatusNotABtrieveFile;
    }
    def->spec.keyCount = static_cast<uint8_t>(def->keys.size());
    if (ValidateDefinition(*def) != btr::kStatusSuccess) return btr::kStatusNotABtrieveFile;
    *out = std::move(def);
    return btr::kStatusSuccess;
}

int16_t WriteServerFile(PgSession& session, const std::string& name, const FileDef& def, IfExists ifExists,
                        int32_t* newId) {
    if (ifExists == IfExists::kReplace) {
        if (int16_t status = RemoveOldFile(session, name); status != btr::kStatusSuccess) return status;
    }
    PgResult result;
    PgParams params;
    params.Text(name).Bytes(&def.spec, sizeof def.spec).Int2(def.versionByte);
    // The name is unique: a file of that name, even one another workstation made a moment ago,
    // is never replaced here unless asked for.
    int16_t status = session.Run(
        "INSERT INTO " + session.Schema() + ".w3b_file(name, spec, version) VALUES($1, $2, $3) RETURNING id", params,
        &result);
    if (status == btr::kStatusDuplicateKey) return btr::kStatusFileAlreadyExists;
    if (status != btr::kStatusSuccess) return status;
    int32_t id = static_cast<int32_t>(result.Int(0, 0));
    if (newId != nullptr) *newId = id;
    if ((status = session.Execute("CREATE SEQUENCE " + PositionSequence(session, id) + " MINVALUE 1")) !=
        btr::kStatusSuccess) {
        return status;
    }
    if ((status = WriteAcs(session, id, def.acs, 0)) != btr::kStatusSuccess) return status;
    for (const KeyInfo& key : def.keys) {
        if ((status = WriteKeySegments(session, id, key.number, key.specs)) != btr::kStatusSuccess) return status;
    }
    return def.owner.present ? WriteOwner(session, id, def.owner) : btr::kStatusSuccess;
}

int16_t SetServerOwner(PgSession& session, int32_t id, const OwnerSeal& owner) {
    if (int16_t status = WriteOwner(session, id, owner); status != btr::kStatusSuccess) return status;
    return RaiseGeneration(session, id);
}

int16_t RemoveServerFile(PgSession& session, const std::string& name) { return RemoveOldFile(session, name); }

int16_t ListServerFiles(PgSession& session, std::vector<std::string>* names) {
    names->clear();
    bool hasSchema = false;
    if (int16_t status = HasFolderSchema(session, &hasSchema); status != btr::kStatusSuccess || !hasSchema) {
        return status;
    }
    PgResult result;
    PgParams none;
    int16_t status = session.Run("SELECT name FROM " + session.Schema() + ".w3b_file ORDER BY name", none, &result);
    for (int row = 0; status == btr::kStatusSuccess && row < result.Rows(); ++row) {
        names->emplace_back();
        result.Bytes(row, 0, &names->back());
    }
    return status;
}

int16_t AddServerKey(PgSession& session, int32_t id, int number, const std::vector<BtrKeySpec>& specs,
                     const std::vector<AcsBlock>& newAcs, size_t firstAcsNumber) {
    if (int16_t status = WriteAcs(session, id, newAcs, firstAcsNumber); status != btr::kStatusSuccess) return status;
    if (int16_t status = WriteKeySegments(session, id, number, specs); status != btr::kStatusSuccess) return status;
    return RaiseGeneration(session, id);
}

int16_t DropServerKey(PgSession& session, int32_t id, const FileDef& def, int number, Renumbering renumbering) {
    const std::string& s = session.Schema();
    PgParams params;
    params.Int4(id).Int2(static_cast<int16_t>(number));
    for (const char* table : {"w3b_entry", "w3b_keyseg"}) {
        std::string sql = "DELETE FROM " + s + "." + table + " WHERE file = $1 AND key = $2";
        if (int16_t status = session.Run(sql, params); status != btr::kStatusSuccess) return status;
    }
    if (renumbering == Renumbering::kCloseTheGap) {
        // One key at a time, upwards: each moves into the number just left free, so no entry
        // ever meets another of the same value and sequence.
        for (const KeyInfo& key : def.keys) {
            if (key.number <= number) continue;
            PgParams move;
            move.Int4(id).Int2(static_cast<int16_t>(key.number));
            for (const char* table : {"w3b_entry", "w3b_keyseg"}) {
                std::string sql = "UPDATE " + s + "." + table + " SET key = key - 1 WHERE file = $1 AND key = $2";
                if (int16_t status = session.Run(sql, move); status != btr::kStatusSuccess) return status;
            }
        }
    }
    return RaiseGeneration(session, id);
}

int16_t FillServerKey(PgSession& session, int32_t id, const KeyInfo& key, size_t recordLength) {
    const std::string& s = session.Schema();
    PgResult records;
    PgParams idOnly;
    idOnly.Int4(id);
    if (int16_t status =
            session.Run("SELECT position, data FROM " + s + ".w3b_record WHERE file = $1", idOnly, &records);
        status != btr::kStatusSuccess) {
        return status;
    }
    // Encode every record, sort, then fill the key in its own order; records already in the
    // file join their group of equal values in record order.
    std::vector<std::pair<std::string, int64_t>> entries;
    std::string data;
    for (int row = 0; row < records.Rows(); ++row) {
        records.Bytes(row, 1, &data);
        if (data.size() < recordLength) return btr::kStatusIoError;
        const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
        if (IsNullKey(key.def, bytes)) continue;
        entries.emplace_back(std::string(), records.Int(row, 0));
        EncodeRecordKey(key.def, bytes, &entries.back().first);
    }
    std::sort(entries.begin(), entries.end());
    std::vector<int64_t> sequences(entries.size(), 0);
    for (size_t i = 1; i < entries.size(); ++i) {
        if (entries[i].first != entries[i - 1].first) continue;
        if (!key.duplicates) return btr::kStatusDuplicateKey;
        sequences[i] = sequences[i - 1] + 1;
    }
    // Many rows per statement: one round trip per row would make a build of a large file wait
    // on the network far longer than on the server.
    size_t done = 0;
    for (size_t chunk : {size_t{1000}, size_t{100}, size_t{10}, size_t{1}}) {
        std::string sql = "INSERT INTO " + s + ".w3b_entry(file, key, value, seq, position) VALUES";
        for (size_t row = 0; row < chunk; ++row) {
            size_t p = 3 + 3 * row;
            sql += (row == 0 ? "($1, $2, $" : ", ($1, $2, $") + std::to_string(p) + ", $" + std::to_string(p + 1) +
                   ", $" + std::to_string(p + 2) + ")";
        }
        for (; entries.size() - done >= chunk; done += chunk) {
            PgParams params;
            params.Int4(id).Int2(static_cast<int16_t>(key.number));
            for (size_t i = done; i < done + chunk; ++i) {
                params.Bytes(entries[i].first).Int8(sequences[i]).Int8(entries[i].second);
            }
            if (int16_t status = session.Run(sql, params); status != btr::kStatusSuccess) return status;
        }
    }
    return btr::kStatusSuccess;
}

}  // namespace w3b
