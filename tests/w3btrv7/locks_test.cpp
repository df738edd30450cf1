// Record locks: the four lock biases, what ends a lock, Unlock, and how locks of two processes
// meet (84) while the blocks of one process never conflict.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

#include "client_process.h"

using namespace w3btest;
using testsupport::TempDir;

namespace {

constexpr uint16_t kSingleWait = btr::kBiasSingleWaitLock;
constexpr uint16_t kSingleNoWait = btr::kBiasSingleNoWaitLock;
constexpr uint16_t kMultipleWait = btr::kBiasMultipleWaitLock;
constexpr uint16_t kMultipleNoWait = btr::kBiasMultipleNoWaitLock;

uint16_t Op(uint16_t base, uint16_t bias) { return static_cast<uint16_t>(base + bias); }

class RecordLocks : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.File("LOCKS.DAT");
        ASSERT_EQ(Create(path_, IdFile()), 0);
        ASSERT_EQ(Open(pb_, path_), 0);
        for (uint32_t id : {1u, 2u, 3u}) ASSERT_EQ(Insert(pb_, IdRecord(id, "name" + std::to_string(id))), 0);
    }
    // A client process with the file open.
    std::unique_ptr<ClientProcess> Client() {
        auto client = std::make_unique<ClientProcess>();
        EXPECT_TRUE(client->started());
        EXPECT_EQ(client->Ask("open " + path_), "status 0");
        return client;
    }
    Read GetId(PositionBlock& pb, uint16_t op, uint32_t id) { return Get(op, pb, 0, IdKey(id)); }
    int16_t Unlock(PositionBlock& pb, int8_t keyNumber, uint32_t position = 0, uint32_t length = 4) {
        uint8_t data[4];
        std::memcpy(data, &position, 4);
        char key[255] = {};
        return Call(btr::kOpUnlock, pb, data, &length, key, 255, keyNumber);
    }

    TempDir dir_;
    std::string path_;
    PositionBlock pb_;
};

}  // namespace

TEST_F(RecordLocks, NoWaitLockOnARecordAnotherProcessLockedAnswers84) {
    auto client = Client();
    ASSERT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kSingleNoWait), 2)), "status 0");
    EXPECT_EQ(GetId(pb_, Op(btr::kOpGetEqual, kSingleNoWait), 2).status, btr::kStatusRecordInUse);
    EXPECT_EQ(GetId(pb_, Op(btr::kOpGetEqual, kMultipleNoWait), 2).status, btr::kStatusRecordInUse);
    // Other records stay free, and reading without a lock is never refused.
    EXPECT_EQ(GetId(pb_, Op(btr::kOpGetEqual, kSingleNoWait), 1).status, 0);
    EXPECT_EQ(IdOf(GetId(pb_, btr::kOpGetEqual, 2)), 2u);
}

TEST_F(RecordLocks, ARefusedLockLeavesCurrencyWhereItWas) {
    auto client = Client();
    ASSERT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kMultipleNoWait), 2)), "status 0");
    ASSERT_EQ(IdOf(Get(btr::kOpGetFirst, pb_, 0)), 1u);
    EXPECT_EQ(Get(Op(btr::kOpGetNext, kSingleNoWait), pb_, 0).status, btr::kStatusRecordInUse);
    EXPECT_EQ(Position(pb_), 1u);
    EXPECT_EQ(IdOf(Get(btr::kOpGetNext, pb_, 0)), 2u);
    ASSERT_EQ(IdOf(Get(btr::kOpStepFirst, pb_, 0)), 1u);
    EXPECT_EQ(Get(Op(btr::kOpStepNext, kMultipleNoWait), pb_, 0).status, btr::kStatusRecordInUse);
    EXPECT_EQ(IdOf(Get(btr::kOpStepNext, pb_, 0)), 2u);
}

