// Transactions: Begin, End and Abort over every file the process writes, what other processes
// see meanwhile, and what is left when the process dies inside one.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "client_process.h"

using namespace w3btest;
using testsupport::TempDir;

namespace {

int16_t Plain(uint16_t operation) {
    PositionBlock none;
    uint32_t length = 0;
    char key[255] = {};
    return Call(operation, none, nullptr, &length, key, 255, 0);
}

class Transactions : public ::testing::Test {
protected:
    void SetUp() override {
        first_ = dir_.File("FIRST.DAT");
        second_ = dir_.File("SECOND.DAT");
        for (const std::string& path : {first_, second_}) ASSERT_EQ(Create(path, IdFile()), 0);
        ASSERT_EQ(Open(a_, first_), 0);
        ASSERT_EQ(Open(b_, second_), 0);
        for (uint32_t id : {10u, 20u, 30u}) {
            ASSERT_EQ(Insert(a_, IdRecord(id, "a")), 0);
            ASSERT_EQ(Insert(b_, IdRecord(id, "b")), 0);
        }
    }
    void TearDown() override { Plain(btr::kOpAbortTransaction); }

    std::unique_ptr<ClientProcess> Client(const std::string& path) {
        auto client = std::make_unique<ClientProcess>();
        EXPECT_TRUE(client->started());
        EXPECT_EQ(client->Ask("open " + path), "status 0");
        return client;
    }
    std::vector<uint32_t> Ids(PositionBlock& pb) {
        std::vector<uint32_t> ids;
        for (Read r = Get(btr::kOpGetFirst, pb, 0); r.status == 0; r = Get(btr::kOpGetNext, pb, 0, r.key)) {
            ids.push_back(IdOf(r));
        }
        return ids;
    }
    int16_t Update(PositionBlock& pb, uint32_t id, const std::string& name) {
        if (Get(btr::kOpGetEqual, pb, 0, IdKey(id)).status != 0) return -1;
        std::string record = IdRecord(id, name);
        uint32_t length = 12;
        char key[255] = {};
        return Call(btr::kOpUpdate, pb, record.data(), &length, key, 255, 0);
    }
    int16_t Delete(PositionBlock& pb, uint32_t id) {
        if (Get(btr::kOpGetEqual, pb, 0, IdKey(id)).status != 0) return -1;
        uint32_t length = 0;
        char key[255] = {};
        return Call(btr::kOpDelete, pb, nullptr, &length, key, 255, 0);
    }

    TempDir dir_;
    std::string first_, second_;
    PositionBlock a_, b_;
};

}  // namespace

TEST_F(Transactions, NestedBeginAnswers37AndEndOrAbortWithoutOneAnswer39) {
    EXPECT_EQ(Plain(btr::kOpEndTransaction), btr::kStatusEndTransactionError);
    EXPECT_EQ(Plain(btr::kOpAbortTransaction), btr::kStatusEndTransactionError);
    ASSERT_EQ(Plain(btr::kOpBeginTransaction), 0);
    EXPECT_EQ(Plain(btr::kOpBeginTransaction), btr::kStatusTransactionActive);
    EXPECT_EQ(Plain(btr::kOpBeginTransaction + btr::kBiasConcurrentTransaction), btr::kStatusTransactionActive);
    EXPECT_EQ(Plain(btr::kOpEndTransaction), 0);
    EXPECT_EQ(Plain(btr::kOpEndTransaction), btr::kStatusEndTransactionError);
    ASSERT_EQ(Plain(btr::kOpBeginTransaction + btr::kBiasConcurrentTransaction), 0);
    EXPECT_EQ(Plain(btr::kOpAbortTransaction), 0);
    EXPECT_EQ(Plain(btr::kOpAbortTransaction), btr::kStatusEndTransactionError);
}

TEST_F(Transactions, AbortedWorkLeavesNoTraceInAnyFile) {
    ASSERT_EQ(Plain(btr::kOpBeginTransaction), 0);
    ASSERT_EQ(Insert(a_, IdRecord(15, "new")), 0);
    ASSERT_EQ(Update(a_, 20, "changed"), 0);
    ASSERT_EQ(Delete(b_, 30), 0);
    ASSERT_EQ(Insert(b_, IdRecord(40, "new")), 0);
    // The process sees its own work inside the transaction.
    EXPECT_EQ(Ids(a_), (std::vector<uint32_t>{10, 15, 20, 30}));
    EXPECT_EQ(Ids(b_), (std::vector<uint32_t>{10, 20, 40}));
    ASSERT_EQ(Plain(btr::kOpAbortTransaction), 0);
    EXPECT_EQ(Ids(a_), (std::vector<uint32_t>{10, 20, 30}));
    EXPECT_EQ(Ids(b_), (std::vector<uint32_t>{10, 20, 30}));
    EXPECT_EQ(Get(btr::kOpGetEqual, a_, 0, IdKey(20)).record.substr(4, 1), "a");
}

