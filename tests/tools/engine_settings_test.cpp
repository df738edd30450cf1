// tydb engine and tydb settings, run as a person runs them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "fake_engine_control.h"
#include "tool_runner.h"

using namespace testsupport;

namespace {

TEST(ToolSettings, SetThenGetRoundTripsAndKeepsTheFileReadable) {
    TempDir dir;
    ScopedEnv settings("TYWREG_FILE", dir.File("s.ini"));
    EXPECT_EQ(RunTool(dir, "settings set PATH /opt/pervasive/bin").exitCode, 0);
    EXPECT_EQ(RunTool(dir, "settings set 'Index Log' 1").exitCode, 0);

    auto path = RunTool(dir, "settings get PATH");
    EXPECT_EQ(path.exitCode, 0);
    EXPECT_EQ(path.out, "/opt/pervasive/bin\n");
    // The index settings live in the "Settings" section, where the library reads them.
    auto log = RunTool(dir, "settings get 'Index Log' --section Settings");
    EXPECT_EQ(log.out, "1\n");
    const std::string text = ReadFileBytes(dir.File("s.ini")).value_or("");
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Pervasive\\11\\Settings]"), std::string::npos) << text;
}

TEST(ToolSettings, MissingSettingIsAnErrorWithAMessage) {
    TempDir dir;
    ScopedEnv settings("TYWREG_FILE", dir.File("s.ini"));
    auto result = RunTool(dir, "settings get PATH");
    EXPECT_NE(result.exitCode, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("\"PATH\" is not set"), std::string::npos) << result.err;
}

TEST(ToolSettings, UnknownCommandAndMissingArgumentFailWithUsage) {
    TempDir dir;
    EXPECT_NE(RunTool(dir, "settings").exitCode, 0);
    EXPECT_NE(RunTool(dir, "settings set PATH").exitCode, 0);
    EXPECT_NE(RunTool(dir, "no-such-command").exitCode, 0);
}

TEST(ToolEngine, ReportsVersionAndTypeOfTheRecordManager) {
    TempDir dir;
    FakeEngine fake(dir);
    fake.Script(0, "*", 11);
    fake.Script(25, "*", 0);
    fake.Script(26, "*", 0, 15, std::string("\x07\x00\x00\x00N\x07\x00\x0F\x00W", 10));

    auto text = RunTool(dir, "engine");
    EXPECT_EQ(text.exitCode, 0) << text.err;
    EXPECT_NE(text.out.find("Record manager: present"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Version: 7.15  type W"), std::string::npos) << text.out;

    auto json = RunTool(dir, "engine --json");
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_NE(json.out.find("\"present\":true"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"version\":7,\"revision\":15,\"type\":\"W\""), std::string::npos) << json.out;
}

TEST(ToolEngine, VersionNamesTheRecordManagerFileItLoadsAndItsVersion) {
    TempDir dir;
    FakeEngine fake(dir);
    fake.Script(0, "*", 11);
    fake.Script(25, "*", 0);
    fake.Script(26, "*", 0, 15, std::string("\x07\x00\x00\x00N\x07\x00\x0F\x00W", 10));

    auto version = RunTool(dir, "--version");
    EXPECT_EQ(version.exitCode, 0) << version.err;
    const size_t line = version.out.find("Record manager: ");
    ASSERT_NE(line, std::string::npos) << version.out;
    // The fake record manager, from its own folder, not the real one beside the tool.
    EXPECT_NE(version.out.find("fakes", line), std::string::npos) << version.out;
    EXPECT_NE(version.out.find(", version 7.15 type W", line), std::string::npos) << version.out;
}

TEST(ToolEngine, AbsentRecordManagerExplainsStatus20AndHowToFixIt) {
    TempDir dir;
    const std::string empty = dir.File("empty");
    std::filesystem::create_directory(empty);
    WriteEngineSettings(dir.File("s.ini"), empty);
    ScopedEnv settings("TYWREG_FILE", dir.File("s.ini"));
    ScopedEnv path("PATH", "/usr/bin:/bin");

    auto result = RunTool(dir, "engine");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("status 20 (record manager not found or inactive)"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("tydb settings set PATH"), std::string::npos) << result.err;

    auto json = RunTool(dir, "engine --json");
    EXPECT_NE(json.out.find("\"present\":false"), std::string::npos) << json.out;
}

}  // namespace
