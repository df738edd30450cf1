// Keys as Create and Create Index define them: which segment reads which field, which
// collating sequence a segment uses, which definitions are refused, and the null rules.
#include <gtest/gtest.h>

#include "w3btrv7_test_util.h"

using namespace w3btest;
using testsupport::TempDir;

namespace {

// Every record of the file in the order of `key`.
std::vector<std::string> InKeyOrder(PositionBlock& pb, int8_t key) {
    std::vector<std::string> order;
    for (Read r = Get(btr::kOpGetFirst, pb, key); r.status == 0; r = Get(btr::kOpGetNext, pb, key)) {
        order.push_back(r.record);
    }
    return order;
}

// A collating sequence that reverses the order of every byte.
std::vector<uint8_t> ReverseAcs() {
    std::vector<uint8_t> acs(btr::kAcsSize);
    acs[0] = btr::kAcsUserDefined;
    std::memcpy(acs.data() + 1, "REVERSE ", 8);
    for (int i = 0; i < 256; ++i) acs[9 + i] = static_cast<uint8_t>(255 - i);
    return acs;
}

int16_t CreateIndex(PositionBlock& pb, const BtrKeySpec& segment) {
    BtrKeySpec data = segment;
    uint32_t length = sizeof data;
    char key[255] = {};
    return Call(btr::kOpCreateIndex, pb, &data, &length, key, 255, 0);
}

}  // namespace

TEST(CreateKeys, SegmentsReadTheirOwnFieldsInKeyOrder) {
    TempDir dir;
    std::string path = dir.File("ORDER.DAT");
    // The key's first segment lies after its second in the record.
    Definition def(24, 1);
    def.segments.push_back(Segment(21, 4, btr::kKeyFlagSegmented | btr::kKeyFlagDuplicates, btr::kTypeInteger));
    def.segments.push_back(Segment(1, 20, btr::kKeyFlagDescending | btr::kKeyFlagNoCase | btr::kKeyFlagDuplicates));
    ASSERT_EQ(Create(path, def), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, path), 0);
    auto rec = [](uint32_t id, const std::string& name) { return Record(20, name) + U32(id); };
    for (const std::string& r : {rec(2, "amy"), rec(1, "alice"), rec(1, "Bob"), rec(1, "ALICE")}) {
        ASSERT_EQ(Insert(pb, r), 0);
    }
    // By id, then by name descending without regard to case; equal names in insertion order.
    EXPECT_EQ(InKeyOrder(pb, 0),
              (std::vector<std::string>{rec(1, "Bob"), rec(1, "alice"), rec(1, "ALICE"), rec(2, "amy")}));
    // The key value is the segments concatenated in key order.
    EXPECT_EQ(Get(btr::kOpGetFirst, pb, 0).key.substr(0, 24), U32(1) + Record(20, "Bob"));
}

TEST(CreateKeys, NumberedSequenceTakesItsNumberAndTheDefaultOneIsTheFirst) {
    TempDir dir;
    std::string path = dir.File("ACS2.DAT");
    Definition def(4, 2);
    BtrKeySpec numbered = Segment(1, 4, btr::kKeyFlagDuplicates | btr::kKeyFlagAlternateSequence | btr::kKeyFlagNoCase);
    numbered.acsNumber = 1;
    BtrKeySpec byDefault = Segment(1, 4, btr::kKeyFlagDuplicates | btr::kKeyFlagAlternateSequence);
    byDefault.acsNumber = 1;  // only a numbered sequence reads the number
    def.segments = {numbered, byDefault};
    def.acs = {UpperAcs(), ReverseAcs()};
    ASSERT_EQ(Create(path, def), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, path), 0);
    for (const char* r : {"abcd", "ABCD", "zzzz"}) ASSERT_EQ(Insert(pb, r), 0);
    EXPECT_EQ(InKeyOrder(pb, 0), (std::vector<std::string>{"zzzz", "abcd", "ABCD"}));
    EXPECT_EQ(InKeyOrder(pb, 1), (std::vector<std::string>{"abcd", "ABCD", "zzzz"}));
}

TEST(CreateKeys, CreateIndexWithASequenceTheFileLacksAnswers48AndAddsNoKey) {
    const struct {
        size_t fileTables;
        uint16_t flags;
        uint8_t number;
    } cases[] = {
        {0, btr::kKeyFlagAlternateSequence, 0},
        {1, btr::kKeyFlagAlternateSequence | btr::kKeyFlagNoCase, 1},
    };
    for (const auto& c : cases) {
        TempDir dir;
        std::string path = dir.File("NOACS.DAT");
        Definition def(8, 1);
        def.segments.push_back(Segment(1, 4, c.fileTables > 0 ? btr::kKeyFlagAlternateSequence : 0));
        if (c.fileTables > 0) def.acs.push_back(UpperAcs());
        ASSERT_EQ(Create(path, def), 0);
        PositionBlock pb;
        ASSERT_EQ(Open(pb, path), 0);
        BtrKeySpec segment = Segment(5, 4, btr::kKeyFlagDuplicates | c.flags);
        segment.acsNumber = c.number;
        EXPECT_EQ(CreateIndex(pb, segment), btr::kStatusInvalidAcs) << c.flags;
        EXPECT_EQ(Get(btr::kOpGetFirst, pb, 1).status, btr::kStatusInvalidKeyNumber) << c.flags;
    }
}

