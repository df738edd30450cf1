// Create and Drop Supplemental Index, Get By Percentage, Find Percentage, Unlock and the trace.
#include <gtest/gtest.h>

#include <fstream>

#include "w3btrv7_test_util.h"

using namespace w3btest;
using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace {

class FileWithRecords : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.File("IDX.DAT");
        Definition def(12, 1);
        def.segments.push_back(Segment(1, 4, 0, btr::kTypeUnsignedBinary));
        ASSERT_EQ(Create(path_, def), 0);
        ASSERT_EQ(Open(pb_, path_), 0);
        // ids 1..count, names in reverse order
        for (uint32_t id = 1; id <= kCount; ++id) {
            std::string r(12, ' ');
            std::memcpy(r.data(), &id, 4);
            std::string name = "n" + std::to_string(1000 - id);
            std::memcpy(r.data() + 4, name.data(), name.size());
            ASSERT_EQ(Insert(pb_, r), 0);
        }
    }
    static uint32_t Id(const Read& r) {
        uint32_t v = 0;
        if (r.record.size() >= 4) std::memcpy(&v, r.record.data(), 4);
        return v;
    }
    int16_t CreateIndex(std::vector<BtrKeySpec> segments, int8_t keyNumber) {
        std::string data;
        for (const BtrKeySpec& s : segments) data.append(reinterpret_cast<const char*>(&s), sizeof s);
        uint32_t length = static_cast<uint32_t>(data.size());
        char key[255] = {};
        return Call(btr::kOpCreateIndex, pb_, data.data(), &length, key, 255, keyNumber);
    }
    int16_t DropIndex(int8_t keyNumber) {
        char scratch[255] = {};
        uint32_t length = 0;
        return Call(btr::kOpDropIndex, pb_, scratch, &length, scratch, 255, keyNumber);
    }
    std::string StatBytes() {
        std::string data(1819, '\0');
        uint32_t length = 1819;
        char key[255];
        EXPECT_EQ(Call(btr::kOpStat, pb_, data.data(), &length, key, 255, -1), 0);
        return data.substr(0, length);
    }

    static constexpr uint32_t kCount = 101;
    TempDir dir_;
    std::string path_;
    PositionBlock pb_;
};

BtrKeySpec NameSegment(uint16_t extra = 0) {
    return Segment(5, 8, btr::kKeyFlagDuplicates | btr::kKeyFlagModifiable | btr::kKeyFlagSupplemental | extra);
}

}  // namespace

TEST_F(FileWithRecords, CreateIndexWithExactNumberIsBuiltOverExistingRecordsAndEchoedByStat) {
    ASSERT_EQ(CreateIndex({NameSegment()}, static_cast<int8_t>(0x80 | 5)), 0);
    Read first = Get(btr::kOpGetFirst, pb_, 5);
    ASSERT_EQ(first.status, 0);
    EXPECT_EQ(Id(first), kCount);  // the smallest name belongs to the highest id
    EXPECT_EQ(Get(btr::kOpGetFirst, pb_, 1).status, btr::kStatusInvalidKeyNumber);
    std::string stat = StatBytes();
    ASSERT_EQ(stat.size(), 48u);
    EXPECT_EQ(stat[4], 2);
    BtrKeySpec added;
    std::memcpy(&added, stat.data() + 32, 16);
    EXPECT_EQ(+added.keyNumber, 5);
    EXPECT_EQ(+added.flags, +NameSegment().flags);
    EXPECT_EQ(+added.uniqueCount, kCount);
    // The number is taken now.
    EXPECT_EQ(CreateIndex({NameSegment()}, static_cast<int8_t>(0x80 | 5)), btr::kStatusInvalidKeyNumber);
    // Without 0x80 the lowest free number is chosen.
    ASSERT_EQ(CreateIndex({NameSegment()}, 0), 0);
    EXPECT_EQ(Id(Get(btr::kOpGetLast, pb_, 1)), 1u);
}

