// Get and Step Next/Previous Extended through BTRCALL: filters, extractors, where examination
// starts and ends, and descriptors that lie about their sizes.
#include <gtest/gtest.h>

#include <vector>

#include "w3btrv7_test_util.h"

using namespace w3btest;
using testsupport::TempDir;

namespace {

// Records of 20 bytes: id (u32, key 0), a name (10 bytes), an amount (i16) = id * 10 - 50, and
// a bound (u32) of 5 for comparing one field with another.
constexpr uint32_t kLength = 20;
constexpr int kRecords = 10;

std::string Row(uint32_t id) {
    std::string name = (id % 2 == 1 ? "ALPHA" : "alpha");
    name.resize(10, ' ');
    return U32(id) + name + U16(static_cast<uint16_t>(static_cast<int16_t>(id * 10 - 50))) + U32(5);
}

const std::vector<std::pair<uint16_t, uint16_t>> kIdOnly = {{4, 0}};

struct Result {
    int16_t status = -1;
    std::vector<uint32_t> ids;
    std::vector<uint32_t> positions;
};

Result Extended(PositionBlock& pb, uint16_t op, const std::string& descriptor, uint32_t capacity = 4096) {
    std::string data(std::max<size_t>(capacity, descriptor.size()), '\0');
    std::memcpy(data.data(), descriptor.data(), descriptor.size());
    char key[255] = {};
    uint32_t length = capacity;
    Result r;
    r.status = Call(op, pb, data.data(), &length, key, 255, 0);
    if (r.status != 0 && r.status != btr::kStatusEndOfFile && r.status != btr::kStatusRejectCountReached) return r;
    uint16_t count;
    std::memcpy(&count, data.data(), 2);
    size_t at = 2;
    for (uint16_t i = 0; i < count; ++i) {
        uint16_t size;
        uint32_t position, id;
        std::memcpy(&size, data.data() + at, 2);
        std::memcpy(&position, data.data() + at + 2, 4);
        std::memcpy(&id, data.data() + at + 6, 4);
        EXPECT_EQ(size, 4);
        r.ids.push_back(id);
        r.positions.push_back(position);
        at += 6 + size;
    }
    EXPECT_EQ(length, at);
    return r;
}

class ExtendedReads : public ::testing::Test {
protected:
    void SetUp() override {
        Definition def(kLength, 2);
        def.segments.push_back(Segment(1, 4, 0, btr::kTypeUnsignedBinary));
        def.segments.push_back(Segment(5, 10, btr::kKeyFlagDuplicates));
        ASSERT_EQ(Create(path_, def), 0);
        ASSERT_EQ(Open(pb_, path_), 0);
        for (uint32_t id = 1; id <= kRecords; ++id) ASSERT_EQ(Insert(pb_, Row(id)), 0);
    }

    TempDir dir_;
    std::string path_ = dir_.File("EXT.DAT");
    PositionBlock pb_;
};

std::string I16(int16_t v) { return U16(static_cast<uint16_t>(v)); }
std::string Name(const char* text) {
    std::string name = text;
    name.resize(10, ' ');
    return name;
}

}  // namespace

