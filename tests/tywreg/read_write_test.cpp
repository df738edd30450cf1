// Reading and writing values through the exports: defaults, naming, buffers, integers.
#include <cstring>
#include <string>

#include "tywreg_test_support.h"

namespace {

using tywregtest::kMachine;
using tywregtest::SettingsFileTest;

// ---- Defaults ------------------------------------------------------------------------------

using TyWRegDefaults = SettingsFileTest;

TEST_F(TyWRegDefaults, MissingFileGivesDefaults) {
    EXPECT_EQ(TyWRegReadInt(kMachine, "Settings", "Index Threshold", 25), 25);
    EXPECT_EQ(ReadString(kMachine, "", "PATH", "none"), "none");
    EXPECT_FALSE(testsupport::ReadFileBytes(file()).has_value());
}

TEST_F(TyWRegDefaults, MissingSectionGivesDefault) {
    SetFileText("[HKEY_LOCAL_MACHINE\\Pervasive\\11\\Other]\nIndex Threshold=40\n");
    EXPECT_EQ(TyWRegReadInt(kMachine, "Settings", "Index Threshold", 25), 25);
    EXPECT_EQ(TyWRegReadInt(kMachine, "", "Index Threshold", 25), 25);
}

TEST_F(TyWRegDefaults, MissingNameGivesDefault) {
    SetFileText("[HKEY_LOCAL_MACHINE\\Pervasive\\11\\Settings]\nIndex Log=1\n");
    EXPECT_EQ(TyWRegReadInt(kMachine, "Settings", "Index Threshold", 25), 25);
    EXPECT_EQ(ReadString(kMachine, "Settings", "Index", "none"), "none");
}

TEST_F(TyWRegDefaults, NullNameGivesDefaultAndCannotBeWritten) {
    SetFileText("[HKEY_LOCAL_MACHINE\\Pervasive\\11]\n=5\n");
    EXPECT_EQ(TyWRegReadInt(kMachine, "", nullptr, 9), 9);
    EXPECT_EQ(ReadString(kMachine, "", nullptr, "d"), "d");
    EXPECT_EQ(TyWRegWriteInt(kMachine, "", nullptr, 1), TYWREG_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(TyWRegWriteString(kMachine, "", nullptr, "x"), TYWREG_ERROR_INVALID_PARAMETER);
}

TEST_F(TyWRegDefaults, EntriesOfAnotherRootAreNotSeen) {
    ASSERT_EQ(TyWRegWriteInt(TYWREG_HKEY_CURRENT_USER, "Settings", "Index Log", 1), 0);
    EXPECT_EQ(TyWRegReadInt(kMachine, "Settings", "Index Log", 0), 0);
    EXPECT_EQ(TyWRegReadInt(TYWREG_HKEY_CURRENT_USER, "Settings", "Index Log", 0), 1);
}

// ---- Names of sections and entries ---------------------------------------------------------

using TyWRegNaming = SettingsFileTest;

TEST_F(TyWRegNaming, EmptyAndNamedSectionsHaveTheirExactHeaders) {
    ASSERT_EQ(TyWRegWriteString(kMachine, "", "PATH", "/opt/w3btrv7"), 0);
    ASSERT_EQ(TyWRegWriteInt(kMachine, "Settings", "Index Threshold", 30), 0);
    EXPECT_EQ(FileText(),
              "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\n"
              "PATH=/opt/w3btrv7\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\Pervasive\\11\\Settings]\n"
              "Index Threshold=30\n");
}

TEST_F(TyWRegNaming, NullSectionIsTheEmptySection) {
    ASSERT_EQ(TyWRegWriteString(kMachine, nullptr, "PATH", "/opt"), 0);
    EXPECT_EQ(ReadString(kMachine, "", "PATH"), "/opt");
    EXPECT_EQ(FileText(), "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nPATH=/opt\n");
}

TEST_F(TyWRegNaming, EveryRootHasItsRegistryName) {
    ASSERT_EQ(TyWRegWriteInt(TYWREG_HKEY_CLASSES_ROOT, "", "a", 1), 0);
    ASSERT_EQ(TyWRegWriteInt(TYWREG_HKEY_CURRENT_USER, "", "b", 2), 0);
    ASSERT_EQ(TyWRegWriteInt(TYWREG_HKEY_USERS, "", "c", 3), 0);
    ASSERT_EQ(TyWRegWriteInt(0x1234ABCDu, "", "d", 4), 0);
    std::string text = FileText();
    EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\Pervasive\\11]\na=1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Pervasive\\11]\nb=2\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[HKEY_USERS\\Pervasive\\11]\nc=3\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[0x1234ABCD\\Pervasive\\11]\nd=4\n"), std::string::npos) << text;
    EXPECT_EQ(TyWRegReadInt(0x1234ABCDu, "", "d", 0), 4);
}

