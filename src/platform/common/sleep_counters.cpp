// Counters of the waits taken, so tests can check how often code slept without timing it.
#include <atomic>

#include "platform_internal.h"
#include "platform.h"

namespace platform {

namespace {
std::atomic<uint64_t> sleepCount{0};
std::atomic<uint64_t> sleptMilliseconds{0};
}  // namespace

namespace internal {

void CountSleep(uint32_t milliseconds) {
    sleepCount.fetch_add(1, std::memory_order_relaxed);
    sleptMilliseconds.fetch_add(milliseconds, std::memory_order_relaxed);
}

}  // namespace internal

namespace testing {

uint64_t SleepCount() { return sleepCount.load(std::memory_order_relaxed); }
uint64_t SleptMilliseconds() { return sleptMilliseconds.load(std::memory_order_relaxed); }

}  // namespace testing
}  // namespace platform
