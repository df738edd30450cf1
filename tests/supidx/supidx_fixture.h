// Fixtures for the supplemental index manager's tests: a data file in a fresh folder, its keys,
// the registry read back from "tysupidx.db", and settings that select the real record manager
// or the recording fake in front of it.
#ifndef TYDB_TESTS_SUPIDX_SUPIDX_FIXTURE_H
#define TYDB_TESTS_SUPIDX_SUPIDX_FIXTURE_H

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "btrcall.h"
#include "fake_engine_control.h"
#include "gateway.h"
#include "platform.h"
#include "registry_record.h"
#include "tydb.h"

namespace supidxtest {

inline constexpr int16_t kRecordLength = 100;
inline constexpr const char* kDataName = "ORDERS.DAT";

inline BtrKeySpec Segment(int16_t position, int16_t length, uint16_t flags = 0) {
    BtrKeySpec segment = {};
    segment.position = position;
    segment.length = length;
    segment.flags = flags;
    return segment;
}

// A key definition from (position, length) pairs: every segment but the last segmented.
inline std::vector<BtrKeySpec> KeyDef(const std::vector<std::pair<int16_t, int16_t>>& segments,
                                      uint16_t flags = btr::kKeyFlagDuplicates) {
    std::vector<BtrKeySpec> key;
    for (size_t i = 0; i < segments.size(); ++i) {
        const bool last = i + 1 == segments.size();
        key.push_back(Segment(segments[i].first, segments[i].second,
                              static_cast<uint16_t>(flags | (last ? 0 : btr::kKeyFlagSegmented))));
    }
    return key;
}

inline int32_t Activate(int16_t handle, const std::vector<BtrKeySpec>& definition) {
    return DbActivateKey(handle, static_cast<int16_t>(definition.size() * sizeof(BtrKeySpec)), definition.data());
}

// One registry entry, copied out of the packed record field by field.
struct Entry {
    std::string name;
    int keyNumber = 0;
    int segments = 0;
    int active = 0;
    int32_t total = 0;
    int32_t date = 0;
    int32_t time = 0;
};

inline Entry EntryOf(const tydb::RegistryRecord& record) {
    Entry entry;
    entry.name.assign(record.DataFileName, strnlen(record.DataFileName, sizeof record.DataFileName));
    entry.keyNumber = +record.KeyNumber;
    entry.segments = +record.SegmentCount;
    entry.active = +record.ActiveReferences;
    entry.total = +record.TotalReferences;
    entry.date = +record.LastUseDate;
    entry.time = +record.LastUseTime;
    return entry;
}

// A key of a data file as its statistics list it.
struct FileKey {
    int number = 0;
    int segments = 0;
    bool supplemental = false;
};

class SupidxTest : public ::testing::Test {
protected:
    void SetUp() override { UseRealEngine(); }
    void TearDown() override {
        DbCloseAll();
        tydb::UnloadEngine();
        fake.reset();
        settings.reset();
    }

    // The real record manager with the given "Settings" entries (name=value lines).
    void UseRealEngine(const std::vector<std::string>& lines = {}) {
        settings.reset();
        testsupport::WriteEngineSettings(dir.File("settings.ini"), testsupport::RealEngineDir(), lines);
        settings = std::make_unique<testsupport::ScopedEnv>("TYWREG_FILE", dir.File("settings.ini"));
    }

    // The recording fake, which forwards every request it has no script for.
    void UseFakeEngine(const std::vector<std::string>& lines = {}) {
        settings.reset();
        fake = std::make_unique<testsupport::FakeEngine>(dir, lines);
    }

    std::string DataDir() const { return dir.path() + "/"; }
    std::string DataPath(const std::string& name = kDataName) const { return dir.File(name); }
    std::string RegistryPath() const { return dir.File(tydb::kRegistryFileName); }
    std::string LogPath() const { return dir.File("tysupidx.log"); }

    // Creates a data file of `records` records of kRecordLength bytes; key 0 is bytes 1..8
    // (unique, permanent) followed by `extraKeys` permanent keys.
    std::string CreateDataFile(int records = 10, const std::vector<std::vector<BtrKeySpec>>& extraKeys = {},
                               const std::string& name = kDataName) {
        std::vector<BtrKeySpec> segments = {Segment(1, 8)};
        for (const auto& key : extraKeys) segments.insert(segments.end(), key.begin(), key.end());
        segments.push_back(BtrKeySpec{});
        BtrFileSpec spec = {};
        spec.recordLength = kRecordLength;
        spec.pageSize = 4096;
        spec.keyCount = static_cast<uint8_t>(1 + extraKeys.size());
        const std::string path = DataPath(name);
        EXPECT_EQ(DbCreateFile(path.c_str(), &spec, segments.data()), 0);
        const int16_t handle = Open(path);
        for (int i = 0; i < records; ++i) {
            char record[kRecordLength];
            for (int b = 0; b < kRecordLength; ++b) record[b] = static_cast<char>('a' + (i * 7 + b * 3) % 26);
            char id[16];
            std::snprintf(id, sizeof id, "R%07d", i % 10000000);
            std::memcpy(record, id, 8);
            record[8] = 'x';
            char key[256] = {};
            EXPECT_EQ(DbModify(btr::kOpInsert, handle, key, record, 0), 0);
        }
        EXPECT_EQ(DbClose(handle), 0);
        return path;
    }

