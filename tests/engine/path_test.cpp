// The engine folder put in front of PATH.
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/gateway.h"
#include "test_support.h"

using testsupport::ScopedEnv;

namespace {

std::string Path() {
    const char* value = std::getenv("PATH");
    return value != nullptr ? value : "<unset>";
}

TEST(PrependToPath, PutsTheDirectoryAndASeparatorInFrontOfTheOldValue) {
    ScopedEnv path("PATH", "/usr/bin:/bin");
    tydb::PrependToPath("/opt/engine");
    EXPECT_EQ(Path(), "/opt/engine:/usr/bin:/bin");
}

TEST(PrependToPath, LeavesPathAloneWhenTheDirectoryIsAlreadyContained) {
    ScopedEnv path("PATH", "/usr/bin:/opt/engine:/bin");
    tydb::PrependToPath("/opt/engine");
    EXPECT_EQ(Path(), "/usr/bin:/opt/engine:/bin");
}

TEST(PrependToPath, APlainTextMatchInsideALongerDirectoryNameCounts) {
    ScopedEnv path("PATH", "/opt/engine2/bin:/bin");
    tydb::PrependToPath("/opt/engine");
    EXPECT_EQ(Path(), "/opt/engine2/bin:/bin");
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
    EXPECT_EQ(Path(), "/opt/engine:/OPT/ENGINE");
}

}  // namespace
