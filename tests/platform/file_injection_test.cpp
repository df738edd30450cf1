// Injected file failures: the chosen call fails with the chosen status, and only that one.
#include <string>

#include <gtest/gtest.h>

#include "platform.h"
#include "test_support.h"

namespace {

using platform::File;
using platform::FileStatus;
using platform::testing::FileOperation;
using platform::testing::InjectFileFailure;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

class InjectedFileFailures : public ::testing::Test {
protected:
    void TearDown() override {
        for (auto operation : {FileOperation::kOpen, FileOperation::kRead, FileOperation::kWrite, FileOperation::kSync,
                               FileOperation::kDelete, FileOperation::kRename, FileOperation::kExists}) {
            InjectFileFailure(operation, -1, FileStatus::kIoError);
        }
    }
    TempDir dir_;
    std::string path_ = dir_.File("tysupidx.log");
};

TEST_F(InjectedFileFailures, OpenFailsAtTheChosenCallThenRecovers) {
    InjectFileFailure(FileOperation::kOpen, 1, FileStatus::kAccessDenied, 2);
    File file;
    EXPECT_EQ(FileStatus::kOk, File::OpenAppendExclusive(path_.c_str(), true, &file));
    file.Close();
    EXPECT_EQ(FileStatus::kAccessDenied, File::OpenAppendExclusive(path_.c_str(), true, &file));
    EXPECT_EQ(FileStatus::kAccessDenied, File::OpenDenyWrite(path_.c_str(), true, &file));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(FileStatus::kOk, File::OpenDenyWrite(path_.c_str(), true, &file));
}

TEST_F(InjectedFileFailures, WriteFailsLikeAFullDiskWithoutWriting) {
    File file;
    ASSERT_EQ(FileStatus::kOk, File::CreateExclusive(path_.c_str(), false, &file));
    InjectFileFailure(FileOperation::kWrite, 1, FileStatus::kIoError);
    EXPECT_EQ(FileStatus::kOk, file.Write("first", 5));
    EXPECT_EQ(FileStatus::kIoError, file.Write("second", 6));
    EXPECT_EQ(FileStatus::kOk, file.Write("third", 5));
    file.Close();
    EXPECT_EQ("firstthird", ReadFileBytes(path_).value());
}

TEST_F(InjectedFileFailures, ReadAndSyncFailWithTheChosenStatus) {
    ASSERT_TRUE(WriteFileBytes(path_, "content"));
    File file;
    ASSERT_EQ(FileStatus::kOk, File::OpenDenyWrite(path_.c_str(), false, &file));
    InjectFileFailure(FileOperation::kRead, 0, FileStatus::kIoError);
    char buffer[16];
    size_t got = 99;
    EXPECT_EQ(FileStatus::kIoError, file.Read(buffer, sizeof(buffer), &got));
    EXPECT_EQ(0u, got);
    EXPECT_EQ(FileStatus::kOk, file.Read(buffer, sizeof(buffer), &got));
    EXPECT_EQ("content", std::string(buffer, got));
    InjectFileFailure(FileOperation::kSync, 0, FileStatus::kIoError);
    EXPECT_EQ(FileStatus::kIoError, file.Sync());
    EXPECT_EQ(FileStatus::kOk, file.Sync());
}

TEST_F(InjectedFileFailures, DeleteAndRenameFailWithoutTouchingFiles) {
    ASSERT_TRUE(WriteFileBytes(path_, "keep"));
    InjectFileFailure(FileOperation::kDelete, 0, FileStatus::kAccessDenied, 2);
    EXPECT_EQ(FileStatus::kAccessDenied, platform::DeleteUnlessHeld(path_.c_str()));
    EXPECT_EQ(FileStatus::kAccessDenied, platform::DeleteFile(path_.c_str()));
    EXPECT_TRUE(platform::FileExists(path_.c_str()));
    std::string target = dir_.File("target");
    InjectFileFailure(FileOperation::kRename, 0, FileStatus::kIoError);
    EXPECT_EQ(FileStatus::kIoError, platform::RenameReplace(path_.c_str(), target.c_str()));
    EXPECT_TRUE(platform::FileExists(path_.c_str()));
    EXPECT_FALSE(platform::FileExists(target.c_str()));
    EXPECT_EQ(FileStatus::kOk, platform::RenameReplace(path_.c_str(), target.c_str()));
    EXPECT_EQ(FileStatus::kOk, platform::DeleteFile(target.c_str()));
}

TEST_F(InjectedFileFailures, ExistenceCheckAnswersAbsentAtTheChosenCallThenRecovers) {
    ASSERT_TRUE(WriteFileBytes(path_, "content"));
    InjectFileFailure(FileOperation::kExists, 1, FileStatus::kNotFound);
    EXPECT_TRUE(platform::FileExists(path_.c_str()));
    EXPECT_FALSE(platform::FileExists(path_.c_str()));
    EXPECT_TRUE(platform::FileExists(path_.c_str()));
    EXPECT_EQ("content", ReadFileBytes(path_).value());
}

TEST_F(InjectedFileFailures, OkStatusOrNegativeCountTurnsInjectionOff) {
    InjectFileFailure(FileOperation::kOpen, 0, FileStatus::kOk);
    File file;
    EXPECT_EQ(FileStatus::kOk, File::CreateExclusive(path_.c_str(), false, &file));
    InjectFileFailure(FileOperation::kOpen, 0, FileStatus::kIoError, 3);
    InjectFileFailure(FileOperation::kOpen, -1, FileStatus::kIoError);
    EXPECT_EQ(FileStatus::kOk, File::CreateExclusive(path_.c_str(), false, &file));
}

TEST_F(InjectedFileFailures, OperationsAreCountedSeparately) {
    InjectFileFailure(FileOperation::kWrite, 0, FileStatus::kIoError);
    File file;
    // Opening does not use up the write failure.
    ASSERT_EQ(FileStatus::kOk, File::CreateExclusive(path_.c_str(), false, &file));
    EXPECT_EQ(FileStatus::kIoError, file.Write("x", 1));
    EXPECT_EQ(FileStatus::kOk, file.Write("y", 1));
}

}  // namespace
