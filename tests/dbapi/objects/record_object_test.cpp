// Record objects on their own: creation, freeing and key padding.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "heap_block.h"
#include "object_fixture.h"
#include "tydb.h"

using namespace objecttest;

namespace {

bool AllZero(const void* block, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(block);
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] != 0) return false;
    }
    return true;
}

TEST(RecordObjectCreate, GivesHandleMinusOneTheLengthsKeyZeroReservedOneAndZeroedBuffers) {
    TydbRecordObject* object = DbRecCreate(100, 11);
    ASSERT_NE(object, nullptr);
    const Fields fields = FieldsOf(object);
    EXPECT_EQ(fields.handle, -1);
    EXPECT_EQ(fields.dataLength, 100);
    EXPECT_EQ(fields.keyLength, 11);
    EXPECT_EQ(fields.keyNumber, 0);
    EXPECT_EQ(fields.reserved, 1);
    ASSERT_NE(fields.dataBuffer, nullptr);
    ASSERT_NE(fields.keyBuffer, nullptr);
    EXPECT_NE(fields.dataBuffer, fields.keyBuffer);
    EXPECT_TRUE(AllZero(fields.dataBuffer, 100));
    EXPECT_TRUE(AllZero(fields.keyBuffer, TYDB_RECORD_KEY_BUFFER_SIZE));
    EXPECT_NE(DbRecFree(object), 0);
}

TEST(RecordObjectCreate, DataLengthIsTheLowSixteenBitsOfTheRecordLength) {
    TydbRecordObject* object = DbRecCreate(70000, 5);
    ASSERT_NE(object, nullptr);
    const Fields fields = FieldsOf(object);
    EXPECT_EQ(fields.dataLength, static_cast<int16_t>(70000 & 0xFFFF));
    // The whole record length is there to use, zero-filled.
    EXPECT_TRUE(AllZero(fields.dataBuffer, 70000));
    EXPECT_NE(DbRecFree(object), 0);

    object = DbRecCreate(40000, 5);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(static_cast<uint16_t>(object->dataLength), 40000);
    EXPECT_NE(DbRecFree(object), 0);
}

TEST(RecordObjectCreate, RefusesANegativeRecordLength) {
    EXPECT_EQ(DbRecCreate(-1, 11), nullptr);
    EXPECT_EQ(DbRecCreate(INT32_MIN, 11), nullptr);
}

TEST(RecordObjectCreate, KeepsAnyKeyLengthAsGiven) {
    for (int32_t keyLength : {0, -3, 255, 1000}) {
        TydbRecordObject* object = DbRecCreate(10, keyLength);
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(+object->keyLength, keyLength);
        DbRecFree(object);
    }
}

TEST(RecordObjectFree, ANullObjectReleasesNothing) { EXPECT_EQ(DbRecFree(nullptr), 0); }

TEST(RecordObjectFree, ToleratesBuffersTheApplicationTookAway) {
    TydbRecordObject* object = DbRecCreate(10, 5);
    ASSERT_NE(object, nullptr);
    void* data = object->dataBuffer;
    void* key = object->keyBuffer;
    object->dataBuffer = nullptr;
    object->keyBuffer = nullptr;
    EXPECT_NE(DbRecFree(object), 0);
    // The two blocks are the application's now.
    EXPECT_NE(tydb::FreeBlock(data), 0);
    EXPECT_NE(tydb::FreeBlock(key), 0);
}

// Pads the key string `key` of an object with key length `keyLength`; the whole key buffer after.
std::string Padded(const std::string& key, int32_t keyLength, char filler = 0) {
    TydbRecordObject* object = DbRecCreate(10, keyLength);
    EXPECT_NE(object, nullptr);
    if (object == nullptr) return {};
    std::memset(object->keyBuffer, filler, TYDB_RECORD_KEY_BUFFER_SIZE);
    std::memcpy(object->keyBuffer, key.c_str(), std::min<size_t>(key.size() + 1, TYDB_RECORD_KEY_BUFFER_SIZE));
    EXPECT_EQ(DbRecPadKey(object), 0);
    std::string buffer(static_cast<const char*>(object->keyBuffer), TYDB_RECORD_KEY_BUFFER_SIZE);
    DbRecFree(object);
    return buffer;
}

