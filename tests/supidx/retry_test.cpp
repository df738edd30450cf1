// Bounded retries of the lifecycle: busy drops, refused key numbers, a new key that cannot be
// registered or locked, entries held by another workstation, a candidate list that cannot be
// allocated. Passes and waits are counted through the recording fake's request log and the
// platform layer's sleep counters, never by timing.
#include "index_manager.h"
#include "index_registry.h"
#include "index_request.h"
#include "supidx_fixture.h"
#include "test_support.h"

namespace supidxtest {
namespace {

constexpr uint64_t kRetryWaitMs = 3 * 56;
constexpr uint16_t kLockedGetEqual = btr::kOpGetEqual + btr::kBiasMultipleNoWaitLock;

std::vector<std::vector<BtrKeySpec>> PermanentKeys(int segments) {
    std::vector<std::vector<BtrKeySpec>> keys;
    for (int start = 41; segments > 0; ++start) {
        const int count = std::min(segments, 8);
        std::vector<std::pair<int16_t, int16_t>> parts;
        for (int i = 0; i < count; ++i) parts.emplace_back(static_cast<int16_t>(start + i), int16_t{1});
        keys.push_back(KeyDef(parts));
        segments -= count;
    }
    return keys;
}

const auto kIdleTwo = KeyDef({{20, 2}, {22, 2}});
const auto kThreeSegments = KeyDef({{30, 1}, {31, 1}, {32, 1}});
const auto kNewKey = KeyDef({{24, 4}});

class Retries : public SupidxTest {
protected:
    void SetUp() override { UseFakeEngine({"Index Log=1"}); }

    // A file with one free slot whose only idle supplemental key has two segments.
    int16_t FileNeedingEviction(int* idleKey) {
        const std::string path = CreateDataFile(10, PermanentKeys(92));
        const int16_t handle = Open(path);
        EXPECT_EQ(Activate(handle, kIdleTwo), 0);
        *idleKey = CurrentKey(handle);
        EXPECT_EQ(DbDeactivateKey(handle), 0);
        EXPECT_EQ(FreeSegments(handle), 1);
        return handle;
    }

