// The SQLite store's two modes: WAL for the processes of one computer, a rollback journal for a
// folder that workstations share over the network; never both on one file at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "client_process.h"
#include "platform.h"
#include "w3btrv7_admin.h"
#include "w3btrv7_test_util.h"

using namespace w3btest;
using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace {

#ifdef _WIN32
constexpr int64_t kLocalDisk = 3;  // DRIVE_FIXED
constexpr int64_t kNfs = 4;        // DRIVE_REMOTE
#else
constexpr int64_t kLocalDisk = 0xEF53;  // ext4
constexpr int64_t kNfs = 0x6969;
#endif

// The journal format SQLite keeps in the file's header: 1 rollback, 2 WAL.
int JournalFormat(const std::string& path) {
    std::optional<std::string> bytes = testsupport::ReadFileBytes(path);
    return bytes && bytes->size() > 18 ? (*bytes)[18] : -1;
}

int32_t StoreOf(const std::string& path) {
    W3bFileStore store{};
    char message[256];
    EXPECT_EQ(W3bFileStoreOf(path.c_str(), &store, message, sizeof message), 0) << message;
    return store.store;
}

class ShareModes : public ::testing::Test {
protected:
    // Makes `folders` the folders kept for a network share (nullopt: none named).
    void NetworkFolders(std::optional<std::string> folders) {
        network_.reset();
        network_.emplace("W3BTRV7_NETWORK_FOLDERS", std::move(folders));
    }
    void TearDown() override { platform::testing::PretendFileSystemType(-1); }

    TempDir dir_;
    std::string path_ = dir_.File("BOOKS.DAT");
    std::optional<ScopedEnv> network_;
    ScopedEnv local_{"W3BTRV7_LOCAL_FOLDERS", std::nullopt};
};

}  // namespace

TEST_F(ShareModes, TheFoldersNamedInTheSettingsAndThenTheFileSystemDecideTheMode) {
    const std::string dir = dir_.path(), parent = std::filesystem::path(dir).parent_path().string();
    struct Row {
        const char* name;
        int64_t fileSystem;
        std::optional<std::string> network, local;
        int32_t expected;
    } rows[] = {
        {"a local disk", kLocalDisk, std::nullopt, std::nullopt, W3B_STORE_SQLITE},
        {"NFS", kNfs, std::nullopt, std::nullopt, W3B_STORE_SQLITE_SHARED},
#ifndef _WIN32
        {"CIFS", 0xFF534D42, std::nullopt, std::nullopt, W3B_STORE_SQLITE_SHARED},
        {"SMB2", 0xFE534D42, std::nullopt, std::nullopt, W3B_STORE_SQLITE_SHARED},
        {"FUSE", 0x65735546, std::nullopt, std::nullopt, W3B_STORE_SQLITE_SHARED},
#endif
        {"a local disk named a share", kLocalDisk, "C:\\nowhere;" + dir + "/", std::nullopt, W3B_STORE_SQLITE_SHARED},
        {"NFS named local", kNfs, std::nullopt, dir, W3B_STORE_SQLITE},
        {"the closer naming wins", kNfs, parent, dir, W3B_STORE_SQLITE},
        {"the closer naming wins the other way", kLocalDisk, dir, parent, W3B_STORE_SQLITE_SHARED},
        {"a folder whose name only begins the same", kLocalDisk, dir + "x", std::nullopt, W3B_STORE_SQLITE},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        platform::testing::PretendFileSystemType(row.fileSystem);
        NetworkFolders(row.network);
        ScopedEnv local("W3BTRV7_LOCAL_FOLDERS", row.local);
        EXPECT_EQ(StoreOf(path_), row.expected);
    }
}

TEST_F(ShareModes, AFileOnAShareKeepsARollbackJournalAndNoSharedMemory) {
    NetworkFolders(dir_.path());
    ASSERT_EQ(Create(path_, IdFile()), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, path_), 0);
    ClientProcess other;
    ASSERT_EQ(other.Ask("open " + path_), "status 0");
    for (uint32_t id = 1; id <= 3; ++id) {
        ASSERT_EQ(Insert(pb, IdRecord(id, "shared")), 0);
        EXPECT_EQ(other.Ask(GetCommand(btr::kOpGetEqual, id)), "status 0");
    }
    EXPECT_EQ(JournalFormat(path_), 1);
    EXPECT_FALSE(std::filesystem::exists(path_ + "-wal"));
    EXPECT_FALSE(std::filesystem::exists(path_ + "-shm"));
    std::string list = path_ + '\0';
    uint32_t length = static_cast<uint32_t>(list.size());
    EXPECT_EQ(Call(btr::kOpContinuous, pb, list.data(), &length, nullptr, 0, 0), btr::kStatusOperationNotAllowed);
    Close(pb);
}

TEST_F(ShareModes, AnOpenInTheOtherModeAnswers88UntilTheFileIsFreeAndThenTakesItsMode) {
    for (bool firstOnShare : {false, true}) {
        SCOPED_TRACE(firstOnShare ? "a share first" : "one computer first");
        std::filesystem::remove(path_);
        NetworkFolders(firstOnShare ? std::optional<std::string>(dir_.path()) : std::nullopt);
        ASSERT_EQ(Create(path_, IdFile()), 0);
        ClientProcess first;  // started in the first mode
        ASSERT_EQ(first.Ask("open " + path_), "status 0");
        ASSERT_EQ(first.Ask("insert 1 kept"), "status 0");
        NetworkFolders(firstOnShare ? std::nullopt : std::optional<std::string>(dir_.path()));
        PositionBlock pb;
        EXPECT_EQ(Open(pb, path_), btr::kStatusIncompatibleMode);
        ASSERT_EQ(first.Ask("close"), "status 0");
        ASSERT_EQ(Open(pb, path_), 0);
        EXPECT_EQ(JournalFormat(path_), firstOnShare ? 2 : 1);
        EXPECT_EQ(IdOf(Get(btr::kOpGetEqual, pb, 0, U32(1))), 1u);
        NetworkFolders(firstOnShare ? std::optional<std::string>(dir_.path()) : std::nullopt);
        ClientProcess lateInFirstMode;
        EXPECT_EQ(lateInFirstMode.Ask("open " + path_), "status 88");
        Close(pb);
    }
}

// The Windows build's CI maps a drive that Wine reports as remote and names a folder on it here
// (and puts every temporary folder there); elsewhere there is no such drive to test with.
TEST(ShareModeDetection, AFolderOnADriveTheSystemReportsAsRemoteIsKeptForANetworkShare) {
    const char* remote = std::getenv("TYDB_TEST_REMOTE_FOLDER");
    if (remote == nullptr || remote[0] == '\0') GTEST_SKIP() << "no remote folder named (TYDB_TEST_REMOTE_FOLDER)";
    ScopedEnv network("W3BTRV7_NETWORK_FOLDERS", std::nullopt), local("W3BTRV7_LOCAL_FOLDERS", std::nullopt);
    EXPECT_EQ(StoreOf(std::string(remote) + "\\ANY.DAT"), W3B_STORE_SQLITE_SHARED);
    TempDir dir;  // under TYDB_TEST_TEMP, on that drive too
    EXPECT_EQ(StoreOf(dir.File("ANY.DAT")), W3B_STORE_SQLITE_SHARED);
}