// Each case starts on the first record (the last for the backward forms); `next` is the id a
// plain Get Next / Step Next (Previous) reaches afterwards, 0 for the end.
TEST_F(ExtendedReads, FiltersAndStartsAsTheDescriptorSays) {
    constexpr uint8_t kUnsigned = btr::kTypeUnsignedBinary, kInt = btr::kTypeInteger, kString = btr::kTypeString;
    struct Case {
        const char* name;
        uint16_t op;
        const char* start;
        uint16_t rejects;
        std::vector<Term> terms;
        uint16_t wanted;
        int16_t status;
        std::vector<uint32_t> ids;
        uint32_t next;
    };
    const Case cases[] = {
        {"no filter", 36, "EG", 0, {}, 3, 0, {2, 3, 4}, 5},
        {"with the current", 36, "UC", 0, {}, 3, 0, {1, 2, 3}, 4},
        {"signed amount", 36, "EG", 0, {{kInt, 2, 14, 2, I16(0)}}, 10, 9, {6, 7, 8, 9, 10}, 0},
        {"and", 36, "EG", 0, {{kUnsigned, 4, 0, 5, U32(3), 1}, {kUnsigned, 4, 0, 6, U32(5)}}, 10, 9, {3, 4, 5}, 0},
        {"or", 38, "EG", 0, {{kUnsigned, 4, 0, 1, U32(2), 2}, {kUnsigned, 4, 0, 1, U32(9)}}, 10, 9, {2, 9}, 0},
        // (id 1 or id 2) and amount > -35; with AND first it would take id 1 too.
        {"left to right",
         38,
         "UC",
         0,
         {{kUnsigned, 4, 0, 1, U32(1), 2}, {kUnsigned, 4, 0, 1, U32(2), 1}, {kInt, 2, 14, 2, I16(-35)}},
         10,
         9,
         {2},
         0},
        {"reject count", 36, "EG", 2, {{kUnsigned, 4, 0, 5, U32(5)}}, 10, 60, {}, 4},
        {"field with field", 38, "EG", 0, {{kUnsigned, 4, 0, 2 + 32, U16(16)}}, 2, 0, {6, 7}, 8},
        {"case-blind", 36, "UC", 0, {{kString, 10, 4, 1 + 64, Name("Alpha")}}, 3, 0, {1, 2, 3}, 4},
        {"case kept", 36, "UC", 0, {{kString, 10, 4, 1, Name("alpha")}}, 3, 0, {2, 4, 6}, 7},
        {"backward on the key", 37, "EG", 0, {}, 2, 0, {9, 8}, 7},
        {"backward in record order", 39, "UC", 0, {{kInt, 2, 14, 3, I16(30)}}, 2, 0, {7, 6}, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool backward = c.op == 37 || c.op == 39;
        bool onKey = c.op == 36 || c.op == 37;
        uint16_t first =
            onKey ? (backward ? btr::kOpGetLast : btr::kOpGetFirst) : (backward ? btr::kOpStepLast : btr::kOpStepFirst);
        ASSERT_EQ(Get(first, pb_, 0).status, 0);
        Result r = Extended(pb_, c.op, Descriptor(c.start, c.rejects, c.terms, c.wanted, kIdOnly));
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.ids, c.ids);
        uint16_t next = onKey ? (backward ? btr::kOpGetPrevious : btr::kOpGetNext)
                              : (backward ? btr::kOpStepPrevious : btr::kOpStepNext);
        Read after = Get(next, pb_, 0);
        uint32_t id = 0;
        if (after.status == 0) std::memcpy(&id, after.record.data(), 4);
        EXPECT_EQ(id, c.next);
    }
}

TEST_F(ExtendedReads, EachRecordComesWithThePositionGetPositionGives) {
    ASSERT_EQ(Get(btr::kOpGetFirst, pb_, 0).status, 0);
    Result r = Extended(pb_, 36, Descriptor("EG", 0, {}, 2, kIdOnly));
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.positions.back(), Position(pb_));
}

// A descriptor is the caller's word only: every size in it is checked before it is used.
TEST_F(ExtendedReads, DescriptorsThatDoNotAddUpAreRefused) {
    const std::string good = Descriptor("EG", 0, {}, 2, kIdOnly);
    std::string tooLong = good;
    tooLong[0] = static_cast<char>(good.size() + 1);
    std::string moreTerms = Descriptor("EG", 0, {{14, 4, 0, 1, U32(1)}}, 2, kIdOnly);
    moreTerms[6] = 9;  // nine terms said, one there
    struct Case {
        const char* name;
        std::string descriptor;
        uint32_t capacity;
        int16_t status;
    };
    const Case cases[] = {
        {"longer than the buffer", good, static_cast<uint32_t>(good.size() - 1), 62},
        {"longer than it is", tooLong, static_cast<uint32_t>(good.size()), 62},
        {"shorter than a header", U16(2) + "EG", 4, 62},
        {"unknown start", Descriptor("XX", 0, {}, 2, kIdOnly), 4096, 62},
        {"more terms than given", moreTerms, 4096, 62},
        {"term past the record", Descriptor("EG", 0, {{14, 4, 18, 1, U32(1)}}, 2, kIdOnly), 4096, 65},
        {"other field past the record", Descriptor("EG", 0, {{14, 4, 0, 33, U16(17)}}, 2, kIdOnly), 4096, 65},
        {"unknown type", Descriptor("EG", 0, {{12, 4, 0, 1, U32(1)}}, 2, kIdOnly), 4096, 62},
        {"length wrong for the type", Descriptor("EG", 0, {{2, 3, 0, 1, "abc"}}, 2, kIdOnly), 4096, 62},
        {"unknown comparison", Descriptor("EG", 0, {{14, 4, 0, 7, U32(1)}}, 2, kIdOnly), 4096, 62},
        {"last term joins another", Descriptor("EG", 0, {{14, 4, 0, 1, U32(1), 1}}, 2, kIdOnly), 4096, 62},
        {"ACS without one", Descriptor("EG", 0, {{0, 4, 4, 1 + 128, "abcd"}}, 2, kIdOnly), 4096, 62},
        {"no records asked for", Descriptor("EG", 0, {}, 0, kIdOnly), 4096, 62},
        {"no fields", Descriptor("EG", 0, {}, 2, {}), 4096, 65},
        {"empty field", Descriptor("EG", 0, {}, 2, {{0, 4}}), 4096, 65},
        {"field past the record", Descriptor("EG", 0, {}, 2, {{4, 17}}), 4096, 65},
        {"result larger than the buffer", Descriptor("EG", 0, {}, 1000, kIdOnly), 200, 61},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(Get(btr::kOpGetFirst, pb_, 0).status, 0);
        EXPECT_EQ(Extended(pb_, 36, c.descriptor, c.capacity).status, c.status);
        // Nothing moved: the block is still on the first record.
        EXPECT_EQ(Get(btr::kOpGetNext, pb_, 0).record, Row(2));
    }
}

