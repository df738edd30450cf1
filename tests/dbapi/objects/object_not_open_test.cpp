// Objects whose file is not open, and no object at all: every operation answers without a
// request and without touching any entry of the open-file table.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "object_fixture.h"
#include "open_file_table.h"
#include "tydb.h"

using namespace objecttest;

namespace {

class RecordObjectNotOpen : public ObjectTest {
protected:
    void SnapshotTable() {
        for (int i = 0; i < tydb::kOpenFileCount; ++i) before_[i] = tydb::EntryAt(i);
    }
    void ExpectTableUnchanged() {
        for (int i = 0; i < tydb::kOpenFileCount; ++i) {
            EXPECT_EQ(std::memcmp(&before_[i], &tydb::EntryAt(i), sizeof before_[i]), 0) << "entry " << i;
        }
    }

    // Runs every operation on `object` and checks what a file that is not open gives.
    void ExpectEveryOperationRefused(TydbRecordObject* object) {
        for (int32_t bias : {-1, 0, 100}) {
            EXPECT_EQ(DbRecGetFirst(object, bias), TYDB_STATUS_INVALID_HANDLE);
            EXPECT_EQ(DbRecGetNext(object, bias), TYDB_STATUS_INVALID_HANDLE);
            EXPECT_EQ(DbRecGetLast(object, bias), TYDB_STATUS_INVALID_HANDLE);
            EXPECT_EQ(DbRecGetPrevious(object, bias), TYDB_STATUS_INVALID_HANDLE);
            EXPECT_EQ(DbRecGetEqual(object, bias), TYDB_STATUS_INVALID_HANDLE);
            EXPECT_EQ(DbRecGetGreaterOrEqual(object, bias), TYDB_STATUS_INVALID_HANDLE);
            EXPECT_EQ(DbRecGetDirect(object, 1, bias), TYDB_STATUS_INVALID_HANDLE);
        }
        EXPECT_EQ(DbRecInsert(object), TYDB_STATUS_INVALID_HANDLE);
        EXPECT_EQ(DbRecUpdate(object), TYDB_STATUS_INVALID_HANDLE);
        EXPECT_EQ(DbRecDelete(object), TYDB_STATUS_INVALID_HANDLE);
        uint32_t position = 7;
        EXPECT_EQ(DbRecGetPosition(object, &position), TYDB_STATUS_INVALID_HANDLE);
        EXPECT_EQ(position, 7u);
        EXPECT_EQ(DbRecSetPosition(object, 1), TYDB_STATUS_INVALID_HANDLE);
        EXPECT_EQ(DbRecUnlock(object, 1), TYDB_STATUS_INVALID_HANDLE);
        uint8_t statistics[TYDB_STATISTICS_SIZE];
        std::memset(statistics, 0x5A, sizeof statistics);
        EXPECT_EQ(DbRecFileStat(object, statistics), TYDB_STATUS_INVALID_HANDLE);
        EXPECT_EQ(statistics[0], 0x5A);
        EXPECT_EQ(DbRecRecordCount(object), -1);
        EXPECT_EQ(DbRecClose(object), TYDB_STATUS_INVALID_HANDLE);
        DbRecSyncKeyNumber(object);
        EXPECT_EQ(DbRecDeactivateKey(object), TYDB_STATUS_INVALID_HANDLE);
    }

private:
    tydb::OpenFileEntry before_[tydb::kOpenFileCount];
};

TEST_F(RecordObjectNotOpen, AnObjectNeverOpenedTouchesNoEntryAndSendsNothing) {
    // Two open files with their own defaults, which must stay as they are.
    const std::string path = CreateNamesFile({"A", "B"});
    const int16_t first = Open(path);
    const int16_t second = Open(CreateNamesFile({"C"}, "OTHER.DAT"));
    ASSERT_EQ(DbOverRideDef(first, 1, 200), 0);
    ASSERT_EQ(DbOverRideDef(second, 0, 300), 0);

    TydbRecordObject* object = NewObject();
    object->keyNumber = 1;
    SetKey(object, recordtest::NameKey("A"));
    const Fields fields = FieldsOf(object);
    const std::string key = KeyText(object, TYDB_RECORD_KEY_BUFFER_SIZE);
    SnapshotTable();
    fake->ClearLog();

    ExpectEveryOperationRefused(object);

    ExpectTableUnchanged();
    EXPECT_TRUE(fake->Calls().empty());
    const Fields after = FieldsOf(object);
    EXPECT_EQ(after.handle, fields.handle);
    EXPECT_EQ(after.dataLength, fields.dataLength);
    EXPECT_EQ(after.keyNumber, 1);
    EXPECT_EQ(KeyText(object, TYDB_RECORD_KEY_BUFFER_SIZE), key);
}

TEST_F(RecordObjectNotOpen, AnObjectWhoseFileWasClosedTouchesNoEntryAndSendsNothing) {
    // Another file open before and after it, in an entry of its own.
    const int16_t other = Open(CreateNamesFile({"C"}, "OTHER.DAT"));
    TydbRecordObject* object = OpenObject(CreateNamesFile({"A", "B"}));
    const int16_t stale = object->handle;
    ASSERT_EQ(DbRecClose(object), 0);
    ASSERT_NE(other, stale);
    ASSERT_EQ(DbOverRideDef(other, 1, 400), 0);
    object->keyNumber = 1;
    SnapshotTable();
    fake->ClearLog();

    ExpectEveryOperationRefused(object);

    ExpectTableUnchanged();
    EXPECT_TRUE(fake->Calls().empty());
    EXPECT_EQ(+object->handle, stale);
    EXPECT_EQ(+object->keyNumber, 1);
}

TEST_F(RecordObjectNotOpen, HandlesOutsideTheTableAreRefusedToo) {
    TydbRecordObject* object = NewObject();
    SnapshotTable();
    fake->ClearLog();
    for (int16_t handle : {int16_t(0), int16_t(65), int16_t(-32768), int16_t(32767)}) {
        object->handle = handle;
        ExpectEveryOperationRefused(object);
    }
    ExpectTableUnchanged();
    EXPECT_TRUE(fake->Calls().empty());
    object->handle = -1;
}

TEST_F(RecordObjectNotOpen, NoObjectAtAllIsRefusedEverywhere) {
    const int16_t handle = Open(CreateNamesFile({"A"}));
    SnapshotTable();
    fake->ClearLog();
    ExpectEveryOperationRefused(nullptr);
    ExpectTableUnchanged();
    EXPECT_TRUE(fake->Calls().empty());
    EXPECT_EQ(DbRecFree(nullptr), 0);
    EXPECT_EQ(DbRecPadKey(nullptr), TYDB_STATUS_NO_BUFFER);
    EXPECT_EQ(FileKeyNumber(handle), 0);
}

}  // namespace
