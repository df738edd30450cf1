// create_buffer_fuzz: arbitrary bytes as the data buffer of Create and of Create Index.
//
// Input: one byte for Create's key number (its mode), two for how many of the following bytes
// are the Create buffer, then one byte for Create Index's key number, and the rest is the
// Create Index buffer. When that byte's high bit is set and Create made a file, the rest instead
// damages the definition stored in that file, which must then be refused or work soundly.
//
// A Create that answers 0 must have made a file that opens, whose Stat gives back the
// definition exactly as sent (keys in key-number order, collating sequences after them), and
// that takes a record of zeros of the declared length: the record is then found through every
// key on which it is not null, and a second one is refused with 5 exactly when a key without
// duplicates holds it. A Create Index that answers 0, on that file or on a file of known records,
// must show its key in Stat, reach every record that is not null for it, and a Drop Index of it
// must give back the Stat reply of before. Every status must be one these operations can give.
//
// With BTRCALL_FUZZ_SERVER_FILE set (served_folder.h) the files are a served folder's, on the
// server that file names.
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "btrcall.h"
#include "fuzz_support.h"
#include "served_folder.h"

namespace {

using fuzzsupport::Check;
using fuzzsupport::Escape;
using fuzzsupport::Fail;
using fuzzsupport::Reader;

constexpr uint32_t kStatCapacity = 100000;

struct Paths {
    std::filesystem::path dir;
    std::string created;  // made from the fuzzed Create buffer
    std::string known;    // a file of known records for Create Index
};

Paths& Files() {
    static Paths paths;
    return paths;
}

struct Block {
    uint8_t bytes[btr::kPositionBlockSize] = {};
};

int16_t Call(uint16_t op, Block& pb, void* data, uint32_t* length, void* key, uint8_t keyLength, int8_t kn) {
    return BTRCALL(op, pb.bytes, data, length, key, keyLength, kn);
}

std::vector<uint8_t> PathKey(const std::string& path) {
    std::vector<uint8_t> key(256, 0);
    std::memcpy(key.data(), path.c_str(), std::min<size_t>(path.size(), 255));
    return key;
}

void RemoveFile(const std::string& path) {
    std::error_code ignored;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) std::filesystem::remove(path + suffix, ignored);
    fuzzsupport::RemoveServedFile(path);
}

bool In(int16_t status, std::initializer_list<int16_t> allowed) {
    return std::find(allowed.begin(), allowed.end(), status) != allowed.end();
}

BtrKeySpec SpecAt(const std::string& bytes, size_t offset) {
    BtrKeySpec spec;
    std::memcpy(&spec, bytes.data() + offset, sizeof spec);
    return spec;
}

// One key as a definition buffer sends it.
struct SentKey {
    int number = 0;
    std::vector<BtrKeySpec> segments;
};

uint8_t TypeOf(const BtrKeySpec& spec) {
    if ((spec.flags & btr::kKeyFlagExtendedType) != 0) return spec.extendedType;
    return (spec.flags & btr::kKeyFlagBinary) != 0 ? btr::kTypeUnsignedBinary : btr::kTypeString;
}

bool HasAutoincrement(const std::vector<SentKey>& keys) {
    for (const SentKey& key : keys) {
        for (const BtrKeySpec& spec : key.segments) {
            if (TypeOf(spec) == btr::kTypeAutoincrement) return true;
        }
    }
    return false;
}

// True when `record` is left out of the key by its null flags (raw bytes against each
// segment's null value).
bool IsNull(const SentKey& key, const std::string& record) {
    uint16_t flags = key.segments.front().flags;
    bool nullAll = (flags & btr::kKeyFlagNullAll) != 0;
    bool nullAny = (flags & btr::kKeyFlagNullAny) != 0;
    if (!nullAll && !nullAny) return false;
    size_t nulls = 0;
    for (const BtrKeySpec& spec : key.segments) {
        bool isNull = true;
        for (int i = 0; i < spec.length; ++i) {
            isNull =
                isNull && static_cast<uint8_t>(record[static_cast<size_t>(spec.position - 1 + i)]) == spec.nullValue;
        }
        nulls += isNull ? 1 : 0;
    }
    return (nullAny && nulls > 0) || (nullAll && nulls == key.segments.size());
}