namespace {

std::string InsertBuffer(const std::vector<std::string>& records, uint16_t count) {
    std::string buffer = U16(count);
    for (const std::string& r : records) buffer += U16(static_cast<uint16_t>(r.size())) + r;
    return buffer;
}

size_t RecordsIn(PositionBlock& pb) {
    size_t count = 0;
    for (Read r = Get(btr::kOpStepFirst, pb, 0); r.status == 0; r = Get(btr::kOpStepNext, pb, 0)) ++count;
    return count;
}

}  // namespace

// The records before a refused one stay, listed with their positions; the refused one and those
// after it are not written.
TEST_F(ExtendedReads, InsertExtendedKeepsTheRecordsBeforeTheFirstRefusedOne) {
    struct Case {
        const char* name;
        std::vector<std::string> records;
        uint16_t count;
        int16_t status;
        size_t inserted;
    };
    const Case cases[] = {
        {"all", {Row(11), Row(12), Row(13)}, 3, 0, 3},
        {"duplicate third", {Row(11), Row(12), Row(1), Row(14)}, 4, btr::kStatusDuplicateKey, 2},
        {"short second", {Row(11), Row(12).substr(0, 19), Row(13)}, 3, btr::kStatusDataLengthError, 1},
        {"fewer than counted", {Row(11), Row(12)}, 3, btr::kStatusInvalidInsertExtendedBuffer, 0},
        {"none counted", {}, 0, btr::kStatusInvalidInsertExtendedBuffer, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string buffer = InsertBuffer(c.records, c.count);
        uint32_t length = static_cast<uint32_t>(buffer.size());
        char key[255] = {};
        int16_t status = Call(btr::kOpInsertExtended, pb_, buffer.data(), &length, key, 255, 0);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(RecordsIn(pb_), kRecords + c.inserted);
        if (c.inserted > 0) {
            ASSERT_EQ(length, 2 + 4 * c.inserted);
            EXPECT_EQ(static_cast<uint8_t>(buffer[0]), c.inserted);
            for (size_t i = 0; i < c.inserted; ++i) {
                std::string direct = buffer.substr(2 + 4 * i, 4) + std::string(kLength - 4, '\0');
                uint32_t directLength = kLength;
                ASSERT_EQ(Call(btr::kOpGetDirect, pb_, direct.data(), &directLength, key, 255, 0), 0);
                EXPECT_EQ(direct, c.records[i]);
            }
        }
        // Back to the ten records for the next case.
        for (uint32_t id = 11; id <= 14; ++id) {
            if (Get(btr::kOpGetEqual, pb_, 0, U32(id)).status == 0) {
                ASSERT_EQ(Call(btr::kOpDelete, pb_, nullptr, &length, key, 255, 0), 0);
            }
        }
    }
}

TEST_F(ExtendedReads, InsertExtendedInsideATransactionGoesWithItsAbort) {
    uint32_t length = 0;
    ASSERT_EQ(Call(btr::kOpBeginTransaction, pb_, nullptr, &length, nullptr, 0, 0), 0);
    std::string buffer = InsertBuffer({Row(11), Row(12)}, 2);
    length = static_cast<uint32_t>(buffer.size());
    char key[255] = {};
    ASSERT_EQ(Call(btr::kOpInsertExtended, pb_, buffer.data(), &length, key, 255, 0), 0);
    ASSERT_EQ(Call(btr::kOpAbortTransaction, pb_, nullptr, &length, nullptr, 0, 0), 0);
    EXPECT_EQ(RecordsIn(pb_), kRecords);
}