TEST_F(RecordLocks, TheRecordBeforeARefusedLockCanStillBeUpdated) {
    auto client = Client();
    ASSERT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kMultipleNoWait), 2)), "status 0");
    ASSERT_EQ(IdOf(Get(btr::kOpGetFirst, pb_, 0)), 1u);
    ASSERT_EQ(Get(Op(btr::kOpGetNext, kSingleNoWait), pb_, 0).status, btr::kStatusRecordInUse);
    std::string record = IdRecord(1, "changed");
    uint32_t length = static_cast<uint32_t>(record.size());
    char key[255] = {};
    EXPECT_EQ(Call(btr::kOpUpdate, pb_, record.data(), &length, key, 255, 0), 0);
    EXPECT_EQ(GetId(pb_, btr::kOpGetEqual, 1).record, IdRecord(1, "changed"));
}

TEST_F(RecordLocks, EveryLockingReadLocks) {
    auto client = Client();
    ASSERT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kMultipleNoWait), 3)), "status 0");
    EXPECT_EQ(Get(Op(btr::kOpGetLast, kSingleNoWait), pb_, 0).status, btr::kStatusRecordInUse);
    EXPECT_EQ(Get(Op(btr::kOpStepLast, kSingleNoWait), pb_, 0).status, btr::kStatusRecordInUse);
    EXPECT_EQ(Get(Op(btr::kOpGetGreater, kSingleNoWait), pb_, 0, IdKey(2)).status, btr::kStatusRecordInUse);
    std::string percent = U16(10000) + U16(0);
    uint32_t length = 64;
    std::string data = percent + std::string(60, '\0');
    char key[255] = {};
    EXPECT_EQ(Call(Op(btr::kOpGetByPercentage, kSingleNoWait), pb_, data.data(), &length, key, 255, 0),
              btr::kStatusRecordInUse);
    std::string direct = U32(3) + std::string(60, '\0');
    length = 64;
    EXPECT_EQ(Call(Op(btr::kOpGetDirect, kSingleNoWait), pb_, direct.data(), &length, key, 255, 0),
              btr::kStatusRecordInUse);
    // The refused Get Direct left the address in the buffer, so a retry reads the same record.
    EXPECT_EQ(direct.substr(0, 4), U32(3));
    // Get Key reads no record and so locks none.
    EXPECT_EQ(Get(Op(btr::kOpGetEqual + btr::kBiasGetKey, kSingleNoWait), pb_, 0, IdKey(3)).status, 0);
}

TEST_F(RecordLocks, TwoBlocksOfOneProcessNeverConflict) {
    PositionBlock other;
    ASSERT_EQ(Open(other, path_), 0);
    EXPECT_EQ(GetId(pb_, Op(btr::kOpGetEqual, kSingleNoWait), 2).status, 0);
    EXPECT_EQ(GetId(other, Op(btr::kOpGetEqual, kSingleNoWait), 2).status, 0);
    PositionBlock third;
    ASSERT_EQ(Open(third, path_), 0);
    EXPECT_EQ(GetId(third, Op(btr::kOpGetEqual, kMultipleNoWait), 2).status, 0);
    // The record is free for another process only once every block let go of it.
    auto client = Client();
    EXPECT_EQ(Unlock(pb_, btr::kUnlockSingle), 0);
    EXPECT_EQ(Close(other), 0);
    EXPECT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kSingleNoWait), 2)), "status 84");
    EXPECT_EQ(Unlock(third, btr::kUnlockAllMultiple), 0);
    EXPECT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kSingleNoWait), 2)), "status 0");
}

TEST_F(RecordLocks, MixingSingleAndMultipleLocksOnOneBlockAnswers93) {
    ASSERT_EQ(GetId(pb_, Op(btr::kOpGetEqual, kSingleNoWait), 1).status, 0);
    EXPECT_EQ(GetId(pb_, Op(btr::kOpGetEqual, kMultipleNoWait), 2).status, btr::kStatusIncompatibleLockType);
    ASSERT_EQ(Unlock(pb_, btr::kUnlockSingle), 0);
    ASSERT_EQ(GetId(pb_, Op(btr::kOpGetEqual, kMultipleWait), 2).status, 0);
    EXPECT_EQ(GetId(pb_, Op(btr::kOpGetEqual, kSingleWait), 1).status, btr::kStatusIncompatibleLockType);
}

