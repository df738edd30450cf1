// The route for files of any version: tydb stat/create --description (a definition written as a
// description file and read back) and tydb load --unformatted; files that are neither.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "fake_engine_control.h"
#include "tool_runner.h"

using namespace testsupport;

namespace {

class DescriptionTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteEngineSettings(dir.File("s.ini"), RealEngineDir());
        settings = std::make_unique<ScopedEnv>("TYWREG_FILE", dir.File("s.ini"));
    }
    ToolResult Tool(const std::string& arguments) { return RunTool(dir, arguments); }
    // Stat's picture of a definition, the file's name left out.
    std::string Definition(const std::string& path) {
        std::string stat = Tool("stat '" + path + "'").out;
        return stat.substr(stat.find('\n'));
    }
    ToolResult CreateFrom(const std::string& text) {
        WriteFileBytes(dir.File("IN.DES"), text);
        return Tool("create '" + dir.File("NEW.DAT") + "' --description '" + dir.File("IN.DES") + "'");
    }

    TempDir dir;
    std::unique_ptr<ScopedEnv> settings;
};

}  // namespace

TEST_F(DescriptionTest, EveryFlagAndTypeOfAKeyComesBackFromTheDescription) {
    const std::string original = dir.File("ALL.DAT"), copy = dir.File("COPY.DAT"), description = dir.File("ALL.DES");
    ASSERT_EQ(Tool("create '" + original +
                   "' --record-length 60 --variable --key 1:4:type=unsigned "
                   "--key 5:10:dup:mod:nocase,15:8:type=zstring:desc --key 23:6:null:bin --key 29:8:upper --key 45:2")
                  .exitCode,
              0);
    ASSERT_EQ(Tool("index add '" + original + "' --key 37:4:type=integer:dup").exitCode, 0);  // supplemental
    ASSERT_EQ(Tool("index drop '" + original + "' 4").exitCode, 0);                           // numbers with a gap
    const ToolResult written = Tool("stat '" + original + "' --description '" + description + "'");
    ASSERT_EQ(written.exitCode, 0) << written.err;
    const ToolResult created = Tool("create '" + copy + "' --description '" + description + "'");
    ASSERT_EQ(created.exitCode, 0) << created.err;
    // The new file says "keynumbers": Create needs the flag to give keys their numbers.
    std::string made = Definition(copy);
    made.erase(made.find(" keynumbers"), 11);
    EXPECT_EQ(made, Definition(original));
}

TEST_F(DescriptionTest, ADescriptionThatIsNoDefinitionIsRefusedWithItsLineAndReason) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"key=1\nposition=1 length=4 segment=n\n", "no record="},
        {"record=10 key=1\nposition=1 length=4 type=integr segment=n\n", "line 2: unknown key type \"integr\""},
        {"record=10 key=2\nposition=1 length=4 segment=n\n", "key=2 but the segments make 1 keys"},
        {"record=10 key=1\nlength=4 position=1 segment=n\n", "line 2: length= comes before the first position="},
        {"record=ten key=1\n", "line 1: record=ten: a number from 1 to 65535 is wanted"},
        {"record=10 key=1\nposition=1 length=4 segment=y\n", "line 2: the last segment says segment=y"},
        {"record=10 key=1\nposition=1 length=4 alternate=y segment=n\n", "no name= gives the collating sequence"},
        {"record=10 key=1\nposition=1 length=4 alternate=y segment=n\nname=MISSING.ALT\n",
         "line 3: name=MISSING.ALT: cannot be read"},
    };
    for (const Case& c : cases) {
        const ToolResult result = CreateFrom(c.text);
        EXPECT_EQ(result.exitCode, 2) << c.text;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << c.text << result.err;
    }
}

TEST_F(DescriptionTest, AnUnknownKeywordIsNamedAndTheRestIsCreated) {
    const ToolResult result = CreateFrom(
        "record=10 Key=1 PAGE=512 colour=blue\nposition=1 length=4 "
        "type=Unsigned Binary DUPLICATES=Y segment=n\n");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.err.find("line 1: unknown keyword \"colour\""), std::string::npos) << result.err;
    EXPECT_NE(Definition(dir.File("NEW.DAT")).find("position 1, length 4, unsigned, dup"), std::string::npos);
}

TEST_F(DescriptionTest, ASaveFileThatIsMalformedStopsAtItsRecordAfterLoadingTheOnesBefore) {
    struct Case {
        const char* bytes;
        const char* message;
    };
    const Case cases[] = {
        {"9,ab\r\n", "record 1 (byte 0): its 9 bytes run past the end"},
        {"4,abcd\r\n4,cdXYZ", "record 2 (byte 8): its 4 bytes are not followed by CR LF"},
        {"4,abcd\r\n", "record 2 (byte 8): the file ends without its Ctrl-Z"},
        {"4,abcd\r\nab,cd\r\n\x1a", "record 2 (byte 8): a record length in digits and a comma are wanted"},
    };
    ASSERT_EQ(Tool("create '" + dir.File("S.DAT") + "' --record-length 4 --key 1:4:dup").exitCode, 0);
    for (const Case& c : cases) {
        WriteFileBytes(dir.File("IN.UNF"), c.bytes);
        const ToolResult result = Tool("load '" + dir.File("S.DAT") + "' '" + dir.File("IN.UNF") + "' --unformatted");
        EXPECT_EQ(result.exitCode, 2) << c.bytes;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << c.bytes << result.err;
    }
    // The records before each malformed one stay: three whole records came before.
    EXPECT_NE(Tool("stat '" + dir.File("S.DAT") + "'").out.find("Records: 3"), std::string::npos);
}
