// Files within one process: open options, text mode, positions, names.
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
// The platform layer's functions of these names, not the Windows macros.
#undef DeleteFile
#undef GetComputerName

#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "platform.h"
#include "test_support.h"

namespace {

using platform::File;
using platform::FileOptions;
using platform::FileStatus;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

std::string ReadAll(File& file, size_t chunk = 4096) {
    std::string all;
    std::string buffer(chunk, '\0');
    for (;;) {
        size_t got = 0;
        if (file.Read(buffer.data(), chunk, &got) != FileStatus::kOk || got == 0) return all;
        all.append(buffer.data(), got);
    }
}

// Takes write permission away from everyone; on Windows this sets the read-only mark.
void MakeReadOnly(const std::string& path) {
    namespace fs = std::filesystem;
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
}

bool IsReadOnly(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::perms mode = fs::status(path, error).permissions();
    return !error && (mode & fs::perms::owner_write) == fs::perms::none;
}

class Files : public ::testing::Test {
protected:
    TempDir dir_;
    std::string path_ = dir_.File("data.txt");
};

TEST_F(Files, TextModeStoresCarriageReturnLineFeed) {
    File file;
    ASSERT_EQ(FileStatus::kOk, File::CreateExclusive(path_.c_str(), true, &file));
    ASSERT_EQ(FileStatus::kOk, file.Write("one\ntwo\n\n", 9));
    file.Close();
    EXPECT_EQ("one\r\ntwo\r\n\r\n", ReadFileBytes(path_).value());
}

TEST_F(Files, TextModeReadsCarriageReturnLineFeedBackAsLineFeed) {
    ASSERT_TRUE(WriteFileBytes(path_, "a\r\nb\rc\r\n\r"));
    File file;
    ASSERT_EQ(FileStatus::kOk, File::OpenDenyWrite(path_.c_str(), true, &file));
    EXPECT_EQ("a\nb\rc\n\r", ReadAll(file));
}

TEST_F(Files, TextModeReadJoinsPairSplitAcrossReads) {
    ASSERT_TRUE(WriteFileBytes(path_, "a\r\nb\rc"));
    File file;
    ASSERT_EQ(FileStatus::kOk, File::OpenDenyWrite(path_.c_str(), true, &file));
    // Two bytes at a time: "a\r" must look ahead to see the '\n', "b\r" must give the '\r' back.
    EXPECT_EQ("a\nb\rc", ReadAll(file, 2));
}

TEST_F(Files, LongTextWriteExpandsEveryLineEnd) {
    std::string text;
    for (int i = 0; i < 5000; ++i) text += "line\n";
    File file;
    ASSERT_EQ(FileStatus::kOk, File::CreateExclusive(path_.c_str(), true, &file));
    ASSERT_EQ(FileStatus::kOk, file.Write(text.data(), text.size()));
    file.Close();
    std::string expected;
    for (int i = 0; i < 5000; ++i) expected += "line\r\n";
    EXPECT_EQ(expected, ReadFileBytes(path_).value());
}

TEST_F(Files, BinaryModeKeepsBytes) {
    FileOptions options;
    options.access = platform::FileAccess::kReadWrite;
    options.create = true;
    File file;
    ASSERT_EQ(FileStatus::kOk, File::Open(path_.c_str(), options, &file));
    ASSERT_EQ(FileStatus::kOk, file.Write("a\nb\r\n", 5));
    ASSERT_EQ(FileStatus::kOk, file.Seek(0, platform::SeekFrom::kBegin));
    EXPECT_EQ("a\nb\r\n", ReadAll(file));
}

TEST_F(Files, AppendWritesGoToTheEnd) {
    ASSERT_TRUE(WriteFileBytes(path_, "first\r\n"));
    File file;
    ASSERT_EQ(FileStatus::kOk, File::OpenAppendExclusive(path_.c_str(), true, &file));
    ASSERT_EQ(FileStatus::kOk, file.Seek(0, platform::SeekFrom::kBegin));
    ASSERT_EQ(FileStatus::kOk, file.Write("second\n", 7));
    file.Close();
    EXPECT_EQ("first\r\nsecond\r\n", ReadFileBytes(path_).value());
}

TEST_F(Files, AppendExclusiveCreatesMissingFile) {
    File file;
    ASSERT_EQ(FileStatus::kOk, File::OpenAppendExclusive(path_.c_str(), false, &file));
    ASSERT_EQ(FileStatus::kOk, file.Write("x", 1));
    file.Close();
    EXPECT_EQ("x", ReadFileBytes(path_).value());
}

TEST_F(Files, CreateExclusiveTruncatesExistingFile) {
    ASSERT_TRUE(WriteFileBytes(path_, "old contents"));
    File file;
    ASSERT_EQ(FileStatus::kOk, File::CreateExclusive(path_.c_str(), false, &file));
    ASSERT_EQ(FileStatus::kOk, file.Write("new", 3));
    file.Close();
    EXPECT_EQ("new", ReadFileBytes(path_).value());
}

TEST_F(Files, OpenDenyWriteOfMissingFileIsNotFound) {
    File file;
    EXPECT_EQ(FileStatus::kNotFound, File::OpenDenyWrite(path_.c_str(), true, &file));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(FileStatus::kNotFound, File::OpenDenyWrite(dir_.File("no/such/folder").c_str(), true, &file));
    EXPECT_EQ(FileStatus::kNotFound, File::OpenDenyWrite("", true, &file));
    EXPECT_EQ(FileStatus::kNotFound, File::OpenDenyWrite(nullptr, true, &file));
    EXPECT_EQ(FileStatus::kIoError, File::OpenDenyWrite(path_.c_str(), true, nullptr));
}

TEST_F(Files, CreateNewOfExistingFileIsAlreadyExists) {
    ASSERT_TRUE(WriteFileBytes(path_, "keep"));
    FileOptions options;
    options.access = platform::FileAccess::kWrite;
    options.createNew = true;
    File file;
    EXPECT_EQ(FileStatus::kAlreadyExists, File::Open(path_.c_str(), options, &file));
    EXPECT_EQ("keep", ReadFileBytes(path_).value());
}

TEST_F(Files, BackslashPathsReachTheFile) {
    std::string windowsStyle = dir_.path() + "\\data.txt";
    File file;
    ASSERT_EQ(FileStatus::kOk, File::CreateExclusive(windowsStyle.c_str(), false, &file));
    file.Close();
    EXPECT_TRUE(platform::FileExists(path_.c_str()));
    EXPECT_TRUE(platform::FileExists(windowsStyle.c_str()));
}

TEST_F(Files, ReadAndWriteKeepToTheAccessAskedFor) {
    ASSERT_TRUE(WriteFileBytes(path_, "abc"));
    File reader;
    ASSERT_EQ(FileStatus::kOk, File::OpenDenyWrite(path_.c_str(), false, &reader));
    EXPECT_EQ(FileStatus::kAccessDenied, reader.Write("x", 1));
    EXPECT_EQ(FileStatus::kAccessDenied, reader.Truncate(0));
    reader.Close();
    File writer;
    ASSERT_EQ(FileStatus::kOk, File::CreateExclusive(path_.c_str(), false, &writer));
    char buffer[4];
    size_t got = 99;
    EXPECT_EQ(FileStatus::kAccessDenied, writer.Read(buffer, sizeof(buffer), &got));
    EXPECT_EQ(0u, got);
}

TEST_F(Files, ClosedFileRefusesEverything) {
    File file;
    char buffer[4];
    size_t got = 0;
    int64_t value = 0;
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(FileStatus::kIoError, file.Read(buffer, 4, &got));
    EXPECT_EQ(FileStatus::kIoError, file.Write("x", 1));
    EXPECT_EQ(FileStatus::kIoError, file.Seek(0, platform::SeekFrom::kBegin));
    EXPECT_EQ(FileStatus::kIoError, file.Size(&value));
    EXPECT_EQ(FileStatus::kIoError, file.Sync());
    EXPECT_EQ(FileStatus::kIoError, file.LockRange(0, 1, platform::RangeLock::kShared, false));
}

TEST_F(Files, SeekSizeAndTruncate) {
    FileOptions options;
    options.access = platform::FileAccess::kReadWrite;
    options.create = true;
    File file;
    ASSERT_EQ(FileStatus::kOk, File::Open(path_.c_str(), options, &file));
    ASSERT_EQ(FileStatus::kOk, file.Write("0123456789", 10));
    int64_t size = 0, position = 0;
    ASSERT_EQ(FileStatus::kOk, file.Size(&size));
    EXPECT_EQ(10, size);
    ASSERT_EQ(FileStatus::kOk, file.Seek(-3, platform::SeekFrom::kEnd, &position));
    EXPECT_EQ(7, position);
    char buffer[8] = {};
    size_t got = 0;
    ASSERT_EQ(FileStatus::kOk, file.Read(buffer, 8, &got));
    EXPECT_EQ("789", std::string(buffer, got));
    ASSERT_EQ(FileStatus::kOk, file.Seek(-5, platform::SeekFrom::kCurrent, &position));
    EXPECT_EQ(5, position);
    EXPECT_EQ(FileStatus::kIoError, file.Seek(-100, platform::SeekFrom::kCurrent));
    ASSERT_EQ(FileStatus::kOk, file.Truncate(4));
    ASSERT_EQ(FileStatus::kOk, file.Size(&size));
    EXPECT_EQ(4, size);
    EXPECT_EQ(FileStatus::kIoError, file.Truncate(-1));
    EXPECT_EQ(FileStatus::kOk, file.Sync());
}

TEST_F(Files, MovedFileKeepsTheDescriptor) {
    File first;
    ASSERT_EQ(FileStatus::kOk, File::CreateExclusive(path_.c_str(), false, &first));
    File second(std::move(first));
    EXPECT_FALSE(first.IsOpen());
    ASSERT_TRUE(second.IsOpen());
    EXPECT_EQ(FileStatus::kOk, second.Write("moved", 5));
    File third;
    third = std::move(second);
    EXPECT_EQ(FileStatus::kOk, third.Write("!", 1));
    third.Close();
    EXPECT_EQ("moved!", ReadFileBytes(path_).value());
}

#ifdef _WIN32
// The runtime's descriptors that name an open system handle.
std::set<int> OpenDescriptors() {
    std::set<int> open;
    for (int fd = 0; fd < 2048; ++fd) {
        if (_get_osfhandle(fd) != -1) open.insert(fd);
    }
    return open;
}

TEST_F(Files, HandlesAreNotInheritedByChildPrograms) {
    std::set<int> before = OpenDescriptors();
    File file;
    ASSERT_EQ(FileStatus::kOk, File::CreateExclusive(path_.c_str(), false, &file));
    // The descriptor that appeared with the open is the file's; its handle must not pass to
    // programs started with handle inheritance.
    int found = 0;
    for (int fd : OpenDescriptors()) {
        if (before.count(fd) != 0) continue;
        ++found;
        DWORD flags = 0;
        ASSERT_TRUE(GetHandleInformation(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), &flags));
        EXPECT_EQ(0u, flags & HANDLE_FLAG_INHERIT);
    }
    EXPECT_EQ(1, found);
}
#else
TEST_F(Files, DescriptorsAreNotInheritedByChildPrograms) {
    File file;
    ASSERT_EQ(FileStatus::kOk, File::CreateExclusive(path_.c_str(), false, &file));
    // Find the descriptor that names our file and look at its close-on-exec flag.
    bool found = false;
    for (int fd = 3; fd < 1024; ++fd) {
        struct stat byFd, byPath;
        if (fstat(fd, &byFd) != 0 || stat(path_.c_str(), &byPath) != 0) continue;
        if (byFd.st_ino != byPath.st_ino || byFd.st_dev != byPath.st_dev) continue;
        found = true;
        EXPECT_NE(0, fcntl(fd, F_GETFD) & FD_CLOEXEC);
    }
    EXPECT_TRUE(found);
}
#endif

