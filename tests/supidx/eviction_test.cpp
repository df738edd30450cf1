// Making room for a new key: idle supplemental keys are purged in the order of the registry's
// second key until the file has enough key-segment slots, against the real record manager.
#include "supidx_fixture.h"

namespace supidxtest {
namespace {

// Permanent keys (beside key 0) of `segments` segments in all, at most 8 a key.
std::vector<std::vector<BtrKeySpec>> PermanentKeys(int segments) {
    std::vector<std::vector<BtrKeySpec>> keys;
    int start = 41;
    while (segments > 0) {
        const int count = std::min(segments, 8);
        std::vector<std::pair<int16_t, int16_t>> parts;
        for (int i = 0; i < count; ++i) parts.emplace_back(static_cast<int16_t>(start + i), int16_t{1});
        keys.push_back(KeyDef(parts));
        segments -= count;
        ++start;
    }
    return keys;
}

class Eviction : public SupidxTest {
protected:
    // Builds `definition` and leaves it idle after `uses` activations; its key number.
    int BuildIdle(int16_t handle, const std::vector<BtrKeySpec>& definition, int uses) {
        for (int i = 0; i < uses; ++i) EXPECT_EQ(Activate(handle, definition), 0);
        const int number = CurrentKey(handle);
        for (int i = 0; i < uses; ++i) EXPECT_EQ(DbDeactivateKey(handle), 0);
        EXPECT_EQ(RegistryEntry(number).active, 0);
        return number;
    }

    // Key numbers of the log's entries with `action`, in file order.
    std::vector<int> LoggedKeys(const std::string& action) {
        std::vector<int> numbers;
        const auto log = testsupport::ReadFileBytes(LogPath());
        if (!log) return numbers;
        const std::string label = "  Key Number...........: ";
        for (size_t at = log->find(action + "\r\n"); at != std::string::npos; at = log->find(action + "\r\n", at + 1)) {
            const size_t number = log->find(label, at);
            numbers.push_back(std::atoi(log->c_str() + number + label.size()));
        }
        return numbers;
    }
};

const auto kIdleTwoA = KeyDef({{20, 2}, {22, 2}});
const auto kIdleTwoB = KeyDef({{24, 2}, {26, 2}});
const auto kIdleOne = KeyDef({{28, 2}});
const auto kThreeSegments = KeyDef({{30, 1}, {31, 1}, {32, 1}});

TEST_F(Eviction, ThreeSegmentsWithOneFreePurgeIdleKeysInRegistryOrderAndBuild) {
    UseRealEngine({"Index Log=1"});
    const std::string path = CreateDataFile(10, PermanentKeys(89));
    const int16_t handle = Open(path);
    // Totals 3, 2 and 1: the registry's second key lists the least used first.
    const int a = BuildIdle(handle, kIdleTwoA, 3);
    const int b = BuildIdle(handle, kIdleTwoB, 2);
    const int c = BuildIdle(handle, kIdleOne, 1);
    ASSERT_EQ(FreeSegments(handle), 1);
    const auto records = Records(path);
    std::remove(LogPath().c_str());

    ASSERT_EQ(Activate(handle, kThreeSegments), 0);
    const int built = CurrentKey(handle);
    EXPECT_EQ(built, std::min({a, b, c})) << "the first free number";
    for (const auto& key : Keys(handle)) {
        if (key.number == built) {
            EXPECT_EQ(key.segments, 3);
        }
        EXPECT_TRUE(key.number == built || (key.number != a && key.number != b && key.number != c)) << key.number;
    }
    EXPECT_EQ(FreeSegments(handle), 3);
    const auto entries = Registry();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].keyNumber, built);
    EXPECT_EQ(entries[0].segments, 3);
    EXPECT_EQ(entries[0].active, 1);
    EXPECT_EQ(LoggedKeys("PURGING EXISTING KEY"), (std::vector<int>{c, b, a}));
    EXPECT_EQ(LoggedKeys("BUILDING NEW KEY"), (std::vector<int>{built}));
    EXPECT_EQ(Records(path), records);
}

TEST_F(Eviction, RegistryOpensSharedInASharingDirectoryStillEvictAndBuild) {
    // Nested registries of one call then share one open-file entry and its position.
    TydbDirectoryBlock block = {};
    std::strncpy(block.directories[0], DataDir().c_str(), sizeof block.directories[0] - 1);
    block.lockDisabled = 1;
    block.shareOpenFiles = 1;
    ASSERT_EQ(DbSetDirectories(&block), 0);
    const std::string path = CreateDataFile(10, PermanentKeys(89));
    const int16_t handle = Open(path);
    const int a = BuildIdle(handle, kIdleTwoA, 2);
    const int b = BuildIdle(handle, kIdleTwoB, 1);
    const int c = BuildIdle(handle, kIdleOne, 3);
    ASSERT_EQ(FreeSegments(handle), 1);

    ASSERT_EQ(Activate(handle, kThreeSegments), 0);
    const int built = CurrentKey(handle);
    EXPECT_EQ(built, std::min({a, b, c}));
    const auto entries = Registry();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].keyNumber, built);
    EXPECT_EQ(entries[0].segments, 3);
    EXPECT_EQ(FreeSegments(handle), 3);
    int16_t registry = 0;
    ASSERT_EQ(DbOpen(&registry, RegistryPath().c_str(), 0, 0), 0);
    int32_t key = -1, bias = -1;
    ASSERT_EQ(DbGetOverRideDef(registry, &key, &bias), 0);
    EXPECT_EQ(bias, 0) << "no lock bias left behind on the shared entry";
}

