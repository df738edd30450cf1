// Get By Percentage and Find Percentage: relative positions in hundredths of a percent.
#include <cstring>
#include <utility>

#include "ops/call.h"

namespace w3b {

namespace {

constexpr uint32_t kFullScale = 10000;
constexpr uint32_t kPercentageBufferSize = 4;

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

}  // namespace

int16_t DoGetByPercentage(Call& call, OpenInstance& open) {
    FileConnection& file = *open.file;
    const FileDef& def = file.Def();
    const KeyInfo* key = nullptr;
    if (int16_t status = CallKey(def, call, btr::kKeyNumberPhysical, &key); status != btr::kStatusSuccess) {
        return status;
    }
    if (call.DataCapacity() < kPercentageBufferSize) return btr::kStatusDataLengthError;
    uint16_t percentage;
    std::memcpy(&percentage, call.data, sizeof percentage);
    if (percentage > kFullScale) return btr::kStatusInvalidOperation;

    int64_t count = 0;
    int16_t status = key != nullptr ? file.CountEntries(*key, &count) : file.CountRecords(&count);
    if (status != btr::kStatusSuccess) return status;
    if (count == 0) return btr::kStatusEndOfFile;
    // The record at that fraction of the way through, rounded to the nearest one.
    int64_t index = (static_cast<int64_t>(percentage) * (count - 1) + kFullScale / 2) / kFullScale;

    std::string record;
    bool found = false;
    Cursor& cursor = open.cursor;
    if (key != nullptr) {
        KeyEntry entry;
        if ((status = file.EntryAtOffset(*key, index, &entry, &record, &found)) != btr::kStatusSuccess) return status;
        if (!found) return btr::kStatusEndOfFile;
        if (record.size() < def.RecordLength()) return btr::kStatusIoError;
        cursor.SetAt(key->number, entry, ReadKind::kRecord);
        cursor.RememberKey(file.DefinitionGeneration(), *key);
        ExtractKeyValue(key->def, Bytes(record), call.key);
    } else {
        int64_t position = 0;
        if ((status = file.RecordAtOffset(index, &position, &record, &found)) != btr::kStatusSuccess) return status;
        if (!found) return btr::kStatusEndOfFile;
        cursor.SetPhysical(position);
    }
    return ReturnRecord(call, cursor, std::move(record));
}

int16_t DoFindPercentage(Call& call, OpenInstance& open) {
    FileConnection& file = *open.file;
    const FileDef& def = file.Def();
    const KeyInfo* key = nullptr;
    if (int16_t status = CallKey(def, call, btr::kKeyNumberPhysical, &key); status != btr::kStatusSuccess) {
        return status;
    }
    if (call.DataCapacity() < kPercentageBufferSize) return btr::kStatusDataLengthError;

    int64_t rank = 0;
    int64_t count = 0;
    int16_t status;
    if (key != nullptr) {
        std::string value;
        EncodeKeyValue(key->def, call.key, &value);
        KeyEntry entry;
        std::string record;
        bool found = false;
        if ((status = file.SeekEntry(*key, Seek::kEqual, value, 0, &entry, &record, &found)) != btr::kStatusSuccess) {
            return status;
        }
        if (!found) return btr::kStatusKeyNotFound;
        if ((status = file.CountEntriesBelow(*key, value, &rank)) != btr::kStatusSuccess) return status;
        if ((status = file.CountEntries(*key, &count)) != btr::kStatusSuccess) return status;
    } else {
        int64_t position = ReadU32(call.data);
        std::string record;
        bool found = false;
        if (position != 0 && (status = file.ReadRecord(position, &record, &found)) != btr::kStatusSuccess) {
            return status;
        }
        if (!found) return btr::kStatusInvalidRecordAddress;
        if ((status = file.CountRecordsBefore(position, &rank)) != btr::kStatusSuccess) return status;
        if ((status = file.CountRecords(&count)) != btr::kStatusSuccess) return status;
    }
    uint16_t percentage = 0;
    if (count > 1) percentage = static_cast<uint16_t>((rank * kFullScale + (count - 1) / 2) / (count - 1));
    std::memcpy(call.data, &percentage, sizeof percentage);
    call.data[2] = 0;
    call.data[3] = 0;
    call.SetDataLength(kPercentageBufferSize);
    return btr::kStatusSuccess;
}

}  // namespace w3b
