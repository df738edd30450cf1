// Get Direct/Chunk and Update Chunk through BTRCALL, on a file of variable-length records.
#include <gtest/gtest.h>

#include <vector>

#include "w3btrv7_test_util.h"

using namespace w3btest;
using testsupport::TempDir;

namespace {

constexpr uint32_t kRandom = 0x80000000;
constexpr uint32_t kRectangle = 0x80000002;
constexpr uint32_t kNextInRecord = 0x40000000;

// Id 1, sixteen letters (the fixed part, 20 bytes), then ten digits.
const std::string kRecord = U32(1) + "ABCDEFGHIJKLMNOP" + "0123456789";

struct Chunk {
    uint32_t offset;
    uint32_t length;
};

std::string RandomChunks(uint32_t signature, const std::vector<Chunk>& chunks) {
    std::string out = U32(signature) + U32(static_cast<uint32_t>(chunks.size()));
    for (const Chunk& c : chunks) out += U32(c.offset) + U32(c.length) + U32(0);
    return out;
}

std::string Rectangle(uint32_t rows, uint32_t first, uint32_t perRow, uint32_t distance) {
    return U32(kRectangle) + U32(rows) + U32(first) + U32(perRow) + U32(distance);
}

class Chunks : public ::testing::Test {
protected:
    void SetUp() override {
        Definition def(20, 1, btr::kFileFlagVariableLength);
        def.segments.push_back(Segment(1, 4, btr::kKeyFlagModifiable, btr::kTypeUnsignedBinary));
        ASSERT_EQ(Create(path_, def), 0);
        ASSERT_EQ(Open(pb_, path_), 0);
        ASSERT_EQ(Insert(pb_, kRecord), 0);
        position_ = Position(pb_);
    }

    // Get Direct/Chunk of record 1: the status and the bytes returned.
    std::pair<int16_t, std::string> GetChunk(const std::string& descriptor, uint32_t capacity = 64) {
        std::string data = U32(position_) + descriptor;
        data.resize(std::max<size_t>(data.size(), capacity));
        uint32_t length = capacity;
        char key[255] = {};
        int16_t status = Call(btr::kOpGetDirect, pb_, data.data(), &length, key, 255, btr::kKeyNumberChunk);
        return {status, status == 0 ? data.substr(0, length) : std::string()};
    }

    // Update Chunk of record 1, read first by Get Equal: the status and the record afterwards.
    std::pair<int16_t, std::string> UpdateChunk(const std::string& buffer) {
        EXPECT_EQ(Get(btr::kOpGetEqual, pb_, 0, U32(1)).status, 0);
        std::string data = buffer;
        uint32_t length = static_cast<uint32_t>(data.size());
        char key[255] = {};
        int16_t status = Call(btr::kOpUpdateChunk, pb_, data.data(), &length, key, 255, 0);
        std::string direct = U32(position_);
        direct.resize(100);
        length = 100;
        EXPECT_EQ(Call(btr::kOpGetDirect, pb_, direct.data(), &length, key, 255, 0), 0);
        return {status, direct.substr(0, length)};
    }

    TempDir dir_;
    std::string path_ = dir_.File("CHUNK.DAT");
    PositionBlock pb_;
    uint32_t position_ = 0;
};

}  // namespace