#ifdef _WIN32
// Kernel handles open in this process, found by trying every handle value of the low range
// (GetProcessHandleCount is not counted under Wine).
DWORD HandleCount() {
    DWORD count = 0;
    for (uintptr_t value = 4; value < 0x4000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
    }
    return count;
}

TEST_F(Files, OperationsLeaveNoHandlesBehind) {
    ASSERT_TRUE(WriteFileBytes(path_, "0123456789"));
    std::string readOnly = dir_.File("read-only.txt");
    std::string missing = dir_.File("missing.txt");
    // Warm up once, so that handles the runtime keeps for itself are already there.
    auto round = [&] {
        File holder, refused, locker;
        EXPECT_EQ(FileStatus::kOk, File::OpenDenyWrite(path_.c_str(), true, &holder));
        EXPECT_EQ(FileStatus::kAccessDenied, File::CreateExclusive(path_.c_str(), true, &refused));
        EXPECT_EQ(FileStatus::kNotFound, File::OpenDenyWrite(missing.c_str(), true, &refused));
        bool held = false;
        EXPECT_EQ(FileStatus::kOk, platform::FindSharingHolder(path_.c_str(), &held));
        EXPECT_EQ(FileStatus::kAccessDenied, platform::DeleteUnlessHeld(path_.c_str()));
        holder.Close();
        FileOptions options;
        options.access = platform::FileAccess::kReadWrite;
        EXPECT_EQ(FileStatus::kOk, File::Open(path_.c_str(), options, &locker));
        EXPECT_EQ(FileStatus::kOk, locker.LockRange(0, 4, platform::RangeLock::kExclusive, false));
        EXPECT_EQ(FileStatus::kOk, locker.UnlockRange(0, 4));
        EXPECT_TRUE(WriteFileBytes(readOnly, "x"));
        MakeReadOnly(readOnly);
        File readOnlyHolder;
        EXPECT_EQ(FileStatus::kOk, File::OpenDenyWrite(readOnly.c_str(), true, &readOnlyHolder));
        EXPECT_EQ(FileStatus::kAccessDenied, platform::DeleteUnlessHeld(readOnly.c_str()));
        readOnlyHolder.Close();
        EXPECT_EQ(FileStatus::kOk, platform::DeleteUnlessHeld(readOnly.c_str()));
    };
    round();
    DWORD before = HandleCount();
    ASSERT_NE(0u, before);
    for (int i = 0; i < 20; ++i) round();
    EXPECT_EQ(before, HandleCount());
}
#endif

