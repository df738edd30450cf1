#include "change_watch.h"

#include <atomic>

namespace w3b {

namespace {

constexpr int kWalIndexRegionSize = 32768;
constexpr size_t kIsInitOffset = 12;

}  // namespace

void ChangeWatch::Attach(sqlite3* db) {
    header_ = nullptr;
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || file == nullptr) return;
    const sqlite3_io_methods* methods = file->pMethods;
    if (methods == nullptr || methods->iVersion < 2 || methods->xShmMap == nullptr) return;
    void volatile* region = nullptr;
    if (methods->xShmMap(file, 0, kWalIndexRegionSize, 0, &region) != SQLITE_OK || region == nullptr) return;
    header_ = static_cast<const volatile uint8_t*>(region);
}

ChangeStamp ChangeWatch::Current() const {
    ChangeStamp stamp;
    if (header_ == nullptr) return stamp;
    std::atomic_thread_fence(std::memory_order_acquire);
    uint8_t second[ChangeStamp::kSize];
    for (size_t i = 0; i < ChangeStamp::kSize; ++i) stamp.bytes[i] = header_[i];
    std::atomic_thread_fence(std::memory_order_acquire);
    for (size_t i = 0; i < ChangeStamp::kSize; ++i) second[i] = header_[ChangeStamp::kSize + i];
    stamp.valid = stamp.bytes[kIsInitOffset] != 0 && std::memcmp(stamp.bytes, second, ChangeStamp::kSize) == 0;
    return stamp;
}

}  // namespace w3b
