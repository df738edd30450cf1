// tydb import on the four sample files of the original record manager: the imported file has
// the definition and, in physical order, the records that NAME.expected.txt lists; every key
// reads in key order and finds each record by each unique key value; damaged copies are
// refused with their reason, before anything is created.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "btrcall.h"
#include "fake_engine_control.h"
#include "tool_runner.h"

using namespace testsupport;

namespace {

using Bytes = std::vector<uint8_t>;

std::string SamplePath(const std::string& name) {
    return std::string(TYDB_SOURCE_DIR) + "/tests/data/datafiles/" + name;
}

Bytes FromHex(const std::string& hex) {
    Bytes bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// What NAME.expected.txt says of a sample.
struct Expected {
    int recordLength = 0, keys = 0, records = 0, flags = 0;
    std::vector<std::vector<int>> segments;  // position, length, flags, type
    std::vector<Bytes> recordBytes;
};

Expected ReadExpected(const std::string& name) {
    Expected e;
    std::istringstream in(ReadFileBytes(SamplePath(name + ".expected.txt")).value_or(""));
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string word, skip, hex;
        words >> word;
        if (word == "record_length") {
            words >> e.recordLength >> skip >> skip >> skip >> e.keys >> skip >> e.records >> skip >> hex;
            e.flags = std::stoi(hex, nullptr, 16);
        } else if (word == "segment") {
            std::vector<int> s(4);
            words >> skip >> skip >> s[0] >> skip >> s[1] >> skip >> hex >> skip >> s[3];
            s[2] = std::stoi(hex, nullptr, 16);
            e.segments.push_back(s);
        } else if (word == "record") {
            words >> skip >> skip >> skip >> hex;
            e.recordBytes.push_back(FromHex(hex));
        }
    }
    return e;
}

// The imported file, opened in this process through BTRCALL.
class Imported {
public:
    explicit Imported(const std::string& path) {
        uint32_t length = 0;
        std::strncpy(key_, path.c_str(), sizeof key_ - 1);
        status = BTRCALL(btr::kOpOpen, block_, nullptr, &length, key_, sizeof key_, btr::kOpenReadOnly);
    }
    ~Imported() { Call(btr::kOpClose, 0); }
    int16_t Call(uint16_t operation, int8_t keyNumber) {
        uint32_t length = static_cast<uint32_t>(sizeof data_);
        const int16_t s = BTRCALL(operation, block_, data_, &length, key_, sizeof key_, keyNumber);
        data = Bytes(data_, data_ + (s == 0 ? length : 0));
        return s;
    }
    void SetKey(const Bytes& value) { std::memcpy(key_, value.data(), value.size()); }

