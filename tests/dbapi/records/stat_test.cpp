// DbFileStat and its variants: the request, the stored reply length, failures.
#include <cstring>

#include "key_queries.h"
#include "record_fixture.h"

using namespace recordtest;

namespace {

int16_t StoredLength(const uint8_t* statistics) {
    int16_t length;
    std::memcpy(&length, statistics + TYDB_STATISTICS_LENGTH_OFFSET, sizeof length);
    return length;
}

const tydb::StatisticsBuffer* AsStatistics(const uint8_t* bytes) {
    return reinterpret_cast<const tydb::StatisticsBuffer*>(bytes);
}

class StatRequestTest : public FakeEngineTest {};

TEST_F(StatRequestTest, StatIsUnbiasedWithKeyNumberMinusOneAndTheWholeBuffer) {
    const int16_t handle = Open(CreateNamesFile({"a"}));
    ASSERT_EQ(DbOverRideDef(handle, 1, 400), 0);
    fake->ClearLog();
    uint8_t statistics[TYDB_STATISTICS_SIZE];
    ASSERT_EQ(DbFileStat(handle, statistics), 0);
    const auto calls = fake->Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].operation, btr::kOpStat);
    EXPECT_EQ(calls[0].keyNumber, -1);
    EXPECT_EQ(calls[0].dataLength, static_cast<uint32_t>(TYDB_STATISTICS_SIZE));
    EXPECT_EQ(StoredLength(statistics), static_cast<int16_t>(calls[0].dataLengthOut));
}

TEST_F(StatRequestTest, FailingStatStoresNoLengthAndKeepsWhatTheRecordManagerLeft) {
    const int16_t handle = Open(CreateNamesFile({"a"}));
    fake->Script(btr::kOpStat, "*", btr::kStatusFileNotOpen, 5, "abcd");
    uint8_t statistics[TYDB_STATISTICS_SIZE];
    std::memset(statistics, 0xFF, sizeof statistics);
    EXPECT_EQ(DbFileStat(handle, statistics), btr::kStatusFileNotOpen);
    EXPECT_EQ(std::memcmp(statistics, "abcd", 4), 0);
    EXPECT_EQ(StoredLength(statistics), 0) << "the buffer was cleared and no length stored";
    for (int i = 4; i < TYDB_STATISTICS_SIZE; ++i) ASSERT_EQ(statistics[i], 0) << i;
}

