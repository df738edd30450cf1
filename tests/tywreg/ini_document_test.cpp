// The settings file text on its own: parsing, finding, changing, writing back.
#include <gtest/gtest.h>

#include "ini_document.h"
#include "setting_path.h"

namespace {

using tywreg::IniDocument;

TEST(TyWRegIniDocument, UnchangedDocumentSerializesToTheSameBytes) {
    for (const char* text : {"", "\n", "a", "[s]\nx=1\n", "[s]\r\nx=1\r\n\r\n; c", "junk\n\n[s\n=\n  y = 2 \n"}) {
        EXPECT_EQ(IniDocument::Parse(text).Serialize(), text);
    }
}

TEST(TyWRegIniDocument, ValueIsEverythingAfterTheFirstEquals) {
    IniDocument document = IniDocument::Parse("[s]\nname = a=b \n");
    EXPECT_EQ(document.Find("s", "name").value_or("<none>"), " a=b ");
}

TEST(TyWRegIniDocument, HeaderMayBeIndentedButNotLeftOpen) {
    IniDocument document = IniDocument::Parse("  [s]  \nx=1\n[t\ny=2\n");
    EXPECT_EQ(document.Find("s", "x").value_or("<none>"), "1");
    // The unclosed header does not start a section, so y still belongs to s.
    EXPECT_EQ(document.Find("s", "y").value_or("<none>"), "2");
    EXPECT_FALSE(document.Find("t", "y").has_value());
}

TEST(TyWRegIniDocument, CommentsAreNotEntries) {
    IniDocument document = IniDocument::Parse("[s]\n;x=1\n#y=2\n");
    EXPECT_FALSE(document.Find("s", ";x").has_value());
    EXPECT_FALSE(document.Find("s", "x").has_value());
    EXPECT_FALSE(document.Find("s", "#y").has_value());
}

TEST(TyWRegIniDocument, FindLooksThroughRepeatedSectionsInOrder) {
    IniDocument document = IniDocument::Parse("[s]\na=1\n[t]\nb=9\n[S]\nb=2\n");
    EXPECT_EQ(document.Find("s", "b").value_or("<none>"), "2");
}

TEST(TyWRegIniDocument, SetIntoEmptyDocumentWritesHeaderAndEntry) {
    IniDocument document = IniDocument::Parse("");
    document.Set("s", "x", "1");
    EXPECT_EQ(document.Serialize(), "[s]\nx=1\n");
    document.Set("s", "y", "2");
    document.Set("t", "z", "3");
    EXPECT_EQ(document.Serialize(), "[s]\nx=1\ny=2\n\n[t]\nz=3\n");
}

TEST(TyWRegIniDocument, SetReadsBackThroughFind) {
    IniDocument document = IniDocument::Parse("[s]\nx=1\n");
    document.Set("S", "X", "changed");
    document.Set("s", "new", "v");
    IniDocument again = IniDocument::Parse(document.Serialize());
    EXPECT_EQ(again.Find("s", "x").value_or("<none>"), "changed");
    EXPECT_EQ(again.Find("s", "new").value_or("<none>"), "v");
}

TEST(TyWRegIniDocument, CanHoldRefusesWhatWouldReadBackDifferently) {
    EXPECT_TRUE(IniDocument::CanHold("k", "Index Log", " spaced value "));
    EXPECT_TRUE(IniDocument::CanHold("k", "a]b", "x"));
    EXPECT_FALSE(IniDocument::CanHold("k\n", "x", "v"));
    EXPECT_FALSE(IniDocument::CanHold("k", "x", "v\r"));
    EXPECT_FALSE(IniDocument::CanHold("k", "x=y", "v"));
    EXPECT_FALSE(IniDocument::CanHold("k", "", "v"));
    EXPECT_FALSE(IniDocument::CanHold("k", " x", "v"));
    EXPECT_FALSE(IniDocument::CanHold("k", ";x", "v"));
    EXPECT_FALSE(IniDocument::CanHold("k", "#x", "v"));
    EXPECT_FALSE(IniDocument::CanHold("k", "[x", "v"));
}

TEST(TyWRegSettingPath, KeyNameLeavesOutAnEmptySection) {
    tywreg::SettingPath path;
    path.root = 0x80000002u;
    path.application = "Pervasive";
    path.version = "11";
    EXPECT_EQ(tywreg::KeyName(path), "HKEY_LOCAL_MACHINE\\Pervasive\\11");
    path.section = "Settings";
    EXPECT_EQ(tywreg::KeyName(path), "HKEY_LOCAL_MACHINE\\Pervasive\\11\\Settings");
    path.root = 7;
    EXPECT_EQ(tywreg::KeyName(path), "0x00000007\\Pervasive\\11\\Settings");
}

TEST(TyWRegSettingPath, EqualNoCaseFoldsOnlyAsciiLetters) {
    EXPECT_TRUE(tywreg::EqualNoCase("Index Log", "iNDEX lOG"));
    EXPECT_FALSE(tywreg::EqualNoCase("Index Log", "Index Log "));
    EXPECT_FALSE(tywreg::EqualNoCase("[", "{"));  // 0x5B and 0x7B differ by the case bit only
    EXPECT_FALSE(tywreg::EqualNoCase("\xC4", "\xE4"));
}

}  // namespace