TEST_F(RecordLocks, ANewSingleLockEndsTheBlocksPreviousOne) {
    auto client = Client();
    ASSERT_EQ(GetId(pb_, Op(btr::kOpGetEqual, kSingleNoWait), 1).status, 0);
    // A plain read keeps it.
    ASSERT_EQ(IdOf(GetId(pb_, btr::kOpGetEqual, 3)), 3u);
    EXPECT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kSingleNoWait), 1)), "status 84");
    ASSERT_EQ(GetId(pb_, Op(btr::kOpGetEqual, kSingleNoWait), 2).status, 0);
    EXPECT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kSingleNoWait), 1)), "status 0");
    EXPECT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kSingleNoWait), 2)), "status 84");
}

TEST_F(RecordLocks, UpdatingTheRecordEndsItsSingleLockButNotAMultipleOne) {
    auto client = Client();
    ASSERT_EQ(GetId(pb_, Op(btr::kOpGetEqual, kSingleNoWait), 1).status, 0);
    std::string record = IdRecord(1, "changed");
    uint32_t length = 12;
    char key[255] = {};
    ASSERT_EQ(Call(btr::kOpUpdate, pb_, record.data(), &length, key, 255, 0), 0);
    EXPECT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kSingleNoWait), 1)), "status 0");
    ASSERT_EQ(client->Ask("unlock 0"), "status 0");

    ASSERT_EQ(GetId(pb_, Op(btr::kOpGetEqual, kMultipleNoWait), 2).status, 0);
    record = IdRecord(2, "changed");
    ASSERT_EQ(Call(btr::kOpUpdate, pb_, record.data(), &length, key, 255, 0), 0);
    EXPECT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kSingleNoWait), 2)), "status 84");
    // Deleting it ends that lock too: the record is gone.
    ASSERT_EQ(Call(btr::kOpDelete, pb_, nullptr, &length, key, 255, 0), 0);
    EXPECT_EQ(Unlock(pb_, btr::kUnlockOneMultiple, 2), btr::kStatusLockError);
}

TEST_F(RecordLocks, MultipleLocksLastUntilUnlocked) {
    auto client = Client();
    for (uint32_t id : {1u, 2u, 3u}) ASSERT_EQ(GetId(pb_, Op(btr::kOpGetEqual, kMultipleNoWait), id).status, 0);
    for (uint32_t id : {1u, 2u, 3u}) {
        EXPECT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kSingleNoWait), id)), "status 84");
    }
    EXPECT_EQ(Unlock(pb_, btr::kUnlockOneMultiple, 2), 0);
    EXPECT_EQ(Unlock(pb_, btr::kUnlockOneMultiple, 2), btr::kStatusLockError);
    EXPECT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kMultipleNoWait), 2)), "status 0");
    EXPECT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kMultipleNoWait), 1)), "status 84");
    EXPECT_EQ(Unlock(pb_, btr::kUnlockAllMultiple), 0);
    EXPECT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kMultipleNoWait), 1)), "status 0");
    EXPECT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kMultipleNoWait), 3)), "status 0");
}

