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
    // so it is written out word by word, in registers.
    static_assert(kHeaderWords == 6, "the WAL index header is 48 bytes");
    const volatile uint64_t* words = reinterpret_cast<const volatile uint64_t*>(header_);
    std::atomic_thread_fence(std::memory_order_acquire);
    const uint64_t w0 = words[0], w1 = words[1], w2 = words[2], w3 = words[3], w4 = words[4], w5 = words[5];
    uint64_t changed = (w0 ^ lastSeen_[0]) | (w1 ^ lastSeen_[1]) | (w2 ^ lastSeen_[2]) | (w3 ^ lastSeen_[3]) |
                       (w4 ^ lastSeen_[4]) | (w5 ^ lastSeen_[5]);
    // Bytes 8 to 15 of the header: the count of commits, then isInit.
    uint8_t second[sizeof w1];
    std::memcpy(second, &w1, sizeof w1);
    if (commits != nullptr) std::memcpy(commits, second + (kCommitsOffset - 8), 4);
    // Nearly always: the first copy is the header seen last, which was whole and initialised.
    // A writer publishes a commit by writing the second copy and then the first, so a first
    // copy still as it was means no commit has been published since; the second copy need not
    // be read.
    if (changed == 0 && epoch_ != 0) {
        stamp.epoch = epoch_;
        stamp.valid = true;
        return stamp;
    }
    std::atomic_thread_fence(std::memory_order_acquire);
    uint64_t torn =
        (w0 ^ words[6]) | (w1 ^ words[7]) | (w2 ^ words[8]) | (w3 ^ words[9]) | (w4 ^ words[10]) | (w5 ^ words[11]);
    if (second[kIsInitOffset - 8] == 0 || torn != 0) return stamp;
    const uint64_t seen[kHeaderWords] = {w0, w1, w2, w3, w4, w5};
    std::memcpy(lastSeen_, seen, sizeof seen);
    ++epoch_;
    stamp.epoch = epoch_;
    stamp.valid = true;
    return stamp;
}

}  // namespace w3b
