// tydb registry, keys, activate, deactivate, purge and clear-registry, run as a person runs them
// against the real record manager.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <memory>
#include <string>

#include "fake_engine_control.h"
#include "tool_runner.h"

using namespace testsupport;

namespace {

class SupplementalKeyCommands : public ::testing::Test {
protected:
    void SetUp() override {
        WriteEngineSettings(dir.File("s.ini"), RealEngineDir());
        settings = std::make_unique<ScopedEnv>("TYWREG_FILE", dir.File("s.ini"));
        path = dir.File("ORDERS.DAT");
        ASSERT_EQ(RunTool(dir, "create " + Quoted(path) + " --record-length 40 --key 1:8").exitCode, 0);
    }
    std::string Quoted(const std::string& text) { return "'" + text + "'"; }
    ToolResult Run(const std::string& command, const std::string& rest = "") {
        return RunTool(dir, command + " " + Quoted(path) + (rest.empty() ? "" : " " + rest));
    }

    TempDir dir;
    std::unique_ptr<ScopedEnv> settings;
    std::string path;
};

TEST_F(SupplementalKeyCommands, ActivateBuildsThenReusesAndTheRegistryShowsTheCounts) {
    auto built = Run("activate", "10:4:dup");
    ASSERT_EQ(built.exitCode, 0) << built.err;
    EXPECT_NE(built.out.find("Key 1 of"), std::string::npos) << built.out;
    ASSERT_EQ(Run("activate", "10:4:dup").exitCode, 0);

    auto registry = RunTool(dir, "registry " + Quoted(dir.path()));
    ASSERT_EQ(registry.exitCode, 0) << registry.err;
    EXPECT_NE(registry.out.find("ORDERS.DAT         1         1       2           2  20"), std::string::npos)
        << registry.out;
    auto json = RunTool(dir, "registry --json " + Quoted(dir.path()));
    EXPECT_NE(json.out.find("{\"file\":\"ORDERS.DAT\",\"key\":1,\"segments\":1,\"active\":2,\"total\":2,"),
              std::string::npos)
        << json.out;

    auto keys = Run("keys");
    ASSERT_EQ(keys.exitCode, 0) << keys.err;
    EXPECT_NE(keys.out.find("Key 0: 1:8, length 8, permanent"), std::string::npos) << keys.out;
    EXPECT_NE(keys.out.find("Key 1: 10:4, length 4, supplemental, registered: active 2, total 2"), std::string::npos)
        << keys.out;
}

TEST_F(SupplementalKeyCommands, PermanentSegmentsNeedNoRegistryEntry) {
    ASSERT_EQ(Run("activate", "1:8").exitCode, 0);
    auto registry = RunTool(dir, "registry " + Quoted(dir.path()));
    ASSERT_EQ(registry.exitCode, 0);
    EXPECT_NE(registry.out.find("no entries"), std::string::npos) << registry.out;
}

TEST_F(SupplementalKeyCommands, DeactivateAndPurgeNameTheKeyByNumberOrSegments) {
    ASSERT_EQ(Run("activate", "10:4:dup").exitCode, 0);
    ASSERT_EQ(Run("activate", "10:4:dup").exitCode, 0);
    auto deactivated = Run("deactivate", "10:4");
    ASSERT_EQ(deactivated.exitCode, 0) << deactivated.err;
    EXPECT_NE(Run("keys").out.find("registered: active 1, total 2"), std::string::npos);
    ASSERT_EQ(Run("deactivate", "1").exitCode, 0);

    auto purged = Run("purge", "1");
    ASSERT_EQ(purged.exitCode, 0) << purged.err;
    EXPECT_EQ(Run("keys").out.find("Key 1"), std::string::npos);
    EXPECT_NE(RunTool(dir, "registry " + Quoted(dir.path())).out.find("no entries"), std::string::npos);

    auto missing = Run("deactivate", "7");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("has no key 7"), std::string::npos) << missing.err;
}

