// Rows read ahead by Get Next and Step Next never outlive a change: a scan sees every record
// inserted or deleted ahead of it, by another block or another process, at the next call.
#include <gtest/gtest.h>

#include "w3btrv7_test_util.h"

using namespace w3btest;
using testsupport::ChildProcess;
using testsupport::TempDir;

namespace {

class ReadAhead : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.File("AHEAD.DAT");
        Definition def(12, 1);
        def.segments.push_back(Segment(1, 4, btr::kKeyFlagModifiable, btr::kTypeUnsignedBinary));
        ASSERT_EQ(Create(path_, def), 0);
        ASSERT_EQ(Open(reader_, path_), 0);
        ASSERT_EQ(Open(writer_, path_), 0);
        for (uint32_t id = 10; id <= 400; id += 10) ASSERT_EQ(Insert(writer_, Rec(id)), 0);
    }
    static std::string Rec(uint32_t id) {
        std::string r(12, '.');
        std::memcpy(r.data(), &id, 4);
        return r;
    }
    static uint32_t Id(const Read& r) {
        uint32_t v = 0;
        if (r.status == 0) std::memcpy(&v, r.record.data(), 4);
        return v;
    }
    void DeleteId(uint32_t id) {
        ASSERT_EQ(Get(btr::kOpGetEqual, writer_, 0, U32(id)).status, 0);
        uint32_t length = 0;
        ASSERT_EQ(Call(btr::kOpDelete, writer_, nullptr, &length, nullptr, 0, 0), 0);
    }

    TempDir dir_;
    std::string path_;
    PositionBlock reader_, writer_;
};

}  // namespace

TEST_F(ReadAhead, GetNextSeesInsertsAndDeletesOfAnotherBlock) {
    EXPECT_EQ(Id(Get(btr::kOpGetFirst, reader_, 0)), 10u);
    EXPECT_EQ(Id(Get(btr::kOpGetNext, reader_, 0)), 20u);  // reads ahead
    ASSERT_EQ(Insert(writer_, Rec(25)), 0);
    DeleteId(30);
    EXPECT_EQ(Id(Get(btr::kOpGetNext, reader_, 0)), 25u);
    EXPECT_EQ(Id(Get(btr::kOpGetNext, reader_, 0)), 40u);
    // An update that moves a record ahead of the reader behind it.
    ASSERT_EQ(Get(btr::kOpGetEqual, writer_, 0, U32(50)).status, 0);
    std::string moved = Rec(5);
    uint32_t length = 12;
    char key[255] = {};
    ASSERT_EQ(Call(btr::kOpUpdate, writer_, moved.data(), &length, key, 255, 0), 0);
    EXPECT_EQ(Id(Get(btr::kOpGetNext, reader_, 0)), 60u);
    EXPECT_EQ(Id(Get(btr::kOpGetPrevious, reader_, 0)), 40u);
}

TEST_F(ReadAhead, LongScansInBothDirectionsReturnEveryRecordOnce) {
    std::vector<uint32_t> forward, backward;
    for (Read r = Get(btr::kOpGetFirst, reader_, 0); r.status == 0; r = Get(btr::kOpGetNext, reader_, 0)) {
        forward.push_back(Id(r));
    }
    for (Read r = Get(btr::kOpGetLast, reader_, 0); r.status == 0; r = Get(btr::kOpGetPrevious, reader_, 0)) {
        backward.push_back(Id(r));
    }
    ASSERT_EQ(forward.size(), 40u);
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(forward, backward);
    std::vector<uint32_t> steps;
    for (Read r = Get(btr::kOpStepFirst, reader_, 0); r.status == 0; r = Get(btr::kOpStepNext, reader_, 0)) {
        steps.push_back(Id(r));
    }
    EXPECT_EQ(steps, forward);
    // Changing direction in the middle of a batch.
    ASSERT_EQ(Id(Get(btr::kOpGetEqual, reader_, 0, U32(200))), 200u);
    EXPECT_EQ(Id(Get(btr::kOpGetNext, reader_, 0)), 210u);
    EXPECT_EQ(Id(Get(btr::kOpGetNext, reader_, 0)), 220u);
    EXPECT_EQ(Id(Get(btr::kOpGetPrevious, reader_, 0)), 210u);
    EXPECT_EQ(Id(Get(btr::kOpGetNext, reader_, 0)), 220u);
}

TEST_F(ReadAhead, StepNextSeesRecordsDeletedAndAddedByAnotherProcess) {
    ChildProcess child(testsupport::BuildPath("w3btrv7_client"), {});
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(child.Send("open " + path_));
    ASSERT_EQ(child.ReadLine().value_or(""), "status 0");
    EXPECT_EQ(Id(Get(btr::kOpStepFirst, reader_, 0)), 10u);
    EXPECT_EQ(Id(Get(btr::kOpStepNext, reader_, 0)), 20u);  // reads ahead
    DeleteId(30);
    EXPECT_EQ(Id(Get(btr::kOpStepNext, reader_, 0)), 40u);
    EXPECT_EQ(Id(Get(btr::kOpStepNext, reader_, 0)), 50u);
    ASSERT_TRUE(child.Send("first 0"));
    ASSERT_EQ(child.ReadLine().value_or(""), "status 0");
    // Let the other process remove what this one has read ahead: it must not come back.
    for (uint32_t id = 60; id <= 400; id += 10) {
        ASSERT_EQ(Get(btr::kOpGetEqual, writer_, 0, U32(id)).status, 0);
        uint32_t length = 0;
        ASSERT_EQ(Call(btr::kOpDelete, writer_, nullptr, &length, nullptr, 0, 0), 0);
    }
    ASSERT_TRUE(child.Send("insert 1000 late"));
    ASSERT_EQ(child.ReadLine().value_or(""), "status 0");
    EXPECT_EQ(Id(Get(btr::kOpStepNext, reader_, 0)), 1000u);
    EXPECT_EQ(Get(btr::kOpStepNext, reader_, 0).status, btr::kStatusEndOfFile);
}

TEST_F(ReadAhead, GetNextSeesAnInsertOfAnotherProcessBetweenTwoCalls) {
    ChildProcess child(testsupport::BuildPath("w3btrv7_client"), {});
    ASSERT_TRUE(child.Send("open " + path_));
    ASSERT_EQ(child.ReadLine().value_or(""), "status 0");
    EXPECT_EQ(Id(Get(btr::kOpGetEqual, reader_, 0, U32(100))), 100u);
    EXPECT_EQ(Id(Get(btr::kOpGetNext, reader_, 0)), 110u);
    ASSERT_TRUE(child.Send("insert 115 between"));
    ASSERT_EQ(child.ReadLine().value_or(""), "status 0");
    EXPECT_EQ(Id(Get(btr::kOpGetNext, reader_, 0)), 115u);
    EXPECT_EQ(Id(Get(btr::kOpGetNext, reader_, 0)), 120u);
}
