// Record operations against the real record manager: reads that keep their position, reads by
// record position, deletes, position save and restore, percentages.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "record_fixture.h"

using namespace recordtest;

namespace {

constexpr int16_t kKeepPosition = TYDB_KEEP_POSITION;
constexpr int16_t kModeGetPosition = 23;
constexpr int16_t kModeRestore = 0;

// "n100", "n101", ...: names whose key order is their number order.
std::string NumberedName(char prefix, int number) {
    char name[16];
    std::snprintf(name, sizeof name, "%c%d", prefix, number);
    return name;
}

class RecordReadTest : public RealEngineTest {};

TEST_F(RecordReadTest, KeepPositionReadReturnsNextRecordButLeavesTheFileWhereItWas) {
    const int16_t handle = Open(CreateNamesFile({"alpha", "bravo", "charlie"}));
    EXPECT_EQ(NameAfter(handle, btr::kOpGetFirst), "alpha");
    EXPECT_EQ(NameAfter(handle, btr::kOpGetNext + kKeepPosition), "bravo");
    // Still on alpha: the plain Get Next reads bravo again, and the one after it charlie.
    EXPECT_EQ(NameAfter(handle, btr::kOpGetNext), "bravo");
    EXPECT_EQ(NameAfter(handle, btr::kOpGetNext + kKeepPosition), "charlie");
    EXPECT_EQ(NameAfter(handle, btr::kOpGetNext), "charlie");
}

TEST_F(RecordReadTest, KeepPositionReadOfADeletedCurrentRecordStillSucceeds) {
    const int16_t handle = Open(CreateNamesFile({"alpha", "bravo", "charlie"}));
    EXPECT_EQ(NameAfter(handle, btr::kOpGetFirst), "alpha");
    uint8_t alpha[4] = {};
    ASSERT_EQ(DbPosition(kModeGetPosition, handle, alpha), 0);
    // Another open of the same file deletes alpha behind this one's back.
    const std::string path = Path("NAMES.DAT");
    int16_t other = 0;
    ASSERT_EQ(DbOpen(&other, path.c_str(), 0, 0), 0);
    ASSERT_NE(other, handle);
    char key[256] = {};
    std::memcpy(key, NameKey("alpha").data(), kNameLength);
    Record scratch;
    ASSERT_EQ(DbModify(btr::kOpDelete, other, key, scratch.bytes, 0), 0);
    // The restore finds no record at the saved position (43); the read itself counts.
    std::string name;
    EXPECT_EQ(Read(handle, btr::kOpGetNext + kKeepPosition, &name), 0);
    EXPECT_EQ(name, "bravo");
}

TEST_F(RecordReadTest, KeepPositionOnAVariableLengthFileRestoresItsPosition) {
    const std::string path = Path("VAR.DAT");
    const BtrFileSpec spec = FileSpec(16, 1, btr::kFileFlagVariableLength);
    const auto segments = Terminated({Segment(1, 8)});
    ASSERT_EQ(DbCreateFile(path.c_str(), &spec, segments.data()), 0);
    const int16_t handle = Open(path);
    // Records far longer than the fixed part: the restore must read them whole.
    std::vector<std::string> records;
    for (const char* name : {"first   ", "second  ", "third   "}) {
        std::string record = std::string(name) + std::string(8, '-') + std::string(20000, name[0]);
        char key[256] = {};
        ASSERT_EQ(DbModify(btr::kOpInsert, handle, key, record.data(), static_cast<int16_t>(record.size())), 0);
        records.push_back(record);
    }
    std::vector<char> data(30000);
    char key[256] = {};
    const auto length = static_cast<int16_t>(data.size());
    ASSERT_EQ(DbRead(btr::kOpGetFirst, handle, key, data.data(), length), 0);
    EXPECT_EQ(DbRead(btr::kOpGetNext + kKeepPosition, handle, key, data.data(), length), 0);
    EXPECT_EQ(std::string(data.data(), 8), "second  ");
    EXPECT_EQ(DbGetLastDataLength(handle), static_cast<int32_t>(records[1].size()));
    ASSERT_EQ(DbRead(btr::kOpGetNext, handle, key, data.data(), length), 0);
    EXPECT_EQ(std::string(data.data(), 8), "second  ");
}

TEST_F(RecordReadTest, GetDirectTakesThePositionFromTheKeyBufferAndLeavesItUnwritten) {
    const int16_t handle = Open(CreateNamesFile({"alpha", "bravo", "charlie"}));
    std::string name;
    ASSERT_EQ(Read(handle, btr::kOpGetEqual, &name, NameKey("bravo")), 0);
    uint8_t bravo[4] = {};
    ASSERT_EQ(DbPosition(kModeGetPosition, handle, bravo), 0);
    EXPECT_EQ(NameAfter(handle, btr::kOpGetLast), "charlie");

    for (int16_t operation : {int16_t(btr::kOpGetDirect), int16_t(btr::kOpGetDirect + btr::kBiasSingleWaitLock)}) {
        char key[256];
        std::memset(key, 0x5A, sizeof key);
        std::memcpy(key, bravo, sizeof bravo);
        Record record;
        EXPECT_EQ(DbRead(operation, handle, key, record.bytes, 0), 0) << operation;
        EXPECT_EQ(NameOf(record.bytes), "bravo") << operation;
        EXPECT_EQ(std::memcmp(key, bravo, sizeof bravo), 0);
        EXPECT_EQ(static_cast<uint8_t>(key[4]), 0x5A) << "the key value went to a scratch buffer";
        // The file now stands on bravo.
        EXPECT_EQ(NameAfter(handle, btr::kOpGetNext), "charlie");
    }
}

TEST_F(RecordReadTest, GetDirect73ReadsThePositionInTheDataBufferAndReturnsTheKeyValue) {
    const int16_t handle = Open(CreateNamesFile({"alpha", "bravo", "charlie"}));
    std::string name;
    ASSERT_EQ(Read(handle, btr::kOpGetEqual, &name, NameKey("charlie")), 0);
    uint8_t charlie[4] = {};
    ASSERT_EQ(DbPosition(kModeGetPosition, handle, charlie), 0);
    EXPECT_EQ(NameAfter(handle, btr::kOpGetFirst), "alpha");

    Record record;
    std::memcpy(record.bytes, charlie, sizeof charlie);
    char key[256];
    std::memset(key, 0x5A, sizeof key);
    EXPECT_EQ(DbRead(73, handle, key, record.bytes, 0), 0);
    EXPECT_EQ(NameOf(record.bytes), "charlie");
    EXPECT_EQ(std::string(key, kNameLength), NameKey("charlie"));
}

TEST_F(RecordReadTest, LastDataLengthIsWhatTheRecordManagerReturned) {
    const int16_t handle = Open(CreateNamesFile({"alpha", "bravo"}));
    EXPECT_EQ(DbGetLastDataLength(handle), 0);
    EXPECT_EQ(NameAfter(handle, btr::kOpGetFirst), "alpha");
    EXPECT_EQ(DbGetLastDataLength(handle), kRecordLength);
    // A buffer too short for the record: status 22 with the part that fitted.
    char key[256] = {};
    Record record;
    EXPECT_EQ(DbRead(btr::kOpGetFirst, handle, key, record.bytes, 10), btr::kStatusDataLengthError);
    EXPECT_EQ(DbGetLastDataLength(handle), 10);
}

TEST_F(RecordReadTest, ZeroDataLengthOnAVariableLengthFileAsksWithLengthZero) {
    const std::string path = Path("VAR.DAT");
    const BtrFileSpec spec = FileSpec(16, 1, btr::kFileFlagVariableLength);
    const auto segments = Terminated({Segment(1, 8)});
    ASSERT_EQ(DbCreateFile(path.c_str(), &spec, segments.data()), 0);
    const int16_t handle = Open(path);
    std::string record = "record1 " + std::string(30, 'x');
    char key[256] = {};
    ASSERT_EQ(DbModify(btr::kOpInsert, handle, key, record.data(), static_cast<int16_t>(record.size())), 0);
    char data[64] = {};
    EXPECT_EQ(DbRead(btr::kOpGetFirst, handle, key, data, 0), btr::kStatusDataLengthError);
    EXPECT_EQ(DbGetLastDataLength(handle), 0);
}

class RecordModifyTest : public RealEngineTest {};

TEST_F(RecordModifyTest, DeleteByAbsentKeyReturns4AndTheRecordsStay) {
    const int16_t handle = Open(CreateNamesFile({"alpha", "bravo"}));
    EXPECT_EQ(NameAfter(handle, btr::kOpGetFirst), "alpha");
    char key[256] = {};
    std::memcpy(key, NameKey("zulu").data(), kNameLength);
    Record scratch;
    EXPECT_EQ(DbModify(btr::kOpDelete, handle, key, scratch.bytes, 0), btr::kStatusKeyNotFound);
    EXPECT_EQ(RecordCount(handle), 2u);
    std::string name;
    EXPECT_EQ(Read(handle, btr::kOpGetEqual, &name, NameKey("alpha")), 0);
}

TEST_F(RecordModifyTest, DeleteByKeyRemovesThatRecordWhereverTheFileStood) {
    const int16_t handle = Open(CreateNamesFile({"alpha", "bravo", "charlie"}));
    EXPECT_EQ(NameAfter(handle, btr::kOpGetFirst), "alpha");
    char key[256] = {};
    std::memcpy(key, NameKey("charlie").data(), kNameLength);
    Record scratch;
    EXPECT_EQ(DbModify(btr::kOpDelete, handle, key, scratch.bytes, 0), 0);
    EXPECT_EQ(RecordCount(handle), 2u);
    EXPECT_EQ(Read(handle, btr::kOpGetEqual, nullptr, NameKey("charlie")), btr::kStatusKeyNotFound);
    EXPECT_EQ(Read(handle, btr::kOpGetEqual, nullptr, NameKey("alpha")), 0);
}

TEST_F(RecordModifyTest, DeleteWithoutKeyBufferRemovesTheCurrentRecord) {
    const int16_t handle = Open(CreateNamesFile({"alpha", "bravo", "charlie"}));
    std::string name;
    ASSERT_EQ(Read(handle, btr::kOpGetEqual, &name, NameKey("bravo")), 0);
    Record scratch;
    EXPECT_EQ(DbModify(btr::kOpDelete, handle, nullptr, scratch.bytes, 0), 0);
    EXPECT_EQ(RecordCount(handle), 2u);
    EXPECT_EQ(NameAfter(handle, btr::kOpGetFirst), "alpha");
    EXPECT_EQ(NameAfter(handle, btr::kOpGetNext), "charlie");
}

TEST_F(RecordModifyTest, UpdateRewritesTheCurrentRecord) {
    const int16_t handle = Open(CreateNamesFile({"alpha", "bravo"}));
    std::string name;
    ASSERT_EQ(Read(handle, btr::kOpGetEqual, &name, NameKey("bravo")), 0);
    Record changed = MakeRecord("bravo", "g", "changed text");
    char key[256] = {};
    std::memcpy(key, NameKey("bravo").data(), kNameLength);
    EXPECT_EQ(DbModify(btr::kOpUpdate, handle, key, changed.bytes, 0), 0);
    Record record;
    ASSERT_EQ(DbRead(btr::kOpGetEqual, handle, key, record.bytes, 0), 0);
    EXPECT_EQ(std::string(record.bytes + 12, 12), "changed text");
}

class RecordPositionTest : public RealEngineTest {};

TEST_F(RecordPositionTest, RestorePutsTheFileBackOnTheSavedRecord) {
    const int16_t handle = Open(CreateNamesFile({"alpha", "bravo", "charlie", "delta"}));
    std::string name;
    ASSERT_EQ(Read(handle, btr::kOpGetEqual, &name, NameKey("bravo")), 0);
    uint8_t saved[4] = {};
    ASSERT_EQ(DbPosition(kModeGetPosition, handle, saved), 0);
    EXPECT_NE(std::memcmp(saved, "\0\0\0\0", 4), 0);
    EXPECT_EQ(NameAfter(handle, btr::kOpGetLast), "delta");
    EXPECT_EQ(DbPosition(kModeRestore, handle, saved), 0);
    EXPECT_EQ(NameAfter(handle, btr::kOpGetNext), "charlie");
}

TEST_F(RecordPositionTest, RestoreWithoutAPositionGoesToTheFirstRecord) {
    const int16_t handle = Open(CreateNamesFile({"alpha", "bravo", "charlie"}));
    EXPECT_EQ(NameAfter(handle, btr::kOpGetLast), "charlie");
    EXPECT_EQ(DbPosition(kModeRestore, handle, nullptr), 0);
    EXPECT_EQ(NameAfter(handle, btr::kOpGetNext), "bravo");

    EXPECT_EQ(NameAfter(handle, btr::kOpGetLast), "charlie");
    uint8_t zero[4] = {};
    EXPECT_EQ(DbPosition(kModeRestore, handle, zero), 0);
    EXPECT_EQ(NameAfter(handle, btr::kOpGetNext), "bravo");
}

TEST_F(RecordPositionTest, GetPositionWithoutAFileCurrencyPassesTheStatusOn) {
    const int16_t handle = Open(CreateNamesFile({"alpha"}));
    uint8_t position[4] = {1, 2, 3, 4};
    EXPECT_EQ(DbPosition(kModeGetPosition, handle, position), btr::kStatusInvalidPositioning);
    EXPECT_EQ(DbPosition(kModeGetPosition, handle, nullptr), TYDB_STATUS_NO_BUFFER);
}

class RecordPercentTest : public RealEngineTest {};

TEST_F(RecordPercentTest, PercentOfAKeyThenReadByThatPercentLandsOnOrNextToTheRecord) {
    std::vector<std::string> names;
    for (int i = 0; i < 37; ++i) names.push_back(NumberedName('n', 100 + i));
    const int16_t handle = Open(CreateNamesFile(names));
    for (int i : {0, 5, 18, 29, 36}) {
        char key[256] = {};
        std::memcpy(key, NameKey(names[i]).data(), kNameLength);
        int16_t percentage = -1;
        ASSERT_EQ(DbFindPercent(handle, key, &percentage), 0) << names[i];
        EXPECT_GE(percentage, 0);
        EXPECT_LE(percentage, 10000);
        Record record;
        char readKey[256] = {};
        ASSERT_EQ(DbGetByPercent(handle, readKey, record.bytes, 0, percentage), 0);
        const int found = std::stoi(NameOf(record.bytes).substr(1)) - 100;
        EXPECT_LE(std::abs(found - i), 1) << names[i] << " at " << percentage << " read " << NameOf(record.bytes);
    }
    int16_t first = -1, last = -1;
    char key[256] = {};
    std::memcpy(key, NameKey(names.front()).data(), kNameLength);
    ASSERT_EQ(DbFindPercent(handle, key, &first), 0);
    std::memcpy(key, NameKey(names.back()).data(), kNameLength);
    ASSERT_EQ(DbFindPercent(handle, key, &last), 0);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 10000);
}

