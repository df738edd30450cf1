#include "store/sqlite/change_watch.h"

#include <atomic>
#include <cstring>

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

ChangeStamp ChangeWatch::Current(uint32_t* commits) const {
    ChangeStamp stamp;
    if (header_ == nullptr) return stamp;
    // The region starts a memory mapping, so the header is word-aligned: read it a word at a
    // time, the first copy before the second as SQLite's own readers do. Every call does this,
    // so it is written out word by word.
    static_assert(kHeaderWords == 6, "the WAL index header is 48 bytes");
    const volatile uint64_t* words = reinterpret_cast<const volatile uint64_t*>(header_);
    std::atomic_thread_fence(std::memory_order_acquire);
    const uint64_t first[kHeaderWords] = {words[0], words[1], words[2], words[3], words[4], words[5]};
    std::atomic_thread_fence(std::memory_order_acquire);
    uint64_t torn = (first[0] ^ words[6]) | (first[1] ^ words[7]) | (first[2] ^ words[8]) |
                    (first[3] ^ words[9]) | (first[4] ^ words[10]) | (first[5] ^ words[11]);
    uint64_t changed = (first[0] ^ lastSeen_[0]) | (first[1] ^ lastSeen_[1]) | (first[2] ^ lastSeen_[2]) |
                       (first[3] ^ lastSeen_[3]) | (first[4] ^ lastSeen_[4]) | (first[5] ^ lastSeen_[5]);
    if (commits != nullptr) std::memcpy(commits, reinterpret_cast<const uint8_t*>(first) + kCommitsOffset, 4);
    // Nearly always: both copies are the header seen last, which was whole and initialised.
    if ((torn | changed) == 0 && epoch_ != 0) {
        stamp.epoch = epoch_;
        stamp.valid = true;
        return stamp;
    }
    uint8_t isInit = 0;
    std::memcpy(&isInit, reinterpret_cast<const uint8_t*>(first) + kIsInitOffset, 1);
    if (isInit == 0 || torn != 0) return stamp;
    std::memcpy(lastSeen_, first, sizeof first);
    ++epoch_;
    stamp.epoch = epoch_;
    stamp.valid = true;
    return stamp;
}

}  // namespace w3b
