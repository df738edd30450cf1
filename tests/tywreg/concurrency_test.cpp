// Writers that run at the same time, in threads and in processes, and the writers' lock.
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform.h"
#include "tywreg_test_support.h"

namespace {

using tywregtest::kMachine;
using tywregtest::SettingsFileTest;

int CountEntryLines(const std::string& text) {
    int lines = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (text.find('=', start) < end) ++lines;
        start = end + 1;
    }
    return lines;
}

// Holds the writers' lock the way a writer in another process would.
platform::File HoldWriterLock(const std::string& settingsFile) {
    platform::FileOptions options;
    options.access = platform::FileAccess::kReadWrite;
    options.share = platform::FileShare::kDenyReadWrite;
    options.create = true;
    platform::File lock;
    EXPECT_EQ(platform::File::Open((settingsFile + ".lock").c_str(), options, &lock), platform::FileStatus::kOk);
    return lock;
}

using TyWRegConcurrentWriters = SettingsFileTest;

TEST_F(TyWRegConcurrentWriters, TwoProcessesWritingAtOnceLoseNoEntry) {
    constexpr int kCount = 200;
    const std::string writer = testsupport::BuildPath("tywreg_writer");
    std::vector<std::unique_ptr<testsupport::ChildProcess>> children;
    for (const char* prefix : {"first", "second"}) {
        children.push_back(std::make_unique<testsupport::ChildProcess>(
            writer, std::vector<std::string>{file(), prefix, std::to_string(kCount)}));
        ASSERT_TRUE(children.back()->started());
    }
    for (auto& child : children) ASSERT_TRUE(child->WaitFor("ready"));
    for (auto& child : children) ASSERT_TRUE(child->Send("go"));
    for (auto& child : children) {
        EXPECT_TRUE(child->WaitFor("done 0", 120000));
        EXPECT_EQ(child->Wait(), 0);
    }

    for (const char* prefix : {"first", "second"}) {
        for (int i = 0; i < kCount; ++i) {
            std::string name = std::string(prefix) + "-" + std::to_string(i);
            EXPECT_EQ(TyWRegReadInt(kMachine, "Concurrent", name.c_str(), -1), i) << name;
        }
    }
    EXPECT_EQ(CountEntryLines(FileText()), 2 * kCount);
}

TEST_F(TyWRegConcurrentWriters, ThreadsWritingAtOnceLoseNoEntry) {
    constexpr int kThreads = 4;
    constexpr int kCount = 50;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < kCount; ++i) {
                std::string name = "t" + std::to_string(t) + "-" + std::to_string(i);
                if (TyWRegWriteString(kMachine, "Threads", name.c_str(), name.c_str()) != 0) ++failures;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(CountEntryLines(FileText()), kThreads * kCount);
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kCount; ++i) {
            std::string name = "t" + std::to_string(t) + "-" + std::to_string(i);
            EXPECT_EQ(ReadString(kMachine, "Threads", name.c_str()), name);
        }
    }
}

TEST_F(TyWRegConcurrentWriters, WriteWaitsUntilTheLockIsFreed) {
    SetFileText("[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nold=1\n");
    platform::File lock = HoldWriterLock(file());
    ASSERT_TRUE(lock.IsOpen());

    std::atomic<int32_t> result{-1};
    std::thread writer([&] { result = TyWRegWriteInt(kMachine, "", "new", 2); });
    // While the lock is held nothing may change, however long the writer has been trying.
    platform::SleepMilliseconds(200);
    EXPECT_EQ(FileText(), "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nold=1\n");
    // Readers do not need the lock.
    EXPECT_EQ(TyWRegReadInt(kMachine, "", "old", 0), 1);
    lock.Close();
    writer.join();

    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(FileText(), "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nold=1\nnew=2\n");
}

TEST_F(TyWRegConcurrentWriters, WriteGivesUpWhenTheLockIsNeverFreed) {
    SetFileText("[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nold=1\n");
    platform::File lock = HoldWriterLock(file());
    ASSERT_TRUE(lock.IsOpen());
    EXPECT_EQ(TyWRegWriteInt(kMachine, "", "new", 2), TYWREG_ERROR_SHARING_VIOLATION);
    EXPECT_EQ(FileText(), "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nold=1\n");
}

TEST_F(TyWRegConcurrentWriters, LockHeldByAnotherProcessBlocksUntilThatProcessDies) {
    SetFileText("[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nold=1\n");
    testsupport::ChildProcess holder(testsupport::BuildPath("tywreg_writer"), {file(), "--hold-lock"});
    ASSERT_TRUE(holder.started());
    ASSERT_TRUE(holder.WaitFor("locked"));

    EXPECT_EQ(TyWRegWriteInt(kMachine, "", "new", 2), TYWREG_ERROR_SHARING_VIOLATION);
    EXPECT_EQ(FileText(), "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nold=1\n");

    // Killed while holding it: the system drops the lock with the process.
    holder.Kill();
    holder.Wait();
    EXPECT_EQ(TyWRegWriteInt(kMachine, "", "new", 2), 0);
    EXPECT_EQ(TyWRegReadInt(kMachine, "", "new", 0), 2);
}

TEST_F(TyWRegConcurrentWriters, LockOfAWriterThatDiedIsNoObstacle) {
    // A lock file left behind by a writer that ended is only a name; the system dropped the
    // lock on it with the writer.
    { platform::File lock = HoldWriterLock(file()); }
    ASSERT_TRUE(testsupport::ReadFileBytes(file() + ".lock").has_value());
    EXPECT_EQ(TyWRegWriteInt(kMachine, "", "x", 1), 0);
    EXPECT_EQ(TyWRegReadInt(kMachine, "", "x", 0), 1);
}

}  // namespace