TEST_F(RecordPercentTest, PhysicalPercentOfARecordThenReadByThatPercentLandsOnOrNextToIt) {
    std::vector<std::string> names;
    for (int i = 0; i < 25; ++i) names.push_back(NumberedName('p', 100 + i));
    const int16_t handle = Open(CreateNamesFile(names));
    for (int i : {0, 7, 24}) {
        std::string name;
        ASSERT_EQ(Read(handle, btr::kOpGetEqual, &name, NameKey(names[i])), 0);
        uint8_t position[4] = {};
        ASSERT_EQ(DbPosition(kModeGetPosition, handle, position), 0);
        int16_t percentage = -1;
        ASSERT_EQ(DbFindPercentPhysical(handle, position, &percentage), 0);
        Record record;
        char key[256] = {};
        ASSERT_EQ(DbGetByPercentPhysical(handle, key, record.bytes, 0, percentage), 0);
        const int found = std::stoi(NameOf(record.bytes).substr(1)) - 100;
        EXPECT_LE(std::abs(found - i), 1) << names[i] << " read " << NameOf(record.bytes);
    }
}

TEST_F(RecordPercentTest, PercentOfAnAbsentKeyPassesTheStatusOn) {
    const int16_t handle = Open(CreateNamesFile({"alpha", "bravo"}));
    char key[256] = {};
    std::memcpy(key, NameKey("zulu").data(), kNameLength);
    int16_t percentage = 1234;
    EXPECT_EQ(DbFindPercent(handle, key, &percentage), btr::kStatusKeyNotFound);
    // The reply buffer started at 0 and the record manager wrote nothing into it.
    EXPECT_EQ(percentage, 0);
}

}  // namespace
