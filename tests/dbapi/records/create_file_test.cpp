// DbCreateFile and the UPPER collating sequence: what the create request carries, what the
// record manager makes of it, and what is refused before any request.
#include <cstring>
#include <filesystem>

#include "record_fixture.h"

using namespace recordtest;

namespace {

constexpr int kAcsSize = TYDB_ACS_SIZE;

class CreateRequestTest : public FakeEngineTest {
protected:
    // Creates through the fake with the Create answered 0 and returns that one request.
    testsupport::FakeCall CreateAndLog(const std::string& path, const BtrFileSpec& spec,
                                       const std::vector<BtrKeySpec>& segments) {
        fake->Script(btr::kOpCreate, "*", 0);
        fake->ClearLog();
        EXPECT_EQ(DbCreateFile(path.c_str(), &spec, segments.empty() ? nullptr : segments.data()), 0);
        const auto calls = fake->Calls();
        EXPECT_EQ(calls.size(), 1u);
        return calls.empty() ? testsupport::FakeCall{} : calls[0];
    }
};

TEST_F(CreateRequestTest, EmptyKeyListSendsTheFileSpecificationAlone) {
    const auto call = CreateAndLog(Path("A.DAT"), FileSpec(32, 0), Terminated({}));
    EXPECT_EQ(call.operation, btr::kOpCreate);
    EXPECT_EQ(call.dataLength, 16u);
    EXPECT_EQ(call.keyNumber, 0);
}

TEST_F(CreateRequestTest, NullKeyListSendsTheFileSpecificationAlone) {
    EXPECT_EQ(CreateAndLog(Path("A.DAT"), FileSpec(32, 0), {}).dataLength, 16u);
}

TEST_F(CreateRequestTest, SegmentsAddSixteenBytesEach) {
    const auto call = CreateAndLog(Path("A.DAT"), FileSpec(32, 2),
                                   Terminated({Segment(1, 4, btr::kKeyFlagSegmented), Segment(5, 4), Segment(9, 8)}));
    EXPECT_EQ(call.dataLength, 16u + 3 * 16);
}

TEST_F(CreateRequestTest, OneCollatingSequenceHoweverManySegmentsAskForIt) {
    const auto one = CreateAndLog(Path("A.DAT"), FileSpec(32, 2),
                                  Terminated({Segment(1, 4, btr::kKeyFlagSegmented),
                                              Segment(5, 4, btr::kKeyFlagAlternateSequence), Segment(9, 8)}));
    EXPECT_EQ(one.dataLength, 16u + 48 + kAcsSize);
    const auto two = CreateAndLog(
        Path("B.DAT"), FileSpec(32, 2),
        Terminated({Segment(1, 4, btr::kKeyFlagAlternateSequence), Segment(5, 4, btr::kKeyFlagAlternateSequence)}));
    EXPECT_EQ(two.dataLength, 16u + 32 + kAcsSize);
}

TEST_F(CreateRequestTest, NegativeKeyPositionEndsTheList) {
    std::vector<BtrKeySpec> segments = {Segment(1, 4), Segment(-1, 4), Segment(9, 4)};
    EXPECT_EQ(CreateAndLog(Path("A.DAT"), FileSpec(32, 1), segments).dataLength, 32u);
}

TEST_F(CreateRequestTest, ThePathTravelsInTheKeyBufferWithNoBias) {
    const std::string path = Path("C.DAT");
    ASSERT_EQ(DbOverRideDef(Open(CreateNamesFile({"x"})), 1, 300), 0);
    const auto call = CreateAndLog(path, FileSpec(32, 0), {});
    EXPECT_EQ(call.operation, btr::kOpCreate) << "creating belongs to no open file";
    std::string hex;
    static const char kDigits[] = "0123456789abcdef";
    for (int i = 0; i < 16; ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    EXPECT_EQ(call.keyHex, hex);
}

TEST_F(CreateRequestTest, MoreThanNinetySixSegmentsAreRefusedWithoutARequest) {
    std::vector<BtrKeySpec> segments;
    for (int i = 0; i < 97; ++i) segments.push_back(Segment(static_cast<int16_t>(1 + i), 1, btr::kKeyFlagSegmented));
    segments.back().flags = btr::kKeyFlagAlternateSequence;
    segments = Terminated(segments);
    fake->ClearLog();
    const BtrFileSpec spec = FileSpec(200, 1);
    EXPECT_EQ(DbCreateFile(Path("A.DAT").c_str(), &spec, segments.data()), btr::kStatusNumberOfKeys);
    EXPECT_TRUE(fake->Calls().empty());

    // Exactly 96, the last asking for the collating sequence, still fits.
    segments.erase(segments.begin());
    segments.back().position = 0;
    ASSERT_EQ(segments.size(), 97u);
    fake->Script(btr::kOpCreate, "*", 0);
    EXPECT_EQ(DbCreateFile(Path("A.DAT").c_str(), &spec, segments.data()), 0);
    ASSERT_EQ(fake->Calls().size(), 1u);
    EXPECT_EQ(fake->Calls()[0].dataLength, 16u + 96 * 16 + kAcsSize);
}

TEST_F(CreateRequestTest, NullPathOrSpecificationIsRefusedWithoutARequest) {
    const BtrFileSpec spec = FileSpec(32, 0);
    fake->ClearLog();
    EXPECT_EQ(DbCreateFile(nullptr, &spec, nullptr), TYDB_STATUS_INVALID_FILE_NAME);
    EXPECT_EQ(DbCreateFile(Path("A.DAT").c_str(), nullptr, nullptr), TYDB_STATUS_NO_BUFFER);
    EXPECT_TRUE(fake->Calls().empty());
}

// Paths at the edges of what the record manager takes (254 characters and a terminator in its
// key buffer) and file names at the edge of the open-file table's (15 characters).
class PathLimitTest : public FakeEngineTest {
protected:
    // A path of `length` characters in a folder of the test folder, ending in a file name of
    // `nameLength` characters; the folder is made.
    std::string PathOf(size_t length, size_t nameLength) {
        const std::string name = std::string(nameLength - 4, 'N') + ".DAT";
        const std::string folder = dir.path() + "/" + std::string(length - name.size() - dir.path().size() - 2, 'd');
        std::filesystem::create_directories(folder);
        return folder + "/" + name;
    }
};

TEST_F(PathLimitTest, CreateAndOpenTakeTheSamePathsAndRefuseLongerOnesThemselves) {
    const struct {
        size_t length;
        size_t nameLength;
        int32_t status;
    } rows[] = {
        {254, 5, 0},
        {255, 5, TYDB_STATUS_INVALID_FILE_NAME},
        {259, 5, TYDB_STATUS_INVALID_FILE_NAME},
        {260, 5, TYDB_STATUS_INVALID_FILE_NAME},
        {100, 15, 0},
        {100, 16, TYDB_STATUS_INVALID_FILE_NAME},
    };
    const BtrFileSpec spec = FileSpec(kRecordLength, 1);
    const auto segments = Terminated({Segment(1, kNameLength)});
    for (const auto& row : rows) {
        const std::string path = PathOf(row.length, row.nameLength);
        ASSERT_EQ(path.size(), row.length);
        fake->ClearLog();
        EXPECT_EQ(DbCreateFile(path.c_str(), &spec, segments.data()), row.status)
            << row.length << "/" << row.nameLength;
        int16_t handle = 0;
        EXPECT_EQ(DbOpen(&handle, path.c_str(), 0, 0), row.status) << row.length << "/" << row.nameLength;
        if (row.status == 0) {
            EXPECT_EQ(DbClose(handle), 0);
        } else {
            EXPECT_TRUE(fake->Calls().empty()) << row.length << "/" << row.nameLength;
            EXPECT_FALSE(std::filesystem::exists(path));
        }
    }
}

TEST(UpperAcs, MapsLowerCaseLettersToUpperCaseAndEverythingElseToItself) {
    uint8_t acs[TYDB_ACS_SIZE + 1];
    std::memset(acs, 0xEE, sizeof acs);
    EXPECT_EQ(DbBuildUpperAcs(acs), 0);
    EXPECT_EQ(acs[0], 0xAC);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(acs + 1), 8), "UPPER   ");
    const uint8_t* map = acs + 9;
    EXPECT_EQ(map[0x61], 0x41);
    EXPECT_EQ(map[0x7A], 0x5A);
    EXPECT_EQ(map[0x7B], 0x7B);
    EXPECT_EQ(map[0xE0], 0xE0);
    EXPECT_EQ(map[0x41], 0x41);
    EXPECT_EQ(map[0x60], 0x60);
    for (int i = 0; i < 256; ++i) {
        const int expected = i >= 'a' && i <= 'z' ? i - 32 : i;
        EXPECT_EQ(map[i], expected) << i;
    }
    EXPECT_EQ(acs[TYDB_ACS_SIZE], 0xEE) << "nothing written past 265 bytes";
    EXPECT_EQ(DbBuildUpperAcs(nullptr), TYDB_STATUS_NO_BUFFER);
}

