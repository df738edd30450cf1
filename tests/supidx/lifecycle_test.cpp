// The life of a supplemental key end to end, against the real record manager and settings
// store: permanent matches, builds, reuse, deactivation, purges and forgetting the registry.
#include <filesystem>

#include "supidx_fixture.h"

namespace supidxtest {
namespace {

using Lifecycle = SupidxTest;

const auto kOrderDate = KeyDef({{20, 6}});

TEST_F(Lifecycle, PermanentKeySegmentsMakeThatKeyCurrentWithoutRegistryChangeOrLog) {
    UseRealEngine({"Index Log=1"});
    CreateDataFile(10, {KeyDef({{9, 4}})});
    const int16_t handle = Open(DataPath());
    ASSERT_EQ(Activate(handle, KeyDef({{9, 4}})), 0);
    EXPECT_EQ(CurrentKey(handle), 1);
    // The registry is opened, so created, but no entry changes.
    EXPECT_TRUE(platform::FileExists(RegistryPath().c_str()));
    EXPECT_TRUE(Registry().empty());
    EXPECT_FALSE(platform::FileExists(LogPath().c_str()));
    EXPECT_EQ(Keys(handle).size(), 2u);
}

TEST_F(Lifecycle, SameDefinitionTwiceIsBuiltThenReused) {
    CreateDataFile();
    const int16_t handle = Open(DataPath());
    ASSERT_EQ(Activate(handle, kOrderDate), 0);
    EXPECT_EQ(CurrentKey(handle), 1);
    auto keys = Keys(handle);
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[1].number, 1);
    EXPECT_TRUE(keys[1].supplemental);
    Entry entry = RegistryEntry(1);
    EXPECT_EQ(entry.segments, 1);
    EXPECT_EQ(entry.active, 1);
    EXPECT_EQ(entry.total, 1);
    EXPECT_GE(entry.date, 20200101);
    EXPECT_LE(entry.time, 235959);

    ASSERT_EQ(DbOverRideDef(handle, 0, -1), 0);
    ASSERT_EQ(Activate(handle, kOrderDate), 0);
    EXPECT_EQ(CurrentKey(handle), 1);
    EXPECT_EQ(Keys(handle).size(), 2u) << "reused, not built again";
    const auto entries = Registry();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, kDataName);
    EXPECT_EQ(entries[0].keyNumber, 1);
    EXPECT_EQ(entries[0].active, 2);
    EXPECT_EQ(entries[0].total, 2);
}

TEST_F(Lifecycle, BuiltKeyReadsTheRecordsInItsOrder) {
    CreateDataFile(5);
    const int16_t handle = Open(DataPath());
    // Bytes 9..9 are 'x' in every record: a duplicates key over them still lists all five.
    ASSERT_EQ(Activate(handle, KeyDef({{9, 1}})), 0);
    char key[256] = {};
    char record[kRecordLength];
    int count = 0;
    for (int32_t status = DbRead(btr::kOpGetFirst, handle, key, record, 0); status == 0;
         status = DbRead(btr::kOpGetNext, handle, key, record, 0))
        ++count;
    EXPECT_EQ(count, 5);
}

TEST_F(Lifecycle, TwoDeactivationsLeaveTheKeyIdleInTheFileAndCurrent) {
    CreateDataFile();
    const int16_t handle = Open(DataPath());
    ASSERT_EQ(Activate(handle, kOrderDate), 0);
    ASSERT_EQ(Activate(handle, kOrderDate), 0);
    EXPECT_EQ(DbDeactivateKey(handle), 0);
    EXPECT_EQ(DbDeactivateKey(handle), 0);
    const Entry entry = RegistryEntry(1);
    EXPECT_EQ(entry.active, 0);
    EXPECT_EQ(entry.total, 2);
    EXPECT_TRUE(HasKey(handle, 1));
    EXPECT_EQ(CurrentKey(handle), 1);
}

TEST_F(Lifecycle, DeactivatingAnIdleKeyAnswers4AndKeepsItsCountAtZero) {
    CreateDataFile();
    const int16_t handle = Open(DataPath());
    ASSERT_EQ(Activate(handle, kOrderDate), 0);
    EXPECT_EQ(DbDeactivateKey(handle), 0);
    EXPECT_EQ(DbDeactivateKey(handle), btr::kStatusKeyNotFound);
    EXPECT_EQ(RegistryEntry(1).active, 0);
    EXPECT_EQ(RegistryEntry(1).total, 1);
}

TEST_F(Lifecycle, PurgeDropsTheKeyDeletesItsEntryAndMakesKeyZeroCurrent) {
    CreateDataFile();
    const int16_t handle = Open(DataPath());
    ASSERT_EQ(Activate(handle, kOrderDate), 0);
    ASSERT_EQ(DbPurgeKey(handle), 0);
    EXPECT_FALSE(HasKey(handle, 1));
    EXPECT_TRUE(Registry().empty());
    EXPECT_EQ(CurrentKey(handle), 0);
}

