// Allocation-failure injection, so tests can make any heap request of the library fail.
#include <atomic>

#include "internal.h"
#include "platform.h"

namespace platform {

namespace {
// A spin lock rather than std::mutex, which the Windows cross compiler's win32 thread model
// lacks; the critical sections are a few instructions long.
std::atomic_flag injectionBusy = ATOMIC_FLAG_INIT;
bool injectionOn = false;
int successesLeft = 0;
int failuresLeft = 0;

class InjectionGuard {
public:
    InjectionGuard() {
        while (injectionBusy.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~InjectionGuard() { injectionBusy.clear(std::memory_order_release); }
};

}  // namespace

namespace testing {

void InjectAllocationFailure(int successes, int failures) {
    InjectionGuard guard;
    injectionOn = successes >= 0 && failures > 0;
    successesLeft = injectionOn ? successes : 0;
    failuresLeft = injectionOn ? failures : 0;
}

}  // namespace testing

namespace internal {

bool ConsumeInjectedAllocationFailure() {
    InjectionGuard guard;
    if (!injectionOn) return false;
    if (successesLeft > 0) {
        --successesLeft;
        return false;
    }
    if (--failuresLeft <= 0) injectionOn = false;
    return true;
}

}  // namespace internal
}  // namespace platform
