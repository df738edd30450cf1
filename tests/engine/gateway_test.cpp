// The call gateway against the recording fake record manager.
#include <gtest/gtest.h>

#include <filesystem>

#include "fake_engine_control.h"
#include "gateway.h"
#include "tydb.h"

using namespace testsupport;

namespace {

class GatewayTest : public ::testing::Test {
protected:
    void TearDown() override { tydb::UnloadEngine(); }
    TempDir dir;
};

TEST_F(GatewayTest, MissingEngineGives20OnEveryRequestAndIsLookedForAgain) {
    const std::string engineDir = dir.File("engine");
    std::filesystem::create_directory(engineDir);
    WriteEngineSettings(dir.File("settings.ini"), engineDir);
    ScopedEnv settings("TYWREG_FILE", dir.File("settings.ini"));
    ScopedEnv log("FAKE_ENGINE_LOG", dir.File("fake.log"));
    ScopedEnv path("PATH", "/usr/bin:/bin");

    EXPECT_EQ(DbCheckEngine(), 20);
    uint8_t positionBlock[128] = {};
    uint8_t data[16] = {7};
    uint16_t length = 16;
    EXPECT_EQ(tydb::CallEngine(0, positionBlock, data, &length, data, 0), 20);
    EXPECT_EQ(length, 16) << "a request that reached no engine leaves the length alone";
    EXPECT_EQ(data[0], 7);

    // The engine appears in its folder: the very next request loads it.
#ifdef _WIN32
    const std::string engineFile = "/w3btrv7.dll";
#else
    const std::string engineFile = "/libw3btrv7.so";
#endif
    std::filesystem::copy_file(FakeEngineDir() + engineFile, engineDir + engineFile);
    EXPECT_EQ(DbCheckEngine(), 0);
    EXPECT_EQ(ReadFileBytes(dir.File("fake.log")).value_or("").rfind("load", 0), 0u)
        << "the fake records its load first";
}

TEST_F(GatewayTest, CheckEngineSendsAnOpenOfTheEmptyNameAndIgnoresItsError) {
    FakeEngine fake(dir);
    fake.Script(0, "*", 11);
    EXPECT_EQ(DbCheckEngine(), 0);
    auto calls = fake.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].operation, 0);
    EXPECT_EQ(calls[0].dataLength, 0u);
    EXPECT_EQ(calls[0].keyNumber, 0);
    EXPECT_EQ(calls[0].keyHex, std::string(32, '0'));

    // An engine that reports itself inactive is absent for the check.
    fake.ClearScript();
    fake.Script(0, "*", 20);
    EXPECT_EQ(DbCheckEngine(), 20);
}

TEST_F(GatewayTest, StopUnloadsAndTheNextRequestReadsSettingsAndPathAnew) {
    FakeEngine fake(dir);
    fake.Script(0, "*", 11);
    fake.Script(25, "*", 0);
    EXPECT_EQ(DbCheckEngine(), 0);
    EXPECT_EQ(DbStopEngine(), 0);
    EXPECT_EQ(fake.Loads(), 1);
    EXPECT_EQ(fake.Unloads(), 1);
    ASSERT_EQ(fake.CallsOf(25).size(), 1u);

    // With the engine's folder gone from both the settings and PATH it is not found...
    const std::string emptyDir = dir.File("empty");
    std::filesystem::create_directory(emptyDir);
    WriteEngineSettings(fake.settingsFile(), emptyDir);
    {
        ScopedEnv path("PATH", "/usr/bin:/bin");
        EXPECT_EQ(DbCheckEngine(), 20);
    }
    // ...and with the settings naming it again the next request loads it once more.
    WriteEngineSettings(fake.settingsFile(), FakeEngineDir());
    EXPECT_EQ(DbCheckEngine(), 0);
    EXPECT_EQ(fake.Loads(), 2);
}

TEST_F(GatewayTest, StopStatusIsWidenedWithItsSign) {
    FakeEngine fake(dir);
    fake.Script(25, "*", -3);
    EXPECT_EQ(DbStopEngine(), -3);
    EXPECT_EQ(fake.Unloads(), 1) << "the library is unloaded whatever the Stop answered";
}

TEST_F(GatewayTest, DataLengthTravelsAs32BitsAndItsLow16BitsComeBack) {
    FakeEngine fake(dir);
    fake.Script(6, "*", 0, 0x12345, "ab");
    uint8_t positionBlock[128] = {};
    uint8_t data[64] = {};
    uint8_t key[255] = {0x41, 0x42};
    uint16_t length = 64;
    EXPECT_EQ(tydb::CallEngine(6, positionBlock, data, &length, key, 3), 0);
    EXPECT_EQ(length, 0x2345);
    EXPECT_EQ(data[0], 'a');
    auto calls = fake.CallsOf(6);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].dataLength, 64u);
    EXPECT_EQ(calls[0].keyNumber, 3);
    EXPECT_EQ(calls[0].keyHex.substr(0, 4), "4142");

    // No length from the caller: the engine is told 0 and nothing is written back.
    EXPECT_EQ(tydb::CallEngine(6, positionBlock, data, nullptr, key, -1), 0);
    calls = fake.CallsOf(6);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].dataLength, 0u);
    EXPECT_EQ(calls[1].keyNumber, -1);
}

TEST_F(GatewayTest, VersionReplyIsReadAtOffsetsFiveSevenAndNine) {
    FakeEngine fake(dir);
    const std::string reply("\x07\x00\x0F\x00N\x07\x00\x0F\x00W", 10);
    fake.Script(26, "*", 0, 15, reply);
    int32_t version = -1, revision = -1;
    char type[2] = {'x', 'x'};
    EXPECT_EQ(DbGetEngineVersion(&version, &revision, type), 0);
    EXPECT_EQ(version, 7);
    EXPECT_EQ(revision, 15);
    EXPECT_EQ(type[0], 'W');
    EXPECT_EQ(type[1], '\0');
    auto calls = fake.CallsOf(26);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].dataLength, 128u);
}

TEST_F(GatewayTest, FailedVersionLeavesTheOutputsClearedAndReturnsTheStatus) {
    FakeEngine fake(dir);
    fake.Script(26, "*", 22, 15, std::string(15, '\x05'));
    int32_t version = -1, revision = -1;
    char type[2] = {'x', 'x'};
    EXPECT_EQ(DbGetEngineVersion(&version, &revision, type), 22);
    EXPECT_EQ(version, 0);
    EXPECT_EQ(revision, 0);
    EXPECT_EQ(type[0], '\0');
}

TEST_F(GatewayTest, UnloadedEngineGives20ThroughEveryExport) {
    const std::string emptyDir = dir.File("none");
    std::filesystem::create_directory(emptyDir);
    WriteEngineSettings(dir.File("settings.ini"), emptyDir);
    ScopedEnv settings("TYWREG_FILE", dir.File("settings.ini"));
    ScopedEnv path("PATH", "/usr/bin:/bin");
    int32_t version = -1, revision = -1;
    char type[2] = {'x', 'x'};
    EXPECT_EQ(DbGetEngineVersion(&version, &revision, type), 20);
    EXPECT_EQ(version, 0);
    EXPECT_EQ(DbStopEngine(), 20);
}

}  // namespace
