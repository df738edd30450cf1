// DbCreateFile: a new data file from the caller's file and key-segment specifications.
#include "create_file.h"

#include <cstring>

#include "btrcall.h"
#include "directory_block.h"
#include "gateway.h"
#include "statistics_buffer.h"
#include "status.h"
#include "tydb.h"

using namespace tydb;

namespace {

// The path travels in the key buffer, at most kMaxPathLength characters and a terminator.
constexpr int kPathBufferSize = kMaxPathLength + 1;

// The create buffer has the size of a statistics buffer: a file specification, up to
// kSegmentCapacity segments and one collating sequence.
struct CreateBuffer {
    uint8_t bytes[kStatisticsSize];
    int length;
};

// Counts the leading segments with a positive key position, which the caller's list ends
// without. Stops one past the capacity, so an unterminated list is never read further.
int CountSegments(const BtrKeySpec* segments) {
    if (segments == nullptr) return 0;
    int count = 0;
    while (count <= kSegmentCapacity && segments[count].position > 0) ++count;
    return count;
}

bool AnyUsesAlternateSequence(const BtrKeySpec* segments, int count) {
    for (int i = 0; i < count; ++i) {
        if ((segments[i].flags & btr::kKeyFlagAlternateSequence) != 0) return true;
    }
    return false;
}

}  // namespace

int32_t tydb::CreateDataFile(const char* path, const void* fileSpec, const void* keySpecs, int8_t createMode) {
    // Only paths DbOpen takes: a file created under any other could never be opened.
    PathParts parts;
    if (!SplitPath(path, &parts)) return kStatusInvalidFileName;
    if (fileSpec == nullptr) return kStatusNoBuffer;
    char pathBuffer[kPathBufferSize] = {};
    std::memcpy(pathBuffer, path, std::strlen(path));  // at most kMaxPathLength characters

    const auto* segments = static_cast<const BtrKeySpec*>(keySpecs);
    const int count = CountSegments(segments);
    if (count > kSegmentCapacity) return btr::kStatusNumberOfKeys;

    static_assert(kFileSpecSize + kSegmentCapacity * kKeySpecSize + btr::kAcsSize <= kStatisticsSize,
                  "the largest create request fits its buffer");
    CreateBuffer create = {};
    std::memcpy(create.bytes, fileSpec, kFileSpecSize);
    create.length = kFileSpecSize;
    if (count > 0) {
        std::memcpy(create.bytes + create.length, segments, static_cast<size_t>(count) * kKeySpecSize);
        create.length += count * kKeySpecSize;
    }
    // Every segment that asks for a collating sequence gets the same one: UPPER, sent once.
    if (AnyUsesAlternateSequence(segments, count)) {
        DbBuildUpperAcs(create.bytes + create.length);
        create.length += btr::kAcsSize;
    }

    // Creating touches no open file: the request gets a position block of its own.
    uint8_t positionBlock[btr::kPositionBlockSize] = {};
    uint16_t dataLength = static_cast<uint16_t>(create.length);
    return CallEngine(btr::kOpCreate, positionBlock, create.bytes, &dataLength, pathBuffer, createMode);
}

extern "C" TYDB_API int32_t TYDB_CALL DbCreateFile(const char* path, const void* fileSpec, const void* keySpecs) {
    return CreateDataFile(path, fileSpec, keySpecs, btr::kCreateOverwrite);
}
