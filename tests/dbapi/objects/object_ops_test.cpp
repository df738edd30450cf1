// Record operations through record objects, against the recording fake in front of the real
// record manager: the requests they send, the file defaults they lend and put back, and what
// they leave in the object.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "btrcall.h"
#include "object_fixture.h"
#include "tydb.h"

using namespace objecttest;

namespace {

// ---- Opening and closing ------------------------------------------------------------------

class RecordObjectOpenClose : public ObjectTest {};

TEST_F(RecordObjectOpenClose, OpenWritesTheHandleIntoTheObjectWithBiasZero) {
    const std::string path = CreateNamesFile({"A"});
    fake->ClearLog();
    TydbRecordObject* object = OpenObject(path);
    ASSERT_NE(object, nullptr);
    const int16_t handle = object->handle;
    EXPECT_GE(handle, 1);
    EXPECT_EQ(FileBias(handle), 0);
    ASSERT_FALSE(fake->CallsOf(btr::kOpOpen).empty());
    // The rest of the object is left as it was.
    const Fields fields = FieldsOf(object);
    EXPECT_EQ(fields.dataLength, kRecordLength);
    EXPECT_EQ(fields.reserved, 1);
}

TEST_F(RecordObjectOpenClose, OpenPassesTheModeAndRefusesWhatDbOpenRefuses) {
    const std::string path = CreateNamesFile({"A"});
    TydbRecordObject* object = NewObject();
    fake->ClearLog();
    // Read-only: the record manager gets mode -2.
    ASSERT_EQ(DbRecOpen(reinterpret_cast<int16_t*>(object), 0x0200, path.c_str()), 0);
    const auto opens = fake->CallsOf(btr::kOpOpen);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].keyNumber, btr::kOpenReadOnly);
    EXPECT_EQ(DbRecOpen(nullptr, 0, path.c_str()), TYDB_STATUS_NO_BUFFER);
    TydbRecordObject* other = NewObject();
    EXPECT_EQ(DbRecOpen(reinterpret_cast<int16_t*>(other), 0, nullptr), TYDB_STATUS_INVALID_FILE_NAME);
    EXPECT_EQ(+other->handle, -1);
}

TEST_F(RecordObjectOpenClose, CloseReleasesTheFileAndKeepsTheHandleField) {
    const std::string path = CreateNamesFile({"A"});
    TydbRecordObject* object = OpenObject(path);
    const int16_t handle = object->handle;
    EXPECT_EQ(DbRecClose(object), 0);
    EXPECT_EQ(+object->handle, handle);
    EXPECT_EQ(DbGetOverRideDef(handle, nullptr, nullptr), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_EQ(DbRecClose(object), TYDB_STATUS_INVALID_HANDLE);
}

// ---- Reads -------------------------------------------------------------------------------------

class RecordObjectReads : public ObjectTest {};

TEST_F(RecordObjectReads, EachReadSendsItsOperationAndWalksTheKey) {
    TydbRecordObject* object = OpenObject(CreateNamesFile({"C", "A", "B"}));
    fake->ClearLog();
    ASSERT_EQ(DbRecGetFirst(object, -1), 0);
    EXPECT_EQ(NameIn(object), "A");
    ASSERT_EQ(DbRecGetNext(object, -1), 0);
    EXPECT_EQ(NameIn(object), "B");
    ASSERT_EQ(DbRecGetLast(object, -1), 0);
    EXPECT_EQ(NameIn(object), "C");
    ASSERT_EQ(DbRecGetPrevious(object, -1), 0);
    EXPECT_EQ(NameIn(object), "B");
    SetKey(object, recordtest::NameKey("A"));
    ASSERT_EQ(DbRecGetEqual(object, -1), 0);
    EXPECT_EQ(NameIn(object), "A");
    SetKey(object, "AZ");
    ASSERT_EQ(DbRecGetGreaterOrEqual(object, -1), 0);
    EXPECT_EQ(NameIn(object), "B");
    EXPECT_EQ(Operations(), (std::vector<int>{12, 6, 13, 7, 5, 9}));
}

TEST_F(RecordObjectReads, AReadLeavesTheObjectsDataLengthAndTheFileKeepsTheLengthRead) {
    TydbRecordObject* object = OpenObject(CreateNamesFile({"A"}), 100);
    fake->ClearLog();
    ASSERT_EQ(DbRecGetFirst(object, -1), 0);
    EXPECT_EQ(+object->dataLength, 100);
    EXPECT_EQ(DbGetLastDataLength(object->handle), kRecordLength);
    const auto reads = fake->CallsOf(btr::kOpGetFirst);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].dataLength, 100u);
    // The key value read comes back in the object's key buffer.
    EXPECT_EQ(KeyText(object, kNameLength), recordtest::NameKey("A"));
}

