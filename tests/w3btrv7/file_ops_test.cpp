// Create, Open, Close, Stat, Version, Stop and Reset through BTRCALL.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform.h"
#include "w3btrv7_test_util.h"

using namespace w3btest;
using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace {

Definition TwoKeyDefinition() {
    Definition def(20, 2);
    def.segments.push_back(Segment(1, 4, 0, btr::kTypeUnsignedBinary));
    def.segments.push_back(Segment(5, 10, btr::kKeyFlagDuplicates | btr::kKeyFlagModifiable | btr::kKeyFlagSegmented));
    def.segments.push_back(Segment(15, 2, btr::kKeyFlagDuplicates | btr::kKeyFlagModifiable, btr::kTypeInteger));
    return def;
}

std::string Stat(PositionBlock& pb, int8_t keyNumber, uint32_t capacity, int16_t* status) {
    std::string data(capacity, '\x55');
    uint32_t length = capacity;
    char key[64];
    std::memset(key, 'x', sizeof key);
    *status = Call(btr::kOpStat, pb, data.data(), &length, key, sizeof key, keyNumber);
    if (*status == 0) {
        EXPECT_EQ(key[0], 0);
    }
    return *status == 0 ? data.substr(0, length) : data;
}

}  // namespace

TEST(CreateAndStat, StatReportsExactlyTheCreatedSpecifications) {
    TempDir dir;
    std::string path = dir.File("CUST.DAT");
    Definition def = TwoKeyDefinition();
    ASSERT_EQ(Create(path, def), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, path), 0);
    int16_t status;
    std::string reply = Stat(pb, 0, 1819, &status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(reply.size(), 64u);
    BtrFileSpec spec;
    std::memcpy(&spec, reply.data(), 16);
    EXPECT_EQ(+spec.recordLength, 20);
    EXPECT_EQ(+spec.pageSize, 4096);
    EXPECT_EQ(+spec.keyCount, 2);
    EXPECT_EQ(+spec.fileVersion, 0);
    EXPECT_EQ(+spec.recordCount, 0u);
    for (size_t i = 0; i < def.segments.size(); ++i) {
        BtrKeySpec got;
        std::memcpy(&got, reply.data() + 16 + 16 * i, 16);
        EXPECT_EQ(+got.position, def.segments[i].position);
        EXPECT_EQ(+got.length, def.segments[i].length);
        EXPECT_EQ(+got.flags, def.segments[i].flags);
        EXPECT_EQ(+got.extendedType, def.segments[i].extendedType);
        EXPECT_EQ(+got.keyNumber, i == 0 ? 0 : 1);
    }
}

TEST(CreateAndStat, VersionByteFollowsTheSettingAndOnlyWithKeyNumberMinusOne) {
    TempDir dir;
    {
        ScopedEnv version("W3BTRV7_FILE_VERSION", "6.0");
        ASSERT_EQ(Create(dir.File("OLD.DAT"), TwoKeyDefinition()), 0);
    }
    ASSERT_EQ(Create(dir.File("NEW.DAT"), TwoKeyDefinition()), 0);
    PositionBlock oldPb, newPb;
    ASSERT_EQ(Open(oldPb, dir.File("OLD.DAT")), 0);
    ASSERT_EQ(Open(newPb, dir.File("NEW.DAT")), 0);
    int16_t status;
    EXPECT_EQ(static_cast<uint8_t>(Stat(oldPb, -1, 1819, &status)[5]), 0x60);
    EXPECT_EQ(static_cast<uint8_t>(Stat(newPb, -1, 1819, &status)[5]), 0x70);
    EXPECT_EQ(static_cast<uint8_t>(Stat(newPb, 0, 1819, &status)[5]), 0);
}

