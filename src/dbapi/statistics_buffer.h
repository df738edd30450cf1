// statistics_buffer.h: the 1819-byte statistics buffer that DbFileStat fills.
//
// It holds the record manager's Stat reply (the file specification, one key-segment
// specification per segment, and a collating sequence when the file has one) and, at offset
// 1817, the reply's length as a signed 16-bit value. The number of segments is not stored: it
// follows from that length, because only the collating sequence has an odd size.
#ifndef TYDB_DBAPI_STATISTICS_BUFFER_H
#define TYDB_DBAPI_STATISTICS_BUFFER_H

#include <cstddef>
#include <cstdint>

#include "btrcall.h"

namespace tydb {

inline constexpr int kStatisticsSize = 1819;
// Key-segment specifications a statistics buffer (and so a file) has room for.
inline constexpr int kSegmentCapacity = 96;
inline constexpr int kFileSpecSize = static_cast<int>(sizeof(BtrFileSpec));
inline constexpr int kKeySpecSize = static_cast<int>(sizeof(BtrKeySpec));
inline constexpr int kReplyCapacity = kFileSpecSize + kSegmentCapacity * kKeySpecSize + btr::kAcsSize;

#pragma pack(push, 1)
struct StatisticsBuffer {
    BtrFileSpec file;
    // The key-segment specifications, then the collating sequence when the reply has one.
    uint8_t keysAndAcs[kReplyCapacity - kFileSpecSize];
    // The reply's length, stored by DbFileStat when the Stat succeeded.
    int16_t replyLength;
};
#pragma pack(pop)

static_assert(sizeof(StatisticsBuffer) == kStatisticsSize, "statistics buffer is 1819 bytes");
static_assert(offsetof(StatisticsBuffer, keysAndAcs) == 16, "statistics buffer layout");
static_assert(offsetof(StatisticsBuffer, replyLength) == 1817, "reply length lies at offset 1817");
static_assert(kReplyCapacity == 1817, "the largest reply ends where the stored length begins");

// The first key-segment specification of a statistics buffer. BtrKeySpec is packed, so a
// segment may start at any byte.
inline const BtrKeySpec* FirstSegment(const StatisticsBuffer& statistics) {
    return reinterpret_cast<const BtrKeySpec*>(statistics.keysAndAcs);
}

}  // namespace tydb

#endif  // TYDB_DBAPI_STATISTICS_BUFFER_H
