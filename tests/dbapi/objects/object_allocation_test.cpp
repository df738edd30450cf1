// Record objects and the heap: every block DbRecCreate takes is given back on every path.
//
// The program is linked with the heap's calloc and free wrapped (see CMakeLists.txt), so the
// test sees each block the library takes and gives back while it watches.
#include <gtest/gtest.h>

#include <cstddef>

#include "platform.h"
#include "tydb.h"

extern "C" void* __real_calloc(size_t count, size_t size);
extern "C" void __real_free(void* block);

namespace {

constexpr int kMaxWatched = 16;

struct HeapWatch {
    bool on = false;
    int taken = 0;
    void* live[kMaxWatched] = {};
};
HeapWatch watch;

int LiveBlocks() {
    int count = 0;
    for (void* block : watch.live) count += block != nullptr ? 1 : 0;
    return count;
}

void StartWatching() { watch = HeapWatch{true}; }

}  // namespace

extern "C" void* __wrap_calloc(size_t count, size_t size) {
    void* block = __real_calloc(count, size);
    if (watch.on && block != nullptr) {
        ++watch.taken;
        for (void*& slot : watch.live) {
            if (slot == nullptr) {
                slot = block;
                break;
            }
        }
    }
    return block;
}

extern "C" void __wrap_free(void* block) {
    if (watch.on && block != nullptr) {
        for (void*& slot : watch.live) {
            if (slot == block) slot = nullptr;
        }
    }
    __real_free(block);
}

namespace {

class RecordObjectHeap : public ::testing::Test {
protected:
    void TearDown() override {
        watch.on = false;
        platform::testing::InjectAllocationFailure(-1);
    }
};

TEST_F(RecordObjectHeap, CreateTakesThreeBlocksAndFreeGivesThemAllBack) {
    StartWatching();
    TydbRecordObject* object = DbRecCreate(100, 11);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(watch.taken, 3);
    EXPECT_EQ(LiveBlocks(), 3);
    EXPECT_NE(DbRecFree(object), 0);
    EXPECT_EQ(LiveBlocks(), 0);
}

TEST_F(RecordObjectHeap, AFailedAllocationAtAnyStepLeavesNothingAllocated) {
    // Steps: the object, its data buffer, its key buffer.
    for (int failing = 0; failing < 3; ++failing) {
        platform::testing::InjectAllocationFailure(failing, 1);
        StartWatching();
        EXPECT_EQ(DbRecCreate(100, 11), nullptr) << "allocation " << failing << " failing";
        watch.on = false;
        EXPECT_EQ(watch.taken, failing) << "allocation " << failing << " failing";
        EXPECT_EQ(LiveBlocks(), 0) << "allocation " << failing << " failing";
    }
}

TEST_F(RecordObjectHeap, CreateSucceedsAgainOnceTheHeapDoes) {
    platform::testing::InjectAllocationFailure(0, 1);
    EXPECT_EQ(DbRecCreate(100, 11), nullptr);
    TydbRecordObject* object = DbRecCreate(100, 11);
    ASSERT_NE(object, nullptr);
    DbRecFree(object);
}

}  // namespace
