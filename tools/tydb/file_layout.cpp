#include "file_layout.h"

#include <cstring>

#include "key_options.h"
#include "tydb.h"

namespace tool {

int32_t ReadFileLayout(int16_t handle, FileLayout* layout) {
    uint8_t statistics[TYDB_STATISTICS_SIZE] = {};
    const int32_t status = DbFileStat(handle, statistics);
    if (status != 0) return status;
    int16_t replyLength;
    std::memcpy(&replyLength, statistics + TYDB_STATISTICS_LENGTH_OFFSET, sizeof replyLength);
    std::memcpy(&layout->file, statistics, sizeof layout->file);

    // Segments come in 16 bytes; only a collating sequence makes the reply odd.
    int segmentBytes = replyLength - static_cast<int>(sizeof(BtrFileSpec));
    layout->hasAcs = segmentBytes % 2 != 0;
    if (layout->hasAcs) segmentBytes -= TYDB_ACS_SIZE;
    int used = segmentBytes > 0 ? segmentBytes / static_cast<int>(sizeof(BtrKeySpec)) : 0;
    if (used > TYDB_MAX_KEY_SEGMENTS) used = TYDB_MAX_KEY_SEGMENTS;
    const uint8_t* segments = statistics + sizeof(BtrFileSpec);
    if (layout->hasAcs && used * sizeof(BtrKeySpec) + sizeof(BtrFileSpec) + sizeof(BtrAcs) <= TYDB_STATISTICS_SIZE) {
        std::memcpy(&layout->acs, segments + used * sizeof(BtrKeySpec), sizeof layout->acs);
    }

    layout->keys.clear();
    int index = 0;
    for (int key = 0; key < layout->file.keyCount && index < used; ++key) {
        std::vector<BtrKeySpec> segmentsOfKey;
        while (index < used) {
            BtrKeySpec segment;
            std::memcpy(&segment, segments + index * sizeof(BtrKeySpec), sizeof segment);
            ++index;
            segmentsOfKey.push_back(segment);
            if ((segment.flags & btr::kKeyFlagSegmented) == 0) break;
        }
        layout->keys.push_back(segmentsOfKey);
    }
    return 0;
}

int KeyLength(const std::vector<BtrKeySpec>& key) {
    int length = 0;
    for (const BtrKeySpec& segment : key) length += segment.length;
    return length;
}

std::string SegmentTypeName(const BtrKeySpec& segment) {
    if ((segment.flags & btr::kKeyFlagExtendedType) != 0) return KeyTypeName(segment.extendedType);
    return (segment.flags & btr::kKeyFlagBinary) != 0 ? "binary" : "string";
}

std::string AcsName(const BtrAcs& acs) {
    std::string name(acs.name, sizeof acs.name);
    const size_t end = name.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : name.substr(0, end + 1);
}

}  // namespace tool
