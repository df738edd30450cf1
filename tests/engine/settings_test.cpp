// The library's reads from the settings store.
#include <gtest/gtest.h>

#include <cstring>

#include "fake_engine_control.h"
#include "gateway.h"
#include "library_settings.h"
#include "tywreg.h"

using namespace testsupport;

namespace {

TEST(Settings, IntegerReadsComeFromPervasive11AndRestoreTheSelection) {
    TempDir dir;
    WriteEngineSettings(dir.File("s.ini"), "/opt/engine", {"Index Log=1", "Index Threshold=40"});
    ScopedEnv settings("TYWREG_FILE", dir.File("s.ini"));
    TyWRegSelect("Tallyra", "3.2");

    EXPECT_EQ(tydb::ReadSettingInt("Settings", "Index Log", 0), 1);
    EXPECT_EQ(tydb::ReadSettingInt("Settings", "Index Threshold", 25), 40);
    EXPECT_EQ(tydb::ReadSettingInt("Settings", "Missing", 25), 25);

    char application[TYWREG_SELECTION_SIZE] = {}, version[TYWREG_SELECTION_SIZE] = {};
    TyWRegGetSelection(application, version);
    EXPECT_STREQ(application, "Tallyra");
    EXPECT_STREQ(version, "3.2");
}

TEST(Settings, EngineDirectoryIsThePathValueOrEmpty) {
    TempDir dir;
    WriteEngineSettings(dir.File("s.ini"), "/srv/pervasive/bin");
    ScopedEnv settings("TYWREG_FILE", dir.File("s.ini"));
    char directory[tydb::kEngineDirectorySize];
    std::memset(directory, 'x', sizeof directory);
    tydb::ReadEngineDirectory(directory);
    EXPECT_STREQ(directory, "/srv/pervasive/bin");

    ScopedEnv none("TYWREG_FILE", dir.File("missing.ini"));
    tydb::ReadEngineDirectory(directory);
    EXPECT_STREQ(directory, "");
}

}  // namespace