TEST(CreateAndStat, StatCountsRecordsAndUniqueValuesAndAppendsTheCollatingSequence) {
    TempDir dir;
    std::string path = dir.File("ACS.DAT");
    Definition def(20, 2);
    def.segments.push_back(Segment(1, 4, 0, btr::kTypeUnsignedBinary));
    def.segments.push_back(Segment(5, 10, btr::kKeyFlagDuplicates | btr::kKeyFlagAlternateSequence));
    def.acs.push_back(UpperAcs());
    ASSERT_EQ(Create(path, def), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, path), 0);
    ASSERT_EQ(Insert(pb, Record(20, std::string("\1\0\0\0abc", 7))), 0);
    ASSERT_EQ(Insert(pb, Record(20, std::string("\2\0\0\0ABC", 7))), 0);
    ASSERT_EQ(Insert(pb, Record(20, std::string("\3\0\0\0xyz", 7))), 0);
    int16_t status;
    std::string reply = Stat(pb, 0, 1819, &status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(reply.size(), 16u + 32u + 265u);
    BtrFileSpec spec;
    std::memcpy(&spec, reply.data(), 16);
    EXPECT_EQ(+spec.recordCount, 3u);
    BtrKeySpec key0, key1;
    std::memcpy(&key0, reply.data() + 16, 16);
    std::memcpy(&key1, reply.data() + 32, 16);
    EXPECT_EQ(+key0.uniqueCount, 3u);
    EXPECT_EQ(+key1.uniqueCount, 2u);  // "abc" and "ABC" are one value under UPPER
    std::vector<uint8_t> acs = UpperAcs();
    EXPECT_EQ(reply.substr(48), std::string(acs.begin(), acs.end()));

    // Room for the key blocks but not the table: the blocks alone.
    reply = Stat(pb, 0, 60, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(reply.size(), 48u);
    // Not even room for the key blocks: 22 and nothing written.
    reply = Stat(pb, 0, 40, &status);
    EXPECT_EQ(status, btr::kStatusDataLengthError);
    EXPECT_EQ(reply, std::string(40, '\x55'));
}

TEST(CreateValidation, RejectsBadSpecificationsWithTheirStatuses) {
    TempDir dir;
    std::string path = dir.File("BAD.DAT");
    Definition pageSize = TwoKeyDefinition();
    pageSize.file.pageSize = 1000;
    EXPECT_EQ(Create(path, pageSize), btr::kStatusPageSizeError);
    Definition tooLong = TwoKeyDefinition();
    tooLong.file.recordLength = 4090;
    EXPECT_EQ(Create(path, tooLong), btr::kStatusInvalidRecordLength);
    Definition tooShort = TwoKeyDefinition();
    tooShort.file.recordLength = 3;
    EXPECT_EQ(Create(path, tooShort), btr::kStatusInvalidRecordLength);
    Definition position = TwoKeyDefinition();
    position.segments[2].position = 20;
    EXPECT_EQ(Create(path, position), btr::kStatusInvalidKeyPosition);
    Definition keyLength = TwoKeyDefinition();
    keyLength.segments[0].length = 0;
    EXPECT_EQ(Create(path, keyLength), btr::kStatusInvalidKeyLength);
    Definition flags = TwoKeyDefinition();
    flags.segments[2].flags &= ~btr::kKeyFlagModifiable;
    EXPECT_EQ(Create(path, flags), btr::kStatusInconsistentKeyFlags);
    Definition type = TwoKeyDefinition();
    type.segments[0].extendedType = 12;
    EXPECT_EQ(Create(path, type), btr::kStatusKeyTypeError);
    Definition noAcs = TwoKeyDefinition();
    noAcs.segments[0].flags |= btr::kKeyFlagAlternateSequence;
    noAcs.segments[0].extendedType = btr::kTypeString;
    EXPECT_EQ(Create(path, noAcs), btr::kStatusDataLengthError);
    Definition badAcs = noAcs;
    badAcs.acs.push_back(UpperAcs());
    badAcs.acs[0][0] = 0x12;
    EXPECT_EQ(Create(path, badAcs), btr::kStatusInvalidAcs);
    Definition missingSegment = TwoKeyDefinition();
    missingSegment.segments.pop_back();
    EXPECT_EQ(Create(path, missingSegment), btr::kStatusDataLengthError);
    Definition keyOnlyTwoKeys = TwoKeyDefinition();
    keyOnlyTwoKeys.file.fileFlags = btr::kFileFlagKeyOnly;
    EXPECT_EQ(Create(path, keyOnlyTwoKeys), btr::kStatusNumberOfKeys);
    EXPECT_FALSE(DataFileIsThere(path));
}

TEST(CreateValidation, SegmentLimitFollowsPageSizeButNeverBelowNinetySix) {
    TempDir dir;
    auto many = [](int segments, int pageSize) {
        Definition def(200, segments, 0, pageSize);
        for (int i = 0; i < segments; ++i) def.segments.push_back(Segment(1 + i, 1, btr::kKeyFlagDuplicates));
        return def;
    };
    EXPECT_EQ(Create(dir.File("A.DAT"), many(96, 1024)), 0);
    EXPECT_EQ(Create(dir.File("B.DAT"), many(97, 2048)), btr::kStatusNumberOfKeys);
    EXPECT_EQ(Create(dir.File("C.DAT"), many(119, 4096)), 0);
    EXPECT_EQ(Create(dir.File("D.DAT"), many(120, 4096)), btr::kStatusNumberOfKeys);
}

TEST(CreateModes, NoOverwriteAnswers59AndOpenFileAnswers85WithoutDamage) {
    TempDir dir;
    std::string path = dir.File("KEEP.DAT");
    ASSERT_EQ(Create(path, TwoKeyDefinition()), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, path), 0);
    ASSERT_EQ(Insert(pb, Record(20, std::string("\1\0\0\0abc", 7))), 0);
    EXPECT_EQ(Create(path, TwoKeyDefinition(), btr::kCreateNoOverwrite), btr::kStatusFileAlreadyExists);
    EXPECT_EQ(Create(path, TwoKeyDefinition(), btr::kCreateOverwrite), btr::kStatusFileInUse);
    Read first = Get(btr::kOpGetFirst, pb, 0);
    EXPECT_EQ(first.status, 0);
    ASSERT_EQ(Close(pb), 0);
    // Closed: overwriting gives an empty file.
    ASSERT_EQ(Create(path, TwoKeyDefinition(), btr::kCreateOverwrite), 0);
    ASSERT_EQ(Open(pb, path), 0);
    EXPECT_EQ(Get(btr::kOpGetFirst, pb, 0).status, btr::kStatusEndOfFile);
}

