#include "store/sqlite/schema.h"

#include <cstring>

#include "store/sqlite/statement.h"

namespace w3b {

namespace {

constexpr char kFormatName[] = "w3btrv7";

const char* const kFileTables =
    "CREATE TABLE w3b_file(id INTEGER PRIMARY KEY CHECK (id = 1), format TEXT NOT NULL,"
    " spec BLOB NOT NULL, version INTEGER NOT NULL);"
    "CREATE TABLE w3b_keyseg(key INTEGER NOT NULL, segment INTEGER NOT NULL, spec BLOB NOT NULL,"
    " PRIMARY KEY (key, segment)) WITHOUT ROWID;"
    "CREATE TABLE w3b_acs(number INTEGER PRIMARY KEY, block BLOB NOT NULL);"
    "CREATE TABLE records(position INTEGER PRIMARY KEY, data BLOB NOT NULL);";

std::string CreateKeyTableSql(int number) {
    return "CREATE TABLE " + KeyTable(number) +
           "(value BLOB NOT NULL, seq INTEGER NOT NULL, position INTEGER NOT NULL,"
           " PRIMARY KEY (value, seq)) WITHOUT ROWID";
}

int WriteFileRow(sqlite3* db, const FileDef& def) {
    Statement insert;
    int rc = insert.Prepare(db, "INSERT INTO w3b_file(id, format, spec, version) VALUES(1, ?1, ?2, ?3)");
    if (rc != SQLITE_OK) return rc;
    sqlite3_bind_text(insert.Get(), 1, kFormatName, -1, SQLITE_STATIC);
    BindBlob(insert.Get(), 2, &def.spec, sizeof def.spec);
    sqlite3_bind_int(insert.Get(), 3, def.versionByte);
    rc = sqlite3_step(insert.Get());
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int WriteAcs(sqlite3* db, const std::vector<AcsBlock>& blocks, size_t firstNumber) {
    Statement insert;
    int rc = insert.Prepare(db, "INSERT INTO w3b_acs(number, block) VALUES(?1, ?2)");
    if (rc != SQLITE_OK) return rc;
    for (size_t i = 0; i < blocks.size(); ++i) {
        StatementScope scope(insert.Get());
        sqlite3_bind_int64(insert.Get(), 1, static_cast<int64_t>(firstNumber + i));
        BindBlob(insert.Get(), 2, blocks[i].data(), blocks[i].size());
        if ((rc = sqlite3_step(insert.Get())) != SQLITE_DONE) return rc;
    }
    return SQLITE_OK;
}

// The key's segments and its empty table.
int WriteKey(sqlite3* db, int number, const std::vector<BtrKeySpec>& specs) {
    Statement insert;
    int rc = insert.Prepare(db, "INSERT INTO w3b_keyseg(key, segment, spec) VALUES(?1, ?2, ?3)");
    if (rc != SQLITE_OK) return rc;
    for (size_t s = 0; s < specs.size(); ++s) {
        StatementScope scope(insert.Get());
        sqlite3_bind_int(insert.Get(), 1, number);
        sqlite3_bind_int64(insert.Get(), 2, static_cast<int64_t>(s));
        BindBlob(insert.Get(), 3, &specs[s], sizeof(BtrKeySpec));
        if ((rc = sqlite3_step(insert.Get())) != SQLITE_DONE) return rc;
    }
    return Execute(db, CreateKeyTableSql(number).c_str());
}

bool ReadFileRow(sqlite3* db, FileDef* def) {
    Statement stmt;
    if (stmt.Prepare(db, "SELECT format, spec, version FROM w3b_file WHERE id = 1") != SQLITE_OK) return false;
    if (sqlite3_step(stmt.Get()) != SQLITE_ROW) return false;
    const unsigned char* format = sqlite3_column_text(stmt.Get(), 0);
    std::string spec = ColumnBlob(stmt.Get(), 1);
    if (format == nullptr || std::strcmp(reinterpret_cast<const char*>(format), kFormatName) != 0 ||
        spec.size() != sizeof(BtrFileSpec)) {
        return false;
    }
    std::memcpy(&def->spec, spec.data(), sizeof def->spec);
    def->versionByte = static_cast<uint8_t>(sqlite3_column_int(stmt.Get(), 2));
    return true;
}

// The owner's table exists only while the file has an owner, so that a file made before owners
// existed reads as one without.
bool ReadOwner(sqlite3* db, FileDef* def) {
    Statement stmt;
    if (stmt.Prepare(db, "SELECT level, rounds, salt, hash FROM w3b_owner WHERE id = 1") != SQLITE_OK) {
        return std::strstr(sqlite3_errmsg(db), "no such table") != nullptr;
    }
    if (sqlite3_step(stmt.Get()) != SQLITE_ROW) return true;
    int level = sqlite3_column_int(stmt.Get(), 0);
    if (level < 0 || level > static_cast<int>(OwnerLevel::kReadWithoutNameEncrypted)) return false;
    def->owner.present = true;
    def->owner.level = static_cast<OwnerLevel>(level);
    def->owner.rounds = static_cast<uint32_t>(sqlite3_column_int64(stmt.Get(), 1));
    def->owner.salt = ColumnBlob(stmt.Get(), 2);
    def->owner.hash = ColumnBlob(stmt.Get(), 3);
    return def->owner.rounds > 0 && !def->owner.hash.empty();
}

bool ReadAcs(sqlite3* db, FileDef* def) {
    Statement stmt;
    if (stmt.Prepare(db, "SELECT block FROM w3b_acs ORDER BY number") != SQLITE_OK) return false;
    while (sqlite3_step(stmt.Get()) == SQLITE_ROW) {
        std::string block = ColumnBlob(stmt.Get(), 0);
        if (block.size() != static_cast<size_t>(btr::kAcsSize)) return false;
        AcsBlock acs;
        std::memcpy(acs.data(), block.data(), acs.size());
        def->acs.push_back(acs);
    }
    return true;
}

bool ReadKeys(sqlite3* db, FileDef* def) {
    Statement stmt;
    if (stmt.Prepare(db, "SELECT key, spec FROM w3b_keyseg ORDER BY key, segment") != SQLITE_OK) return false;
    int current = -1;
    std::vector<BtrKeySpec> specs;
    auto flush = [&]() {
        if (current >= 0 && !specs.empty()) def->AddKey(current, specs);
        specs.clear();
    };
    while (sqlite3_step(stmt.Get()) == SQLITE_ROW) {
        int key = sqlite3_column_int(stmt.Get(), 0);
        std::string bytes = ColumnBlob(stmt.Get(), 1);
        if (bytes.size() != sizeof(BtrKeySpec) || key < 0 || key >= kKeyNumberSlots) return false;
        if (key != current) flush();
        current = key;
        BtrKeySpec spec;
        std::memcpy(&spec, bytes.data(), sizeof spec);
        specs.push_back(spec);
    }
    flush();
    return true;
}

}  // namespace

std::string KeyTable(int number) { return "key_" + std::to_string(number); }

int WriteSchema(sqlite3* db, const FileDef& def) {
    int rc = Execute(db, kFileTables);
    if (rc == SQLITE_OK) rc = WriteFileRow(db, def);
    if (rc == SQLITE_OK) rc = WriteAcs(db, def.acs, 0);
    for (const KeyInfo& key : def.keys) {
        if (rc == SQLITE_OK) rc = WriteKey(db, key.number, key.specs);
    }
    if (rc == SQLITE_OK && def.owner.present) rc = WriteOwnerToSchema(db, def.owner);
    return rc;
}

int WriteOwnerToSchema(sqlite3* db, const OwnerSeal& owner) {
    // Dropped and made again, so that the schema's version changes and every connection reads
    // the definition again.
    int rc = Execute(db, "DROP TABLE IF EXISTS w3b_owner");
    if (rc != SQLITE_OK || !owner.present) return rc;
    rc = Execute(db,
                 "CREATE TABLE w3b_owner(id INTEGER PRIMARY KEY CHECK (id = 1), level INTEGER NOT NULL,"
                 " rounds INTEGER NOT NULL, salt BLOB NOT NULL, hash BLOB NOT NULL)");
    if (rc != SQLITE_OK) return rc;
    Statement insert;
    if ((rc = insert.Prepare(db, "INSERT INTO w3b_owner(id, level, rounds, salt, hash) VALUES(1, ?1, ?2, ?3, ?4)")) !=
        SQLITE_OK) {
        return rc;
    }
    sqlite3_bind_int(insert.Get(), 1, static_cast<int>(owner.level));
    sqlite3_bind_int64(insert.Get(), 2, owner.rounds);
    BindBlob(insert.Get(), 3, owner.salt.data(), owner.salt.size());
    BindBlob(insert.Get(), 4, owner.hash.data(), owner.hash.size());
    rc = sqlite3_step(insert.Get());
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int16_t ReadDefinition(sqlite3* db, std::unique_ptr<FileDef>* out) {
    auto def = std::make_unique<FileDef>();
    if (!ReadFileRow(db, def.get()) || !ReadAcs(db, def.get()) || !ReadKeys(db, def.get()) ||
        !ReadOwner(db, def.get())) {
        return btr::kStatusNotABtrieveFile;
    }
    def->spec.keyCount = static_cast<uint8_t>(def->keys.size());
    if (ValidateDefinition(*def) != btr::kStatusSuccess) return btr::kStatusNotABtrieveFile;
    *out = std::move(def);
    return btr::kStatusSuccess;
}

int AddKeyToSchema(sqlite3* db, int number, const std::vector<BtrKeySpec>& specs, const std::vector<AcsBlock>& newAcs,
                   size_t firstAcsNumber) {
    int rc = WriteAcs(db, newAcs, firstAcsNumber);
    return rc == SQLITE_OK ? WriteKey(db, number, specs) : rc;
}

int DropKeyFromSchema(sqlite3* db, const FileDef& def, int number, Renumbering renumbering) {
    int rc = Execute(db, ("DROP TABLE " + KeyTable(number)).c_str());
    if (rc != SQLITE_OK) return rc;
    rc = Execute(db, ("DELETE FROM w3b_keyseg WHERE key = " + std::to_string(number)).c_str());
    if (rc != SQLITE_OK || renumbering == Renumbering::kKeepNumbers) return rc;
    for (const KeyInfo& key : def.keys) {
        if (key.number <= number) continue;
        std::string sql = "ALTER TABLE " + KeyTable(key.number) + " RENAME TO " + KeyTable(key.number - 1) +
                          "; UPDATE w3b_keyseg SET key = " + std::to_string(key.number - 1) +
                          " WHERE key = " + std::to_string(key.number);
        if ((rc = Execute(db, sql.c_str())) != SQLITE_OK) return rc;
    }
    return SQLITE_OK;
}

}  // namespace w3b