TEST_F(Transactions, EndCommitsEveryFileAndOthersSeeTheWorkOnlyThen) {
    auto client = Client(second_);
    ASSERT_EQ(Plain(btr::kOpBeginTransaction + btr::kBiasConcurrentTransaction), 0);
    ASSERT_EQ(Insert(a_, IdRecord(15, "new")), 0);
    ASSERT_EQ(Insert(b_, IdRecord(25, "new")), 0);
    EXPECT_EQ(client->Ask(GetCommand(btr::kOpGetEqual, 25)), "status 4");
    ASSERT_EQ(Plain(btr::kOpEndTransaction), 0);
    EXPECT_EQ(client->Ask(GetCommand(btr::kOpGetEqual, 25)), "status 0");
    EXPECT_EQ(Ids(a_), (std::vector<uint32_t>{10, 15, 20, 30}));
}

TEST_F(Transactions, GetNextInsideATransactionSeesTheProcessesOwnNewRecords) {
    PositionBlock walker;
    ASSERT_EQ(Open(walker, first_), 0);
    Read r = Get(btr::kOpGetFirst, walker, 0);
    ASSERT_EQ(IdOf(r), 10u);
    ASSERT_EQ(Plain(btr::kOpBeginTransaction), 0);
    ASSERT_EQ(Insert(a_, IdRecord(15, "new")), 0);
    EXPECT_EQ(IdOf(Get(btr::kOpGetNext, walker, 0, r.key)), 15u);
    ASSERT_EQ(Delete(a_, 20), 0);
    EXPECT_EQ(IdOf(Get(btr::kOpGetNext, walker, 0)), 30u);
    ASSERT_EQ(Plain(btr::kOpAbortTransaction), 0);
    EXPECT_EQ(IdOf(Get(btr::kOpGetFirst, walker, 0)), 10u);
    EXPECT_EQ(IdOf(Get(btr::kOpGetNext, walker, 0)), 20u);
}

TEST_F(Transactions, ARefusedOperationUndoesOnlyItself) {
    ASSERT_EQ(Plain(btr::kOpBeginTransaction), 0);
    ASSERT_EQ(Insert(a_, IdRecord(15, "new")), 0);
    EXPECT_EQ(Insert(a_, IdRecord(15, "again")), btr::kStatusDuplicateKey);
    ASSERT_EQ(Plain(btr::kOpEndTransaction), 0);
    EXPECT_EQ(Ids(a_), (std::vector<uint32_t>{10, 15, 20, 30}));
    EXPECT_EQ(Get(btr::kOpGetEqual, a_, 0, IdKey(15)).record.substr(4, 3), "new");
}

TEST_F(Transactions, AnInsertRefusedByItsLastKeyLeavesNeitherItsRecordNorItsEarlierEntries) {
    // The id allows duplicates and the name does not: the refused insert has already added its
    // record and its id entry when it finds the name taken.
    Definition def(12, 2);
    def.segments.push_back(Segment(1, 4, btr::kKeyFlagDuplicates, btr::kTypeUnsignedBinary));
    def.segments.push_back(Segment(5, 8, 0, btr::kTypeString));
    PositionBlock pb;
    ASSERT_EQ(Create(dir_.File("TWOKEYS.DAT"), def), 0);
    ASSERT_EQ(Open(pb, dir_.File("TWOKEYS.DAT")), 0);
    ASSERT_EQ(Plain(btr::kOpBeginTransaction), 0);
    ASSERT_EQ(Insert(pb, IdRecord(1, "kept")), 0);
    EXPECT_EQ(Insert(pb, IdRecord(2, "kept")), btr::kStatusDuplicateKey);
    ASSERT_EQ(Insert(pb, IdRecord(3, "also")), 0);
    ASSERT_EQ(Plain(btr::kOpEndTransaction), 0);
    EXPECT_EQ(Ids(pb), (std::vector<uint32_t>{1, 3}));
    std::vector<uint32_t> stored;
    for (Read r = Get(btr::kOpStepFirst, pb, 0); r.status == 0; r = Get(btr::kOpStepNext, pb, 0)) {
        stored.push_back(IdOf(r));
    }
    EXPECT_EQ(stored, (std::vector<uint32_t>{1, 3}));
}

