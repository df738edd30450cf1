// The engine folder put in front of PATH.
#include <gtest/gtest.h>

#include <initializer_list>

#include "engine/gateway.h"
#include "platform.h"
#include "test_support.h"

using testsupport::ScopedEnv;

namespace {

// PATH as the library sees it, through the platform layer (on Windows the C runtime keeps a
// copy of the environment that SetEnvironmentVariableA does not update).
std::string Path() { return platform::GetEnvironmentString("PATH", "<unset>"); }

// Directories joined with the platform's list separator.
std::string Join(std::initializer_list<const char*> directories) {
    std::string text;
    for (const char* directory : directories) {
        if (!text.empty()) text += platform::PathListSeparator();
        text += directory;
    }
    return text;
}

TEST(PrependToPath, PutsTheDirectoryAndASeparatorInFrontOfTheOldValue) {
    ScopedEnv path("PATH", Join({"/usr/bin", "/bin"}));
    tydb::PrependToPath("/opt/engine");
    EXPECT_EQ(Path(), Join({"/opt/engine", "/usr/bin", "/bin"}));
}

TEST(PrependToPath, LeavesPathAloneWhenTheDirectoryIsAlreadyContained) {
    ScopedEnv path("PATH", Join({"/usr/bin", "/opt/engine", "/bin"}));
    tydb::PrependToPath("/opt/engine");
    EXPECT_EQ(Path(), Join({"/usr/bin", "/opt/engine", "/bin"}));
}

TEST(PrependToPath, APlainTextMatchInsideALongerDirectoryNameCounts) {
    ScopedEnv path("PATH", Join({"/opt/engine2/bin", "/bin"}));
    tydb::PrependToPath("/opt/engine");
    EXPECT_EQ(Path(), Join({"/opt/engine2/bin", "/bin"}));
}

TEST(PrependToPath, UnsetPathBecomesJustTheDirectory) {
    ScopedEnv path("PATH", std::nullopt);
    tydb::PrependToPath("/opt/engine");
    EXPECT_EQ(Path(), "/opt/engine");
}

TEST(PrependToPath, EmptyDirectoryChangesNothing) {
    ScopedEnv path("PATH", "/usr/bin");
    tydb::PrependToPath("");
    EXPECT_EQ(Path(), "/usr/bin");
}

TEST(PrependToPath, TheSearchIsCaseSensitive) {
    ScopedEnv path("PATH", "/OPT/ENGINE");
    tydb::PrependToPath("/opt/engine");
    EXPECT_EQ(Path(), Join({"/opt/engine", "/OPT/ENGINE"}));
}

}  // namespace