std::string Stat(Block& pb, int16_t* status) {
    std::vector<uint8_t> data(kStatCapacity);
    uint32_t length = kStatCapacity;
    std::vector<uint8_t> key(255, 0xA5);
    *status = Call(btr::kOpStat, pb, data.data(), &length, key.data(), 255, 0);
    if (*status != 0) return std::string();
    Check(length <= kStatCapacity, "Stat returned more than its buffer");
    return std::string(data.begin(), data.begin() + length);
}

// Reads every entry of key `number` from first to last: the number of records reached.
size_t CountThroughKey(Block& pb, int number, size_t recordLength) {
    std::vector<uint8_t> data(65536);
    std::vector<uint8_t> key(255);
    size_t count = 0;
    uint16_t op = btr::kOpGetFirst;
    for (;;) {
        uint32_t length = static_cast<uint32_t>(data.size());
        int16_t status = Call(op, pb, data.data(), &length, key.data(), 255, static_cast<int8_t>(number));
        op = btr::kOpGetNext;
        if (status == btr::kStatusEndOfFile) return count;
        Check(status == 0, "reading through key " + std::to_string(number) + " answered " + std::to_string(status));
        Check(length >= recordLength, "a record shorter than the record length came back");
        ++count;
        Check(count <= 1000, "key " + std::to_string(number) + " goes on past the records the file holds");
    }
}

void CheckIntegrity(const std::string& path) {
    if (fuzzsupport::FolderIsServed()) {
        std::string verdict = fuzzsupport::ServedIntegrity(path);
        Check(verdict == "ok", "integrity check of " + path + " on the server: " + verdict);
        return;
    }
    sqlite3* db = nullptr;
    std::string result = "<cannot open>";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW) {
            result = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    Check(result == "ok", "integrity check of " + path + ": " + result);
}

// The keys of a Stat reply, each with its segments.
std::vector<SentKey> KeysOfStat(const std::string& reply) {
    BtrFileSpec spec;
    std::memcpy(&spec, reply.data(), sizeof spec);
    std::vector<SentKey> keys;
    size_t offset = sizeof spec;
    for (int k = 0; k < spec.keyCount; ++k) {
        SentKey key;
        for (;;) {
            Check(offset + sizeof(BtrKeySpec) <= reply.size(), "Stat reply too short for its keys");
            key.segments.push_back(SpecAt(reply, offset));
            offset += sizeof(BtrKeySpec);
            if ((key.segments.back().flags & btr::kKeyFlagSegmented) == 0) break;
        }
        key.number = key.segments.front().keyNumber;
        keys.push_back(key);
    }
    return keys;
}

// The definition a Create buffer that was accepted describes, and the Stat reply it must give.
struct Definition {
    BtrFileSpec spec{};
    std::vector<SentKey> keys;  // in key-number order
    std::vector<std::string> acs;
    bool usesAcs = false;
};

Definition ParseSent(const std::string& buffer) {
    Definition def;
    std::memcpy(&def.spec, buffer.data(), sizeof def.spec);
    size_t offset = sizeof(BtrFileSpec);
    size_t acsCount = 0;
    bool specified = (def.spec.fileFlags & btr::kFileFlagSpecifyKeyNumbers) != 0;
    for (int k = 0; k < def.spec.keyCount; ++k) {
        SentKey key;
        for (;;) {
            Check(offset + sizeof(BtrKeySpec) <= buffer.size(), "Create accepted a buffer too short for its keys");
            key.segments.push_back(SpecAt(buffer, offset));
            offset += sizeof(BtrKeySpec);
            if ((key.segments.back().flags & btr::kKeyFlagSegmented) == 0) break;
        }
        key.number = specified ? key.segments.front().keyNumber : k;
        for (const BtrKeySpec& spec : key.segments) {
            Check(spec.position >= 1 && spec.length >= 1 && spec.position + spec.length - 1 <= def.spec.recordLength,
                  "Create accepted a segment outside the record");
        }
        for (const BtrKeySpec& spec : key.segments) {
            if ((spec.flags & btr::kKeyFlagAlternateSequence) == 0) continue;
            def.usesAcs = true;
            bool numbered = (spec.flags & btr::kKeyFlagNoCase) != 0;
            acsCount = std::max<size_t>(acsCount, numbered ? spec.acsNumber + 1u : 1u);
        }
        def.keys.push_back(key);
    }
    for (size_t i = 0; i < acsCount; ++i) {
        Check(offset + btr::kAcsSize <= buffer.size(),
              "Create accepted a buffer too short for its collating sequences");
        def.acs.push_back(buffer.substr(offset, btr::kAcsSize));
        offset += btr::kAcsSize;
    }
    std::stable_sort(def.keys.begin(), def.keys.end(),
                     [](const SentKey& a, const SentKey& b) { return a.number < b.number; });
    return def;
}