TEST(CreateModes, AFileSystemThatCannotMoveANewFileIntoPlaceGetsItMadeInPlace) {
    TempDir dir;
    std::string path = dir.File("FAT.DAT");
    // Neither a hard link nor a rename without replacing, as on FAT.
    platform::testing::InjectFileFailure(platform::testing::FileOperation::kRename, 0,
                                         platform::FileStatus::kAccessDenied);
    int16_t created = Create(path, TwoKeyDefinition(), btr::kCreateNoOverwrite);
    platform::testing::InjectFileFailure(platform::testing::FileOperation::kRename, -1, platform::FileStatus::kOk);
    ASSERT_EQ(created, 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, path), 0);
    EXPECT_EQ(Insert(pb, Record(20, std::string("\1\0\0\0abc", 7))), 0);
    int leftovers = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        leftovers += entry.path().filename().string().rfind("FAT.DAT.", 0) == 0;
    }
    EXPECT_EQ(leftovers, 0);
}

TEST(FileOpenAndClose, PathsMustBeTerminatedWithinTheKeyLength) {
    TempDir dir;
    std::string path = dir.File("P.DAT");
    ASSERT_EQ(Create(path, TwoKeyDefinition()), 0);
    PositionBlock pb;
    std::string key = path;  // no terminator within the declared length
    uint32_t length = 0;
    EXPECT_EQ(Call(btr::kOpOpen, pb, nullptr, &length, key.data(), static_cast<uint8_t>(key.size()), 0),
              btr::kStatusInvalidFileName);
    std::string bytes = TwoKeyDefinition().Bytes();
    length = static_cast<uint32_t>(bytes.size());
    EXPECT_EQ(Call(btr::kOpCreate, pb, bytes.data(), &length, key.data(), static_cast<uint8_t>(key.size()), 0),
              btr::kStatusInvalidFileName);
    EXPECT_EQ(Call(btr::kOpOpen, pb, nullptr, &length, nullptr, 0, 0), btr::kStatusInvalidFileName);
}

