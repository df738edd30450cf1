// The Get family, Get Key, Get Position, Get Direct and Steps, with currency after every kind
// of success and failure, on position blocks that stay independent.
#include <gtest/gtest.h>

#include "w3btrv7_test_util.h"

using namespace w3btest;
using testsupport::TempDir;

namespace {

// Key 0: unique INTEGER 2 at position 1. Key 1: STRING 4 with duplicates at position 3.
class CurrencyTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.File("CUR.DAT");
        Definition def(10, 2);
        def.segments.push_back(Segment(1, 2, btr::kKeyFlagModifiable, btr::kTypeInteger));
        def.segments.push_back(Segment(3, 4, btr::kKeyFlagDuplicates | btr::kKeyFlagModifiable));
        ASSERT_EQ(Create(path_, def), 0);
        ASSERT_EQ(Open(pb_, path_), 0);
        for (int16_t v : {10, 20, 30}) ASSERT_EQ(Add(v, "same"), 0);
    }

    static std::string Rec(int16_t value, const std::string& text) {
        std::string r(10, ' ');
        std::memcpy(r.data(), &value, 2);
        std::memcpy(r.data() + 2, text.data(), std::min<size_t>(text.size(), 4));
        return r;
    }
    int16_t Add(int16_t value, const std::string& text, int8_t key = 0) { return Insert(pb_, Rec(value, text), key); }
    static std::string K(int16_t value) { return std::string(reinterpret_cast<const char*>(&value), 2); }
    static int16_t ValueOf(const Read& r) {
        int16_t v = 0;
        if (r.record.size() >= 2) std::memcpy(&v, r.record.data(), 2);
        return v;
    }
    int16_t Update(PositionBlock& pb, int16_t value, const std::string& text, int8_t key) {
        std::string r = Rec(value, text);
        uint32_t length = static_cast<uint32_t>(r.size());
        char keyBuffer[255] = {};
        return Call(btr::kOpUpdate, pb, r.data(), &length, keyBuffer, 255, key);
    }
    int16_t Delete(PositionBlock& pb) {
        uint32_t length = 0;
        return Call(btr::kOpDelete, pb, nullptr, &length, nullptr, 0, 0);
    }

    TempDir dir_;
    std::string path_;
    PositionBlock pb_;
};

}  // namespace

TEST_F(CurrencyTest, GetNextWalksTheKeyAndEndsWith9) {
    Read r = Get(btr::kOpGetFirst, pb_, 0);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(ValueOf(r), 10);
    EXPECT_EQ(r.key.substr(0, 2), K(10));
    EXPECT_EQ(r.length, 10u);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetNext, pb_, 0, r.key)), 20);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetNext, pb_, 0)), 30);
    EXPECT_EQ(Get(btr::kOpGetNext, pb_, 0).status, btr::kStatusEndOfFile);
    EXPECT_EQ(Get(btr::kOpGetNext, pb_, 0).status, btr::kStatusEndOfFile);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetPrevious, pb_, 0)), 30);
}

TEST_F(CurrencyTest, GetNextAndPreviousAfterDeleteGoOnFromTheDeletedPlace) {
    ASSERT_EQ(Get(btr::kOpGetEqual, pb_, 0, K(20)).status, 0);
    ASSERT_EQ(Delete(pb_), 0);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetNext, pb_, 0)), 30);
    ASSERT_EQ(Get(btr::kOpGetEqual, pb_, 0, K(30)).status, 0);
    ASSERT_EQ(Delete(pb_), 0);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetPrevious, pb_, 0)), 10);
}

TEST_F(CurrencyTest, DeleteLeavesNoCurrentRecordForUpdateDeleteOrPosition) {
    ASSERT_EQ(Get(btr::kOpGetEqual, pb_, 0, K(20)).status, 0);
    ASSERT_EQ(Delete(pb_), 0);
    EXPECT_EQ(Delete(pb_), btr::kStatusInvalidPositioning);
    EXPECT_EQ(Update(pb_, 21, "same", 0), btr::kStatusInvalidPositioning);
    int16_t status;
    Position(pb_, &status);
    EXPECT_EQ(status, btr::kStatusInvalidPositioning);
    EXPECT_EQ(Get(btr::kOpStepNext, pb_, 0).status, btr::kStatusInvalidPositioning);
}

