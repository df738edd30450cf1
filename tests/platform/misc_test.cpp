// Debugger output and native path spelling.
#include <string>

#include <gtest/gtest.h>

#include "platform.h"
#include "test_support.h"

namespace {

using testsupport::ScopedEnv;

TEST(DebugOutput, DroppedUnlessRequested) {
    ScopedEnv off("TYDB_DEBUG_OUTPUT", std::nullopt);
    ::testing::internal::CaptureStderr();
    platform::DebugOutput("should not appear\n");
    EXPECT_EQ("", ::testing::internal::GetCapturedStderr());
}

TEST(DebugOutput, WrittenToStandardErrorWhenRequested) {
    ScopedEnv on("TYDB_DEBUG_OUTPUT", "1");
    ::testing::internal::CaptureStderr();
    platform::DebugOutput("BUILDING NEW KEY\n  File Name...\n");
    platform::DebugOutput(nullptr);
    EXPECT_EQ("BUILDING NEW KEY\n  File Name...\n", ::testing::internal::GetCapturedStderr());
}

TEST(NativePath, BackslashesBecomeSlashes) {
    EXPECT_EQ("D:/DATA/CUST.DAT", platform::NativePath("D:\\DATA\\CUST.DAT"));
    EXPECT_EQ("/srv/data//tysupidx.db", platform::NativePath("/srv/data/\\tysupidx.db"));
    EXPECT_EQ("/tysupidx.db", platform::NativePath("\\tysupidx.db"));
}

TEST(NativePath, OtherTextIsKept) {
    EXPECT_EQ("/srv/Data/x.dat", platform::NativePath("/srv/Data/x.dat"));
    EXPECT_EQ("", platform::NativePath(""));
    EXPECT_EQ("", platform::NativePath(nullptr));
}

}  // namespace
