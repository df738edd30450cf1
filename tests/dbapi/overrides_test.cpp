// Per-file key number and bias overrides and the read-backs.
#include <gtest/gtest.h>

#include <cstring>

#include "open_file_table.h"
#include "open_table_fixture.h"

using namespace opentest;

namespace {

class OverridesTest : public OpenTableTest {};

TEST_F(OverridesTest, MinusOneLeavesAValueUnchanged) {
    const int16_t handle = Open("D:\\DATA\\CUST.DAT");
    ASSERT_EQ(DbOverRideDef(handle, 2, -1), 0);
    ASSERT_EQ(DbOverRideDef(handle, -1, 200), 0);
    int32_t keyNumber = 0, bias = 0;
    ASSERT_EQ(DbGetOverRideDef(handle, &keyNumber, &bias), 0);
    EXPECT_EQ(keyNumber, 2);
    EXPECT_EQ(bias, 200);
    ASSERT_EQ(DbOverRideDef(handle, -7, -100), 0);
    ASSERT_EQ(DbGetOverRideDef(handle, &keyNumber, &bias), 0);
    EXPECT_EQ(keyNumber, 2);
    EXPECT_EQ(bias, 200);
}

TEST_F(OverridesTest, KeyNumberKeepsItsLowSixteenBitsAndReadsBackWithSign) {
    const int16_t handle = Open("D:\\DATA\\CUST.DAT");
    ASSERT_EQ(DbOverRideDef(handle, 0x1FFFF, -1), 0);
    int32_t keyNumber = 0;
    ASSERT_EQ(DbGetOverRideDef(handle, &keyNumber, nullptr), 0);
    EXPECT_EQ(keyNumber, -1);
}

TEST_F(OverridesTest, InvalidHandleLeavesTheTableUntouched) {
    const int16_t handle = Open("D:\\DATA\\CUST.DAT");
    ASSERT_EQ(DbClose(handle), 0);
    tydb::OpenFileEntry before[tydb::kOpenFileCount];
    for (int i = 0; i < tydb::kOpenFileCount; ++i) before[i] = tydb::EntryAt(i);

    for (int16_t bad : {int16_t(0), int16_t(-1), int16_t(65), int16_t(32767), int16_t(-32768), handle}) {
        EXPECT_EQ(DbOverRideDef(bad, 5, 300), TYDB_STATUS_INVALID_HANDLE) << bad;
    }
    for (int i = 0; i < tydb::kOpenFileCount; ++i) {
        EXPECT_EQ(std::memcmp(&before[i], &tydb::EntryAt(i), sizeof before[i]), 0) << "entry " << i;
    }
}

TEST_F(OverridesTest, ReadBacksRefuseBadHandlesAndSkipMissingPointers) {
    int32_t keyNumber = 9, bias = 9;
    EXPECT_EQ(DbGetOverRideDef(0, &keyNumber, &bias), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(DbGetOverRideDef(65, &keyNumber, &bias), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(DbGetOverRideDef(1, &keyNumber, &bias), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(keyNumber, 9);
    EXPECT_EQ(bias, 9);
    EXPECT_EQ(DbGetLastDataLength(0), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(DbGetLastDataLength(1), TYDB_STATUS_INVALID_HANDLE);

    fake.Script(400, "*", 0);
    const int16_t handle = Open("D:\\DATA\\CUST.DAT", 0, 400);
    EXPECT_EQ(DbGetOverRideDef(handle, nullptr, nullptr), 0);
    EXPECT_EQ(DbGetOverRideDef(handle, nullptr, &bias), 0);
    EXPECT_EQ(bias, 400);
    EXPECT_EQ(keyNumber, 9);
}

TEST_F(OverridesTest, LastDataLengthIsTheEntrysValue) {
    const int16_t handle = Open("D:\\DATA\\CUST.DAT");
    EXPECT_EQ(DbGetLastDataLength(handle), 0);
    tydb::GetOpenEntry(handle)->lastDataLength = -3;
    EXPECT_EQ(DbGetLastDataLength(handle), -3);
    tydb::GetOpenEntry(handle)->lastDataLength = 4000;
    EXPECT_EQ(DbGetLastDataLength(handle), 4000);
}

}  // namespace
