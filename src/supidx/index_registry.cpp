#include "index_registry.h"

#include <cstring>

#include "btrcall.h"
#include "create_file.h"
#include "index_request.h"
#include "platform.h"
#include "status.h"
#include "tydb.h"

namespace tydb {
namespace {

constexpr int32_t kNoBias = 0;
constexpr int32_t kUnchanged = -1;
constexpr int32_t kLockWaitUnits = 3;
// Record operations pass this data length: the registry's record length.
constexpr int16_t kRecordLength = 0;

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Data file names as the registry keeps them: at most 16 bytes, ended by the first zero,
// letter case ignored.
bool SameFileName(const char* a, const char* b) {
    for (int i = 0; i < kRegistryNameSize; ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
        if (a[i] == '\0') return true;
    }
    return true;
}

}  // namespace

IndexRegistry::IndexRegistry(IndexRequest& request) : request_(request), record_(), log_(request, record_) {
    std::memset(keyBuffer_, 0, sizeof keyBuffer_);
    std::memset(&record_, 0, sizeof record_);
    std::strncpy(record_.DataFileName, request.FileName(), kRegistryNameLength);

    char path[kRegistryPathSize];
    // A path that does not fit is an open failure: the registry keeps handle -1.
    if (DirectoryFilePath(request.Directory(), kRegistryFileName, path)) Open(path);
}

IndexRegistry::~IndexRegistry() { Close(); }

int32_t IndexRegistry::Open(const char* path) {
    if (!platform::FileExists(path)) {
        const int32_t created = Create(path);
        // Another workstation may have made it since the look: "already exists" means its
        // registry, entries and all, is the one to open. Any other failure is one only while
        // there is still no registry.
        const bool madeMeanwhile = created == btr::kStatusFileAlreadyExists || platform::FileExists(path);
        if (created != kStatusSuccess && !madeMeanwhile) return created;
    }
    // DbOpen makes its own attempts; a registry another process holds exclusively is an open
    // failure for this request, not a wait.
    int16_t handle = -1;
    const int32_t status = DbOpen(&handle, path, 0, kNoBias);
    if (status == kStatusSuccess) handle_ = handle;
    return status;
}

int32_t IndexRegistry::Create(const char* path) {
    const BtrFileSpec spec = RegistryFileSpec();
    // The seven segments, then an all-zero specification that ends the list.
    BtrKeySpec segments[kRegistrySegmentCount + 1] = {};
    RegistryKeySpecs(segments);
    // Never over an existing registry: other workstations keep their entries in it.
    return CreateDataFile(path, &spec, segments, btr::kCreateNoOverwrite);
}

int32_t IndexRegistry::Close() {
    if (handle_ < 0) return kStatusSuccess;
    const int32_t status = DbClose(handle_);
    handle_ = -1;
    return status;
}

void IndexRegistry::BuildKey(int keyNumber, uint8_t* buffer, const RegistryRecord& record) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
    std::memcpy(buffer, bytes + offsetof(RegistryRecord, DataFileName), kRegistryNameSize);
    if (keyNumber == 0) {
        std::memcpy(buffer + kRegistryNameSize, bytes + offsetof(RegistryRecord, KeyNumber), sizeof(uint16_t));
    } else {
        // ActiveReferences, TotalReferences, LastUseDate and LastUseTime lie one after the other.
        std::memcpy(buffer + kRegistryNameSize, bytes + offsetof(RegistryRecord, ActiveReferences),
                    kRegistryKey1Length - kRegistryNameSize);
    }
}

void IndexRegistry::Timestamp(int32_t* date, int32_t* time) {
    platform::LocalDateAndTime(platform::CurrentTime(), date, time);
}

void IndexRegistry::UseKey(int keyNumber) { DbOverRideDef(handle_, keyNumber, kUnchanged); }

int32_t IndexRegistry::Find(bool replace) {
    if (!IsOpen()) return kStatusInvalidHandle;
    for (;;) {
        UseKey(0);
        BuildKey(0, keyBuffer_, record_);
        const int32_t status = DbRead(btr::kOpGetEqual, handle_, keyBuffer_, &record_, kRecordLength);
        if (replace && status == kStatusSuccess) {
            const int32_t purged =
                PurgeEntry(static_cast<int16_t>(record_.KeyNumber), static_cast<int16_t>(record_.SegmentCount));
            // Gone in the meantime is as good as deleted; any other failure would repeat forever.
            if (purged != kStatusSuccess && purged != btr::kStatusKeyNotFound) return purged;
            continue;
        }
        if (status == btr::kStatusKeyNotFound) {
            record_.ActiveReferences = 0;
            record_.TotalReferences = 0;
            record_.LastUseDate = 0;
            record_.LastUseTime = 0;
            return kStatusSuccess;
        }
        return status;
    }
}

int32_t IndexRegistry::Write(bool isNew) {
    if (!IsOpen()) return kStatusInvalidHandle;
    RegistryRecord scratch = record_;
    UseKey(0);
    BuildKey(0, keyBuffer_, scratch);
    // Positions the file on the entry for an update; an insert does not need it.
    DbRead(btr::kOpGetEqual, handle_, keyBuffer_, &scratch, kRecordLength);
    // The working record is the key buffer too: the key-0 value the engine writes back is the
    // record's own first 18 bytes, so the record does not change.
    return DbModify(isNew ? btr::kOpInsert : btr::kOpUpdate, handle_, &record_, &record_, kRecordLength);
}