TEST_F(Transactions, CloseInsideATransactionKeepsItsWorkForEnd) {
    ASSERT_EQ(Plain(btr::kOpBeginTransaction), 0);
    ASSERT_EQ(Insert(b_, IdRecord(45, "kept")), 0);
    ASSERT_EQ(Close(b_), 0);
    ASSERT_EQ(Plain(btr::kOpEndTransaction), 0);
    ASSERT_EQ(Open(b_, second_), 0);
    EXPECT_EQ(Ids(b_), (std::vector<uint32_t>{10, 20, 30, 45}));
    // With the transaction over, the file is closed for good: Create may replace it.
    ASSERT_EQ(Close(b_), 0);
    EXPECT_EQ(Create(second_, IdFile()), 0);
}

TEST_F(Transactions, IndexChangesInsideATransactionAnswer41) {
    ASSERT_EQ(Plain(btr::kOpBeginTransaction), 0);
    BtrKeySpec spec = Segment(5, 8, btr::kKeyFlagDuplicates, btr::kTypeString);
    uint32_t length = sizeof spec;
    char key[255] = {};
    EXPECT_EQ(Call(btr::kOpCreateIndex, a_, &spec, &length, key, 255, 0), btr::kStatusOperationNotAllowed);
    EXPECT_EQ(Call(btr::kOpDropIndex, a_, nullptr, &length, key, 255, 0), btr::kStatusOperationNotAllowed);
}

TEST_F(Transactions, RecordsWrittenInATransactionStayLockedUntilItEnds) {
    auto client = Client(first_);
    ASSERT_EQ(Plain(btr::kOpBeginTransaction + btr::kBiasConcurrentTransaction), 0);
    ASSERT_EQ(Update(a_, 20, "mine"), 0);
    EXPECT_EQ(client->Ask(GetCommand(btr::kOpGetEqual + btr::kBiasSingleNoWaitLock, 20)), "status 84");
    // A read without a lock sees the last committed version.
    EXPECT_EQ(client->Ask(GetCommand(btr::kOpGetEqual, 20)), "status 0");
    ASSERT_EQ(Plain(btr::kOpEndTransaction), 0);
    EXPECT_EQ(client->Ask(GetCommand(btr::kOpGetEqual + btr::kBiasSingleNoWaitLock, 20)), "status 0");
}

TEST_F(Transactions, AnotherProcessesWriteWaitsForAConcurrentTransactionToEnd) {
    // A concurrent transaction locks records, not the file: another process's write of another
    // record is not refused but waits until the transaction's work is committed.
    auto client = Client(first_);
    ASSERT_EQ(Plain(btr::kOpBeginTransaction + btr::kBiasConcurrentTransaction), 0);
    ASSERT_EQ(Insert(a_, IdRecord(15, "mine")), 0);
    ASSERT_TRUE(client->Send("insert 16 theirs"));
    // Time for the other process to reach its write while the transaction still holds it off.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(Plain(btr::kOpEndTransaction), 0);
    EXPECT_EQ(client->Answer(), "status 0");
    EXPECT_EQ(Ids(a_), (std::vector<uint32_t>{10, 15, 16, 20, 30}));
}

TEST_F(Transactions, BeginsLockBiasLocksEveryReadInside) {
    auto client = Client(first_);
    ASSERT_EQ(Plain(btr::kOpBeginTransaction + btr::kBiasConcurrentTransaction + btr::kBiasMultipleNoWaitLock), 0);
    ASSERT_EQ(IdOf(Get(btr::kOpGetEqual, a_, 0, IdKey(10))), 10u);
    ASSERT_EQ(IdOf(Get(btr::kOpGetNext, a_, 0)), 20u);
    EXPECT_EQ(client->Ask(GetCommand(btr::kOpGetEqual + btr::kBiasSingleNoWaitLock, 10)), "status 84");
    EXPECT_EQ(client->Ask(GetCommand(btr::kOpGetEqual + btr::kBiasSingleNoWaitLock, 20)), "status 84");
    EXPECT_EQ(client->Ask(GetCommand(btr::kOpGetEqual + btr::kBiasSingleNoWaitLock, 30)), "status 0");
}