TEST_F(RecordLocks, UnlockAnswersForTheKindOfLockHeld) {
    EXPECT_EQ(Unlock(pb_, btr::kUnlockSingle), 0);
    EXPECT_EQ(Unlock(pb_, btr::kUnlockAllMultiple), 0);
    EXPECT_EQ(Unlock(pb_, btr::kUnlockOneMultiple, 1), btr::kStatusLockError);
    EXPECT_EQ(Unlock(pb_, btr::kUnlockOneMultiple, 1, 3), btr::kStatusDataLengthError);
    EXPECT_EQ(Unlock(pb_, 5), btr::kStatusInvalidKeyNumber);
    ASSERT_EQ(GetId(pb_, Op(btr::kOpGetEqual, kSingleNoWait), 1).status, 0);
    EXPECT_EQ(Unlock(pb_, btr::kUnlockOneMultiple, 1), btr::kStatusLockError);
    EXPECT_EQ(Unlock(pb_, btr::kUnlockAllMultiple), btr::kStatusLockError);
    EXPECT_EQ(Unlock(pb_, btr::kUnlockSingle), 0);
    ASSERT_EQ(GetId(pb_, Op(btr::kOpGetEqual, kMultipleNoWait), 1).status, 0);
    EXPECT_EQ(Unlock(pb_, btr::kUnlockSingle), btr::kStatusLockError);
    EXPECT_EQ(Unlock(pb_, btr::kUnlockOneMultiple, 2), btr::kStatusLockError);
    EXPECT_EQ(Unlock(pb_, btr::kUnlockOneMultiple, 1), 0);
}

TEST_F(RecordLocks, UpdateAndDeleteOfARecordAnotherProcessLockedAnswer84) {
    auto client = Client();
    ASSERT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kMultipleNoWait), 2)), "status 0");
    ASSERT_EQ(IdOf(GetId(pb_, btr::kOpGetEqual, 2)), 2u);
    std::string record = IdRecord(2, "mine");
    uint32_t length = 12;
    char key[255] = {};
    EXPECT_EQ(Call(btr::kOpUpdate, pb_, record.data(), &length, key, 255, 0), btr::kStatusRecordInUse);
    EXPECT_EQ(Call(btr::kOpDelete, pb_, nullptr, &length, key, 255, 0), btr::kStatusRecordInUse);
    // The holder itself writes it freely.
    ASSERT_EQ(client->Ask("update 2 theirs"), "status 0");
    ASSERT_EQ(client->Ask("unlock -2"), "status 0");
    ASSERT_EQ(IdOf(GetId(pb_, btr::kOpGetEqual, 2)), 2u);
    EXPECT_EQ(Call(btr::kOpUpdate, pb_, record.data(), &length, key, 255, 0), 0);
    EXPECT_EQ(GetId(pb_, btr::kOpGetEqual, 2).record.substr(4, 4), "mine");
}

