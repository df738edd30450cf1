// `tydb lock DIR`: the report on a lock directory, and that looking changes nothing.
#include <gtest/gtest.h>

#include <string>

#include "lock_fixture.h"
#include "platform.h"
#include "test_support.h"

using namespace locktest;

namespace {

class ToolLockTest : public LockTest {
protected:
    // The tool's one line of JSON, and its exit code.
    std::string Report(const std::string& directory, int* exitCode = nullptr) {
        testsupport::ChildProcess tool(testsupport::BuildPath("tydb"), {"lock", directory, "--json"});
        std::string line = tool.ReadLine().value_or("");
        const int code = tool.Wait();
        if (exitCode != nullptr) *exitCode = code;
        return line;
    }
    static std::string Json(const std::string& text) {
        std::string out;
        for (char c : text) {
            if (c == '\\' || c == '"') out += '\\';
            out += c;
        }
        return "\"" + out + "\"";
    }
    std::string Expected(bool present, const std::string& computer, const std::string& held, bool own,
                         const std::string& file = std::string()) {
        return "{\"lockFile\":" + Json(file.empty() ? lockFile : file) +
               ",\"present\":" + (present ? "true" : "false") +
               ",\"computer\":" + (present ? "\"" + computer + "\"" : "null") + ",\"held\":" + held +
               ",\"thisComputer\":\"" + ThisComputer() + "\",\"own\":" + (own ? "true" : "false") + "}";
    }
};

TEST_F(ToolLockTest, NoLockFileIsReportedAsFree) {
    int exitCode = -1;
    EXPECT_EQ(Report(lockDirectory, &exitCode), Expected(false, "", "null", false));
    EXPECT_EQ(exitCode, 0);
}

TEST_F(ToolLockTest, LiveLockOfThisComputerIsReportedAndLeftAlone) {
    SetLockDirectory(lockDirectory);
    const int16_t handle = Open(data + "/CUST.DAT");
    EXPECT_EQ(Report(lockDirectory), Expected(true, ThisComputer(), "true", true));
    // Without its separator the directory is joined with '\', which POSIX reads as '/'.
    const std::string joined = platform::NativePath((data + "\\~ty~.loc").c_str());
    EXPECT_EQ(Report(data), Expected(true, ThisComputer(), "true", true, joined));
    EXPECT_EQ(LockFileContent(), ThisComputer());
    ASSERT_EQ(DbClose(handle), 0);
    EXPECT_FALSE(LockFileExists()) << "the holder still drops its lock normally";
}

TEST_F(ToolLockTest, StaleLockOfAnotherComputerIsReportedAndLeftAlone) {
    ASSERT_TRUE(testsupport::WriteFileBytes(lockFile, "other-workstation"));
    EXPECT_EQ(Report(lockDirectory), Expected(true, "other-workstation", "false", false));
    EXPECT_EQ(LockFileContent(), "other-workstation");
}

TEST_F(ToolLockTest, MissingDirectoryFails) {
    int exitCode = -1;
    EXPECT_EQ(Report(dir.File("absent"), &exitCode), "");
    EXPECT_EQ(exitCode, 2);
}

TEST(SharingHolderTest, HoldersAreFoundWithoutTakingAnything) {
    testsupport::TempDir dir;
    const std::string path = dir.File("held.loc");
    ASSERT_TRUE(testsupport::WriteFileBytes(path, "name"));
    bool held = true;
    ASSERT_EQ(platform::FindSharingHolder(path.c_str(), &held), platform::FileStatus::kOk);
    EXPECT_FALSE(held);
    {
        platform::File holder;
        ASSERT_EQ(platform::File::OpenDenyWrite(path.c_str(), true, &holder), platform::FileStatus::kOk);
        ASSERT_EQ(platform::FindSharingHolder(path.c_str(), &held), platform::FileStatus::kOk);
        EXPECT_TRUE(held);
        // The probe left nothing behind that would stand in another reader's way.
        platform::File reader;
        EXPECT_EQ(platform::File::OpenDenyWrite(path.c_str(), true, &reader), platform::FileStatus::kOk);
    }
    {
        platform::File writer;
        ASSERT_EQ(platform::File::CreateExclusive(path.c_str(), true, &writer), platform::FileStatus::kOk);
        ASSERT_EQ(platform::FindSharingHolder(path.c_str(), &held), platform::FileStatus::kOk);
        EXPECT_TRUE(held);
    }
    ASSERT_EQ(platform::FindSharingHolder(path.c_str(), &held), platform::FileStatus::kOk);
    EXPECT_FALSE(held);
    EXPECT_EQ(platform::FindSharingHolder(dir.File("absent").c_str(), &held), platform::FileStatus::kNotFound);
}

}  // namespace