TEST_F(RecordObjectReads, LockBiasMinusOneReadsWithTheFilesBiasAndKeepsIt) {
    TydbRecordObject* object = OpenObject(CreateNamesFile({"A", "B"}));
    const int16_t handle = object->handle;
    ASSERT_EQ(DbOverRideDef(handle, -1, btr::kBiasSingleNoWaitLock), 0);
    fake->ClearLog();
    ASSERT_EQ(DbRecGetFirst(object, -1), 0);
    ASSERT_EQ(DbRecGetNext(object, -1), 0);
    EXPECT_EQ(NameIn(object), "B");
    EXPECT_EQ(Operations(), (std::vector<int>{212, 206}));
    EXPECT_EQ(FileBias(handle), 200);
}

TEST_F(RecordObjectReads, LockBiasZeroReadsWithoutABiasAndTheFilesBiasComesBack) {
    TydbRecordObject* object = OpenObject(CreateNamesFile({"A", "B"}));
    const int16_t handle = object->handle;
    ASSERT_EQ(DbOverRideDef(handle, -1, btr::kBiasSingleNoWaitLock), 0);
    ASSERT_EQ(DbRecGetFirst(object, 0), 0);
    fake->ClearLog();
    ASSERT_EQ(DbRecGetNext(object, 0), 0);
    EXPECT_EQ(NameIn(object), "B");
    EXPECT_EQ(Operations(), (std::vector<int>{6}));
    EXPECT_EQ(FileBias(handle), 200);
}

TEST_F(RecordObjectReads, ALockBiasLocksThatReadOnly) {
    TydbRecordObject* object = OpenObject(CreateNamesFile({"A", "B"}));
    const int16_t handle = object->handle;
    fake->ClearLog();
    SetKey(object, recordtest::NameKey("B"));
    ASSERT_EQ(DbRecGetEqual(object, btr::kBiasSingleWaitLock), 0);
    ASSERT_EQ(DbRecGetFirst(object, -1), 0);
    EXPECT_EQ(Operations(), (std::vector<int>{105, 12}));
    EXPECT_EQ(FileBias(handle), 0);
}

TEST_F(RecordObjectReads, TheObjectsKeyNumberHoldsForOneReadAndTheFilesKeyNumberComesBack) {
    TydbRecordObject* object = OpenObject(CreateThreeKeyFile({"AAAZ", "BBBA", "MMMM"}));
    const int16_t handle = object->handle;
    ASSERT_EQ(FileKeyNumber(handle), kNameKey);
    object->keyNumber = kTextKey;
    // "ABBB" is the text of "BBBA".
    SetKey(object, "ABBB");
    fake->ClearLog();
    ASSERT_EQ(DbRecGetEqual(object, -1), 0);
    EXPECT_EQ(NameIn(object), "BBBA");
    const auto calls = fake->Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].keyNumber, kTextKey);
    EXPECT_EQ(FileKeyNumber(handle), kNameKey);
    // The file's own reads go by its own key again: the first by name, not by text.
    std::string name;
    ASSERT_EQ(Read(handle, btr::kOpGetFirst, &name), 0);
    EXPECT_EQ(name, "AAAZ");
}

TEST_F(RecordObjectReads, ANegativeObjectKeyNumberReadsByTheFilesKey) {
    TydbRecordObject* object = OpenObject(CreateThreeKeyFile({"AAAZ", "BBBA"}));
    const int16_t handle = object->handle;
    ASSERT_EQ(DbOverRideDef(handle, kTextKey, -1), 0);
    object->keyNumber = -1;
    fake->ClearLog();
    // By text "ABBB" comes before "ZAAA".
    ASSERT_EQ(DbRecGetFirst(object, -1), 0);
    EXPECT_EQ(NameIn(object), "BBBA");
    ASSERT_EQ(DbRecGetLast(object, -1), 0);
    EXPECT_EQ(NameIn(object), "AAAZ");
    for (const auto& call : fake->Calls()) EXPECT_EQ(call.keyNumber, kTextKey);
    EXPECT_EQ(FileKeyNumber(handle), kTextKey);
}