TEST_F(TyWRegNaming, SectionsAndNamesIgnoreCase) {
    SetFileText("[hkey_local_machine\\PERVASIVE\\11\\settings]\nindex THRESHOLD=40\n");
    EXPECT_EQ(TyWRegReadInt(kMachine, "Settings", "Index Threshold", 25), 40);
    TyWRegSelect("pervasive", "11");
    EXPECT_EQ(TyWRegReadInt(kMachine, "SETTINGS", "index threshold", 25), 40);
}

TEST_F(TyWRegNaming, WritingADifferentlyCasedNameChangesTheExistingEntry) {
    SetFileText("[hkey_local_machine\\pervasive\\11\\settings]\nindex log=0\n");
    ASSERT_EQ(TyWRegWriteInt(kMachine, "Settings", "Index Log", 1), 0);
    EXPECT_EQ(FileText(), "[hkey_local_machine\\pervasive\\11\\settings]\nindex log=1\n");
}

TEST_F(TyWRegNaming, BlanksAroundNamesInTheFileAreIgnored) {
    SetFileText("[HKEY_LOCAL_MACHINE\\Pervasive\\11]\n  PATH\t=/srv/w3\n");
    EXPECT_EQ(ReadString(kMachine, "", "PATH"), "/srv/w3");
}

// ---- Text values and the caller's buffer ----------------------------------------------------

using TyWRegBuffers = SettingsFileTest;

TEST_F(TyWRegBuffers, TextRoundTripsExactlyWithBlanksAndEquals) {
    ASSERT_EQ(TyWRegWriteString(kMachine, "", "Odd", " a=b ; c # "), 0);
    EXPECT_EQ(ReadString(kMachine, "", "Odd"), " a=b ; c # ");
    ASSERT_EQ(TyWRegWriteString(kMachine, "", "Empty", ""), 0);
    EXPECT_EQ(ReadString(kMachine, "", "Empty", "not empty"), "");
}

TEST_F(TyWRegBuffers, LongValueIsCutAndTerminatedWithinTheSize) {
    ASSERT_EQ(TyWRegWriteString(kMachine, "", "PATH", "abcdef"), 0);
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(TyWRegReadString(kMachine, "", "PATH", "", buffer, 4), 0);
    EXPECT_EQ(std::string(buffer, 8), std::string("abc\0####", 8));
}

TEST_F(TyWRegBuffers, ValueThatExactlyFitsIsCopiedWhole) {
    ASSERT_EQ(TyWRegWriteString(kMachine, "", "PATH", "abcdef"), 0);
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(TyWRegReadString(kMachine, "", "PATH", "", buffer, 7), 0);
    EXPECT_EQ(std::string(buffer, 8), std::string("abcdef\0#", 8));
}

TEST_F(TyWRegBuffers, DefaultIsCutTheSameWay) {
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(TyWRegReadString(kMachine, "", "PATH", "123456789", buffer, 5), 0);
    EXPECT_EQ(std::string(buffer, 8), std::string("1234\0###", 8));
}

TEST_F(TyWRegBuffers, SizeOneHoldsOnlyTheTerminator) {
    ASSERT_EQ(TyWRegWriteString(kMachine, "", "PATH", "abc"), 0);
    char buffer[2] = {'#', '#'};
    EXPECT_EQ(TyWRegReadString(kMachine, "", "PATH", "", buffer, 1), 0);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], '#');
}

