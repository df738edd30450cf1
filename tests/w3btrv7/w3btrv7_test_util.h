// Helpers for the record manager's tests: position blocks, calls and file definitions.
#ifndef TYDB_TESTS_W3BTRV7_TEST_UTIL_H
#define TYDB_TESTS_W3BTRV7_TEST_UTIL_H

#include <sqlite3.h>
#include <libpq-fe.h>

#include <cctype>
#include <cstdint>
#include <optional>
#include <cstring>
#include <string>
#include <vector>

#include "btrcall.h"
#include "../support/server_integrity.h"
#include "test_support.h"

namespace w3btest {

struct PositionBlock {
    uint8_t bytes[btr::kPositionBlockSize] = {};
};

// A key segment for a Create buffer.
inline BtrKeySpec Segment(int position, int length, uint16_t flags, uint8_t type = btr::kTypeString,
                          uint8_t nullValue = 0) {
    BtrKeySpec spec{};
    spec.position = static_cast<int16_t>(position);
    spec.length = static_cast<int16_t>(length);
    spec.flags = static_cast<uint16_t>(flags | btr::kKeyFlagExtendedType);
    spec.extendedType = type;
    spec.nullValue = nullValue;
    return spec;
}

struct Definition {
    BtrFileSpec file{};
    std::vector<BtrKeySpec> segments;
    std::vector<std::vector<uint8_t>> acs;

    Definition(int recordLength, int keys, uint16_t flags = 0, int pageSize = 4096) {
        file.recordLength = static_cast<int16_t>(recordLength);
        file.pageSize = static_cast<int16_t>(pageSize);
        file.keyCount = static_cast<uint8_t>(keys);
        file.fileFlags = flags;
    }

