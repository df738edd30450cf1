// The process-wide selection of application and version.
#include <cstring>
#include <string>

#include "tywreg_test_support.h"

namespace {

using tywregtest::kMachine;
using tywregtest::SettingsFileTest;
using TyWRegSelectionWithFile = SettingsFileTest;

struct SavedSelection {
    char application[TYWREG_SELECTION_SIZE];
    char version[TYWREG_SELECTION_SIZE];
};

SavedSelection Save() {
    SavedSelection saved;
    std::memset(&saved, 'x', sizeof saved);
    EXPECT_EQ(TyWRegGetSelection(saved.application, saved.version), 0);
    return saved;
}

// Runs first in its own process (CTest starts one per case), before anything selects.
TEST(TyWRegSelection, StartsEmpty) {
    SavedSelection saved = Save();
    EXPECT_STREQ(saved.application, "");
    EXPECT_STREQ(saved.version, "");
}

TEST(TyWRegSelection, GetSelectionGivesBackWhatWasSelected) {
    EXPECT_EQ(TyWRegSelect("Tallyra", "4.2"), 0);
    SavedSelection saved = Save();
    EXPECT_STREQ(saved.application, "Tallyra");
    EXPECT_STREQ(saved.version, "4.2");

    EXPECT_EQ(TyWRegSelect("Pervasive", "11"), 0);
    saved = Save();
    EXPECT_STREQ(saved.application, "Pervasive");
    EXPECT_STREQ(saved.version, "11");
}

TEST(TyWRegSelection, NullNamesSelectEmptyNames) {
    TyWRegSelect("Tallyra", "4.2");
    EXPECT_EQ(TyWRegSelect(nullptr, nullptr), 0);
    SavedSelection saved = Save();
    EXPECT_STREQ(saved.application, "");
    EXPECT_STREQ(saved.version, "");
}

TEST(TyWRegSelection, LongNamesAreKeptToWhatTheBuffersHold) {
    std::string longApplication(300, 'a');
    std::string longVersion(200, 'v');
    TyWRegSelect(longApplication.c_str(), longVersion.c_str());
    SavedSelection saved = Save();
    EXPECT_EQ(std::string(saved.application), std::string(TYWREG_SELECTION_SIZE - 1, 'a'));
    EXPECT_EQ(std::string(saved.version), std::string(TYWREG_SELECTION_SIZE - 1, 'v'));
}

TEST_F(TyWRegSelectionWithFile, SelectionDecidesWhichValuesAreSeen) {
    TyWRegSelect("Pervasive", "11");
    ASSERT_EQ(TyWRegWriteInt(kMachine, "Settings", "Index Log", 1), 0);
    TyWRegSelect("Pervasive", "10");
    EXPECT_EQ(TyWRegReadInt(kMachine, "Settings", "Index Log", 7), 7);
    TyWRegSelect("Other", "11");
    EXPECT_EQ(TyWRegReadInt(kMachine, "Settings", "Index Log", 7), 7);
    TyWRegSelect("Pervasive", "11");
    EXPECT_EQ(TyWRegReadInt(kMachine, "Settings", "Index Log", 7), 1);
}

// The library's bracket: save, select its own, read, restore. The restored selection must
// name exactly the values the caller had before, even with names too long for the buffers.
TEST_F(TyWRegSelectionWithFile, SavedAndRestoredSelectionFindsTheSameValues) {
    std::string longApplication(200, 'q');
    TyWRegSelect(longApplication.c_str(), "1");
    ASSERT_EQ(TyWRegWriteString(kMachine, "", "Colour", "green"), 0);

    SavedSelection saved = Save();
    TyWRegSelect("Pervasive", "11");
    TyWRegSelect(saved.application, saved.version);

    EXPECT_EQ(ReadString(kMachine, "", "Colour"), "green");
}

}  // namespace