TEST_F(Files, SameProcessSharingModesConflictLikeTwoProcesses) {
    ASSERT_TRUE(WriteFileBytes(path_, "keep"));
    File holder;
    ASSERT_EQ(FileStatus::kOk, File::OpenDenyWrite(path_.c_str(), true, &holder));
    File creator;
    EXPECT_EQ(FileStatus::kAccessDenied, File::CreateExclusive(path_.c_str(), true, &creator));
    EXPECT_EQ(FileStatus::kAccessDenied, platform::DeleteUnlessHeld(path_.c_str()));
    EXPECT_EQ("keep", ReadFileBytes(path_).value());
    File secondHolder;
    EXPECT_EQ(FileStatus::kOk, File::OpenDenyWrite(path_.c_str(), true, &secondHolder));
}

TEST_F(Files, OpenerWithoutSharingModeKeepsTheFileOnlyOnWindows) {
    ASSERT_TRUE(WriteFileBytes(path_, "open"));
    FileOptions options;
    options.access = platform::FileAccess::kReadWrite;
    File opener;
    ASSERT_EQ(FileStatus::kOk, File::Open(path_.c_str(), options, &opener));
#ifdef _WIN32
    // Windows refuses to delete a file that is open at all.
    EXPECT_EQ(FileStatus::kAccessDenied, platform::DeleteUnlessHeld(path_.c_str()));
    EXPECT_TRUE(platform::FileExists(path_.c_str()));
    opener.Close();
    EXPECT_EQ(FileStatus::kOk, platform::DeleteUnlessHeld(path_.c_str()));
#else
    // Only holders with a sharing mode count here.
    EXPECT_EQ(FileStatus::kOk, platform::DeleteUnlessHeld(path_.c_str()));
#endif
    EXPECT_FALSE(platform::FileExists(path_.c_str()));
}