TEST_F(Lifecycle, PurgeOfAKeyTheFileNoLongerHasAnswers6AndKeepsItsEntry) {
    CreateDataFile();
    const int16_t handle = Open(DataPath());
    ASSERT_EQ(Activate(handle, kOrderDate), 0);
    InsertEntry(40, 2);
    ASSERT_EQ(DbOverRideDef(handle, 40, -1), 0);
    EXPECT_EQ(DbPurgeKey(handle), btr::kStatusInvalidKeyNumber);
    EXPECT_EQ(RegistryEntry(40).segments, 2);
    EXPECT_TRUE(HasKey(handle, 1));
}

TEST_F(Lifecycle, PurgeOfUnregisteredSupplementalKeyDropsItAndLogsNothing) {
    UseRealEngine({"Index Log=1"});
    CreateDataFile();
    const int16_t handle = Open(DataPath());
    ASSERT_EQ(Activate(handle, kOrderDate), 0);
    ASSERT_EQ(DbClearKeyRegistry(handle), btr::kStatusEndOfFile);
    ASSERT_TRUE(Registry().empty());
    ASSERT_TRUE(platform::FileExists(LogPath().c_str()));
    const auto logBefore = testsupport::ReadFileBytes(LogPath());

    EXPECT_EQ(DbPurgeKey(handle), 0);
    EXPECT_FALSE(HasKey(handle, 1));
    EXPECT_EQ(CurrentKey(handle), 0);
    EXPECT_EQ(testsupport::ReadFileBytes(LogPath()), logBefore);
}

TEST_F(Lifecycle, PurgeAndDeactivationOfPermanentKeyDoNothing) {
    CreateDataFile(10, {KeyDef({{9, 4}})});
    const int16_t handle = Open(DataPath());
    ASSERT_EQ(DbOverRideDef(handle, 1, -1), 0);
    EXPECT_EQ(DbPurgeKey(handle), 0);
    EXPECT_EQ(DbDeactivateKey(handle), 0);
    EXPECT_TRUE(HasKey(handle, 1));
    EXPECT_EQ(CurrentKey(handle), 1);
    EXPECT_FALSE(platform::FileExists(RegistryPath().c_str())) << "a permanent key never opens the registry";
}

TEST_F(Lifecycle, DeactivationOfUnregisteredSupplementalKeyGives4) {
    CreateDataFile();
    const int16_t handle = Open(DataPath());
    ASSERT_EQ(Activate(handle, kOrderDate), 0);
    ASSERT_EQ(DbClearKeyRegistry(handle), btr::kStatusEndOfFile);
    EXPECT_EQ(DbDeactivateKey(handle), btr::kStatusKeyNotFound);
    EXPECT_TRUE(HasKey(handle, 1));
}

TEST_F(Lifecycle, UnregisteredKeyWithTheSegmentsLeadsToASecondRegisteredKey) {
    CreateDataFile();
    const int16_t handle = Open(DataPath());
    ASSERT_EQ(Activate(handle, kOrderDate), 0);
    ASSERT_EQ(DbClearKeyRegistry(handle), btr::kStatusEndOfFile);
    ASSERT_EQ(Activate(handle, kOrderDate), 0);
    EXPECT_EQ(CurrentKey(handle), 2);
    EXPECT_EQ(Keys(handle).size(), 3u);
    const auto entries = Registry();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].keyNumber, 2);
    EXPECT_EQ(entries[0].total, 1);
}

TEST_F(Lifecycle, RequestWithoutKeyDefinitionLetsTheEngineDecideAndPurgesTheEntry) {
    UseRealEngine({"Index Log=1"});
    CreateDataFile();
    const int16_t handle = Open(DataPath());
    const auto definition = KeyDef({{20, 6}});
    for (int16_t length : {int16_t{0}, int16_t{-16}}) {
        const int32_t status = DbActivateKey(handle, length, definition.data());
        // An empty definition cannot be built: the record manager's refusal comes back.
        EXPECT_NE(status, 0);
        EXPECT_GT(status, 0);
        EXPECT_TRUE(Registry().empty());
        EXPECT_EQ(Keys(handle).size(), 1u);
        EXPECT_EQ(CurrentKey(handle), 0);
    }
    const int32_t status = DbActivateKey(handle, 16, nullptr);
    EXPECT_GT(status, 0);
    const auto log = testsupport::ReadFileBytes(LogPath());
    ASSERT_TRUE(log.has_value());
    EXPECT_EQ(log->find("BUILDING"), std::string::npos);
    EXPECT_NE(log->find("PURGING EXISTING KEY\r\n  File Name............: ORDERS.DAT\r\n"), std::string::npos);
    EXPECT_NE(log->find("  Number of Segments...: 0\r\n"), std::string::npos);
}

