// Insert, Update and Delete: statuses, autoincrement, null keys and record lengths.
#include <gtest/gtest.h>

#include "w3btrv7_admin.h"
#include "w3btrv7_test_util.h"

using namespace w3btest;
using testsupport::TempDir;

namespace {

std::string Rec(uint32_t id, const std::string& name, size_t length = 12) {
    std::string r(length, ' ');
    std::memcpy(r.data(), &id, 4);
    std::memcpy(r.data() + 4, name.data(), std::min<size_t>(name.size(), 8));
    return r;
}

int16_t Update(PositionBlock& pb, std::string record, int8_t key = 0) {
    uint32_t length = static_cast<uint32_t>(record.size());
    char keyBuffer[255] = {};
    return Call(btr::kOpUpdate, pb, record.data(), &length, keyBuffer, 255, key);
}

int16_t Delete(PositionBlock& pb) {
    uint32_t length = 0;
    char keyBuffer[255] = {};
    return Call(btr::kOpDelete, pb, nullptr, &length, keyBuffer, 255, 0);
}

}  // namespace

TEST(RecordWrites, DuplicateValueInAUniqueKeyGives5AndStoresNothing) {
    TempDir dir;
    Definition def(12, 1);
    def.segments.push_back(Segment(1, 4, 0, btr::kTypeUnsignedBinary));
    ASSERT_EQ(Create(dir.File("U.DAT"), def), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, dir.File("U.DAT")), 0);
    ASSERT_EQ(Insert(pb, Rec(1, "one")), 0);
    EXPECT_EQ(Insert(pb, Rec(1, "again")), btr::kStatusDuplicateKey);
    ASSERT_EQ(Insert(pb, Rec(2, "two")), 0);
    EXPECT_EQ(Get(btr::kOpGetFirst, pb, 0).record, Rec(1, "one"));
    EXPECT_EQ(Get(btr::kOpGetNext, pb, 0).record, Rec(2, "two"));
    EXPECT_EQ(Get(btr::kOpGetNext, pb, 0).status, btr::kStatusEndOfFile);
    // Update into an existing value: 5, the record keeps its old value.
    ASSERT_EQ(Get(btr::kOpGetFirst, pb, 0).status, 0);
    EXPECT_EQ(Update(pb, Rec(2, "one")), btr::kStatusModifiableKeyError);
}

TEST(RecordWrites, UnmodifiableKeyGives10AndModifiableCollisionGives5) {
    TempDir dir;
    Definition def(12, 2);
    def.segments.push_back(Segment(1, 4, 0, btr::kTypeUnsignedBinary));
    def.segments.push_back(Segment(5, 8, btr::kKeyFlagModifiable));
    ASSERT_EQ(Create(dir.File("M.DAT"), def), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, dir.File("M.DAT")), 0);
    ASSERT_EQ(Insert(pb, Rec(1, "alpha")), 0);
    ASSERT_EQ(Insert(pb, Rec(2, "beta")), 0);
    EXPECT_EQ(Update(pb, Rec(3, "beta")), btr::kStatusModifiableKeyError);
    EXPECT_EQ(Update(pb, Rec(2, "alpha")), btr::kStatusDuplicateKey);
    ASSERT_EQ(Update(pb, Rec(2, "gamma")), 0);
    Read r = Get(btr::kOpGetEqual, pb, 1, "gamma   ");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Get(btr::kOpGetEqual, pb, 1, "beta    ").status, btr::kStatusKeyNotFound);
}

// A key change that may not be made is refused for the record as the block read it; when another
// block has deleted (8) or changed (80) that record since, the update answers that instead, on a
// store that answers the record's write at once and on one that sends it ahead alike.
TEST(RecordWrites, AnUnmodifiableKeyChangeOfARecordAnotherBlockWroteSinceAnswersForTheRecord) {
    struct Row {
        bool deleteIt;
        int16_t expected;
    };
    for (Row row : {Row{true, btr::kStatusInvalidPositioning}, Row{false, btr::kStatusConflict}}) {
        TempDir dir;
        Definition def(12, 1);
        def.segments.push_back(Segment(1, 4, 0, btr::kTypeUnsignedBinary));
        ASSERT_EQ(Create(dir.File("K.DAT"), def), 0);
        PositionBlock reader, writer;
        ASSERT_EQ(Open(reader, dir.File("K.DAT")), 0);
        ASSERT_EQ(Open(writer, dir.File("K.DAT")), 0);
        ASSERT_EQ(Insert(reader, Rec(1, "one")), 0);
        ASSERT_EQ(Get(btr::kOpGetFirst, writer, 0).status, 0);
        ASSERT_EQ(row.deleteIt ? Delete(writer) : Update(writer, Rec(1, "changed")), 0);
        EXPECT_EQ(Update(reader, Rec(2, "one")), row.expected) << (row.deleteIt ? "deleted" : "changed");
    }
}

