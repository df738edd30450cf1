// cursor.h: the currency of one position block.
#ifndef W3BTRV7_CURSOR_H
#define W3BTRV7_CURSOR_H

#include <cstdint>

#include "shared_file.h"

namespace w3b {

enum class Place { kNone, kAt, kBeforeFirst, kAfterLast };

// Logical currency is a place on one key path; physical currency a place in record order.
// A deleted record's entry stays as the logical place, so Get Next and Get Previous move on
// from where it was.
struct Cursor {
    int keyNumber = -1;
    Place logical = Place::kNone;
    KeyEntry entry;

    Place physical = Place::kNone;
    int64_t position = 0;

    // A record was read (not by Get Key) or written and still exists: Update and Delete may
    // act on `position`.
    bool recordCurrent = false;

    void Clear() {
        keyNumber = -1;
        logical = Place::kNone;
        physical = Place::kNone;
        recordCurrent = false;
    }

    // Complete currency on the record of `at` along key `key`.
    void SetAt(int key, const KeyEntry& at, bool readRecord) {
        keyNumber = key;
        logical = Place::kAt;
        entry = at;
        physical = Place::kAt;
        position = at.position;
        recordCurrent = readRecord;
    }

    // Physical currency only; logical currency is erased.
    void SetPhysical(int64_t recordPosition) {
        keyNumber = -1;
        logical = Place::kNone;
        physical = Place::kAt;
        position = recordPosition;
        recordCurrent = true;
    }
};

}  // namespace w3b

#endif  // W3BTRV7_CURSOR_H
