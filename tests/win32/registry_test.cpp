// TyWReg on Windows without TYWREG_FILE: the settings live in the registry, under
// HKLM\SOFTWARE\<application>\<version>[\<section>]. The tests write and read the registry
// directly beside the exports, in keys of their own that they delete again.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "test_support.h"
#include "tywreg.h"

namespace {

using testsupport::ScopedEnv;

// A fresh application name per test, so parallel tests and earlier failed runs cannot meet.
std::string UniqueApplication() {
    static int counter = 0;
    return "TydbRegistryTest-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

class RegistryStore : public ::testing::Test {
protected:
    void SetUp() override {
        application_ = UniqueApplication();
        ASSERT_EQ(TyWRegSelect(application_.c_str(), "11"), 0);
    }

    void TearDown() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, ("SOFTWARE\\" + application_).c_str()); }

    std::string Key(const std::string& section) const {
        std::string key = "SOFTWARE\\" + application_ + "\\11";
        if (!section.empty()) key += "\\" + section;
        return key;
    }

    void PutRaw(const std::string& section, const char* name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, Key(section).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }

    void PutText(const std::string& section, const char* name, const std::string& text) {
        PutRaw(section, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
    }

    void PutDword(const std::string& section, const char* name, DWORD value) {
        PutRaw(section, name, REG_DWORD, &value, sizeof value);
    }

    // The stored type and bytes of a value, or nothing.
    std::optional<std::pair<DWORD, std::string>> GetRaw(const std::string& section, const char* name) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, Key(section).c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        char data[1024];
        DWORD size = sizeof data;
        DWORD type = 0;
        LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
        RegCloseKey(key);
        if (rc != ERROR_SUCCESS) return std::nullopt;
        return std::make_pair(type, std::string(data, size));
    }

    std::string ReadString(const char* section, const char* name, const char* fallback = "default") {
        char buffer[256];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(TyWRegReadString(TYWREG_HKEY_LOCAL_MACHINE, section, name, fallback, buffer, sizeof buffer), 0);
        return buffer;
    }

    // The registry, not a settings file.
    ScopedEnv noFile_{"TYWREG_FILE", std::nullopt};
    std::string application_;
};

TEST_F(RegistryStore, ReadsTextThatSomeoneElseStoredInTheRegistry) {
    PutText("", "PATH", "C:\\Engine\\Bin");
    PutText("Settings", "Greeting", "hello");
    EXPECT_EQ(ReadString("", "PATH"), "C:\\Engine\\Bin");
    EXPECT_EQ(ReadString("Settings", "Greeting"), "hello");
}

TEST_F(RegistryStore, ReadsIntegersStoredAsDwords) {
    PutDword("Settings", "Index Threshold", 40);
    PutDword("Settings", "All Bits", 0xFFFFFFFFu);
    EXPECT_EQ(TyWRegReadInt(TYWREG_HKEY_LOCAL_MACHINE, "Settings", "Index Threshold", 25), 40);
    EXPECT_EQ(TyWRegReadInt(TYWREG_HKEY_LOCAL_MACHINE, "Settings", "All Bits", 25), -1);
}

TEST_F(RegistryStore, MissingKeyOrValueGivesTheDefault) {
    EXPECT_EQ(ReadString("Settings", "Nothing", "fallback"), "fallback");
    EXPECT_EQ(TyWRegReadInt(TYWREG_HKEY_LOCAL_MACHINE, "Settings", "Nothing", 25), 25);
    PutText("Settings", "Other", "x");
    EXPECT_EQ(ReadString("Settings", "Nothing", "fallback"), "fallback");
    EXPECT_EQ(TyWRegReadInt(TYWREG_HKEY_LOCAL_MACHINE, "Settings", "Nothing", 7), 7);
}

TEST_F(RegistryStore, IntegerStoredAsTextIsParsed) {
    PutText("Settings", "Index Log", "1");
    PutText("Settings", "Hex", "0x10");
    PutText("Settings", "Words", "one");
    EXPECT_EQ(TyWRegReadInt(TYWREG_HKEY_LOCAL_MACHINE, "Settings", "Index Log", 0), 1);
    EXPECT_EQ(TyWRegReadInt(TYWREG_HKEY_LOCAL_MACHINE, "Settings", "Hex", 0), 16);
    EXPECT_EQ(TyWRegReadInt(TYWREG_HKEY_LOCAL_MACHINE, "Settings", "Words", 5), 5);
}