TEST_F(RecordLocks, AnUpdateWaitingForAnotherWritersTransactionKeepsItsRecordFromOtherLocks) {
    auto writer = Client();
    auto other = Client();
    // The writer's concurrent transaction keeps the file's writes waiting until it ends.
    ASSERT_EQ(writer->Ask("call 1019"), "status 0");
    ASSERT_EQ(writer->Ask("insert 7 theirs"), "status 0");
    ASSERT_EQ(IdOf(GetId(pb_, btr::kOpGetEqual, 2)), 2u);
    std::string record = IdRecord(2, "mine");
    auto update = std::async(std::launch::async, [&] {
        uint32_t length = 12;
        char key[255] = {};
        return Call(btr::kOpUpdate, pb_, record.data(), &length, key, 255, 0);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(other->Ask(GetCommand(Op(btr::kOpGetEqual, kSingleNoWait), 2)), "status 84");
    ASSERT_EQ(writer->Ask("call 20"), "status 0");
    EXPECT_EQ(update.get(), 0);
    EXPECT_EQ(GetId(pb_, btr::kOpGetEqual, 2).record.substr(4, 4), "mine");
}

TEST_F(RecordLocks, AWaitingLockCompletesWhenTheHolderUnlocks) {
    auto holder = Client();
    auto waiter = Client();
    ASSERT_EQ(holder->Ask(GetCommand(Op(btr::kOpGetEqual, kMultipleWait), 2)), "status 0");
    ASSERT_TRUE(waiter->Send(GetCommand(Op(btr::kOpGetEqual, kSingleWait), 2)));
    // The holder changes the record while the other waits, then lets go.
    ASSERT_EQ(holder->Ask("update 2 updated"), "status 0");
    ASSERT_EQ(holder->Ask("unlock -1 2"), "status 0");
    EXPECT_EQ(waiter->Answer(), "status 0");
    // The waiter holds it now.
    EXPECT_EQ(GetId(pb_, Op(btr::kOpGetEqual, kSingleNoWait), 2).status, btr::kStatusRecordInUse);
    EXPECT_EQ(waiter->Ask("update 2 waited"), "status 0");
    EXPECT_EQ(waiter->Ask("close"), "status 0");
    EXPECT_EQ(GetId(pb_, btr::kOpGetEqual, 2).record.substr(4, 6), "waited");
}

TEST_F(RecordLocks, AWaitingReadReturnsTheRecordAsTheHolderLeftIt) {
    auto holder = Client();
    ASSERT_EQ(holder->Ask(GetCommand(Op(btr::kOpGetEqual, kSingleNoWait), 2)), "status 0");
    ASSERT_EQ(holder->Ask("update 2 newest"), "status 0");
    ASSERT_EQ(holder->Ask(GetCommand(Op(btr::kOpGetEqual, kSingleNoWait), 2)), "status 0");
    auto waiter = std::make_unique<ClientProcess>();
    ASSERT_EQ(waiter->Ask("open " + path_), "status 0");
    ASSERT_TRUE(waiter->Send(GetCommand(Op(btr::kOpGetEqual, kSingleWait), 2)));
    ASSERT_EQ(holder->Ask("delete"), "status 0");
    // The record it waited for is gone, so the read finds nothing rather than a stale copy.
    EXPECT_EQ(waiter->Answer(), "status 4");
}

TEST_F(RecordLocks, LocksEndWhenTheHolderClosesTheFile) {
    auto client = Client();
    ASSERT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kMultipleNoWait), 1)), "status 0");
    ASSERT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kMultipleNoWait), 3)), "status 0");
    // The registry's way: Get Equal + 400, retried while it answers 84.
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_EQ(GetId(pb_, Op(btr::kOpGetEqual, kMultipleNoWait), 1).status, btr::kStatusRecordInUse);
    }
    ASSERT_EQ(client->Ask("close"), "status 0");
    EXPECT_EQ(GetId(pb_, Op(btr::kOpGetEqual, kMultipleNoWait), 1).status, 0);
    EXPECT_EQ(GetId(pb_, Op(btr::kOpGetEqual, kMultipleNoWait), 3).status, 0);
}

TEST_F(RecordLocks, LocksEndWhenTheHolderIsKilled) {
    auto client = Client();
    ASSERT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kSingleNoWait), 2)), "status 0");
    ASSERT_EQ(GetId(pb_, Op(btr::kOpGetEqual, kSingleNoWait), 2).status, btr::kStatusRecordInUse);
    client->Kill();
    // A waiting lock: a server learns that the holder's connection ended only a moment after the
    // holder is gone.
    EXPECT_EQ(GetId(pb_, Op(btr::kOpGetEqual, kSingleWait), 2).status, 0);
}

TEST_F(RecordLocks, StopAndResetEndTheCallersLocks) {
    auto client = Client();
    ASSERT_EQ(GetId(pb_, Op(btr::kOpGetEqual, kMultipleNoWait), 1).status, 0);
    ASSERT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kSingleNoWait), 1)), "status 84");
    uint32_t length = 0;
    char key[255] = {};
    ASSERT_EQ(Call(btr::kOpReset, pb_, nullptr, &length, key, 255, 0), 0);
    EXPECT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kSingleNoWait), 1)), "status 0");
    EXPECT_EQ(GetId(pb_, btr::kOpGetEqual, 1).status, btr::kStatusFileNotOpen);

    ASSERT_EQ(Open(pb_, path_), 0);
    ASSERT_EQ(GetId(pb_, Op(btr::kOpGetEqual, kMultipleNoWait), 3).status, 0);
    ASSERT_EQ(client->Ask("unlock 0"), "status 0");
    ASSERT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kMultipleNoWait), 3)), "status 84");
    ASSERT_EQ(Call(btr::kOpStop, pb_, nullptr, &length, key, 255, 0), 0);
    EXPECT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kMultipleNoWait), 3)), "status 0");
}

