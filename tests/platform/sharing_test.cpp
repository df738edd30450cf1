// Sharing modes and byte-range locks between two real processes, and the check that notices a
// file deleted or replaced while it was being opened.
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform.h"
#include "test_support.h"

namespace {

using platform::File;
using platform::FileStatus;
using testsupport::ChildProcess;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

// What ChildProcess::Wait reports for a child ended by Kill(), on every platform.
constexpr int kKilledExitCode = 128 + 9;

class Sharing : public ::testing::Test {
protected:
    void SetUp() override {
        holder_ = std::make_unique<ChildProcess>(testsupport::BuildPath("platform_holder"), std::vector<std::string>{});
        ASSERT_TRUE(holder_->started());
        ASSERT_TRUE(holder_->WaitFor("ready"));
    }

    // Sends one command to the holder process and returns its answer.
    std::string Ask(const std::string& command) {
        if (!holder_->Send(command)) return "send failed";
        return holder_->ReadLine().value_or("no answer");
    }

    TempDir dir_;
    std::string path_ = dir_.File("~ty~.loc");
    std::unique_ptr<ChildProcess> holder_;
};

TEST_F(Sharing, HeldFileCannotBeDeletedUntilHolderCloses) {
    ASSERT_TRUE(WriteFileBytes(path_, "OTHERPC"));
    ASSERT_EQ("ok", Ask("hold " + path_));
    EXPECT_EQ(FileStatus::kAccessDenied, platform::DeleteUnlessHeld(path_.c_str()));
    EXPECT_EQ("OTHERPC", ReadFileBytes(path_).value());
    ASSERT_EQ("ok", Ask("close"));
    EXPECT_EQ(FileStatus::kOk, platform::DeleteUnlessHeld(path_.c_str()));
    EXPECT_FALSE(platform::FileExists(path_.c_str()));
}

TEST_F(Sharing, HeldReadOnlyFileIsNeitherDeletedNorUnmarked) {
    namespace fs = std::filesystem;
    ASSERT_TRUE(WriteFileBytes(path_, "OTHERPC"));
    fs::permissions(path_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    ASSERT_EQ("ok", Ask("hold " + path_));
    EXPECT_EQ(FileStatus::kAccessDenied, platform::DeleteUnlessHeld(path_.c_str()));
    EXPECT_EQ("OTHERPC", ReadFileBytes(path_).value());
    EXPECT_EQ(fs::perms::none, fs::status(path_).permissions() & fs::perms::owner_write);
    ASSERT_EQ("ok", Ask("close"));
    EXPECT_EQ(FileStatus::kOk, platform::DeleteUnlessHeld(path_.c_str()));
    EXPECT_FALSE(platform::FileExists(path_.c_str()));
}

TEST_F(Sharing, SharingHoldersAreFoundWithoutDisturbingThem) {
    ASSERT_TRUE(WriteFileBytes(path_, "OTHERPC"));
    bool held = true;
    ASSERT_EQ(FileStatus::kOk, platform::FindSharingHolder(path_.c_str(), &held));
    EXPECT_FALSE(held);
    ASSERT_EQ("ok", Ask("hold " + path_));
    ASSERT_EQ(FileStatus::kOk, platform::FindSharingHolder(path_.c_str(), &held));
    EXPECT_TRUE(held);
    // Looking took nothing: a second deny-write holder still gets in, and the file stays put.
    File second;
    EXPECT_EQ(FileStatus::kOk, File::OpenDenyWrite(path_.c_str(), true, &second));
    second.Close();
    EXPECT_EQ("OTHERPC", ReadFileBytes(path_).value());
    ASSERT_EQ("ok", Ask("close"));
    ASSERT_EQ(FileStatus::kOk, platform::FindSharingHolder(path_.c_str(), &held));
    EXPECT_FALSE(held);
    ASSERT_EQ("ok", Ask("append " + path_));
    ASSERT_EQ(FileStatus::kOk, platform::FindSharingHolder(path_.c_str(), &held));
    EXPECT_TRUE(held);
    // The appender is not held up by the look either.
    ASSERT_EQ("ok", Ask("close"));
    File appender;
    EXPECT_EQ(FileStatus::kOk, File::OpenAppendExclusive(path_.c_str(), true, &appender));
}

TEST_F(Sharing, SharingHolderOfAMissingFileIsNotFound) {
    bool held = true;
    EXPECT_EQ(FileStatus::kNotFound, platform::FindSharingHolder(dir_.File("absent").c_str(), &held));
    EXPECT_FALSE(held);
    EXPECT_EQ(FileStatus::kNotFound, platform::FindSharingHolder("", &held));
    EXPECT_EQ(FileStatus::kNotFound, platform::FindSharingHolder(nullptr, &held));
    EXPECT_EQ(FileStatus::kIoError, platform::FindSharingHolder(path_.c_str(), nullptr));
}

TEST_F(Sharing, ExclusiveCreateIsRefusedAndLeavesHeldContent) {
    ASSERT_TRUE(WriteFileBytes(path_, "OTHERPC"));
    ASSERT_EQ("ok", Ask("hold " + path_));
    File file;
    EXPECT_EQ(FileStatus::kAccessDenied, File::CreateExclusive(path_.c_str(), true, &file));
    EXPECT_FALSE(file.IsOpen());
    // Refused before truncating: the holder's content is intact.
    EXPECT_EQ("OTHERPC", ReadFileBytes(path_).value());
}

TEST_F(Sharing, AppendExclusiveIsRefusedWhileHeld) {
    ASSERT_TRUE(WriteFileBytes(path_, "log"));
    ASSERT_EQ("ok", Ask("hold " + path_));
    File file;
    EXPECT_EQ(FileStatus::kAccessDenied, File::OpenAppendExclusive(path_.c_str(), true, &file));
    ASSERT_EQ("ok", Ask("close"));
    EXPECT_EQ(FileStatus::kOk, File::OpenAppendExclusive(path_.c_str(), true, &file));
}

TEST_F(Sharing, AppendExclusiveHolderShutsOutOtherWriters) {
    std::string log = dir_.File("tysupidx.log");
    ASSERT_EQ("ok", Ask("append " + log));
    File file;
    EXPECT_EQ(FileStatus::kAccessDenied, File::OpenAppendExclusive(log.c_str(), true, &file));
    EXPECT_EQ(FileStatus::kAccessDenied, File::OpenDenyWrite(log.c_str(), true, &file));
    ASSERT_EQ("ok", Ask("close"));
    EXPECT_EQ(FileStatus::kOk, File::OpenAppendExclusive(log.c_str(), true, &file));
    // And the other way round: while we append, the other process is refused.
    EXPECT_EQ("denied", Ask("append " + log));
}

TEST_F(Sharing, ExclusiveCreatorShutsOutHolders) {
    ASSERT_EQ("ok", Ask("create " + path_));
    File file;
    EXPECT_EQ(FileStatus::kAccessDenied, File::OpenDenyWrite(path_.c_str(), true, &file));
    ASSERT_EQ("ok", Ask("close"));
    ASSERT_EQ(FileStatus::kOk, File::OpenDenyWrite(path_.c_str(), true, &file));
    char buffer[16] = {};
    size_t got = 0;
    ASSERT_EQ(FileStatus::kOk, file.Read(buffer, sizeof(buffer), &got));
    EXPECT_EQ("held", std::string(buffer, got));
}

TEST_F(Sharing, TwoDenyWriteHoldersCoexist) {
    ASSERT_TRUE(WriteFileBytes(path_, "MYPC"));
    ASSERT_EQ("ok", Ask("hold " + path_));
    File file;
    ASSERT_EQ(FileStatus::kOk, File::OpenDenyWrite(path_.c_str(), true, &file));
    char buffer[16] = {};
    size_t got = 0;
    ASSERT_EQ(FileStatus::kOk, file.Read(buffer, sizeof(buffer), &got));
    EXPECT_EQ("MYPC", std::string(buffer, got));
    // Both hold it now; neither side may delete it.
    EXPECT_EQ("denied", Ask("delete " + path_));
    file.Close();
    EXPECT_EQ("denied", Ask("delete " + path_));
}

TEST_F(Sharing, KilledHolderReleasesTheFile) {
    ASSERT_TRUE(WriteFileBytes(path_, "OTHERPC"));
    ASSERT_EQ("ok", Ask("hold " + path_));
    ASSERT_EQ(FileStatus::kAccessDenied, platform::DeleteUnlessHeld(path_.c_str()));
    holder_->Kill();
    EXPECT_EQ(kKilledExitCode, holder_->Wait());
    EXPECT_EQ(FileStatus::kOk, platform::DeleteUnlessHeld(path_.c_str()));
}

TEST_F(Sharing, RangeLocksConflictBetweenProcesses) {
    ASSERT_TRUE(WriteFileBytes(path_, std::string(100, 'r')));
    ASSERT_EQ("ok", Ask("lock " + path_ + " 10 20 exclusive"));
    platform::FileOptions options;
    options.access = platform::FileAccess::kReadWrite;
    File file;
    ASSERT_EQ(FileStatus::kOk, File::Open(path_.c_str(), options, &file));
    EXPECT_EQ(FileStatus::kAccessDenied, file.LockRange(29, 1, platform::RangeLock::kShared, false));
    EXPECT_EQ(FileStatus::kAccessDenied, file.LockRange(0, 11, platform::RangeLock::kExclusive, false));
    EXPECT_EQ(FileStatus::kOk, file.LockRange(30, 10, platform::RangeLock::kExclusive, false));
    EXPECT_EQ(FileStatus::kOk, file.LockRange(0, 10, platform::RangeLock::kShared, false));
    // The holder in turn cannot take what we hold.
    EXPECT_EQ("denied", Ask("lock " + path_ + " 35 1 shared"));
}

TEST_F(Sharing, SharedRangeLocksCoexistBetweenProcesses) {
    ASSERT_TRUE(WriteFileBytes(path_, std::string(100, 'r')));
    ASSERT_EQ("ok", Ask("lock " + path_ + " 0 50 shared"));
    platform::FileOptions options;
    options.access = platform::FileAccess::kReadWrite;
    File file;
    ASSERT_EQ(FileStatus::kOk, File::Open(path_.c_str(), options, &file));
    EXPECT_EQ(FileStatus::kOk, file.LockRange(10, 10, platform::RangeLock::kShared, false));
    EXPECT_EQ(FileStatus::kAccessDenied, file.LockRange(40, 20, platform::RangeLock::kExclusive, false));
}

TEST_F(Sharing, RangeLocksEndWhenHolderIsKilled) {
    ASSERT_TRUE(WriteFileBytes(path_, std::string(100, 'r')));
    ASSERT_EQ("ok", Ask("lock " + path_ + " 0 0 exclusive"));
    platform::FileOptions options;
    options.access = platform::FileAccess::kReadWrite;
    File file;
    ASSERT_EQ(FileStatus::kOk, File::Open(path_.c_str(), options, &file));
    ASSERT_EQ(FileStatus::kAccessDenied, file.LockRange(50, 1, platform::RangeLock::kExclusive, false));
    holder_->Kill();
    EXPECT_EQ(kKilledExitCode, holder_->Wait());
    EXPECT_EQ(FileStatus::kOk, file.LockRange(50, 1, platform::RangeLock::kExclusive, false));
}

TEST_F(Sharing, WaitingRangeLockIsGrantedWhenHolderLetsGo) {
    ASSERT_TRUE(WriteFileBytes(path_, std::string(100, 'r')));
    ASSERT_EQ("ok", Ask("lock " + path_ + " 0 10 exclusive"));
    platform::FileOptions options;
    options.access = platform::FileAccess::kReadWrite;
    File file;
    ASSERT_EQ(FileStatus::kOk, File::Open(path_.c_str(), options, &file));
    FileStatus waited = FileStatus::kIoError;
    std::thread waiter([&] { waited = file.LockRange(5, 1, platform::RangeLock::kExclusive, true); });
    EXPECT_EQ("ok", Ask("close"));
    waiter.join();
    EXPECT_EQ(FileStatus::kOk, waited);
    EXPECT_EQ("denied", Ask("lock " + path_ + " 5 1 shared"));
}

// What a hook does inside File::Open, between the open and the sharing lock.
struct HookAction {
    explicit HookAction(std::string target, std::string replaceWith = std::string())
        : path(std::move(target)), replacement(std::move(replaceWith)) {}
    std::string path;
    std::string replacement;          // written under the same name after the delete; empty: none
    ChildProcess* deleter = nullptr;  // deletes through another process when set
    std::string deleterAnswer;
    int calls = 0;
};

void DeleteAndMaybeReplace(const char* path, void* context) {
    auto* action = static_cast<HookAction*>(context);
    ++action->calls;
    if (action->path != path) return;
    if (action->deleter != nullptr) {
        action->deleter->Send("delete " + action->path);
        action->deleterAnswer = action->deleter->ReadLine().value_or("no answer");
    } else {
        platform::DeleteFile(path);
    }
    if (!action->replacement.empty()) WriteFileBytes(action->path, action->replacement);
}

class ReplacedWhileOpening : public Sharing {
protected:
    void SetUp() override {
#ifdef _WIN32
        GTEST_SKIP() << "Windows applies the sharing mode in the open itself: there is no window between "
                        "the open and the sharing for the file to be replaced in";
#endif
        Sharing::SetUp();
    }
    void TearDown() override { platform::testing::SetBeforeShareLockHook(nullptr, nullptr); }
};

TEST_F(ReplacedWhileOpening, FileDeletedBeforeTheLockIsNotFound) {
    ASSERT_TRUE(WriteFileBytes(path_, "OTHERPC"));
    HookAction action(path_);
    platform::testing::SetBeforeShareLockHook(DeleteAndMaybeReplace, &action);
    File file;
    EXPECT_EQ(FileStatus::kNotFound, File::OpenDenyWrite(path_.c_str(), true, &file));
    EXPECT_EQ(1, action.calls);
    EXPECT_FALSE(file.IsOpen());
}

TEST_F(ReplacedWhileOpening, FileReplacedBeforeTheLockIsNotFound) {
    ASSERT_TRUE(WriteFileBytes(path_, "OTHERPC"));
    HookAction action(path_, "NEWPC");
    platform::testing::SetBeforeShareLockHook(DeleteAndMaybeReplace, &action);
    File file;
    EXPECT_EQ(FileStatus::kNotFound, File::OpenDenyWrite(path_.c_str(), true, &file));
    EXPECT_FALSE(file.IsOpen());
    // The replacement is untouched and, with the hook gone, opens normally.
    platform::testing::SetBeforeShareLockHook(nullptr, nullptr);
    ASSERT_EQ(FileStatus::kOk, File::OpenDenyWrite(path_.c_str(), true, &file));
    EXPECT_EQ("NEWPC", ReadFileBytes(path_).value());
}

TEST_F(ReplacedWhileOpening, ExclusiveCreateOfReplacedFileDoesNotTruncateTheNewOne) {
    ASSERT_TRUE(WriteFileBytes(path_, "old"));
    HookAction action(path_, "NEWPC");
    platform::testing::SetBeforeShareLockHook(DeleteAndMaybeReplace, &action);
    File file;
    EXPECT_EQ(FileStatus::kNotFound, File::CreateExclusive(path_.c_str(), true, &file));
    EXPECT_EQ("NEWPC", ReadFileBytes(path_).value());
}

TEST_F(ReplacedWhileOpening, DeleteByAnotherProcessInTheWindowIsNoticed) {
    ASSERT_TRUE(WriteFileBytes(path_, "OTHERPC"));
    HookAction action(path_);
    action.deleter = holder_.get();
    platform::testing::SetBeforeShareLockHook(DeleteAndMaybeReplace, &action);
    File file;
    EXPECT_EQ(FileStatus::kNotFound, File::OpenDenyWrite(path_.c_str(), true, &file));
    EXPECT_EQ("ok", action.deleterAnswer);
    EXPECT_FALSE(platform::FileExists(path_.c_str()));
}

TEST_F(ReplacedWhileOpening, UntouchedFileOpensNormally) {
    ASSERT_TRUE(WriteFileBytes(path_, "MYPC"));
    HookAction action(dir_.File("some other file"));
    platform::testing::SetBeforeShareLockHook(DeleteAndMaybeReplace, &action);
    File file;
    EXPECT_EQ(FileStatus::kOk, File::OpenDenyWrite(path_.c_str(), true, &file));
    EXPECT_EQ(1, action.calls);
    EXPECT_EQ("MYPC", ReadFileBytes(path_).value());
}

#ifdef _WIN32
TEST(BeforeShareLockHook, IsNeverRunBecauseTheOpenItselfShares) {
    TempDir dir;
    std::string path = dir.File("~ty~.loc");
    ASSERT_TRUE(WriteFileBytes(path, "MYPC"));
    HookAction action(path);
    platform::testing::SetBeforeShareLockHook(DeleteAndMaybeReplace, &action);
    File file;
    FileStatus status = File::OpenDenyWrite(path.c_str(), true, &file);
    platform::testing::SetBeforeShareLockHook(nullptr, nullptr);
    EXPECT_EQ(FileStatus::kOk, status);
    EXPECT_EQ(0, action.calls);
    EXPECT_EQ("MYPC", ReadFileBytes(path).value());
}
#endif

TEST(ComputerNameOfAnotherWorkstation, ComesFromTheProcessHostName) {
    if (!testsupport::CanChangeHostName()) GTEST_SKIP() << "needs root and unshare for a second host name";
    ChildProcess other(testsupport::BuildPath("platform_holder"), {}, std::string("OTHERPC"));
    ASSERT_TRUE(other.started());
    ASSERT_TRUE(other.WaitFor("ready"));
    ASSERT_TRUE(other.Send("name"));
    EXPECT_EQ("OTHERPC", other.ReadLine().value_or("no answer"));
    char ours[256];
    ASSERT_TRUE(platform::GetComputerName(ours, sizeof(ours)));
    EXPECT_NE("OTHERPC", std::string(ours));
}

}  // namespace
