// File-failure injection: lets a test see how code copes with a full disk or a refused open
// without having to produce one.
#include <atomic>

#include "platform_internal.h"
#include "platform.h"

namespace platform {

namespace {

constexpr int kOperationCount = static_cast<int>(testing::FileOperation::kExists) + 1;

struct Injection {
    bool on = false;
    int successesLeft = 0;
    int failuresLeft = 0;
    FileStatus status = FileStatus::kIoError;
};

std::atomic_flag injectionBusy = ATOMIC_FLAG_INIT;
std::atomic<int64_t> pretendedFileSystemType{-1};
Injection injections[kOperationCount];

int IndexOf(testing::FileOperation operation) {
    int index = static_cast<int>(operation);
    return index >= 0 && index < kOperationCount ? index : -1;
}

}  // namespace

namespace testing {

void InjectFileFailure(FileOperation operation, int successes, FileStatus status, int failures) {
    int index = IndexOf(operation);
    if (index < 0) return;
    internal::SpinGuard guard(injectionBusy);
    Injection& injection = injections[index];
    injection.on = successes >= 0 && failures > 0 && status != FileStatus::kOk;
    injection.successesLeft = injection.on ? successes : 0;
    injection.failuresLeft = injection.on ? failures : 0;
    injection.status = status;
}

void PretendFileSystemType(int64_t type) { pretendedFileSystemType.store(type < 0 ? -1 : type); }

}  // namespace testing

namespace internal {

bool PretendedFileSystemType(int64_t* type) {
    *type = pretendedFileSystemType.load();
    return *type >= 0;
}

bool ConsumeInjectedFileFailure(testing::FileOperation operation, FileStatus* status) {
    int index = IndexOf(operation);
    if (index < 0) return false;
    SpinGuard guard(injectionBusy);
    Injection& injection = injections[index];
    if (!injection.on) return false;
    if (injection.successesLeft > 0) {
        --injection.successesLeft;
        return false;
    }
    if (--injection.failuresLeft <= 0) injection.on = false;
    *status = injection.status;
    return true;
}

}  // namespace internal
}  // namespace platform