TEST_F(RecordObjectReads, AFileKeyNumberOutsideTheOverrideRangeIsPutBackExactly) {
    TydbRecordObject* object = OpenObject(CreateNamesFile({"A"}));
    const int16_t handle = object->handle;
    // 0xFFFF keeps its low 16 bits: the file's key number reads back as -1.
    ASSERT_EQ(DbOverRideDef(handle, 0xFFFF, -1), 0);
    ASSERT_EQ(FileKeyNumber(handle), -1);
    object->keyNumber = kNameKey;
    ASSERT_EQ(DbRecGetFirst(object, 0), 0);
    EXPECT_EQ(FileKeyNumber(handle), -1);
}

TEST_F(RecordObjectReads, AnObjectWithoutADataBufferIsRefusedBeforeAnyRequest) {
    TydbRecordObject* object = OpenObject(CreateNamesFile({"A"}));
    void* data = object->dataBuffer;
    object->dataBuffer = nullptr;
    fake->ClearLog();
    EXPECT_EQ(DbRecGetFirst(object, -1), TYDB_STATUS_NO_BUFFER);
    EXPECT_EQ(DbRecInsert(object), TYDB_STATUS_NO_BUFFER);
    EXPECT_EQ(DbRecUpdate(object), TYDB_STATUS_NO_BUFFER);
    EXPECT_EQ(DbRecGetDirect(object, 1, 0), TYDB_STATUS_NO_BUFFER);
    EXPECT_TRUE(fake->Calls().empty());
    object->dataBuffer = data;
}

TEST_F(RecordObjectReads, AnObjectOfRecordLengthZeroReadsTheFilesWholeRecord) {
    TydbRecordObject* object = OpenObject(CreateNamesFile({"A"}), 0);
    EXPECT_EQ(+object->dataLength, 0);
    // Data length 0 asks for the file's record length: the buffer has room for it.
    ASSERT_EQ(DbRecGetFirst(object, -1), 0);
    EXPECT_EQ(NameIn(object), "A");
    EXPECT_EQ(DbGetLastDataLength(object->handle), kRecordLength);
}

// ---- Writes ------------------------------------------------------------------------------------

class RecordObjectWrites : public ObjectTest {};

TEST_F(RecordObjectWrites, InsertAndUpdateUseTheObjectsBuffersAndKeyNumber) {
    TydbRecordObject* object = OpenObject(CreateThreeKeyFile({}));
    const int16_t handle = object->handle;
    object->keyNumber = kGroupKey;
    auto record = recordtest::MakeRecord("NEW", "grp", "textsome");
    std::memcpy(object->dataBuffer, record.bytes, kRecordLength);
    fake->ClearLog();
    ASSERT_EQ(DbRecInsert(object), 0);
    // The key value of the object's key comes back in its key buffer.
    EXPECT_EQ(KeyText(object, 4), "grp ");

    // The keys stay as they are (the record manager refuses changed values of these keys).
    record = recordtest::MakeRecord("NEW", "grp", "textelse");
    std::memcpy(object->dataBuffer, record.bytes, kRecordLength);
    ASSERT_EQ(DbRecUpdate(object), 0);
    const auto calls = fake->Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].operation, btr::kOpInsert);
    EXPECT_EQ(calls[1].operation, btr::kOpUpdate);
    for (const auto& call : calls) {
        EXPECT_EQ(call.keyNumber, kGroupKey);
        EXPECT_EQ(call.dataLength, static_cast<uint32_t>(kRecordLength));
    }
    EXPECT_EQ(FileKeyNumber(handle), kNameKey);
    SetKey(object, recordtest::NameKey("NEW"));
    object->keyNumber = kNameKey;
    ASSERT_EQ(DbRecGetEqual(object, -1), 0);
    EXPECT_EQ(std::string(static_cast<const char*>(object->dataBuffer) + kTextOffset, 8), "textelse");
}