TEST(RecordWrites, AWriteRefusedOnItsLastKeyLeavesNeitherItsRecordNorItsEarlierEntries) {
    TempDir dir;
    Definition def(12, 2);
    def.segments.push_back(Segment(1, 4, 0, btr::kTypeUnsignedBinary));
    def.segments.push_back(Segment(5, 8, btr::kKeyFlagModifiable));
    ASSERT_EQ(Create(dir.File("R.DAT"), def), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, dir.File("R.DAT")), 0);
    ASSERT_EQ(Insert(pb, Rec(1, "alpha")), 0);
    ASSERT_EQ(Insert(pb, Rec(2, "beta")), 0);
    EXPECT_EQ(Insert(pb, Rec(3, "alpha")), btr::kStatusDuplicateKey);
    ASSERT_EQ(Get(btr::kOpGetFirst, pb, 0).status, 0);
    EXPECT_EQ(Update(pb, Rec(1, "beta")), btr::kStatusDuplicateKey);
    EXPECT_EQ(Get(btr::kOpStepLast, pb, 0).record, Rec(2, "beta"));
    EXPECT_EQ(Get(btr::kOpGetLast, pb, 0).record, Rec(2, "beta"));
    EXPECT_EQ(Get(btr::kOpGetFirst, pb, 0).record, Rec(1, "alpha"));
}

TEST(RecordWrites, FixedLengthMustMatchExactly) {
    TempDir dir;
    Definition def(12, 1);
    def.segments.push_back(Segment(1, 4, 0, btr::kTypeUnsignedBinary));
    ASSERT_EQ(Create(dir.File("F.DAT"), def), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, dir.File("F.DAT")), 0);
    EXPECT_EQ(Insert(pb, Rec(1, "short", 11)), btr::kStatusDataLengthError);
    EXPECT_EQ(Insert(pb, Rec(1, "long", 13)), btr::kStatusDataLengthError);
    EXPECT_EQ(Insert(pb, Rec(1, "x")), 0);
    EXPECT_EQ(Update(pb, Rec(1, "y", 20)), btr::kStatusDataLengthError);
    EXPECT_EQ(Get(btr::kOpGetFirst, pb, 0).record, Rec(1, "x"));
}

TEST(RecordWrites, VariableLengthRecordsKeepTheirLengthAndBlankTruncationDropsTrailingBlanks) {
    TempDir dir;
    Definition def(8, 1, btr::kFileFlagVariableLength | btr::kFileFlagBlankTruncation);
    def.segments.push_back(Segment(1, 4, 0, btr::kTypeUnsignedBinary));
    ASSERT_EQ(Create(dir.File("V.DAT"), def), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, dir.File("V.DAT")), 0);
    EXPECT_EQ(Insert(pb, Rec(1, "abc", 7)), btr::kStatusDataLengthError);
    std::string longRecord = Rec(1, "abcd", 8) + std::string(3000, 'v') + "   ";
    ASSERT_EQ(Insert(pb, longRecord), 0);
    Read r = Get(btr::kOpGetFirst, pb, 0, std::string(), 4000);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.length, 3008u);
    EXPECT_EQ(r.record, longRecord.substr(0, 3008));
    EXPECT_EQ(Get(btr::kOpGetFirst, pb, 0, std::string(), 100).status, btr::kStatusDataLengthError);
}

TEST(RecordWrites, AutoincrementAssignsHighestPlusOneAndReturnsTheRecord) {
    TempDir dir;
    Definition def(12, 1);
    def.segments.push_back(Segment(1, 4, 0, btr::kTypeAutoincrement));
    ASSERT_EQ(Create(dir.File("A.DAT"), def), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, dir.File("A.DAT")), 0);
    std::string r = Rec(0, "first");
    uint32_t length = 12;
    char key[255] = {};
    ASSERT_EQ(Call(btr::kOpInsert, pb, r.data(), &length, key, 255, 0), 0);
    uint32_t id;
    std::memcpy(&id, r.data(), 4);
    EXPECT_EQ(id, 1u);
    EXPECT_EQ(std::string(key, 4), U32(1));
    ASSERT_EQ(Insert(pb, Rec(100, "given")), 0);
    r = Rec(0, "next");
    ASSERT_EQ(Call(btr::kOpInsert, pb, r.data(), &length, key, 255, 0), 0);
    std::memcpy(&id, r.data(), 4);
    EXPECT_EQ(id, 101u);
    EXPECT_EQ(Insert(pb, Rec(100, "dup")), btr::kStatusDuplicateKey);
}

