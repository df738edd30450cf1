// IndexRegistry and IndexRequest on their own: counting, replacing stale entries, listing idle
// keys, a registry that could not be opened, and the request's key operations.
#include <ctime>

#include "index_registry.h"
#include "index_request.h"
#include "supidx_fixture.h"

namespace supidxtest {
namespace {

tydb::RegistryRecord MakeRecord(const std::string& name, uint16_t key, uint16_t segments, uint16_t active,
                                int32_t total) {
    tydb::RegistryRecord record;
    std::memset(&record, 0, sizeof record);
    std::strncpy(record.DataFileName, name.c_str(), 15);
    record.KeyNumber = key;
    record.SegmentCount = segments;
    record.ActiveReferences = active;
    record.TotalReferences = total;
    record.LastUseDate = 20240101;
    record.LastUseTime = 120000;
    return record;
}

class RegistryFile : public SupidxTest {
protected:
    void SetUp() override {
        SupidxTest::SetUp();
        CreateDataFile(3);
        handle = Open(DataPath());
    }

    void Insert(tydb::IndexRegistry& registry, const tydb::RegistryRecord& record) {
        tydb::RegistryRecord copy = record;
        uint8_t key[256] = {};
        ASSERT_EQ(DbModify(btr::kOpInsert, registry.handle(), key, &copy, 0), 0);
    }

    int16_t handle = 0;
};

TEST_F(RegistryFile, IsCreatedAndOpenedInTheDataFilesDirectory) {
    tydb::IndexRequest request(handle, nullptr, 0);
    tydb::IndexRegistry registry(request);
    EXPECT_GT(registry.handle(), 0);
    EXPECT_TRUE(platform::FileExists(RegistryPath().c_str()));
    EXPECT_EQ(std::string(registry.record().DataFileName), kDataName);
    EXPECT_EQ(registry.Close(), 0);
    EXPECT_EQ(registry.handle(), -1);
    EXPECT_EQ(registry.Close(), 0);
}

TEST_F(RegistryFile, AddReferenceOfAnExistingEntryCountsUpAndStampsTheTime) {
    tydb::IndexRequest request(handle, nullptr, 0);
    tydb::IndexRegistry registry(request);
    Insert(registry, MakeRecord(kDataName, 4, 2, 2, 7));
    EXPECT_EQ(registry.AddReference(4, 2, false), 0);
    EXPECT_EQ(registry.log().action(), tydb::kActionActivatingExistingKey);
    registry.Close();
    const Entry entry = RegistryEntry(4);
    EXPECT_EQ(entry.active, 3);
    EXPECT_EQ(entry.total, 8);
    int32_t date = 0, time = 0;
    tydb::IndexRegistry::Timestamp(&date, &time);
    EXPECT_GE(entry.date, 20240102);
    EXPECT_LE(entry.date, date);
}

TEST_F(RegistryFile, AddReferenceForANewKeyReplacesAStaleEntryWithItsOwnSegmentCount) {
    tydb::IndexRequest request(handle, nullptr, 0);
    tydb::IndexRegistry registry(request);
    Insert(registry, MakeRecord(kDataName, 4, 5, 9, 40));
    EXPECT_EQ(registry.AddReference(4, 2, true), 0);
    EXPECT_EQ(registry.log().action(), tydb::kActionBuildingNewKey);
    registry.Close();
    const auto entries = Registry();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].segments, 2);
    EXPECT_EQ(entries[0].active, 1);
    EXPECT_EQ(entries[0].total, 1);
}

TEST_F(RegistryFile, AddReferenceOfAMissingEntryStartsFromZero) {
    tydb::IndexRequest request(handle, nullptr, 0);
    tydb::IndexRegistry registry(request);
    Insert(registry, MakeRecord("OTHER.DAT", 4, 5, 9, 40));
    // Not new, yet no entry: the update has nothing to change.
    EXPECT_NE(registry.AddReference(4, 1, false), 0);
    EXPECT_EQ(+registry.record().ActiveReferences, 1);
    EXPECT_EQ(+registry.record().TotalReferences, 1);
    EXPECT_EQ(registry.log().action(), tydb::kActionActivatingExistingKey);
}

TEST_F(RegistryFile, RemoveReferenceAtZeroAnswers4AndWritesNothing) {
    tydb::IndexRequest request(handle, nullptr, 0);
    tydb::IndexRegistry registry(request);
    Insert(registry, MakeRecord(kDataName, 3, 1, 0, 5));
    EXPECT_EQ(registry.RemoveReference(3, 0), btr::kStatusKeyNotFound);
    EXPECT_NE(registry.log().action(), tydb::kActionDeactivatingExistingKey);
    registry.Close();
    EXPECT_EQ(RegistryEntry(3).active, 0);
    EXPECT_EQ(RegistryEntry(3).total, 5);
}

