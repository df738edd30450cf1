// The engine folder put in front of PATH.
#include <gtest/gtest.h>

#include <cctype>
#include <initializer_list>

#include "fake_engine_control.h"
#include "gateway.h"
#include "platform.h"
#include "test_support.h"
#include "tydb.h"

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

// The first request puts the settings' folder in front of PATH unless it is already one of
// PATH's folders; a folder whose name merely contains it does not count.
TEST(EnginePath, FirstRequestPutsTheSettingsFolderFirstUnlessPathHasThatVeryFolder) {
    testsupport::TempDir dir;
    testsupport::FakeEngine fake(dir);
    const std::string engine = testsupport::FakeEngineDir();
    std::string upper = engine;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
#if defined(_WIN32)
    const std::string upperAfter = Join({upper.c_str(), "/bin"});  // Windows folder names ignore case
#else
    const std::string upperAfter = Join({engine.c_str(), upper.c_str(), "/bin"});
#endif
    const struct {
        std::string before;
        std::string after;
    } rows[] = {
        {Join({(engine + "-old").c_str(), "/bin"}), Join({engine.c_str(), (engine + "-old").c_str(), "/bin"})},
        {Join({"/bin", (engine + "/lib").c_str()}), Join({engine.c_str(), "/bin", (engine + "/lib").c_str()})},
        {Join({("/x" + engine).c_str()}), Join({engine.c_str(), ("/x" + engine).c_str()})},
        {Join({"/usr/bin", engine.c_str(), "/bin"}), Join({"/usr/bin", engine.c_str(), "/bin"})},
        {engine, engine},
        {Join({upper.c_str(), "/bin"}), upperAfter},
    };
    for (const auto& row : rows) {
        ScopedEnv path("PATH", row.before);
        EXPECT_EQ(DbCheckEngine(), 0) << row.before;
        EXPECT_EQ(Path(), row.after) << row.before;
        tydb::UnloadEngine();
    }
}

}  // namespace
