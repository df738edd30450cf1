// The workstation lock as DbOpen and DbClose use it, in one process.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "lock_fixture.h"
#include "open_file_table.h"

using namespace locktest;

namespace {

class WorkstationLockTest : public LockTest {};

TEST_F(WorkstationLockTest, FirstOpenCreatesTheLockFileAndItsCloseDeletesIt) {
    SetLockDirectory(lockDirectory);
    EXPECT_FALSE(LockFileExists());
    const int16_t handle = Open(data + "/CUST.DAT");
    EXPECT_EQ(LockFileContent(), ThisComputer());
    EXPECT_EQ(Holders(), 1u);
    ASSERT_EQ(DbClose(handle), 0);
    EXPECT_FALSE(LockFileExists());
    EXPECT_EQ(Holders(), 0u);
}

TEST_F(WorkstationLockTest, TwoFilesOpenAndOneClosedKeepsTheLock) {
    SetLockDirectory(lockDirectory);
    const int16_t first = Open(data + "/A.DAT");
    const int16_t second = Open(data + "/B.DAT");
    EXPECT_EQ(Holders(), 2u);
    ASSERT_EQ(DbClose(first), 0);
    EXPECT_TRUE(LockFileExists());
    ASSERT_EQ(DbClose(second), 0);
    EXPECT_FALSE(LockFileExists());
}

TEST_F(WorkstationLockTest, PathSpeltWithBackslashesIsGuardedOnPosixToo) {
    SetLockDirectory(lockDirectory);
    const int16_t slashes = Open(data + "/A.DAT");
    const int16_t backslashes = Open(data + "\\B.DAT");
#ifdef _WIN32
    // The lock directory is written with '/': Windows compares the texts as written.
    EXPECT_EQ(Holders(), 1u);
    ASSERT_EQ(DbClose(slashes), 0);
#else
    EXPECT_EQ(Holders(), 2u);
    ASSERT_EQ(DbClose(slashes), 0);
    EXPECT_EQ(LockFileContent(), ThisComputer());
#endif
    ASSERT_EQ(DbClose(backslashes), 0);
    EXPECT_FALSE(LockFileExists());
}

TEST_F(WorkstationLockTest, NoLockFileWhenTheLockIsOffOrHasNoDirectory) {
    SetLockDirectory("");
    int16_t handle = Open(data + "/A.DAT");
    EXPECT_FALSE(LockFileExists());
    ASSERT_EQ(DbClose(handle), 0);

    SetLockDirectory(lockDirectory, true);
    handle = Open(data + "/A.DAT");
    EXPECT_FALSE(LockFileExists());
    EXPECT_EQ(Holders(), 0u);
    ASSERT_EQ(DbClose(handle), 0);
}

TEST_F(WorkstationLockTest, ALockDirectorySpeltWithTheOtherSeparatorGuardsOnPosixOnly) {
    std::string swapped = lockDirectory;
    for (char& c : swapped) c = c == '/' ? '\\' : c == '\\' ? '/' : c;
    SetLockDirectory(swapped);
    const int16_t handle = Open(data + "/A.DAT");
#ifdef _WIN32
    EXPECT_EQ(Holders(), 0u) << "Windows compares the texts as written, letter case aside";
#else
    EXPECT_EQ(Holders(), 1u) << "both spellings name one directory on POSIX";
#endif
    ASSERT_EQ(DbClose(handle), 0);
}

TEST_F(WorkstationLockTest, SiblingDirectoryWithTheLockDirectorysPrefixIsGuarded) {
    // Written without its trailing separator, the lock directory is a prefix of data2 as well.
    SetLockDirectory(data);
    std::filesystem::create_directory(data + "2");
    const int16_t sibling = Open(data + "2/X.DAT");
    EXPECT_EQ(LockFileContent(), ThisComputer());
    const int16_t relative = Open("X.DAT");
    EXPECT_EQ(Holders(), 1u) << "a relative path is not guarded";
    ASSERT_EQ(DbClose(relative), 0);
    EXPECT_TRUE(LockFileExists());
    ASSERT_EQ(DbClose(sibling), 0);
    EXPECT_FALSE(LockFileExists());
}

TEST_F(WorkstationLockTest, StaleLockOfAnotherComputerIsReplaced) {
    SetLockDirectory(lockDirectory);
    ASSERT_TRUE(testsupport::WriteFileBytes(lockFile, "other-workstation"));
    const int16_t handle = Open(data + "/CUST.DAT");
    EXPECT_EQ(LockFileContent(), ThisComputer());
    ASSERT_EQ(DbClose(handle), 0);
    EXPECT_FALSE(LockFileExists());
}

TEST_F(WorkstationLockTest, HeldLockWithAnotherNameRefusesAfterTenAttempts) {
    SetLockDirectory(lockDirectory);
    ASSERT_TRUE(testsupport::WriteFileBytes(lockFile, "other-workstation"));
    platform::File holder;
    ASSERT_EQ(platform::File::OpenDenyWrite(lockFile.c_str(), true, &holder), platform::FileStatus::kOk);
    int16_t handle = 42;
    EXPECT_EQ(OpenStatus(data + "/CUST.DAT", &handle), TYDB_STATUS_LOCKED_OUT);
    EXPECT_EQ(handle, 42);
    EXPECT_TRUE(fake.CallsOf(btr::kOpOpen).empty()) << "a refused lock never reaches the engine";
    EXPECT_EQ(LockFileContent(), "other-workstation");
    EXPECT_EQ(Holders(), 0u);
    EXPECT_FALSE(tydb::IsValidHandle(1));

    // Files outside the lock directory still open.
    const int16_t outside = Open(dir.File("CUST.DAT"));
    EXPECT_EQ(outside, 1);
}

TEST_F(WorkstationLockTest, FailedEngineOpenGivesTheLockBack) {
    SetLockDirectory(lockDirectory);
    fake.ClearScript();
    fake.Script(btr::kOpOpen, "*", 46);
    int16_t handle = 0;
    EXPECT_EQ(OpenStatus(data + "/CUST.DAT", &handle), 46);
    EXPECT_EQ(fake.CallsOf(btr::kOpOpen).size(), 10u);
    EXPECT_EQ(Holders(), 0u);
    EXPECT_FALSE(LockFileExists());
}

TEST_F(WorkstationLockTest, FailedCloseKeepsTheLockForTheFileStillOpenAtTheEngine) {
    SetLockDirectory(lockDirectory);
    const int16_t handle = Open(data + "/CUST.DAT");
    fake.ClearScript();
    fake.Script(btr::kOpClose, "*", 17);
    EXPECT_EQ(DbClose(handle), 17);
    EXPECT_EQ(Holders(), 1u);
    EXPECT_EQ(LockFileContent(), ThisComputer());
    // Only this process's end would let go of it; give it back so later tests start clean.
    tydb::TheWorkstationLock().ReleaseLock();
    EXPECT_FALSE(LockFileExists());
}

TEST_F(WorkstationLockTest, SharedReopenIsCountedOnceAndReleasedOnce) {
    SetLockDirectory(lockDirectory);
    SetSlot(0, lockDirectory);
    block.shareOpenFiles = 1;
    ASSERT_EQ(DbSetDirectories(&block), 0);
    const int16_t handle = Open(data + "/CUST.DAT");
    ASSERT_EQ(Open(data + "/CUST.DAT"), handle);
    EXPECT_EQ(Holders(), 1u);
    ASSERT_EQ(DbClose(handle), 0);
    EXPECT_TRUE(LockFileExists());
    ASSERT_EQ(DbClose(handle), 0);
    EXPECT_FALSE(LockFileExists());
}

TEST_F(WorkstationLockTest, FileInAnUnmatchedDirectoryReleasesWhatItsOpenCounted) {
    // Both files land in the scratch slot; the second open overwrites it with a directory
    // outside the lock directory. Closing the first must still give its lock back.
    SetLockDirectory(lockDirectory);
    std::filesystem::create_directory(data + "/sub");
    const int16_t guarded = Open(data + "/sub/A.DAT");
    const int16_t outside = Open(dir.File("B.DAT"));
    EXPECT_EQ(Holders(), 1u);
    EXPECT_EQ(std::string(tydb::GetOpenEntry(guarded)->directory), data + "/sub/")
        << "each entry keeps its own directory";
    ASSERT_EQ(DbClose(guarded), 0);
    EXPECT_EQ(Holders(), 0u);
    EXPECT_FALSE(LockFileExists());
    ASSERT_EQ(DbClose(outside), 0);
}

TEST_F(WorkstationLockTest, UncountedFileClosingNeverReleasesAnotherFilesLock) {
    // The reverse: the file outside is opened first, the guarded one then takes the scratch
    // slot. Closing the outside file must not count the guarded file's lock down.
    SetLockDirectory(lockDirectory);
    std::filesystem::create_directory(data + "/sub");
    const int16_t outside = Open(dir.File("B.DAT"));
    const int16_t guarded = Open(data + "/sub/A.DAT");
    ASSERT_EQ(DbClose(outside), 0);
    EXPECT_EQ(Holders(), 1u);
    EXPECT_EQ(LockFileContent(), ThisComputer());
    ASSERT_EQ(DbClose(guarded), 0);
    EXPECT_FALSE(LockFileExists());
}

TEST_F(WorkstationLockTest, LockDirectoryChangedWhileOpenStillReleasesAtClose) {
    SetLockDirectory(lockDirectory);
    const int16_t handle = Open(data + "/CUST.DAT");
    SetLockDirectory("");
    ASSERT_EQ(DbClose(handle), 0);
    EXPECT_EQ(Holders(), 0u);
    EXPECT_FALSE(LockFileExists());
}

TEST_F(WorkstationLockTest, NameThatFailedToBeWrittenIsRefusedAndTheNextAttemptGetsIn) {
    // Only the read-back decides: an empty lock file names nobody, so the first attempt is
    // refused; the next one clears that file (nobody holds it) and writes the name.
    SetLockDirectory(lockDirectory);
    platform::testing::InjectFileFailure(platform::testing::FileOperation::kWrite, 0, platform::FileStatus::kIoError,
                                         1);
    const int16_t handle = Open(data + "/CUST.DAT");
    platform::testing::InjectFileFailure(platform::testing::FileOperation::kWrite, -1, platform::FileStatus::kOk);
    EXPECT_EQ(fake.CallsOf(btr::kOpOpen).size(), 1u) << "the refused attempt never reached the engine";
    EXPECT_EQ(LockFileContent(), ThisComputer());
    ASSERT_EQ(DbClose(handle), 0);
    EXPECT_FALSE(LockFileExists());
}

TEST_F(WorkstationLockTest, StaleLockThatCannotBeDeletedRefusesThatAttempt) {
    SetLockDirectory(lockDirectory);
    ASSERT_TRUE(testsupport::WriteFileBytes(lockFile, "other-workstation"));
    platform::testing::InjectFileFailure(platform::testing::FileOperation::kDelete, 0,
                                         platform::FileStatus::kAccessDenied, 1);
    tydb::WorkstationLock& lock = tydb::TheWorkstationLock();
    EXPECT_EQ(lock.AcquireLock(lockDirectory, false, data + "/CUST.DAT"), tydb::LockAnswer::kRefused);
    platform::testing::InjectFileFailure(platform::testing::FileOperation::kDelete, -1, platform::FileStatus::kOk);
    EXPECT_EQ(Holders(), 0u);
    EXPECT_FALSE(lock.lockFile().IsHeld());
}

TEST_F(WorkstationLockTest, LockDirectoryWhereNoLockFileCanBeMadeIsNotTakenForAnotherComputer) {
    // A folder that is not there (though a folder its name begins is), a plain file in place of
    // the folder, and a folder whose name leaves no room for "\~ty~.loc" (247 characters): no
    // lock file can be made, so the open is refused, yet no other computer holds the folder.
    ASSERT_TRUE(testsupport::WriteFileBytes(data + "/plain", "x"));
    std::filesystem::create_directory(data + "/absent-not");
    const std::string longDirectory = "D:\\" + std::string(244, 'd');
    const struct {
        std::string lockDirectory;
        std::string path;
    } rows[] = {
        {data + "/absent", data + "/absent-not/X.DAT"},
        {data + "/plain/", data + "/plain/X.DAT"},
        {longDirectory, longDirectory + "\\X.DAT"},
    };
    for (const auto& row : rows) {
        SetLockDirectory(row.lockDirectory);
        int16_t handle = 0;
        EXPECT_EQ(OpenStatus(row.path, &handle), TYDB_STATUS_LOCK_NOT_WRITABLE) << row.lockDirectory;
        EXPECT_STREQ(tydb::TheWorkstationLock().lockFile().path(), "");
    }
    EXPECT_TRUE(fake.CallsOf(btr::kOpOpen).empty());
}

TEST_F(WorkstationLockTest, CloseAllGivesBackEveryCountedOpen) {
    SetLockDirectory(lockDirectory);
    Open(data + "/A.DAT");
    Open(data + "/B.DAT");
    Open(dir.File("C.DAT"));
    EXPECT_EQ(Holders(), 2u);
    ASSERT_EQ(DbCloseAll(), 0);
    EXPECT_EQ(Holders(), 0u);
    EXPECT_FALSE(LockFileExists());
}

}  // namespace
