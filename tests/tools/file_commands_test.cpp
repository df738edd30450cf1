// tydb create, stat and dump, run as a person runs them against the real record manager.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstring>
#include <fstream>
#include <optional>
#include <memory>
#include <string>
#include <vector>

#include "btrcall.h"
#include "fake_engine_control.h"
#include "tool_runner.h"

using namespace testsupport;

namespace {

// The real record manager, called directly, to put records into a file the tool made.
class DirectEngine {
public:
    DirectEngine() {
        library_ = dlopen((RealEngineDir() + "/libw3btrv7.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library_ != nullptr) call_ = reinterpret_cast<BtrCallFunction>(dlsym(library_, "BTRCALL"));
    }
    ~DirectEngine() {
        if (library_ != nullptr) dlclose(library_);
    }
    bool ready() const { return call_ != nullptr; }

    void InsertAll(const std::string& path, const std::vector<std::string>& records) {
        uint8_t block[128] = {};
        char key[256] = {};
        std::strncpy(key, path.c_str(), sizeof key - 1);
        uint32_t length = 0;
        ASSERT_EQ(call_(btr::kOpOpen, block, nullptr, &length, key, 255, 0), 0);
        for (std::string record : records) {
            length = static_cast<uint32_t>(record.size());
            char scratch[256] = {};
            ASSERT_EQ(call_(btr::kOpInsert, block, record.data(), &length, scratch, 255, 0), 0) << record;
        }
        length = 0;
        ASSERT_EQ(call_(btr::kOpClose, block, nullptr, &length, key, 255, 0), 0);
    }

private:
    void* library_ = nullptr;
    BtrCallFunction call_ = nullptr;
};

class FileCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteEngineSettings(dir.File("s.ini"), RealEngineDir());
        settings = std::make_unique<ScopedEnv>("TYWREG_FILE", dir.File("s.ini"));
    }
    std::string Quoted(const std::string& text) { return "'" + text + "'"; }