TEST_F(StatRequestTest, InvalidHandleLeavesTheBufferUntouched) {
    uint8_t statistics[TYDB_STATISTICS_SIZE];
    std::memset(statistics, 0x5C, sizeof statistics);
    EXPECT_EQ(DbFileStat(3, statistics), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(statistics[0], 0x5C);
    EXPECT_EQ(statistics[TYDB_STATISTICS_LENGTH_OFFSET], 0x5C);
    EXPECT_TRUE(fake->Calls().empty());
}

TEST_F(StatRequestTest, StatByNameOpensStatsAndClosesAgain) {
    const std::string path = CreateNamesFile({"a", "b"});
    fake->ClearLog();
    uint8_t statistics[TYDB_STATISTICS_SIZE] = {};
    EXPECT_EQ(DbFileStatByName(path.c_str(), statistics), 0);
    EXPECT_EQ(Operations(), (std::vector<int>{btr::kOpOpen, btr::kOpStat, btr::kOpStat, btr::kOpClose}));
    BtrFileSpec spec;
    std::memcpy(&spec, statistics, sizeof spec);
    EXPECT_EQ(+spec.recordCount, 2u);
    EXPECT_EQ(+spec.recordLength, kRecordLength);
    // Nothing stays open: the next open gets the first handle.
    EXPECT_EQ(Open(path), 1);
}

TEST_F(StatRequestTest, StatByNameReturnsTheOpenStatus) {
    fake->Script(btr::kOpOpen, "*", btr::kStatusFileNotFound);
    uint8_t statistics[TYDB_STATISTICS_SIZE] = {};
    EXPECT_EQ(DbFileStatByName(Path("MISSING.DAT").c_str(), statistics), btr::kStatusFileNotFound);
    for (const auto& call : fake->Calls()) EXPECT_EQ(call.operation, btr::kOpOpen);
}

class StatRealTest : public RealEngineTest {
protected:
    // A file with two keys of 1 and 2 segments; the second asks for the collating sequence
    // when `collated`.
    int16_t CreateThreeSegmentFile(bool collated) {
        const std::string path = Path(collated ? "ACS.DAT" : "PLAIN.DAT");
        const BtrFileSpec spec = FileSpec(kRecordLength, 2);
        const uint16_t acs = collated ? btr::kKeyFlagAlternateSequence : 0;
        const auto segments =
            Terminated({Segment(1, 8), Segment(9, 2, btr::kKeyFlagSegmented | acs), Segment(11, 2, acs)});
        EXPECT_EQ(DbCreateFile(path.c_str(), &spec, segments.data()), 0);
        return Open(path);
    }
};

TEST_F(StatRealTest, ThreeSegmentsWithoutCollatingSequenceStore64) {
    uint8_t statistics[TYDB_STATISTICS_SIZE] = {};
    ASSERT_EQ(DbFileStat(CreateThreeSegmentFile(false), statistics), 0);
    EXPECT_EQ(StoredLength(statistics), 64);
    EXPECT_EQ(tydb::StatUsedSegments(AsStatistics(statistics)), 3);
    EXPECT_EQ(tydb::StatFreeSegments(AsStatistics(statistics)), 93);
}

TEST_F(StatRealTest, ThreeSegmentsWithCollatingSequenceStore329) {
    uint8_t statistics[TYDB_STATISTICS_SIZE] = {};
    ASSERT_EQ(DbFileStat(CreateThreeSegmentFile(true), statistics), 0);
    EXPECT_EQ(StoredLength(statistics), 329);
    EXPECT_EQ(tydb::StatUsedSegments(AsStatistics(statistics)), 3);
    EXPECT_EQ(statistics[16 + 48], 0xAC) << "the collating sequence follows the third segment";
}

TEST_F(StatRealTest, StatReportsKeysSegmentsAndRecordCount) {
    const int16_t handle = Open(CreateNamesFile({"a", "b", "c"}));
    uint8_t statistics[TYDB_STATISTICS_SIZE] = {};
    ASSERT_EQ(DbFileStat(handle, statistics), 0);
    const tydb::StatisticsBuffer* buffer = AsStatistics(statistics);
    EXPECT_EQ(+buffer->file.keyCount, 2);
    EXPECT_EQ(+buffer->file.recordCount, 3u);
    EXPECT_EQ(+buffer->file.recordLength, kRecordLength);
    const BtrKeySpec* key1 = tydb::StatFindKeySpec(buffer, 1);
    ASSERT_NE(key1, nullptr);
    EXPECT_EQ(+key1->position, 9);
    EXPECT_EQ(+key1->length, 4);
}

TEST_F(StatRealTest, VersionByteTellsVersion60Files) {
    uint8_t statistics[TYDB_STATISTICS_SIZE] = {};
    const int16_t handle = Open(CreateNamesFile({"a"}));
    ASSERT_EQ(DbFileStat(handle, statistics), 0);
    EXPECT_EQ(statistics[5], 0x70);
    EXPECT_EQ(DbIsVersion60File(statistics), 0);
    statistics[5] = 0x60;
    EXPECT_EQ(DbIsVersion60File(statistics), 1);
    EXPECT_EQ(DbIsVersion60File(nullptr), 0);
}

TEST(StatVersion, FileCreatedAsVersion60IsRecognised) {
    testsupport::TempDir dir;
    testsupport::WriteEngineSettings(dir.File("settings.ini"), testsupport::RealEngineDir());
    testsupport::ScopedEnv settings("TYWREG_FILE", dir.File("settings.ini"));
    testsupport::ScopedEnv version("W3BTRV7_FILE_VERSION", "6.0");
    const std::string path = dir.File("OLD.DAT");
    const BtrFileSpec spec = FileSpec(kRecordLength, 0);
    ASSERT_EQ(DbCreateFile(path.c_str(), &spec, nullptr), 0);
    uint8_t statistics[TYDB_STATISTICS_SIZE] = {};
    ASSERT_EQ(DbFileStatByName(path.c_str(), statistics), 0);
    EXPECT_EQ(DbIsVersion60File(statistics), 1);
    EXPECT_EQ(StoredLength(statistics), 16);
    EXPECT_EQ(tydb::StatUsedSegments(AsStatistics(statistics)), 0);
    tydb::UnloadEngine();
}

}  // namespace
