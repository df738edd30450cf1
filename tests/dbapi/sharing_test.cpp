// Repeated opens of one file: which share an entry and what a shared entry keeps.
#include <gtest/gtest.h>

#include <string>

#include "open_file_table.h"
#include "open_table_fixture.h"

using namespace opentest;

namespace {

class SharingTest : public OpenTableTest {
protected:
    void SetUp() override {
        OpenTableTest::SetUp();
        SetSlot(0, "D:\\DATA");
        SetSlot(1, "D:\\OTHER");
        SetSharing(true);
    }
};

TEST_F(SharingTest, SecondOpenSharesTheHandleAndOnlyTheLastCloseReachesTheEngine) {
    const int16_t first = Open("D:\\DATA\\CUST.DAT");
    const int16_t second = Open("D:\\DATA\\CUST.DAT");
    EXPECT_EQ(first, second);
    EXPECT_EQ(fake.CallsOf(btr::kOpOpen).size(), 1u);
    EXPECT_EQ(fake.CallsOf(btr::kOpStat).size(), 1u);
    EXPECT_EQ(tydb::GetOpenEntry(first)->openCount, 2);

    EXPECT_EQ(DbClose(first), 0);
    EXPECT_TRUE(fake.CallsOf(btr::kOpClose).empty());
    EXPECT_TRUE(tydb::IsValidHandle(first));
    EXPECT_EQ(DbClose(first), 0);
    EXPECT_EQ(fake.CallsOf(btr::kOpClose).size(), 1u);
    EXPECT_FALSE(tydb::IsValidHandle(first));
}

TEST_F(SharingTest, NameKeysCompareCaseSensitively) {
    const int16_t upper = Open("D:\\DATA\\CUST.DAT");
    const int16_t lower = Open("D:\\DATA\\cust.dat");
    EXPECT_NE(upper, lower);
    EXPECT_EQ(fake.CallsOf(btr::kOpOpen).size(), 2u);
}

TEST_F(SharingTest, SameNameInAnotherConfiguredDirectoryShares) {
    const int16_t data = Open("D:\\DATA\\CUST.DAT");
    const int16_t other = Open("d:\\other\\CUST.DAT");
    EXPECT_EQ(data, other);
    EXPECT_STREQ(tydb::GetOpenEntry(data)->directory, "D:\\DATA") << "the first open's directory stays";
}

TEST_F(SharingTest, UnmatchedDirectoryNeverShares) {
    const int16_t first = Open("E:\\TEMP\\CUST.DAT");
    const int16_t second = Open("E:\\TEMP\\CUST.DAT");
    EXPECT_NE(first, second);
    EXPECT_EQ(ScratchSlot(), "E:\\TEMP");
}

TEST_F(SharingTest, NothingSharesWithTheFlagOff) {
    SetSharing(false);
    EXPECT_NE(Open("D:\\DATA\\CUST.DAT"), Open("D:\\DATA\\CUST.DAT"));
}

TEST_F(SharingTest, BareNamesShareThroughTheEmptySlot) {
    EXPECT_EQ(Open("CUST.DAT"), Open("CUST.DAT"));
    for (int slot = 2; slot < 5; ++slot) SetSlot(slot, "D:\\S" + std::to_string(slot));
    EXPECT_NE(Open("LEDGER.DAT"), Open("LEDGER.DAT")) << "every slot configured: scratch, no sharing";
}

TEST_F(SharingTest, SharedReopenKeepsFirstModeAndBias) {
    fake.Script(100, "*", 0);
    const int16_t handle = Open("D:\\DATA\\CUST.DAT", 0x0200, 100);
    ASSERT_EQ(Open("D:\\DATA\\CUST.DAT", 0x0400, 300), handle);
    const tydb::OpenFileEntry* entry = tydb::GetOpenEntry(handle);
    EXPECT_EQ(entry->openMode, -2);
    EXPECT_EQ(entry->operationBias, 100);
    EXPECT_TRUE(fake.CallsOf(300).empty());
}

TEST_F(SharingTest, SharedReopenSucceedsWhenTheTableIsFull) {
    const int16_t shared = Open("D:\\DATA\\CUST.DAT");
    for (int i = 2; i <= 64; ++i) Open("E:\\X\\F" + std::to_string(i) + ".DAT");
    int16_t handle = 0;
    EXPECT_EQ(DbOpen(&handle, "D:\\DATA\\NEW.DAT", 0, 0), TYDB_STATUS_TABLE_FULL);
    EXPECT_EQ(DbOpen(&handle, "D:\\DATA\\CUST.DAT", 0, 0), 0);
    EXPECT_EQ(handle, shared);
}

TEST_F(SharingTest, TwoHundredFiftySixthOpenOfOneEntryIsRefused) {
    const int16_t handle = Open("D:\\DATA\\CUST.DAT");
    for (int i = 2; i <= 255; ++i) ASSERT_EQ(Open("D:\\DATA\\CUST.DAT"), handle);
    EXPECT_EQ(tydb::GetOpenEntry(handle)->openCount, 255);
    int16_t again = 0;
    EXPECT_EQ(DbOpen(&again, "D:\\DATA\\CUST.DAT", 0, 0), TYDB_STATUS_TABLE_FULL);
    EXPECT_EQ(again, 0);
    EXPECT_EQ(tydb::GetOpenEntry(handle)->openCount, 255) << "the count never wraps to 0";
    EXPECT_EQ(DbClose(handle), 0);
    EXPECT_TRUE(fake.CallsOf(btr::kOpClose).empty());
}

TEST_F(SharingTest, CloseAllClosesAThriceOpenedFileOnce) {
    const int16_t handle = Open("D:\\DATA\\CUST.DAT");
    Open("D:\\DATA\\CUST.DAT");
    Open("D:\\OTHER\\CUST.DAT");
    ASSERT_EQ(tydb::GetOpenEntry(handle)->openCount, 3);
    EXPECT_EQ(DbCloseAll(), 0);
    EXPECT_EQ(fake.CallsOf(btr::kOpClose).size(), 1u);
    EXPECT_FALSE(tydb::IsValidHandle(handle));
}

TEST_F(SharingTest, FailedFirstOpenLeavesNothingToShare) {
    fake.ClearScript();
    fake.Script(btr::kOpOpen, "*", 46);
    int16_t handle = 0;
    EXPECT_EQ(DbOpen(&handle, "D:\\DATA\\CUST.DAT", 0, 0), 46);
    fake.ClearScript();
    fake.Script(btr::kOpOpen, "*", 0);
    fake.Script(btr::kOpStat, "*", 46);
    EXPECT_EQ(DbOpen(&handle, "D:\\DATA\\CUST.DAT", 0, 0), 0);
    EXPECT_EQ(fake.CallsOf(btr::kOpOpen).size(), 11u) << "the second open went to the engine";
}

}  // namespace
