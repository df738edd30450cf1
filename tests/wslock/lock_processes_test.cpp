// The workstation lock between processes: the same computer shares it, another computer is
// kept out, a stale lock is cleared, and unloading the library lets go of the lock file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "lock_fixture.h"
#include "test_support.h"

using namespace locktest;
using testsupport::ChildProcess;

namespace {

constexpr const char* kOtherComputer = "tydb-other-ws";

std::string LibraryFile() {
#if defined(_WIN32)
    return testsupport::BuildPath("tydb.dll");
#else
    return testsupport::BuildPath("libtydb.so");
#endif
}

// Whether a child process can be given a read-only view of `folder`: root, and unshare with a
// mount namespace of its own.
bool CanMountReadOnly(const std::string& folder) {
#if defined(_WIN32)
    (void)folder;
    return false;
#else
    const std::string probe =
        "/usr/bin/unshare -m /bin/sh -c 'mount --bind -o ro \"$0\" \"$0\"' '" + folder + "' >/dev/null 2>&1";
    return std::system(probe.c_str()) == 0;
#endif
}

class LockProcessesTest : public LockTest {
protected:
    // An opener process with the lock directory set, optionally under another host name.
    std::unique_ptr<ChildProcess> StartOpener(const std::optional<std::string>& hostName = std::nullopt) {
        auto child = std::make_unique<ChildProcess>(testsupport::BuildPath("wslock_opener"),
                                                    std::vector<std::string>{LibraryFile()}, hostName);
        EXPECT_TRUE(child->started());
        auto ready = child->ReadLine();
        EXPECT_TRUE(ready.has_value() && ready->rfind("ready ", 0) == 0) << ready.value_or("<nothing>");
        if (hostName) {
            EXPECT_EQ(ready.value_or(""), "ready " + *hostName);
        }
        EXPECT_TRUE(Ask(*child, "dirs " + lockDirectory) == "dirs 0");
        return child;
    }
    static std::string Ask(ChildProcess& child, const std::string& command) {
        child.Send(command);
        return child.ReadLine().value_or("<no answer>");
    }
};

TEST_F(LockProcessesTest, ReadOnlyLockDirectoryIsReportedAsNotWritableNotAsTaken) {
    if (!CanMountReadOnly(data)) GTEST_SKIP() << "needs root and unshare -m to mount the lock directory read-only";
    // The opener sees the lock directory through a read-only mount of its own.
    ChildProcess child("/usr/bin/unshare", {"-m", "/bin/sh", "-c", "mount --bind -o ro \"$0\" \"$0\" && exec \"$@\"",
                                            data, testsupport::BuildPath("wslock_opener"), LibraryFile()});
    ASSERT_TRUE(child.ReadLine().value_or("").rfind("ready ", 0) == 0);
    ASSERT_EQ(Ask(child, "dirs " + lockDirectory), "dirs 0");
    const std::string answer = Ask(child, "open " + data + "/A.DAT");
    EXPECT_EQ(answer.rfind("open " + std::to_string(TYDB_STATUS_LOCK_NOT_WRITABLE) + " ", 0), 0u) << answer;
    EXPECT_FALSE(LockFileExists());
}

TEST_F(LockProcessesTest, SecondProcessOfTheSameComputerOpensWhileTheFirstHoldsTheLock) {
    auto child = StartOpener();
    ASSERT_EQ(Ask(*child, "open " + data + "/A.DAT"), "open 0 1");
    ASSERT_EQ(LockFileContent(), ThisComputer());

    SetLockDirectory(lockDirectory);
    const int16_t handle = Open(data + "/B.DAT");
    EXPECT_EQ(Holders(), 1u);

    // Our last close leaves the file to the other process, which still holds it.
    ASSERT_EQ(DbClose(handle), 0);
    EXPECT_EQ(LockFileContent(), ThisComputer());
    // Its last close removes it.
    EXPECT_EQ(Ask(*child, "close 1"), "close 0");
    EXPECT_FALSE(LockFileExists());
}

TEST_F(LockProcessesTest, LockHeldByAnotherComputerRefusesAndStaysInPlace) {
    if (!testsupport::CanChangeHostName()) GTEST_SKIP() << "needs root and unshare -u to run a second host name";
    auto other = StartOpener(std::string(kOtherComputer));
    ASSERT_EQ(Ask(*other, "open " + data + "/A.DAT"), "open 0 1");
    ASSERT_EQ(LockFileContent(), kOtherComputer);

    SetLockDirectory(lockDirectory);
    fake.ClearLog();
    int16_t handle = 0;
    EXPECT_EQ(OpenStatus(data + "/B.DAT", &handle), TYDB_STATUS_LOCKED_OUT);
    EXPECT_TRUE(fake.CallsOf(btr::kOpOpen).empty());
    EXPECT_EQ(LockFileContent(), kOtherComputer) << "the other computer's lock file is left in place";
    EXPECT_EQ(Holders(), 0u);

    // Once the other computer lets go, this one gets in.
    EXPECT_EQ(Ask(*other, "close 1"), "close 0");
    EXPECT_FALSE(LockFileExists());
    handle = Open(data + "/B.DAT");
    EXPECT_EQ(LockFileContent(), ThisComputer());
}

TEST_F(LockProcessesTest, LockLeftByAKilledWorkstationIsStaleAndReplaced) {
    if (!testsupport::CanChangeHostName()) GTEST_SKIP() << "needs root and unshare -u to run a second host name";
    auto other = StartOpener(std::string(kOtherComputer));
    ASSERT_EQ(Ask(*other, "open " + data + "/A.DAT"), "open 0 1");
    other->Kill();
    other->Wait();
    ASSERT_EQ(LockFileContent(), kOtherComputer) << "a killed holder leaves its lock file behind";

    SetLockDirectory(lockDirectory);
    const int16_t handle = Open(data + "/B.DAT");
    EXPECT_EQ(LockFileContent(), ThisComputer());
    ASSERT_EQ(DbClose(handle), 0);
    EXPECT_FALSE(LockFileExists());
}

TEST_F(LockProcessesTest, UnloadingTheLibraryWithTheLockHeldDeletesTheLockFile) {
    auto child = StartOpener();
    ASSERT_EQ(Ask(*child, "open " + data + "/A.DAT"), "open 0 1");
    ASSERT_TRUE(LockFileExists());
    EXPECT_EQ(Ask(*child, "unload"), "unload gone");
    EXPECT_FALSE(LockFileExists()) << "the process lives on, the library is gone, and so is its lock";
    child->Send("exit");
    EXPECT_EQ(child->Wait(), 0);
}

TEST_F(LockProcessesTest, ProcessEndingWithFilesOpenDeletesTheLockFile) {
    auto child = StartOpener();
    ASSERT_EQ(Ask(*child, "open " + data + "/A.DAT"), "open 0 1");
    ASSERT_EQ(Ask(*child, "open " + data + "/B.DAT"), "open 0 2");
    child->Send("exit");
    EXPECT_EQ(child->Wait(), 0);
    EXPECT_FALSE(LockFileExists());
}

TEST_F(LockProcessesTest, UnloadLeavesALockFileThatAnotherProcessStillHolds) {
    auto first = StartOpener();
    auto second = StartOpener();
    ASSERT_EQ(Ask(*first, "open " + data + "/A.DAT"), "open 0 1");
    ASSERT_EQ(Ask(*second, "open " + data + "/B.DAT"), "open 0 1");
    EXPECT_EQ(Ask(*first, "unload"), "unload gone");
    EXPECT_EQ(LockFileContent(), ThisComputer());
    second->Send("exit");
    EXPECT_EQ(second->Wait(), 0);
    EXPECT_FALSE(LockFileExists());
}

}  // namespace
