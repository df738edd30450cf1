// record_object.h: the record object the application holds, and the guard that lends its key
// number (and a lock bias) to the object's file for one operation.
#ifndef TYDB_DBAPI_RECORD_OBJECT_H
#define TYDB_DBAPI_RECORD_OBJECT_H

#include <cstddef>
#include <cstdint>

#include "tydb.h"

namespace tydb {

// The layout is the application's as much as ours: it reads and writes the fields directly.
using RecordObject = TydbRecordObject;

inline constexpr int kRecordKeyBufferSize = TYDB_RECORD_KEY_BUFFER_SIZE;
inline constexpr int16_t kRecordNotOpen = -1;
inline constexpr int32_t kRecordReservedInitial = 1;

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(RecordObject) == 22, "record object is 22 bytes on 32-bit targets");
static_assert(offsetof(RecordObject, handle) == 0, "record object layout");
static_assert(offsetof(RecordObject, dataBuffer) == 2, "record object layout");
static_assert(offsetof(RecordObject, keyBuffer) == 6, "record object layout");
static_assert(offsetof(RecordObject, dataLength) == 10, "record object layout");
static_assert(offsetof(RecordObject, keyLength) == 12, "record object layout");
static_assert(offsetof(RecordObject, keyNumber) == 16, "record object layout");
static_assert(offsetof(RecordObject, reserved) == 18, "record object layout");
#else
static_assert(sizeof(RecordObject) == 30, "record object is 30 bytes, packed, on 64-bit targets");
static_assert(offsetof(RecordObject, handle) == 0, "record object layout");
static_assert(offsetof(RecordObject, dataBuffer) == 2, "record object layout");
static_assert(offsetof(RecordObject, keyBuffer) == 10, "record object layout");
static_assert(offsetof(RecordObject, dataLength) == 18, "record object layout");
static_assert(offsetof(RecordObject, keyLength) == 20, "record object layout");
static_assert(offsetof(RecordObject, keyNumber) == 24, "record object layout");
static_assert(offsetof(RecordObject, reserved) == 26, "record object layout");
#endif

// Makes `keyNumber` and `bias` the file's key number and operation bias for the life of the
// scope (a negative value leaves that one as it is) and puts the file's own values back at
// the end, exactly, whatever they were. A handle that names no open file is left alone on
// both ends, so such a scope touches no entry.
class KeyOverrideScope {
public:
    KeyOverrideScope(int16_t handle, int32_t keyNumber, int32_t bias);
    ~KeyOverrideScope();
    KeyOverrideScope(const KeyOverrideScope&) = delete;
    KeyOverrideScope& operator=(const KeyOverrideScope&) = delete;

private:
    int16_t handle_;
    bool applied_ = false;
    int16_t savedKeyNumber_ = 0;
    int32_t savedBias_ = 0;
};

}  // namespace tydb

#endif  // TYDB_DBAPI_RECORD_OBJECT_H