TEST_F(CurrencyTest, FailedGetEqualClearsCurrency) {
    ASSERT_EQ(Get(btr::kOpGetFirst, pb_, 0).status, 0);
    EXPECT_EQ(Get(btr::kOpGetEqual, pb_, 0, K(25)).status, btr::kStatusKeyNotFound);
    EXPECT_EQ(Get(btr::kOpGetNext, pb_, 0).status, btr::kStatusInvalidPositioning);
    EXPECT_EQ(Delete(pb_), btr::kStatusInvalidPositioning);
    EXPECT_EQ(Get(btr::kOpGetGreater, pb_, 0, K(30)).status, btr::kStatusEndOfFile);
    EXPECT_EQ(Get(btr::kOpGetPrevious, pb_, 0).status, btr::kStatusInvalidPositioning);
}

TEST_F(CurrencyTest, RangeGetsFindTheNearestValues) {
    EXPECT_EQ(ValueOf(Get(btr::kOpGetGreaterOrEqual, pb_, 0, K(25))), 30);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetGreaterOrEqual, pb_, 0, K(20))), 20);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetGreater, pb_, 0, K(20))), 30);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetLess, pb_, 0, K(20))), 10);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetLessOrEqual, pb_, 0, K(20))), 20);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetLessOrEqual, pb_, 0, K(-5))), 0);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetLast, pb_, 0)), 30);
    EXPECT_EQ(Get(btr::kOpGetLess, pb_, 0, K(10)).status, btr::kStatusEndOfFile);
}

TEST_F(CurrencyTest, UpdateMovesLogicalCurrencyUnlessNoCurrencyChange) {
    ASSERT_EQ(Get(btr::kOpGetEqual, pb_, 0, K(20)).status, 0);
    ASSERT_EQ(Update(pb_, 35, "same", 0), 0);
    EXPECT_EQ(Get(btr::kOpGetNext, pb_, 0).status, btr::kStatusEndOfFile);

    ASSERT_EQ(Get(btr::kOpGetEqual, pb_, 0, K(10)).status, 0);
    ASSERT_EQ(Update(pb_, 33, "same", -1), 0);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetNext, pb_, 0)), 30);
}

TEST_F(CurrencyTest, InsertMakesTheNewRecordCurrent) {
    ASSERT_EQ(Add(15, "same"), 0);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetNext, pb_, 0)), 20);
    ASSERT_EQ(Get(btr::kOpGetEqual, pb_, 0, K(20)).status, 0);
    ASSERT_EQ(Add(16, "same", -1), 0);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetNext, pb_, 0)), 30);
    ASSERT_EQ(Add(17, "same"), 0);
    ASSERT_EQ(Delete(pb_), 0);
    EXPECT_EQ(Get(btr::kOpGetEqual, pb_, 0, K(17)).status, btr::kStatusKeyNotFound);
}

TEST_F(CurrencyTest, OpenMakesNoRecordCurrent) {
    PositionBlock other;
    ASSERT_EQ(Open(other, path_), 0);
    EXPECT_EQ(Delete(other), btr::kStatusInvalidPositioning);
    EXPECT_EQ(Update(other, 1, "x", 0), btr::kStatusInvalidPositioning);
    EXPECT_EQ(Get(btr::kOpGetNext, other, 0).status, btr::kStatusInvalidPositioning);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetFirst, other, 0)), 10);
}

TEST_F(CurrencyTest, PositionBlocksOfOneFileKeepTheirOwnCurrency) {
    PositionBlock other;
    ASSERT_EQ(Open(other, path_), 0);
    ASSERT_EQ(Get(btr::kOpGetFirst, pb_, 0).status, 0);
    ASSERT_EQ(Get(btr::kOpGetLast, other, 0).status, 0);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetNext, pb_, 0)), 20);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetPrevious, other, 0)), 20);
    // A write through one block is seen by the other at once.
    ASSERT_EQ(Add(25, "same"), 0);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetNext, other, 0)), 25);
}

