// DbOpen and DbClose of files that do not share: handles, the requests sent, retries, failures.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "open_file_table.h"
#include "open_table_fixture.h"

using namespace opentest;

namespace {

class OpenCloseTest : public OpenTableTest {};

TEST_F(OpenCloseTest, FirstOpenGetsHandleOneAndTheTableHoldsSixtyFour) {
    for (int i = 1; i <= 64; ++i) {
        EXPECT_EQ(Open("D:\\DATA\\F" + std::to_string(i) + ".DAT"), i);
    }
    int16_t handle = 77;
    EXPECT_EQ(DbOpen(&handle, "D:\\DATA\\F65.DAT", 0, 0), TYDB_STATUS_TABLE_FULL);
    EXPECT_EQ(handle, 77) << "a refused open writes no handle";
    EXPECT_EQ(fake.CallsOf(btr::kOpOpen).size(), 64u) << "a full table asks the record manager nothing";

    // A freed entry is taken again, the lowest first.
    ASSERT_EQ(DbClose(17), 0);
    ASSERT_EQ(DbClose(5), 0);
    EXPECT_EQ(Open("D:\\DATA\\NEW.DAT"), 5);
    EXPECT_EQ(Open("D:\\DATA\\NEW2.DAT"), 17);
}

TEST_F(OpenCloseTest, OpenSendsThePathModeAndEmptyOwnerThenStat) {
    const int16_t handle = Open("D:\\DATA\\CUST.DAT");
    auto calls = fake.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].operation, btr::kOpOpen);
    EXPECT_EQ(calls[0].keyHex, KeyHex("D:\\DATA\\CUST.DAT"));
    EXPECT_EQ(calls[0].dataLength, 0u) << "no owner name";
    EXPECT_EQ(calls[0].keyNumber, 0);
    EXPECT_EQ(calls[1].operation, btr::kOpStat);
    EXPECT_EQ(calls[1].dataLength, 1819u);
    EXPECT_EQ(calls[1].keyNumber, 0);
    EXPECT_EQ(tydb::GetOpenEntry(handle)->recordLength, 100);
    EXPECT_STREQ(tydb::GetOpenEntry(handle)->nameKey, "CUST.DAT");
}

TEST_F(OpenCloseTest, OnlyTheHighByteOfTheModeCounts) {
    const struct {
        int16_t mode;
        int keyNumber;
    } cases[] = {{0x0100, -1}, {0x0200, -2}, {0x0210, -2}, {0x0300, -3}, {0x0400, -4},
                 {0x0010, 0},  {0x0000, 0},  {0x0500, 0},  {-1, 0}};
    int index = 0;
    for (const auto& c : cases) {
        fake.ClearLog();
        const int16_t handle = Open("D:\\DATA\\M" + std::to_string(index++) + ".DAT", c.mode);
        auto opens = fake.CallsOf(btr::kOpOpen);
        ASSERT_EQ(opens.size(), 1u);
        EXPECT_EQ(opens[0].keyNumber, c.keyNumber) << "mode " << c.mode;
        EXPECT_EQ(tydb::GetOpenEntry(handle)->openMode, c.keyNumber);
    }
}

TEST_F(OpenCloseTest, BiasIsAddedToTheOpenItselfAndReportedBack) {
    fake.Script(200, "*", 0);
    const int16_t handle = Open("D:\\DATA\\CUST.DAT", 0, 200);
    auto calls = fake.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0].operation, 200);
    EXPECT_TRUE(fake.CallsOf(btr::kOpOpen).empty());
    int32_t keyNumber = -9, bias = -9;
    ASSERT_EQ(DbGetOverRideDef(handle, &keyNumber, &bias), 0);
    EXPECT_EQ(keyNumber, 0);
    EXPECT_EQ(bias, 200);
}

TEST_F(OpenCloseTest, BiasKeepsAllThirtyTwoBitsButTheOpenUsesItsLowSixteen) {
    fake.Script(5, "*", 0);
    const int32_t bias = 0x10005;
    const int16_t handle = Open("D:\\DATA\\CUST.DAT", 0, bias);
    ASSERT_EQ(fake.CallsOf(5).size(), 1u);
    int32_t stored = 0;
    ASSERT_EQ(DbGetOverRideDef(handle, nullptr, &stored), 0);
    EXPECT_EQ(stored, bias);
}