    std::vector<int> LoggedKeys(const std::string& action) {
        std::vector<int> numbers;
        const auto log = testsupport::ReadFileBytes(LogPath());
        if (!log) return numbers;
        const std::string label = "  Key Number...........: ";
        for (size_t at = log->find(action + "\r\n"); at != std::string::npos; at = log->find(action + "\r\n", at + 1))
            numbers.push_back(std::atoi(log->c_str() + log->find(label, at) + label.size()));
        return numbers;
    }
};

TEST_F(Retries, DropBusyInEveryPassRunsElevenPassesTenWaitsApart) {
    int idle = 0;
    const int16_t handle = FileNeedingEviction(&idle);
    fake->ClearLog();
    fake->Script(btr::kOpDropIndex, "*", btr::kStatusFileInUse);
    const uint64_t sleptBefore = platform::testing::SleptMilliseconds();

    EXPECT_EQ(Activate(handle, kThreeSegments), btr::kStatusFileInUse);
    EXPECT_EQ(fake->CallsOf(btr::kOpDropIndex).size(), 11u);
    EXPECT_EQ(platform::testing::SleptMilliseconds() - sleptBefore, 10 * kRetryWaitMs);
    fake->ClearScript();
    EXPECT_TRUE(HasKey(handle, idle));
    EXPECT_EQ(RegistryEntry(idle).segments, 2) << "a refused drop keeps its entry";
    EXPECT_TRUE(fake->CallsOf(btr::kOpCreateIndex).empty());
}

TEST_F(Retries, BusyDropThatClearsLetsTheNextPassBuild) {
    int idle = 0;
    const int16_t handle = FileNeedingEviction(&idle);
    fake->ClearLog();
    fake->Script(btr::kOpDropIndex, "1", btr::kStatusIncompatibleMode);
    const uint64_t sleptBefore = platform::testing::SleptMilliseconds();

    EXPECT_EQ(Activate(handle, kThreeSegments), 0);
    EXPECT_EQ(fake->CallsOf(btr::kOpDropIndex).size(), 2u);
    EXPECT_EQ(platform::testing::SleptMilliseconds() - sleptBefore, kRetryWaitMs);
    EXPECT_EQ(RegistryEntry(CurrentKey(handle)).segments, 3);
}

TEST_F(Retries, DropRefusingTheKeyNumberOnEveryStartRunsThreeTimes) {
    int idle = 0;
    const int16_t handle = FileNeedingEviction(&idle);
    fake->ClearLog();
    fake->Script(btr::kOpDropIndex, "*", btr::kStatusInvalidKeyNumber);
    const uint64_t sleptBefore = platform::testing::SleptMilliseconds();

    EXPECT_EQ(Activate(handle, kThreeSegments), btr::kStatusInvalidKeyNumber);
    EXPECT_EQ(fake->CallsOf(btr::kOpDropIndex).size(), 3u);
    EXPECT_EQ(platform::testing::SleptMilliseconds(), sleptBefore);
    fake->ClearScript();
    EXPECT_TRUE(HasKey(handle, idle));
}

TEST_F(Retries, NewKeyThatCannotBeRegisteredRunsFourTimesExcludingEachNumber) {
    CreateDataFile();
    const int16_t handle = Open(DataPath());
    fake->ClearLog();
    fake->Script(btr::kOpInsert, "*", btr::kStatusDuplicateKey);

    tydb::IndexManager manager;
    tydb::IndexRequest request(handle, kNewKey.data(), static_cast<int16_t>(kNewKey.size() * sizeof(BtrKeySpec)));
    EXPECT_EQ(manager.ActivateKey(request, tydb::kActivateAttempts), btr::kStatusDuplicateKey);
    EXPECT_EQ(manager.ExcludedKeyNumbersForTest(), (tydb::ExcludedKeyNumbers{1, 2, 3, 4}));
    EXPECT_EQ(fake->CallsOf(btr::kOpInsert).size(), 4u);
    EXPECT_TRUE(fake->CallsOf(btr::kOpCreateIndex).empty());
    fake->ClearScript();
    EXPECT_EQ(Keys(handle).size(), 1u);
    EXPECT_TRUE(Registry().empty());
}

TEST_F(Retries, NewKeyThatCannotBeLockedRunsFourTimesAndLogsNestedRunsFirst) {
    CreateDataFile();
    const int16_t handle = Open(DataPath());
    fake->ClearLog();
    fake->Script(kLockedGetEqual, "*", btr::kStatusRecordInUse);
    const uint64_t sleptBefore = platform::testing::SleptMilliseconds();

    {
        tydb::IndexManager manager;
        tydb::IndexRequest request(handle, kNewKey.data(), static_cast<int16_t>(kNewKey.size() * sizeof(BtrKeySpec)));
        EXPECT_EQ(manager.ActivateKey(request, tydb::kActivateAttempts), btr::kStatusRecordInUse);
        EXPECT_EQ(manager.ExcludedKeyNumbersForTest(), (tydb::ExcludedKeyNumbers{1, 2, 3, 4}));
    }
    EXPECT_EQ(fake->CallsOf(kLockedGetEqual).size(), 4u * tydb::kLockEntryAttempts);
    EXPECT_EQ(platform::testing::SleptMilliseconds() - sleptBefore, 4 * 10 * kRetryWaitMs);
    EXPECT_TRUE(fake->CallsOf(btr::kOpCreateIndex).empty());
    fake->ClearScript();
    // Each run's inserted entry stays; the innermost run's entry is logged first.
    const auto entries = Registry();
    ASSERT_EQ(entries.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(entries[i].keyNumber, i + 1);
        EXPECT_EQ(entries[i].active, 1);
    }
    EXPECT_EQ(LoggedKeys("BUILDING NEW KEY"), (std::vector<int>{4, 3, 2, 1}));
    EXPECT_EQ(Keys(handle).size(), 1u);
}

TEST_F(Retries, EntryHeldByAnotherWorkstationGives84AfterTenAttempts) {
    CreateDataFile();
    const int16_t handle = Open(DataPath());
    ASSERT_EQ(Activate(handle, kNewKey), 0);
    const int key = CurrentKey(handle);
    ASSERT_EQ(DbOverRideDef(handle, 0, -1), 0);
    fake->ClearLog();
    fake->Script(kLockedGetEqual, "*", btr::kStatusRecordInUse);
    const uint64_t sleptBefore = platform::testing::SleptMilliseconds();

    EXPECT_EQ(Activate(handle, kNewKey), btr::kStatusRecordInUse);
    EXPECT_EQ(fake->CallsOf(kLockedGetEqual).size(), 10u);
    EXPECT_EQ(platform::testing::SleptMilliseconds() - sleptBefore, 10 * kRetryWaitMs);
    EXPECT_EQ(fake->CallsOf(btr::kOpUnlock).size(), 1u);
    EXPECT_EQ(CurrentKey(handle), 0);

    ASSERT_EQ(DbOverRideDef(handle, key, -1), 0);
    EXPECT_EQ(DbDeactivateKey(handle), btr::kStatusRecordInUse);
    EXPECT_EQ(DbPurgeKey(handle), btr::kStatusRecordInUse);
    fake->ClearScript();
    EXPECT_TRUE(HasKey(handle, key));
    const Entry entry = RegistryEntry(key);
    EXPECT_EQ(entry.active, 1);
    EXPECT_EQ(entry.total, 1);
}

TEST_F(Retries, CandidateListThatCannotBeAllocatedGivesMinus5AfterTenPasses) {
    int idle = 0;
    const int16_t handle = FileNeedingEviction(&idle);
    tydb::IndexManager manager;
    tydb::IndexRequest request(handle, kThreeSegments.data(),
                               static_cast<int16_t>(kThreeSegments.size() * sizeof(BtrKeySpec)));
    fake->ClearLog();
    platform::testing::InjectAllocationFailure(0, 1000);
    const int32_t status = manager.ActivateKey(request, tydb::kActivateAttempts);
    platform::testing::InjectAllocationFailure(-1);
    EXPECT_EQ(status, TYDB_STATUS_NO_MEMORY);
    EXPECT_TRUE(fake->CallsOf(btr::kOpDropIndex).empty());
    EXPECT_TRUE(HasKey(handle, idle));
}

TEST_F(Retries, CandidateListAllocatedOnALaterPassStillBuilds) {
    int idle = 0;
    const int16_t handle = FileNeedingEviction(&idle);
    tydb::IndexManager manager;
    tydb::IndexRequest request(handle, kThreeSegments.data(),
                               static_cast<int16_t>(kThreeSegments.size() * sizeof(BtrKeySpec)));
    platform::testing::InjectAllocationFailure(0, 9);
    const int32_t status = manager.ActivateKey(request, tydb::kActivateAttempts);
    platform::testing::InjectAllocationFailure(-1);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(RegistryEntry(request.CurrentKey()).segments, 3);
}

TEST_F(Retries, RegistryAnotherProcessHoldsIsOneOpenFailureWithoutWaiting) {
    CreateDataFile();
    const int16_t handle = Open(DataPath());
    ASSERT_EQ(Activate(handle, kNewKey), 0);
    fake->ClearLog();
    fake->Script(btr::kOpOpen, "*", btr::kStatusFileInUse);
    const uint64_t sleptBefore = platform::testing::SleptMilliseconds();

    EXPECT_EQ(Activate(handle, kThreeSegments), TYDB_STATUS_INVALID_HANDLE);
    // Four runs (the new key cannot be registered), each one DbOpen of ten attempts.
    EXPECT_EQ(fake->CallsOf(btr::kOpOpen).size(), 40u);
    EXPECT_EQ(platform::testing::SleptMilliseconds(), sleptBefore);
    fake->ClearScript();
}

TEST_F(Retries, ADataLengthADropAnswersIsNotSentWithTheNextDropOrBuild) {
    const int16_t handle = Open(CreateDataFile(10, PermanentKeys(90)));
    for (const auto& idle : {kNewKey, kIdleTwo}) {
        ASSERT_EQ(Activate(handle, idle), 0);
        ASSERT_EQ(DbDeactivateKey(handle), 0);
    }
    ASSERT_EQ(FreeSegments(handle), 2);
    fake->ClearLog();
    // The first drop answers a data length of its own (and drops nothing).
    fake->Script(btr::kOpDropIndex, "1", 0, 16, std::string(16, '\0'));

    ASSERT_EQ(Activate(handle, kThreeSegments), 0);
    const auto drops = fake->CallsOf(btr::kOpDropIndex);
    ASSERT_EQ(drops.size(), 2u);
    EXPECT_EQ(drops[1].dataLength, 48u);
    EXPECT_EQ(fake->CallsOf(btr::kOpCreateIndex).at(0).dataLength, 48u);
}

}  // namespace
}  // namespace supidxtest