TEST_F(Transactions, AProcessKilledInsideATransactionLeavesNothingOfIt) {
    auto client = Client(first_);
    ASSERT_EQ(client->Ask("call 19"), "status 0");
    ASSERT_EQ(client->Ask("insert 11 lost"), "status 0");
    ASSERT_EQ(client->Ask("insert 12 lost"), "status 0");
    client->Kill();
    EXPECT_EQ(Ids(a_), (std::vector<uint32_t>{10, 20, 30}));
    ASSERT_EQ(Insert(a_, IdRecord(11, "after")), 0);
    EXPECT_EQ(IntegrityCheck(first_), "ok");
}

TEST_F(Transactions, StopAndResetAbortTheTransaction) {
    for (uint16_t end : {btr::kOpStop, btr::kOpReset}) {
        ASSERT_EQ(Plain(btr::kOpBeginTransaction), 0);
        ASSERT_EQ(Insert(a_, IdRecord(15, "lost")), 0);
        EXPECT_EQ(Plain(end), 0);
        EXPECT_EQ(Plain(btr::kOpEndTransaction), btr::kStatusEndTransactionError);
        ASSERT_EQ(Open(a_, first_), 0);
        EXPECT_EQ(Ids(a_), (std::vector<uint32_t>{10, 20, 30}));
    }
}

TEST_F(Transactions, AnExclusiveTransactionKeepsOtherProcessesLockingReadsAndWritesOffTheFile) {
    auto client = Client(first_);
    ASSERT_EQ(Plain(btr::kOpBeginTransaction), 0);
    ASSERT_EQ(Update(a_, 20, "mine"), 0);
    EXPECT_EQ(client->Ask(GetCommand(btr::kOpGetEqual + btr::kBiasSingleNoWaitLock, 10)), "status 85");
    EXPECT_EQ(client->Ask(GetCommand(btr::kOpGetEqual + btr::kBiasMultipleNoWaitLock, 30)), "status 85");
    EXPECT_EQ(client->Ask("insert 11 theirs"), "status 85");
    EXPECT_EQ(client->Ask(GetCommand(btr::kOpGetEqual, 10)), "status 0");
    EXPECT_EQ(client->Ask("update 10 theirs"), "status 85");
    // A waiting read goes on when the transaction ends.
    ASSERT_TRUE(client->Send(GetCommand(btr::kOpGetEqual + btr::kBiasSingleWaitLock, 10)));
    ASSERT_EQ(Plain(btr::kOpEndTransaction), 0);
    EXPECT_EQ(client->Answer(), "status 0");
    EXPECT_EQ(client->Ask("update 10 theirs"), "status 0");
}

TEST_F(Transactions, AConcurrentTransactionLeavesOtherRecordsToOtherProcesses) {
    auto client = Client(first_);
    ASSERT_EQ(Plain(btr::kOpBeginTransaction + btr::kBiasConcurrentTransaction), 0);
    ASSERT_EQ(Update(a_, 20, "mine"), 0);
    EXPECT_EQ(client->Ask(GetCommand(btr::kOpGetEqual + btr::kBiasSingleNoWaitLock, 10)), "status 0");
    EXPECT_EQ(client->Ask(GetCommand(btr::kOpGetEqual + btr::kBiasSingleNoWaitLock, 20)), "status 84");
    ASSERT_EQ(Plain(btr::kOpAbortTransaction), 0);
    EXPECT_EQ(client->Ask(GetCommand(btr::kOpGetEqual + btr::kBiasSingleNoWaitLock, 20)), "status 0");
}

TEST_F(Transactions, WritesWithTheNoWaitBiasDoNotWaitForAnotherProcessesTransaction) {
    auto client = Client(first_);
    ASSERT_EQ(Plain(btr::kOpBeginTransaction + btr::kBiasConcurrentTransaction), 0);
    ASSERT_EQ(Insert(a_, IdRecord(15, "mine")), 0);
    EXPECT_EQ(client->Ask("write " + std::to_string(btr::kOpInsert + btr::kBiasNoWriteWait) + " 16 theirs"),
              "status 85");
    // Nor do the writes of a transaction begun with it.
    ASSERT_EQ(client->Ask("call " + std::to_string(btr::kOpBeginTransaction + btr::kBiasConcurrentTransaction +
                                                   btr::kBiasNoWriteWait)),
              "status 0");
    EXPECT_EQ(client->Ask("insert 17 theirs"), "status 85");
    ASSERT_EQ(client->Ask("call " + std::to_string(btr::kOpAbortTransaction)), "status 0");
    ASSERT_EQ(Plain(btr::kOpEndTransaction), 0);
    EXPECT_EQ(client->Ask("write " + std::to_string(btr::kOpInsert + btr::kBiasNoWriteWait) + " 16 theirs"),
              "status 0");
}
