// Two processes on one file: every call sees what the other completed, Create refuses a file
// the other has open, and keys the other adds or drops are used with their own definition.
#include <gtest/gtest.h>

#include "client_process.h"
#include "w3btrv7_test_util.h"

using namespace w3btest;
using testsupport::ChildProcess;
using testsupport::TempDir;

namespace {

class TwoProcesses : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.File("SHARED.DAT");
        Definition def(12, 1);
        def.segments.push_back(Segment(1, 4, 0, btr::kTypeUnsignedBinary));
        ASSERT_EQ(Create(path_, def), 0);
        ASSERT_EQ(Open(pb_, path_), 0);
        child_ = std::make_unique<ChildProcess>(testsupport::BuildPath("w3btrv7_client"), std::vector<std::string>{});
        ASSERT_TRUE(child_->started());
        ASSERT_EQ(Ask("open " + path_), "status 0");
    }
    std::string Ask(const std::string& command) {
        EXPECT_TRUE(child_->Send(command));
        return child_->ReadLine().value_or("no answer");
    }
    static uint32_t Id(const Read& r) {
        uint32_t v = 0;
        if (r.record.size() >= 4) std::memcpy(&v, r.record.data(), 4);
        return v;
    }

    TempDir dir_;
    std::string path_;
    PositionBlock pb_;
    std::unique_ptr<ChildProcess> child_;
};

}  // namespace

TEST_F(TwoProcesses, EveryReadSeesWhatTheOtherProcessCompleted) {
    EXPECT_EQ(Get(btr::kOpGetFirst, pb_, 0).status, btr::kStatusEndOfFile);
    ASSERT_EQ(Ask("insert 5 five"), "status 0");
    EXPECT_EQ(Id(Get(btr::kOpGetFirst, pb_, 0)), 5u);
    ASSERT_EQ(Ask("insert 7 seven"), "status 0");
    EXPECT_EQ(Id(Get(btr::kOpGetNext, pb_, 0)), 7u);
    ASSERT_EQ(Ask("insert 9 nine"), "status 0");
    EXPECT_EQ(Id(Get(btr::kOpStepLast, pb_, 0)), 9u);
    std::string stat(1819, '\0');
    uint32_t length = 1819;
    char key[255];
    ASSERT_EQ(Call(btr::kOpStat, pb_, stat.data(), &length, key, 255, 0), 0);
    uint32_t records;
    std::memcpy(&records, stat.data() + 6, 4);
    EXPECT_EQ(records, 3u);
    EXPECT_EQ(Ask("insert 9 again"), "status 5");
}

TEST_F(TwoProcesses, CreateOverAFileOpenElsewhereAnswers85AndKeepsIt) {
    ASSERT_EQ(Close(pb_), 0);
    ASSERT_EQ(Ask("insert 1 one"), "status 0");
    Definition def(12, 1);
    def.segments.push_back(Segment(1, 4, 0, btr::kTypeUnsignedBinary));
    EXPECT_EQ(Create(path_, def), btr::kStatusFileInUse);
    ASSERT_EQ(Ask("first 0"), "status 0");
    ASSERT_EQ(Ask("close"), "status 0");
    EXPECT_EQ(Create(path_, def), 0);
    ASSERT_EQ(Open(pb_, path_), 0);
    EXPECT_EQ(Get(btr::kOpGetFirst, pb_, 0).status, btr::kStatusEndOfFile);
}

TEST_F(TwoProcesses, KeysAddedAndDroppedByTheOtherProcessAreSeenAtOnce) {
    ASSERT_EQ(Ask("insert 1 zulu"), "status 0");
    ASSERT_EQ(Ask("insert 2 alpha"), "status 0");
    EXPECT_EQ(Get(btr::kOpGetFirst, pb_, 4).status, btr::kStatusInvalidKeyNumber);
    ASSERT_EQ(Ask("index 4"), "status 0");
    EXPECT_EQ(Id(Get(btr::kOpGetFirst, pb_, 4)), 2u);
    // A write through this process must keep the other's new key up to date.
    std::string r(12, ' ');
    uint32_t id = 3;
    std::memcpy(r.data(), &id, 4);
    std::memcpy(r.data() + 4, "aaaa", 4);
    ASSERT_EQ(Insert(pb_, r), 0);
    ASSERT_EQ(Ask("first 4"), "status 0");
    EXPECT_EQ(Id(Get(btr::kOpGetFirst, pb_, 4)), 3u);
    ASSERT_EQ(Ask("drop 4"), "status 0");
    EXPECT_EQ(Get(btr::kOpGetNext, pb_, 4).status, btr::kStatusInvalidKeyNumber);
}

