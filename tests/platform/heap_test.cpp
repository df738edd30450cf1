// Zero-filled heap blocks: size checks and failure injection.
#include <cstdint>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "platform.h"

namespace {

class HeapBlocks : public ::testing::Test {
protected:
    void TearDown() override { platform::testing::InjectAllocationFailure(-1); }
};

TEST_F(HeapBlocks, BlockIsZeroFilledAndWritable) {
    // Dirty the heap first so that zeroes cannot come from fresh pages by luck.
    void* dirty = platform::HeapAllocZeroed(64, 64);
    ASSERT_NE(nullptr, dirty);
    std::memset(dirty, 0xAB, 64 * 64);
    platform::HeapFreeBlock(dirty);
    auto* block = static_cast<unsigned char*>(platform::HeapAllocZeroed(64, 64));
    ASSERT_NE(nullptr, block);
    for (int i = 0; i < 64 * 64; ++i) ASSERT_EQ(0, block[i]) << "byte " << i;
    block[64 * 64 - 1] = 1;
    EXPECT_NE(0, platform::HeapFreeBlock(block));
}

TEST_F(HeapBlocks, EmptyRequestGivesFreeableBlock) {
    void* empty = platform::HeapAllocZeroed(1, 0);
    ASSERT_NE(nullptr, empty);
    EXPECT_NE(0, platform::HeapFreeBlock(empty));
    void* none = platform::HeapAllocZeroed(0, 100);
    ASSERT_NE(nullptr, none);
    EXPECT_NE(0, platform::HeapFreeBlock(none));
}

TEST_F(HeapBlocks, NegativeCountOrSizeGivesNull) {
    EXPECT_EQ(nullptr, platform::HeapAllocZeroed(-1, 10));
    EXPECT_EQ(nullptr, platform::HeapAllocZeroed(10, -1));
    EXPECT_EQ(nullptr, platform::HeapAllocZeroed(-4, -4));
    EXPECT_EQ(nullptr, platform::HeapAllocZeroed(std::numeric_limits<int32_t>::min(), 0));
}

TEST_F(HeapBlocks, ProductBeyondSignedThirtyTwoBitsGivesNull) {
    EXPECT_EQ(nullptr, platform::HeapAllocZeroed(65536, 65536));  // wraps to 0 in 32 bits
    EXPECT_EQ(nullptr, platform::HeapAllocZeroed(46341, 46341));  // just past 2^31 - 1
    EXPECT_EQ(nullptr, platform::HeapAllocZeroed(std::numeric_limits<int32_t>::max(), 2));
}

TEST_F(HeapBlocks, NullBlockFreesSuccessfully) { EXPECT_NE(0, platform::HeapFreeBlock(nullptr)); }

TEST_F(HeapBlocks, InjectedFailureHitsTheChosenAllocation) {
    platform::testing::InjectAllocationFailure(2, 1);
    void* first = platform::HeapAllocZeroed(1, 8);
    void* second = platform::HeapAllocZeroed(1, 8);
    void* third = platform::HeapAllocZeroed(1, 8);
    void* fourth = platform::HeapAllocZeroed(1, 8);
    EXPECT_NE(nullptr, first);
    EXPECT_NE(nullptr, second);
    EXPECT_EQ(nullptr, third);
    EXPECT_NE(nullptr, fourth);
    platform::HeapFreeBlock(first);
    platform::HeapFreeBlock(second);
    platform::HeapFreeBlock(fourth);
}

TEST_F(HeapBlocks, InjectedFailuresRepeatThenStop) {
    platform::testing::InjectAllocationFailure(0, 3);
    EXPECT_EQ(nullptr, platform::HeapAllocZeroed(1, 8));
    EXPECT_EQ(nullptr, platform::HeapAllocZeroed(1, 8));
    EXPECT_EQ(nullptr, platform::HeapAllocZeroed(1, 8));
    void* after = platform::HeapAllocZeroed(1, 8);
    EXPECT_NE(nullptr, after);
    platform::HeapFreeBlock(after);
}

TEST_F(HeapBlocks, RefusedRequestsDoNotUseUpInjection) {
    platform::testing::InjectAllocationFailure(0, 1);
    EXPECT_EQ(nullptr, platform::HeapAllocZeroed(-1, 8));
    EXPECT_EQ(nullptr, platform::HeapAllocZeroed(1, 8));
    void* after = platform::HeapAllocZeroed(1, 8);
    EXPECT_NE(nullptr, after);
    platform::HeapFreeBlock(after);
}

TEST_F(HeapBlocks, NegativeSuccessCountTurnsInjectionOff) {
    platform::testing::InjectAllocationFailure(0, 5);
    platform::testing::InjectAllocationFailure(-1);
    void* block = platform::HeapAllocZeroed(1, 8);
    EXPECT_NE(nullptr, block);
    platform::HeapFreeBlock(block);
}

}  // namespace
