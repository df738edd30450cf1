// DbFileStat and its variants: a file's statistics into the caller's 1819-byte buffer.
#include <cstring>

#include "btrcall.h"
#include "gateway.h"
#include "open_file_table.h"
#include "statistics_buffer.h"
#include "status.h"
#include "tydb.h"

using namespace tydb;

namespace {

constexpr int kScratchKeySize = 256;
constexpr uint8_t kVersion60 = 0x60;

}  // namespace

extern "C" TYDB_API int32_t TYDB_CALL DbFileStat(int16_t handle, void* buffer) {
    OpenFileEntry* entry = GetOpenEntry(handle);
    if (entry == nullptr) return kStatusInvalidHandle;
    if (buffer == nullptr) return kStatusNoBuffer;
    auto* statistics = static_cast<StatisticsBuffer*>(buffer);
    std::memset(statistics, 0, sizeof *statistics);

    uint8_t key[kScratchKeySize] = {};
    uint16_t dataLength = kStatisticsSize;
    // Key number -1 asks for the reply that carries the file-version byte.
    const int16_t status =
        CallEngine(btr::kOpStat, entry->positionBlock, statistics, &dataLength, key, btr::kKeyNumberPhysical);
    if (status == btr::kStatusSuccess) statistics->replyLength = static_cast<int16_t>(dataLength);
    return status;
}

extern "C" TYDB_API int32_t TYDB_CALL DbFileStatByName(const char* path, void* buffer) {
    if (buffer == nullptr) return kStatusNoBuffer;
    int16_t handle = 0;
    const int32_t opened = DbOpen(&handle, path, 0, 0);
    if (opened != kStatusSuccess) return opened;
    const int32_t status = DbFileStat(handle, buffer);
    DbClose(handle);
    return status;
}

extern "C" TYDB_API int32_t TYDB_CALL DbIsVersion60File(const void* buffer) {
    if (buffer == nullptr) return 0;
    return static_cast<const StatisticsBuffer*>(buffer)->file.fileVersion == kVersion60 ? 1 : 0;
}
