#include "store/sqlite/change_watch.h"

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
    // The region starts a memory mapping, so the header is word-aligned: read it a word at a
    // time, the first copy before the second as SQLite's own readers do.
    constexpr size_t kWords = ChangeStamp::kSize / sizeof(uint64_t);
    const volatile uint64_t* words = reinterpret_cast<const volatile uint64_t*>(header_);
    uint64_t first[kWords];
    uint64_t second[kWords];
    std::atomic_thread_fence(std::memory_order_acquire);
    for (size_t i = 0; i < kWords; ++i) first[i] = words[i];
    std::atomic_thread_fence(std::memory_order_acquire);
    for (size_t i = 0; i < kWords; ++i) second[i] = words[kWords + i];
    std::memcpy(stamp.bytes, first, ChangeStamp::kSize);
    stamp.valid = stamp.bytes[kIsInitOffset] != 0 && std::memcmp(first, second, ChangeStamp::kSize) == 0;
    return stamp;
}

}  // namespace w3b