    TempDir dir;
    std::unique_ptr<ScopedEnv> settings;
};

// 24-byte records: name (8) at 1, city (8) at 9, 8 bytes of number text at 17.
std::string Row(const std::string& name, const std::string& city, const std::string& number) {
    std::string row(24, ' ');
    row.replace(0, name.size(), name);
    row.replace(8, city.size(), city);
    row.replace(16, number.size(), number);
    return row;
}

TEST_F(FileCommandsTest, CreateThenStatShowsWhatWasAsked) {
    const std::string path = dir.File("CUST.DAT");
    auto created = RunTool(dir, "create " + Quoted(path) +
                                    " --record-length 24 --page-size 1024 --key 1:8 --key 9:8:dup:upper,17:8:desc"
                                    " --key 17:8:type=zstring+mod");
    ASSERT_EQ(created.exitCode, 0) << created.err;
    EXPECT_NE(created.out.find("3 keys, 4 segments"), std::string::npos) << created.out;

    auto stat = RunTool(dir, "stat " + Quoted(path));
    ASSERT_EQ(stat.exitCode, 0) << stat.err;
    const std::string& out = stat.out;
    EXPECT_NE(out.find("Record length: 24\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Page size: 1024\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Records: 0\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Keys: 3\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Key 0: 1 segment, length 8\n    Segment 1: position 1, length 8, string\n"), std::string::npos)
        << out;
    EXPECT_NE(out.find("Key 1: 2 segments, length 16\n"
                       "    Segment 1: position 9, length 8, string, dup upper\n"
                       "    Segment 2: position 17, length 8, string, dup desc\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Key 2: 1 segment, length 8\n    Segment 1: position 17, length 8, zstring, mod\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Collating sequence: UPPER\n"), std::string::npos) << out;
}

TEST_F(FileCommandsTest, StatAndEngineSayWhichModeKeepsAFolderAndWhy) {
    const std::string path = dir.File("CUST.DAT");
    ASSERT_EQ(RunTool(dir, "create " + Quoted(path) + " --record-length 24 --key 1:8").exitCode, 0);
    EXPECT_NE(RunTool(dir, "stat " + Quoted(path)).out.find("Store: SQLite file, one-computer mode (WAL)"),
              std::string::npos);
    const std::string reason = "network-share mode (rollback journal): its folder is named in W3BTRV7_NETWORK_FOLDERS";
    for (bool inTheStore : {false, true}) {
        SCOPED_TRACE(inTheStore ? "in the settings store" : "in the environment");
        std::optional<ScopedEnv> shared;
        if (inTheStore) {
            std::ofstream(dir.File("s.ini"), std::ios::app)
                << "[HKEY_LOCAL_MACHINE\\Pervasive\\11\\w3btrv7]\nW3BTRV7_NETWORK_FOLDERS=" << dir.path() << "\n";
        } else {
            shared.emplace("W3BTRV7_NETWORK_FOLDERS", dir.path());
        }
        EXPECT_NE(RunTool(dir, "stat " + Quoted(path)).out.find("Store: SQLite file, " + reason), std::string::npos);
        auto engine = RunTool(dir, "engine " + Quoted(dir.path()));
        EXPECT_NE(engine.out.find("Data folder " + dir.path() + ": SQLite files, " + reason), std::string::npos)
            << engine.out;
    }
}

TEST_F(FileCommandsTest, StatJsonDescribesFileKeysAndRecords) {
    const std::string path = dir.File("CUST.DAT");
    ASSERT_EQ(RunTool(dir, "create " + Quoted(path) + " --record-length 24 --key 1:8 --key 9:8:dup").exitCode, 0);
    DirectEngine engine;
    ASSERT_TRUE(engine.ready());
    engine.InsertAll(path, {Row("ann", "oslo", "1"), Row("bob", "rome", "2")});

    auto stat = RunTool(dir, "stat --json " + Quoted(path));
    ASSERT_EQ(stat.exitCode, 0) << stat.err;
    EXPECT_NE(stat.out.find("\"recordLength\":24,\"pageSize\":4096,\"records\":2,\"fileFlags\":[]"), std::string::npos)
        << stat.out;
    EXPECT_NE(stat.out.find("{\"number\":1,\"length\":8,\"uniqueValues\":2,\"segments\":[{\"position\":9,\"length\":8,"
                            "\"type\":\"string\",\"flags\":[\"dup\"]}]}"),
              std::string::npos)
        << stat.out;
    EXPECT_NE(stat.out.find("\"collatingSequence\":null}"), std::string::npos) << stat.out;
}

TEST_F(FileCommandsTest, DumpListsRecordsInKeyOrder) {
    const std::string path = dir.File("CUST.DAT");
    ASSERT_EQ(RunTool(dir, "create " + Quoted(path) + " --record-length 24 --key 1:8 --key 9:8:dup:upper").exitCode, 0);
    DirectEngine engine;
    ASSERT_TRUE(engine.ready());
    engine.InsertAll(path, {Row("carl", "Paris", "3"), Row("ann", "oslo", "1"), Row("bob", "Rome", "2"),
                            Row("dora", "berlin", "4")});

    auto byName = RunTool(dir, "dump " + Quoted(path));
    ASSERT_EQ(byName.exitCode, 0) << byName.err;
    EXPECT_EQ(byName.out, Row("ann", "oslo", "1").substr(0, 17) + "\n" + Row("bob", "Rome", "2").substr(0, 17) + "\n" +
                              Row("carl", "Paris", "3").substr(0, 17) + "\n" +
                              Row("dora", "berlin", "4").substr(0, 17) + "\n");

    // Key 1 is case-blind: berlin, oslo, Paris, Rome.
    auto byCity = RunTool(dir, "dump " + Quoted(path) + " --key 1 --format csv");
    ASSERT_EQ(byCity.exitCode, 0) << byCity.err;
    std::vector<std::string> keys;
    size_t at = 0;
    while ((at = byCity.out.find(",\"", at)) != std::string::npos) {
        const size_t end = byCity.out.find('"', at + 2);
        keys.push_back(byCity.out.substr(at + 2, end - at - 2));
        at = byCity.out.find('\n', end);
    }
    ASSERT_EQ(keys.size(), 4u) << byCity.out;
    EXPECT_EQ(keys, (std::vector<std::string>{"berlin", "oslo", "Paris", "Rome"})) << byCity.out;
    EXPECT_EQ(byCity.out.rfind("position,key,record\n", 0), 0u) << byCity.out;

    auto fromLimit = RunTool(dir, "dump " + Quoted(path) + " --from b --limit 2 --format hex");
    ASSERT_EQ(fromLimit.exitCode, 0) << fromLimit.err;
    std::string expected;
    for (const std::string& row : {Row("bob", "Rome", "2"), Row("carl", "Paris", "3")}) {
        static const char kDigits[] = "0123456789abcdef";
        for (unsigned char c : row) {
            expected += kDigits[c >> 4];
            expected += kDigits[c & 15];
        }
        expected += "\n";
    }
    EXPECT_EQ(fromLimit.out, expected);

    auto physical = RunTool(dir, "dump " + Quoted(path) + " --key -1 --limit 1");
    ASSERT_EQ(physical.exitCode, 0) << physical.err;
    EXPECT_EQ(physical.out, Row("carl", "Paris", "3").substr(0, 17) + "\n");
}

TEST_F(FileCommandsTest, BadKeysAndMissingFilesFailWithAMessage) {
    const std::string path = dir.File("X.DAT");
    auto badFlag = RunTool(dir, "create " + Quoted(path) + " --record-length 24 --key 1:8:sideways");
    EXPECT_EQ(badFlag.exitCode, 2);
    EXPECT_NE(badFlag.err.find("unknown key flag \"sideways\""), std::string::npos) << badFlag.err;
    auto badSegment = RunTool(dir, "create " + Quoted(path) + " --record-length 24 --key 0:8");
    EXPECT_EQ(badSegment.exitCode, 2);
    auto badType = RunTool(dir, "create " + Quoted(path) + " --record-length 24 --key 1:8:type=blob");
    EXPECT_NE(badType.err.find("unknown key type \"blob\""), std::string::npos) << badType.err;
    auto refused = RunTool(dir, "create " + Quoted(path) + " --record-length 24 --key 20:8");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("status 27"), std::string::npos) << refused.err;

