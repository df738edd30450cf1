#include "import_definition.h"

#include <cstring>

#include "btrcall.h"

namespace tool {
namespace {

template <typename T>
void Append(const T& value, std::vector<uint8_t>* buffer) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&value);
    buffer->insert(buffer->end(), bytes, bytes + sizeof value);
}

// A segment naming its collating sequence by number (0x0420); without the number every
// segment shares the first one.
bool NumberedAcs(uint16_t flags) {
    return (flags & btr::kKeyFlagAlternateSequence) != 0 && (flags & btr::kKeyFlagNoCase) != 0;
}

}  // namespace

bool BuildCreateBuffer(const dfimport::Definition& definition, std::vector<uint8_t>* buffer, std::string* error) {
    BtrFileSpec file = {};
    file.recordLength = static_cast<int16_t>(definition.recordLength);
    file.pageSize = static_cast<int16_t>(definition.pageSize);
    file.keyCount = static_cast<uint8_t>(definition.keys.size());
    file.fileFlags = definition.fileFlags;
    file.duplicatePointers = definition.duplicatePointers;
    buffer->clear();
    Append(file, buffer);
    bool usesAcs = false;
    for (const dfimport::Key& key : definition.keys) {
        for (const dfimport::Segment& segment : key.segments) {
            BtrKeySpec spec = {};
            spec.position = static_cast<int16_t>(segment.offset + 1);
            spec.length = static_cast<int16_t>(segment.length);
            spec.flags = segment.flags;
            spec.extendedType = segment.type;
            spec.nullValue = segment.nullValue;
            if ((definition.fileFlags & btr::kFileFlagSpecifyKeyNumbers) != 0) {
                spec.keyNumber = static_cast<int8_t>(key.number);
            }
            if (segment.acs >= 0) {
                usesAcs = true;
                if (!NumberedAcs(segment.flags) && segment.acs != 0) {
                    *error = "key " + std::to_string(key.number) + " uses the file's collating sequence " +
                             std::to_string(segment.acs) +
                             " without naming its number; only the first can be given that way";
                    return false;
                }
                spec.acsNumber = static_cast<uint8_t>(segment.acs);
            }
            Append(spec, buffer);
        }
    }
    if (usesAcs) {
        for (const dfimport::Acs& acs : definition.acs)
            buffer->insert(buffer->end(), acs.block.begin(), acs.block.end());
    }
    return true;
}

}  // namespace tool
