#include "key_queries.h"

#include <algorithm>
#include <new>

#include "status.h"

namespace tydb {
namespace {

bool IsSegmented(const BtrKeySpec& segment) { return (segment.flags & btr::kKeyFlagSegmented) != 0; }

int FileKeyCount(const StatisticsBuffer& statistics) { return statistics.file.keyCount; }

}  // namespace

int StatSegmentCapacity(const StatisticsBuffer*) { return kSegmentCapacity; }

int StatUsedSegments(const StatisticsBuffer* statistics) {
    if (statistics == nullptr) return 0;
    int length = statistics->replyLength - kFileSpecSize;
    // Key segments come in 16 bytes; only a collating sequence makes the reply odd.
    if (length % 2 != 0) length -= btr::kAcsSize;
    if (length <= 0) return 0;
    // A stored length the record manager cannot have written must not send a walk beyond the
    // buffer.
    return std::min(length / kKeySpecSize, kSegmentCapacity);
}

int StatFreeSegments(const StatisticsBuffer* statistics) {
    return StatSegmentCapacity(statistics) - StatUsedSegments(statistics);
}

int KeySegmentCount(const BtrKeySpec* definition, int available) {
    if (definition == nullptr) return 0;
    for (int i = 0; i < available; ++i) {
        if (!IsSegmented(definition[i])) return i + 1;
    }
    return 0;
}

int KeyTotalLength(const BtrKeySpec* definition, int available) {
    const int count = KeySegmentCount(definition, available);
    int total = 0;
    for (int i = 0; i < count; ++i) total += definition[i].length;
    return total;
}

bool KeySpecsEqual(const BtrKeySpec* a, int aAvailable, const BtrKeySpec* b, int bAvailable) {
    const int count = KeySegmentCount(b, bAvailable);
    // a can only be equal when it ends exactly where b does, so no more of it is read than b
    // has segments.
    if (count == 0 || KeySegmentCount(a, std::min(aAvailable, count)) != count) return false;
    for (int i = 0; i < count; ++i) {
        if (a[i].position != b[i].position || a[i].length != b[i].length) return false;
    }
    return true;
}

int32_t CheckKeyDefinition(const BtrKeySpec* definition, int available) {
    if (definition == nullptr) return kStatusNoBuffer;
    return KeySegmentCount(definition, available) > 0 ? kStatusSuccess : btr::kStatusInvalidKeyPosition;
}

const BtrKeySpec* StatFindKeySpec(const StatisticsBuffer* statistics, int16_t keyNumber) {
    if (statistics == nullptr) return nullptr;
    const BtrKeySpec* segments = FirstSegment(*statistics);
    const int used = StatUsedSegments(statistics);
    for (int i = 0; i < used; ++i) {
        if (segments[i].keyNumber == keyNumber) return &segments[i];
    }
    return nullptr;
}

int StatFindMatchingKey(const StatisticsBuffer* statistics, const BtrKeySpec* definition, int available) {
    if (statistics == nullptr || definition == nullptr) return -1;
    const BtrKeySpec* segments = FirstSegment(*statistics);
    const int used = StatUsedSegments(statistics);
    int segment = 0;
    for (int key = 0; key < FileKeyCount(*statistics) && segment < used; ++key) {
        const int count = KeySegmentCount(segments + segment, used - segment);
        // A key that does not end within the reply: nothing after it can be trusted.
        if (count == 0) return -1;
        if (KeySpecsEqual(definition, available, segments + segment, count)) return segments[segment].keyNumber;
        segment += count;
    }
    return -1;
}

bool AddExcludedKeyNumber(ExcludedKeyNumbers* excluded, int32_t keyNumber) {
    if (excluded == nullptr) return false;
    try {
        excluded->push_back(keyNumber);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool IsExcludedKeyNumber(const ExcludedKeyNumbers* excluded, int32_t keyNumber) {
    if (excluded == nullptr) return false;
    return std::find(excluded->begin(), excluded->end(), keyNumber) != excluded->end();
}

int32_t NextFreeKeyNumber(const ExcludedKeyNumbers* excluded, const StatisticsBuffer* statistics) {
    const BtrKeySpec* segments = statistics != nullptr ? FirstSegment(*statistics) : nullptr;
    const int used = StatUsedSegments(statistics);
    auto inUse = [&](int32_t number) {
        for (int i = 0; i < used; ++i) {
            if (segments[i].keyNumber == number) return true;
        }
        return false;
    };
    // Every step passes a number that a segment or an excluded entry accounts for, so the
    // walk ends after at most used + excluded steps, whatever order the keys come in.
    int32_t candidate = 0;
    while (inUse(candidate) || IsExcludedKeyNumber(excluded, candidate)) ++candidate;
    return candidate;
}

}  // namespace tydb
