// Environment variables with the Windows kernel's size conventions, and the computer name.
#include <unistd.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform.h"
#include "test_support.h"

namespace {

using testsupport::ScopedEnv;

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

TEST(Environment, SetReplacesAndNullRemoves) {
    ScopedEnv env("TYDB_PLATFORM_TEST_VAR", "old");
    ASSERT_TRUE(platform::SetEnvironment("TYDB_PLATFORM_TEST_VAR", "new"));
    EXPECT_STREQ("new", getenv("TYDB_PLATFORM_TEST_VAR"));
    ASSERT_TRUE(platform::SetEnvironment("TYDB_PLATFORM_TEST_VAR", nullptr));
    EXPECT_EQ(nullptr, getenv("TYDB_PLATFORM_TEST_VAR"));
}

TEST(Environment, SetRefusesMalformedNames) {
    EXPECT_FALSE(platform::SetEnvironment(nullptr, "x"));
    EXPECT_FALSE(platform::SetEnvironment("", "x"));
    EXPECT_FALSE(platform::SetEnvironment("A=B", "x"));
    EXPECT_EQ(nullptr, getenv("A"));
}

TEST(Environment, PathListSeparatorIsColon) { EXPECT_EQ(':', platform::PathListSeparator()); }

TEST(ComputerName, IsTheHostName) {
    char expected[256] = {};
    ASSERT_EQ(0, gethostname(expected, sizeof(expected) - 1));
    char name[256];
    ASSERT_TRUE(platform::GetComputerName(name, sizeof(name)));
    EXPECT_STREQ(expected, name);
}

TEST(ComputerName, IsCutToTheBuffer) {
    char expected[256] = {};
    ASSERT_EQ(0, gethostname(expected, sizeof(expected) - 1));
    ASSERT_GE(std::strlen(expected), 2u);
    char name[3] = {'x', 'x', 'x'};
    ASSERT_TRUE(platform::GetComputerName(name, sizeof(name)));
    EXPECT_EQ(std::string(expected, 2), std::string(name));
}

TEST(ComputerName, NoRoomIsRefused) {
    char name[1] = {'x'};
    EXPECT_FALSE(platform::GetComputerName(name, 0));
    EXPECT_EQ('x', name[0]);
    EXPECT_FALSE(platform::GetComputerName(nullptr, 10));
}

}  // namespace
