// What a write does to the rest of the file, and what it refuses to write.
#include <filesystem>
#include <string>

#include "tywreg_test_support.h"

namespace {

using tywregtest::kMachine;
using tywregtest::SettingsFileTest;

// ---- Lines a write must keep ----------------------------------------------------------------

using TyWRegKeepingLines = SettingsFileTest;

TEST_F(TyWRegKeepingLines, MalformedLinesAreSkippedOnReadAndKeptOnWrite) {
    const std::string before =
        "stray=before any section\n"
        "; a comment\n"
        "[HKEY_LOCAL_MACHINE\\Pervasive\\11\\Settings]\n"
        "this line has no equals sign\n"
        "=no name\n"
        "[unclosed header\n"
        "# another comment\n"
        "Index Threshold=40\n"
        "\n";
    SetFileText(before);
    EXPECT_EQ(TyWRegReadInt(kMachine, "Settings", "Index Threshold", 25), 40);
    EXPECT_EQ(ReadString(kMachine, "", "stray", "none"), "none");

    ASSERT_EQ(TyWRegWriteInt(kMachine, "Settings", "Index Log", 1), 0);
    EXPECT_EQ(FileText(),
              "stray=before any section\n"
              "; a comment\n"
              "[HKEY_LOCAL_MACHINE\\Pervasive\\11\\Settings]\n"
              "this line has no equals sign\n"
              "=no name\n"
              "[unclosed header\n"
              "# another comment\n"
              "Index Threshold=40\n"
              "Index Log=1\n"
              "\n");
}

TEST_F(TyWRegKeepingLines, ChangingAValueTouchesOnlyItsLine) {
    SetFileText(
        "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\n"
        "first=1\n"
        "  PATH =old\n"
        "last=3\n");
    ASSERT_EQ(TyWRegWriteString(kMachine, "", "path", "/new/dir"), 0);
    EXPECT_EQ(FileText(),
              "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\n"
              "first=1\n"
              "  PATH =/new/dir\n"
              "last=3\n");
}

TEST_F(TyWRegKeepingLines, NewEntryGoesAfterTheLastEntryOfItsSection) {
    SetFileText(
        "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\n"
        "PATH=/opt\n"
        "\n"
        "; settings of the index manager\n"
        "[HKEY_LOCAL_MACHINE\\Pervasive\\11\\Settings]\n"
        "Index Log=1\n");
    ASSERT_EQ(TyWRegWriteString(kMachine, "", "Extra", "x"), 0);
    EXPECT_EQ(FileText(),
              "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\n"
              "PATH=/opt\n"
              "Extra=x\n"
              "\n"
              "; settings of the index manager\n"
              "[HKEY_LOCAL_MACHINE\\Pervasive\\11\\Settings]\n"
              "Index Log=1\n");
}

TEST_F(TyWRegKeepingLines, NewEntryOfAnEmptySectionGoesRightAfterItsHeader) {
    SetFileText("[HKEY_LOCAL_MACHINE\\Pervasive\\11]\n; nothing yet\n[other]\nx=1\n");
    ASSERT_EQ(TyWRegWriteInt(kMachine, "", "n", 2), 0);
    EXPECT_EQ(FileText(), "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nn=2\n; nothing yet\n[other]\nx=1\n");
}

TEST_F(TyWRegKeepingLines, NewSectionIsAddedAtTheEndAfterABlankLine) {
    SetFileText("; settings\n[other]\nx=1");
    ASSERT_EQ(TyWRegWriteInt(kMachine, "Settings", "Index Log", 1), 0);
    EXPECT_EQ(FileText(), "; settings\n[other]\nx=1\n\n[HKEY_LOCAL_MACHINE\\Pervasive\\11\\Settings]\nIndex Log=1\n");
}

TEST_F(TyWRegKeepingLines, FileWithoutFinalLineEndGetsOneOnlyWhereNeeded) {
    SetFileText("[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nfirst=1");
    ASSERT_EQ(TyWRegWriteInt(kMachine, "", "first", 5), 0);
    EXPECT_EQ(FileText(), "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nfirst=5");
    ASSERT_EQ(TyWRegWriteInt(kMachine, "", "second", 6), 0);
    EXPECT_EQ(FileText(), "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nfirst=5\nsecond=6\n");
}

TEST_F(TyWRegKeepingLines, WindowsLineEndsStayWindowsLineEnds) {
    SetFileText("[HKEY_LOCAL_MACHINE\\Pervasive\\11]\r\nPATH=C:\\PVSW\\BIN\r\n");
    EXPECT_EQ(ReadString(kMachine, "", "PATH"), "C:\\PVSW\\BIN");
    ASSERT_EQ(TyWRegWriteString(kMachine, "", "PATH", "D:\\W3"), 0);
    ASSERT_EQ(TyWRegWriteInt(kMachine, "", "Added", 1), 0);
    ASSERT_EQ(TyWRegWriteInt(kMachine, "Settings", "Index Log", 1), 0);
    EXPECT_EQ(FileText(),
              "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\r\n"
              "PATH=D:\\W3\r\n"
              "Added=1\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\Pervasive\\11\\Settings]\r\n"
              "Index Log=1\r\n");
}

TEST_F(TyWRegKeepingLines, ByteOrderMarkDoesNotHideTheFirstSection) {
    SetFileText("\xEF\xBB\xBF[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nPATH=/opt\n");
    EXPECT_EQ(ReadString(kMachine, "", "PATH"), "/opt");
    ASSERT_EQ(TyWRegWriteString(kMachine, "", "PATH", "/srv"), 0);
    EXPECT_EQ(FileText(), "\xEF\xBB\xBF[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nPATH=/srv\n");
}

TEST_F(TyWRegKeepingLines, FirstOfRepeatedSectionsAndNamesWins) {
    SetFileText(
        "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\n"
        "a=1\n"
        "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\n"
        "b=2\n"
        "a=3\n");
    EXPECT_EQ(TyWRegReadInt(kMachine, "", "a", 0), 1);
    EXPECT_EQ(TyWRegReadInt(kMachine, "", "b", 0), 2);
    ASSERT_EQ(TyWRegWriteInt(kMachine, "", "b", 20), 0);
    ASSERT_EQ(TyWRegWriteInt(kMachine, "", "a", 10), 0);
    EXPECT_EQ(FileText(),
              "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\n"
              "a=10\n"
              "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\n"
              "b=20\n"
              "a=3\n");
}

TEST_F(TyWRegKeepingLines, WriteLeavesNoTemporaryFileBehind) {
    ASSERT_EQ(TyWRegWriteInt(kMachine, "", "a", 1), 0);
    EXPECT_FALSE(std::filesystem::exists(file() + ".tmp"));
}

TEST_F(TyWRegKeepingLines, TemporaryFileLeftByAnInterruptedWriterIsOverwritten) {
    SetFileText("[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nPATH=/opt\n");
    ASSERT_TRUE(testsupport::WriteFileBytes(file() + ".tmp", std::string(5000, 'z')));
    ASSERT_EQ(TyWRegWriteInt(kMachine, "", "a", 1), 0);
    EXPECT_EQ(FileText(), "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nPATH=/opt\na=1\n");
    EXPECT_FALSE(std::filesystem::exists(file() + ".tmp"));
}

// A link planted at the temporary name (where others may write the folder) is never written
// through, whether its target exists or not, and the write still happens.
TEST_F(TyWRegKeepingLines, LinkPlantedAtTheTemporaryNameIsNeverWrittenThrough) {
#if defined(_WIN32)
    GTEST_SKIP() << "making a symbolic link needs a privilege Windows does not give tests";
#endif
    const struct {
        const char* name;
        bool victimExists;
    } rows[] = {{"victim", true}, {"absent", false}};
    for (const auto& row : rows) {
        const std::string victim = dir_.File(row.name);
        if (row.victimExists) {
            ASSERT_TRUE(testsupport::WriteFileBytes(victim, "precious"));
        }
        std::filesystem::create_symlink(victim, file() + ".tmp");
        ASSERT_EQ(TyWRegWriteString(kMachine, "", "PATH", row.name), 0) << row.name;
        EXPECT_EQ(testsupport::ReadFileBytes(victim).value_or("<missing>"),
                  row.victimExists ? "precious" : "<missing>");
        EXPECT_FALSE(std::filesystem::is_symlink(file())) << row.name;
        EXPECT_EQ(ReadString(kMachine, "", "PATH"), row.name);
        std::filesystem::remove(file() + ".tmp");
    }
}

// A reader that opened the file before a write keeps reading the whole old text: the write
// puts a new file in its place instead of changing the old one.
TEST_F(TyWRegKeepingLines, WriteReplacesTheFileInsteadOfChangingItInPlace) {
    const std::string before = "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nPATH=/opt\n";
    SetFileText(before);
    std::filesystem::create_hard_link(file(), file() + ".seen-by-reader");
    ASSERT_EQ(TyWRegWriteString(kMachine, "", "PATH", "/srv/longer/path"), 0);
    EXPECT_EQ(testsupport::ReadFileBytes(file() + ".seen-by-reader").value_or(""), before);
    EXPECT_EQ(ReadString(kMachine, "", "PATH"), "/srv/longer/path");
}

// ---- Writes that are refused --------------------------------------------------------------

using TyWRegRefusedWrites = SettingsFileTest;

TEST_F(TyWRegRefusedWrites, LineBreaksAndUnreadableNamesAreRefusedAndChangeNothing) {
    const std::string before = "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nPATH=/opt\n";
    SetFileText(before);
    EXPECT_EQ(TyWRegWriteString(kMachine, "", "PATH", "/a\n[evil]\nx=1"), TYWREG_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(TyWRegWriteString(kMachine, "", "PATH", "/a\r"), TYWREG_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(TyWRegWriteInt(kMachine, "", "a\nb", 1), TYWREG_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(TyWRegWriteInt(kMachine, "Sec\ntion", "a", 1), TYWREG_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(TyWRegWriteInt(kMachine, "", "a=b", 1), TYWREG_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(TyWRegWriteInt(kMachine, "", "", 1), TYWREG_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(TyWRegWriteInt(kMachine, "", " padded", 1), TYWREG_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(TyWRegWriteInt(kMachine, "", "padded\t", 1), TYWREG_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(TyWRegWriteInt(kMachine, "", ";comment", 1), TYWREG_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(TyWRegWriteInt(kMachine, "", "#comment", 1), TYWREG_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(TyWRegWriteInt(kMachine, "", "[header", 1), TYWREG_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(TyWRegWriteString(kMachine, "", "PATH", nullptr), TYWREG_ERROR_INVALID_PARAMETER);
    TyWRegSelect("Perva\nsive", "11");
    EXPECT_EQ(TyWRegWriteInt(kMachine, "", "a", 1), TYWREG_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(FileText(), before);
}

TEST_F(TyWRegRefusedWrites, FileThatCannotBeReadIsNeverReplaced) {
    // Far larger than any settings file: refusing to read it must not mean starting afresh.
    SetFileText("[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nPATH=/opt\n");
    std::filesystem::resize_file(file(), 17 * 1024 * 1024);
    EXPECT_EQ(TyWRegWriteInt(kMachine, "", "a", 1), TYWREG_ERROR_WRITE_FAULT);
    EXPECT_EQ(std::filesystem::file_size(file()), 17u * 1024 * 1024);
    EXPECT_EQ(FileText().substr(0, 9), "[HKEY_LOC");
    EXPECT_EQ(TyWRegReadInt(kMachine, "", "a", 4), 4);
}

TEST_F(TyWRegRefusedWrites, WriteThatWouldMakeTheFileTooLargeToReadIsRefusedAndChangesNothing) {
    // The reader takes files of up to 16 MB; a write may make the file exactly that large.
    constexpr size_t kLargestFile = 16 * 1024 * 1024;
    const std::string before = "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nPATH=/opt\n";
    const size_t fits = kLargestFile - before.size() - std::string("Big=\n").size();
    const struct {
        size_t valueLength;
        int32_t result;
    } rows[] = {{fits, 0}, {fits + 1, TYWREG_ERROR_INVALID_PARAMETER}};
    for (const auto& row : rows) {
        SetFileText(before);
        const std::string value(row.valueLength, 'v');
        EXPECT_EQ(TyWRegWriteString(kMachine, "", "Big", value.c_str()), row.result) << row.valueLength;
        EXPECT_EQ(ReadString(kMachine, "", "PATH"), "/opt") << row.valueLength;
        if (row.result != 0) {
            EXPECT_TRUE(FileText() == before) << "the file is as it was";
        }
    }
}

TEST_F(TyWRegRefusedWrites, FolderInPlaceOfTheFileIsLeftAlone) {
    std::filesystem::create_directory(file());
    std::filesystem::path inside = std::filesystem::path(file()) / "keep";
    ASSERT_TRUE(testsupport::WriteFileBytes(inside.string(), "x"));
    EXPECT_NE(TyWRegWriteInt(kMachine, "", "a", 1), 0);
    EXPECT_TRUE(std::filesystem::exists(inside));
    EXPECT_EQ(TyWRegReadInt(kMachine, "", "a", 4), 4);
}

}  // namespace
