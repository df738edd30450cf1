// KeyOverrideScope on a table entry set up by hand: what it lends, and what it puts back.
#include <gtest/gtest.h>

#include <cstring>

#include "open_file_table.h"
#include "record_object.h"

namespace {

using tydb::KeyOverrideScope;
using tydb::OpenFileEntry;

class KeyOverrideScopeTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Entry 0 looks open to GetOpenEntry: handle 1.
        entry().openCount = 1;
        entry().keyNumber = 3;
        entry().operationBias = 200;
    }
    void TearDown() override { std::memset(&entry(), 0, sizeof(OpenFileEntry)); }

    static OpenFileEntry& entry() { return tydb::EntryAt(0); }
    static constexpr int16_t kHandle = 1;
};

TEST_F(KeyOverrideScopeTest, LendsKeyNumberAndBiasForItsLifeAndPutsTheFilesBack) {
    {
        KeyOverrideScope scope(kHandle, 2, 0);
        EXPECT_EQ(entry().keyNumber, 2);
        EXPECT_EQ(entry().operationBias, 0);
    }
    EXPECT_EQ(entry().keyNumber, 3);
    EXPECT_EQ(entry().operationBias, 200);
}

TEST_F(KeyOverrideScopeTest, NegativeValuesLeaveTheFilesOwn) {
    {
        KeyOverrideScope scope(kHandle, -1, -1);
        EXPECT_EQ(entry().keyNumber, 3);
        EXPECT_EQ(entry().operationBias, 200);
    }
    EXPECT_EQ(entry().keyNumber, 3);
    EXPECT_EQ(entry().operationBias, 200);
}

TEST_F(KeyOverrideScopeTest, KeyNumberKeepsItsLowSixteenBitsLikeDbOverRideDef) {
    KeyOverrideScope scope(kHandle, 0x10001, -1);
    EXPECT_EQ(entry().keyNumber, 1);
}

TEST_F(KeyOverrideScopeTest, PutsBackANegativeKeyNumberAndBiasExactly) {
    entry().keyNumber = -1;
    entry().operationBias = -5;
    {
        KeyOverrideScope scope(kHandle, 0, 100);
        EXPECT_EQ(entry().keyNumber, 0);
        EXPECT_EQ(entry().operationBias, 100);
    }
    EXPECT_EQ(entry().keyNumber, -1);
    EXPECT_EQ(entry().operationBias, -5);
}

TEST_F(KeyOverrideScopeTest, AHandleOfNoOpenFileTouchesNoEntry) {
    OpenFileEntry before[tydb::kOpenFileCount];
    for (int i = 0; i < tydb::kOpenFileCount; ++i) before[i] = tydb::EntryAt(i);
    for (int16_t handle : {int16_t(-1), int16_t(0), int16_t(2), int16_t(64), int16_t(65), int16_t(-32768)}) {
        KeyOverrideScope scope(handle, 7, 300);
    }
    for (int i = 0; i < tydb::kOpenFileCount; ++i) {
        EXPECT_EQ(std::memcmp(&before[i], &tydb::EntryAt(i), sizeof before[i]), 0) << "entry " << i;
    }
}

TEST_F(KeyOverrideScopeTest, AFileClosedMeanwhileIsNotWrittenTo) {
    {
        KeyOverrideScope scope(kHandle, 2, 0);
        entry().openCount = 0;
    }
    EXPECT_EQ(entry().keyNumber, 2);
    EXPECT_EQ(entry().operationBias, 0);
}

}  // namespace