TEST_F(RegistryFile, PurgeEntryDeletesAndReportsAMissingEntry) {
    tydb::IndexRequest request(handle, nullptr, 0);
    tydb::IndexRegistry registry(request);
    Insert(registry, MakeRecord(kDataName, 3, 1, 0, 5));
    EXPECT_EQ(registry.PurgeEntry(3, 0), 0);
    EXPECT_EQ(+registry.record().SegmentCount, 1) << "the stored entry was read";
    EXPECT_EQ(registry.PurgeEntry(3, 0), btr::kStatusKeyNotFound);
    EXPECT_EQ(registry.log().action(), tydb::kActionPurgingExistingKey);
    registry.Close();
    EXPECT_TRUE(Registry().empty());
}

TEST_F(RegistryFile, CollectIdleKeysTakesIdleEntriesUntilTheLimitOrTheRunEnds) {
    tydb::IndexRequest request(handle, nullptr, 0);
    tydb::IndexRegistry registry(request);
    Insert(registry, MakeRecord(kDataName, 7, 2, 0, 1));
    Insert(registry, MakeRecord(kDataName, 8, 2, 0, 2));
    Insert(registry, MakeRecord(kDataName, 9, 1, 0, 3));
    Insert(registry, MakeRecord(kDataName, 10, 4, 1, 1));
    Insert(registry, MakeRecord("ZZZ.DAT", 11, 4, 0, 1));
    int32_t out[25] = {};
    EXPECT_EQ(registry.CollectIdleKeys(out, 3, 25), 3);
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(out[1], 8);
    EXPECT_EQ(out[2], 9);
    // Enough after two: the sum reaches the limit.
    int32_t two[4] = {};
    EXPECT_EQ(registry.CollectIdleKeys(two, 3, 4), 2);
    // Never more numbers than the limit, and too few segments give 0.
    int32_t one[1] = {};
    EXPECT_EQ(registry.CollectIdleKeys(one, 1, 1), 1);
    EXPECT_EQ(registry.CollectIdleKeys(out, 6, 6), 0) << "idle entries free only 5";
    EXPECT_EQ(registry.log().action(), tydb::kActionInvalidOperation);
}

TEST_F(RegistryFile, CollectIdleKeysListsATotalOf256BeforeATotalOf1) {
    tydb::IndexRequest request(handle, nullptr, 0);
    tydb::IndexRegistry registry(request);
    Insert(registry, MakeRecord(kDataName, 1, 1, 0, 1));
    Insert(registry, MakeRecord(kDataName, 2, 1, 0, 256));
    int32_t out[25] = {};
    ASSERT_EQ(registry.CollectIdleKeys(out, 1, 25), 2);
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(out[1], 1);
}

TEST_F(RegistryFile, DeleteFileEntriesComparesNamesWithoutLetterCase) {
    tydb::IndexRequest request(handle, nullptr, 0);
    tydb::IndexRegistry registry(request);
    // Byte order: ORDERS.DAT, ORDERS.DAt, ZZZ.DAT; the second counts as the same file.
    Insert(registry, MakeRecord(kDataName, 1, 1, 0, 1));
    Insert(registry, MakeRecord(kDataName, 2, 1, 0, 1));
    Insert(registry, MakeRecord("ORDERS.DAt", 3, 1, 0, 1));
    Insert(registry, MakeRecord("ZZZ.DAT", 1, 1, 0, 1));
    EXPECT_EQ(registry.DeleteFileEntries(), 0);
    EXPECT_EQ(registry.log().action(), tydb::kActionInvalidOperation);
    registry.Close();
    const auto entries = Registry();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "ZZZ.DAT");
}

TEST_F(RegistryFile, LockEntryReadsTheEntryAndLeavesNoBiasBehind) {
    tydb::IndexRequest request(handle, nullptr, 0);
    tydb::IndexRegistry registry(request);
    Insert(registry, MakeRecord(kDataName, 5, 3, 2, 9));
    EXPECT_EQ(registry.LockEntry(5), 0);
    EXPECT_EQ(+registry.record().SegmentCount, 3);
    int32_t key = -1, bias = -1;
    ASSERT_EQ(DbGetOverRideDef(registry.handle(), &key, &bias), 0);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(bias, 0);
    EXPECT_EQ(registry.LockEntry(6), btr::kStatusKeyNotFound);
}

TEST_F(RegistryFile, BuildKeyConcatenatesTheSegmentsOfEachKey) {
    const tydb::RegistryRecord record = MakeRecord("AB.DAT", 0x0102, 3, 0x0304, 0x05060708);
    uint8_t key[64] = {};
    tydb::IndexRegistry::BuildKey(0, key, record);
    EXPECT_EQ(std::memcmp(key, &record, 18), 0);
    tydb::IndexRegistry::BuildKey(1, key, record);
    EXPECT_EQ(std::memcmp(key, &record, 16), 0);
    EXPECT_EQ(std::memcmp(key + 16, reinterpret_cast<const uint8_t*>(&record) + 20, 14), 0);
}