TEST(RecordWrites, AutoincrementOverflowOfATwoByteFieldGives55) {
    TempDir dir;
    Definition def(12, 1);
    def.segments.push_back(Segment(1, 2, 0, btr::kTypeAutoincrement));
    ASSERT_EQ(Create(dir.File("A2.DAT"), def), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, dir.File("A2.DAT")), 0);
    ASSERT_EQ(Insert(pb, Rec(32767, "max")), 0);
    EXPECT_EQ(Insert(pb, Rec(0, "over")), btr::kStatusAutoincrementError);
}

TEST(RecordWrites, AutoincrementAfterAStoredNegativeValueGives55InsteadOfWrapping) {
    TempDir dir;
    Definition def(12, 1);
    def.segments.push_back(Segment(1, 2, 0, btr::kTypeAutoincrement));
    ASSERT_EQ(Create(dir.File("A3.DAT"), def), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, dir.File("A3.DAT")), 0);
    ASSERT_EQ(Insert(pb, Rec(5, "five")), 0);
    // 0xFFFF sorts last in the key; counting on from it would wrap to 0.
    ASSERT_EQ(Insert(pb, Rec(0xFFFF, "minus")), 0);
    EXPECT_EQ(Insert(pb, Rec(0, "next")), btr::kStatusAutoincrementError);
    Read last = Get(btr::kOpGetLast, pb, 0);
    EXPECT_EQ(last.record.substr(0, 2), std::string("\xff\xff", 2));
    Read first = Get(btr::kOpGetFirst, pb, 0);
    EXPECT_EQ(first.record.substr(0, 2), std::string("\x05\x00", 2));
}

TEST(RecordWrites, NullKeysLeaveRecordsOutOfTheirKey) {
    TempDir dir;
    Definition def(12, 2);
    def.segments.push_back(Segment(1, 4, 0, btr::kTypeUnsignedBinary));
    def.segments.push_back(Segment(5, 8, btr::kKeyFlagNullAll | btr::kKeyFlagModifiable, btr::kTypeString, ' '));
    ASSERT_EQ(Create(dir.File("N.DAT"), def), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, dir.File("N.DAT")), 0);
    ASSERT_EQ(Insert(pb, Rec(1, "")), 0);
    ASSERT_EQ(Insert(pb, Rec(2, "")), 0);  // null values never collide
    ASSERT_EQ(Insert(pb, Rec(3, "named")), 0);
    Read r = Get(btr::kOpGetFirst, pb, 1);
    EXPECT_EQ(r.record, Rec(3, "named"));
    EXPECT_EQ(Get(btr::kOpGetNext, pb, 1).status, btr::kStatusEndOfFile);
    // Get Direct on the null key path: 44.
    ASSERT_EQ(Get(btr::kOpGetEqual, pb, 0, U32(1)).status, 0);
    uint32_t position = Position(pb);
    std::string data = U32(position) + std::string(20, '\0');
    uint32_t length = static_cast<uint32_t>(data.size());
    char key[255] = {};
    EXPECT_EQ(Call(btr::kOpGetDirect, pb, data.data(), &length, key, 255, 1), btr::kStatusNullKeyPath);
    // Becoming non-null puts the record into the key.
    ASSERT_EQ(Get(btr::kOpGetEqual, pb, 0, U32(1)).status, 0);
    ASSERT_EQ(Update(pb, Rec(1, "alpha")), 0);
    EXPECT_EQ(Get(btr::kOpGetFirst, pb, 1).record, Rec(1, "alpha"));
}

