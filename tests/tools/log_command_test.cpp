// tydb log: the index log of a data directory, listed, filtered and as JSON; a log the library
// wrote itself and one written here line by line in the library's format.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <memory>
#include <string>

#include "fake_engine_control.h"
#include "tool_runner.h"

using namespace testsupport;

namespace {

// One entry in the library's format, lines ended by CR LF.
std::string Entry(const std::string& action, const std::string& file, int key, int active, int total) {
    const std::string fields[][2] = {
        {"File Name............", file},
        {"Path Name............", "D:\\DATA"},
        {"Key Number...........", std::to_string(key)},
        {"Number of Segments...", "2"},
        {"Key Length...........", "12"},
        {"Page Size............", "4096"},
        {"Record Size..........", "100"},
        {"Number of Records....", "5000"},
        {"Active References....", std::to_string(active)},
        {"Total References.....", std::to_string(total)},
        {"Total Used Segments..", "7"},
        {"Total Free Segments..", "89"},
        {"Start Time...........", "Mon Dec 07 09:05:03 2026"},
        {"Stop Time............", "Mon Dec 07 09:05:04 2026"},
    };
    std::string text = action + "\r\n";
    for (const auto& field : fields) text += "  " + field[0] + ": " + field[1] + "\r\n";
    return text + "\r\n";
}

class LogCommand : public ::testing::Test {
protected:
    void SetUp() override {
        WriteEngineSettings(dir.File("s.ini"), RealEngineDir());
        settings = std::make_unique<ScopedEnv>("TYWREG_FILE", dir.File("s.ini"));
    }
    static std::string Q(const std::string& text) { return "'" + text + "'"; }
    void WriteLog(const std::string& text) { ASSERT_TRUE(WriteFileBytes(dir.File("tysupidx.log"), text)); }
    ToolResult Log(const std::string& options = "") { return RunTool(dir, "log " + Q(dir.path()) + " " + options); }

    TempDir dir;
    std::unique_ptr<ScopedEnv> settings;
};

TEST_F(LogCommand, ListsEveryEntryOneALine) {
    WriteLog(Entry("BUILDING NEW KEY", "CUST.DAT", 3, 1, 1) + Entry("ACTIVATING EXISTING KEY", "CUST.DAT", 3, 2, 2) +
             Entry("PURGING EXISTING KEY", "ORDERS.DAT", 65535, 65535, 40));
    auto listed = Log();
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_NE(listed.out.find("Index log: " + dir.File("tysupidx.log")), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("  3 entries\n"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("  Mon Dec 07 09:05:04 2026  build       CUST.DAT           3     2    12       1       1"
                              "      5000\n"),
              std::string::npos)
        << listed.out;
    EXPECT_NE(listed.out.find("activate    CUST.DAT           3     2    12       2       2"), std::string::npos)
        << listed.out;
    EXPECT_NE(listed.out.find("purge       ORDERS.DAT      65535     2    12   65535      40"), std::string::npos)
        << listed.out;
}

TEST_F(LogCommand, FiltersByFileInAnyCaseAndByAction) {
    WriteLog(Entry("BUILDING NEW KEY", "CUST.DAT", 3, 1, 1) + Entry("ACTIVATING EXISTING KEY", "CUST.DAT", 3, 2, 2) +
             Entry("BUILDING NEW KEY", "ORDERS.DAT", 1, 1, 1) +
             Entry("DEACTIVATING EXISTING KEY", "CUST.DAT", 3, 1, 2));
    auto byFile = Log("--file cust.dat");
    ASSERT_EQ(byFile.exitCode, 0) << byFile.err;
    EXPECT_NE(byFile.out.find("  3 entries of 4\n"), std::string::npos) << byFile.out;
    EXPECT_EQ(byFile.out.find("ORDERS.DAT"), std::string::npos) << byFile.out;

    auto builds = Log("--action build");
    EXPECT_NE(builds.out.find("  2 entries of 4\n"), std::string::npos) << builds.out;
    EXPECT_EQ(builds.out.find("activate"), std::string::npos) << builds.out;

    auto both = Log("--file CUST.DAT --action 'deactivating existing key'");
    EXPECT_NE(both.out.find("  1 entry of 4\n"), std::string::npos) << both.out;
    EXPECT_NE(both.out.find("deactivate  CUST.DAT"), std::string::npos) << both.out;

    auto none = Log("--file NONE.DAT");
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_NE(none.out.find("  0 entries of 4\n"), std::string::npos) << none.out;

    auto unknown = Log("--action rebuild");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("--action"), std::string::npos) << unknown.err;
}

TEST_F(LogCommand, JsonGivesEveryFieldWithNumbersAsNumbers) {
    WriteLog(Entry("PURGING EXISTING KEY", "ORDERS.DAT", 65535, 65535, 40));
    auto json = Log("--json");
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.out,
              "{\"log\":\"" + dir.File("tysupidx.log") +
                  "\",\"present\":true,\"unreadableLines\":0,\"entries\":[{\"line\":1,\"action\":\"PURGING "
                  "EXISTING KEY\",\"fileName\":\"ORDERS.DAT\",\"pathName\":\"D:\\\\DATA\",\"keyNumber\":65535,"
                  "\"segments\":2,\"keyLength\":12,\"pageSize\":4096,\"recordSize\":100,\"records\":5000,"
                  "\"activeReferences\":65535,\"totalReferences\":40,\"usedSegments\":7,\"freeSegments\":89,"
                  "\"startTime\":\"Mon Dec 07 09:05:03 2026\",\"stopTime\":\"Mon Dec 07 09:05:04 2026\"}]}\n");
}