TEST_F(OpenCloseTest, MissingFileGives12AfterTenAttempts) {
    fake.ClearScript();
    fake.Script(btr::kOpOpen, "*", 12);
    int16_t handle = 99;
    EXPECT_EQ(DbOpen(&handle, dir.File("missing.dat").c_str(), 0, 0), 12);
    EXPECT_EQ(handle, 99);
    EXPECT_EQ(fake.CallsOf(btr::kOpOpen).size(), 10u);
    EXPECT_TRUE(fake.CallsOf(btr::kOpStat).empty());
    EXPECT_FALSE(tydb::IsValidHandle(1)) << "the entry stays free";
}

TEST_F(OpenCloseTest, ExistingFileTheEngineCannotFindGives94AfterOneAttempt) {
    ASSERT_TRUE(testsupport::WriteFileBytes(dir.File("there.dat"), "x"));
    fake.ClearScript();
    fake.Script(btr::kOpOpen, "*", 12);
    int16_t handle = 99;
    EXPECT_EQ(DbOpen(&handle, dir.File("there.dat").c_str(), 0, 0), TYDB_STATUS_PERMISSION_ERROR);
    EXPECT_EQ(handle, 99);
    EXPECT_EQ(fake.CallsOf(btr::kOpOpen).size(), 1u);
}

TEST_F(OpenCloseTest, OtherFailuresAreRetriedAndTheLastStatusReturned) {
    fake.ClearScript();
    for (int i = 1; i <= 9; ++i) fake.Script(btr::kOpOpen, std::to_string(i), 85);
    fake.Script(btr::kOpOpen, "10", 88);
    int16_t handle = 0;
    EXPECT_EQ(DbOpen(&handle, "D:\\DATA\\BUSY.DAT", 0, 0), 88);
    EXPECT_EQ(fake.CallsOf(btr::kOpOpen).size(), 10u);

    // A failure that clears before the tenth attempt opens the file.
    fake.ClearScript();
    fake.Script(btr::kOpOpen, "11", 85);
    fake.Script(btr::kOpOpen, "12", 0);
    fake.Script(btr::kOpStat, "*", 0, 1819, StatReply(64, 0));
    EXPECT_EQ(DbOpen(&handle, "D:\\DATA\\BUSY.DAT", 0, 0), 0);
    EXPECT_EQ(handle, 1);
    EXPECT_EQ(fake.CallsOf(btr::kOpOpen).size(), 12u);
}

TEST_F(OpenCloseTest, MissingEngineGives20AfterTenAttempts) {
    const std::string emptyDir = dir.File("no-engine");
    std::filesystem::create_directory(emptyDir);
    testsupport::WriteEngineSettings(fake.settingsFile(), emptyDir);
    testsupport::ScopedEnv path("PATH", "/usr/bin:/bin");
    int16_t handle = 0;
    EXPECT_EQ(DbOpen(&handle, "D:\\DATA\\CUST.DAT", 0, 0), TYDB_STATUS_ENGINE_INACTIVE);
}

TEST_F(OpenCloseTest, RecordLengthComesFromStatOnlyForFixedLengthFiles) {
    fake.ClearScript();
    fake.Script(btr::kOpOpen, "*", 0);
    fake.Script(btr::kOpStat, "1", 0, 1819, StatReply(-2, 0));
    fake.Script(btr::kOpStat, "2", 0, 1819, StatReply(300, btr::kFileFlagVariableLength));
    fake.Script(btr::kOpStat, "3", 46, 0, "");
    fake.Script(btr::kOpStat, "4", 0, 1819, StatReply(300, btr::kFileFlagVariableLength ^ 0xFFFF));
    EXPECT_EQ(tydb::GetOpenEntry(Open("D:\\A.DAT"))->recordLength, -2) << "widened with its sign";
    EXPECT_EQ(tydb::GetOpenEntry(Open("D:\\B.DAT"))->recordLength, 0) << "variable-length records";
    EXPECT_EQ(tydb::GetOpenEntry(Open("D:\\C.DAT"))->recordLength, 0) << "a failed Stat is not reported";
    EXPECT_EQ(tydb::GetOpenEntry(Open("D:\\D.DAT"))->recordLength, 300) << "only bit 0 of the flags counts";
}