TEST(RecordWrites, UnsignedKeysOrderByValueAboveTwoToTheSixtyThree) {
    TempDir dir;
    Definition def(12, 1);
    def.segments.push_back(Segment(1, 8, 0, btr::kTypeUnsignedBinary));
    ASSERT_EQ(Create(dir.File("B.DAT"), def), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, dir.File("B.DAT")), 0);
    std::vector<uint64_t> values = {uint64_t{1} << 63, 5, ~uint64_t{0}, (uint64_t{1} << 63) - 1, 0};
    for (uint64_t v : values) {
        std::string r(12, '\0');
        std::memcpy(r.data(), &v, 8);
        ASSERT_EQ(Insert(pb, r), 0);
    }
    std::vector<uint64_t> seen;
    for (Read r = Get(btr::kOpGetFirst, pb, 0); r.status == 0; r = Get(btr::kOpGetNext, pb, 0)) {
        uint64_t v;
        std::memcpy(&v, r.record.data(), 8);
        seen.push_back(v);
    }
    std::sort(values.begin(), values.end());
    EXPECT_EQ(seen, values);
}

TEST(RecordWrites, ReadOnlyOpenRefusesWritesWith46) {
    TempDir dir;
    Definition def(12, 1);
    def.segments.push_back(Segment(1, 4, 0, btr::kTypeUnsignedBinary));
    ASSERT_EQ(Create(dir.File("R.DAT"), def), 0);
    PositionBlock writer, reader;
    ASSERT_EQ(Open(writer, dir.File("R.DAT")), 0);
    ASSERT_EQ(Insert(writer, Rec(1, "x")), 0);
    ASSERT_EQ(Open(reader, dir.File("R.DAT"), btr::kOpenReadOnly), 0);
    EXPECT_EQ(Insert(reader, Rec(2, "y")), btr::kStatusAccessDenied);
    ASSERT_EQ(Get(btr::kOpGetFirst, reader, 0).status, 0);
    uint32_t length = 0;
    EXPECT_EQ(Call(btr::kOpDelete, reader, nullptr, &length, nullptr, 0, 0), btr::kStatusAccessDenied);
}

TEST(RecordWrites, LockBiasesOnWritesAreAccepted) {
    TempDir dir;
    Definition def(12, 1);
    def.segments.push_back(Segment(1, 4, 0, btr::kTypeUnsignedBinary));
    ASSERT_EQ(Create(dir.File("L.DAT"), def), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, dir.File("L.DAT")), 0);
    std::string r = Rec(1, "x");
    uint32_t length = 12;
    char key[255] = {};
    EXPECT_EQ(Call(btr::kOpInsert + 200, pb, r.data(), &length, key, 255, 0), 0);
    EXPECT_EQ(Call(btr::kOpUpdate + 400, pb, r.data(), &length, key, 255, 0), 0);
    EXPECT_EQ(Call(btr::kOpDelete + 500, pb, r.data(), &length, key, 255, 0), 0);
    EXPECT_EQ(Call(btr::kOpInsert, pb, r.data(), &length, key, 255, 3), btr::kStatusInvalidKeyNumber);
    EXPECT_EQ(Call(btr::kOpInsert, pb, r.data(), &length, key, 3, 0), btr::kStatusKeyBufferTooShort);
}

TEST(RecordWrites, AnInsertTakesThePositionAskedForOnceAndLaterOnesGoPastTheHighest) {
    TempDir dir;
    Definition def(12, 1);
    def.segments.push_back(Segment(1, 4, 0, btr::kTypeUnsignedBinary));
    ASSERT_EQ(Create(dir.File("P.DAT"), def), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, dir.File("P.DAT")), 0);
    W3bInsertAt(0x1A06);
    ASSERT_EQ(Insert(pb, Rec(1, "one")), 0);
    EXPECT_EQ(Position(pb), 0x1A06u);
    // Taken: nothing is stored, and the request is used up.
    W3bInsertAt(0x1A06);
    EXPECT_EQ(Insert(pb, Rec(2, "two")), btr::kStatusInvalidRecordAddress);
    ASSERT_EQ(Insert(pb, Rec(2, "two")), 0);
    EXPECT_EQ(Position(pb), 0x1A07u);
    // Any other call uses a request up too.
    W3bInsertAt(5);
    ASSERT_EQ(Get(btr::kOpGetFirst, pb, 0).status, 0);
    ASSERT_EQ(Insert(pb, Rec(3, "three")), 0);
    EXPECT_EQ(Position(pb), 0x1A08u);
    W3bInsertAt(7);
    ASSERT_EQ(Insert(pb, Rec(4, "four")), 0);
    EXPECT_EQ(Get(btr::kOpGetEqual, pb, 0, U32(4)).status, 0);
    EXPECT_EQ(Position(pb), 7u);
    EXPECT_EQ(Get(btr::kOpStepFirst, pb, 0).record, Rec(4, "four"));
}