class CreateRealTest : public RealEngineTest {};

TEST_F(CreateRealTest, UpperKeyReadsBackCaseBlind) {
    const std::string path = Path("UPPER.DAT");
    const BtrFileSpec spec = FileSpec(kRecordLength, 1);
    const auto segments = Terminated({Segment(1, 1, btr::kKeyFlagDuplicates | btr::kKeyFlagAlternateSequence)});
    ASSERT_EQ(DbCreateFile(path.c_str(), &spec, segments.data()), 0);
    const int16_t handle = Open(path);
    for (const char* name : {"b", "A", "a", "B"}) Insert(handle, MakeRecord(name));
    std::vector<std::string> order;
    std::string name;
    for (int16_t op = btr::kOpGetFirst; Read(handle, op, &name) == 0; op = btr::kOpGetNext) order.push_back(name);
    ASSERT_EQ(order.size(), 4u);
    // Duplicates keep their arrival order: A before a, b before B.
    EXPECT_EQ(order, (std::vector<std::string>{"A", "a", "b", "B"}));

    // The sequence the file holds is the library's UPPER sequence.
    uint8_t statistics[TYDB_STATISTICS_SIZE] = {};
    ASSERT_EQ(DbFileStat(handle, statistics), 0);
    int16_t length;
    std::memcpy(&length, statistics + TYDB_STATISTICS_LENGTH_OFFSET, 2);
    ASSERT_EQ(length, 16 + 16 + kAcsSize);
    uint8_t upper[TYDB_ACS_SIZE];
    DbBuildUpperAcs(upper);
    EXPECT_EQ(std::memcmp(statistics + 32, upper, kAcsSize), 0);
}

TEST_F(CreateRealTest, RecordManagerRefusalsArePassedOn) {
    const BtrFileSpec spec = FileSpec(kRecordLength, 1);
    // A key beyond the record.
    const auto segments = Terminated({Segment(30, 8)});
    EXPECT_EQ(DbCreateFile(Path("BAD.DAT").c_str(), &spec, segments.data()), btr::kStatusInvalidKeyPosition);
}

}  // namespace