TEST_F(FileWithRecords, CreateIndexRefusesBadDefinitionsAndDuplicateValues) {
    EXPECT_EQ(CreateIndex({Segment(10, 8, 0)}, 0), btr::kStatusInvalidKeyPosition);
    EXPECT_EQ(CreateIndex({Segment(5, 0, 0)}, 0), btr::kStatusInvalidKeyLength);
    EXPECT_EQ(CreateIndex({Segment(5, 8, btr::kKeyFlagAlternateSequence)}, 0), btr::kStatusInvalidAcs);
    // A unique key over a value every record shares cannot be built.
    EXPECT_EQ(CreateIndex({Segment(11, 2, 0)}, 0), btr::kStatusDuplicateKey);
    EXPECT_EQ(StatBytes().size(), 32u);
    std::string half(8, '\0');
    uint32_t length = 8;
    char key[255] = {};
    EXPECT_EQ(Call(btr::kOpCreateIndex, pb_, half.data(), &length, key, 255, 0), btr::kStatusDataLengthError);
}

TEST_F(FileWithRecords, DropIndexRenumbersUnlessAskedToKeepNumbers) {
    ASSERT_EQ(CreateIndex({NameSegment()}, 0), 0);                                                     // key 1
    ASSERT_EQ(CreateIndex({Segment(1, 4, btr::kKeyFlagDuplicates, btr::kTypeUnsignedBinary)}, 0), 0);  // key 2
    ASSERT_EQ(Get(btr::kOpGetFirst, pb_, 2).status, 0);
    ASSERT_EQ(DropIndex(1), 0);
    // Key 2 became key 1, and the block that stood on it moved with it.
    EXPECT_EQ(Id(Get(btr::kOpGetNext, pb_, 1)), 2u);
    EXPECT_EQ(Get(btr::kOpGetFirst, pb_, 2).status, btr::kStatusInvalidKeyNumber);
    ASSERT_EQ(DropIndex(static_cast<int8_t>(0x80 | 0)), 0);
    EXPECT_EQ(Get(btr::kOpGetFirst, pb_, 0).status, btr::kStatusInvalidKeyNumber);
    EXPECT_EQ(Id(Get(btr::kOpGetFirst, pb_, 1)), 1u);
    EXPECT_EQ(DropIndex(0), btr::kStatusInvalidKeyNumber);
}

TEST_F(FileWithRecords, IndexBuiltThroughAnotherBlockIsUsableAtOnce) {
    PositionBlock other;
    ASSERT_EQ(Open(other, path_), 0);
    ASSERT_EQ(CreateIndex({NameSegment()}, static_cast<int8_t>(0x80 | 3)), 0);
    EXPECT_EQ(Id(Get(btr::kOpGetFirst, other, 3)), kCount);
}

TEST_F(FileWithRecords, GetByPercentageReadsTheRecordAtThatFraction) {
    std::string data = U16(0) + std::string(30, '\0');
    auto at = [&](uint16_t percent, int8_t key) {
        std::string d = U16(percent) + std::string(30, '\0');
        uint32_t length = static_cast<uint32_t>(d.size());
        char keyBuffer[255] = {};
        int16_t status = Call(btr::kOpGetByPercentage, pb_, d.data(), &length, keyBuffer, 255, key);
        uint32_t id = 0;
        std::memcpy(&id, d.data(), 4);
        return status == 0 ? id : 1000000u + static_cast<uint32_t>(status);
    };
    EXPECT_EQ(at(0, 0), 1u);
    EXPECT_EQ(at(5000, 0), 51u);
    EXPECT_EQ(at(10000, 0), kCount);
    EXPECT_EQ(at(10000, -1), kCount);
    EXPECT_EQ(at(2500, -1), 26u);
    EXPECT_EQ(at(10001, 0), 1000000u + btr::kStatusInvalidOperation);
    EXPECT_EQ(at(5000, 7), 1000000u + btr::kStatusInvalidKeyNumber);
    // Currency is set on the record read.
    at(5000, 0);
    EXPECT_EQ(Id(Get(btr::kOpGetNext, pb_, 0)), 52u);
}

