// The wait, the no-op and the library's heap blocks.
#include <gtest/gtest.h>

#include "heap_block.h"
#include "platform.h"
#include "tydb.h"

namespace {

TEST(DbWait, ZeroOrLessReturnsAtOnceAndEachUnitSleeps56Milliseconds) {
    const uint64_t sleeps = platform::testing::SleepCount();
    const uint64_t slept = platform::testing::SleptMilliseconds();
    EXPECT_EQ(DbWait(0), 0);
    EXPECT_EQ(DbWait(-4), 0);
    EXPECT_EQ(platform::testing::SleepCount(), sleeps);
    EXPECT_EQ(DbWait(3), 0);
    EXPECT_EQ(platform::testing::SleepCount(), sleeps + 3);
    EXPECT_EQ(platform::testing::SleptMilliseconds(), slept + 168);
}

TEST(DbNop, ReturnsZero) { EXPECT_EQ(DbNop(), 0); }

TEST(AllocZeroed, GivesZeroFilledBlocksAndAValidEmptyBlock) {
    auto* block = static_cast<unsigned char*>(tydb::AllocZeroed(16, 8));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 128; ++i) EXPECT_EQ(block[i], 0);
    EXPECT_NE(tydb::FreeBlock(block), 0);

    void* empty = tydb::AllocZeroed(1, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_NE(tydb::FreeBlock(empty), 0);
}

TEST(AllocZeroed, RefusesNegativeAndOverflowingSizes) {
    EXPECT_EQ(tydb::AllocZeroed(-1, 8), nullptr);
    EXPECT_EQ(tydb::AllocZeroed(8, -1), nullptr);
    EXPECT_EQ(tydb::AllocZeroed(0x7FFFFFFF, 0x7FFFFFFF), nullptr);
}

TEST(AllocZeroed, InjectedFailureGivesNullAndHeapBlockOwnsNothing) {
    platform::testing::InjectAllocationFailure(0);
    tydb::HeapBlock block(4, 4);
    EXPECT_FALSE(block);
    platform::testing::InjectAllocationFailure(-1);
    tydb::HeapBlock next(4, 4);
    EXPECT_TRUE(next);
}

}  // namespace