TEST_F(Lifecycle, MalformedDefinitionGives27WithoutOpeningTheRegistry) {
    CreateDataFile();
    const int16_t handle = Open(DataPath());
    // The only segment still says another follows.
    const auto definition = KeyDef({{20, 6}}, btr::kKeyFlagSegmented);
    EXPECT_EQ(Activate(handle, definition), btr::kStatusInvalidKeyPosition);
    // Fewer bytes than one segment.
    EXPECT_EQ(DbActivateKey(handle, 10, definition.data()), btr::kStatusInvalidKeyPosition);
    EXPECT_FALSE(platform::FileExists(RegistryPath().c_str()));
    EXPECT_EQ(Keys(handle).size(), 1u);
}

TEST_F(Lifecycle, DefinitionCopyThatCannotBeAllocatedGivesMinus5) {
    CreateDataFile();
    const int16_t handle = Open(DataPath());
    platform::testing::InjectAllocationFailure(0);
    EXPECT_EQ(Activate(handle, kOrderDate), TYDB_STATUS_NO_MEMORY);
    platform::testing::InjectAllocationFailure(-1);
    EXPECT_FALSE(platform::FileExists(RegistryPath().c_str()));
}

TEST_F(Lifecycle, CallerDefinitionIsNotChangedByTheBuild) {
    CreateDataFile();
    const int16_t handle = Open(DataPath());
    const auto definition = KeyDef({{20, 6}, {30, 2}});
    auto copy = definition;
    ASSERT_EQ(Activate(handle, copy), 0);
    EXPECT_EQ(std::memcmp(copy.data(), definition.data(), copy.size() * sizeof(BtrKeySpec)), 0);
    EXPECT_EQ(RegistryEntry(1).segments, 2);
}

TEST_F(Lifecycle, ClearKeyRegistryGives0BeforeAnotherFilesEntriesAnd9AtTheEnd) {
    CreateDataFile(3, {}, "AAA.DAT");
    CreateDataFile(3, {}, "ZZZ.DAT");
    const int16_t first = Open(DataPath("AAA.DAT"));
    const int16_t last = Open(DataPath("ZZZ.DAT"));
    ASSERT_EQ(Activate(first, kOrderDate), 0);
    ASSERT_EQ(Activate(first, KeyDef({{40, 2}})), 0);
    ASSERT_EQ(Activate(last, kOrderDate), 0);
    ASSERT_EQ(Registry().size(), 3u);

    EXPECT_EQ(DbClearKeyRegistry(first), 0);
    auto entries = Registry();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "ZZZ.DAT");
    // No entries left for the first file: the scan still stops at the other file's entry.
    EXPECT_EQ(DbClearKeyRegistry(first), 0);
    EXPECT_EQ(DbClearKeyRegistry(last), btr::kStatusEndOfFile);
    EXPECT_TRUE(Registry().empty());
    // The keys stay in the files.
    EXPECT_EQ(Keys(first).size(), 3u);
    EXPECT_EQ(Keys(last).size(), 2u);
}

