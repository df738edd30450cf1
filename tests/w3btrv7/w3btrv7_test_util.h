// Helpers for the record manager's tests: position blocks, calls and file definitions.
#ifndef TYDB_TESTS_W3BTRV7_TEST_UTIL_H
#define TYDB_TESTS_W3BTRV7_TEST_UTIL_H

#include <sqlite3.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "btrcall.h"
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

// SQLite's own verdict on a data file, straight from the database ("ok" when sound). Opened for
// writing so that a journal left by a killed writer is recovered first, as the record manager would.
inline std::string IntegrityCheck(const std::string& path) {
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

}  // namespace w3btest

#endif  // TYDB_TESTS_W3BTRV7_TEST_UTIL_H
