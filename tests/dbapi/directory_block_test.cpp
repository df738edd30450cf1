// How an opened path is split and matched against the directory block.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "directory_block.h"
#include "tydb.h"

using tydb::ResolveDirectory;
using tydb::ResolvedPath;

namespace {

class DirectoryBlockTest : public ::testing::Test {
protected:
    void TearDown() override {
        TydbDirectoryBlock empty = {};
        DbSetDirectories(&empty);
    }
    void Configure(int slot, const std::string& directory, bool share = false) {
        std::memset(block.directories[slot], 0, sizeof block.directories[slot]);
        std::memcpy(block.directories[slot], directory.data(), directory.size());
        block.shareOpenFiles = share ? 1 : 0;
        ASSERT_EQ(DbSetDirectories(&block), 0);
    }
    std::string Scratch() { return std::string(tydb::SlotText(tydb::Directories(), tydb::kScratchSlot)); }
    // The views of a resolved path point into the path, so the path is kept here.
    ResolvedPath Resolve(const std::string& path) {
        lastPath = path;
        ResolvedPath resolved;
        EXPECT_TRUE(ResolveDirectory(lastPath.c_str(), &resolved)) << path;
        return resolved;
    }
    std::string lastPath;
    TydbDirectoryBlock block = {};
};

TEST_F(DirectoryBlockTest, LayoutHasSixSlotsAndTwoFlagsAtFixedOffsets) {
    EXPECT_EQ(sizeof(TydbDirectoryBlock), 1568u);
    TydbDirectoryBlock probe = {};
    const char* base = reinterpret_cast<const char*>(&probe);
    EXPECT_EQ(probe.directories[3] - base, 780);
    EXPECT_EQ(probe.directories[5] - base, 1300);
    EXPECT_EQ(reinterpret_cast<const char*>(&probe.lockDisabled) - base, 1560);
    EXPECT_EQ(reinterpret_cast<const char*>(&probe.shareOpenFiles) - base, 1564);
}

TEST_F(DirectoryBlockTest, SetAndGetCopyTheWholeBlock) {
    for (size_t i = 0; i < sizeof block; ++i)
        reinterpret_cast<unsigned char*>(&block)[i] = static_cast<unsigned char>(i * 7 + 1);
    ASSERT_EQ(DbSetDirectories(&block), 0);
    TydbDirectoryBlock out = {};
    ASSERT_EQ(DbGetDirectories(&out), 0);
    EXPECT_EQ(std::memcmp(&out, &block, sizeof block), 0);
}

TEST_F(DirectoryBlockTest, NullBlockIsRefusedAndChangesNothing) {
    Configure(0, "D:\\DATA");
    EXPECT_EQ(DbSetDirectories(nullptr), TYDB_STATUS_NO_BUFFER);
    EXPECT_EQ(DbGetDirectories(nullptr), TYDB_STATUS_NO_BUFFER);
    TydbDirectoryBlock out = {};
    ASSERT_EQ(DbGetDirectories(&out), 0);
    EXPECT_STREQ(out.directories[0], "D:\\DATA");
}

TEST_F(DirectoryBlockTest, PathSplitsIntoDirectoryAndNameKey) {
    ResolvedPath resolved = Resolve("D:\\DATA\\CUST.DAT");
    EXPECT_EQ(resolved.directory, "D:\\DATA");
    EXPECT_EQ(resolved.nameKey, "CUST.DAT");

    resolved = Resolve("D:\\DATA/SUB\\Ledger.Old.Dat");
    EXPECT_EQ(resolved.directory, "D:\\DATA/SUB") << "both separators split, one trailing backslash dropped";
    EXPECT_EQ(resolved.nameKey, "Ledger.Old.Dat");

    resolved = Resolve("D:\\DATA\\SUB/Ledger.Old.Dat");
    EXPECT_EQ(resolved.directory, "D:\\DATA\\SUB/") << "a trailing slash stays";
    EXPECT_EQ(resolved.nameKey, "Ledger.Old.Dat");
}

TEST_F(DirectoryBlockTest, DriveRootIsWrittenAsTheDriveAlone) {
    ResolvedPath resolved = Resolve("D:\\CUST.DAT");
    EXPECT_EQ(resolved.directory, "D:");
    Configure(0, "D:");
    EXPECT_EQ(Resolve("D:\\CUST.DAT").slot, 0);
    EXPECT_EQ(Resolve("D:CUST.DAT").slot, 0) << "a drive without a directory has the same directory string";
}

TEST_F(DirectoryBlockTest, BareFileNameHasTheEmptyDirectory) {
    Configure(0, "D:\\DATA");
    ResolvedPath resolved = Resolve("CUST.DAT");
    EXPECT_EQ(resolved.directory, "");
    EXPECT_EQ(resolved.nameKey, "CUST.DAT");
    EXPECT_EQ(resolved.slot, 1) << "the first empty slot equals the empty directory";
}

TEST_F(DirectoryBlockTest, BareFileNameGoesToScratchWhenEverySlotIsConfigured) {
    for (int slot = 0; slot < 5; ++slot) Configure(slot, "D:\\S" + std::to_string(slot), true);
    ResolvedPath resolved = Resolve("CUST.DAT");
    EXPECT_EQ(resolved.slot, tydb::kScratchSlot);
    EXPECT_FALSE(resolved.share);
    EXPECT_EQ(Scratch(), "");
}

TEST_F(DirectoryBlockTest, SlotsMatchIgnoringCaseInOrder) {
    Configure(2, "d:\\data");
    Configure(4, "D:\\DATA");
    ResolvedPath resolved = Resolve("D:\\Data\\CUST.DAT");
    EXPECT_EQ(resolved.slot, 2);
    EXPECT_EQ(resolved.directory, "D:\\Data") << "the path's own spelling is kept";
}

TEST_F(DirectoryBlockTest, EitherSeparatorMatchesTheSameSlotOnPosixOnly) {
    Configure(0, "D:/Data/Sub", true);
#ifdef _WIN32
    // Windows compares the texts as written, letter case aside.
    EXPECT_EQ(Resolve("d:\\DATA\\SUB\\CUST.DAT").slot, tydb::kScratchSlot);
    EXPECT_EQ(Resolve("d:/DATA/SUB\\CUST.DAT").slot, 0);
#else
    EXPECT_EQ(Resolve("d:\\DATA\\SUB\\CUST.DAT").slot, 0);
    EXPECT_EQ(Resolve("D:/DATA\\SUB\\CUST.DAT").slot, 0);
#endif
    EXPECT_EQ(Resolve("D:/DATA/SUB/CUST.DAT").slot, tydb::kScratchSlot) << "a trailing '/' stays in the directory";
}

TEST_F(DirectoryBlockTest, SlotWrittenWithTrailingBackslashMatchesNothing) {
    Configure(0, "D:\\DATA\\", true);
    ResolvedPath resolved = Resolve("D:\\DATA\\CUST.DAT");
    EXPECT_EQ(resolved.slot, tydb::kScratchSlot);
    EXPECT_FALSE(resolved.share);
}

TEST_F(DirectoryBlockTest, TrailingSlashStaysSoPosixSlotsEndInSlash) {
    Configure(0, "/srv/data/", true);
    ResolvedPath resolved = Resolve("/srv/data/CUST.DAT");
    EXPECT_EQ(resolved.directory, "/srv/data/");
    EXPECT_EQ(resolved.slot, 0);
    EXPECT_TRUE(resolved.share);
    Configure(0, "/srv/data", true);
    EXPECT_EQ(Resolve("/srv/data/CUST.DAT").slot, tydb::kScratchSlot);
}

TEST_F(DirectoryBlockTest, UnmatchedDirectoryOverwritesScratchSlotAndNeverShares) {
    Configure(0, "D:\\DATA", true);
    ResolvedPath resolved = Resolve("E:\\ELSEWHERE\\CUST.DAT");
    EXPECT_EQ(resolved.slot, tydb::kScratchSlot);
    EXPECT_FALSE(resolved.share);
    EXPECT_EQ(Scratch(), "E:\\ELSEWHERE");
    Resolve("F:\\X\\Y.DAT");
    EXPECT_EQ(Scratch(), "F:\\X");
    TydbDirectoryBlock out = {};
    ASSERT_EQ(DbGetDirectories(&out), 0);
    EXPECT_STREQ(out.directories[5], "F:\\X");
}

TEST_F(DirectoryBlockTest, SharingFollowsTheFlagForConfiguredSlots) {
    Configure(0, "D:\\DATA", false);
    EXPECT_FALSE(Resolve("D:\\DATA\\CUST.DAT").share);
    Configure(0, "D:\\DATA", true);
    EXPECT_TRUE(Resolve("D:\\DATA\\CUST.DAT").share);
}

TEST_F(DirectoryBlockTest, OverlongPathIsRefusedBeforeAnythingIsCopied) {
    Configure(0, "D:\\DATA");
    Resolve("E:\\BEFORE\\A.DAT");
    std::string path = "E:\\" + std::string(245, 'd') + "\\X.DAT";  // 254 characters: accepted
    ASSERT_EQ(path.size(), 254u);
    ResolvedPath resolved;
    EXPECT_TRUE(ResolveDirectory(path.c_str(), &resolved));
    EXPECT_EQ(Scratch().size(), 248u);

    Resolve("E:\\BEFORE\\A.DAT");
    path = "E:\\" + std::string(246, 'd') + "\\X.DAT";  // 255 characters
    EXPECT_FALSE(ResolveDirectory(path.c_str(), &resolved));
    EXPECT_EQ(Scratch(), "E:\\BEFORE");
    EXPECT_FALSE(ResolveDirectory(nullptr, &resolved));
}

TEST_F(DirectoryBlockTest, NameKeyOfSixteenCharactersIsRefused) {
    ResolvedPath resolved;
    EXPECT_TRUE(ResolveDirectory("D:\\DATA\\ABCDEFGHIJK.DAT", &resolved));  // 15
    EXPECT_EQ(resolved.nameKey.size(), 15u);
    Resolve("E:\\BEFORE\\A.DAT");
    EXPECT_FALSE(ResolveDirectory("D:\\DATA\\ABCDEFGHIJKL.DAT", &resolved));  // 16
    EXPECT_EQ(Scratch(), "E:\\BEFORE");
}

TEST_F(DirectoryBlockTest, SlotWithoutTerminatorIsReadWithinItsSize) {
    std::memset(block.directories[0], 'A', sizeof block.directories[0]);
    std::memset(block.directories[1], 'B', sizeof block.directories[1]);
    ASSERT_EQ(DbSetDirectories(&block), 0);
    EXPECT_EQ(tydb::SlotText(tydb::Directories(), 0).size(), 260u);
    ResolvedPath resolved = Resolve(std::string(200, 'A') + "\\X.DAT");
    EXPECT_EQ(resolved.slot, tydb::kScratchSlot) << "no directory string equals a 260-character slot";
}

}  // namespace