    int16_t status = 0;
    Bytes data;

private:
    uint8_t block_[btr::kPositionBlockSize] = {};
    char key_[btr::kMaxKeyLength] = {};
    uint8_t data_[65536] = {};
};

struct Segment {
    int offset, length, flags, type, acs;
};
using Key = std::vector<Segment>;

// Keys from the imported file's Stat, collating sequences alongside.
void StatKeys(Imported& file, std::vector<Key>* keys, std::vector<Bytes>* acs) {
    ASSERT_EQ(file.Call(btr::kOpStat, 0), 0);
    const BtrFileSpec* spec = reinterpret_cast<const BtrFileSpec*>(file.data.data());
    size_t at = sizeof(BtrFileSpec);
    for (int k = 0; k < spec->keyCount; ++k) {
        Key key;
        BtrKeySpec s;
        do {
            std::memcpy(&s, file.data.data() + at, sizeof s);
            at += sizeof s;
            key.push_back({s.position - 1, s.length, s.flags, s.extendedType, s.acsNumber});
        } while (s.flags & btr::kKeyFlagSegmented);
        keys->push_back(key);
    }
    for (; at + btr::kAcsSize <= file.data.size(); at += btr::kAcsSize)
        acs->emplace_back(file.data.begin() + at, file.data.begin() + at + btr::kAcsSize);
}

// Compares two records by one key, for the types the samples use.
int CompareByKey(const Key& key, const std::vector<Bytes>& acs, const Bytes& a, const Bytes& b) {
    for (const Segment& s : key) {
        const uint8_t *x = a.data() + s.offset, *y = b.data() + s.offset;
        if (s.type == btr::kTypeInteger || s.type == btr::kTypeAutoincrement || s.type == btr::kTypeFloat) {
            int64_t u = 0, v = 0;
            double f = 0, g = 0;
            if (s.type == btr::kTypeFloat) {
                std::memcpy(&f, x, 8), std::memcpy(&g, y, 8);
            } else {
                std::memcpy(&u, x, static_cast<size_t>(s.length)), std::memcpy(&v, y, static_cast<size_t>(s.length));
                u = u << (64 - 8 * s.length) >> (64 - 8 * s.length),
                v = v << (64 - 8 * s.length) >> (64 - 8 * s.length);
                f = static_cast<double>(u), g = static_cast<double>(v);
            }
            if (f != g) return f < g ? -1 : 1;
            continue;
        }
        const size_t acsIndex = (s.flags & btr::kKeyFlagNoCase) ? static_cast<size_t>(s.acs) : 0;
        const uint8_t* map = (s.flags & btr::kKeyFlagAlternateSequence) ? acs.at(acsIndex).data() + 9 : nullptr;
        const bool zstring = s.type == btr::kTypeZstring;
        const size_t lx = zstring ? strnlen(reinterpret_cast<const char*>(x), static_cast<size_t>(s.length)) : s.length;
        const size_t ly = zstring ? strnlen(reinterpret_cast<const char*>(y), static_cast<size_t>(s.length)) : s.length;
        for (size_t i = 0; i < lx && i < ly; ++i) {
            const int cx = map ? map[x[i]] : x[i], cy = map ? map[y[i]] : y[i];
            if (cx != cy) return cx < cy ? -1 : 1;
        }
        if (lx != ly) return lx < ly ? -1 : 1;
    }
    return 0;
}

class ImportSample : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        WriteEngineSettings(dir.File("s.ini"), RealEngineDir());
        settings = std::make_unique<ScopedEnv>("TYWREG_FILE", dir.File("s.ini"));
        source = dir.File(std::string(GetParam()) + ".DAT");
        original = ReadFileBytes(SamplePath(std::string(GetParam()) + ".DAT")).value_or("");
        ASSERT_TRUE(WriteFileBytes(source, original));
        dest = dir.File("IMPORTED.DAT");
        expected = ReadExpected(GetParam());
        result = RunTool(dir, "import '" + source + "' '" + dest + "'");
        ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    }
    TempDir dir;
    std::unique_ptr<ScopedEnv> settings;
    std::string source, dest, original;
    Expected expected;
    ToolResult result;
};

TEST_P(ImportSample, DefinitionAndPhysicalOrderMatchTheExpectedReading) {
    const std::string count = std::to_string(expected.records);
    EXPECT_NE(result.out.find(count + " records read, " + count + " inserted, 0 refused"), std::string::npos)
        << result.out;
    EXPECT_EQ(ReadFileBytes(source).value_or(""), original) << "the source must not change";
    const ToolResult stat = RunTool(dir, "stat --json '" + dest + "'");
    EXPECT_NE(stat.out.find("\"recordLength\":" + std::to_string(expected.recordLength) + ","), std::string::npos);
    EXPECT_NE(stat.out.find("\"records\":" + count + ","), std::string::npos) << stat.out;
    // The page size is the source's own (bytes 8-9 of its first page), not the expected file's.
    EXPECT_NE(stat.out.find("\"pageSize\":" + std::to_string(uint8_t(original[8]) | uint8_t(original[9]) << 8)),
              std::string::npos);

    Imported file(dest);
    ASSERT_EQ(file.status, 0);
    ASSERT_EQ(file.Call(btr::kOpStat, 0), 0);
    const auto* spec = reinterpret_cast<const BtrFileSpec*>(file.data.data());
    EXPECT_EQ(spec->keyCount, expected.keys);
    EXPECT_EQ(spec->fileFlags, expected.flags);
    std::vector<Key> keys;
    std::vector<Bytes> acs;
    StatKeys(file, &keys, &acs);
    std::vector<std::vector<int>> segments;
    for (const Key& key : keys) {
        for (const Segment& s : key) segments.push_back({s.offset + 1, s.length, s.flags, s.type});
    }
    EXPECT_EQ(segments, expected.segments);

    std::vector<Bytes> records;
    for (int16_t s = file.Call(btr::kOpStepFirst, 0); s == 0; s = file.Call(btr::kOpStepNext, 0))
        records.push_back(file.data);
    EXPECT_EQ(records, expected.recordBytes);
}

