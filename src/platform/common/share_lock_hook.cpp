// The test hook that runs inside File::Open between the open and the sharing lock, the window
// in which another process may delete or replace the file.
#include <atomic>

#include "platform_internal.h"
#include "platform.h"

namespace platform {

namespace {
std::atomic<testing::BeforeShareLockHook> hook{nullptr};
std::atomic<void*> hookContext{nullptr};
}  // namespace

namespace testing {

void SetBeforeShareLockHook(BeforeShareLockHook newHook, void* context) {
    hookContext.store(context);
    hook.store(newHook);
}

}  // namespace testing

namespace internal {

void RunBeforeShareLockHook(const char* path) {
    testing::BeforeShareLockHook current = hook.load();
    if (current != nullptr) current(path, hookContext.load());
}

}  // namespace internal
}  // namespace platform
