// platform_internal.h: pieces shared by the POSIX and Windows halves of the platform layer.
// Not for use outside src/platform/.
#ifndef TYDB_PLATFORM_PLATFORM_INTERNAL_H
#define TYDB_PLATFORM_PLATFORM_INTERNAL_H

#include <atomic>
#include <cstdint>
#include <ctime>

#include "platform.h"

namespace platform::internal {

// Broken-down local time of `seconds`; false when the system cannot convert it.
// Implemented by each system half.
bool LocalCalendar(int64_t seconds, std::tm* out);

// Writes "Www Mmm DD hh:mm:ss YYYY\n" for `when` into `out` (26 bytes); the empty string when a
// field is out of range, so the text never grows past its 24 characters.
void FormatCalendar(const std::tm& when, char out[26]);

// A lock for the few instructions of the test counters. std::mutex is missing from the Windows
// cross compiler's win32 thread model, so this spins on an atomic flag instead.
class SpinGuard {
public:
    explicit SpinGuard(std::atomic_flag& flag) : flag_(flag) {
        while (flag_.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~SpinGuard() { flag_.clear(std::memory_order_release); }
    SpinGuard(const SpinGuard&) = delete;
    SpinGuard& operator=(const SpinGuard&) = delete;

private:
    std::atomic_flag& flag_;
};

// True when the allocation about to be made must fail because a test asked for it.
bool ConsumeInjectedAllocationFailure();

// When a test asked for `operation` to fail now: true, with the status to answer in `status`.
bool ConsumeInjectedFileFailure(testing::FileOperation operation, FileStatus* status);

// When a test pretends a kind of file system: true, with its type number in `type`.
bool PretendedFileSystemType(int64_t* type);

// Records one sleep for the counters that tests read.
void CountSleep(uint32_t milliseconds);

// Called by File::Open between opening a file and taking its sharing lock, when a test has
// installed a hook.
void RunBeforeShareLockHook(const char* path);

}  // namespace platform::internal

#endif  // TYDB_PLATFORM_PLATFORM_INTERNAL_H
