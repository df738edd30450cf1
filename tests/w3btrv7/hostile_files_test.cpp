// Files that are not what they should be: a definition altered or damaged on disk is refused
// before any record is read through it, and a file refused as foreign is left exactly as it was.
#include <gtest/gtest.h>

#include "w3btrv7_test_util.h"

using namespace w3btest;
using testsupport::TempDir;

namespace {

// Runs `sql` on a data file straight through SQLite, with the stored specification of the
// file (`?1`, 16 bytes) and of its first key segment (`?2`) after `edit` changed them.
void Tamper(const std::string& path, const char* sql, void (*edit)(BtrFileSpec*, BtrKeySpec*)) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    BtrFileSpec file{};
    BtrKeySpec segment{};
    sqlite3_stmt* read = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(db, "SELECT (SELECT spec FROM w3b_file), (SELECT spec FROM w3b_keyseg)", -1, &read, nullptr),
        SQLITE_OK);
    ASSERT_EQ(sqlite3_step(read), SQLITE_ROW);
    std::memcpy(&file, sqlite3_column_blob(read, 0), sizeof file);
    std::memcpy(&segment, sqlite3_column_blob(read, 1), sizeof segment);
    sqlite3_finalize(read);
    edit(&file, &segment);
    sqlite3_stmt* write = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, sql, -1, &write, nullptr), SQLITE_OK);
    sqlite3_bind_blob(write, 1, &file, sizeof file, SQLITE_TRANSIENT);
    sqlite3_bind_blob(write, 2, &segment, sizeof segment, SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(write), SQLITE_DONE);
    sqlite3_finalize(write);
    sqlite3_close(db);
}

struct Damage {
    const char* name;
    const char* sql;
    void (*edit)(BtrFileSpec*, BtrKeySpec*);
};

const char kKeySql[] = "UPDATE w3b_keyseg SET spec = ?2 WHERE ?1 IS NOT NULL";
const char kFileSql[] = "UPDATE w3b_file SET spec = ?1 WHERE ?2 IS NOT NULL";

class DamagedDefinition : public ::testing::TestWithParam<Damage> {};

}  // namespace

TEST_P(DamagedDefinition, OpenAnswers30) {
    TempDir dir;
    std::string path = dir.File("DAMAGED.DAT");
    Definition def(32, 1);
    def.segments.push_back(Segment(17, 8, 0));
    ASSERT_EQ(Create(path, def), 0);
    Tamper(path, GetParam().sql, GetParam().edit);
    PositionBlock pb;
    EXPECT_EQ(Open(pb, path), btr::kStatusNotABtrieveFile);
}

INSTANTIATE_TEST_SUITE_P(
    Definitions, DamagedDefinition,
    ::testing::Values(Damage{"KeyLongerThanTheRecord", kKeySql, [](BtrFileSpec*, BtrKeySpec* k) { k->length = 200; }},
                      Damage{"NegativeKeyLength", kKeySql, [](BtrFileSpec*, BtrKeySpec* k) { k->length = -1; }},
                      Damage{"KeyAtPositionZero", kKeySql, [](BtrFileSpec*, BtrKeySpec* k) { k->position = 0; }},
                      Damage{"LastSegmentSaysAnotherFollows", kKeySql,
                             [](BtrFileSpec*, BtrKeySpec* k) { k->flags |= btr::kKeyFlagSegmented; }},
                      Damage{"RecordShorterThanItsKey", kFileSql,
                             [](BtrFileSpec* f, BtrKeySpec*) { f->recordLength = 16; }},
                      Damage{"UnknownPageSize", kFileSql, [](BtrFileSpec* f, BtrKeySpec*) { f->pageSize = 100; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ForeignFiles, ARefusedOpenLeavesTheFileAsItWasAndNothingBesideIt) {
    TempDir dir;
    std::string empty = dir.File("EMPTY.DAT"), foreign = dir.File("OTHER.DB");
    ASSERT_TRUE(testsupport::WriteFileBytes(empty, ""));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(foreign.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE t(a); INSERT INTO t VALUES(1)", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    for (const std::string& path : {empty, foreign}) {
        std::optional<std::string> before = testsupport::ReadFileBytes(path);
        PositionBlock pb;
        EXPECT_EQ(Open(pb, path), btr::kStatusNotABtrieveFile) << path;
        EXPECT_TRUE(testsupport::ReadFileBytes(path) == before) << path << " changed";
        EXPECT_FALSE(testsupport::ReadFileBytes(path + "-wal").has_value()) << path;
        EXPECT_FALSE(testsupport::ReadFileBytes(path + "-shm").has_value()) << path;
    }
}