TEST_F(RecordLocks, ALockingReadTouchesNoMoreOfTheKeyBufferThanItsKey) {
    // A key buffer as long as the key, ending where the process may not read: the declared 255
    // bytes are the call's convention, not the buffer's size.
    testsupport::GuardedBuffer key(4);
    std::memcpy(key.data(), IdKey(2).data(), 4);
    char data[12];
    uint32_t length = sizeof data;
    EXPECT_EQ(Call(Op(btr::kOpGetEqual, kSingleNoWait), pb_, data, &length, key.data(), 255, 0), 0);
    auto client = Client();
    ASSERT_EQ(Unlock(pb_, btr::kUnlockSingle), 0);
    ASSERT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kSingleNoWait), 2)), "status 0");
    length = sizeof data;
    EXPECT_EQ(Call(Op(btr::kOpGetEqual, kSingleNoWait), pb_, data, &length, key.data(), 255, 0),
              btr::kStatusRecordInUse);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(key.data()), 4), IdKey(2));
}

TEST_F(RecordLocks, ALockingReadRefusedBeforeItReadsLocksNothing) {
    ASSERT_EQ(IdOf(GetId(pb_, btr::kOpGetEqual, 2)), 2u);
    uint8_t position[2] = {};
    uint32_t length = sizeof position;
    char key[255] = {};
    EXPECT_EQ(Call(Op(btr::kOpGetDirect, kSingleNoWait), pb_, position, &length, key, 255, 0),
              btr::kStatusDataLengthError);
    auto client = Client();
    EXPECT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kSingleNoWait), 2)), "status 0");
}

namespace {

// Get Next Extended from the first record, taking it and the two after it (ids 1, 2, 3).
int16_t ReadThreeExtended(PositionBlock& pb, uint16_t bias) {
    EXPECT_EQ(Get(btr::kOpGetFirst, pb, 0).status, 0);
    std::string data = Descriptor("UC", 0, {}, 3, {{4, 0}});
    data.resize(256);
    uint32_t length = static_cast<uint32_t>(data.size());
    char key[255] = {};
    return Call(Op(btr::kOpGetNextExtended, bias), pb, data.data(), &length, key, 255, 0);
}

}  // namespace

// A single-record lock holds the last record returned; multiple-record locks hold every one.
TEST_F(RecordLocks, ExtendedReadsLockWhatTheirBiasSays) {
    struct Case {
        uint16_t bias;
        std::vector<uint32_t> lockedIds;
    };
    const Case cases[] = {
        {0, {}}, {kSingleNoWait, {3}}, {kSingleWait, {3}}, {kMultipleNoWait, {1, 2, 3}}, {kMultipleWait, {1, 2, 3}}};
    auto client = Client();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bias);
        ASSERT_EQ(ReadThreeExtended(pb_, c.bias), 0);
        for (uint32_t id : {1u, 2u, 3u}) {
            bool locked = std::find(c.lockedIds.begin(), c.lockedIds.end(), id) != c.lockedIds.end();
            EXPECT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kMultipleNoWait), id)),
                      locked ? "status 84" : "status 0");
        }
        ASSERT_EQ(client->Ask("unlock -2 0"), "status 0");
        ASSERT_EQ(Unlock(pb_, c.bias >= kMultipleWait ? btr::kUnlockAllMultiple : btr::kUnlockSingle), 0);
    }
}

TEST_F(RecordLocks, AnExtendedReadMeetingALockedRecordAnswers84AndKeepsNoLockItTook) {
    auto client = Client();
    ASSERT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kSingleNoWait), 2)), "status 0");
    EXPECT_EQ(ReadThreeExtended(pb_, kMultipleNoWait), btr::kStatusRecordInUse);
    EXPECT_EQ(client->Ask(GetCommand(Op(btr::kOpGetEqual, kSingleNoWait), 1)), "status 0");
}
