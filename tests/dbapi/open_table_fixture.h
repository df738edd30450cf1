// A fixture for the tests of open and close: the fake record manager answering Open, Stat
// and Close, a directory block to fill, and a clean table afterwards.
#ifndef TYDB_TESTS_DBAPI_OPEN_TABLE_FIXTURE_H
#define TYDB_TESTS_DBAPI_OPEN_TABLE_FIXTURE_H

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "btrcall.h"
#include "fake_engine_control.h"
#include "gateway.h"
#include "tydb.h"

namespace opentest {

// The bytes of a Stat reply that begins with a file specification.
inline std::string StatReply(int16_t recordLength, uint16_t fileFlags) {
    BtrFileSpec spec = {};
    spec.recordLength = recordLength;
    spec.pageSize = 1024;
    spec.fileFlags = fileFlags;
    return std::string(reinterpret_cast<const char*>(&spec), sizeof spec);
}

// The first 16 bytes of `text` (zero-padded), hex, as the fake logs a key buffer.
inline std::string KeyHex(const std::string& text) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (size_t i = 0; i < 16; ++i) {
        unsigned char c = i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

class OpenTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake.Script(btr::kOpOpen, "*", 0);
        fake.Script(btr::kOpStat, "*", 0, 1819, StatReply(100, 0));
        fake.Script(btr::kOpClose, "*", 0);
    }
    void TearDown() override {
        fake.ClearScript();
        fake.Script(btr::kOpClose, "*", 0);
        DbCloseAll();
        TydbDirectoryBlock empty = {};
        DbSetDirectories(&empty);
        tydb::UnloadEngine();
    }

    void SetSlot(int slot, const std::string& directory) {
        std::memset(block.directories[slot], 0, sizeof block.directories[slot]);
        std::memcpy(block.directories[slot], directory.data(), directory.size());
        ASSERT_EQ(DbSetDirectories(&block), 0);
    }
    void SetSharing(bool on) {
        block.shareOpenFiles = on ? 1 : 0;
        ASSERT_EQ(DbSetDirectories(&block), 0);
    }
    std::string ScratchSlot() {
        TydbDirectoryBlock out = {};
        EXPECT_EQ(DbGetDirectories(&out), 0);
        return std::string(out.directories[TYDB_SCRATCH_SLOT], strnlen(out.directories[TYDB_SCRATCH_SLOT], 260));
    }
    // Opens and expects success; the handle.
    int16_t Open(const std::string& path, int16_t mode = 0, int32_t bias = 0) {
        int16_t handle = 0;
        EXPECT_EQ(DbOpen(&handle, path.c_str(), mode, bias), 0) << path;
        return handle;
    }

    testsupport::TempDir dir;
    testsupport::FakeEngine fake{dir};
    TydbDirectoryBlock block = {};
};

}  // namespace opentest

#endif  // TYDB_TESTS_DBAPI_OPEN_TABLE_FIXTURE_H