TEST_F(RecordObjectWrites, WritesKeepTheFilesBias) {
    TydbRecordObject* object = OpenObject(CreateNamesFile({}));
    const int16_t handle = object->handle;
    ASSERT_EQ(DbOverRideDef(handle, -1, btr::kBiasNoWriteWait), 0);
    fake->Script(btr::kOpInsert + btr::kBiasNoWriteWait, "*", 0);
    fake->ClearLog();
    EXPECT_EQ(DbRecInsert(object), 0);
    EXPECT_EQ(Operations(), (std::vector<int>{502}));
    EXPECT_EQ(FileBias(handle), 500);
}

TEST_F(RecordObjectWrites, DeleteRemovesTheCurrentRecordWithoutLookingAtTheKeyBuffer) {
    TydbRecordObject* object = OpenObject(CreateNamesFile({"A", "B", "C"}));
    const int16_t handle = object->handle;
    SetKey(object, recordtest::NameKey("B"));
    ASSERT_EQ(DbRecGetEqual(object, -1), 0);
    // A key value of no record, and of another one: neither counts.
    SetKey(object, recordtest::NameKey("ZZZ"));
    fake->ClearLog();
    ASSERT_EQ(DbRecDelete(object), 0);
    EXPECT_EQ(Operations(), (std::vector<int>{btr::kOpDelete}));
    EXPECT_EQ(RecordCount(handle), 2u);
    EXPECT_EQ(NameAfter(handle, btr::kOpGetFirst), "A");
    EXPECT_EQ(NameAfter(handle, btr::kOpGetNext), "C");

    SetKey(object, recordtest::NameKey("A"));
    ASSERT_EQ(DbRecGetLast(object, -1), 0);
    ASSERT_EQ(DbRecDelete(object), 0);
    EXPECT_EQ(NameAfter(handle, btr::kOpGetFirst), "A");
    EXPECT_EQ(RecordCount(handle), 1u);
}

// ---- Positions, Get Direct and unlock ------------------------------------------------------------

class RecordObjectPositions : public ObjectTest {};

TEST_F(RecordObjectPositions, APositionTakenPutsTheFileBackOnItsRecord) {
    TydbRecordObject* object = OpenObject(CreateNamesFile({"A", "B", "C"}));
    SetKey(object, recordtest::NameKey("B"));
    ASSERT_EQ(DbRecGetEqual(object, -1), 0);
    uint32_t position = 0;
    ASSERT_EQ(DbRecGetPosition(object, &position), 0);
    EXPECT_NE(position, 0u);
    ASSERT_EQ(DbRecGetFirst(object, -1), 0);
    ASSERT_EQ(DbRecSetPosition(object, position), 0);
    ASSERT_EQ(DbRecGetNext(object, -1), 0);
    EXPECT_EQ(NameIn(object), "C");
    EXPECT_EQ(DbRecGetPosition(object, nullptr), TYDB_STATUS_NO_BUFFER);
}

TEST_F(RecordObjectPositions, PositionZeroPutsTheFileOnTheFirstRecordOfItsCurrentKey) {
    TydbRecordObject* object = OpenObject(CreateThreeKeyFile({"AAAZ", "BBBA", "MMMM"}));
    ASSERT_EQ(DbOverRideDef(object->handle, kTextKey, -1), 0);
    object->keyNumber = -1;
    ASSERT_EQ(DbRecGetLast(object, -1), 0);
    EXPECT_EQ(NameIn(object), "AAAZ");
    ASSERT_EQ(DbRecSetPosition(object, 0), 0);
    // By text, BBBA ("ABBB") is first and MMMM follows; by name AAAZ would be first.
    ASSERT_EQ(DbRecGetNext(object, -1), 0);
    EXPECT_EQ(NameIn(object), "MMMM");
}

