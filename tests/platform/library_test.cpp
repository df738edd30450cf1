// Loading libraries by their Windows names along PATH.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform.h"
#include "test_support.h"

namespace {

using testsupport::ScopedEnv;
using testsupport::TempDir;

#ifdef _WIN32
// On Windows the name is the file's own name.
const char kProbeFile[] = "TyProbe.dll";
const char kProbeBuild[] = "platform_probe_";
const char kProbeSuffix[] = ".dll";
#else
// "TyProbe.dll" maps to libTyProbe.so.
const char kProbeFile[] = "libTyProbe.so";
const char kProbeBuild[] = "libplatform_probe_";
const char kProbeSuffix[] = ".so";
#endif

// Copies probe library `variant` into `folder` under the file name that "TyProbe.dll" is
// looked for as.
void InstallProbe(const std::string& folder, int variant, const std::string& fileName = kProbeFile) {
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(testsupport::BuildPath(kProbeBuild + std::to_string(variant) + kProbeSuffix),
                               folder + "/" + fileName, std::filesystem::copy_options::overwrite_existing);
}

// PATH made of `folders` in order.
std::string PathOf(std::initializer_list<std::string> folders) {
    std::string path;
    for (const std::string& folder : folders) {
        if (!path.empty()) path += platform::PathListSeparator();
        path += folder;
    }
    return path;
}

int IdentityOf(platform::LibraryHandle library) {
    auto probe = reinterpret_cast<int (*)()>(platform::FindSymbol(library, "ProbeIdentity"));
    return probe == nullptr ? -1 : probe();
}

// Loads `name`, answers which probe was found (0 when none) and frees it again.
int IdentityLoadedAs(const std::string& name) {
    platform::LibraryHandle library = platform::LoadLibraryByName(name.c_str());
    if (library == nullptr) return 0;
    int identity = IdentityOf(library);
    platform::FreeLibraryHandle(library);
    return identity;
}

class LibraryLoading : public ::testing::Test {
protected:
    TempDir dir_;
    std::string first_ = dir_.File("first");
    std::string second_ = dir_.File("second");
};

TEST_F(LibraryLoading, DllNameIsFoundInPath) {
    InstallProbe(second_, 2);
    ScopedEnv path("PATH", PathOf({dir_.File("empty"), second_, platform::GetEnvironmentString("PATH")}));
    EXPECT_EQ(2, IdentityLoadedAs("TyProbe.dll"));
}

TEST_F(LibraryLoading, EarlierPathDirectoryWins) {
    InstallProbe(first_, 1);
    InstallProbe(second_, 2);
    {
        ScopedEnv path("PATH", PathOf({first_, second_}));
        EXPECT_EQ(1, IdentityLoadedAs("TyProbe.dll"));
    }
    {
        // Empty entries are skipped rather than read as the current folder.
        ScopedEnv path("PATH", PathOf({"", "", second_, "", first_, ""}));
        EXPECT_EQ(2, IdentityLoadedAs("TyProbe.dll"));
    }
}

#ifdef _WIN32
TEST_F(LibraryLoading, NameCaseIsIgnored) {
    InstallProbe(first_, 1);
    ScopedEnv path("PATH", first_);
    EXPECT_EQ(1, IdentityLoadedAs("TYPROBE.DLL"));
    EXPECT_EQ(1, IdentityLoadedAs("typrobe.dll"));
}

TEST_F(LibraryLoading, BareNameGetsTheDllExtension) {
    InstallProbe(first_, 1);
    ScopedEnv path("PATH", first_);
    EXPECT_EQ(1, IdentityLoadedAs("TyProbe"));
}

TEST_F(LibraryLoading, LoadedLibraryOfTheSameNameIsReusedWhateverThePath) {
    // The Windows loader answers a name it has already loaded with that module; PATH is only
    // searched again once every handle to it is freed.
    InstallProbe(first_, 1);
    InstallProbe(second_, 2);
    platform::LibraryHandle first = nullptr;
    {
        ScopedEnv path("PATH", first_);
        first = platform::LoadLibraryByName("TyProbe.dll");
        ASSERT_NE(nullptr, first);
    }
    {
        ScopedEnv path("PATH", second_);
        platform::LibraryHandle again = platform::LoadLibraryByName("TyProbe.dll");
        ASSERT_NE(nullptr, again);
        EXPECT_EQ(first, again);
        EXPECT_EQ(1, IdentityOf(again));
        platform::FreeLibraryHandle(again);
        platform::FreeLibraryHandle(first);
        EXPECT_EQ(2, IdentityLoadedAs("TyProbe.dll"));
    }
}
#else
TEST_F(LibraryLoading, ExtensionCaseIsIgnoredButNameCaseKept) {
    InstallProbe(first_, 1);
    ScopedEnv path("PATH", first_);
    EXPECT_EQ(1, IdentityLoadedAs("TyProbe.DLL"));
    EXPECT_EQ(0, IdentityLoadedAs("typrobe.dll"));
    // A bare name gets the extension, as on Windows.
    EXPECT_EQ(1, IdentityLoadedAs("TyProbe"));
}
#endif

TEST_F(LibraryLoading, NameWithFolderIsLoadedFromThereOnly) {
    InstallProbe(first_, 1);
    InstallProbe(second_, 2);
    ScopedEnv path("PATH", first_);
    std::string windowsStyle = second_ + "\\TyProbe.dll";
    EXPECT_EQ(2, IdentityLoadedAs(windowsStyle));
    std::string elsewhere = dir_.File("nowhere") + "/TyProbe.dll";
    EXPECT_EQ(nullptr, platform::LoadLibraryByName(elsewhere.c_str()));
}

#ifdef _WIN32
TEST_F(LibraryLoading, UnloadableCandidateEndsTheSearchWithNull) {
    // The Windows loader takes the first file of the name it finds; one that is no library
    // fails the load instead of letting a later folder's copy in.
    std::filesystem::create_directories(first_);
    ASSERT_TRUE(testsupport::WriteFileBytes(first_ + "/" + kProbeFile, "not a library"));
    InstallProbe(second_, 2);
    ScopedEnv path("PATH", PathOf({first_, second_}));
    platform::LibraryHandle library = platform::LoadLibraryByName("TyProbe.dll");
    EXPECT_EQ(nullptr, library);
    if (library != nullptr) platform::FreeLibraryHandle(library);
}
#else
TEST_F(LibraryLoading, UnloadableCandidateDoesNotEndTheSearch) {
    std::filesystem::create_directories(first_);
    ASSERT_TRUE(testsupport::WriteFileBytes(first_ + "/" + kProbeFile, "not a library"));
    InstallProbe(second_, 2);
    ScopedEnv path("PATH", PathOf({first_, second_}));
    EXPECT_EQ(2, IdentityLoadedAs("TyProbe.dll"));
}
#endif

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
