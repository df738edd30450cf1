// Fixtures for the record-operation tests: a data file of known records in a fresh folder, on
// the real record manager or behind the recording fake (which passes every request it has no
// script for on to the real one).
#ifndef TYDB_TESTS_DBAPI_RECORDS_RECORD_FIXTURE_H
#define TYDB_TESTS_DBAPI_RECORDS_RECORD_FIXTURE_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "btrcall.h"
#include "fake_engine_control.h"
#include "gateway.h"
#include "tydb.h"

namespace recordtest {

// Records of the test file: 32 bytes, key 0 = bytes 1..8 (name, unique), key 1 = bytes 9..12
// (group, duplicates), the rest free text.
inline constexpr int16_t kRecordLength = 32;
inline constexpr int kNameLength = 8;

struct Record {
    char bytes[kRecordLength] = {};
};

inline Record MakeRecord(const std::string& name, const std::string& group = "g", const std::string& text = "") {
    Record record;
    std::memset(record.bytes, ' ', sizeof record.bytes);
    std::memcpy(record.bytes, name.data(), std::min<size_t>(name.size(), kNameLength));
    std::memcpy(record.bytes + kNameLength, group.data(), std::min<size_t>(group.size(), 4));
    std::memcpy(record.bytes + 12, text.data(), std::min<size_t>(text.size(), 20));
    return record;
}

// The name key value of a record name: blank-padded to 8 bytes.
inline std::string NameKey(const std::string& name) {
    std::string key(kNameLength, ' ');
    key.replace(0, std::min<size_t>(name.size(), kNameLength), name.substr(0, kNameLength));
    return key;
}

inline std::string NameOf(const char* bytes) {
    std::string name(bytes, kNameLength);
    return name.substr(0, name.find_last_not_of(' ') + 1);
}

inline BtrKeySpec Segment(int16_t position, int16_t length, uint16_t flags = 0) {
    BtrKeySpec segment = {};
    segment.position = position;
    segment.length = length;
    segment.flags = flags;
    return segment;
}

inline BtrFileSpec FileSpec(int16_t recordLength, uint8_t keyCount, uint16_t fileFlags = 0) {
    BtrFileSpec spec = {};
    spec.recordLength = recordLength;
    spec.pageSize = 4096;
    spec.keyCount = keyCount;
    spec.fileFlags = fileFlags;
    return spec;
}

// The segment list DbCreateFile takes: the segments, then an entry with position 0.
inline std::vector<BtrKeySpec> Terminated(std::vector<BtrKeySpec> segments) {
    segments.push_back(BtrKeySpec{});
    return segments;
}

// A folder whose settings select one record manager, and an empty table afterwards.
class EngineTest : public ::testing::Test {
protected:
    void TearDown() override {
        DbCloseAll();
        tydb::UnloadEngine();
    }

    std::string Path(const std::string& name) const { return dir.File(name); }

    // Creates the test file (two keys) and fills it with `names`, one record each.
    std::string CreateNamesFile(const std::vector<std::string>& names, const std::string& fileName = "NAMES.DAT") {
        const std::string path = Path(fileName);
        const BtrFileSpec spec = FileSpec(kRecordLength, 2);
        const auto segments = Terminated({Segment(1, kNameLength), Segment(9, 4, btr::kKeyFlagDuplicates)});
        EXPECT_EQ(DbCreateFile(path.c_str(), &spec, segments.data()), 0);
        const int16_t handle = Open(path);
        for (const auto& name : names) Insert(handle, MakeRecord(name));
        EXPECT_EQ(DbClose(handle), 0);
        return path;
    }

    int16_t Open(const std::string& path) {
        int16_t handle = 0;
        EXPECT_EQ(DbOpen(&handle, path.c_str(), 0, 0), 0) << path;
        return handle;
    }

    void Insert(int16_t handle, Record record) {
        char key[256] = {};
        EXPECT_EQ(DbModify(btr::kOpInsert, handle, key, record.bytes, 0), 0);
    }

    // Reads with `operation` into a fresh record; the status, and the name read in `*name`.
    int32_t Read(int16_t handle, int16_t operation, std::string* name, const std::string& keyValue = "") {
        char key[256] = {};
        std::memcpy(key, keyValue.data(), keyValue.size());
        Record record;
        const int32_t status = DbRead(operation, handle, key, record.bytes, 0);
        if (name != nullptr) *name = status == 0 ? NameOf(record.bytes) : std::string();
        return status;
    }

    std::string NameAfter(int16_t handle, int16_t operation) {
        std::string name;
        EXPECT_EQ(Read(handle, operation, &name), 0) << "operation " << operation;
        return name;
    }

    uint32_t RecordCount(int16_t handle) {
        uint8_t statistics[TYDB_STATISTICS_SIZE] = {};
        EXPECT_EQ(DbFileStat(handle, statistics), 0);
        BtrFileSpec spec;
        std::memcpy(&spec, statistics, sizeof spec);
        return spec.recordCount;
    }

    testsupport::TempDir dir;
};

// The real record manager.
class RealEngineTest : public EngineTest {
protected:
    void SetUp() override {
        testsupport::WriteEngineSettings(dir.File("settings.ini"), testsupport::RealEngineDir());
        settings = std::make_unique<testsupport::ScopedEnv>("TYWREG_FILE", dir.File("settings.ini"));
    }
    std::unique_ptr<testsupport::ScopedEnv> settings;
};

// The recording fake in front of the real record manager.
class FakeEngineTest : public EngineTest {
protected:
    void SetUp() override { fake = std::make_unique<testsupport::FakeEngine>(dir); }
    void TearDown() override {
        EngineTest::TearDown();
        fake.reset();
    }
    // Operation codes of the logged requests, in order.
    std::vector<int> Operations() const {
        std::vector<int> codes;
        for (const auto& call : fake->Calls()) codes.push_back(call.operation);
        return codes;
    }
    std::unique_ptr<testsupport::FakeEngine> fake;
};

}  // namespace recordtest

#endif  // TYDB_TESTS_DBAPI_RECORDS_RECORD_FIXTURE_H