TEST_F(Files, SameProcessRangeLocksConflictBetweenFiles) {
    ASSERT_TRUE(WriteFileBytes(path_, "0123456789"));
    FileOptions options;
    options.access = platform::FileAccess::kReadWrite;
    File a, b;
    ASSERT_EQ(FileStatus::kOk, File::Open(path_.c_str(), options, &a));
    ASSERT_EQ(FileStatus::kOk, File::Open(path_.c_str(), options, &b));
    ASSERT_EQ(FileStatus::kOk, a.LockRange(2, 3, platform::RangeLock::kExclusive, false));
    EXPECT_EQ(FileStatus::kAccessDenied, b.LockRange(4, 1, platform::RangeLock::kShared, false));
    EXPECT_EQ(FileStatus::kOk, b.LockRange(5, 5, platform::RangeLock::kExclusive, false));
    ASSERT_EQ(FileStatus::kOk, a.UnlockRange(2, 3));
    EXPECT_EQ(FileStatus::kOk, b.LockRange(4, 1, platform::RangeLock::kShared, false));
    // Shared locks coexist; an exclusive one over them does not.
    EXPECT_EQ(FileStatus::kOk, a.LockRange(4, 1, platform::RangeLock::kShared, false));
    EXPECT_EQ(FileStatus::kAccessDenied, a.LockRange(0, 0, platform::RangeLock::kExclusive, false));
}

TEST_F(Files, RangeBeyondTheLargestOffsetIsRefused) {
    ASSERT_TRUE(WriteFileBytes(path_, "x"));
    FileOptions options;
    options.access = platform::FileAccess::kReadWrite;
    File file;
    ASSERT_EQ(FileStatus::kOk, File::Open(path_.c_str(), options, &file));
    EXPECT_EQ(FileStatus::kIoError, file.LockRange(UINT64_MAX, 1, platform::RangeLock::kShared, false));
    EXPECT_EQ(FileStatus::kIoError, file.LockRange(1, UINT64_MAX, platform::RangeLock::kShared, false));
}