TEST(CreateKeys, SegmentsMustAgreeOnTheFlagsOfTheWholeKey) {
    TempDir dir;
    const struct {
        uint16_t first;
        uint8_t secondType;
        uint16_t second;
        int16_t status;
    } cases[] = {
        {btr::kKeyFlagDuplicates, btr::kTypeString, 0, btr::kStatusInconsistentKeyFlags},
        {btr::kKeyFlagModifiable, btr::kTypeString, 0, btr::kStatusInconsistentKeyFlags},
        {btr::kKeyFlagNullAll, btr::kTypeString, 0, btr::kStatusInconsistentKeyFlags},
        {btr::kKeyFlagNullAny, btr::kTypeString, 0, btr::kStatusInconsistentKeyFlags},
        {btr::kKeyFlagDuplicates | btr::kKeyFlagSupplemental, btr::kTypeString, btr::kKeyFlagDuplicates,
         btr::kStatusInconsistentKeyFlags},
        // Descending, type and case folding are each segment's own.
        {btr::kKeyFlagNoCase, btr::kTypeInteger, btr::kKeyFlagDescending, btr::kStatusSuccess},
    };
    for (const auto& c : cases) {
        Definition def(8, 1);
        def.segments.push_back(Segment(1, 4, btr::kKeyFlagSegmented | c.first));
        def.segments.push_back(Segment(5, 2, c.second, c.secondType));
        EXPECT_EQ(Create(dir.File("FLAGS.DAT"), def), c.status) << c.first;
    }
}

TEST(CreateKeys, RefusesKeysThatAreBadAsWholes) {
    TempDir dir;
    const struct {
        const char* name;
        std::vector<BtrKeySpec> segments;
        int16_t status;
    } cases[] = {
        {"256 bytes", {Segment(1, 200, btr::kKeyFlagSegmented), Segment(201, 56, 0)}, btr::kStatusInvalidKeyLength},
        {"255 bytes", {Segment(1, 200, btr::kKeyFlagSegmented), Segment(201, 55, 0)}, btr::kStatusSuccess},
        {"autoincrement in a segmented key",
         {Segment(1, 4, btr::kKeyFlagSegmented), Segment(5, 4, 0, btr::kTypeAutoincrement)},
         btr::kStatusKeyTypeError},
        {"position 0", {Segment(0, 4, 0)}, btr::kStatusInvalidKeyPosition},
        {"bad second segment",
         {Segment(1, 4, btr::kKeyFlagSegmented), Segment(5, 5, 0, btr::kTypeFloat)},
         btr::kStatusInvalidKeyLength},
    };
    int file = 0;
    for (const auto& c : cases) {
        std::string path = dir.File("KEY" + std::to_string(++file) + ".DAT");
        Definition def(300, 1);
        def.segments = c.segments;
        EXPECT_EQ(Create(path, def), c.status) << c.name;
        EXPECT_EQ(DataFileIsThere(path), c.status == btr::kStatusSuccess) << c.name;
    }
}

TEST(CreateKeys, NullAllAndNullAnyLeaveOutTheirOwnRecords) {
    TempDir dir;
    std::string path = dir.File("NULLS.DAT");
    Definition def(5, 3);
    def.segments.push_back(Segment(1, 1, 0, btr::kTypeUnsignedBinary));
    for (uint16_t rule : {btr::kKeyFlagNullAll, btr::kKeyFlagNullAny}) {
        const uint16_t flags = btr::kKeyFlagDuplicates | rule;
        def.segments.push_back(Segment(2, 2, flags | btr::kKeyFlagSegmented, btr::kTypeString, ' '));
        def.segments.push_back(Segment(4, 2, flags, btr::kTypeString, ' '));
    }
    ASSERT_EQ(Create(path, def), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, path), 0);
    for (const char* r : {"1    ", "2  ab", "3abcd"}) ASSERT_EQ(Insert(pb, r), 0);
    EXPECT_EQ(InKeyOrder(pb, 1), (std::vector<std::string>{"2  ab", "3abcd"}));  // every segment null
    EXPECT_EQ(InKeyOrder(pb, 2), (std::vector<std::string>{"3abcd"}));           // any segment null
}
