// Shared by the settings store tests: a private settings file per test and small helpers.
#ifndef TYDB_TESTS_TYWREG_TYWREG_TEST_SUPPORT_H
#define TYDB_TESTS_TYWREG_TYWREG_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"
#include "tywreg.h"

namespace tywregtest {

constexpr uint32_t kMachine = TYWREG_HKEY_LOCAL_MACHINE;

// Every test gets its own settings file (not yet created) and the selection the library uses.
class SettingsFileTest : public ::testing::Test {
protected:
    SettingsFileTest() : file_(dir_.File("settings.ini")), env_("TYWREG_FILE", file_) {
        TyWRegSelect("Pervasive", "11");
    }

    const std::string& file() const { return file_; }
    std::string FileText() const { return testsupport::ReadFileBytes(file_).value_or("<missing>"); }
    void SetFileText(const std::string& text) { ASSERT_TRUE(testsupport::WriteFileBytes(file_, text)); }

    std::string ReadString(uint32_t root, const char* section, const char* name, const char* fallback = "<default>") {
        char buffer[256] = {};
        EXPECT_EQ(TyWRegReadString(root, section, name, fallback, buffer, sizeof buffer), 0);
        return buffer;
    }

    testsupport::TempDir dir_;
    std::string file_;
    testsupport::ScopedEnv env_;
};

}  // namespace tywregtest

#endif  // TYDB_TESTS_TYWREG_TYWREG_TEST_SUPPORT_H
