// key_queries.h: questions about key definitions and about the keys a statistics buffer lists.
//
// A key definition is an array of key-segment specifications: every segment but the last has
// the segmented flag, and the first segment without it ends the key. None of these functions
// reads past the segments it is told exist: each definition comes with the number of segments
// that may be read (`available`), and a definition whose last segment still carries the
// segmented flag counts as malformed. Null inputs give 0, false, nullptr or -1.
#ifndef TYDB_DBAPI_KEY_QUERIES_H
#define TYDB_DBAPI_KEY_QUERIES_H

#include <cstdint>
#include <vector>

#include "btrcall.h"
#include "statistics_buffer.h"

namespace tydb {

// kSegmentCapacity, always: the room for key segments in a file and in a statistics buffer.
int StatSegmentCapacity(const StatisticsBuffer* statistics);

// Key-segment specifications in the buffer, derived from the stored reply length; 0 to 96.
int StatUsedSegments(const StatisticsBuffer* statistics);

// kSegmentCapacity minus StatUsedSegments.
int StatFreeSegments(const StatisticsBuffer* statistics);

// Segments of the key that starts at `definition`, or 0 when it does not end within
// `available` segments.
int KeySegmentCount(const BtrKeySpec* definition, int available);

// Sum of the segment lengths of that key; 0 when KeySegmentCount is 0.
int KeyTotalLength(const BtrKeySpec* definition, int available);

// True when both keys have the same number of segments with the same positions and lengths.
// Flags, types, collating sequences and key numbers do not count. A malformed definition
// equals nothing.
bool KeySpecsEqual(const BtrKeySpec* a, int aAvailable, const BtrKeySpec* b, int bAvailable);

// 0 for a definition that ends within `available` segments; 27 (invalid key position) for one
// that does not, and 22 for a null one. For entry points that receive a caller's definition.
int32_t CheckKeyDefinition(const BtrKeySpec* definition, int available);

// The first segment, in reply order, whose key number is `keyNumber`; nullptr when none is.
const BtrKeySpec* StatFindKeySpec(const StatisticsBuffer* statistics, int16_t keyNumber);

// Key number of the first key the buffer lists that equals `definition` (KeySpecsEqual), or -1.
int StatFindMatchingKey(const StatisticsBuffer* statistics, const BtrKeySpec* definition, int available);

// Key numbers that must not be chosen for a new key, in the order they were added; duplicates
// allowed.
using ExcludedKeyNumbers = std::vector<int32_t>;

// Appends `keyNumber`; false (list unchanged) when memory runs out or `excluded` is null.
bool AddExcludedKeyNumber(ExcludedKeyNumbers* excluded, int32_t keyNumber);

bool IsExcludedKeyNumber(const ExcludedKeyNumbers* excluded, int32_t keyNumber);

// The smallest key number that no key of the buffer uses and that is not excluded: the number
// a new supplemental key is built under.
int32_t NextFreeKeyNumber(const ExcludedKeyNumbers* excluded, const StatisticsBuffer* statistics);

}  // namespace tydb

#endif  // TYDB_DBAPI_KEY_QUERIES_H