TEST_P(ImportSample, EveryKeyReadsInOrderAndFindsEachRecordByEachUniqueKey) {
    Imported file(dest);
    ASSERT_EQ(file.status, 0);
    std::vector<Key> keys;
    std::vector<Bytes> acs;
    StatKeys(file, &keys, &acs);
    for (size_t k = 0; k < keys.size(); ++k) {
        const auto number = static_cast<int8_t>(k);
        std::vector<Bytes> read;
        for (int16_t s = file.Call(btr::kOpGetFirst, number); s == 0; s = file.Call(btr::kOpGetNext, number))
            read.push_back(file.data);
        ASSERT_EQ(read.size(), expected.recordBytes.size()) << "key " << k;
        for (size_t i = 1; i < read.size(); ++i)
            EXPECT_LE(CompareByKey(keys[k], acs, read[i - 1], read[i]), 0) << "key " << k << " at " << i;
        if (keys[k].front().flags & btr::kKeyFlagDuplicates) continue;
        for (const Bytes& record : expected.recordBytes) {
            Bytes value;
            for (const Segment& s : keys[k])
                value.insert(value.end(), record.begin() + s.offset, record.begin() + s.offset + s.length);
            file.SetKey(value);
            ASSERT_EQ(file.Call(btr::kOpGetEqual, number), 0) << "key " << k;
            EXPECT_EQ(file.data, record);
        }
    }
}

// What the tool shows of a file, its name left out: definition, store, and its records along
// every key.
std::string Picture(const TempDir& dir, const std::string& path) {
    std::string picture = RunTool(dir, "stat '" + path + "'").out;
    picture.erase(0, picture.find('\n'));
    for (int k = 0; k < 3; ++k)
        picture += RunTool(dir, "dump --format hex --key " + std::to_string(k) + " '" + path + "'").out;
    return picture;
}

TEST_P(ImportSample, CloneAndCopyMakeTheSameFileAgain) {
    const std::string copy = dir.File("COPY.DAT");
    ASSERT_EQ(RunTool(dir, "clone '" + dest + "' '" + copy + "'").exitCode, 0);
    const ToolResult copied = RunTool(dir, "copy '" + dest + "' '" + copy + "'");
    EXPECT_EQ(copied.exitCode, 0) << copied.err;
    EXPECT_EQ(Picture(dir, copy), Picture(dir, dest));
    // A second copy finds every unique key value taken, refuses each record and says so.
    if (expected.records > 0 && GetParam() != std::string("VARIABLE")) {
        const ToolResult again = RunTool(dir, "copy '" + dest + "' '" + copy + "'");
        EXPECT_EQ(again.exitCode, 1);
        EXPECT_NE(again.out.find("record 0: refused, status 5"), std::string::npos) << again.out;
    }
}

// What Stat says of a file's definition: its name and the counts of its records left out.
std::string DefinitionOf(const TempDir& dir, const std::string& path) {
    std::istringstream stat(RunTool(dir, "stat '" + path + "'").out);
    std::string definition, line;
    for (std::getline(stat, line); std::getline(stat, line);) {
        if (line.find("Records:") == std::string::npos && line.find("Unique values:") == std::string::npos) {
            definition += line + "\n";
        }
    }
    return definition;
}