TEST_F(FileWithRecords, FindPercentageGivesTheRankOfAValueOrAPosition) {
    auto find = [&](const std::string& keyValue, const std::string& position, int8_t key, int16_t* status) {
        std::string d = position + std::string(8, '\x77');
        uint32_t length = 4;
        std::string k = keyValue + std::string(255 - keyValue.size(), '\0');
        *status = Call(btr::kOpFindPercentage, pb_, d.data(), &length, k.data(), 255, key);
        if (*status == 0) {
            EXPECT_EQ(d.substr(2, 2), std::string(2, '\0'));
        }
        uint16_t p;
        std::memcpy(&p, d.data(), 2);
        return p;
    };
    int16_t status;
    EXPECT_EQ(find(U32(1), U32(0), 0, &status), 0);
    EXPECT_EQ(find(U32(51), U32(0), 0, &status), 5000);
    EXPECT_EQ(find(U32(101), U32(0), 0, &status), 10000);
    find(U32(500), U32(0), 0, &status);
    EXPECT_EQ(status, btr::kStatusKeyNotFound);
    ASSERT_EQ(Get(btr::kOpGetEqual, pb_, 0, U32(76)).status, 0);
    uint32_t position = Position(pb_);
    EXPECT_EQ(find("", U32(position), -1, &status), 7500);
    find("", U32(999999), -1, &status);
    EXPECT_EQ(status, btr::kStatusInvalidRecordAddress);
}

TEST_F(FileWithRecords, UnlockWithoutLocksFollowsItsKeyNumber) {
    uint8_t data[4] = {1, 0, 0, 0};
    uint32_t length = 4;
    EXPECT_EQ(Call(btr::kOpUnlock, pb_, data, &length, data, 4, 0), 0);
    EXPECT_EQ(Call(btr::kOpUnlock, pb_, data, &length, data, 4, -2), 0);
    EXPECT_EQ(Call(btr::kOpUnlock, pb_, data, &length, data, 4, -1), btr::kStatusLockError);
    length = 2;
    EXPECT_EQ(Call(btr::kOpUnlock, pb_, data, &length, data, 4, -1), btr::kStatusDataLengthError);
    EXPECT_EQ(Call(btr::kOpUnlock, pb_, data, &length, data, 4, 3), btr::kStatusInvalidKeyNumber);
}

TEST(CallTrace, EveryCallAppendsOneLine) {
    TempDir dir;
    std::string trace = dir.File("trace.log");
    ScopedEnv env("W3BTRV7_TRACE", trace);
    PositionBlock pb;
    uint8_t data[15];
    uint32_t length = 0;
    // The setting is read again after a Stop.
    ASSERT_EQ(Call(btr::kOpStop, pb, nullptr, &length, nullptr, 0, 0), 0);
    size_t before = testsupport::ReadFileBytes(trace).value_or(std::string()).size();
    length = 15;
    ASSERT_EQ(Call(btr::kOpVersion, pb, data, &length, nullptr, 0, 0), 0);
    EXPECT_EQ(Get(btr::kOpGetFirst, pb, 2).status, btr::kStatusFileNotOpen);
    std::ifstream in(trace);
    in.seekg(static_cast<std::streamoff>(before));
    std::string first, second, third;
    ASSERT_TRUE(std::getline(in, first));
    ASSERT_TRUE(std::getline(in, second));
    EXPECT_FALSE(std::getline(in, third));
    EXPECT_EQ(first.rfind("op=26 key=0 in=15 out=15 status=0 us=", 0), 0u) << first;
    EXPECT_EQ(second.rfind("op=12 key=2 in=1024 out=1024 status=3 us=", 0), 0u) << second;
}
