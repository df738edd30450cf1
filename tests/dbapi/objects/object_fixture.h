// Fixtures for the record-object tests: objects on a data file of known records, behind the
// recording fake (which passes every request it has no script for on to the real record
// manager), freed at the end of each test.
#ifndef TYDB_TESTS_DBAPI_OBJECTS_OBJECT_FIXTURE_H
#define TYDB_TESTS_DBAPI_OBJECTS_OBJECT_FIXTURE_H

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "record_fixture.h"
#include "tydb.h"

namespace objecttest {

using recordtest::kNameLength;
using recordtest::kRecordLength;

// Key 2 of the three-key file: bytes 13..16, the start of the free text.
inline constexpr int kTextOffset = 12;
inline constexpr int kTextKeyLength = 4;

// The three-key file's key numbers.
inline constexpr int16_t kNameKey = 0;
inline constexpr int16_t kGroupKey = 1;
inline constexpr int16_t kTextKey = 2;

// A copy of a record object's fields; the object itself is packed, so its fields are read
// into plain values before they are compared.
struct Fields {
    int16_t handle;
    void* dataBuffer;
    void* keyBuffer;
    int16_t dataLength;
    int32_t keyLength;
    int16_t keyNumber;
    int32_t reserved;
};

inline Fields FieldsOf(const TydbRecordObject* object) {
    return {object->handle,    object->dataBuffer, object->keyBuffer, object->dataLength,
            object->keyLength, object->keyNumber,  object->reserved};
}

inline std::string KeyText(const TydbRecordObject* object, size_t length) {
    return std::string(static_cast<const char*>(object->keyBuffer), length);
}

inline void SetKey(TydbRecordObject* object, const std::string& value) {
    std::memset(object->keyBuffer, 0, TYDB_RECORD_KEY_BUFFER_SIZE);
    std::memcpy(object->keyBuffer, value.data(), value.size());
}

inline std::string NameIn(const TydbRecordObject* object) {
    return recordtest::NameOf(static_cast<const char*>(object->dataBuffer));
}

class ObjectTest : public recordtest::FakeEngineTest {
protected:
    void TearDown() override {
        for (TydbRecordObject* object : objects_) DbRecFree(object);
        recordtest::FakeEngineTest::TearDown();
    }

    // A new object, freed by the fixture.
    TydbRecordObject* NewObject(int32_t recordLength = kRecordLength, int32_t keyLength = kNameLength + 1) {
        TydbRecordObject* object = DbRecCreate(recordLength, keyLength);
        EXPECT_NE(object, nullptr);
        if (object != nullptr) objects_.push_back(object);
        return object;
    }

    // A new object whose file is `path`, opened through the object itself.
    TydbRecordObject* OpenObject(const std::string& path, int32_t recordLength = kRecordLength) {
        TydbRecordObject* object = NewObject(recordLength);
        if (object == nullptr) return nullptr;
        EXPECT_EQ(DbRecOpen(reinterpret_cast<int16_t*>(object), 0, path.c_str()), 0) << path;
        return object;
    }

    // A file with three keys (name, group with duplicates, text with duplicates) holding one
    // record per name; the text of each record is its name reversed, so the text key orders the
    // records differently from the name key.
    std::string CreateThreeKeyFile(const std::vector<std::string>& names) {
        const std::string path = Path("THREE.DAT");
        const BtrFileSpec spec = recordtest::FileSpec(kRecordLength, 3);
        const auto segments = recordtest::Terminated(
            {recordtest::Segment(1, kNameLength), recordtest::Segment(9, 4, btr::kKeyFlagDuplicates),
             recordtest::Segment(kTextOffset + 1, kTextKeyLength, btr::kKeyFlagDuplicates)});
        EXPECT_EQ(DbCreateFile(path.c_str(), &spec, segments.data()), 0);
        const int16_t handle = Open(path);
        for (const auto& name : names) {
            const std::string text(name.rbegin(), name.rend());
            Insert(handle, recordtest::MakeRecord(name, "g", text));
        }
        EXPECT_EQ(DbClose(handle), 0);
        return path;
    }

    int32_t FileKeyNumber(int16_t handle) {
        int32_t keyNumber = -99;
        EXPECT_EQ(DbGetOverRideDef(handle, &keyNumber, nullptr), 0);
        return keyNumber;
    }
    int32_t FileBias(int16_t handle) {
        int32_t bias = -99;
        EXPECT_EQ(DbGetOverRideDef(handle, nullptr, &bias), 0);
        return bias;
    }

private:
    std::vector<TydbRecordObject*> objects_;
};

}  // namespace objecttest

#endif  // TYDB_TESTS_DBAPI_OBJECTS_OBJECT_FIXTURE_H
