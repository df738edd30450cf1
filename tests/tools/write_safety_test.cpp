// The tool on live data: no write under another computer's workstation lock unless --force, and
// no file replaced while a process has it open.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "btrcall.h"
#include "fake_engine_control.h"
#include "platform.h"
#include "tool_runner.h"

using namespace testsupport;

namespace {

constexpr char kOtherComputer[] = "OTHER-PC";

std::string Q(const std::string& text) { return "'" + text + "'"; }

std::string ThisComputer() {
    char name[254] = {};
    platform::GetComputerName(name, sizeof name);
    return name;
}

// A file held open through the real record manager loaded into this process, as a workstation
// running the application holds it.
class OpenElsewhere {
public:
    explicit OpenElsewhere(const std::string& path) {
        library_ = dlopen((RealEngineDir() + "/libw3btrv7.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        call_ = reinterpret_cast<BtrCallFunction>(dlsym(library_, "BTRCALL"));
        std::strncpy(key_, path.c_str(), sizeof key_ - 1);
        uint32_t length = 0;
        opened_ = call_(btr::kOpOpen, block_, nullptr, &length, key_, 255, 0);
    }
    ~OpenElsewhere() {
        uint32_t length = 0;
        if (opened_ == 0) call_(btr::kOpClose, block_, nullptr, &length, key_, 255, 0);
        dlclose(library_);
    }
    int16_t opened() const { return opened_; }

private:
    void* library_ = nullptr;
    BtrCallFunction call_ = nullptr;
    uint8_t block_[btr::kPositionBlockSize] = {};
    char key_[256] = {};
    int16_t opened_ = -1;
};

class WriteSafety : public ::testing::Test {
protected:
    void SetUp() override {
        WriteEngineSettings(dir.File("s.ini"), RealEngineDir());
        settings = std::make_unique<ScopedEnv>("TYWREG_FILE", dir.File("s.ini"));
        std::filesystem::create_directory(data);
        ASSERT_EQ(Run("create " + Q(path) + " --record-length 40 --key 1:8").exitCode, 0);
        ASSERT_EQ(Run("activate " + Q(path) + " 10:4:dup").exitCode, 0);
        ASSERT_TRUE(WriteFileBytes(dir.File("orders.layout"), "number 0 8 string\n"));
        ASSERT_TRUE(WriteFileBytes(dir.File("orders.csv"), "number\nA1\n"));
    }
    ToolResult Run(const std::string& arguments) { return RunTool(dir, arguments); }
    std::string Keys() { return Run("keys " + Q(path)).out; }
    // A workstation lock in `folder` naming `computer`, held open as its holder holds it when
    // `live`.
    void Lock(const std::string& folder, const std::string& computer, bool live) {
        const std::string lockFile = folder + "/~ty~.loc";
        ASSERT_TRUE(WriteFileBytes(lockFile, computer));
        if (live) {
            ASSERT_EQ(platform::File::OpenDenyWrite(lockFile.c_str(), true, &holder), platform::FileStatus::kOk);
        }
    }

    TempDir dir;
    std::unique_ptr<ScopedEnv> settings;
    const std::string data = dir.File("data");
    const std::string path = data + "/ORDERS.DAT";
    platform::File holder;
};

TEST_F(WriteSafety, EveryWritingCommandIsRefusedUnderAnotherComputersLiveLock) {
    Lock(data, kOtherComputer, true);
    const std::string before = Keys();
    std::filesystem::create_directory(dir.File("old"));
    WriteFileBytes(dir.File("new.des"), "record=20 key=1\nposition=1 length=4 segment=n\n");
    const std::string writes[] = {
        "create " + Q(data + "/NEW.DAT") + " --description " + Q(dir.File("new.des")),
        "load " + Q(path) + " " + Q(dir.File("new.des")) + " --unformatted",
        "create " + Q(data + "/NEW.DAT") + " --record-length 20 --key 1:4",
        "create " + Q(path) + " --record-length 20 --key 1:4 --replace",
        "load " + Q(path) + " " + Q(dir.File("orders.csv")) + " --layout " + Q(dir.File("orders.layout")),
        "import " + Q(dir.File("OLD.DAT")) + " " + Q(data + "/NEW.DAT"),
        "activate " + Q(path) + " 20:2",
        "deactivate " + Q(path) + " 1",
        "purge " + Q(path) + " 1",
        "clear-registry " + Q(path),
        "clone " + Q(path) + " " + Q(data + "/NEW.DAT"),
        "copy " + Q(path) + " " + Q(path),
        "index add " + Q(path) + " --key 30:2:dup",
        "index drop " + Q(path) + " 1",
        "import " + Q(dir.File("old")) + " --to " + Q(data),
    };
    for (const std::string& write : writes) {
        auto refused = Run(write);
        EXPECT_EQ(refused.exitCode, 1) << write;
        EXPECT_NE(refused.err.find("computer OTHER-PC holds the workstation lock"), std::string::npos) << refused.err;
        EXPECT_NE(refused.err.find("--force"), std::string::npos) << refused.err;
    }
    EXPECT_NE(before.find("Key 1: 10:4"), std::string::npos) << before;
    EXPECT_EQ(Keys(), before);
    EXPECT_FALSE(std::filesystem::exists(data + "/NEW.DAT"));
}

TEST_F(WriteSafety, ForceWritesUnderAnotherComputersLock) {
    Lock(data, kOtherComputer, true);
    auto forced = Run("load " + Q(path) + " " + Q(dir.File("orders.csv")) + " --layout " +
                      Q(dir.File("orders.layout")) + " --force");
    ASSERT_EQ(forced.exitCode, 0) << forced.err;
    EXPECT_NE(forced.out.find("Loaded 1 record"), std::string::npos) << forced.out;
}

TEST_F(WriteSafety, OnlyALiveLockOfAnotherComputerInTheFoldersAboveRefuses) {
    struct Row {
        bool inParent;
        bool otherComputer;
        bool live;
        bool refused;
    };
    const Row rows[] = {
        {false, true, true, true},    // the file's own folder
        {true, true, true, true},     // a folder above it
        {false, true, false, false},  // stale: left by a crash, nobody holds it
        {false, false, true, false},  // this computer's own lock
    };
    for (const Row& row : rows) {
        Lock(row.inParent ? dir.path() : data, row.otherComputer ? kOtherComputer : ThisComputer(), row.live);
        auto result = Run("activate " + Q(path) + " 10:4:dup");
        EXPECT_EQ(result.exitCode, row.refused ? 1 : 0) << row.inParent << row.otherComputer << row.live << result.err;
        EXPECT_EQ(result.err.find("holds the workstation lock") != std::string::npos, row.refused) << result.err;
        holder.Close();
        std::filesystem::remove(row.inParent ? dir.File("~ty~.loc") : data + "/~ty~.loc");
    }
}

TEST_F(WriteSafety, AWorkstationOfAnotherHostWithTheFolderOpenKeepsALoadOut) {
    if (!CanChangeHostName()) GTEST_SKIP() << "needs root and unshare for a second host name";
    ChildProcess workstation(BuildPath("wslock_opener"), {BuildPath("libtydb.so")}, std::string("tydb-other-ws"));
    ASSERT_EQ(workstation.ReadLine().value_or(""), "ready tydb-other-ws");
    ASSERT_TRUE(workstation.Send("dirs " + data + "/"));
    ASSERT_EQ(workstation.ReadLine().value_or(""), "dirs 0");
    ASSERT_TRUE(workstation.Send("open " + path));
    const std::string opened = workstation.ReadLine().value_or("");
    ASSERT_EQ(opened.rfind("open 0 ", 0), 0u) << opened;
    auto refused =
        Run("load " + Q(path) + " " + Q(dir.File("orders.csv")) + " --layout " + Q(dir.File("orders.layout")));
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("computer tydb-other-ws holds the workstation lock"), std::string::npos) << refused.err;
}

TEST_F(WriteSafety, ReplaceIsRefusedWhileAnotherProcessHasTheFileOpen) {
    OpenElsewhere workstation(path);
    ASSERT_EQ(workstation.opened(), 0);
    auto refused = Run("create " + Q(path) + " --record-length 20 --key 1:4 --replace");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("cannot replace " + path + ": a process has it open (status 85"), std::string::npos)
        << refused.err;
    EXPECT_NE(Keys().find("Key 0: 1:8"), std::string::npos);
}

}  // namespace