TEST_F(Files, DeleteRenameAndExists) {
    EXPECT_FALSE(platform::FileExists(path_.c_str()));
    EXPECT_FALSE(platform::FileExists(nullptr));
    EXPECT_EQ(FileStatus::kNotFound, platform::DeleteFile(path_.c_str()));
    EXPECT_EQ(FileStatus::kNotFound, platform::DeleteUnlessHeld(path_.c_str()));
    ASSERT_TRUE(WriteFileBytes(path_, "from"));
    std::string target = dir_.File("target.txt");
    ASSERT_TRUE(WriteFileBytes(target, "to"));
    ASSERT_EQ(FileStatus::kOk, platform::RenameReplace(path_.c_str(), target.c_str()));
    EXPECT_FALSE(platform::FileExists(path_.c_str()));
    EXPECT_EQ("from", ReadFileBytes(target).value());
    EXPECT_EQ(FileStatus::kNotFound, platform::RenameReplace(path_.c_str(), target.c_str()));
    ASSERT_EQ(FileStatus::kOk, platform::DeleteUnlessHeld(target.c_str()));
    EXPECT_FALSE(platform::FileExists(target.c_str()));
    ASSERT_TRUE(WriteFileBytes(path_, "x"));
    ASSERT_EQ(FileStatus::kOk, platform::DeleteFile(path_.c_str()));
    EXPECT_FALSE(platform::FileExists(path_.c_str()));
}

TEST_F(Files, DeleteUnlessHeldWorksWithoutWritePermission) {
    ASSERT_TRUE(WriteFileBytes(path_, "read only"));
    MakeReadOnly(path_);
    ASSERT_TRUE(IsReadOnly(path_));
    EXPECT_EQ(FileStatus::kOk, platform::DeleteUnlessHeld(path_.c_str()));
    EXPECT_FALSE(platform::FileExists(path_.c_str()));
}

TEST_F(Files, DeleteWorksWithoutWritePermission) {
    ASSERT_TRUE(WriteFileBytes(path_, "read only"));
    MakeReadOnly(path_);
    ASSERT_TRUE(IsReadOnly(path_));
    EXPECT_EQ(FileStatus::kOk, platform::DeleteFile(path_.c_str()));
    EXPECT_FALSE(platform::FileExists(path_.c_str()));
}

TEST_F(Files, ReadOnlyFileOpenHereIsNeitherDeletedNorUnmarked) {
    ASSERT_TRUE(WriteFileBytes(path_, "read only"));
    MakeReadOnly(path_);
    File holder;
    ASSERT_EQ(FileStatus::kOk, File::OpenDenyWrite(path_.c_str(), true, &holder));
    EXPECT_EQ(FileStatus::kAccessDenied, platform::DeleteUnlessHeld(path_.c_str()));
    EXPECT_TRUE(platform::FileExists(path_.c_str()));
    EXPECT_TRUE(IsReadOnly(path_));
    holder.Close();
    EXPECT_EQ(FileStatus::kOk, platform::DeleteUnlessHeld(path_.c_str()));
    EXPECT_FALSE(platform::FileExists(path_.c_str()));
}

TEST_F(Files, SyncOfAFileOpenedForReadingSucceeds) {
    ASSERT_TRUE(WriteFileBytes(path_, "content"));
    File reader;
    ASSERT_EQ(FileStatus::kOk, File::OpenDenyWrite(path_.c_str(), false, &reader));
    EXPECT_EQ(FileStatus::kOk, reader.Sync());
    MakeReadOnly(path_);
    File readOnly;
    ASSERT_EQ(FileStatus::kOk, File::OpenDenyWrite(path_.c_str(), false, &readOnly));
    EXPECT_EQ(FileStatus::kOk, readOnly.Sync());
}

TEST_F(Files, FolderCannotBeOpenedAsAFile) {
    File file;
    EXPECT_EQ(FileStatus::kAccessDenied, File::OpenDenyWrite(dir_.path().c_str(), false, &file));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(FileStatus::kAccessDenied, File::CreateExclusive(dir_.path().c_str(), false, &file));
    EXPECT_TRUE(platform::FileExists(dir_.path().c_str()));
}

TEST_F(Files, DeleteUnlessHeldRefusesAFolder) {
    std::string folder = dir_.File("folder");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    EXPECT_EQ(FileStatus::kAccessDenied, platform::DeleteUnlessHeld(folder.c_str()));
    EXPECT_TRUE(platform::FileExists(folder.c_str()));
}

}  // namespace