TEST_F(OpenCloseTest, RefusedPathsNeverReachTheEngine) {
    int16_t handle = 5;
    const std::string longPath = "D:\\" + std::string(252, 'x') + "\\A.DAT";  // 261 characters
    EXPECT_EQ(DbOpen(&handle, longPath.c_str(), 0, 0), TYDB_STATUS_INVALID_FILE_NAME);
    EXPECT_EQ(DbOpen(&handle, "D:\\DATA\\SIXTEEN_CHARS.DA", 0, 0), TYDB_STATUS_INVALID_FILE_NAME);
    EXPECT_EQ(DbOpen(&handle, nullptr, 0, 0), TYDB_STATUS_INVALID_FILE_NAME);
    EXPECT_EQ(DbOpen(nullptr, "D:\\DATA\\CUST.DAT", 0, 0), TYDB_STATUS_NO_BUFFER);
    EXPECT_EQ(handle, 5);
    EXPECT_TRUE(fake.Calls().empty());
    EXPECT_EQ(ScratchSlot(), "");
}

TEST_F(OpenCloseTest, LongestPathTravelsWholeInTheKeyBuffer) {
    const std::string path = "D:\\" + std::string(245, 'x') + "\\A.DAT";  // 254 characters
    ASSERT_EQ(path.size(), 254u);
    EXPECT_GE(Open(path), 1);
    ASSERT_EQ(fake.CallsOf(btr::kOpOpen).size(), 1u);
    EXPECT_EQ(fake.CallsOf(btr::kOpOpen)[0].keyHex, KeyHex(path));
}

TEST_F(OpenCloseTest, CloseSendsCloseWithTheKeyNumberAndFreesTheEntry) {
    const int16_t handle = Open("D:\\DATA\\CUST.DAT");
    ASSERT_EQ(DbOverRideDef(handle, 3, -1), 0);
    fake.ClearLog();
    EXPECT_EQ(DbClose(handle), 0);
    auto closes = fake.CallsOf(btr::kOpClose);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].keyNumber, 3);
    EXPECT_FALSE(tydb::IsValidHandle(handle));
    EXPECT_EQ(DbClose(handle), TYDB_STATUS_INVALID_HANDLE);
}

TEST_F(OpenCloseTest, CloseOfBadHandlesIsRefused) {
    EXPECT_EQ(DbClose(0), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(DbClose(65), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(DbClose(-1), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(DbClose(1), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_TRUE(fake.Calls().empty());
}

TEST_F(OpenCloseTest, FailedCloseIsReportedAndTheEntryIsFreeAnyway) {
    const int16_t handle = Open("D:\\DATA\\CUST.DAT");
    fake.ClearScript();
    fake.Script(btr::kOpClose, "*", 17);
    EXPECT_EQ(DbClose(handle), 17);
    EXPECT_FALSE(tydb::IsValidHandle(handle));
}

TEST_F(OpenCloseTest, CloseAllClosesEveryFileAndStopsAtTheFirstFailure) {
    Open("D:\\DATA\\A.DAT");
    Open("D:\\DATA\\B.DAT");
    Open("D:\\DATA\\C.DAT");
    fake.ClearScript();
    fake.Script(btr::kOpClose, "1", 0);
    fake.Script(btr::kOpClose, "2", 17);
    fake.Script(btr::kOpClose, "*", 0);
    EXPECT_EQ(DbCloseAll(), 17);
    EXPECT_FALSE(tydb::IsValidHandle(1));
    EXPECT_FALSE(tydb::IsValidHandle(2));
    EXPECT_TRUE(tydb::IsValidHandle(3)) << "files after the failure stay open";
    EXPECT_EQ(DbCloseAll(), 0);
    EXPECT_FALSE(tydb::IsValidHandle(3));
    EXPECT_EQ(DbCloseAll(), 0) << "nothing open";
}

TEST_F(OpenCloseTest, ReopenOfAFreedEntryStartsFromCleanFields) {
    fake.Script(300, "*", 0);
    const int16_t handle = Open("D:\\DATA\\CUST.DAT", 0x0200, 300);
    ASSERT_EQ(DbOverRideDef(handle, 4, -1), 0);
    tydb::GetOpenEntry(handle)->lastDataLength = 55;
    ASSERT_EQ(DbClose(handle), 0);
    ASSERT_EQ(Open("D:\\DATA\\OTHER.DAT"), handle);
    const tydb::OpenFileEntry* entry = tydb::GetOpenEntry(handle);
    EXPECT_STREQ(entry->nameKey, "OTHER.DAT");
    EXPECT_EQ(entry->keyNumber, 0);
    EXPECT_EQ(entry->operationBias, 0);
    EXPECT_EQ(entry->openMode, 0);
    EXPECT_EQ(entry->lastDataLength, 0);
    EXPECT_EQ(entry->openCount, 1);
}

}  // namespace