int32_t IndexRegistry::AddReference(int16_t keyNumber, int16_t segmentCount, bool isNew) {
    record_.KeyNumber = static_cast<uint16_t>(keyNumber);
    record_.SegmentCount = static_cast<uint16_t>(segmentCount);
    Find(isNew);
    // Replacing a stale entry reads its segment count; a new key has its own.
    if (isNew) record_.SegmentCount = static_cast<uint16_t>(segmentCount);
    record_.ActiveReferences = static_cast<uint16_t>(record_.ActiveReferences + 1);
    record_.TotalReferences = static_cast<int32_t>(static_cast<uint32_t>(record_.TotalReferences) + 1u);
    int32_t date = 0;
    int32_t time = 0;
    Timestamp(&date, &time);
    record_.LastUseDate = date;
    record_.LastUseTime = time;
    const int32_t status = Write(isNew);
    log_.SetAction(isNew ? kActionBuildingNewKey : kActionActivatingExistingKey);
    return status;
}

int32_t IndexRegistry::RemoveReference(int16_t keyNumber, int16_t segmentCount) {
    record_.KeyNumber = static_cast<uint16_t>(keyNumber);
    record_.SegmentCount = static_cast<uint16_t>(segmentCount);
    Find(false);
    // A key nobody uses has nothing to give back: a count below zero would wrap to 65535 and
    // keep the key from ever being evicted.
    if (record_.ActiveReferences == 0) return btr::kStatusKeyNotFound;
    record_.ActiveReferences = static_cast<uint16_t>(record_.ActiveReferences - 1);
    const int32_t status = Write(false);
    log_.SetAction(kActionDeactivatingExistingKey);
    return status;
}

int32_t IndexRegistry::PurgeEntry(int16_t keyNumber, int16_t segmentCount) {
    record_.KeyNumber = static_cast<uint16_t>(keyNumber);
    record_.SegmentCount = static_cast<uint16_t>(segmentCount);
    int32_t status = kStatusInvalidHandle;
    if (IsOpen()) {
        UseKey(0);
        BuildKey(0, keyBuffer_, record_);
        status = DbRead(btr::kOpGetEqual, handle_, keyBuffer_, &record_, kRecordLength);
        // Without a key buffer the delete removes the record just read.
        if (status == kStatusSuccess) status = DbModify(btr::kOpDelete, handle_, nullptr, &record_, kRecordLength);
    }
    log_.SetAction(kActionPurgingExistingKey);
    return status;
}

int IndexRegistry::CollectIdleKeys(int32_t* out, int16_t deficit, int16_t wanted) {
    if (!IsOpen() || out == nullptr) return 0;
    const int limit = deficit > wanted ? deficit : wanted;
    RegistryRecord scratch = record_;
    scratch.ActiveReferences = 0;
    scratch.LastUseDate = 0;
    scratch.LastUseTime = 0;
    UseKey(1);
    BuildKey(1, keyBuffer_, scratch);

    int count = 0;
    int sum = 0;
    int32_t status = DbRead(btr::kOpGetGreaterOrEqual, handle_, keyBuffer_, &scratch, kRecordLength);
    while (status == kStatusSuccess && SameFileName(scratch.DataFileName, record_.DataFileName) &&
           scratch.ActiveReferences == 0 && sum < limit && count < limit) {
        out[count++] = static_cast<uint16_t>(scratch.KeyNumber);
        sum += scratch.SegmentCount;
        status = DbRead(btr::kOpGetNext, handle_, keyBuffer_, &scratch, kRecordLength);
    }
    return sum >= deficit ? count : 0;
}

int32_t IndexRegistry::DeleteFileEntries() {
    if (!IsOpen()) return kStatusInvalidHandle;
    std::memset(keyBuffer_, 0, sizeof keyBuffer_);
    std::memcpy(keyBuffer_, record_.DataFileName, kRegistryNameSize);
    UseKey(0);
    for (;;) {
        RegistryRecord scratch = record_;
        const int32_t status = DbRead(btr::kOpGetGreaterOrEqual, handle_, keyBuffer_, &scratch, kRecordLength);
        if (status != kStatusSuccess) return status;
        if (!SameFileName(reinterpret_cast<const char*>(keyBuffer_), record_.DataFileName)) return kStatusSuccess;
        const int32_t deleted = DbModify(btr::kOpDelete, handle_, nullptr, &scratch, kRecordLength);
        if (deleted != kStatusSuccess) return deleted;
    }
}

int32_t IndexRegistry::LockEntry(int16_t keyNumber) {
    record_.KeyNumber = static_cast<uint16_t>(keyNumber);
    if (!IsOpen()) return kStatusInvalidHandle;
    DbOverRideDef(handle_, 0, btr::kBiasMultipleNoWaitLock);
    BuildKey(0, keyBuffer_, record_);
    int32_t status = kStatusSuccess;
    for (int attempt = 0; attempt < kLockEntryAttempts; ++attempt) {
        status = DbRead(btr::kOpGetEqual, handle_, keyBuffer_, &record_, kRecordLength);
        if (status != btr::kStatusRecordInUse && status != btr::kStatusFileInUse) break;
        DbWait(kLockWaitUnits);
    }
    DbOverRideDef(handle_, kUnchanged, kNoBias);
    return status;
}

int32_t IndexRegistry::Unlock() {
    if (!IsOpen()) return kStatusInvalidHandle;
    RegistryRecord scratch = record_;
    return DbRead(btr::kOpUnlock, handle_, keyBuffer_, &scratch, kRecordLength);
}

}  // namespace tydb