// The route for files of any version: a description and an unformatted save file, read back.
TEST_P(ImportSample, ADescriptionAndASaveFileMakeTheSameFileAgain) {
    const std::string description = dir.File("SAMPLE.DES"), save = dir.File("SAMPLE.UNF"), made = dir.File("MADE.DAT");
    const ToolResult written = RunTool(dir, "stat '" + dest + "' --description '" + description + "'");
    if (GetParam() == std::string("MULTIACS")) {  // two collating sequences: more than the form can say
        EXPECT_EQ(written.exitCode, 1);
        EXPECT_NE(written.err.find("second collating sequence"), std::string::npos) << written.err;
        ASSERT_EQ(RunTool(dir, "clone '" + dest + "' '" + made + "'").exitCode, 0);
    } else {
        ASSERT_EQ(written.exitCode, 0) << written.err;
        const ToolResult created = RunTool(dir, "create '" + made + "' --description '" + description + "'");
        ASSERT_EQ(created.exitCode, 0) << created.err;
        EXPECT_EQ(DefinitionOf(dir, made), DefinitionOf(dir, dest));
    }
    ASSERT_EQ(RunTool(dir, "export '" + dest + "' --unformatted '" + save + "'").exitCode, 0);
    const ToolResult loaded = RunTool(dir, "load '" + made + "' '" + save + "' --unformatted");
    EXPECT_EQ(loaded.exitCode, 0) << loaded.out << loaded.err;
    EXPECT_EQ(Picture(dir, made), Picture(dir, dest));
}

INSTANTIATE_TEST_SUITE_P(Samples, ImportSample, ::testing::Values("MBBSEMU", "MULTIACS", "VARIABLE", "GALTELA"));

class ImportCommand : public ::testing::Test {
protected:
    void SetUp() override {
        WriteEngineSettings(dir.File("s.ini"), RealEngineDir());
        settings = std::make_unique<ScopedEnv>("TYWREG_FILE", dir.File("s.ini"));
    }
    TempDir dir;
    std::unique_ptr<ScopedEnv> settings;
};

// A damaged copy of a sample: cut to `size` bytes, or with `bytes` written at each offset.
struct Damage {
    const char* what;
    const char* sample;
    size_t size;
    std::vector<std::pair<size_t, Bytes>> patches;
    const char* message;
};

std::string Damaged(const TempDir& dir, const Damage& damage) {
    std::string bytes = ReadFileBytes(SamplePath(std::string(damage.sample) + ".DAT")).value_or("");
    if (damage.size != 0) bytes.resize(damage.size);
    for (const auto& [offset, patch] : damage.patches)
        bytes.replace(offset, patch.size(), std::string(patch.begin(), patch.end()));
    const std::string path = dir.File("DAMAGED.DAT");
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return path;
}

Bytes Repeat(uint8_t byte, size_t count) { return Bytes(count, byte); }

