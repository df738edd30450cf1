// cursor.h: the currency of one position block.
#ifndef W3BTRV7_OPS_CURSOR_H
#define W3BTRV7_OPS_CURSOR_H

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "store/file_connection.h"

namespace w3b {

enum class Place { kNone, kAt, kBeforeFirst, kAfterLast };

// The order a block walks in: along a key path, or through the records by position.
enum class Order { kKey, kPhysical };

// One step onward from where a block stands.
struct Walk {
    Order order = Order::kKey;
    int keyNumber = -1;  // -1 in physical order
    Direction direction = Direction::kForward;
    int64_t position = 0;  // the record the block stands on
    int64_t sequence = 0;  // its entry's place among equal values, in key order

    // True when `other` goes the same way: same order, key path and direction.
    bool SameWay(const Walk& other) const {
        return order == other.order && direction == other.direction &&
               (order == Order::kPhysical || keyNumber == other.keyNumber);
    }
};

// Rows read ahead by Get Next/Previous or Step Next/Previous. They serve the following calls
// in the same direction only while the file is unchanged (same change stamp) and the block
// still stands on the row served last; anything else reads afresh.
struct ReadAhead {
    static constexpr int kFirstSize = 16;
    static constexpr int kMaxSize = 256;
    // Batches of large records stay small, so that a block never holds much memory.
    static constexpr size_t kMaxBytes = 1 << 20;
    static constexpr int kLargeRecordSize = 4;

    ChangeStamp stamp;
    Walk walk;  // the walk the rows were read for
    std::vector<FetchedRow> rows;
    size_t count = 0;
    size_t next = 0;
    int size = kFirstSize;
    int maxSize = kMaxSize;

    // The row after the one served last, when the block still stands on that one; else nullptr.
    FetchedRow* Serve(const ChangeStamp& now, const Walk& onward) {
        if (next == 0 || next >= count || !stamp.Same(now) || !walk.SameWay(onward)) return nullptr;
        const KeyEntry& last = rows[next - 1].entry;
        if (last.position != onward.position || (onward.order == Order::kKey && last.sequence != onward.sequence)) {
            return nullptr;
        }
        return &rows[next++];
    }

    // Size of the next read: doubles while a scan keeps using whole batches.
    int NextSize(const Walk& onward) {
        bool continuing = next == count && count == static_cast<size_t>(size) && walk.SameWay(onward);
        size = std::min(continuing ? size * 2 : kFirstSize, maxSize);
        return size;
    }

    void Filled(const ChangeStamp& at, const Walk& onward, size_t rowsRead) {
        stamp = at;
        walk = onward;
        count = rowsRead;
        next = rowsRead > 0 ? 1 : 0;
        size_t bytes = 0;
        for (size_t i = 0; i < rowsRead; ++i) bytes += rows[i].data.size();
        maxSize = bytes > kMaxBytes ? kLargeRecordSize : kMaxSize;
        if (rows.size() > rowsRead && bytes > kMaxBytes) rows.resize(rowsRead);
    }
};

// What a read took from the record it reached: the record (it becomes current for Update and
// Delete) or only its key value (Get Key).
enum class ReadKind { kRecord, kKeyOnly };

// Logical currency is a place on one key path; physical currency a place in record order.
// A deleted record's entry stays as the logical place, so Get Next and Get Previous move on
// from where it was.
struct Cursor {
    int keyNumber = -1;
    Place logical = Place::kNone;
    KeyEntry entry;
    // This block deleted the record of `entry`: whatever now holds that exact place arrived later.
    bool vacated = false;

    Place physical = Place::kNone;
    int64_t position = 0;

    // A record was read (not by Get Key) or written and still exists: Update and Delete may
    // act on `position`.
    bool recordCurrent = false;
    // The current record as this block last read or wrote it (Image()). Update and Delete
    // answer 80 when the stored record differs: another block, of this process or another,
    // changed it since, or deleted it and its position went to a new record. A record served
    // from the rows read ahead stays there until they are read again (KeepImage).
    std::string image;
    std::string* imageAhead = nullptr;
    // Counts the records read, so that a caller can tell whether a read reached one.
    uint64_t recordsRead = 0;

    ReadAhead ahead;
    // A row read alone (Get Equal, Step First, ...). It lives with the block so that its buffers
    // serve the next such read.
    FetchedRow single;

    // The key path's definition when logical currency was set on it, so that a key another
    // process dropped or renumbered in the meantime is noticed instead of misread.
    uint64_t definitionGeneration = 0;
    int keyDefinitionNumber = -1;
    std::string keyDefinition;

    void RememberKey(uint64_t generation, const KeyInfo& key) {
        if (generation == definitionGeneration && key.number == keyDefinitionNumber) return;
        definitionGeneration = generation;
        keyDefinitionNumber = key.number;
        Fingerprint(key, &keyDefinition);
    }

    // True when key `key` is still the key path the block stood on (its number may have
    // changed when a lower key was dropped).
    bool KeyUnchanged(uint64_t generation, const KeyInfo& key) {
        if (generation == definitionGeneration) return true;
        std::string now;
        Fingerprint(key, &now);
        if (now != keyDefinition) return false;
        definitionGeneration = generation;
        keyDefinitionNumber = key.number;
        return true;
    }

    static void Fingerprint(const KeyInfo& key, std::string* out) {
        out->clear();
        for (BtrKeySpec spec : key.specs) {
            spec.keyNumber = 0;
            out->append(reinterpret_cast<const char*>(&spec), sizeof spec);
        }
    }

    const std::string& Image() const { return imageAhead != nullptr ? *imageAhead : image; }
    // Takes the record read; `record` is left with a buffer to reuse.
    void RecordRead(std::string&& record) {
        image.swap(record);
        imageAhead = nullptr;
        ++recordsRead;
    }
    // Takes a record served from the rows read ahead, without copying it.
    void RecordServed(std::string& row) {
        imageAhead = &row;
        ++recordsRead;
    }
    // Before the rows read ahead are read again: a record served from them becomes the block's.
    void KeepImage() {
        if (imageAhead == nullptr) return;
        image.swap(*imageAhead);
        imageAhead = nullptr;
    }
    void RecordWritten(const std::string& record) {
        image = record;
        imageAhead = nullptr;
    }
    void Clear() {
        vacated = false;
        keyNumber = -1;
        logical = Place::kNone;
        physical = Place::kNone;
        recordCurrent = false;
    }

    // Complete currency on the record of `at` along key `key`.
    void SetAt(int key, KeyEntry at, ReadKind read) {
        entry = std::move(at);
        StandOnEntry(key, read);
    }
    // The same for an entry the block read (ahead or alone), whose value the block takes
    // without allocating.
    void TakeEntry(int key, KeyEntry& at, ReadKind read) {
        // Values of one key mostly have one length: then the bytes are simply overwritten.
        if (entry.value.size() == at.value.size()) {
            if (!at.value.empty()) std::memcpy(entry.value.data(), at.value.data(), at.value.size());
        } else {
            entry.value.swap(at.value);
        }
        entry.sequence = at.sequence;
        entry.position = at.position;
        StandOnEntry(key, read);
    }

    void StandOnEntry(int key, ReadKind read) {
        keyNumber = key;
        logical = Place::kAt;
        position = entry.position;
        vacated = false;
        physical = Place::kAt;
        recordCurrent = read == ReadKind::kRecord;
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

#endif  // W3BTRV7_OPS_CURSOR_H