TEST_F(CurrencyTest, GetNextWithAnotherKeyNumberAnswers7) {
    ASSERT_EQ(Get(btr::kOpGetFirst, pb_, 0).status, 0);
    EXPECT_EQ(Get(btr::kOpGetNext, pb_, 1, "same").status, btr::kStatusDifferentKeyNumber);
    EXPECT_EQ(Get(btr::kOpGetFirst, pb_, 5).status, btr::kStatusInvalidKeyNumber);
    EXPECT_EQ(Get(btr::kOpGetFirst, pb_, -1).status, btr::kStatusInvalidKeyNumber);
}

TEST_F(CurrencyTest, DuplicatesComeInArrivalOrderAndAnUpdatedValueGoesLast) {
    ASSERT_EQ(Add(40, "aaaa"), 0);
    ASSERT_EQ(Add(5, "aaaa"), 0);
    Read r = Get(btr::kOpGetEqual, pb_, 1, "same");
    EXPECT_EQ(ValueOf(r), 10);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetNext, pb_, 1)), 20);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetNext, pb_, 1)), 30);
    // 20 moves to "aaaa": it follows 40 and 5 there.
    ASSERT_EQ(Get(btr::kOpGetEqual, pb_, 0, K(20)).status, 0);
    ASSERT_EQ(Update(pb_, 20, "aaaa", 0), 0);
    r = Get(btr::kOpGetFirst, pb_, 1);
    EXPECT_EQ(ValueOf(r), 40);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetNext, pb_, 1)), 5);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetNext, pb_, 1)), 20);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetLess, pb_, 1, "same")), 20);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetLast, pb_, 1)), 30);
}

TEST_F(CurrencyTest, GetKeyReadsNoRecordAndLeavesNothingToUpdate) {
    Read r = Get(btr::kOpGetEqual + btr::kBiasGetKey, pb_, 0, K(20), 64);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.length, 64u);
    EXPECT_EQ(r.record, std::string(64, '\0'));
    EXPECT_EQ(Update(pb_, 20, "zzzz", 0), btr::kStatusInvalidPositioning);
    EXPECT_EQ(Delete(pb_), btr::kStatusInvalidPositioning);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetNext, pb_, 0)), 30);
    EXPECT_EQ(Get(btr::kOpGetEqual + btr::kBiasGetKey + 200, pb_, 0, K(99)).status, btr::kStatusKeyNotFound);
}

TEST_F(CurrencyTest, GetPositionAndGetDirectReestablishCurrency) {
    ASSERT_EQ(Get(btr::kOpGetEqual, pb_, 0, K(20)).status, 0);
    int16_t status;
    uint32_t position = Position(pb_, &status);
    ASSERT_EQ(status, 0);
    EXPECT_NE(position, 0u);
    ASSERT_EQ(Get(btr::kOpGetLast, pb_, 0).status, 0);
    Read r = Get(btr::kOpGetDirect, pb_, 0, std::string(), 1024);
    std::string data = U32(position) + std::string(60, '\0');
    uint32_t length = static_cast<uint32_t>(data.size());
    char key[255] = {};
    ASSERT_EQ(Call(btr::kOpGetDirect, pb_, data.data(), &length, key, 255, 0), 0);
    EXPECT_EQ(length, 10u);
    EXPECT_EQ(std::string(key, 2), K(20));
    EXPECT_EQ(ValueOf(Get(btr::kOpGetNext, pb_, 0)), 30);
    // Get Direct makes its record current for Update and Delete.
    data = U32(position) + std::string(60, '\0');
    length = static_cast<uint32_t>(data.size());
    ASSERT_EQ(Call(btr::kOpGetDirect + 200, pb_, data.data(), &length, key, 255, -1), 0);
    EXPECT_EQ(Get(btr::kOpGetNext, pb_, 0).status, btr::kStatusInvalidPositioning);
    ASSERT_EQ(Delete(pb_), 0);
    data = U32(position) + std::string(60, '\0');
    length = static_cast<uint32_t>(data.size());
    EXPECT_EQ(Call(btr::kOpGetDirect, pb_, data.data(), &length, key, 255, 0), btr::kStatusInvalidRecordAddress);
    (void)r;
}