TEST_F(ImportCommand, DamagedOrForeignCopiesAreRefusedWithTheirReasonBeforeDestIsMade) {
    constexpr size_t kMbbsSlots = 0xA06, kMbbsSlot = 90;
    const Damage rows[] = {
        {"truncated", "MBBSEMU", 2560, {}, "counts 6 pages, the file holds 5"},
        {"cut inside a page", "GALTELA", 100000, {}, "not a whole number of 4096-byte pages"},
        {"page pointer out of range",
         "GALTELA",
         0,
         {{3 * 4096 + 24, {0x00, 0x44, 0xFF, 0x00}}},
         "page 3 offset 0x18: the allocation entry of logical page 5 points to page 255"},
        {"tail chain loops",
         "VARIABLE",
         0,
         {{591372, {0x00, 0x83, 0x04, 0x00}}},
         "variable tail loops back to page 1155 fragment 0"},
        {"zeroed control record",
         "GALTELA",
         0,
         {{4096, Repeat(0, 4096)}},
         "page 1 offset 0x0: this copy of the file control record is damaged"},
        {"zeroed 5.x control record", "MBBSEMU", 0, {{0, Repeat(0, 512)}}, "page 0 offset 0x0: not a data file"},
        {"record count disagrees", "MBBSEMU", 0, {{0x1A, {0, 0, 5, 0}}}, "counts 5 records, the data pages hold 4"},
        {"7.x family", "GALTELA", 0, {{4096 + 0x4A, {0x00, 0x07}}}, "7.x family"},
        {"9.x family",
         "GALTELA",
         0,
         {{0x4A, {0x00, 0x09}}},
         "page 0 offset 0x4a: a file of the record manager's 9.x family"},
        {"compressed", "MBBSEMU", 0, {{0x106, {0x08, 0}}}, "a compressed file"},
        {"enciphered records",
         "MBBSEMU",
         0,
         {{kMbbsSlots + 2, Repeat(0x5A, 32)},
          {kMbbsSlots + kMbbsSlot + 2, Repeat(0x5A, 32)},
          {kMbbsSlots + 2 * kMbbsSlot + 2, Repeat(0x5A, 32)}},
         "records look enciphered"},
    };
    for (const Damage& row : rows) {
        const std::string dest = dir.File("OUT.DAT");
        const ToolResult result = RunTool(dir, "import '" + Damaged(dir, row) + "' '" + dest + "'");
        EXPECT_EQ(result.exitCode, 2) << row.what;
        EXPECT_NE(result.err.find(row.message), std::string::npos) << row.what << ": " << result.err;
        EXPECT_FALSE(ReadFileBytes(dest).has_value()) << row.what;
    }
}

// The records of a dump in physical order, without their positions.
std::multiset<std::string> RecordsOf(const std::string& csv) {
    std::multiset<std::string> records;
    std::istringstream lines(csv);
    std::string line;
    std::getline(lines, line);  // the header
    while (std::getline(lines, line)) records.insert(line.substr(line.find(',')));
    return records;
}

TEST_F(ImportCommand, SalvageImportsEveryRecordOutsideTheDamageAndListsWhatItPassedOver) {
    const struct {
        Damage damage;
        size_t imported;
    } rows[] = {
        {{"tail chain loops",
          "VARIABLE",
          0,
          {{591372, {0x00, 0x83, 0x04, 0x00}}},
          "passed over: the record at page 1105 offset 0x1d2: its variable tail loops back"},
         1023},
        {{"page pointer out of range",
          "GALTELA",
          0,
          {{3 * 4096 + 24, {0x00, 0x44, 0xFF, 0x00}}},
          "passed over: page 3 offset 0x18: the allocation entry of logical page 5 points to page 255"},
         69},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.damage.what);
        const std::string whole = dir.File("WHOLE.DAT"), salvaged = dir.File("SALVAGED.DAT");
        ASSERT_EQ(
            RunTool(dir, "import '" + SamplePath(std::string(row.damage.sample) + ".DAT") + "' '" + whole + "' --force")
                .exitCode,
            0);
        const ToolResult result =
            RunTool(dir, "import '" + Damaged(dir, row.damage) + "' '" + salvaged + "' --salvage --force");
        EXPECT_EQ(result.exitCode, 1) << result.err;
        EXPECT_NE(result.out.find(row.damage.message), std::string::npos) << result.out;
        const auto all = RecordsOf(RunTool(dir, "dump '" + whole + "' --key -1 --format csv").out);
        const auto saved = RecordsOf(RunTool(dir, "dump '" + salvaged + "' --key -1 --format csv").out);
        EXPECT_EQ(saved.size(), row.imported);
        EXPECT_TRUE(std::includes(all.begin(), all.end(), saved.begin(), saved.end()));
    }
}