TEST_F(Lifecycle, ClosedHandleGivesMinus1WithoutTouchingTheRegistry) {
    CreateDataFile();
    const int16_t handle = Open(DataPath());
    ASSERT_EQ(DbClose(handle), 0);
    EXPECT_EQ(Activate(handle, kOrderDate), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(Activate(0, kOrderDate), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(DbDeactivateKey(0), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(DbDeactivateKey(handle), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(DbPurgeKey(65), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(DbPurgeKey(handle), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(DbClearKeyRegistry(handle), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(DbClearKeyRegistry(-3), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_FALSE(platform::FileExists(RegistryPath().c_str()));
}

TEST_F(Lifecycle, RegistryIsCreatedWithItsFileAndKeySpecifications) {
    CreateDataFile();
    const int16_t handle = Open(DataPath());
    ASSERT_EQ(Activate(handle, kOrderDate), 0);
    uint8_t statistics[TYDB_STATISTICS_SIZE] = {};
    ASSERT_EQ(DbFileStatByName(RegistryPath().c_str(), statistics), 0);
    BtrFileSpec file;
    std::memcpy(&file, statistics, sizeof file);
    EXPECT_EQ(+file.recordLength, 34);
    EXPECT_EQ(+file.pageSize, 4096);
    EXPECT_EQ(+file.keyCount, 2);
    int16_t length = 0;
    std::memcpy(&length, statistics + TYDB_STATISTICS_LENGTH_OFFSET, sizeof length);
    ASSERT_EQ(length, 16 + 7 * 16);
    const int expected[7][4] = {{1, 16, 0x10, 0}, {17, 2, 0x00, 0}, {1, 16, 0x13, 1}, {21, 2, 0x13, 1},
                                {23, 4, 0x13, 1}, {27, 4, 0x13, 1}, {31, 4, 0x03, 1}};
    for (int i = 0; i < 7; ++i) {
        BtrKeySpec spec;
        std::memcpy(&spec, statistics + 16 + i * 16, sizeof spec);
        EXPECT_EQ(+spec.position, expected[i][0]) << i;
        EXPECT_EQ(+spec.length, expected[i][1]) << i;
        EXPECT_EQ(spec.flags & 0xFF, expected[i][2]) << i;
        EXPECT_EQ(+spec.keyNumber, expected[i][3]) << i;
    }
}

TEST_F(Lifecycle, RegistryMadeByAnotherWorkstationJustAfterTheLookIsOpenedNotReplaced) {
    CreateDataFile();
    const int16_t handle = Open(DataPath());
    ASSERT_EQ(Activate(handle, kOrderDate), 0);
    ASSERT_EQ(RegistryEntry(1).keyNumber, 1);
    // The look for the registry finds none, as if another workstation made it just after.
    platform::testing::InjectFileFailure(platform::testing::FileOperation::kExists, 0, platform::FileStatus::kNotFound);
    EXPECT_EQ(Activate(handle, KeyDef({{30, 4}})), 0);
    platform::testing::InjectFileFailure(platform::testing::FileOperation::kExists, -1, platform::FileStatus::kOk);
    EXPECT_EQ(RegistryEntry(1).keyNumber, 1) << "the entry made before is still there";
    EXPECT_EQ(Registry().size(), 2u);
}

TEST_F(Lifecycle, BareFileNameKeepsItsRegistryAndLogInTheCurrentFolder) {
    UseRealEngine({"Index Log=1"});
    CreateDataFile();
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const int16_t handle = Open(kDataName);
    EXPECT_EQ(Activate(handle, kOrderDate), 0);
    DbCloseAll();
    std::filesystem::current_path(previous);
    EXPECT_TRUE(platform::FileExists(RegistryPath().c_str()));
    EXPECT_TRUE(platform::FileExists(LogPath().c_str()));
}

TEST_F(Lifecycle, FifteenCharacterFileNameIsStoredWithAZeroAfterIt) {
    const std::string name = "ABCDEFGHIJK.DAT";
    ASSERT_EQ(name.size(), 15u);
    CreateDataFile(3, {}, name);
    const int16_t handle = Open(DataPath(name));
    ASSERT_EQ(Activate(handle, kOrderDate), 0);
    int16_t registry = Open(RegistryPath());
    char key[256] = {};
    tydb::RegistryRecord record;
    ASSERT_EQ(DbRead(btr::kOpGetFirst, registry, key, &record, 0), 0);
    EXPECT_EQ(std::string(record.DataFileName, 15), name);
    EXPECT_EQ(record.DataFileName[15], '\0');
}

TEST_F(Lifecycle, RegistryAndLogPathsTooLongAreOpenFailures) {
    UseRealEngine({"Index Log=1"});
    // A directory so long that the data path still fits but "tysupidx.db" beside it does not.
    std::string deep = dir.path();
    // The record manager takes paths of up to 254 characters; the registry path needs 260.
    while (deep.size() < 248) deep += "/" + std::string(std::min<size_t>(60, 247 - deep.size()), 'd');
    std::filesystem::create_directories(deep);
    const std::string path = deep + "/A.DAT";
    ASSERT_LE(path.size(), 254u);
    ASSERT_GE(deep.size() + 13, 260u);
    BtrFileSpec spec = {};
    spec.recordLength = kRecordLength;
    spec.pageSize = 4096;
    spec.keyCount = 1;
    std::vector<BtrKeySpec> segments = {Segment(1, 8), BtrKeySpec{}};
    ASSERT_EQ(DbCreateFile(path.c_str(), &spec, segments.data()), 0);
    const int16_t handle = Open(path);
    // A permanent match needs no registry; a new key cannot be registered.
    EXPECT_EQ(Activate(handle, KeyDef({{1, 8}})), 0);
    EXPECT_EQ(Activate(handle, kOrderDate), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(Keys(handle).size(), 1u);
    EXPECT_EQ(DbClearKeyRegistry(handle), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_FALSE(platform::FileExists((deep + "/tysupidx.db").c_str()));
    EXPECT_FALSE(platform::FileExists((deep + "/tysupidx.log").c_str()));
}

}  // namespace
}  // namespace supidxtest