TEST_F(CurrencyTest, StepsFollowPhysicalOrderAndEraseLogicalCurrency) {
    Read r = Get(btr::kOpStepFirst, pb_, 0);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(ValueOf(r), 10);
    EXPECT_EQ(Get(btr::kOpGetNext, pb_, 0).status, btr::kStatusInvalidPositioning);
    EXPECT_EQ(ValueOf(Get(btr::kOpStepNext, pb_, 0)), 20);
    EXPECT_EQ(ValueOf(Get(btr::kOpStepNext + 100, pb_, 0)), 30);
    EXPECT_EQ(Get(btr::kOpStepNext, pb_, 0).status, btr::kStatusEndOfFile);
    EXPECT_EQ(ValueOf(Get(btr::kOpStepPrevious, pb_, 0)), 30);
    EXPECT_EQ(ValueOf(Get(btr::kOpStepLast, pb_, 0)), 30);
    EXPECT_EQ(ValueOf(Get(btr::kOpStepPrevious, pb_, 0)), 20);
    ASSERT_EQ(Update(pb_, 22, "same", -1), 0);
    EXPECT_EQ(ValueOf(Get(btr::kOpStepPrevious, pb_, 0)), 10);
    EXPECT_EQ(Get(btr::kOpStepPrevious, pb_, 0).status, btr::kStatusEndOfFile);
    EXPECT_EQ(ValueOf(Get(btr::kOpStepNext, pb_, 0)), 10);
}

TEST_F(CurrencyTest, ShortDataBufferGives22WithWhatFitsAndCurrencyMoved) {
    Read r = Get(btr::kOpGetEqual, pb_, 0, K(20), 4);
    EXPECT_EQ(r.status, btr::kStatusDataLengthError);
    EXPECT_EQ(r.length, 4u);
    EXPECT_EQ(ValueOf(r), 20);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetNext, pb_, 0)), 30);
}

TEST_F(CurrencyTest, ShortKeyBufferGives21) {
    std::string data(64, '\0');
    uint32_t length = 64;
    char key[2] = {};
    EXPECT_EQ(Call(btr::kOpGetFirst, pb_, data.data(), &length, key, 1, 0), btr::kStatusKeyBufferTooShort);
    EXPECT_EQ(Call(btr::kOpGetFirst, pb_, data.data(), &length, nullptr, 255, 0), btr::kStatusKeyBufferTooShort);
    EXPECT_EQ(Call(btr::kOpGetFirst, pb_, data.data(), &length, key, 2, 0), 0);
}

TEST_F(CurrencyTest, NullDataBufferGives22NotACrash) {
    uint32_t length = 64;
    char key[255] = {};
    EXPECT_EQ(Call(btr::kOpGetFirst, pb_, nullptr, &length, key, 255, 0), btr::kStatusDataLengthError);
    EXPECT_EQ(Call(btr::kOpGetFirst, pb_, nullptr, nullptr, key, 255, 0), btr::kStatusDataLengthError);
    EXPECT_EQ(Call(btr::kOpGetPosition, pb_, nullptr, &length, key, 255, 0), btr::kStatusDataLengthError);
    std::string rec = std::string(10, 'x');
    EXPECT_EQ(Call(btr::kOpInsert, pb_, nullptr, &length, key, 255, 0), btr::kStatusDataLengthError);
}

TEST_F(CurrencyTest, GetNextAfterDeletingTheLastDuplicateFindsALaterArrivalOfTheSameValue) {
    // "same" holds 10, 20, 30; this block deletes 30, the last of the group.
    ASSERT_EQ(Get(btr::kOpGetLast, pb_, 1).status, 0);
    ASSERT_EQ(Delete(pb_), 0);
    PositionBlock other;
    ASSERT_EQ(Open(other, path_), 0);
    ASSERT_EQ(Insert(other, Rec(40, "same"), 0), 0);
    Read next = Get(btr::kOpGetNext, pb_, 1);
    ASSERT_EQ(next.status, 0);
    EXPECT_EQ(ValueOf(next), 40);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetPrevious, pb_, 1)), 20);
}

