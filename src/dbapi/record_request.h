// record_request.h: what every record operation takes from the open file's entry.
#ifndef TYDB_DBAPI_RECORD_REQUEST_H
#define TYDB_DBAPI_RECORD_REQUEST_H

#include <cstdint>

#include "open_file_table.h"

namespace tydb {

// Key buffer sent where the caller gives none; the record manager may write a key of up to
// 255 bytes into it.
inline constexpr int kScratchKeySize = 256;

// The longest record the record manager stores: what a 16-bit data length can describe.
inline constexpr uint16_t kLongestRecord = 65535;

// The caller's data length, or the file's fixed record length when the caller passes 0.
inline uint16_t RequestLength(const OpenFileEntry& entry, int16_t dataLength) {
    return static_cast<uint16_t>(dataLength != 0 ? dataLength : entry.recordLength);
}

// `operation` with the file's operation bias added, as the 16-bit code the record manager gets.
inline uint16_t Biased(const OpenFileEntry& entry, int32_t operation) {
    return static_cast<uint16_t>(operation + entry.operationBias);
}

inline int8_t EntryKeyNumber(const OpenFileEntry& entry) { return static_cast<int8_t>(entry.keyNumber); }

}  // namespace tydb

#endif  // TYDB_DBAPI_RECORD_REQUEST_H