TEST_F(RecordObjectPositions, GetDirectSendsTwentyThreeAndLeavesTheLengthReadInTheObject) {
    TydbRecordObject* object = OpenObject(CreateNamesFile({"A", "B", "C"}), 100);
    SetKey(object, recordtest::NameKey("B"));
    ASSERT_EQ(DbRecGetEqual(object, -1), 0);
    uint32_t position = 0;
    ASSERT_EQ(DbRecGetPosition(object, &position), 0);
    ASSERT_EQ(DbRecGetLast(object, -1), 0);
    std::memset(object->keyBuffer, 0, TYDB_RECORD_KEY_BUFFER_SIZE);
    fake->ClearLog();
    ASSERT_EQ(DbRecGetDirect(object, position, 0), 0);
    EXPECT_EQ(NameIn(object), "B");
    EXPECT_EQ(+object->dataLength, kRecordLength);
    EXPECT_EQ(KeyText(object, kNameLength), recordtest::NameKey("B"));
    const auto calls = fake->Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].operation, btr::kOpGetDirect);
    EXPECT_EQ(calls[0].dataLength, 100u);
    // The file stands on B now.
    ASSERT_EQ(DbRecGetNext(object, -1), 0);
    EXPECT_EQ(NameIn(object), "C");
}

TEST_F(RecordObjectPositions, GetDirectWithADataLengthShorterThanAPositionIsRefusedUntouched) {
    TydbRecordObject* object = OpenObject(CreateNamesFile({"A"}));
    void* own = object->dataBuffer;
    char data[8];
    std::memset(data, 0x77, sizeof data);
    object->dataBuffer = data;
    object->dataLength = 2;
    fake->ClearLog();
    EXPECT_EQ(DbRecGetDirect(object, 1, 0), btr::kStatusDataLengthError);
    EXPECT_EQ(std::string(data, sizeof data), std::string(sizeof data, '\x77'));
    EXPECT_TRUE(fake->Calls().empty());
    object->dataBuffer = own;
}

TEST_F(RecordObjectPositions, GetDirectUsesTheObjectsKeyNumberAndNeitherTheFilesKeyNorBias) {
    TydbRecordObject* object = OpenObject(CreateThreeKeyFile({"ABCD", "DCBX"}));
    const int16_t handle = object->handle;
    ASSERT_EQ(DbRecGetFirst(object, -1), 0);
    uint32_t position = 0;
    ASSERT_EQ(DbRecGetPosition(object, &position), 0);
    ASSERT_EQ(DbOverRideDef(handle, kGroupKey, btr::kBiasSingleNoWaitLock), 0);
    object->keyNumber = kTextKey;
    fake->ClearLog();
    ASSERT_EQ(DbRecGetDirect(object, position, 0), 0);
    const auto calls = fake->Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].operation, btr::kOpGetDirect);
    EXPECT_EQ(calls[0].keyNumber, kTextKey);
    // The text key's value of ABCD.
    EXPECT_EQ(KeyText(object, kTextKeyLength), "DCBA");
    EXPECT_EQ(FileKeyNumber(handle), kGroupKey);
    EXPECT_EQ(FileBias(handle), 200);
}

TEST_F(RecordObjectPositions, GetDirectAddsTheLockBiasAsItIsEvenMinusOne) {
    TydbRecordObject* object = OpenObject(CreateNamesFile({"A"}));
    ASSERT_EQ(DbRecGetFirst(object, -1), 0);
    uint32_t position = 0;
    ASSERT_EQ(DbRecGetPosition(object, &position), 0);
    fake->Script(22, "*", 0);
    fake->ClearLog();
    EXPECT_EQ(DbRecGetDirect(object, position, btr::kBiasSingleWaitLock), 0);
    EXPECT_EQ(DbRecGetDirect(object, position, -1), 0);
    EXPECT_EQ(Operations(), (std::vector<int>{123, 22}));
}

TEST_F(RecordObjectPositions, GetDirectOfAShortObjectKeepsThePositionInItsBuffer) {
    TydbRecordObject* object = OpenObject(CreateNamesFile({"A"}), 2);
    ASSERT_EQ(DbRecGetFirst(object, 0), btr::kStatusDataLengthError);
    uint32_t position = 0;
    ASSERT_EQ(DbRecGetPosition(object, &position), 0);
    // Two bytes are too short for the record; the position still fits in the buffer.
    EXPECT_EQ(DbRecGetDirect(object, position, 0), btr::kStatusDataLengthError);
}

TEST_F(RecordObjectPositions, UnlockReleasesTheSingleRecordLock) {
    TydbRecordObject* object = OpenObject(CreateNamesFile({"A", "B"}));
    SetKey(object, recordtest::NameKey("B"));
    ASSERT_EQ(DbRecGetEqual(object, btr::kBiasSingleWaitLock), 0);
    uint32_t position = 0;
    ASSERT_EQ(DbRecGetPosition(object, &position), 0);
    fake->ClearLog();
    EXPECT_EQ(DbRecUnlock(object, position), 0);
    const auto calls = fake->Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].operation, btr::kOpUnlock);
    EXPECT_EQ(calls[0].keyNumber, btr::kUnlockSingle);
}