TEST(FileOpenAndClose, BackslashesSeparateDirectories) {
    TempDir dir;
    ASSERT_EQ(Create(dir.File("S.DAT"), TwoKeyDefinition()), 0);
    std::string windowsStyle = dir.path() + "\\S.DAT";
    PositionBlock pb;
    EXPECT_EQ(Open(pb, windowsStyle), 0);
}

TEST(FileOpenAndClose, MissingAndForeignFilesAnswer12And30) {
    TempDir dir;
    PositionBlock pb;
    EXPECT_EQ(Open(pb, dir.File("NONE.DAT")), btr::kStatusFileNotFound);
    ASSERT_TRUE(testsupport::WriteFileBytes(dir.File("TEXT.DAT"), std::string(5000, 'z')));
    EXPECT_EQ(Open(pb, dir.File("TEXT.DAT")), btr::kStatusNotABtrieveFile);
    uint32_t length = 0;
    EXPECT_EQ(Call(btr::kOpClose, pb, nullptr, &length, nullptr, 0, 0), btr::kStatusFileNotOpen);
}

TEST(FileOpenAndClose, ReopeningAnOpenBlockClosesItsFirstOpen) {
    TempDir dir;
    std::string path = dir.File("AGAIN.DAT");
    ASSERT_EQ(Create(path, TwoKeyDefinition()), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, path), 0);
    ASSERT_EQ(Insert(pb, Record(20, std::string("\1\0\0\0abc", 7))), 0);
    ASSERT_EQ(Open(pb, path), 0);
    EXPECT_EQ(Get(btr::kOpGetFirst, pb, 0).status, 0);
    ASSERT_EQ(Close(pb), 0);
    // Nothing stays open behind the block.
    EXPECT_EQ(Create(path, TwoKeyDefinition()), 0);
}

TEST(FileOpenAndClose, LockBiasOnOpenAndCloseIsAccepted) {
    TempDir dir;
    std::string path = dir.File("B.DAT");
    ASSERT_EQ(Create(path, TwoKeyDefinition()), 0);
    PositionBlock pb;
    EXPECT_EQ(Open(pb, path, 0, 200), 0);
    uint32_t length = 0;
    EXPECT_EQ(Call(btr::kOpClose + 200, pb, nullptr, &length, nullptr, 0, 0), 0);
}

TEST(FileOpenAndClose, ClosedZeroedAndForeignBlocksAnswer3) {
    TempDir dir;
    std::string path = dir.File("Z.DAT");
    ASSERT_EQ(Create(path, TwoKeyDefinition()), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, path), 0);
    PositionBlock copy = pb;
    ASSERT_EQ(Close(pb), 0);
    EXPECT_EQ(Get(btr::kOpGetFirst, pb, 0).status, btr::kStatusFileNotOpen);
    EXPECT_EQ(Get(btr::kOpGetFirst, copy, 0).status, btr::kStatusFileNotOpen);
    PositionBlock zero;
    EXPECT_EQ(Get(btr::kOpGetFirst, zero, 0).status, btr::kStatusFileNotOpen);
    PositionBlock forged;
    std::memcpy(forged.bytes, "BTSQ\1\0\0\0\1\0\0\0", 12);
    EXPECT_EQ(Get(btr::kOpGetFirst, forged, 0).status, btr::kStatusFileNotOpen);
    uint32_t length = 10;
    EXPECT_EQ(BTRCALL(btr::kOpGetFirst, nullptr, nullptr, &length, nullptr, 0, 0), btr::kStatusFileNotOpen);
}