TEST_F(RegistryFile, TimestampIsTheLocalDateAndTimeAsNumbers) {
    int32_t date = 0, time = 0;
    const std::time_t before = std::time(nullptr);
    tydb::IndexRegistry::Timestamp(&date, &time);
    const std::tm local = *std::localtime(&before);
    EXPECT_EQ(date / 10000, local.tm_year + 1900);
    EXPECT_EQ(date / 100 % 100, local.tm_mon + 1);
    EXPECT_GE(time / 10000, 0);
    EXPECT_LE(time / 10000, 23);
    EXPECT_LE(time / 100 % 100, 59);
}

TEST_F(RegistryFile, FindWithReplaceStopsWhenTheStaleEntryCannotBeDeleted) {
    DbCloseAll();
    tydb::UnloadEngine();
    UseFakeEngine();
    handle = Open(DataPath());
    tydb::IndexRequest request(handle, nullptr, 0);
    tydb::IndexRegistry registry(request);
    Insert(registry, MakeRecord(kDataName, 4, 1, 1, 1));
    fake->Script(btr::kOpDelete, "*", btr::kStatusRecordInUse);
    EXPECT_EQ(registry.AddReference(4, 1, true), btr::kStatusDuplicateKey);
    fake->ClearLog();
    EXPECT_EQ(registry.Find(true), btr::kStatusRecordInUse);
    EXPECT_EQ(fake->CallsOf(btr::kOpDelete).size(), 1u);
}

TEST_F(RegistryFile, UnopenedRegistryAnswersMinus1AndStillSetsItsAction) {
    tydb::IndexRequest request(handle, nullptr, 0);
    tydb::IndexRegistry registry(request);
    ASSERT_EQ(registry.Close(), 0);
    int32_t out[4] = {};
    EXPECT_EQ(registry.Find(false), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(registry.LockEntry(1), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(registry.Unlock(), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(registry.DeleteFileEntries(), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(registry.CollectIdleKeys(out, 1, 4), 0);
    EXPECT_EQ(registry.AddReference(1, 1, true), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(registry.log().action(), tydb::kActionBuildingNewKey);
    EXPECT_EQ(registry.PurgeEntry(1, 1), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(registry.log().action(), tydb::kActionPurgingExistingKey);
}

TEST_F(RegistryFile, RequestWithoutDefinitionHasNoSegments) {
    const auto definition = KeyDef({{20, 6}});
    tydb::IndexRequest none(handle, nullptr, 16);
    tydb::IndexRequest empty(handle, definition.data(), 0);
    tydb::IndexRequest negative(handle, definition.data(), -16);
    for (const tydb::IndexRequest* request : {&none, &empty, &negative}) {
        EXPECT_EQ(request->KeyDefinition(), nullptr);
        EXPECT_EQ(request->KeySegments(), 0);
        EXPECT_FALSE(request->CopyFailed());
    }
    tydb::IndexRequest some(handle, definition.data(), 16);
    EXPECT_NE(some.KeyDefinition(), definition.data());
    EXPECT_EQ(some.KeySegments(), 1);
    EXPECT_EQ(std::string(some.FileName()), kDataName);
    EXPECT_EQ(std::string(some.Directory()), DataDir());
}

TEST_F(RegistryFile, RequestDropOfAnotherKeyKeepsTheCurrentKey) {
    const auto first = KeyDef({{20, 6}});
    const auto second = KeyDef({{30, 2}});
    tydb::IndexRequest a(handle, first.data(), 16);
    tydb::IndexRequest b(handle, second.data(), 16);
    ASSERT_EQ(a.CreateKey(1), 0);
    ASSERT_EQ(b.CreateKey(2), 0);
    EXPECT_EQ(a.CurrentKey(), 2);
    EXPECT_EQ(a.DropKey(1), 0);
    EXPECT_EQ(a.CurrentKey(), 2);
    EXPECT_EQ(a.DropKey(2), 0);
    EXPECT_EQ(a.CurrentKey(), 0);
    EXPECT_EQ(a.DropKey(2), btr::kStatusInvalidKeyNumber);
    // The supplemental flag went into the request's copy only.
    EXPECT_EQ(first[0].flags & btr::kKeyFlagSupplemental, 0);
    EXPECT_NE(a.KeyDefinition()[0].flags & btr::kKeyFlagSupplemental, 0);
}

TEST_F(RegistryFile, RequestOnAClosedHandleSendsNothing) {
    const auto first = KeyDef({{20, 6}});
    tydb::IndexRequest request(handle, first.data(), 16);
    ASSERT_EQ(DbClose(handle), 0);
    EXPECT_EQ(request.CreateKey(1), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(request.DropKey(1), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(std::string(request.FileName()), "");
}

}  // namespace
}  // namespace supidxtest