std::string ExpectedStat(const Definition& def) {
    BtrFileSpec spec = def.spec;
    spec.fileVersion = 0;
    spec.recordCount = 0;
    spec.unused13 = 0;
    spec.allocation = 0;
    std::string reply(reinterpret_cast<const char*>(&spec), sizeof spec);
    for (const SentKey& key : def.keys) {
        for (BtrKeySpec segment : key.segments) {
            segment.uniqueCount = 0;
            segment.keyNumber = static_cast<int8_t>(key.number);
            reply.append(reinterpret_cast<const char*>(&segment), sizeof segment);
        }
    }
    if (def.usesAcs) {
        for (const std::string& block : def.acs) reply += block;
    }
    return reply;
}

// Create with the fuzzed buffer; when it answers 0, the file must hold up.
bool CreateFromBuffer(int8_t mode, const std::string& buffer) {
    const std::string& path = Files().created;
    RemoveFile(path);
    Block pb;
    std::vector<uint8_t> data(buffer.begin(), buffer.end());
    uint32_t length = static_cast<uint32_t>(data.size());
    std::vector<uint8_t> key = PathKey(path);
    int16_t status = Call(btr::kOpCreate, pb, data.empty() ? nullptr : data.data(), &length, key.data(), 255, mode);
    bool validMode = mode <= 0 && mode >= btr::kCreateNoOverwriteNoTts;
    if (!validMode) {
        Check(status == btr::kStatusInvalidOperation,
              "Create with mode " + std::to_string(mode) + " answered " + std::to_string(status));
        return false;
    }
    Check(In(status, {0, 6, 22, 24, 26, 27, 28, 29, 45, 48, 49}),
          "Create answered " + std::to_string(status) + " for \"" + Escape(buffer) + "\"");
    Check(length == buffer.size(), "Create changed its data length");
    if (status != 0) return false;

    Definition def = ParseSent(buffer);
    Block file;
    length = 0;
    Check(Call(btr::kOpOpen, file, nullptr, &length, key.data(), 255, 0) == 0, "the created file does not open");
    int16_t statStatus;
    std::string reply = Stat(file, &statStatus);
    Check(statStatus == 0, "Stat of the created file answered " + std::to_string(statStatus));
    std::string expected = ExpectedStat(def);
    Check(reply == expected,
          "Stat of the created file gave \"" + Escape(reply) + "\" for the definition \"" + Escape(expected) + "\"");

    // A record of zeros of the declared length.
    size_t recordLength = static_cast<uint16_t>(def.spec.recordLength);
    std::vector<uint8_t> record(recordLength, 0);
    std::vector<uint8_t> keyBuffer(255, 0);
    length = static_cast<uint32_t>(recordLength);
    status = Call(btr::kOpInsert, file, record.data(), &length, keyBuffer.data(), 255, -1);
    Check(status == 0, "Insert of a record of zeros answered " + std::to_string(status));
    std::string stored(record.begin(), record.end());  // with any value the engine assigned
    bool keyOnly = (def.spec.fileFlags & btr::kFileFlagKeyOnly) != 0;
    for (const SentKey& k : def.keys) {
        size_t count = CountThroughKey(file, k.number, recordLength);
        Check(count == (IsNull(k, stored) ? 0u : 1u),
              "key " + std::to_string(k.number) + " reaches " + std::to_string(count) + " records");
    }
    std::vector<uint8_t> data2(65536);
    length = static_cast<uint32_t>(data2.size());
    status = Call(btr::kOpStepFirst, file, data2.data(), &length, keyBuffer.data(), 255, 0);
    Check(status == (keyOnly ? btr::kStatusOperationNotAllowed : 0), "Step First answered " + std::to_string(status));

    // A second record of zeros collides exactly on a key without duplicates that holds it.
    bool collides = false;
    for (const SentKey& k : def.keys) {
        if ((k.segments.front().flags & btr::kKeyFlagDuplicates) == 0 && !IsNull(k, stored)) collides = true;
    }
    std::fill(record.begin(), record.end(), 0);
    length = static_cast<uint32_t>(recordLength);
    status = Call(btr::kOpInsert, file, record.data(), &length, keyBuffer.data(), 255, -1);
    if (HasAutoincrement(def.keys)) {
        Check(In(status, {0, 5}), "second Insert answered " + std::to_string(status));
    } else {
        Check(status == (collides ? btr::kStatusDuplicateKey : 0), "second Insert answered " + std::to_string(status));
    }
    length = 0;
    Check(Call(btr::kOpClose, file, nullptr, &length, nullptr, 0, 0) == 0, "Close");
    CheckIntegrity(path);
    return true;
}