TEST(EngineOperations, VersionReportsRequesterAndEngineBlocks) {
    PositionBlock pb;
    uint8_t data[15];
    std::memset(data, 0xEE, sizeof data);
    uint32_t length = 15;
    ASSERT_EQ(Call(btr::kOpVersion, pb, data, &length, nullptr, 0, 0), 0);
    EXPECT_EQ(length, 15u);
    const uint8_t expected[15] = {7, 0, 0, 0, 'N', 7, 0, 0, 0, 'W', 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(data, expected, 15), 0);
    length = 10;
    ASSERT_EQ(Call(btr::kOpVersion, pb, data, &length, nullptr, 0, 0), 0);
    EXPECT_EQ(length, 10u);
    length = 4;
    EXPECT_EQ(Call(btr::kOpVersion, pb, data, &length, nullptr, 0, 0), btr::kStatusDataLengthError);
}

TEST(EngineOperations, StopAndResetCloseEveryFile) {
    TempDir dir;
    std::string path = dir.File("R.DAT");
    ASSERT_EQ(Create(path, TwoKeyDefinition()), 0);
    PositionBlock a, b;
    ASSERT_EQ(Open(a, path), 0);
    uint32_t length = 0;
    ASSERT_EQ(Call(btr::kOpStop, a, nullptr, &length, nullptr, 0, 0), 0);
    EXPECT_EQ(Get(btr::kOpGetFirst, a, 0).status, btr::kStatusFileNotOpen);
    ASSERT_EQ(Create(path, TwoKeyDefinition()), 0);  // nobody has it open any more
    ASSERT_EQ(Open(b, path), 0);
    ASSERT_EQ(Call(btr::kOpReset, b, nullptr, &length, nullptr, 0, 0), 0);
    EXPECT_EQ(Get(btr::kOpGetFirst, b, 0).status, btr::kStatusFileNotOpen);
    EXPECT_EQ(Call(btr::kOpReset, b, nullptr, &length, nullptr, 0, -1), btr::kStatusInvalidOperation);
}

// Codes the engine does not take answer 1 before the position block is looked at; the codes it
// takes reach the block, which is not open here (3).
TEST(EngineOperations, UnknownOperationsAndBiasesAnswer1) {
    struct Case {
        uint16_t code;
        int16_t status;
    };
    constexpr int16_t kInvalid = btr::kStatusInvalidOperation;
    constexpr int16_t kTaken = btr::kStatusFileNotOpen;
    const Case cases[] = {
        {16, kInvalid},   {43, kInvalid},   {74, kInvalid},
        {1005, kInvalid}, {533, kInvalid},  {54, kInvalid},  // +50 belongs to the Gets
        {64, kInvalid},                                      // past the last Get
        {505, kInvalid},                                     // +500 belongs to the writes
        {519, kInvalid},                                     // and to Begin Transaction only with +1000
        {1001, kInvalid}, {2019, kInvalid}, {1520, kInvalid},
        {55, kTaken},     {463, kTaken},  // Get Key, with and without a lock
        {502, kTaken},    {904, kTaken},  // no-wait writes
        {101, kTaken},    {433, kTaken},  // every operation takes the lock biases
    };
    for (const Case& c : cases) {
        PositionBlock pb;
        uint32_t length = 0;
        EXPECT_EQ(Call(c.code, pb, nullptr, &length, nullptr, 0, 0), c.status) << "operation " << c.code;
    }
}

