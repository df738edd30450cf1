// The lock file itself: its name, what it holds, how it is taken, read back and dropped.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "lock_file.h"
#include "lock_fixture.h"
#include "platform.h"
#include "workstation_lock.h"

using namespace locktest;
using tydb::LockFile;

namespace {

class LockFileTest : public LockTest {};

TEST(LockFilePathTest, JoinsWithABackslashUnlessTheDirectoryEndsInASeparator) {
    char path[tydb::kLockPathSize];
    ASSERT_TRUE(tydb::FormatLockFilePath("D:\\DATA", path));
    EXPECT_STREQ(path, "D:\\DATA\\~ty~.loc");
    ASSERT_TRUE(tydb::FormatLockFilePath("/srv/data/", path));
    EXPECT_STREQ(path, "/srv/data/~ty~.loc");
    ASSERT_TRUE(tydb::FormatLockFilePath("D:\\DATA\\", path));
    EXPECT_STREQ(path, "D:\\DATA\\~ty~.loc");
}

TEST(LockFilePathTest, DirectoryTooLongForTheNameIsRefusedNotCut) {
    char path[tydb::kLockPathSize];
    EXPECT_TRUE(tydb::FormatLockFilePath(std::string(246, 'd'), path));  // 246 + 1 + 8 = 255
    EXPECT_EQ(std::strlen(path), 255u);
    EXPECT_FALSE(tydb::FormatLockFilePath(std::string(247, 'd'), path));
    EXPECT_STREQ(path, "");
}

TEST(LockGuardTest, PrefixIgnoringCaseDecidesWhatIsGuarded) {
    EXPECT_TRUE(tydb::IsGuardedByLock("D:\\DATA", false, "D:\\DATA\\X.DAT"));
    EXPECT_TRUE(tydb::IsGuardedByLock("D:\\DATA", false, "d:\\data\\X.DAT"));
    EXPECT_TRUE(tydb::IsGuardedByLock("D:\\DATA", false, "D:\\DATA2\\X.DAT")) << "a sibling with the same prefix";
    EXPECT_TRUE(tydb::IsGuardedByLock("D:\\DATA", false, "D:\\DATA"));
    EXPECT_FALSE(tydb::IsGuardedByLock("D:\\DATA", false, "D:\\DAT"));
    EXPECT_FALSE(tydb::IsGuardedByLock("D:\\DATA", false, "X.DAT"));
    EXPECT_FALSE(tydb::IsGuardedByLock("", false, "D:\\DATA\\X.DAT"));
    EXPECT_FALSE(tydb::IsGuardedByLock("D:\\DATA", true, "D:\\DATA\\X.DAT"));
}

TEST(LockGuardTest, EitherSeparatorSpellsTheSamePathOnPosixOnly) {
#ifdef _WIN32
    // Windows compares the texts as written, letter case aside.
    const bool posix = false;
#else
    const bool posix = true;
#endif
    EXPECT_EQ(tydb::IsGuardedByLock("/srv/data/", false, "\\srv\\data\\X.DAT"), posix);
    EXPECT_EQ(tydb::IsGuardedByLock("/srv/data/", false, "/srv/data\\X.DAT"), posix);
    EXPECT_EQ(tydb::IsGuardedByLock("D:\\DATA\\", false, "d:/data/X.DAT"), posix);
    EXPECT_TRUE(tydb::IsGuardedByLock("D:\\DATA\\", false, "d:\\data\\X.DAT"));
    EXPECT_FALSE(tydb::IsGuardedByLock("/srv/data/", false, "/srv/dataX.DAT"));
}

TEST_F(LockFileTest, TakeCreatesTheFileWithExactlyTheComputerNameAndDropDeletesIt) {
    LockFile lock;
    ASSERT_FALSE(ThisComputer().empty());
    EXPECT_STREQ(lock.computerName(), ThisComputer().c_str());
    ASSERT_TRUE(lock.TakeLockFile(lockDirectory));
    EXPECT_TRUE(lock.IsHeld());
    EXPECT_EQ(LockFileContent(), ThisComputer());
    EXPECT_TRUE(lock.IsOwnLockFile());
    EXPECT_FALSE(lock.TakeLockFile(lockDirectory)) << "already held: nothing changes";
    EXPECT_TRUE(lock.IsHeld());
    EXPECT_TRUE(lock.DropLockFile());
    EXPECT_FALSE(LockFileExists());
    EXPECT_STREQ(lock.path(), "");
}

TEST_F(LockFileTest, HeldFileCannotBeDeletedOrRewrittenByOthers) {
    LockFile lock;
    ASSERT_TRUE(lock.TakeLockFile(lockDirectory));
    EXPECT_EQ(platform::DeleteUnlessHeld(lockFile.c_str()), platform::FileStatus::kAccessDenied);
    platform::File writer;
    EXPECT_EQ(platform::File::CreateExclusive(lockFile.c_str(), true, &writer), platform::FileStatus::kAccessDenied);
    EXPECT_EQ(LockFileContent(), ThisComputer());
}

TEST_F(LockFileTest, FileWithAnotherNameIsNotOwn) {
    for (const std::string& content :
         {std::string("elsewhere"), ThisComputer() + "x", ThisComputer().substr(0, ThisComputer().size() - 1)}) {
        ASSERT_TRUE(testsupport::WriteFileBytes(lockFile, content));
        // Someone holds it, so the take leaves it as it is.
        platform::File other;
        ASSERT_EQ(platform::File::OpenDenyWrite(lockFile.c_str(), true, &other), platform::FileStatus::kOk);
        LockFile lock;
        ASSERT_TRUE(lock.TakeLockFile(lockDirectory));
        EXPECT_FALSE(lock.IsOwnLockFile()) << "content of " << content.size() << " bytes";
        lock.DropLockFile();
        EXPECT_EQ(LockFileContent(), content) << "a file someone holds survives the drop";
        other.Close();
        std::filesystem::remove(lockFile);
    }
}

TEST_F(LockFileTest, FileWithTheNameThenANulAndMoreBytesIsOwn) {
    ASSERT_TRUE(testsupport::WriteFileBytes(lockFile, ThisComputer() + std::string(1, '\0') + "x"));
    platform::File other;
    ASSERT_EQ(platform::File::OpenDenyWrite(lockFile.c_str(), true, &other), platform::FileStatus::kOk);
    LockFile lock;
    ASSERT_TRUE(lock.TakeLockFile(lockDirectory));
    EXPECT_TRUE(lock.IsOwnLockFile());
}

TEST_F(LockFileTest, EmptyFileIsNobodysName) {
    ASSERT_TRUE(testsupport::WriteFileBytes(lockFile, ""));
    platform::File other;
    ASSERT_EQ(platform::File::OpenDenyWrite(lockFile.c_str(), true, &other), platform::FileStatus::kOk);
    LockFile lock;
    ASSERT_TRUE(lock.TakeLockFile(lockDirectory));
    EXPECT_FALSE(lock.IsOwnLockFile());
}

TEST_F(LockFileTest, CreateKeepsAnExistingFile) {
    ASSERT_TRUE(testsupport::WriteFileBytes(lockFile, "elsewhere"));
    LockFile lock;
    EXPECT_TRUE(lock.CreateLockFile(lockFile.c_str()));
    EXPECT_EQ(LockFileContent(), "elsewhere");
    EXPECT_FALSE(lock.CreateLockFile(dir.File("no/such/folder/~ty~.loc").c_str()));
}

TEST_F(LockFileTest, BusyLockFileIsTriedTenTimesWithWaitsThenGivenUp) {
    // Another opener is in the middle of writing it: readers are shut out.
    platform::File writer;
    ASSERT_EQ(platform::File::CreateExclusive(lockFile.c_str(), true, &writer), platform::FileStatus::kOk);
    const uint64_t sleepsBefore = platform::testing::SleepCount();
    const uint64_t sleptBefore = platform::testing::SleptMilliseconds();
    LockFile lock;
    EXPECT_FALSE(lock.TakeLockFile(lockDirectory));
    EXPECT_FALSE(lock.IsHeld());
    EXPECT_EQ(platform::testing::SleepCount() - sleepsBefore, 30u) << "ten waits of three units";
    EXPECT_EQ(platform::testing::SleptMilliseconds() - sleptBefore, 30u * 56u);
    EXPECT_TRUE(LockFileExists());
}

struct VanishCounter {
    std::string lockFile;
    int deletionsLeft;
    int deletions = 0;
};

void DeleteLockFileInTheWindow(const char* path, void* context) {
    auto* counter = static_cast<VanishCounter*>(context);
    if (counter->lockFile != path || counter->deletionsLeft == 0) return;
    --counter->deletionsLeft;
    ++counter->deletions;
    std::remove(path);
}

TEST_F(LockFileTest, FileVanishingBeforeItIsHeldStartsTheTakeAgain) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows keeps a file from being deleted while it is open, so it cannot vanish there";
#endif
    VanishCounter counter{lockFile, 1};
    platform::testing::SetBeforeShareLockHook(DeleteLockFileInTheWindow, &counter);
    LockFile lock;
    const bool taken = lock.TakeLockFile(lockDirectory);
    platform::testing::SetBeforeShareLockHook(nullptr, nullptr);
    EXPECT_EQ(counter.deletions, 1);
    ASSERT_TRUE(taken);
    EXPECT_TRUE(lock.IsOwnLockFile());
    EXPECT_EQ(LockFileContent(), ThisComputer());
}

TEST_F(LockFileTest, FileThatKeepsVanishingEndsTheTakeInsteadOfSpinning) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows keeps a file from being deleted while it is open, so it cannot vanish there";
#endif
    VanishCounter counter{lockFile, -1};
    platform::testing::SetBeforeShareLockHook(DeleteLockFileInTheWindow, &counter);
    LockFile lock;
    const bool taken = lock.TakeLockFile(lockDirectory);
    platform::testing::SetBeforeShareLockHook(nullptr, nullptr);
    EXPECT_FALSE(taken);
    EXPECT_FALSE(lock.IsHeld());
    EXPECT_GE(counter.deletions, 2);
    EXPECT_LE(counter.deletions, 40);
}

TEST_F(LockFileTest, MissingLockDirectoryEndsTheTakeUnheld) {
    LockFile lock;
    EXPECT_FALSE(lock.TakeLockFile(dir.File("absent") + "/"));
    EXPECT_FALSE(lock.IsHeld());
    EXPECT_FALSE(std::filesystem::exists(dir.File("absent")));
}

}  // namespace