    std::string Bytes() const {
        std::string out(reinterpret_cast<const char*>(&file), sizeof file);
        for (const BtrKeySpec& s : segments) out.append(reinterpret_cast<const char*>(&s), sizeof s);
        for (const auto& a : acs) out.append(reinterpret_cast<const char*>(a.data()), a.size());
        return out;
    }
};

inline std::vector<uint8_t> UpperAcs() {
    std::vector<uint8_t> acs(btr::kAcsSize);
    acs[0] = btr::kAcsUserDefined;
    std::memcpy(acs.data() + 1, "UPPER   ", 8);
    for (int i = 0; i < 256; ++i) acs[9 + i] = static_cast<uint8_t>(i >= 'a' && i <= 'z' ? i - 32 : i);
    return acs;
}

inline int16_t Call(uint16_t op, PositionBlock& pb, void* data, uint32_t* length, void* key, uint8_t keyLength,
                    int8_t keyNumber) {
    return BTRCALL(op, pb.bytes, data, length, key, keyLength, keyNumber);
}

inline int16_t Create(const std::string& path, const Definition& def, int8_t mode = 0) {
    PositionBlock pb;
    std::string bytes = def.Bytes();
    uint32_t length = static_cast<uint32_t>(bytes.size());
    char key[256] = {};
    std::strncpy(key, path.c_str(), 255);
    return Call(btr::kOpCreate, pb, bytes.data(), &length, key, 255, mode);
}

inline int16_t Open(PositionBlock& pb, const std::string& path, int8_t mode = 0, uint16_t bias = 0) {
    char key[256] = {};
    std::strncpy(key, path.c_str(), 255);
    uint32_t length = 0;
    char data[1] = {};
    return Call(static_cast<uint16_t>(btr::kOpOpen + bias), pb, data, &length, key, 255, mode);
}

inline int16_t Close(PositionBlock& pb) {
    uint32_t length = 0;
    return Call(btr::kOpClose, pb, nullptr, &length, nullptr, 0, 0);
}

// A record whose bytes are given; the rest zero up to `length`.
inline std::string Record(size_t length, const std::string& start) {
    std::string r(length, '\0');
    std::memcpy(r.data(), start.data(), std::min(start.size(), length));
    return r;
}

inline int16_t Insert(PositionBlock& pb, std::string record, int8_t keyNumber = 0, std::string* key = nullptr) {
    uint32_t length = static_cast<uint32_t>(record.size());
    char keyBuffer[256] = {};
    int16_t status = Call(btr::kOpInsert, pb, record.data(), &length, keyBuffer, 255, keyNumber);
    if (key != nullptr) *key = keyBuffer;
    return status;
}

// The result of a read: status, record and key buffer.
struct Read {
    int16_t status = -1;
    std::string record;
    std::string key;
    uint32_t length = 0;
};

inline Read Get(uint16_t op, PositionBlock& pb, int8_t keyNumber, const std::string& key = std::string(),
                uint32_t capacity = 1024) {
    Read r;
    std::string data(capacity, '\0');
    std::string keyBuffer(255, '\0');
    std::memcpy(keyBuffer.data(), key.data(), std::min<size_t>(key.size(), 255));
    r.length = capacity;
    r.status = Call(op, pb, data.data(), &r.length, keyBuffer.data(), 255, keyNumber);
    if (r.length <= capacity) r.record = data.substr(0, r.length);
    r.key = keyBuffer;
    return r;
}

inline uint32_t Position(PositionBlock& pb, int16_t* status = nullptr) {
    uint8_t data[4] = {};
    uint32_t length = 4;
    int16_t s = Call(btr::kOpGetPosition, pb, data, &length, nullptr, 0, 0);
    if (status != nullptr) *status = s;
    uint32_t value;
    std::memcpy(&value, data, 4);
    return value;
}

inline std::string U16(uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); }
inline std::string U32(uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

// A filter term of an extended read's descriptor.
struct Term {
    uint8_t type;
    uint16_t length;
    uint16_t offset;
    uint8_t code;
    std::string value;  // the value, or with +32 the other field's offset
    uint8_t connector = 0;
};

// The descriptor of an extended read: where it starts ("EG", "UC"), its filter, how many records
// it asks for and the (length, offset) of each field to extract.
inline std::string Descriptor(const char* start, uint16_t rejects, const std::vector<Term>& terms, uint16_t wanted,
                              const std::vector<std::pair<uint16_t, uint16_t>>& fields) {
    std::string body = U16(rejects) + U16(static_cast<uint16_t>(terms.size()));
    for (const Term& t : terms) {
        body += std::string(1, static_cast<char>(t.type)) + U16(t.length) + U16(t.offset);
        body += std::string(1, static_cast<char>(t.code)) + std::string(1, static_cast<char>(t.connector)) + t.value;
    }
    body += U16(wanted) + U16(static_cast<uint16_t>(fields.size()));
    for (auto [length, offset] : fields) body += U16(length) + U16(offset);
    return U16(static_cast<uint16_t>(body.size() + 4)) + start + body;
}

// The server's verdict on a file of a served folder ("ok" when sound): no key entry leads to a
// record that is not there, and no record is on a key twice.
inline std::string ServerIntegrityCheck(const std::string& path, const std::string& settings) {
    std::string connection, schema;
    size_t at = 0;
    while (at < settings.size()) {
        size_t end = settings.find('\n', at);
        if (end == std::string::npos) end = settings.size();
        std::string line = settings.substr(at, end - at);
        at = end + 1;
        if (line.rfind("connection = ", 0) == 0) connection = line.substr(13);
        if (line.rfind("schema = ", 0) == 0) schema = line.substr(9);
    }
    std::string name = path.substr(path.find_last_of('/') + 1);
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    PGconn* conn = PQconnectdb(connection.c_str());
    const char* values[] = {name.c_str()};
    PGresult* result =
        PQexecParams(conn, testsupport::ServerIntegrityQuery(schema).c_str(), 1, nullptr, values, nullptr, nullptr, 0);
    std::string verdict = "cannot check: " + std::string(PQerrorMessage(conn));
    if (PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1 && PQnfields(result) == 3) {
        verdict = testsupport::ServerIntegrityVerdict(PQgetvalue(result, 0, 0), PQgetvalue(result, 0, 1),
                                                      PQgetvalue(result, 0, 2));
    }
    PQclear(result);
    PQfinish(conn);
    return verdict;
}

// The store's own verdict on a data file ("ok" when sound): SQLite's integrity check straight
// from the database, opened for writing so that a journal left by a killed writer is recovered
// first, as the record manager would; for a file of a served folder, the server's.
inline std::string IntegrityCheck(const std::string& path) {
    std::optional<std::string> settings =
        testsupport::ReadFileBytes(path.substr(0, path.find_last_of('/')) + "/w3btrv7.server");
    if (settings) return ServerIntegrityCheck(path, *settings);
    sqlite3* db = nullptr;
    std::string result = "cannot open";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW) {
            result = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return result;
}

// Whether a data file is at `path`, in whichever store keeps its folder.
inline bool DataFileIsThere(const std::string& path) {
    PositionBlock pb;
    int16_t status = Open(pb, path);
    if (status == 0) Close(pb);
    return status != btr::kStatusFileNotFound;
}

}  // namespace w3btest

#endif  // TYDB_TESTS_W3BTRV7_TEST_UTIL_H