// Damages the definition stored in the SQLite file at `path`: its key segments with the bytes
// `take` gives, and its file specification when `fileSpecLeft` says enough bytes are left.
void DamageStoredDefinition(const std::string& path, const std::function<std::string(size_t)>& take,
                            const std::function<bool()>& fileSpecLeft) {
    sqlite3* db = nullptr;
    Check(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK, "open to damage");
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "UPDATE w3b_keyseg SET spec = ?1 WHERE key = ?2 AND segment = ?3", -1, &stmt, nullptr);
    std::vector<std::pair<int, int>> segments;
    sqlite3_stmt* list = nullptr;
    sqlite3_prepare_v2(db, "SELECT key, segment FROM w3b_keyseg", -1, &list, nullptr);
    while (sqlite3_step(list) == SQLITE_ROW)
        segments.emplace_back(sqlite3_column_int(list, 0), sqlite3_column_int(list, 1));
    sqlite3_finalize(list);
    for (const auto& [key, segment] : segments) {
        std::string spec = take(sizeof(BtrKeySpec));
        sqlite3_bind_blob(stmt, 1, spec.data(), static_cast<int>(spec.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(stmt, 2, key);
        sqlite3_bind_int(stmt, 3, segment);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    if (fileSpecLeft()) {
        std::string spec = take(sizeof(BtrFileSpec));
        sqlite3_prepare_v2(db, "UPDATE w3b_file SET spec = ?1", -1, &stmt, nullptr);
        sqlite3_bind_blob(stmt, 1, spec.data(), static_cast<int>(spec.size()), SQLITE_TRANSIENT);
        sqlite3_step(stmt);
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
}

// The same damage done to a file of the served folder, in the server's tables.
void DamageServedDefinition(const std::string& path, const std::function<std::string(size_t)>& take,
                            const std::function<bool()>& fileSpecLeft) {
    using fuzzsupport::ServerRows;
    const std::string s = fuzzsupport::ServedTables();
    const std::string file = fuzzsupport::ServedFileId();
    const std::string name = fuzzsupport::ServedName(path);
    std::string problem;
    auto segments =
        ServerRows("SELECT key, segment FROM " + s + "w3b_keyseg WHERE file = " + file + " ORDER BY key, segment",
                   &problem, {name});
    Check(problem.empty(), problem);
    // Bytes go as hex text, the form a bytea takes from a text parameter.
    auto hex = [](const std::string& bytes) {
        static const char digits[] = "0123456789abcdef";
        std::string out = "\\x";
        for (unsigned char c : bytes) out += std::string{digits[c >> 4], digits[c & 15]};
        return out;
    };
    for (const auto& row : segments) {
        ServerRows("UPDATE " + s + "w3b_keyseg SET spec = $2::bytea WHERE file = " + file +
                       " AND key = $3::smallint AND segment = $4::smallint",
                   &problem, {name, hex(take(sizeof(BtrKeySpec))), row[0], row[1]});
    }
    if (fileSpecLeft()) {
        ServerRows("UPDATE " + s + "w3b_file SET spec = $2::bytea WHERE name = $1", &problem,
                   {name, hex(take(sizeof(BtrFileSpec)))});
    }
    Check(problem.empty(), problem);
}

// Damages the definition stored in the created file with `bytes` (over its key segments, and its
// file specification when there are bytes left), as a damaged disk or another program might. The
// file must then be refused with 2 or 30, or work with a definition Create itself accepts.
void DamageDefinition(const std::string& bytes) {
    const std::string& path = Files().created;
    size_t used = 0;
    auto take = [&](size_t count) {
        std::string out;
        for (size_t i = 0; i < count; ++i) out.push_back(bytes.empty() ? '\0' : bytes[used++ % bytes.size()]);
        return out;
    };
    // The file's specification too when the segments leave enough bytes for it.
    auto fileSpecLeft = [&] { return bytes.size() > used + sizeof(BtrFileSpec); };
    if (fuzzsupport::FolderIsServed()) {
        DamageServedDefinition(path, take, fileSpecLeft);
    } else {
        DamageStoredDefinition(path, take, fileSpecLeft);
    }

    Block file;
    std::vector<uint8_t> key = PathKey(path);
    uint32_t length = 0;
    int16_t status = Call(btr::kOpOpen, file, nullptr, &length, key.data(), 255, 0);
    Check(In(status, {0, 2, 30}), "Open of a damaged file answered " + std::to_string(status));
    if (status != 0) return;
    std::string reply = Stat(file, &status);
    Check(In(status, {0, 2, 30}), "Stat of a damaged file answered " + std::to_string(status));
    if (status != 0) return;
    // What the record manager works with must be a definition it would create.
    Block other;
    std::vector<uint8_t> data(reply.begin(), reply.end());
    length = static_cast<uint32_t>(data.size());
    std::vector<uint8_t> otherKey = PathKey(Files().known);
    // Keys beyond what a new file may have (Create Index may add them) are the one exception: 28.
    int16_t recreated = Call(btr::kOpCreate, other, data.data(), &length, otherKey.data(), 255, 0);
    Check(In(recreated, {0, btr::kStatusInvalidRecordLength}),
          "the definition read from a damaged file is one Create refuses with " + std::to_string(recreated) + ": \"" +
              Escape(reply) + "\"");
    BtrFileSpec spec;
    std::memcpy(&spec, reply.data(), sizeof spec);
    std::vector<uint8_t> record(static_cast<uint16_t>(spec.recordLength), 0);
    std::vector<uint8_t> keyBuffer(255, 0);
    length = static_cast<uint32_t>(record.size());
    Call(btr::kOpInsert, file, record.data(), &length, keyBuffer.data(), 255, -1);
    for (int k = 0; k < spec.keyCount; ++k) CountThroughKey(file, k, record.size());
}

// The file Create Index works on when the fuzzed Create made none: known records, one of them
// all zeros, under a key that uses a collating sequence.
void CreateKnownFile() {
    const std::string& path = Files().known;
    RemoveFile(path);
    BtrFileSpec spec{};
    spec.recordLength = 40;
    spec.pageSize = 4096;
    spec.keyCount = 2;
    BtrKeySpec name{};
    name.position = 1;
    name.length = 8;
    name.flags = btr::kKeyFlagExtendedType | btr::kKeyFlagAlternateSequence | btr::kKeyFlagModifiable;
    name.extendedType = btr::kTypeString;
    BtrKeySpec number{};
    number.position = 9;
    number.length = 4;
    number.flags = btr::kKeyFlagExtendedType | btr::kKeyFlagDuplicates;
    number.extendedType = btr::kTypeInteger;
    std::string buffer(reinterpret_cast<const char*>(&spec), sizeof spec);
    buffer.append(reinterpret_cast<const char*>(&name), sizeof name);
    buffer.append(reinterpret_cast<const char*>(&number), sizeof number);
    std::string acs(1, static_cast<char>(btr::kAcsUserDefined));
    acs += "UPPER   ";
    for (int i = 0; i < 256; ++i) acs.push_back(static_cast<char>(i >= 'a' && i <= 'z' ? i - 32 : i));
    buffer += acs;
    Block pb;
    std::vector<uint8_t> data(buffer.begin(), buffer.end());
    uint32_t length = static_cast<uint32_t>(data.size());
    std::vector<uint8_t> key = PathKey(path);
    Check(Call(btr::kOpCreate, pb, data.data(), &length, key.data(), 255, 0) == 0, "Create of the known file");
    length = 0;
    Check(Call(btr::kOpOpen, pb, nullptr, &length, key.data(), 255, 0) == 0, "Open of the known file");
    for (int i = 0; i < 6; ++i) {
        std::vector<uint8_t> record(40, 0);
        if (i > 0) {
            for (int j = 0; j < 40; ++j)
                record[static_cast<size_t>(j)] = static_cast<uint8_t>("aBc 9\x01\xff\x80"[(i + j) % 8]);
            record[0] = static_cast<uint8_t>('a' + i);
        }
        length = 40;
        std::vector<uint8_t> keyBuffer(255);
        Check(Call(btr::kOpInsert, pb, record.data(), &length, keyBuffer.data(), 255, 0) == 0,
              "Insert into the known file");
    }
    length = 0;
    Check(Call(btr::kOpClose, pb, nullptr, &length, nullptr, 0, 0) == 0, "Close of the known file");
}

void CreateIndex(const std::string& path, int8_t kn, const std::string& buffer) {
    Block file;
    std::vector<uint8_t> key = PathKey(path);
    uint32_t length = 0;
    Check(Call(btr::kOpOpen, file, nullptr, &length, key.data(), 255, 0) == 0, "Open for Create Index");
    int16_t status;
    std::string before = Stat(file, &status);
    Check(status == 0, "Stat before Create Index");
    BtrFileSpec spec;
    std::memcpy(&spec, before.data(), sizeof spec);
    std::vector<int> numbers;
    for (const SentKey& k : KeysOfStat(before)) numbers.push_back(k.number);

    std::vector<uint8_t> data(buffer.begin(), buffer.end());
    length = static_cast<uint32_t>(data.size());
    std::vector<uint8_t> keyBuffer(255, 0);
    status = Call(btr::kOpCreateIndex, file, data.empty() ? nullptr : data.data(), &length, keyBuffer.data(), 255, kn);
    Check(In(status, {0, 5, 6, 22, 26, 27, 29, 45, 48, 49}),
          "Create Index answered " + std::to_string(status) + " for \"" + Escape(buffer) + "\"");
    Check(length == buffer.size(), "Create Index changed its data length");
    bool keyOnly = (spec.fileFlags & btr::kFileFlagKeyOnly) != 0;
    Check(!keyOnly || status != 0, "Create Index added a key to a key-only file");
    std::string after = Stat(file, &status);
    Check(status == 0, "Stat after Create Index");
    if (status != 0 || after == before) {
        length = 0;
        Call(btr::kOpClose, file, nullptr, &length, nullptr, 0, 0);
        CheckIntegrity(path);
        return;
    }
    // The new key: the segments the buffer sent, under the number asked for (or the lowest free).
    BtrFileSpec afterSpec;
    std::memcpy(&afterSpec, after.data(), sizeof afterSpec);
    Check(afterSpec.keyCount == spec.keyCount + 1, "Create Index changed the definition without adding one key");
    int expectedNumber = static_cast<uint8_t>(kn) & 0x7F;
    if ((static_cast<uint8_t>(kn) & btr::kKeyNumberExact) == 0) {
        expectedNumber = 0;
        while (std::find(numbers.begin(), numbers.end(), expectedNumber) != numbers.end()) ++expectedNumber;
    }
    std::vector<BtrKeySpec> sent;
    for (size_t offset = 0; offset + sizeof(BtrKeySpec) <= buffer.size(); offset += sizeof(BtrKeySpec)) {
        sent.push_back(SpecAt(buffer, offset));
        if ((sent.back().flags & btr::kKeyFlagSegmented) == 0) break;
    }
    std::vector<BtrKeySpec> added;
    for (const SentKey& k : KeysOfStat(after)) {
        if (k.number == expectedNumber) added = k.segments;
    }
    Check(added.size() == sent.size(), "key " + std::to_string(expectedNumber) + " has " +
                                           std::to_string(added.size()) + " segments in Stat, the buffer sent " +
                                           std::to_string(sent.size()));
    for (size_t i = 0; i < sent.size(); ++i) {
        BtrKeySpec a = sent[i], b = added[i];
        Check(a.position == b.position && a.length == b.length && a.flags == b.flags &&
                  a.extendedType == b.extendedType && a.nullValue == b.nullValue,
              "segment " + std::to_string(i) + " of the new key differs from the one sent");
    }
    SentKey newKey;
    newKey.segments = sent;
    for (const BtrKeySpec& segment : sent) {
        Check(
            segment.position >= 1 && segment.length >= 1 && segment.position + segment.length - 1 <= spec.recordLength,
            "Create Index accepted a segment outside the record");
    }
    size_t expectedCount = 0;
    if (!keyOnly) {
        std::vector<uint8_t> record(65536);
        uint32_t recordLength = static_cast<uint32_t>(record.size());
        uint16_t op = btr::kOpStepFirst;
        while (Call(op, file, record.data(), &recordLength, keyBuffer.data(), 255, 0) == 0) {
            op = btr::kOpStepNext;
            if (!IsNull(newKey, std::string(record.begin(), record.begin() + recordLength))) ++expectedCount;
            recordLength = static_cast<uint32_t>(record.size());
        }
    }
    size_t count = CountThroughKey(file, expectedNumber, static_cast<uint16_t>(spec.recordLength));
    Check(keyOnly || count == expectedCount, "the new key reaches " + std::to_string(count) + " records, " +
                                                 std::to_string(expectedCount) + " are not null for it");
    // Dropping it again (keeping the other numbers) gives back the definition of before, except
    // for a collating sequence the key brought with it.
    length = 0;
    status = Call(btr::kOpDropIndex, file, nullptr, &length, keyBuffer.data(), 255,
                  static_cast<int8_t>(expectedNumber | btr::kKeyNumberExact));
    Check(status == 0, "Drop Index of the new key answered " + std::to_string(status));
    std::string dropped = Stat(file, &status);
    Check(status == 0 && dropped.substr(0, before.size()) == before,
          "after Drop Index Stat gives \"" + Escape(dropped) + "\", before Create Index \"" + Escape(before) + "\"");
    length = 0;
    Call(btr::kOpClose, file, nullptr, &length, nullptr, 0, 0);
    CheckIntegrity(path);
}

void RemoveDirectory() {
    std::error_code ignored;
    if (!Files().dir.empty()) std::filesystem::remove_all(Files().dir, ignored);
    fuzzsupport::DropServedSchema();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    unsetenv("W3BTRV7_FILE_VERSION");
    std::filesystem::path base = std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                                           : std::filesystem::temp_directory_path();
    if (const char* dir = std::getenv("TYDB_FUZZ_DIR"); dir != nullptr && *dir != '\0') base = dir;
    std::random_device random;
    for (int attempt = 0; attempt < 100 && Files().dir.empty(); ++attempt) {
        std::filesystem::path candidate = base / ("create_buffer_fuzz_" + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) Files().dir = candidate;
    }
    if (Files().dir.empty()) Fail("cannot make a folder for the data files");
    std::atexit(RemoveDirectory);
    fuzzsupport::cleanupBeforeFailure = RemoveDirectory;
    Files().created = (Files().dir / "CREATED.DAT").string();
    Files().known = (Files().dir / "KNOWN.DAT").string();
    fuzzsupport::ServeFolderIfAsked(Files().dir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    static const int8_t kModes[] = {0, 0, 0, -1, -2, -3, 1, -4};
    int8_t mode = kModes[in.Pick(std::size(kModes))];
    size_t createLength = std::min<size_t>(in.U16(), in.Remaining());
    std::string createBuffer = in.Bytes(createLength);
    uint8_t indexChoice = in.Byte();
    std::string indexBuffer = in.Bytes(in.Remaining());

    bool created = CreateFromBuffer(mode, createBuffer);
    // The high bit of the choice turns the rest into damage to the created file's definition.
    if (created && (indexChoice & 0x80) != 0) {
        DamageDefinition(indexBuffer);
        Block pb;
        uint32_t length = 0;
        BTRCALL(btr::kOpReset, pb.bytes, nullptr, &length, nullptr, 0, 0);
        return 0;
    }
    const std::string* target = &Files().known;
    if (created && indexChoice % 2 == 0) {
        target = &Files().created;
    } else {
        CreateKnownFile();
    }
    int8_t kn = (indexChoice & 2) == 0 ? 0 : static_cast<int8_t>(btr::kKeyNumberExact | ((indexChoice >> 2) % 8));
    CreateIndex(*target, kn, indexBuffer);

    // Nothing stays open between inputs.
    Block pb;
    uint32_t length = 0;
    BTRCALL(btr::kOpReset, pb.bytes, nullptr, &length, nullptr, 0, 0);
    return 0;
}