TEST_F(TwoProcesses, AWriteOnADefinitionTheOtherProcessJustChangedGivesTheNewKeyItsEntry) {
    ASSERT_EQ(Ask("index 4"), "status 0");
    std::string r(12, ' ');
    uint32_t id = 3;
    std::memcpy(r.data(), &id, 4);
    ASSERT_EQ(Insert(pb_, r), 0);
    EXPECT_EQ(Ask("first 4"), "status 0");
}

TEST_F(TwoProcesses, AKeyReplacedByTheOtherProcessEndsTheWalkAlongIt) {
    for (const char* command : {"insert 1 delta", "insert 2 bravo", "insert 3 charlie"}) {
        ASSERT_EQ(Ask(command), "status 0");
    }
    ASSERT_EQ(Ask("index 4"), "status 0");
    EXPECT_EQ(Id(Get(btr::kOpGetFirst, pb_, 4)), 2u);
    // Same number, other definition: the place on the old key means nothing on the new one.
    ASSERT_EQ(Ask("drop 4"), "status 0");
    std::string spec;
    BtrKeySpec id = Segment(1, 4, btr::kKeyFlagDuplicates, btr::kTypeUnsignedBinary);
    spec.assign(reinterpret_cast<const char*>(&id), sizeof id);
    PositionBlock other;
    ASSERT_EQ(Open(other, path_), 0);
    uint32_t length = sizeof id;
    char key[255] = {};
    ASSERT_EQ(Call(btr::kOpCreateIndex, other, spec.data(), &length, key, 255, static_cast<int8_t>(0x80 | 4)), 0);
    EXPECT_EQ(Get(btr::kOpGetNext, pb_, 4).status, btr::kStatusInvalidPositioning);
    EXPECT_EQ(Id(Get(btr::kOpGetFirst, pb_, 4)), 1u);
}

// Workstations starting at the same moment each create a file unless it is there (the index
// registry's way): every one of them can then open it, and no create wipes what another wrote.
TEST(ManyProcesses, CreatesRacingForOneNewFileLeaveOneFileThatEveryOneOpens) {
    for (int round = 0; round < 10; ++round) {
        TempDir dir;
        const std::string path = dir.File("RACE.DAT");
        std::vector<std::unique_ptr<ClientProcess>> clients;
        for (int i = 0; i < 6; ++i) clients.push_back(std::make_unique<ClientProcess>());
        for (size_t i = 0; i < clients.size(); ++i) {
            clients[i]->Send("create " + path + " -1\nopen " + path + "\ninsert " + std::to_string(i + 1) + " w");
        }
        for (auto& client : clients) {
            const std::string created = client->Answer();
            EXPECT_TRUE(created == "status 0" || created == "status 59") << created;
            EXPECT_EQ(client->Answer(), "status 0") << "open, round " << round;
            EXPECT_EQ(client->Answer(), "status 0") << "insert, round " << round;
        }
        clients.clear();
        PositionBlock pb;
        ASSERT_EQ(Open(pb, path), 0);
        int records = 0;
        for (int16_t s = Get(btr::kOpStepFirst, pb, 0).status; s == 0; s = Get(btr::kOpStepNext, pb, 0).status)
            ++records;
        EXPECT_EQ(records, 6) << "round " << round;
        Close(pb);
    }
}

TEST_F(TwoProcesses, EqualValuesKeepTheirOrderOfArrivalAcrossTheOthersInsertBetweenTransactions) {
    ASSERT_EQ(Ask("index 1"), "status 0");
    auto insert = [&](uint32_t id, bool inTransaction) {
        PositionBlock none;
        uint32_t length = 0;
        if (inTransaction) {
            EXPECT_EQ(Call(btr::kOpBeginTransaction, none, nullptr, &length, nullptr, 0, 0), 0);
        }
        std::string r(12, ' ');
        std::memcpy(r.data(), &id, 4);
        std::memcpy(r.data() + 4, "same", 4);
        EXPECT_EQ(Insert(pb_, r), 0) << "id " << id;
        if (inTransaction) {
            EXPECT_EQ(Call(btr::kOpEndTransaction, none, nullptr, &length, nullptr, 0, 0), 0);
        }
    };
    insert(1, true);
    ASSERT_EQ(Ask("insert 2 same"), "status 0");
    insert(3, false);
    ASSERT_EQ(Ask("insert 4 same"), "status 0");
    insert(5, true);
    std::vector<uint32_t> order;
    for (Read r = Get(btr::kOpGetFirst, pb_, 1); r.status == 0; r = Get(btr::kOpGetNext, pb_, 1, r.key)) {
        order.push_back(Id(r));
    }
    EXPECT_EQ(order, (std::vector<uint32_t>{1, 2, 3, 4, 5}));
}