// ---- Key numbers from the file -------------------------------------------------------------------

class RecordObjectKeyNumbers : public ObjectTest {};

TEST_F(RecordObjectKeyNumbers, SyncCopiesTheFilesCurrentKeyNumber) {
    TydbRecordObject* object = OpenObject(CreateThreeKeyFile({"A"}));
    ASSERT_EQ(DbOverRideDef(object->handle, kTextKey, -1), 0);
    DbRecSyncKeyNumber(object);
    EXPECT_EQ(+object->keyNumber, kTextKey);
}

TEST_F(RecordObjectKeyNumbers, DeactivateGivesTheKeyBackAndCopiesTheFilesKeyNumber) {
    TydbRecordObject* object = OpenObject(CreateNamesFile({"A", "B"}));
    const int16_t handle = object->handle;
    // A key over the free text: a supplemental key the library builds.
    const BtrKeySpec definition = recordtest::Segment(kTextOffset + 1, kTextKeyLength, btr::kKeyFlagDuplicates);
    ASSERT_EQ(DbActivateKey(handle, static_cast<int16_t>(sizeof definition), &definition), 0);
    const int32_t activated = FileKeyNumber(handle);
    ASSERT_GE(activated, 2);
    ASSERT_EQ(+object->keyNumber, 0);
    EXPECT_EQ(DbRecDeactivateKey(object), 0);
    EXPECT_EQ(+object->keyNumber, activated);
    // On a permanent key a deactivation changes nothing and answers 0; the object follows the
    // file's key number.
    ASSERT_EQ(DbOverRideDef(handle, kNameKey, -1), 0);
    EXPECT_EQ(DbRecDeactivateKey(object), 0);
    EXPECT_EQ(+object->keyNumber, kNameKey);
}

// ---- Statistics and counting ---------------------------------------------------------------------

class RecordObjectCounts : public ObjectTest {};

TEST_F(RecordObjectCounts, AnEmptyFileCountsZeroAndInsertsCountUp) {
    TydbRecordObject* object = OpenObject(CreateNamesFile({}));
    EXPECT_EQ(DbRecRecordCount(object), 0);
    for (const char* name : {"A", "B", "C"}) {
        const auto record = recordtest::MakeRecord(name);
        std::memcpy(object->dataBuffer, record.bytes, kRecordLength);
        ASSERT_EQ(DbRecInsert(object), 0);
    }
    EXPECT_EQ(DbRecRecordCount(object), 3);
}

TEST_F(RecordObjectCounts, AFileNotOpenCountsMinusOne) {
    TydbRecordObject* object = NewObject();
    EXPECT_EQ(DbRecRecordCount(object), -1);
    EXPECT_EQ(DbRecRecordCount(nullptr), -1);
    TydbRecordObject* opened = OpenObject(CreateNamesFile({"A"}));
    ASSERT_EQ(DbRecClose(opened), 0);
    EXPECT_EQ(DbRecRecordCount(opened), -1);
}

TEST_F(RecordObjectCounts, AFailedStatCountsMinusOne) {
    TydbRecordObject* object = OpenObject(CreateNamesFile({"A"}));
    fake->Script(btr::kOpStat, "*", btr::kStatusFileNotOpen);
    EXPECT_EQ(DbRecRecordCount(object), -1);
}

TEST_F(RecordObjectCounts, FileStatFillsTheCallersBuffer) {
    TydbRecordObject* object = OpenObject(CreateNamesFile({"A", "B"}));
    uint8_t statistics[TYDB_STATISTICS_SIZE] = {};
    ASSERT_EQ(DbRecFileStat(object, statistics), 0);
    BtrFileSpec spec;
    std::memcpy(&spec, statistics, sizeof spec);
    EXPECT_EQ(+spec.recordLength, kRecordLength);
    EXPECT_EQ(+spec.recordCount, 2u);
    EXPECT_EQ(DbRecFileStat(object, nullptr), TYDB_STATUS_NO_BUFFER);
}

}  // namespace
