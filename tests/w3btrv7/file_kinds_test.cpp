// Files without keys, key-only files, segmented keys with a descending segment, and the
// version setting's forms.
#include <gtest/gtest.h>

#include "w3btrv7_test_util.h"

using namespace w3btest;
using testsupport::ScopedEnv;
using testsupport::TempDir;

TEST(FileKinds, AFileWithoutKeysIsReadByStepsAndGetDirect) {
    TempDir dir;
    std::string path = dir.File("NOKEYS.DAT");
    ASSERT_EQ(Create(path, Definition(8, 0)), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, path), 0);
    EXPECT_EQ(Insert(pb, "recordA!", 0), btr::kStatusInvalidKeyNumber);
    ASSERT_EQ(Insert(pb, "recordA!", -1), 0);
    ASSERT_EQ(Insert(pb, "recordB!", -1), 0);
    uint32_t position = Position(pb);
    EXPECT_EQ(Get(btr::kOpGetFirst, pb, 0).status, btr::kStatusInvalidKeyNumber);
    EXPECT_EQ(Get(btr::kOpStepFirst, pb, 0).record, "recordA!");
    EXPECT_EQ(Get(btr::kOpStepNext, pb, 0).record, "recordB!");
    std::string data = U32(position) + std::string(4, '\0');
    uint32_t length = 8;
    char key[1];
    ASSERT_EQ(Call(btr::kOpGetDirect, pb, data.data(), &length, key, 0, -1), 0);
    EXPECT_EQ(data, "recordB!");
    std::string stat(100, '\0');
    length = 100;
    ASSERT_EQ(Call(btr::kOpStat, pb, stat.data(), &length, key, 1, 0), 0);
    EXPECT_EQ(length, 16u);
}

TEST(FileKinds, KeyOnlyFilesRefuseStepsAndASecondKey) {
    TempDir dir;
    std::string path = dir.File("KEYONLY.DAT");
    Definition def(6, 1, btr::kFileFlagKeyOnly);
    def.segments.push_back(Segment(1, 6, 0));
    ASSERT_EQ(Create(path, def), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, path), 0);
    ASSERT_EQ(Insert(pb, "banana"), 0);
    ASSERT_EQ(Insert(pb, "apple "), 0);
    EXPECT_EQ(Get(btr::kOpGetFirst, pb, 0).record, "apple ");
    EXPECT_EQ(Get(btr::kOpStepFirst, pb, 0).status, btr::kStatusOperationNotAllowed);
    BtrKeySpec second = Segment(2, 2, btr::kKeyFlagDuplicates);
    uint32_t length = sizeof second;
    char key[255] = {};
    EXPECT_EQ(Call(btr::kOpCreateIndex, pb, &second, &length, key, 255, 0), btr::kStatusNumberOfKeys);
}

TEST(FileKinds, SegmentedKeyOrdersEachSegmentInItsOwnDirection) {
    TempDir dir;
    std::string path = dir.File("SEG.DAT");
    Definition def(4, 1);
    def.segments.push_back(Segment(1, 2, btr::kKeyFlagSegmented, btr::kTypeInteger));
    def.segments.push_back(Segment(3, 2, btr::kKeyFlagDescending, btr::kTypeString));
    ASSERT_EQ(Create(path, def), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, path), 0);
    auto rec = [](int16_t n, const char* s) { return std::string(reinterpret_cast<const char*>(&n), 2) + s; };
    ASSERT_EQ(Insert(pb, rec(2, "Z ")), 0);
    ASSERT_EQ(Insert(pb, rec(1, "A ")), 0);
    ASSERT_EQ(Insert(pb, rec(1, "B ")), 0);
    ASSERT_EQ(Insert(pb, rec(-1, "A ")), 0);
    std::vector<std::string> order;
    for (Read r = Get(btr::kOpGetFirst, pb, 0); r.status == 0; r = Get(btr::kOpGetNext, pb, 0))
        order.push_back(r.record);
    EXPECT_EQ(order, (std::vector<std::string>{rec(-1, "A "), rec(1, "B "), rec(1, "A "), rec(2, "Z ")}));
    // A search value is the concatenation of the segments.
    EXPECT_EQ(Get(btr::kOpGetGreater, pb, 0, rec(1, "B ")).record, rec(1, "A "));
}

TEST(FileKinds, VersionSettingAcceptsMajorDotMinorAndFallsBackOtherwise) {
    TempDir dir;
    Definition def(4, 0);
    {
        ScopedEnv version("W3BTRV7_FILE_VERSION", "9.5");
        ASSERT_EQ(Create(dir.File("V95.DAT"), def), 0);
    }
    {
        ScopedEnv version("W3BTRV7_FILE_VERSION", "seven");
        ASSERT_EQ(Create(dir.File("BAD.DAT"), def), 0);
    }
    auto versionOf = [&](const std::string& name) {
        PositionBlock pb;
        EXPECT_EQ(Open(pb, dir.File(name)), 0);
        std::string stat(16, '\0');
        uint32_t length = 16;
        char key[1];
        EXPECT_EQ(Call(btr::kOpStat, pb, stat.data(), &length, key, 1, -1), 0);
        Close(pb);
        return static_cast<uint8_t>(stat[5]);
    };
    EXPECT_EQ(versionOf("V95.DAT"), 0x95);
    EXPECT_EQ(versionOf("BAD.DAT"), 0x70);
}