    auto missing = RunTool(dir, "stat " + Quoted(dir.File("NONE.DAT")));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("status 12"), std::string::npos) << missing.err;
    ASSERT_EQ(RunTool(dir, "create " + Quoted(path) + " --record-length 24 --key 1:8").exitCode, 0);
    auto noKey = RunTool(dir, "dump " + Quoted(path) + " --key 3");
    EXPECT_EQ(noKey.exitCode, 2);
    EXPECT_NE(noKey.err.find("has no key 3"), std::string::npos) << noKey.err;
}

TEST_F(FileCommandsTest, VariableLengthFileIsCreatedAsAskedAndDumpedWhole) {
    const std::string path = dir.File("NOTES.DAT");
    auto created = RunTool(dir, "create " + Quoted(path) + " --record-length 8 --variable --key 1:8");
    ASSERT_EQ(created.exitCode, 0) << created.err;
    EXPECT_NE(created.out.find("record length 8 (variable)"), std::string::npos) << created.out;
    auto stat = RunTool(dir, "stat " + Quoted(path));
    EXPECT_NE(stat.out.find("File flags: variable\n"), std::string::npos) << stat.out;

    DirectEngine engine;
    ASSERT_TRUE(engine.ready());
    const std::string longNote = "note0002" + std::string(3000, 'L') + "end";
    engine.InsertAll(path, {"note0001short", longNote});
    auto dump = RunTool(dir, "dump " + Quoted(path));
    ASSERT_EQ(dump.exitCode, 0) << dump.err;
    EXPECT_EQ(dump.out, "note0001short\n" + longNote + "\n");
}

}  // namespace

// --where and --fields go through the record manager's extended reads: the rows are its answer.
TEST_F(FileCommandsTest, DumpWhereAndFieldsShowOnlyTheMatchingRecordsAndFields) {
    const std::string path = dir.File("CUST.DAT");
    ASSERT_EQ(RunTool(dir, "create " + Quoted(path) + " --record-length 24 --key 1:8 --key 9:8:dup").exitCode, 0);
    DirectEngine engine;
    ASSERT_TRUE(engine.ready());
    engine.InsertAll(path, {Row("carl", "Paris", "3"), Row("ann", "oslo", "1"), Row("bob", "paris", "2"),
                            Row("dora", "berlin", "4")});
    struct Case {
        std::string arguments;
        std::string out;
    };
    const Case cases[] = {
        {"--where '9:8:nocase = paris' --fields 1:8", "bob\ncarl\n"},
        {"--where '9:8 = paris' --where '1:8 > a' --fields 1:4", "bob\n"},
        {"--where '1:8 < b' --where '1:8 >= d' --any --fields 1:4 --key -1", "ann\ndora\n"},
        {"--where '1:8 != ann' --fields 1:8,9:8 --format csv --limit 1", "position,1:8,9:8\n"},
        {"--where '1:8 = nobody'", ""},
    };
    for (const Case& c : cases) {
        auto dump = RunTool(dir, "dump " + Quoted(path) + " " + c.arguments);
        ASSERT_EQ(dump.exitCode, 0) << c.arguments << "\n" << dump.err;
        if (c.arguments.find("csv") == std::string::npos) {
            EXPECT_EQ(dump.out, c.out) << c.arguments;
        } else {
            EXPECT_EQ(dump.out.rfind(c.out, 0), 0u) << dump.out;
            EXPECT_NE(dump.out.find(",\"bob\",\"paris\"\n"), std::string::npos) << dump.out;
        }
    }
    auto bad = RunTool(dir, "dump " + Quoted(path) + " --where '1:4:type=integer = twelve'");
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("does not fit a 4-byte integer field"), std::string::npos) << bad.err;
}