TEST_F(ImportCommand, EveryRecordKeepsItsAddressInTheOriginalFileAsItsPosition) {
    const std::string dest = dir.File("OUT.DAT");
    const ToolResult result = RunTool(dir, "import '" + SamplePath("MBBSEMU.DAT") + "' '" + dest + "'");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("every record at its original position"), std::string::npos) << result.out;
    // MBBSEMU's four records fill the first slots of page 5 (512-byte pages, 6-byte page header,
    // 90-byte slots).
    Imported file(dest);
    ASSERT_EQ(file.status, 0);
    std::vector<uint32_t> positions;
    for (int16_t s = file.Call(btr::kOpStepFirst, 0); s == 0; s = file.Call(btr::kOpStepNext, 0)) {
        ASSERT_EQ(file.Call(btr::kOpGetPosition, 0), 0);
        uint32_t position = 0;
        std::memcpy(&position, file.data.data(), 4);
        positions.push_back(position);
    }
    EXPECT_EQ(positions, (std::vector<uint32_t>{0xA06, 0xA60, 0xABA, 0xB14}));
}

TEST_F(ImportCommand, ExistingDestIsReplacedOnlyWithForce) {
    const std::string source = SamplePath("MBBSEMU.DAT"), dest = dir.File("OUT.DAT");
    ASSERT_EQ(RunTool(dir, "import '" + source + "' '" + dest + "'").exitCode, 0);
    const ToolResult again = RunTool(dir, "import '" + source + "' '" + dest + "'");
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.err.find("already exists"), std::string::npos) << again.err;
    const ToolResult forced = RunTool(dir, "import '" + source + "' '" + dest + "' --force");
    EXPECT_EQ(forced.exitCode, 0) << forced.err;
    EXPECT_NE(forced.out.find("4 records read, 4 inserted"), std::string::npos) << forced.out;
}

TEST_F(ImportCommand, RecordTheRecordManagerRefusesIsReportedAndTheRestImported) {
    // Record 1 of the copy takes record 0's value of the unique key 1.
    const Damage duplicate = {"duplicate", "MBBSEMU", 0, {{0xA06 + 90 + 34, {0x74, 0x0D, 0, 0}}}, ""};
    const ToolResult result = RunTool(dir, "import '" + Damaged(dir, duplicate) + "' '" + dir.File("OUT.DAT") + "'");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.out.find("record 1 (address 0xa60): refused, status 5"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("4 records read, 3 inserted, 1 refused"), std::string::npos) << result.out;
}

TEST_F(ImportCommand, AFolderImportsEveryFileItCanAndListsEveryFailureAtTheEnd) {
    const std::string from = dir.File("old"), to = dir.File("new");
    std::filesystem::create_directory(from);
    std::filesystem::create_directory(to);
    for (const char* sample : {"MBBSEMU.DAT", "VARIABLE.DAT"})
        std::filesystem::copy_file(SamplePath(sample), from + "/" + sample);
    ASSERT_TRUE(
        WriteFileBytes(from + "/BAD.DAT", ReadFileBytes(SamplePath("MBBSEMU.DAT")).value_or("").substr(0, 2560)));
    ASSERT_TRUE(WriteFileBytes(from + "/NOTES.TXT", "not a data file, but it is in the folder"));

    const ToolResult dry = RunTool(dir, "import '" + from + "' --to '" + to + "' --dry-run");
    EXPECT_EQ(dry.exitCode, 2);
    EXPECT_NE(dry.out.find("Would import " + from + "/MBBSEMU.DAT (format 5.x"), std::string::npos) << dry.out;
    EXPECT_TRUE(std::filesystem::is_empty(to)) << "a dry run writes nothing";

    const ToolResult result = RunTool(dir, "import '" + from + "' --to '" + to + "'");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.out.find("Imported 2 of 4 files of " + from + "; failed:\n  " + from + "/BAD.DAT: "),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("\n  " + from + "/NOTES.TXT: "), std::string::npos) << result.out;
    EXPECT_NE(RunTool(dir, "stat '" + to + "/MBBSEMU.DAT'").out.find("Records: 4"), std::string::npos);
    EXPECT_TRUE(ReadFileBytes(to + "/VARIABLE.DAT").has_value());
    EXPECT_FALSE(ReadFileBytes(to + "/BAD.DAT").has_value());
}

}  // namespace
