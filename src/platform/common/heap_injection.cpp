// Allocation-failure injection, so tests can make any heap request of the library fail.
#include <atomic>

#include "platform_internal.h"
#include "platform.h"

namespace platform {

namespace {
std::atomic_flag injectionBusy = ATOMIC_FLAG_INIT;
bool injectionOn = false;
int successesLeft = 0;
int failuresLeft = 0;
}  // namespace

namespace testing {

void InjectAllocationFailure(int successes, int failures) {
    internal::SpinGuard guard(injectionBusy);
    injectionOn = successes >= 0 && failures > 0;
    successesLeft = injectionOn ? successes : 0;
    failuresLeft = injectionOn ? failures : 0;
}

}  // namespace testing

namespace internal {

bool ConsumeInjectedAllocationFailure() {
    SpinGuard guard(injectionBusy);
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