TEST(CreateAndStat, NinetySixSegmentsAndACollatingSequenceFillTheLibrarysStatisticsBuffer) {
    TempDir dir;
    std::string path = dir.File("FULL.DAT");
    Definition def(200, 96);
    for (int i = 0; i < 96; ++i) {
        uint16_t flags = btr::kKeyFlagDuplicates | (i == 0 ? btr::kKeyFlagAlternateSequence : 0);
        def.segments.push_back(Segment(1 + 2 * i, 2, flags));
    }
    def.acs.push_back(UpperAcs());
    ASSERT_EQ(Create(path, def), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, path), 0);
    int16_t status;
    std::string reply = Stat(pb, -1, 1819, &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(reply.size(), 1817u);
    // One more key would go beyond what the library can hold, but not beyond the page's limit.
    BtrKeySpec extra = Segment(1, 4, btr::kKeyFlagDuplicates);
    uint32_t length = sizeof extra;
    char key[255] = {};
    EXPECT_EQ(Call(btr::kOpCreateIndex, pb, &extra, &length, key, 255, 0), 0);
}

namespace {

int16_t SetDirectory(PositionBlock& pb, const std::string& path) {
    std::string key = path + std::string(1, '\0');
    uint32_t length = 0;
    return Call(btr::kOpSetDirectory, pb, nullptr, &length, key.data(), static_cast<uint8_t>(key.size()), 0);
}

std::string GetDirectory(PositionBlock& pb, int16_t* status, uint8_t keyLength = 255) {
    std::string key(255, '\x55');
    uint32_t length = 0;
    *status = Call(btr::kOpGetDirectory, pb, nullptr, &length, key.data(), keyLength, 0);
    return key.substr(0, key.find('\0'));
}

}  // namespace

TEST(Directories, RelativePathsStartFromTheDirectorySetDirectoryChose) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("SUB"));
    PositionBlock pb;
    ASSERT_EQ(SetDirectory(pb, dir.path()), 0);
    ASSERT_EQ(SetDirectory(pb, "SUB"), 0);  // itself relative to the directory set before
    ASSERT_EQ(Create("REL.DAT", TwoKeyDefinition()), 0);
    EXPECT_EQ(Open(pb, dir.File("SUB/REL.DAT")), 0);
    int16_t status = -1;
    EXPECT_TRUE(std::filesystem::equivalent(GetDirectory(pb, &status), dir.File("SUB")));
    EXPECT_EQ(status, 0);
    uint32_t length = 0;
    ASSERT_EQ(Call(btr::kOpReset, pb, nullptr, &length, nullptr, 0, 0), 0);
    EXPECT_TRUE(std::filesystem::equivalent(GetDirectory(pb, &status), std::filesystem::current_path()));
}

TEST(Directories, AMissingDirectoryOrAShortKeyBufferAnswersAStatusAndChangesNothing) {
    TempDir dir;
    PositionBlock pb;
    ASSERT_EQ(SetDirectory(pb, dir.path()), 0);
    EXPECT_EQ(SetDirectory(pb, dir.File("MISSING")), btr::kStatusDirectoryError);
    ASSERT_EQ(Create(dir.File("FILE.DAT"), TwoKeyDefinition()), 0);
    EXPECT_EQ(SetDirectory(pb, dir.File("FILE.DAT")), btr::kStatusDirectoryError);
    int16_t status = -1;
    std::string shortKey = GetDirectory(pb, &status, 2);
    EXPECT_EQ(status, btr::kStatusKeyBufferTooShort);
    EXPECT_EQ(shortKey.substr(0, 2), "\x55\x55");
    EXPECT_TRUE(std::filesystem::equivalent(GetDirectory(pb, &status), dir.path()));
    uint32_t length = 0;
    Call(btr::kOpReset, pb, nullptr, &length, nullptr, 0, 0);
}