TEST_F(CurrencyTest, GetNextFindsALaterArrivalInThePlaceOfADuplicateAnotherBlockDeleted) {
    ASSERT_EQ(Get(btr::kOpGetLast, pb_, 1).status, 0);  // 30, the last "same"
    PositionBlock other;
    ASSERT_EQ(Open(other, path_), 0);
    ASSERT_EQ(Get(btr::kOpGetEqual, other, 0, K(30)).status, 0);
    ASSERT_EQ(Delete(other), 0);
    ASSERT_EQ(Insert(other, Rec(50, "zzzz"), 0), 0);
    ASSERT_EQ(Insert(other, Rec(40, "same"), 0), 0);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetNext, pb_, 1)), 40);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetNext, pb_, 1)), 50);
}

TEST_F(CurrencyTest, UpdateThroughAnotherKeyNumberLeavesThePathSoTheNextGetAnswers7) {
    ASSERT_EQ(Get(btr::kOpGetEqual, pb_, 0, K(20)).status, 0);
    ASSERT_EQ(Update(pb_, 20, "else", 1), 0);
    EXPECT_EQ(Get(btr::kOpGetNext, pb_, 1).status, btr::kStatusDifferentKeyNumber);
    EXPECT_EQ(ValueOf(Get(btr::kOpGetNext, pb_, 0)), 30);
}

TEST_F(CurrencyTest, UpdateOrDeleteOfARecordAnotherBlockChangedSinceItWasReadAnswers80) {
    PositionBlock other;
    ASSERT_EQ(Open(other, path_), 0);
    ASSERT_EQ(ValueOf(Get(btr::kOpGetEqual, pb_, 0, K(20))), 20);
    ASSERT_EQ(ValueOf(Get(btr::kOpGetEqual, other, 0, K(20))), 20);
    ASSERT_EQ(Update(other, 20, "new", 0), 0);
    EXPECT_EQ(Update(pb_, 20, "lost", 0), btr::kStatusConflict);
    EXPECT_EQ(Delete(pb_), btr::kStatusConflict);
    EXPECT_EQ(Get(btr::kOpGetEqual, pb_, 0, K(20)).record, Rec(20, "new"));
    // The last record deleted is no longer the record read, even where a store gave its
    // position to a new one (80 then; 8 where the position is simply empty).
    ASSERT_EQ(ValueOf(Get(btr::kOpGetLast, pb_, 0)), 30);
    ASSERT_EQ(ValueOf(Get(btr::kOpGetLast, other, 0)), 30);
    uint32_t deleted = Position(other);
    ASSERT_EQ(Delete(other), 0);
    ASSERT_EQ(Insert(other, Rec(40, "next")), 0);
    bool reused = Position(other) == deleted;
    EXPECT_EQ(Update(pb_, 30, "lost", 0), reused ? btr::kStatusConflict : btr::kStatusInvalidPositioning);
    EXPECT_EQ(Update(other, 40, "mine", 0), 0);
}

TEST_F(CurrencyTest, StepPastTheEndStaysThereWhenTheFileEmptiedMeanwhile) {
    PositionBlock other;
    ASSERT_EQ(Open(other, path_), 0);
    ASSERT_EQ(Get(btr::kOpStepFirst, pb_, 0).status, 0);
    ASSERT_EQ(Get(btr::kOpStepPrevious, pb_, 0).status, btr::kStatusEndOfFile);
    for (int16_t value : {10, 20, 30}) {
        ASSERT_EQ(Get(btr::kOpGetEqual, other, 0, K(value)).status, 0);
        ASSERT_EQ(Delete(other), 0);
    }
    EXPECT_EQ(Get(btr::kOpStepNext, pb_, 0).status, btr::kStatusEndOfFile);
    EXPECT_EQ(Get(btr::kOpStepNext, pb_, 0).status, btr::kStatusEndOfFile);
}
