// Keys built and dropped while other processes insert, update and delete records: each write
// reaches exactly the keys the file has when it commits, so every key holds each record once and
// nothing else, and no writer is refused because a key came or went while it waited.
#include <gtest/gtest.h>

#include <memory>

#include "w3btrv7_test_util.h"

using namespace w3btest;
using testsupport::ChildProcess;
using testsupport::TempDir;

namespace {

constexpr uint32_t kRecords = 20000;
constexpr uint32_t kBase = 1000000;
constexpr int kRounds = 8;

std::string TaggedRecord(uint32_t id) { return Record(16, U32(id)).replace(12, 4, U32(id)); }

int16_t BuildTagKey(PositionBlock& pb) {
    BtrKeySpec tag = Segment(13, 4, btr::kKeyFlagModifiable, btr::kTypeUnsignedBinary);
    uint32_t length = sizeof tag;
    char key[255] = {};
    return Call(btr::kOpCreateIndex, pb, &tag, &length, key, 255, static_cast<int8_t>(1 | btr::kKeyNumberExact));
}

int16_t DropTagKey(PositionBlock& pb) {
    uint32_t length = 0;
    char key[255] = {};
    return Call(btr::kOpDropIndex, pb, key, &length, key, 255, static_cast<int8_t>(1 | btr::kKeyNumberExact));
}

}  // namespace

TEST(KeyRace, EveryKeyHoldsEachRecordOnceAfterBuildsAndDropsUnderWriters) {
    TempDir dir;
    std::string path = dir.File("RACE.DAT");
    Definition def(16, 1);
    def.segments.push_back(Segment(1, 4, btr::kKeyFlagModifiable, btr::kTypeUnsignedBinary));
    ASSERT_EQ(Create(path, def), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, path), 0);
    uint32_t none = 0;
    ASSERT_EQ(Call(btr::kOpBeginTransaction + btr::kBiasConcurrentTransaction, pb, nullptr, &none, nullptr, 0, 0), 0);
    for (uint32_t i = 0; i < kRecords; ++i) ASSERT_EQ(Insert(pb, TaggedRecord(kBase + i)), 0);
    ASSERT_EQ(Call(btr::kOpEndTransaction, pb, nullptr, &none, nullptr, 0, 0), 0);

    std::vector<std::unique_ptr<ChildProcess>> writers;
    for (const char* first : {"1", "1001"}) {
        writers.push_back(std::make_unique<ChildProcess>(testsupport::BuildPath("w3btrv7_churn"),
                                                         std::vector<std::string>{path, first, "600"}));
        ASSERT_TRUE(writers.back()->started());
    }
    for (int round = 0; round < kRounds; ++round) {
        ASSERT_EQ(BuildTagKey(pb), 0) << "round " << round;
        if (round + 1 < kRounds) {
            ASSERT_EQ(DropTagKey(pb), 0) << "round " << round;
        }
    }
    for (auto& writer : writers) EXPECT_EQ(writer->ReadLine(120000).value_or("no answer"), "done");

    std::string stat(1819, '\0');
    uint32_t length = static_cast<uint32_t>(stat.size());
    char key[255] = {};
    ASSERT_EQ(Call(btr::kOpStat, pb, stat.data(), &length, key, 255, 0), 0);
    BtrFileSpec file;
    std::memcpy(&file, stat.data(), sizeof file);
    ASSERT_EQ(file.keyCount, 2);
    for (int k = 0; k < 2; ++k) {
        BtrKeySpec segment;
        std::memcpy(&segment, stat.data() + sizeof file + k * sizeof segment, sizeof segment);
        uint32_t unique = segment.uniqueCount, records = file.recordCount;
        EXPECT_EQ(unique, records) << "key " << k;
    }
    // Every record is found through the built key.
    Read step = Get(btr::kOpStepFirst, pb, 0);
    uint32_t checked = 0;
    for (; step.status == 0; step = Get(btr::kOpStepNext, pb, 0), ++checked) {
        Read found = Get(btr::kOpGetEqual, pb, 1, step.record.substr(12, 4));
        ASSERT_EQ(found.status, 0) << "record " << checked;
        EXPECT_EQ(found.record, step.record);
    }
    EXPECT_EQ(step.status, btr::kStatusEndOfFile);
    uint32_t records = file.recordCount;
    EXPECT_EQ(checked, records);
}
