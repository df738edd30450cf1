// Key-definition queries: segment counting, key comparison, finding keys in statistics, the
// next free key number, and the three exports over a file's statistics.
#include <cstring>

#include "key_queries.h"
#include "record_fixture.h"

using namespace recordtest;
using namespace tydb;

namespace {

struct KeyDef {
    int8_t number;
    std::vector<BtrKeySpec> segments;  // segmented flags are set by the builder
    uint16_t firstFlags = 0;
};

// A statistics buffer as DbFileStat leaves it for these keys.
StatisticsBuffer MakeStatistics(const std::vector<KeyDef>& keys, bool withAcs = false) {
    StatisticsBuffer statistics = {};
    statistics.file.recordLength = 100;
    statistics.file.keyCount = static_cast<uint8_t>(keys.size());
    int used = 0;
    auto* segments = reinterpret_cast<BtrKeySpec*>(statistics.keysAndAcs);
    for (const KeyDef& key : keys) {
        for (size_t i = 0; i < key.segments.size(); ++i) {
            BtrKeySpec segment = key.segments[i];
            segment.keyNumber = key.number;
            if (i + 1 < key.segments.size()) segment.flags |= btr::kKeyFlagSegmented;
            if (i == 0) segment.flags |= key.firstFlags;
            segments[used++] = segment;
        }
    }
    int length = kFileSpecSize + used * kKeySpecSize;
    if (withAcs) {
        DbBuildUpperAcs(statistics.keysAndAcs + used * kKeySpecSize);
        length += btr::kAcsSize;
    }
    statistics.replyLength = static_cast<int16_t>(length);
    return statistics;
}

std::vector<BtrKeySpec> Definition(std::vector<BtrKeySpec> segments) {
    for (size_t i = 0; i + 1 < segments.size(); ++i) segments[i].flags |= btr::kKeyFlagSegmented;
    return segments;
}

StatisticsBuffer WithLength(int16_t length) {
    StatisticsBuffer statistics = {};
    statistics.replyLength = length;
    return statistics;
}

TEST(KeyQuerySegments, UsedAndFreeSegmentsFollowTheStoredLength) {
    StatisticsBuffer empty = WithLength(16);
    EXPECT_EQ(StatUsedSegments(&empty), 0);
    EXPECT_EQ(StatFreeSegments(&empty), 96);
    StatisticsBuffer full = WithLength(16 + 96 * 16 + 265);
    EXPECT_EQ(StatUsedSegments(&full), 96);
    EXPECT_EQ(StatFreeSegments(&full), 0);
    StatisticsBuffer plain = WithLength(64), collated = WithLength(329);
    EXPECT_EQ(StatUsedSegments(&plain), 3);
    EXPECT_EQ(StatUsedSegments(&collated), 3);
    EXPECT_EQ(StatSegmentCapacity(&plain), 96);
    EXPECT_EQ(StatSegmentCapacity(nullptr), 96);
}

TEST(KeyQuerySegments, NullAndImpossibleLengthsNeverCountBeyondTheBuffer) {
    EXPECT_EQ(StatUsedSegments(nullptr), 0);
    EXPECT_EQ(StatFreeSegments(nullptr), 96);
    for (int16_t length : {int16_t(0), int16_t(15), int16_t(-16), int16_t(265), int16_t(-32768)}) {
        StatisticsBuffer statistics = WithLength(length);
        EXPECT_EQ(StatUsedSegments(&statistics), 0) << length;
    }
    StatisticsBuffer huge = WithLength(32000);
    EXPECT_EQ(StatUsedSegments(&huge), 96);
    EXPECT_EQ(StatFreeSegments(&huge), 0);
}

TEST(KeyQueryDefinitions, SegmentCountEndsAtTheFirstSegmentWithoutTheSegmentedFlag) {
    const auto key = Definition({Segment(1, 4), Segment(5, 2), Segment(7, 3)});
    EXPECT_EQ(KeySegmentCount(key.data(), 3), 3);
    EXPECT_EQ(KeySegmentCount(key.data() + 1, 2), 2);
    EXPECT_EQ(KeySegmentCount(key.data() + 2, 1), 1);
    EXPECT_EQ(KeyTotalLength(key.data(), 3), 9);
    EXPECT_EQ(KeySegmentCount(nullptr, 3), 0);
    EXPECT_EQ(KeyTotalLength(nullptr, 3), 0);
}

TEST(KeyQueryDefinitions, DefinitionThatDoesNotEndWithinItsLengthIsRefused) {
    const auto key = Definition({Segment(1, 4), Segment(5, 2), Segment(7, 3)});
    EXPECT_EQ(KeySegmentCount(key.data(), 2), 0);
    EXPECT_EQ(KeyTotalLength(key.data(), 2), 0);
    EXPECT_EQ(KeySegmentCount(key.data(), 0), 0);
    EXPECT_EQ(CheckKeyDefinition(key.data(), 2), btr::kStatusInvalidKeyPosition);
    EXPECT_EQ(CheckKeyDefinition(key.data(), 3), 0);
    EXPECT_EQ(CheckKeyDefinition(nullptr, 3), TYDB_STATUS_NO_BUFFER);
    EXPECT_FALSE(KeySpecsEqual(key.data(), 2, key.data(), 2));
}

TEST(KeyQueryDefinitions, KeysAreEqualByPositionsAndLengthsOnly) {
    const auto a = Definition({Segment(1, 4), Segment(5, 2)});
    auto b = Definition({Segment(1, 4, btr::kKeyFlagDescending), Segment(5, 2, btr::kKeyFlagAlternateSequence)});
    b[0].extendedType = btr::kTypeZstring;
    b[1].keyNumber = 7;
    EXPECT_TRUE(KeySpecsEqual(a.data(), 2, b.data(), 2));
    const auto otherLength = Definition({Segment(1, 4), Segment(5, 3)});
    EXPECT_FALSE(KeySpecsEqual(a.data(), 2, otherLength.data(), 2));
    const auto otherPosition = Definition({Segment(2, 4), Segment(5, 2)});
    EXPECT_FALSE(KeySpecsEqual(a.data(), 2, otherPosition.data(), 2));
    EXPECT_FALSE(KeySpecsEqual(nullptr, 2, a.data(), 2));
    EXPECT_FALSE(KeySpecsEqual(a.data(), 2, nullptr, 2));
}

TEST(KeyQueryDefinitions, ShorterDefinitionDoesNotEqualALongerKeyWithTheSameStart) {
    const auto two = Definition({Segment(1, 4), Segment(5, 2)});
    const auto three = Definition({Segment(1, 4), Segment(5, 2), Segment(7, 1)});
    EXPECT_FALSE(KeySpecsEqual(two.data(), 2, three.data(), 3));
    EXPECT_FALSE(KeySpecsEqual(three.data(), 3, two.data(), 2));
}

TEST(KeyQueryDefinitions, ComparisonReadsNoMoreOfADefinitionThanTheKeyHas) {
    // A definition whose segmented flags never end: compared with a two-segment key only its
    // first two segments may be looked at, and it is not equal.
    std::vector<BtrKeySpec> endless(2, Segment(1, 4, btr::kKeyFlagSegmented));
    const auto key = Definition({Segment(1, 4), Segment(1, 4)});
    EXPECT_FALSE(KeySpecsEqual(endless.data(), kSegmentCapacity, key.data(), 2));
}

TEST(KeyQueryStatistics, FindKeySpecReturnsTheFirstSegmentOfTheKey) {
    const auto statistics = MakeStatistics({{0, {Segment(1, 4)}}, {1, {Segment(5, 2), Segment(9, 3)}}});
    const BtrKeySpec* key1 = StatFindKeySpec(&statistics, 1);
    ASSERT_NE(key1, nullptr);
    EXPECT_EQ(+key1->position, 5);
    EXPECT_EQ(+StatFindKeySpec(&statistics, 0)->position, 1);
    EXPECT_EQ(StatFindKeySpec(&statistics, 2), nullptr);
    EXPECT_EQ(StatFindKeySpec(nullptr, 0), nullptr);
}

TEST(KeyQueryStatistics, FindKeySpecSeesNoSegmentBeyondTheStoredLength) {
    auto statistics = MakeStatistics({{0, {Segment(1, 4)}}, {1, {Segment(5, 2)}}});
    statistics.replyLength = 32;
    EXPECT_EQ(StatFindKeySpec(&statistics, 1), nullptr);
}

TEST(KeyQueryStatistics, MatchingKeyIsTheFirstEqualKeyInReplyOrder) {
    const auto statistics = MakeStatistics({{0, {Segment(1, 4)}},
                                            {3, {Segment(5, 2), Segment(9, 3)}},
                                            {1, {Segment(5, 2), Segment(9, 3)}},
                                            {2, {Segment(5, 2), Segment(9, 3), Segment(20, 1)}}},
                                           true);
    const auto twoSegments = Definition({Segment(5, 2), Segment(9, 3)});
    EXPECT_EQ(StatFindMatchingKey(&statistics, twoSegments.data(), 2), 3);
    const auto threeSegments = Definition({Segment(5, 2), Segment(9, 3), Segment(20, 1)});
    EXPECT_EQ(StatFindMatchingKey(&statistics, threeSegments.data(), 3), 2);
    const auto single = Definition({Segment(1, 4)});
    EXPECT_EQ(StatFindMatchingKey(&statistics, single.data(), 1), 0);
    const auto absent = Definition({Segment(5, 2)});
    EXPECT_EQ(StatFindMatchingKey(&statistics, absent.data(), 1), -1);
    EXPECT_EQ(StatFindMatchingKey(nullptr, single.data(), 1), -1);
    EXPECT_EQ(StatFindMatchingKey(&statistics, nullptr, 1), -1);
}

TEST(KeyQueryStatistics, TwoSegmentDefinitionDoesNotMatchAThreeSegmentKeyWithTheSameStart) {
    const auto statistics = MakeStatistics({{0, {Segment(1, 4), Segment(5, 2), Segment(7, 1)}}});
    const auto definition = Definition({Segment(1, 4), Segment(5, 2)});
    EXPECT_EQ(StatFindMatchingKey(&statistics, definition.data(), 2), -1);
}

TEST(KeyQueryStatistics, MatchingStopsAtTheNumberOfKeys) {
    auto statistics = MakeStatistics({{0, {Segment(1, 4)}}, {1, {Segment(5, 2)}}});
    statistics.file.keyCount = 1;
    const auto definition = Definition({Segment(5, 2)});
    EXPECT_EQ(StatFindMatchingKey(&statistics, definition.data(), 1), -1);
}

TEST(KeyQueryExcluded, ExcludedNumbersAreFoundAndMayRepeat) {
    ExcludedKeyNumbers excluded;
    EXPECT_FALSE(IsExcludedKeyNumber(&excluded, 4));
    EXPECT_TRUE(AddExcludedKeyNumber(&excluded, 4));
    EXPECT_TRUE(AddExcludedKeyNumber(&excluded, 4));
    EXPECT_TRUE(AddExcludedKeyNumber(&excluded, -1));
    EXPECT_TRUE(IsExcludedKeyNumber(&excluded, 4));
    EXPECT_TRUE(IsExcludedKeyNumber(&excluded, -1));
    EXPECT_FALSE(IsExcludedKeyNumber(&excluded, 5));
    EXPECT_EQ(excluded, (ExcludedKeyNumbers{4, 4, -1}));
    EXPECT_FALSE(AddExcludedKeyNumber(nullptr, 1));
    EXPECT_FALSE(IsExcludedKeyNumber(nullptr, 1));
}

StatisticsBuffer KeysNumbered(const std::vector<int8_t>& numbers) {
    std::vector<KeyDef> keys;
    int16_t position = 1;
    for (int8_t number : numbers) keys.push_back({number, {Segment(position++, 1)}});
    return MakeStatistics(keys);
}

TEST(KeyQueryNextFree, FirstGapAfterTheKeysInUse) {
    ExcludedKeyNumbers none;
    auto gap = KeysNumbered({0, 1, 3});
    EXPECT_EQ(NextFreeKeyNumber(&none, &gap), 2);
    auto full = KeysNumbered({0, 1, 2});
    EXPECT_EQ(NextFreeKeyNumber(&none, &full), 3);
    auto empty = KeysNumbered({});
    EXPECT_EQ(NextFreeKeyNumber(&none, &empty), 0);
    ExcludedKeyNumbers zero{0};
    EXPECT_EQ(NextFreeKeyNumber(&zero, &empty), 1);
}

TEST(KeyQueryNextFree, ExcludedNumberDirectlyBelowAKeyInUseGivesANumberNobodyUses) {
    auto keys = KeysNumbered({0, 1, 3});
    ExcludedKeyNumbers two{2};
    EXPECT_EQ(NextFreeKeyNumber(&two, &keys), 4);
}

TEST(KeyQueryNextFree, TwoExcludedNumbersInARowAfterTheLastKeyAreBothPassed) {
    auto keys = KeysNumbered({0, 1});
    ExcludedKeyNumbers excluded{2, 3};
    EXPECT_EQ(NextFreeKeyNumber(&excluded, &keys), 4);
    ExcludedKeyNumbers reversed{3, 2};
    EXPECT_EQ(NextFreeKeyNumber(&reversed, &keys), 4);
}

TEST(KeyQueryNextFree, KeysListedOutOfOrderAndMultiSegmentKeys) {
    auto keys = MakeStatistics({{0, {Segment(1, 1), Segment(2, 1)}}, {3, {Segment(3, 1)}}, {1, {Segment(4, 1)}}});
    ExcludedKeyNumbers none;
    EXPECT_EQ(NextFreeKeyNumber(&none, &keys), 2);
    ExcludedKeyNumbers two{2};
    EXPECT_EQ(NextFreeKeyNumber(&two, &keys), 4);
    EXPECT_EQ(NextFreeKeyNumber(nullptr, &keys), 2);
    EXPECT_EQ(NextFreeKeyNumber(nullptr, nullptr), 0);
}

// The exports over statistics the fake hands out: keys 0 (one segment), 1 supplemental with
// the segments of key 2, 2 permanent.
class KeyExportTest : public FakeEngineTest {
protected:
    void SetUp() override {
        FakeEngineTest::SetUp();
        handle = Open(CreateNamesFile({"a"}));
        const auto statistics = MakeStatistics({{0, {Segment(1, 8)}},
                                                {1, {Segment(9, 2), Segment(11, 2)}, btr::kKeyFlagSupplemental},
                                                {2, {Segment(9, 2), Segment(11, 2)}},
                                                {3, {Segment(20, 4)}, btr::kKeyFlagSupplemental}});
        const std::string reply(reinterpret_cast<const char*>(&statistics), statistics.replyLength);
        fake->Script(btr::kOpStat, "*", 0, static_cast<uint32_t>(reply.size()), reply);
    }
    int16_t handle = 0;
};

TEST_F(KeyExportTest, PermanentKeySearchRefusesAFirstMatchThatIsSupplemental) {
    const auto shared = Definition({Segment(9, 2), Segment(11, 2)});
    EXPECT_EQ(DbFindKey(handle, shared.data()), 1);
    EXPECT_EQ(DbFindPermanentKey(handle, shared.data()), -1);
    const auto supplementalOnly = Definition({Segment(20, 4)});
    EXPECT_EQ(DbFindKey(handle, supplementalOnly.data()), 3);
    EXPECT_EQ(DbFindPermanentKey(handle, supplementalOnly.data()), -1);
    const auto permanent = Definition({Segment(1, 8)});
    EXPECT_EQ(DbFindKey(handle, permanent.data()), 0);
    EXPECT_EQ(DbFindPermanentKey(handle, permanent.data()), 0);
    const auto absent = Definition({Segment(1, 7)});
    EXPECT_EQ(DbFindKey(handle, absent.data()), -1);
    EXPECT_EQ(DbFindPermanentKey(handle, absent.data()), -1);
    EXPECT_EQ(DbFindKey(handle, nullptr), -1);
}

TEST_F(KeyExportTest, EachQueryMakesOneStatRequest) {
    fake->ClearLog();
    const auto definition = Definition({Segment(1, 8)});
    DbFindKey(handle, definition.data());
    DbFindPermanentKey(handle, definition.data());
    uint8_t statistics[TYDB_STATISTICS_SIZE];
    DbGetKeySpec(handle, statistics, 0);
    EXPECT_EQ(Operations(), (std::vector<int>{15, 15, 15}));
}

TEST_F(KeyExportTest, GetKeySpecPointsIntoTheCallersBuffer) {
    uint8_t statistics[TYDB_STATISTICS_SIZE];
    auto* spec = static_cast<uint8_t*>(DbGetKeySpec(handle, statistics, 2));
    ASSERT_NE(spec, nullptr);
    EXPECT_EQ(spec, statistics + 16 + 3 * 16);
    EXPECT_EQ(DbGetKeySpec(handle, statistics, 9), nullptr);
}

TEST_F(KeyExportTest, FailingStatOrUnopenedHandleFindsNothing) {
    const auto definition = Definition({Segment(1, 8)});
    uint8_t statistics[TYDB_STATISTICS_SIZE];
    EXPECT_EQ(DbFindKey(handle + 1, definition.data()), -1);
    EXPECT_EQ(DbFindPermanentKey(handle + 1, definition.data()), -1);
    EXPECT_EQ(DbGetKeySpec(handle + 1, statistics, 0), nullptr);
    fake->ClearScript();
    fake->Script(btr::kOpStat, "*", btr::kStatusFileNotOpen);
    EXPECT_EQ(DbFindKey(handle, definition.data()), -1);
    EXPECT_EQ(DbGetKeySpec(handle, statistics, 0), nullptr);
}

class KeyExportRealTest : public RealEngineTest {};

TEST_F(KeyExportRealTest, KeysOfARealFileAreFoundByTheirSegments) {
    const int16_t handle = Open(CreateNamesFile({"a", "b"}));
    const auto name = Definition({Segment(1, kNameLength)});
    const auto group = Definition({Segment(9, 4)});
    EXPECT_EQ(DbFindPermanentKey(handle, name.data()), 0);
    EXPECT_EQ(DbFindPermanentKey(handle, group.data()), 1);
    EXPECT_EQ(DbFindKey(handle, group.data()), 1);
    uint8_t statistics[TYDB_STATISTICS_SIZE];
    const auto* spec = static_cast<const BtrKeySpec*>(DbGetKeySpec(handle, statistics, 1));
    ASSERT_NE(spec, nullptr);
    EXPECT_EQ(+spec->position, 9);
    EXPECT_NE(spec->flags & btr::kKeyFlagDuplicates, 0);
    ExcludedKeyNumbers none;
    EXPECT_EQ(NextFreeKeyNumber(&none, reinterpret_cast<const StatisticsBuffer*>(statistics)), 2);
}

}  // namespace
