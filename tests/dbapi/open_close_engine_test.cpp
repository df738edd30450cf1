// Open and close against the real record manager: files made by it, opened and closed through
// the library, with the lock directory and the path separators of this platform.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "btrcall.h"
#include "fake_engine_control.h"
#include "gateway.h"
#include "open_file_table.h"
#include "tydb.h"

using namespace testsupport;

namespace {

class OpenCloseEngineTest : public ::testing::Test {
protected:
    void SetUp() override { WriteEngineSettings(dir.File("settings.ini"), RealEngineDir()); }
    void TearDown() override {
        DbCloseAll();
        TydbDirectoryBlock empty = {};
        DbSetDirectories(&empty);
        DbStopEngine();
    }

    // A file of fixed (or variable-length) records with one 10-byte key at the start.
    int16_t Create(const std::string& path, int16_t recordLength, uint16_t fileFlags = 0) {
        uint8_t data[sizeof(BtrFileSpec) + sizeof(BtrKeySpec)] = {};
        BtrFileSpec file = {};
        file.recordLength = recordLength;
        file.pageSize = 1024;
        file.keyCount = 1;
        file.fileFlags = fileFlags;
        BtrKeySpec key = {};
        key.position = 1;
        key.length = 10;
        std::memcpy(data, &file, sizeof file);
        std::memcpy(data + sizeof file, &key, sizeof key);
        char keyBuffer[256] = {};
        std::strncpy(keyBuffer, path.c_str(), sizeof keyBuffer - 1);
        uint8_t positionBlock[128] = {};
        uint16_t length = sizeof data;
        return tydb::CallEngine(btr::kOpCreate, positionBlock, data, &length, keyBuffer, btr::kCreateOverwrite);
    }

    TempDir dir;
    ScopedEnv settings{"TYWREG_FILE", dir.File("settings.ini")};
};

TEST_F(OpenCloseEngineTest, CreatedFileOpensWithItsRecordLengthAndCloses) {
    const std::string path = dir.File("CUST.DAT");
    ASSERT_EQ(Create(path, 50), 0);
    int16_t handle = 0;
    ASSERT_EQ(DbOpen(&handle, path.c_str(), 0x0200, 0), 0);
    EXPECT_EQ(handle, 1);
    const tydb::OpenFileEntry* entry = tydb::GetOpenEntry(handle);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->recordLength, 50);
    EXPECT_EQ(entry->openMode, -2);
    EXPECT_STREQ(entry->nameKey, "CUST.DAT");
    EXPECT_EQ(std::string(entry->directory), dir.path() + "/");
    EXPECT_EQ(DbClose(handle), 0);
    EXPECT_EQ(DbClose(handle), TYDB_STATUS_INVALID_HANDLE);
}

TEST_F(OpenCloseEngineTest, VariableLengthFileHasNoDefaultLength) {
    const std::string path = dir.File("NOTES.DAT");
    ASSERT_EQ(Create(path, 40, btr::kFileFlagVariableLength), 0);
    int16_t handle = 0;
    ASSERT_EQ(DbOpen(&handle, path.c_str(), 0, 0), 0);
    EXPECT_EQ(tydb::GetOpenEntry(handle)->recordLength, 0);
}

TEST_F(OpenCloseEngineTest, MissingFileGives12) {
    int16_t handle = 0;
    EXPECT_EQ(DbOpen(&handle, dir.File("ABSENT.DAT").c_str(), 0, 0), 12);
    EXPECT_FALSE(tydb::IsValidHandle(1));
}

TEST_F(OpenCloseEngineTest, FileThatIsNoDataFileIsRefusedAndLeavesTheEntryFree) {
    ASSERT_TRUE(WriteFileBytes(dir.File("TEXT.DAT"), "not a data file"));
    int16_t handle = 0;
    const int32_t status = DbOpen(&handle, dir.File("TEXT.DAT").c_str(), 0, 0);
    EXPECT_NE(status, 0);
    EXPECT_FALSE(tydb::IsValidHandle(1));
}

TEST_F(OpenCloseEngineTest, BackslashPathsShareThroughASlotWrittenWithoutTheSeparator) {
    ASSERT_EQ(Create(dir.File("CUST.DAT"), 50), 0);
    // On POSIX a path may use '\': its directory string drops the trailing '\', so the slot is
    // the folder without a separator.
    TydbDirectoryBlock block = {};
    std::strncpy(block.directories[0], dir.path().c_str(), TYDB_DIRECTORY_SLOT_SIZE - 1);
    block.shareOpenFiles = 1;
    ASSERT_EQ(DbSetDirectories(&block), 0);
    const std::string path = dir.path() + "\\CUST.DAT";
    int16_t first = 0, second = 0;
    ASSERT_EQ(DbOpen(&first, path.c_str(), 0, 0), 0);
    ASSERT_EQ(DbOpen(&second, path.c_str(), 0, 0), 0);
    EXPECT_EQ(first, second);
    EXPECT_EQ(tydb::GetOpenEntry(first)->openCount, 2);
    EXPECT_EQ(DbCloseAll(), 0);
    EXPECT_FALSE(tydb::IsValidHandle(first));
}

TEST_F(OpenCloseEngineTest, LockFileLivesExactlyAsLongAsFilesAreOpenUnderTheLockDirectory) {
    const std::string data = dir.File("data");
    std::filesystem::create_directory(data);
    ASSERT_EQ(Create(data + "/A.DAT", 20), 0);
    ASSERT_EQ(Create(data + "/B.DAT", 20), 0);
    TydbDirectoryBlock block = {};
    std::strncpy(block.directories[TYDB_LOCK_SLOT], (data + "/").c_str(), TYDB_DIRECTORY_SLOT_SIZE - 1);
    ASSERT_EQ(DbSetDirectories(&block), 0);
    int16_t a = 0, b = 0;
    ASSERT_EQ(DbOpen(&a, (data + "/A.DAT").c_str(), 0, 0), 0);
    ASSERT_EQ(DbOpen(&b, (data + "/B.DAT").c_str(), 0, 0), 0);
    EXPECT_TRUE(std::filesystem::exists(data + "/~ty~.loc"));
    ASSERT_EQ(DbClose(a), 0);
    EXPECT_TRUE(std::filesystem::exists(data + "/~ty~.loc"));
    ASSERT_EQ(DbClose(b), 0);
    EXPECT_FALSE(std::filesystem::exists(data + "/~ty~.loc"));
}

}  // namespace