TEST_F(LogCommand, DamagedLinesAreCountedAndTheRestIsRead) {
    // A log cut short in the middle of an entry, then more lines that belong to no entry.
    const std::string cut =
        "BUILDING NEW KEY\r\n  File Name............: CUST.DAT\r\n  Key Num\r\n\r\n"
        "  Key Number...........: 9\r\n" +
        Entry("ACTIVATING EXISTING KEY", "CUST.DAT", 3, 2, 2);
    WriteLog(cut);
    auto listed = Log();
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_NE(listed.out.find("  2 entries\n"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("  2 line(s) could not be read as part of an entry"), std::string::npos) << listed.out;
    auto json = Log("--json");
    EXPECT_NE(json.out.find("\"unreadableLines\":2"), std::string::npos) << json.out;
}

TEST_F(LogCommand, AFolderWithoutALogSaysSoAndAMissingFolderIsAnError) {
    auto empty = Log();
    EXPECT_EQ(empty.exitCode, 0);
    EXPECT_NE(empty.out.find("Not there"), std::string::npos) << empty.out;
    auto json = Log("--json");
    EXPECT_NE(json.out.find("\"present\":false"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"entries\":[]"), std::string::npos) << json.out;

    auto missing = RunTool(dir, "log " + Q(dir.File("nowhere")));
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("no such directory"), std::string::npos) << missing.err;
}

TEST_F(LogCommand, ListsWhatTheLibraryLoggedForActivateAndDeactivate) {
    ASSERT_EQ(RunTool(dir, "settings set 'Index Log' 1").exitCode, 0);
    const std::string path = dir.File("ORDERS.DAT");
    ASSERT_EQ(RunTool(dir, "create " + Q(path) + " --record-length 40 --key 1:8").exitCode, 0);
    ASSERT_EQ(RunTool(dir, "activate " + Q(path) + " 10:4:dup").exitCode, 0);
    ASSERT_EQ(RunTool(dir, "deactivate " + Q(path) + " 10:4").exitCode, 0);
    auto listed = Log("--file orders.dat");
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_NE(listed.out.find("  2 entries of 2\n"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("build       ORDERS.DAT         1     1     4       1       1         0"),
              std::string::npos)
        << listed.out;
    EXPECT_NE(listed.out.find("deactivate  ORDERS.DAT         1     1     4       0       1         0"),
              std::string::npos)
        << listed.out;
}

}  // namespace