TEST_F(Eviction, SingleIdleOneSegmentKeyCannotMakeRoomAndNothingIsDropped) {
    const std::string path = CreateDataFile(10, PermanentKeys(93));
    const int16_t handle = Open(path);
    const int idle = BuildIdle(handle, kIdleOne, 1);
    ASSERT_EQ(FreeSegments(handle), 1);
    ASSERT_EQ(DbOverRideDef(handle, 0, -1), 0);

    EXPECT_EQ(Activate(handle, kThreeSegments), btr::kStatusNumberOfKeys);
    EXPECT_TRUE(HasKey(handle, idle));
    EXPECT_EQ(CurrentKey(handle), 0);
    const auto entries = Registry();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].keyNumber, idle);
    EXPECT_EQ(entries[0].total, 1);
}

TEST_F(Eviction, TotalOf256IsListedBeforeTotalOf1) {
    UseRealEngine({"Index Threshold=1"});
    const std::string path = CreateDataFile(10, PermanentKeys(92));
    const int16_t handle = Open(path);
    const int once = BuildIdle(handle, kIdleOne, 1);
    const int often = BuildIdle(handle, KeyDef({{34, 2}}), 1);
    RewriteEntry(often, 256, 0);
    ASSERT_EQ(FreeSegments(handle), 1);

    // Two segments: one slot short, and the threshold asks for no more than that.
    ASSERT_EQ(Activate(handle, KeyDef({{36, 1}, {37, 1}})), 0);
    // 256 is stored as 00 01 00 00 and sorts first: its key went, and its number was free for
    // the new key.
    EXPECT_EQ(CurrentKey(handle), often);
    EXPECT_EQ(RegistryEntry(often).segments, 2);
    EXPECT_EQ(RegistryEntry(often).total, 1);
    EXPECT_TRUE(HasKey(handle, once));
    EXPECT_EQ(RegistryEntry(once).segments, 1);
    EXPECT_EQ(FreeSegments(handle), 0);
}

TEST_F(Eviction, StaleEntryNamingAPermanentKeyEndsWithNoRoomInsteadOfLooping) {
    const std::string path = CreateDataFile(10, PermanentKeys(94));
    const int16_t handle = Open(path);
    ASSERT_EQ(FreeSegments(handle), 1);
    // The registry still remembers key 1 as an idle supplemental key of this file.
    ASSERT_EQ(DbClearKeyRegistry(handle), btr::kStatusEndOfFile);
    InsertEntry(1, 8);

    EXPECT_EQ(Activate(handle, kThreeSegments), btr::kStatusNumberOfKeys);
    EXPECT_TRUE(HasKey(handle, 1));
    EXPECT_EQ(FreeSegments(handle), 1);
    EXPECT_TRUE(Registry().empty()) << "the stale entry is forgotten";
}

TEST_F(Eviction, StaleEntryOfAKeyTheFileNoLongerHasIsForgottenAndTheBuildGoesOn) {
    const std::string path = CreateDataFile(10, PermanentKeys(92));
    const int16_t handle = Open(path);
    const int idle = BuildIdle(handle, kIdleTwoA, 2);
    ASSERT_EQ(FreeSegments(handle), 1);
    // An entry whose key went without its entry (another workstation stopped half-way).
    InsertEntry(40, 2);

    ASSERT_EQ(Activate(handle, kThreeSegments), 0);
    const int built = CurrentKey(handle);
    EXPECT_EQ(built, idle);
    const auto entries = Registry();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].keyNumber, built);
    EXPECT_EQ(entries[0].segments, 3);
}

TEST_F(Eviction, ActiveKeysAreNeverPurged) {
    const std::string path = CreateDataFile(10, PermanentKeys(92));
    const int16_t handle = Open(path);
    ASSERT_EQ(Activate(handle, kIdleOne), 0);
    const int active = CurrentKey(handle);
    const int idle = BuildIdle(handle, KeyDef({{34, 2}}), 1);
    ASSERT_EQ(FreeSegments(handle), 1);
    EXPECT_EQ(Activate(handle, kThreeSegments), btr::kStatusNumberOfKeys);
    EXPECT_TRUE(HasKey(handle, active));
    EXPECT_TRUE(HasKey(handle, idle));
}

TEST_F(Eviction, FileFilledWithSupplementalKeysRunsOutOfSlotsUntilOneIsIdle) {
    const std::string path = CreateDataFile(4);
    const int16_t handle = Open(path);
    std::vector<std::vector<BtrKeySpec>> definitions;
    for (int16_t position = 9; position <= 100; ++position) definitions.push_back(KeyDef({{position, 1}}));
    for (int16_t position = 9; position <= 11; ++position) definitions.push_back(KeyDef({{position, 2}}));
    ASSERT_EQ(definitions.size(), 95u);
    for (const auto& definition : definitions) ASSERT_EQ(Activate(handle, definition), 0);
    ASSERT_EQ(FreeSegments(handle), 0);
    ASSERT_EQ(Registry().size(), 95u);

    const auto another = KeyDef({{12, 2}});
    EXPECT_EQ(Activate(handle, another), btr::kStatusNumberOfKeys);
    // Every key is in use, so a reuse still works.
    ASSERT_EQ(Activate(handle, definitions[40]), 0);
    const int reused = CurrentKey(handle);
    EXPECT_EQ(RegistryEntry(reused).active, 2);
    ASSERT_EQ(DbDeactivateKey(handle), 0);
    ASSERT_EQ(DbDeactivateKey(handle), 0);

    ASSERT_EQ(Activate(handle, another), 0);
    EXPECT_EQ(CurrentKey(handle), reused) << "the purged key's number is the free one";
    EXPECT_EQ(Registry().size(), 95u);
    EXPECT_EQ(RegistryEntry(reused).total, 1);
    EXPECT_EQ(Records(path).size(), 4u);
}

}  // namespace
}  // namespace supidxtest
