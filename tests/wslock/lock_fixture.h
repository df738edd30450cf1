// A fixture for the workstation-lock tests: a data folder that is the lock directory, the fake
// record manager answering Open, Stat and Close, and a clean table afterwards.
#ifndef TYDB_TESTS_WSLOCK_LOCK_FIXTURE_H
#define TYDB_TESTS_WSLOCK_LOCK_FIXTURE_H

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "btrcall.h"
#include "fake_engine_control.h"
#include "gateway.h"
#include "platform.h"
#include "tydb.h"
#include "workstation_lock.h"

namespace locktest {

inline std::string ThisComputer() {
    char name[254] = {};
    platform::GetComputerName(name, sizeof name);
    return name;
}

class LockTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(data);
        fake.Script(btr::kOpOpen, "*", 0);
        fake.Script(btr::kOpStat, "*", 0);
        fake.Script(btr::kOpClose, "*", 0);
    }
    void TearDown() override {
        fake.ClearScript();
        fake.Script(btr::kOpClose, "*", 0);
        DbCloseAll();
        EXPECT_EQ(Holders(), 0u) << "every counted open was given back";
        TydbDirectoryBlock empty = {};
        DbSetDirectories(&empty);
        tydb::UnloadEngine();
    }

    // Slot 3 names the lock directory; other slots stay as they are.
    void SetLockDirectory(const std::string& directory, bool disabled = false) {
        std::memset(block.directories[TYDB_LOCK_SLOT], 0, TYDB_DIRECTORY_SLOT_SIZE);
        std::memcpy(block.directories[TYDB_LOCK_SLOT], directory.data(), directory.size());
        block.lockDisabled = disabled ? 1 : 0;
        ASSERT_EQ(DbSetDirectories(&block), 0);
    }
    void SetSlot(int slot, const std::string& directory) {
        std::memset(block.directories[slot], 0, TYDB_DIRECTORY_SLOT_SIZE);
        std::memcpy(block.directories[slot], directory.data(), directory.size());
        ASSERT_EQ(DbSetDirectories(&block), 0);
    }
    int32_t OpenStatus(const std::string& path, int16_t* handle) { return DbOpen(handle, path.c_str(), 0, 0); }
    int16_t Open(const std::string& path) {
        int16_t handle = 0;
        EXPECT_EQ(DbOpen(&handle, path.c_str(), 0, 0), 0) << path;
        return handle;
    }
    bool LockFileExists() const { return std::filesystem::exists(lockFile); }
    std::string LockFileContent() const { return testsupport::ReadFileBytes(lockFile).value_or("<missing>"); }
    uint32_t Holders() const { return tydb::TheWorkstationLock().holderCount(); }

    testsupport::TempDir dir;
    testsupport::FakeEngine fake{dir};
    // The lock directory as a POSIX slot is written: with its trailing '/'.
    const std::string data = dir.File("data");
    const std::string lockDirectory = data + "/";
    const std::string lockFile = data + "/~ty~.loc";
    TydbDirectoryBlock block = {};
};

}  // namespace locktest

#endif  // TYDB_TESTS_WSLOCK_LOCK_FIXTURE_H