TEST_F(TyWRegBuffers, ZeroOrNegativeSizeAndNullBufferWriteNothing) {
    ASSERT_EQ(TyWRegWriteString(kMachine, "", "PATH", "abc"), 0);
    char buffer[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(TyWRegReadString(kMachine, "", "PATH", "", buffer, 0), 0);
    EXPECT_EQ(TyWRegReadString(kMachine, "", "PATH", "", buffer, -5), 0);
    EXPECT_EQ(std::string(buffer, 4), "####");
    EXPECT_EQ(TyWRegReadString(kMachine, "", "PATH", "", nullptr, 100), 0);
}

TEST_F(TyWRegBuffers, NullDefaultGivesEmptyText) {
    char buffer[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(TyWRegReadString(kMachine, "", "PATH", nullptr, buffer, 4), 0);
    EXPECT_EQ(buffer[0], '\0');
}

TEST_F(TyWRegBuffers, DefaultMayBeTheBufferItself) {
    char buffer[16] = "fallback";
    EXPECT_EQ(TyWRegReadString(kMachine, "", "PATH", buffer, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "fallback");
}

// ---- Integers ------------------------------------------------------------------------------

using TyWRegIntegers = SettingsFileTest;

TEST_F(TyWRegIntegers, WrittenIntegersReadBack) {
    for (int32_t value : {0, 1, -1, 25, 2147483647, -2147483647 - 1}) {
        ASSERT_EQ(TyWRegWriteInt(kMachine, "Settings", "Number", value), 0);
        EXPECT_EQ(TyWRegReadInt(kMachine, "Settings", "Number", 99), value);
    }
    EXPECT_EQ(ReadString(kMachine, "Settings", "Number"), "-2147483648");
}

TEST_F(TyWRegIntegers, StoredTextIsParsedAsDecimalOrHex) {
    SetFileText(
        "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\n"
        "plain=42\nnegative=-17\nhex=0x1F\nupper=0XfF\nallbits=0xFFFFFFFF\nblanks= 12 \n"
        "plus=+8\nnegativehex=-0x10\n");
    EXPECT_EQ(TyWRegReadInt(kMachine, "", "plain", 0), 42);
    EXPECT_EQ(TyWRegReadInt(kMachine, "", "negative", 0), -17);
    EXPECT_EQ(TyWRegReadInt(kMachine, "", "hex", 0), 31);
    EXPECT_EQ(TyWRegReadInt(kMachine, "", "upper", 0), 255);
    EXPECT_EQ(TyWRegReadInt(kMachine, "", "allbits", 0), -1);
    EXPECT_EQ(TyWRegReadInt(kMachine, "", "blanks", 0), 12);
    EXPECT_EQ(TyWRegReadInt(kMachine, "", "plus", 0), 8);
    EXPECT_EQ(TyWRegReadInt(kMachine, "", "negativehex", 0), -16);
}

TEST_F(TyWRegIntegers, TextThatIsNotANumberGivesTheDefault) {
    SetFileText(
        "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\n"
        "word=yes\nempty=\ntrailing=12abc\nleading=abc12\noverflow=2147483648\nhuge=99999999999\n"
        "hexoverflow=0x100000000\nbarehex=0x\nsign=-\ndouble=--1\ninner=1 2\nfraction=1.5\n");
    for (const char* name : {"word", "empty", "trailing", "leading", "overflow", "huge", "hexoverflow", "barehex",
                             "sign", "double", "inner", "fraction"}) {
        EXPECT_EQ(TyWRegReadInt(kMachine, "", name, 77), 77) << name;
    }
}

TEST_F(TyWRegIntegers, TextWrittenAsHexReadsAsInteger) {
    ASSERT_EQ(TyWRegWriteString(kMachine, "", "Mask", "0x10"), 0);
    EXPECT_EQ(TyWRegReadInt(kMachine, "", "Mask", 0), 16);
}

// ---- Which file --------------------------------------------------------------------------

TEST(TyWRegSettingsFile, TywregFileKeepsEachFileApart) {
    testsupport::TempDir dir;
    TyWRegSelect("Pervasive", "11");
    {
        testsupport::ScopedEnv env("TYWREG_FILE", dir.File("a.ini"));
        ASSERT_EQ(TyWRegWriteInt(kMachine, "Settings", "Index Log", 1), 0);
    }
    {
        testsupport::ScopedEnv env("TYWREG_FILE", dir.File("b.ini"));
        EXPECT_EQ(TyWRegReadInt(kMachine, "Settings", "Index Log", 0), 0);
        ASSERT_EQ(TyWRegWriteInt(kMachine, "Settings", "Index Log", 2), 0);
    }
    {
        testsupport::ScopedEnv env("TYWREG_FILE", dir.File("a.ini"));
        EXPECT_EQ(TyWRegReadInt(kMachine, "Settings", "Index Log", 0), 1);
    }
    EXPECT_EQ(testsupport::ReadFileBytes(dir.File("b.ini")).value_or(""),
              "[HKEY_LOCAL_MACHINE\\Pervasive\\11\\Settings]\nIndex Log=2\n");
}

TEST(TyWRegSettingsFile, BackslashesInTheFileNameAreFolderSeparators) {
    testsupport::TempDir dir;
    testsupport::ScopedEnv env("TYWREG_FILE", dir.path() + "\\win.ini");
    TyWRegSelect("Pervasive", "11");
    ASSERT_EQ(TyWRegWriteInt(kMachine, "", "x", 5), 0);
    EXPECT_TRUE(testsupport::ReadFileBytes(dir.File("win.ini")).has_value());
    EXPECT_EQ(TyWRegReadInt(kMachine, "", "x", 0), 5);
}

TEST(TyWRegSettingsFile, MissingFolderGivesDefaultsAndAWriteError) {
    testsupport::TempDir dir;
    testsupport::ScopedEnv env("TYWREG_FILE", dir.File("no/such/folder/settings.ini"));
    TyWRegSelect("Pervasive", "11");
    EXPECT_EQ(TyWRegReadInt(kMachine, "", "x", 3), 3);
    EXPECT_EQ(TyWRegWriteInt(kMachine, "", "x", 5), TYWREG_ERROR_PATH_NOT_FOUND);
}

}  // namespace