TEST_F(Chunks, GetDirectChunkReturnsThePiecesAsked) {
    struct Case {
        const char* name;
        std::string descriptor;
        uint32_t capacity;
        int16_t status;
        std::string bytes;
    };
    const Case cases[] = {
        {"two pieces", RandomChunks(kRandom, {{4, 3}, {20, 2}}), 64, 0, "ABC01"},
        {"rectangle", Rectangle(3, 4, 2, 5), 64, 0, "ABFGKL"},
        {"past the end", RandomChunks(kRandom, {{26, 10}}), 64, 0, "6789"},
        {"offset past the record", RandomChunks(kRandom, {{31, 1}}), 64, btr::kStatusChunkOffsetTooLong, ""},
        {"indirect", RandomChunks(kRandom + 1, {{4, 3}}), 64, btr::kStatusInvalidGetExpression, ""},
        {"more chunks than given", U32(kRandom) + U32(5) + U32(4) + U32(3), 64, btr::kStatusInvalidGetExpression, ""},
        {"more than the buffer", RandomChunks(kRandom, {{0, 30}}), 24, btr::kStatusDataLengthError, ""},
        {"no chunks", RandomChunks(kRandom, {}), 64, btr::kStatusInvalidGetExpression, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto [status, bytes] = GetChunk(c.descriptor, c.capacity);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(bytes, c.bytes);
    }
    EXPECT_EQ(GetChunk(RandomChunks(kRandom, {{4, 3}})).second, "ABC");
    EXPECT_EQ(GetChunk(RandomChunks(kRandom | kNextInRecord, {{0, 4}, {0, 2}})).second, "DEFGHI");
    std::string wrongAddress = U32(position_ + 7) + RandomChunks(kRandom, {{0, 4}});
    wrongAddress.resize(64);
    uint32_t length = 64;
    char key[255] = {};
    EXPECT_EQ(Call(btr::kOpGetDirect, pb_, wrongAddress.data(), &length, key, 255, btr::kKeyNumberChunk),
              btr::kStatusInvalidRecordAddress);
}

TEST_F(Chunks, UpdateChunkWritesThePiecesIntoTheCurrentRecord) {
    const std::string fixed = kRecord.substr(0, 20);
    struct Case {
        const char* name;
        std::string buffer;
        int16_t status;
        std::string record;
    };
    const Case cases[] = {
        {"one piece", RandomChunks(kRandom, {{4, 2}}) + "xy", 0, U32(1) + "xyCDEFGHIJKLMNOP0123456789"},
        {"rectangle", Rectangle(2, 20, 1, 2) + "ab", 0, fixed + "a1b3456789"},
        {"growing", RandomChunks(kRandom, {{28, 4}}) + "wxyz", 0, fixed + "01234567wxyz"},
        {"appended", RandomChunks(kRandom | 0x20000000, {{0, 2}}) + "++", 0, kRecord + "++"},
        {"truncated after", RandomChunks(kRandom | 0x00400000, {{20, 3}}) + "abc", 0, fixed + "abc"},
        {"truncate", U32(0x80000004) + U32(25), 0, fixed + "01234"},
        {"truncate into the fixed part", U32(0x80000004) + U32(10), btr::kStatusDataLengthError, kRecord},
        {"offset past the record", RandomChunks(kRandom, {{40, 1}}) + "z", btr::kStatusChunkOffsetTooLong, kRecord},
        {"bytes missing", RandomChunks(kRandom, {{4, 5}}) + "xy", btr::kStatusInvalidGetExpression, kRecord},
        {"the key", RandomChunks(kRandom, {{0, 4}}) + U32(99), 0, U32(99) + kRecord.substr(4)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto [status, record] = UpdateChunk(c.buffer);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(record, c.record);
        // The key follows the record: the id is found by its new value.
        uint32_t id;
        std::memcpy(&id, record.data(), 4);
        EXPECT_EQ(Get(btr::kOpGetEqual, pb_, 0, U32(id)).status, 0);
        // Back to the record as it was for the next case.
        std::string original = kRecord;
        uint32_t length = static_cast<uint32_t>(original.size());
        char key[255] = {};
        ASSERT_EQ(Call(btr::kOpUpdate, pb_, original.data(), &length, key, 255, 0), 0);
    }
}

TEST_F(Chunks, UpdateChunkWithoutACurrentRecordAnswers8) {
    std::string buffer = RandomChunks(kRandom, {{4, 2}}) + "xy";
    uint32_t length = static_cast<uint32_t>(buffer.size());
    char key[255] = {};
    ASSERT_EQ(Close(pb_), 0);
    ASSERT_EQ(Open(pb_, path_), 0);
    EXPECT_EQ(Call(btr::kOpUpdateChunk, pb_, buffer.data(), &length, key, 255, 0), btr::kStatusInvalidPositioning);
}
