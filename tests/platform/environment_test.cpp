// Environment variables with the Windows kernel's size conventions, and the computer name.
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
// The platform layer's functions of these names, not the Windows macros.
#undef DeleteFile
#undef GetComputerName
#else
#include <unistd.h>
#endif

#include <cstring>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform.h"
#include "test_support.h"

namespace {

using testsupport::ScopedEnv;

// The variable as the system itself holds it, read without the platform layer. On Windows that
// is the process environment, which getenv's copy of the runtime does not follow.
std::optional<std::string> SystemVariable(const char* name) {
#ifdef _WIN32
    char value[1024];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    if (length >= sizeof(value)) return std::string("(too long)");
    return std::string(value, length);
#else
    const char* value = getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
#endif
}

// The computer's name as the system reports it, for comparison.
std::string SystemComputerName() {
#ifdef _WIN32
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = sizeof(name);
    if (!GetComputerNameA(name, &length)) return std::string();
    return std::string(name, length);
#else
    char name[256] = {};
    if (gethostname(name, sizeof(name) - 1) != 0) return std::string();
    return std::string(name);
#endif
}

TEST(Environment, ValueThatFitsIsCopiedAndItsLengthReturned) {
    ScopedEnv env("TYDB_PLATFORM_TEST_VAR", "abc");
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(3u, platform::GetEnvironment("TYDB_PLATFORM_TEST_VAR", buffer, sizeof(buffer)));
    EXPECT_STREQ("abc", buffer);
}

TEST(Environment, ValueThatDoesNotFitReturnsSizeNeededAndLeavesBuffer) {
    ScopedEnv env("TYDB_PLATFORM_TEST_VAR", "abc");
    char buffer[3] = {'x', 'y', 'z'};
    EXPECT_EQ(4u, platform::GetEnvironment("TYDB_PLATFORM_TEST_VAR", buffer, sizeof(buffer)));
    EXPECT_EQ(0, std::memcmp(buffer, "xyz", 3));
}

TEST(Environment, SizeQueryWithoutBufferGivesLengthPlusTerminator) {
    ScopedEnv env("TYDB_PLATFORM_TEST_VAR", "/opt/engine:/usr/bin");
    EXPECT_EQ(21u, platform::GetEnvironment("TYDB_PLATFORM_TEST_VAR", nullptr, 0));
    // A null buffer with a size is treated as no room at all, never written through.
    EXPECT_EQ(21u, platform::GetEnvironment("TYDB_PLATFORM_TEST_VAR", nullptr, 100));
}

TEST(Environment, UnsetVariableGivesZero) {
    ScopedEnv env("TYDB_PLATFORM_TEST_VAR", std::nullopt);
    char buffer[8] = "keep";
    EXPECT_EQ(0u, platform::GetEnvironment("TYDB_PLATFORM_TEST_VAR", buffer, sizeof(buffer)));
    EXPECT_STREQ("keep", buffer);
    EXPECT_EQ(0u, platform::GetEnvironment(nullptr, buffer, sizeof(buffer)));
}

TEST(Environment, EmptyValueIsCopiedAsEmptyText) {
    ScopedEnv env("TYDB_PLATFORM_TEST_VAR", "");
    char buffer[4] = "old";
    EXPECT_EQ(0u, platform::GetEnvironment("TYDB_PLATFORM_TEST_VAR", buffer, sizeof(buffer)));
    EXPECT_STREQ("", buffer);
    EXPECT_EQ(1u, platform::GetEnvironment("TYDB_PLATFORM_TEST_VAR", nullptr, 0));
    EXPECT_EQ("", platform::GetEnvironmentString("TYDB_PLATFORM_TEST_VAR", "fallback"));
}

TEST(Environment, StringReadGivesValueOrFallback) {
    ScopedEnv env("TYDB_PLATFORM_TEST_VAR", "value");
    EXPECT_EQ("value", platform::GetEnvironmentString("TYDB_PLATFORM_TEST_VAR", "fallback"));
    ScopedEnv unset("TYDB_PLATFORM_TEST_VAR2", std::nullopt);
    EXPECT_EQ("fallback", platform::GetEnvironmentString("TYDB_PLATFORM_TEST_VAR2", "fallback"));
    EXPECT_EQ("", platform::GetEnvironmentString("TYDB_PLATFORM_TEST_VAR2"));
}

TEST(Environment, StringReadGivesALongValueWhole) {
    // Longer than any first guess at the size, as a PATH of many folders is.
    std::string value;
    for (int i = 0; value.size() < 5000; ++i) value += "C:\\Folder" + std::to_string(i) + ";";
    ScopedEnv env("TYDB_PLATFORM_TEST_VAR", value);
    EXPECT_EQ(value, platform::GetEnvironmentString("TYDB_PLATFORM_TEST_VAR", "fallback"));
    std::string buffer(value.size() + 1, 'x');
    EXPECT_EQ(value.size(),
              platform::GetEnvironment("TYDB_PLATFORM_TEST_VAR", buffer.data(), static_cast<uint32_t>(buffer.size())));
    EXPECT_EQ(value, std::string(buffer.c_str()));
}

TEST(Environment, SetReplacesAndNullRemoves) {
    ScopedEnv env("TYDB_PLATFORM_TEST_VAR", "old");
    ASSERT_TRUE(platform::SetEnvironment("TYDB_PLATFORM_TEST_VAR", "new"));
    EXPECT_EQ("new", SystemVariable("TYDB_PLATFORM_TEST_VAR").value_or("(unset)"));
    ASSERT_TRUE(platform::SetEnvironment("TYDB_PLATFORM_TEST_VAR", nullptr));
    EXPECT_EQ(std::nullopt, SystemVariable("TYDB_PLATFORM_TEST_VAR"));
}

TEST(Environment, SetRefusesMalformedNames) {
    EXPECT_FALSE(platform::SetEnvironment(nullptr, "x"));
    EXPECT_FALSE(platform::SetEnvironment("", "x"));
    EXPECT_FALSE(platform::SetEnvironment("A=B", "x"));
    EXPECT_EQ(std::nullopt, SystemVariable("A"));
}

#ifdef _WIN32
TEST(Environment, PathListSeparatorIsSemicolon) { EXPECT_EQ(';', platform::PathListSeparator()); }
#else
TEST(Environment, PathListSeparatorIsColon) { EXPECT_EQ(':', platform::PathListSeparator()); }
#endif

TEST(ComputerName, IsTheSystemsName) {
    std::string expected = SystemComputerName();
    ASSERT_FALSE(expected.empty());
    char name[256];
    ASSERT_TRUE(platform::GetComputerName(name, sizeof(name)));
    EXPECT_EQ(expected, std::string(name));
}

TEST(ComputerName, IsCutToTheBuffer) {
    std::string expected = SystemComputerName();
    ASSERT_GE(expected.size(), 2u);
    char name[3] = {'x', 'x', 'x'};
    ASSERT_TRUE(platform::GetComputerName(name, sizeof(name)));
    EXPECT_EQ(expected.substr(0, 2), std::string(name));
}

TEST(ComputerName, NoRoomIsRefused) {
    char name[1] = {'x'};
    EXPECT_FALSE(platform::GetComputerName(name, 0));
    EXPECT_EQ('x', name[0]);
    EXPECT_FALSE(platform::GetComputerName(nullptr, 10));
}

}  // namespace
