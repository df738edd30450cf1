#include "index_manager.h"

#include <algorithm>
#include <cstdint>

#include "btrcall.h"
#include "heap_block.h"
#include "index_registry.h"
#include "index_request.h"
#include "library_settings.h"
#include "status.h"
#include "tydb.h"

namespace tydb {
namespace {

constexpr int32_t kRetryWaitUnits = 3;
constexpr int32_t kMaxCandidates = INT16_MAX;

bool IsPermanent(const BtrKeySpec* spec) { return spec != nullptr && (spec->flags & btr::kKeyFlagSupplemental) == 0; }

// Drop statuses that another workstation's use of the file or entry explains.
bool IsBusy(int32_t status) {
    return status == btr::kStatusRecordInUse || status == btr::kStatusFileInUse ||
           status == btr::kStatusIncompatibleMode || status == btr::kStatusPermissionError;
}

}  // namespace

int32_t IndexManager::ActivateKey(IndexRequest& request, int32_t attempts) {
    int32_t status = kStatusSuccess;
    // Open until this run returns, also while a nested run or a purge works.
    IndexRegistry registry(request);
    const StatisticsBuffer* statistics = request.Statistics(false);
    const BtrKeySpec* definition = request.KeyDefinition();
    const int available = request.AvailableSegments();

    // A key the file already has.
    const int match = StatFindMatchingKey(statistics, definition, available);
    if (match >= 0) {
        const auto matchNumber = static_cast<int16_t>(match);
        if (IsPermanent(StatFindKeySpec(statistics, matchNumber))) {
            request.SetCurrentKey(matchNumber);
            return kStatusSuccess;
        }
        status = registry.LockEntry(matchNumber);
        if (status == kStatusSuccess) {
            request.SetCurrentKey(matchNumber);
            // The key is current whatever the count's write says.
            registry.AddReference(matchNumber, static_cast<int16_t>(request.KeySegments()), false);
            return kStatusSuccess;
        }
        if (status != btr::kStatusKeyNotFound) {
            registry.Unlock();
            return status;
        }
        // An unregistered supplemental key is never reused: build another.
    }

    // Make room, one eviction pass at a time.
    const int needed = request.KeySegments();
    int retries = 0;
    int allocationFailures = 0;
    // Free slots and stale entries forgotten at the start of a pass whose drops all succeeded;
    // free -1 while there was none.
    int freeBeforeDrops = -1;
    int forgottenBeforeDrops = 0;
    for (;;) {
        statistics = request.Statistics(true);
        const int free = StatFreeSegments(statistics);
        if (free >= needed) break;
        // A pass that succeeded must have freed slots or forgotten stale entries; otherwise the
        // next one would list the same candidates forever.
        if (freeBeforeDrops >= 0 && free <= freeBeforeDrops && forgottenEntries_ == forgottenBeforeDrops)
            return btr::kStatusNumberOfKeys;
        freeBeforeDrops = -1;
        const int deficit = needed - free;
        const int32_t threshold = ReadSettingInt(kSettingsSection, kIndexThresholdSetting, kDefaultIndexThreshold);
        const int32_t wanted = std::min<int32_t>(std::max<int32_t>(deficit, threshold), kMaxCandidates);

        HeapBlock candidates(wanted, static_cast<int32_t>(sizeof(int32_t)));
        if (!candidates) {
            // Memory that stays exhausted must not keep the call looping.
            if (++allocationFailures >= kAllocationRetries) return kStatusNoMemory;
            continue;
        }
        const int count = registry.CollectIdleKeys(candidates.as<int32_t>(), static_cast<int16_t>(deficit),
                                                   static_cast<int16_t>(wanted));
        if (count == 0) return btr::kStatusNumberOfKeys;

        forgottenBeforeDrops = forgottenEntries_;
        status = kStatusSuccess;
        for (int i = 0; i < count && status == kStatusSuccess; ++i) {
            const auto candidate = static_cast<int16_t>(candidates.as<int32_t>()[i]);
            // The registry lists supplemental keys only: an entry whose number the file uses for
            // a permanent key is stale, and a purge would leave it listed.
            if (IsPermanent(StatFindKeySpec(statistics, candidate))) {
                status = ForgetEntry(request, candidate);
            } else {
                status = EvictKey(request, candidate);
            }
        }

        if (IsBusy(status) && retries < kBusyRetries) {
            DbWait(kRetryWaitUnits);
            ++retries;
            continue;
        }
        if (status == btr::kStatusInvalidKeyNumber) {
            --attempts;
            if (attempts > 0) return ActivateKey(request, attempts);
        }
        if (status != kStatusSuccess) return status;
        freeBeforeDrops = free;
    }

    // Build the key under the first free number this call has not failed with.
    const int32_t keyNumber = NextFreeKeyNumber(&excluded_, statistics);
    const auto number = static_cast<int16_t>(keyNumber);
    status = registry.AddReference(number, static_cast<int16_t>(needed), true);
    if (status == kStatusSuccess) status = registry.LockEntry(number);
    if (status != kStatusSuccess) {
        AddExcludedKeyNumber(&excluded_, keyNumber);
        if (attempts > 0) return ActivateKey(request, attempts - 1);
        return status;
    }
    status = request.CreateKey(number);
    if (status != kStatusSuccess) {
        registry.PurgeEntry(number, static_cast<int16_t>(needed));
        return status;
    }
    registry.Unlock();
    return kStatusSuccess;
}

int32_t IndexManager::ReleaseKey(IndexRequest& request, int16_t keyNumber, bool purge) {
    const StatisticsBuffer* statistics = request.Statistics(false);
    if (IsPermanent(StatFindKeySpec(statistics, keyNumber))) return kStatusSuccess;

    IndexRegistry registry(request);
    const int32_t status = registry.LockEntry(keyNumber);
    const bool noEntry = status == btr::kStatusKeyNotFound;
    if (status != kStatusSuccess && !(noEntry && purge)) return status;

    if (!purge) return registry.RemoveReference(keyNumber, 0);
    const int16_t dropped = request.DropKey(keyNumber);
    // A refused drop keeps the entry, so the key is listed again next time.
    if (dropped != kStatusSuccess) return dropped;
    if (noEntry) return kStatusSuccess;
    return registry.PurgeEntry(keyNumber, 0);
}

int32_t IndexManager::EvictKey(IndexRequest& request, int16_t keyNumber) {
    const int32_t status = ReleaseKey(request, keyNumber, true);
    if (status == btr::kStatusInvalidKeyNumber && StatFindKeySpec(request.Statistics(true), keyNumber) == nullptr) {
        return ForgetEntry(request, keyNumber);
    }
    return status;
}

int32_t IndexManager::ForgetEntry(IndexRequest& request, int16_t keyNumber) {
    IndexRegistry registry(request);
    const int32_t status = registry.LockEntry(keyNumber);
    // Gone already: someone else forgot it.
    if (status == btr::kStatusKeyNotFound) return kStatusSuccess;
    if (status != kStatusSuccess) return status;
    ++forgottenEntries_;
    return registry.PurgeEntry(keyNumber, 0);
}

int32_t IndexManager::ReleaseCurrentKey(IndexRequest& request, bool purge) {
    return ReleaseKey(request, request.CurrentKey(), purge);
}

int32_t IndexManager::ClearRegistry(IndexRequest& request) {
    IndexRegistry registry(request);
    return registry.DeleteFileEntries();
}

}  // namespace tydb