    int16_t Open(const std::string& path) {
        int16_t handle = 0;
        EXPECT_EQ(DbOpen(&handle, path.c_str(), 0, 0), 0) << path;
        return handle;
    }

    int CurrentKey(int16_t handle) {
        int32_t key = -1;
        EXPECT_EQ(DbGetOverRideDef(handle, &key, nullptr), 0);
        return key;
    }

    std::vector<FileKey> Keys(int16_t handle) {
        std::vector<FileKey> keys;
        uint8_t statistics[TYDB_STATISTICS_SIZE] = {};
        EXPECT_EQ(DbFileStat(handle, statistics), 0);
        int16_t length = 0;
        std::memcpy(&length, statistics + TYDB_STATISTICS_LENGTH_OFFSET, sizeof length);
        const int segments = (length - 16) / 16;
        bool keyEnded = true;
        for (int i = 0; i < segments; ++i) {
            BtrKeySpec spec;
            std::memcpy(&spec, statistics + 16 + i * 16, sizeof spec);
            if (keyEnded) keys.push_back(FileKey{spec.keyNumber, 0, (spec.flags & btr::kKeyFlagSupplemental) != 0});
            keys.back().segments++;
            keyEnded = (spec.flags & btr::kKeyFlagSegmented) == 0;
        }
        return keys;
    }

    bool HasKey(int16_t handle, int number) {
        for (const auto& key : Keys(handle))
            if (key.number == number) return true;
        return false;
    }

    int FreeSegments(int16_t handle) {
        int used = 0;
        for (const auto& key : Keys(handle)) used += key.segments;
        return TYDB_MAX_KEY_SEGMENTS - used;
    }

    // Every entry of the registry in key-0 order, read through the library's own exports.
    std::vector<Entry> Registry() {
        std::vector<Entry> entries;
        int16_t handle = 0;
        if (DbOpen(&handle, RegistryPath().c_str(), 0, 0) != 0) return entries;
        char key[256] = {};
        tydb::RegistryRecord record;
        int32_t status = DbRead(btr::kOpGetFirst, handle, key, &record, 0);
        while (status == 0) {
            entries.push_back(EntryOf(record));
            status = DbRead(btr::kOpGetNext, handle, key, &record, 0);
        }
        EXPECT_EQ(status, btr::kStatusEndOfFile);
        DbClose(handle);
        return entries;
    }

    // The registry entry of (kDataName, keyNumber); a default Entry with keyNumber -1 when none.
    Entry RegistryEntry(int keyNumber) {
        for (const auto& entry : Registry())
            if (entry.keyNumber == keyNumber && entry.name == kDataName) return entry;
        Entry none;
        none.keyNumber = -1;
        return none;
    }

    // Stores an idle entry of (kDataName, keyNumber) as another workstation may have left it.
    void InsertEntry(int keyNumber, uint16_t segments) {
        tydb::RegistryRecord record;
        std::memset(&record, 0, sizeof record);
        std::strncpy(record.DataFileName, kDataName, 15);
        record.KeyNumber = static_cast<uint16_t>(keyNumber);
        record.SegmentCount = segments;
        record.TotalReferences = 1;
        const int16_t handle = Open(RegistryPath());
        uint8_t key[256] = {};
        ASSERT_EQ(DbModify(btr::kOpInsert, handle, key, &record, 0), 0);
        DbClose(handle);
    }

    // Changes one stored entry through the library's exports.
    void RewriteEntry(int keyNumber, int32_t total, uint16_t active) {
        int16_t handle = Open(RegistryPath());
        uint8_t key[256] = {};
        std::memcpy(key, kDataName, std::strlen(kDataName));
        const uint16_t number = static_cast<uint16_t>(keyNumber);
        std::memcpy(key + 16, &number, sizeof number);
        tydb::RegistryRecord record;
        ASSERT_EQ(DbRead(btr::kOpGetEqual, handle, key, &record, 0), 0);
        record.TotalReferences = total;
        record.ActiveReferences = active;
        ASSERT_EQ(DbModify(btr::kOpUpdate, handle, key, &record, 0), 0);
        DbClose(handle);
    }

    // Every record of a data file in physical order, as bytes.
    std::vector<std::string> Records(const std::string& path) {
        std::vector<std::string> records;
        int16_t handle = Open(path);
        char key[256] = {};
        char record[kRecordLength];
        int32_t status = DbRead(btr::kOpStepFirst, handle, key, record, 0);
        while (status == 0) {
            records.emplace_back(record, sizeof record);
            status = DbRead(btr::kOpStepNext, handle, key, record, 0);
        }
        DbClose(handle);
        return records;
    }

    testsupport::TempDir dir;
    std::unique_ptr<testsupport::ScopedEnv> settings;
    std::unique_ptr<testsupport::FakeEngine> fake;
};

}  // namespace supidxtest

#endif  // TYDB_TESTS_SUPIDX_SUPIDX_FIXTURE_H