TEST_F(SupplementalKeyCommands, DeactivatingAnUnregisteredKeyFails) {
    ASSERT_EQ(Run("activate", "12:2:dup").exitCode, 0);
    auto cleared = Run("clear-registry");
    ASSERT_EQ(cleared.exitCode, 0) << cleared.err;
    EXPECT_NE(Run("keys").out.find("Key 1: 12:2, length 2, supplemental, not in the registry"), std::string::npos);
    auto refused = Run("deactivate", "1");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("status 4"), std::string::npos) << refused.err;
}

TEST_F(SupplementalKeyCommands, DeactivatingAKeyNobodyUsesKeepsItsCountAtZero) {
    ASSERT_EQ(Run("activate", "10:4:dup").exitCode, 0);
    ASSERT_EQ(Run("deactivate", "1").exitCode, 0);
    auto refused = Run("deactivate", "1");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("status 4"), std::string::npos) << refused.err;
    EXPECT_NE(Run("keys").out.find("registered: active 0, total 1"), std::string::npos);
}

TEST_F(SupplementalKeyCommands, PurgeRefusesAKeyInUseUnlessForced) {
    ASSERT_EQ(Run("activate", "10:4:dup").exitCode, 0);
    auto refused = Run("purge", "1");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("is in use"), std::string::npos) << refused.err;
    EXPECT_NE(Run("keys").out.find("Key 1: 10:4"), std::string::npos);
    auto forced = Run("purge", "1 --force");
    ASSERT_EQ(forced.exitCode, 0) << forced.err;
    EXPECT_EQ(Run("keys").out.find("Key 1"), std::string::npos);
}

TEST_F(SupplementalKeyCommands, IndexDropLeavesTheOtherKeysTheirNumbers) {
    ASSERT_EQ(Run("index add", "--key 9:4:dup").exitCode, 0);
    ASSERT_EQ(Run("index add", "--key 13:4:dup").exitCode, 0);
    auto dropped = Run("index drop", "1");
    ASSERT_EQ(dropped.exitCode, 0) << dropped.err;
    const std::string keys = Run("keys").out;
    EXPECT_EQ(keys.find("Key 1:"), std::string::npos) << keys;
    EXPECT_NE(keys.find("Key 2: 13:4"), std::string::npos) << keys;
}

TEST_F(SupplementalKeyCommands, IndexDropRefusesAKeyTheRegistryListsInUse) {
    ASSERT_EQ(Run("activate", "10:4:dup").exitCode, 0);
    auto refused = Run("index drop", "1");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("is in use"), std::string::npos) << refused.err;
    EXPECT_NE(Run("keys").out.find("Key 1: 10:4"), std::string::npos);
}

TEST_F(SupplementalKeyCommands, PurgeOfAPermanentKeySaysItCannotBePurged) {
    auto refused = Run("purge", "0");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("a permanent key cannot be purged"), std::string::npos) << refused.err;
    EXPECT_NE(Run("keys").out.find("Key 0: 1:8"), std::string::npos);
}

TEST_F(SupplementalKeyCommands, CreateOverAnExistingFileIsRefusedUnlessReplaceIsGiven) {
    auto refused = Run("create", "--record-length 20 --key 1:4");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("--replace"), std::string::npos) << refused.err;
    EXPECT_NE(Run("keys").out.find("Key 0: 1:8"), std::string::npos);
    auto replaced = Run("create", "--record-length 20 --key 1:4 --replace");
    ASSERT_EQ(replaced.exitCode, 0) << replaced.err;
    EXPECT_NE(Run("keys").out.find("Key 0: 1:4"), std::string::npos);
}

TEST_F(SupplementalKeyCommands, BadInputIsRefusedWithAMessage) {
    auto badKey = Run("activate", "x:y");
    EXPECT_EQ(badKey.exitCode, 2);
    EXPECT_NE(badKey.err.find("invalid key"), std::string::npos) << badKey.err;
    auto noRegistry = RunTool(dir, "registry " + Quoted(dir.File("nowhere")));
    EXPECT_EQ(noRegistry.exitCode, 1);
    EXPECT_NE(noRegistry.err.find("cannot read the registry"), std::string::npos) << noRegistry.err;
    auto noFile = RunTool(dir, "keys " + Quoted(dir.File("MISSING.DAT")));
    EXPECT_EQ(noFile.exitCode, 1);
}

}  // namespace