TEST_F(RegistryStore, DwordReadAsTextGivesItsDecimalText) {
    PutDword("Settings", "Count", 1234);
    PutDword("Settings", "Negative", static_cast<DWORD>(-3));
    EXPECT_EQ(ReadString("Settings", "Count"), "1234");
    EXPECT_EQ(ReadString("Settings", "Negative"), "-3");
}

TEST_F(RegistryStore, WritesTextAsRegSzAndIntegersAsDword) {
    ASSERT_EQ(TyWRegWriteString(TYWREG_HKEY_LOCAL_MACHINE, "", "PATH", "D:\\Btrieve"), 0);
    ASSERT_EQ(TyWRegWriteInt(TYWREG_HKEY_LOCAL_MACHINE, "Settings", "Index Threshold", -2), 0);
    auto text = GetRaw("", "PATH");
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->first, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(text->second, std::string("D:\\Btrieve\0", 11));
    auto number = GetRaw("Settings", "Index Threshold");
    ASSERT_TRUE(number.has_value());
    EXPECT_EQ(number->first, static_cast<DWORD>(REG_DWORD));
    ASSERT_EQ(number->second.size(), sizeof(DWORD));
    DWORD stored = 0;
    std::memcpy(&stored, number->second.data(), sizeof stored);
    EXPECT_EQ(stored, 0xFFFFFFFEu);
    EXPECT_EQ(TyWRegReadInt(TYWREG_HKEY_LOCAL_MACHINE, "Settings", "Index Threshold", 25), -2);
}

TEST_F(RegistryStore, TextWithoutTerminatorIsReadWhole) {
    // Some writers leave the terminator out of a REG_SZ; the text still ends where it ends.
    PutRaw("Settings", "Bare", REG_SZ, "abc", 3);
    EXPECT_EQ(ReadString("Settings", "Bare"), "abc");
}

TEST_F(RegistryStore, LongTextIsCutToTheCallersBuffer) {
    PutText("", "PATH", std::string(300, 'p'));
    char buffer[8];
    EXPECT_EQ(TyWRegReadString(TYWREG_HKEY_LOCAL_MACHINE, "", "PATH", "", buffer, sizeof buffer), 0);
    EXPECT_EQ(std::string(buffer), "ppppppp");
}

TEST_F(RegistryStore, OtherValueTypesCountAsMissing) {
    const char binary[] = {1, 2, 3, 4};
    PutRaw("Settings", "Blob", REG_BINARY, binary, sizeof binary);
    EXPECT_EQ(ReadString("Settings", "Blob", "none"), "none");
    EXPECT_EQ(TyWRegReadInt(TYWREG_HKEY_LOCAL_MACHINE, "Settings", "Blob", 9), 9);
}

TEST_F(RegistryStore, EmptySelectionNeitherReadsNorWrites) {
    ASSERT_EQ(TyWRegSelect("", ""), 0);
    EXPECT_EQ(TyWRegWriteString(TYWREG_HKEY_LOCAL_MACHINE, "", "PATH", "x"), TYWREG_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(TyWRegReadInt(TYWREG_HKEY_LOCAL_MACHINE, "", "PATH", 3), 3);
}

TEST_F(RegistryStore, SettingsFileTakesPrecedenceOverTheRegistry) {
    PutText("", "PATH", "from the registry");
    testsupport::TempDir dir;
    ScopedEnv file("TYWREG_FILE", dir.File("settings.ini"));
    EXPECT_EQ(ReadString("", "PATH", "no file entry"), "no file entry");
    ASSERT_EQ(TyWRegWriteString(TYWREG_HKEY_LOCAL_MACHINE, "", "PATH", "from the file"), 0);
    EXPECT_EQ(ReadString("", "PATH"), "from the file");
    auto raw = GetRaw("", "PATH");
    ASSERT_TRUE(raw.has_value());
    EXPECT_EQ(raw->second, std::string("from the registry\0", 18));
}

}  // namespace