TEST(RecordObjectPadKey, ThreeCharactersGetSevenBlanksAndTheNulAtTen) {
    const std::string buffer = Padded("abc", 11, 'x');
    EXPECT_EQ(buffer.substr(0, 11), std::string("abc       ") + '\0');
    // Nothing after the key length is written.
    EXPECT_EQ(buffer.substr(11), std::string(TYDB_RECORD_KEY_BUFFER_SIZE - 11, 'x'));
}

TEST(RecordObjectPadKey, TenCharactersChangeNothing) {
    const std::string key = "abcdefghij";
    const std::string buffer = Padded(key, 11, 'x');
    EXPECT_EQ(buffer.substr(0, 11), key + '\0');
    EXPECT_EQ(buffer.substr(11), std::string(TYDB_RECORD_KEY_BUFFER_SIZE - 11, 'x'));
}

TEST(RecordObjectPadKey, AnEmptyKeyBecomesTenBlanksAndTheNul) {
    const std::string buffer = Padded("", 11, 'x');
    EXPECT_EQ(buffer.substr(0, 11), std::string(10, ' ') + '\0');
    EXPECT_EQ(buffer[11], 'x');
}

TEST(RecordObjectPadKey, ALongerKeyIsNotShortened) {
    const std::string key = "abcdefghijklmn";
    const std::string buffer = Padded(key, 11, 'x');
    EXPECT_EQ(buffer.substr(0, key.size() + 1), key + '\0');
}

TEST(RecordObjectPadKey, KeyLengthsOfOneOrLessChangeNothing) {
    for (int32_t keyLength : {1, 0, -5}) {
        const std::string buffer = Padded("", keyLength, 'x');
        EXPECT_EQ(buffer, std::string(1, '\0') + std::string(TYDB_RECORD_KEY_BUFFER_SIZE - 1, 'x')) << keyLength;
    }
}

TEST(RecordObjectPadKey, AKeyLengthBeyondTheBufferPadsOnlyToItsEnd) {
    const std::string buffer = Padded("ab", 1000, 'x');
    EXPECT_EQ(buffer.substr(0, 2), "ab");
    EXPECT_EQ(buffer.substr(2, TYDB_RECORD_KEY_BUFFER_SIZE - 3), std::string(TYDB_RECORD_KEY_BUFFER_SIZE - 3, ' '));
    EXPECT_EQ(buffer[TYDB_RECORD_KEY_BUFFER_SIZE - 1], '\0');
}

TEST(RecordObjectPadKey, AKeyBufferWithoutNulIsLeftAlone) {
    TydbRecordObject* object = DbRecCreate(10, 11);
    ASSERT_NE(object, nullptr);
    std::memset(object->keyBuffer, 'A', TYDB_RECORD_KEY_BUFFER_SIZE);
    EXPECT_EQ(DbRecPadKey(object), 0);
    EXPECT_EQ(KeyText(object, TYDB_RECORD_KEY_BUFFER_SIZE), std::string(TYDB_RECORD_KEY_BUFFER_SIZE, 'A'));
    DbRecFree(object);
}

TEST(RecordObjectPadKey, NoObjectOrNoKeyBufferIsRefused) {
    EXPECT_EQ(DbRecPadKey(nullptr), TYDB_STATUS_NO_BUFFER);
    TydbRecordObject* object = DbRecCreate(10, 11);
    ASSERT_NE(object, nullptr);
    void* key = object->keyBuffer;
    object->keyBuffer = nullptr;
    EXPECT_EQ(DbRecPadKey(object), TYDB_STATUS_NO_BUFFER);
    object->keyBuffer = key;
    DbRecFree(object);
}

}  // namespace
