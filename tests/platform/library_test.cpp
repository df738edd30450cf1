// Loading libraries by their Windows names along PATH.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform.h"
#include "test_support.h"

namespace {

using testsupport::ScopedEnv;
using testsupport::TempDir;

// Copies probe library `variant` into `folder` as libTyProbe.so (the name "TyProbe.dll" maps to).
void InstallProbe(const std::string& folder, int variant, const std::string& fileName = "libTyProbe.so") {
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(testsupport::BuildPath("libplatform_probe_" + std::to_string(variant) + ".so"),
                               folder + "/" + fileName, std::filesystem::copy_options::overwrite_existing);
}

int IdentityOf(platform::LibraryHandle library) {
    auto probe = reinterpret_cast<int (*)()>(platform::FindSymbol(library, "ProbeIdentity"));
    return probe == nullptr ? -1 : probe();
}

class LibraryLoading : public ::testing::Test {
protected:
    TempDir dir_;
    std::string first_ = dir_.File("first");
    std::string second_ = dir_.File("second");
};

TEST_F(LibraryLoading, DllNameIsFoundAsSharedObjectInPath) {
    InstallProbe(second_, 2);
    ScopedEnv path("PATH", dir_.File("empty") + ":" + second_ + ":/usr/bin");
    platform::LibraryHandle library = platform::LoadLibraryByName("TyProbe.dll");
    ASSERT_NE(nullptr, library);
    EXPECT_EQ(2, IdentityOf(library));
    platform::FreeLibraryHandle(library);
}

TEST_F(LibraryLoading, EarlierPathDirectoryWins) {
    InstallProbe(first_, 1);
    InstallProbe(second_, 2);
    {
        ScopedEnv path("PATH", first_ + ":" + second_);
        platform::LibraryHandle library = platform::LoadLibraryByName("TyProbe.dll");
        ASSERT_NE(nullptr, library);
        EXPECT_EQ(1, IdentityOf(library));
        platform::FreeLibraryHandle(library);
    }
    {
        // Empty entries are skipped rather than read as the current folder.
        ScopedEnv path("PATH", "::" + second_ + "::" + first_ + ":");
        platform::LibraryHandle library = platform::LoadLibraryByName("TyProbe.dll");
        ASSERT_NE(nullptr, library);
        EXPECT_EQ(2, IdentityOf(library));
        platform::FreeLibraryHandle(library);
    }
}

TEST_F(LibraryLoading, ExtensionCaseIsIgnoredButNameCaseKept) {
    InstallProbe(first_, 1);
    ScopedEnv path("PATH", first_);
    platform::LibraryHandle upper = platform::LoadLibraryByName("TyProbe.DLL");
    ASSERT_NE(nullptr, upper);
    platform::FreeLibraryHandle(upper);
    EXPECT_EQ(nullptr, platform::LoadLibraryByName("typrobe.dll"));
    // A bare name gets the extension, as on Windows.
    platform::LibraryHandle bare = platform::LoadLibraryByName("TyProbe");
    ASSERT_NE(nullptr, bare);
    platform::FreeLibraryHandle(bare);
}

TEST_F(LibraryLoading, NameWithFolderIsLoadedFromThereOnly) {
    InstallProbe(first_, 1);
    InstallProbe(second_, 2);
    ScopedEnv path("PATH", first_);
    std::string windowsStyle = second_ + "\\TyProbe.dll";
    platform::LibraryHandle library = platform::LoadLibraryByName(windowsStyle.c_str());
    ASSERT_NE(nullptr, library);
    EXPECT_EQ(2, IdentityOf(library));
    platform::FreeLibraryHandle(library);
    std::string elsewhere = dir_.File("nowhere") + "/TyProbe.dll";
    EXPECT_EQ(nullptr, platform::LoadLibraryByName(elsewhere.c_str()));
}

TEST_F(LibraryLoading, UnloadableCandidateDoesNotEndTheSearch) {
    std::filesystem::create_directories(first_);
    ASSERT_TRUE(testsupport::WriteFileBytes(first_ + "/libTyProbe.so", "not a library"));
    InstallProbe(second_, 2);
    ScopedEnv path("PATH", first_ + ":" + second_);
    platform::LibraryHandle library = platform::LoadLibraryByName("TyProbe.dll");
    ASSERT_NE(nullptr, library);
    EXPECT_EQ(2, IdentityOf(library));
    platform::FreeLibraryHandle(library);
}

TEST_F(LibraryLoading, MissingLibraryGivesNull) {
    InstallProbe(first_, 1);
    ScopedEnv path("PATH", first_);
    EXPECT_EQ(nullptr, platform::LoadLibraryByName("TyProbeMissing.dll"));
    EXPECT_EQ(nullptr, platform::LoadLibraryByName(""));
    EXPECT_EQ(nullptr, platform::LoadLibraryByName(nullptr));
    EXPECT_EQ(nullptr, platform::LoadLibraryByName(first_.c_str()));
}

TEST_F(LibraryLoading, MissingSymbolGivesNull) {
    InstallProbe(first_, 1);
    ScopedEnv path("PATH", first_);
    platform::LibraryHandle library = platform::LoadLibraryByName("TyProbe.dll");
    ASSERT_NE(nullptr, library);
    EXPECT_EQ(nullptr, platform::FindSymbol(library, "NoSuchSymbol"));
    EXPECT_EQ(nullptr, platform::FindSymbol(library, nullptr));
    EXPECT_EQ(nullptr, platform::FindSymbol(nullptr, "ProbeIdentity"));
    platform::FreeLibraryHandle(library);
}

}  // namespace
