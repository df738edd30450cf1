// Debugger output and native path spelling.
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
// The platform layer's functions of these names, not the Windows macros.
#undef DeleteFile
#undef GetComputerName
#endif

#include <string>

#include <gtest/gtest.h>

#include "platform.h"
#include "test_support.h"

namespace {

using testsupport::ScopedEnv;

#ifdef _WIN32
// OutputDebugStringA hands its text to a debugger by raising DBG_PRINTEXCEPTION_C, which a
// vectored handler sees first, attached debugger or not. The handler collects the text and
// lets the exception go on to the system's own handler.
std::string* debuggerText = nullptr;

LONG CALLBACK CollectDebuggerText(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD* record = exception->ExceptionRecord;
    if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2 && debuggerText != nullptr) {
        size_t length = static_cast<size_t>(record->ExceptionInformation[0]);
        const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
        // The length counts the terminator.
        if (text != nullptr && length > 0) debuggerText->append(text, length - 1);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

class DebuggerChannel {
public:
    DebuggerChannel() : handler_(AddVectoredExceptionHandler(1, CollectDebuggerText)) { debuggerText = &text_; }
    ~DebuggerChannel() {
        debuggerText = nullptr;
        if (handler_ != nullptr) RemoveVectoredExceptionHandler(handler_);
    }
    bool installed() const { return handler_ != nullptr; }
    const std::string& text() const { return text_; }

private:
    void* handler_;
    std::string text_;
};

TEST(DebugOutput, GoesToTheDebuggerAndNeverToStandardError) {
    ScopedEnv on("TYDB_DEBUG_OUTPUT", "1");
    DebuggerChannel debugger;
    ASSERT_TRUE(debugger.installed());
    ::testing::internal::CaptureStderr();
    platform::DebugOutput("BUILDING NEW KEY\n  File Name...\n");
    platform::DebugOutput(nullptr);
    EXPECT_EQ("", ::testing::internal::GetCapturedStderr());
    EXPECT_EQ("BUILDING NEW KEY\n  File Name...\n", debugger.text());
}

TEST(NativePath, IsThePathAsGiven) {
    EXPECT_EQ("D:\\DATA\\CUST.DAT", platform::NativePath("D:\\DATA\\CUST.DAT"));
    EXPECT_EQ("/srv/data/\\tysupidx.db", platform::NativePath("/srv/data/\\tysupidx.db"));
    EXPECT_EQ("", platform::NativePath(""));
    EXPECT_EQ("", platform::NativePath(nullptr));
}
#else
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
#endif

}  // namespace
