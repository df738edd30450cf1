// index_manager.h: the decisions of the supplemental index manager for one export call.
//
// ActivateKey makes the request's file current on a key with the requested segments: a
// permanent key, a supplemental key the registry knows (one more reference), or a new one,
// built after purging idle supplemental keys when the file lacks key-segment slots.
// ReleaseKey gives back one reference or drops a key; ClearRegistry forgets a file's entries.
// Between workstations the registry's record locks are the only coordination; busy keys are
// retried a bounded number of times.
#ifndef TYDB_SUPIDX_INDEX_MANAGER_H
#define TYDB_SUPIDX_INDEX_MANAGER_H

#include <cstdint>

#include "key_queries.h"
#include "tydb_files.h"

namespace tydb {

class IndexRequest;

inline constexpr const char* kIndexThresholdSetting = TYDB_SETTING_INDEX_THRESHOLD;
inline constexpr int32_t kDefaultIndexThreshold = TYDB_DEFAULT_INDEX_THRESHOLD;
// Attempt budget of DbActivateKey.
inline constexpr int32_t kActivateAttempts = 3;
// Eviction passes retried after a busy drop, DbWait(3) apart.
inline constexpr int kBusyRetries = 10;
// Passes whose candidate list could not be allocated before the call gives up with -5.
inline constexpr int kAllocationRetries = 10;

class IndexManager {
public:
    IndexManager() = default;
    virtual ~IndexManager() = default;
    IndexManager(const IndexManager&) = delete;
    IndexManager& operator=(const IndexManager&) = delete;

    // 0 when the file's current key now has the requested segments (permanent, reused or
    // built). 26 when the file lacks room and its idle keys cannot free the shortfall; -5 when
    // the candidate list could not be allocated in kAllocationRetries passes; a drop's status
    // (84, 85, 88 and 94 only after kBusyRetries retried passes, 6 once the attempt budget is
    // spent); the status of locking a matching registered key; the status of registering or
    // locking a new key once the budget is spent; or the record manager's refusal to build the
    // key, whose entry is then purged. -1 throughout when the registry cannot be opened and
    // the request needs it.
    int32_t ActivateKey(IndexRequest& request, int32_t attempts);
    // Without purge, one reference fewer on supplemental key `keyNumber` (4 when the registry
    // has no entry for it, or its count is 0 already); with purge, the key is dropped and its
    // entry deleted; a refused drop (6 for a key the file no longer has) keeps the entry.
    // Permanent keys are left alone (0).
    int32_t ReleaseKey(IndexRequest& request, int16_t keyNumber, bool purge);
    int32_t ReleaseCurrentKey(IndexRequest& request, bool purge);
    // Deletes every registry entry of the file; its keys stay. 0 or 9 on success.
    int32_t ClearRegistry(IndexRequest& request);

    // Key numbers this call failed to register or lock and will not choose again.
    const ExcludedKeyNumbers& ExcludedKeyNumbersForTest() const { return excluded_; }

private:
    // ReleaseKey with purge for an eviction, which also deletes an entry whose key the file no
    // longer has: left in place, it would be listed first again by every later pass.
    int32_t EvictKey(IndexRequest& request, int16_t keyNumber);
    // Deletes the registry entry of `keyNumber` under its lock without touching the file; for
    // entries that name no supplemental key of the file.
    int32_t ForgetEntry(IndexRequest& request, int16_t keyNumber);

    ExcludedKeyNumbers excluded_;
    // Stale entries this call deleted: an eviction pass that only forgot entries still made
    // progress.
    int forgottenEntries_ = 0;
};

}  // namespace tydb

#endif  // TYDB_SUPIDX_INDEX_MANAGER_H
