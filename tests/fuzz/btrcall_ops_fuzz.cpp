// btrcall_ops_fuzz: reads its input as a program of BTRCALL operations on two small data files
// (a fixed-length file with a unique string key, a duplicate integer key, a case-blind ZSTRING
// key with null values and a segmented key with a descending segment under a collating
// sequence; a variable-length file with blank truncation and a two-segment null key), through
// three position blocks, and checks every answer against a model of what the files hold and
// where each block stands.
//
// Every status must be one the model allows; every record, key value, position and Stat reply
// must be the model's. At the end of each program every key is scanned both ways and the file
// stepped through, and the database is checked with SQLite's integrity check and its key tables
// counted.
//
// Environment:
//   BTRCALL_FUZZ_TRACE=1   prints each operation with its status (to read a reproducer).
//   TYDB_FUZZ_DIR=DIR      where the data files go (default: /dev/shm, else the temporary folder).
//   BTRCALL_FUZZ_SERVER_FILE=FILE   a file whose first line is a libpq connection string (as
//                          scripts/test-postgres.sh writes it): the folder is served by that
//                          server, in a schema of its own dropped at the end, so the same programs
//                          and the same model check the server store.
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "btrcall.h"
#include "btrcall_model.h"
#include "fuzz_support.h"
#include "served_folder.h"

// Checks a property of the current operation; the message is only built when it fails.
#define REQUIRE(condition, message)        \
    do {                                   \
        if (!(condition)) Broken(message); \
    } while (false)

namespace {

using btrfuzz::FileModel;
using btrfuzz::KeyDesign;
using btrfuzz::ModelEntry;
using btrfuzz::ModelKey;
using btrfuzz::SegmentDesign;
using fuzzsupport::Escape;
using fuzzsupport::Fail;
using fuzzsupport::Reader;

using Statuses = std::vector<int16_t>;

constexpr int kFileCount = 2;
constexpr int kBlockCount = 3;
constexpr uint8_t kKeySentinel = 0xA5;
constexpr uint8_t kDataSentinel = 0x5A;
constexpr uint32_t kLargeBuffer = 4096;
constexpr uint16_t kFullScale = 10000;

struct Options {
    bool trace = false;
    std::filesystem::path dir;
    std::string paths[kFileCount];
    std::string missingPath;
};

Options& Settings() {
    static Options options;
    return options;
}

// ---- The files ---------------------------------------------------------------------------------

SegmentDesign Seg(int position, int length, uint8_t type, uint16_t flags, uint8_t nullValue = 0) {
    SegmentDesign segment;
    segment.position = position;
    segment.length = length;
    segment.type = type;
    segment.flags = flags;
    segment.nullValue = nullValue;
    return segment;
}

constexpr uint16_t kDup = btr::kKeyFlagDuplicates;
constexpr uint16_t kMod = btr::kKeyFlagModifiable;
constexpr uint16_t kNoCase = btr::kKeyFlagNoCase;
constexpr uint16_t kAcs = btr::kKeyFlagAlternateSequence;
constexpr uint16_t kDesc = btr::kKeyFlagDescending;
constexpr uint16_t kNullAll = btr::kKeyFlagNullAll;
constexpr uint16_t kNullAny = btr::kKeyFlagNullAny;

struct FileDesign {
    int recordLength;
    int pageSize;
    uint16_t fileFlags;
    bool acs;
    std::vector<KeyDesign> keys;
};

const FileDesign& DesignOf(int file) {
    static const FileDesign kDesigns[kFileCount] = {
        {32,
         4096,
         0,
         true,
         {
             KeyDesign{{Seg(1, 4, btr::kTypeString, kMod)}},
             KeyDesign{{Seg(5, 2, btr::kTypeInteger, kDup | kMod)}},
             KeyDesign{{Seg(7, 6, btr::kTypeZstring, kMod | kNoCase | kNullAll, 0)}},
             KeyDesign{{Seg(13, 2, btr::kTypeUnsignedBinary, kDup), Seg(15, 3, btr::kTypeString, kDup | kDesc | kAcs)}},
         }},
        {12,
         1024,
         btr::kFileFlagVariableLength | btr::kFileFlagBlankTruncation,
         false,
         {
             KeyDesign{{Seg(1, 4, btr::kTypeInteger, kMod)}},
             KeyDesign{{Seg(5, 6, btr::kTypeLstring, kDup | kMod | kNullAny, 0),
                        Seg(11, 2, btr::kTypeUnsignedBinary, kDup | kMod | kNullAny, 0)}},
         }},
    };
    return kDesigns[file];
}

// Keys Create Index is asked to add; some fit only one of the files, one fits neither.
const std::vector<KeyDesign>& IndexDesigns() {
    static const std::vector<KeyDesign> kIndexes = {
        KeyDesign{{Seg(19, 4, btr::kTypeInteger, kDup | kMod | kDesc)}},
        KeyDesign{{Seg(21, 2, btr::kTypeString, kMod | kNoCase)}},
        KeyDesign{{Seg(3, 2, btr::kTypeUnsignedBinary, kDup | kMod)}},
        KeyDesign{{Seg(9, 3, btr::kTypeZstring, kNoCase)}},
        KeyDesign{{Seg(15, 3, btr::kTypeString, kDup | kAcs)}},
        KeyDesign{{Seg(1, 1, btr::kTypeUnsignedBinary, kDup | kMod | kNullAny, 'A'),
                   Seg(5, 2, btr::kTypeInteger, kDup | kMod | kNullAny, 0)}},
        KeyDesign{{Seg(1, 3, btr::kTypeFloat, 0)}},
        KeyDesign{{Seg(31, 4, btr::kTypeString, 0)}},
    };
    return kIndexes;
}

std::string CreateBuffer(const FileDesign& design) {
    BtrFileSpec spec{};
    spec.recordLength = static_cast<int16_t>(design.recordLength);
    spec.pageSize = static_cast<int16_t>(design.pageSize);
    spec.keyCount = static_cast<uint8_t>(design.keys.size());
    spec.fileFlags = design.fileFlags;
    std::string buffer(reinterpret_cast<const char*>(&spec), sizeof spec);
    for (const KeyDesign& key : design.keys) {
        for (const BtrKeySpec& segment : key.Specs())
            buffer.append(reinterpret_cast<const char*>(&segment), sizeof segment);
    }
    if (design.acs) buffer += btrfuzz::AcsBlock();
    return buffer;
}

FileModel InitialModel(int file) {
    const FileDesign& design = DesignOf(file);
    FileModel model;
    model.recordLength = design.recordLength;
    model.pageSize = design.pageSize;
    model.fileFlags = design.fileFlags;
    model.hasAcs = design.acs;
    for (size_t k = 0; k < design.keys.size(); ++k) model.AddKey(static_cast<int>(k), design.keys[k]);
    return model;
}

// Status codes the model can predict, for the trace and for messages.
std::string StatusList(const Statuses& statuses) {
    std::string out;
    for (int16_t s : statuses) out += (out.empty() ? "" : "/") + std::to_string(s);
    return out;
}

bool Allowed(const Statuses& statuses, int16_t status) {
    return std::find(statuses.begin(), statuses.end(), status) != statuses.end();
}

// ---- Record values -----------------------------------------------------------------------------

struct Field {
    int offset;
    std::vector<std::string> palette;
};

std::string Le(int64_t value, int width) {
    std::string out;
    for (int i = 0; i < width; ++i) out.push_back(static_cast<char>(static_cast<uint64_t>(value) >> (8 * i)));
    return out;
}

std::string Text(const char* bytes, size_t length) { return std::string(bytes, length); }

const std::vector<Field>& FieldsOf(int file) {
    static const std::vector<Field> kFieldsA = {
        {0, {"AAAA", "AAAB", "aaaa", "BBBB", "abcd", "ABCD", "    ", "zz  "}},
        {4, {Le(0, 2), Le(1, 2), Le(-1, 2), Le(2, 2), Le(-2, 2), Le(0x7FFF, 2), Le(-0x8000, 2), Le(256, 2)}},
        {6,
         {Text("\0\0\0\0\0\0", 6), Text("ab\0\0\0\0", 6), Text("AB\0xyz", 6), Text("abc\0\0\0", 6),
          Text("ABC\0\0\0", 6), Text("\0junk\0", 6), Text("abcdef", 6), Text("Ab\0\0\0\0", 6)}},
        {12, {Le(0, 2), Le(1, 2), Le(2, 2), Le(255, 2), Le(256, 2), Le(65535, 2), Le(3, 2), Le(1, 2)}},
        {14, {"abc", "ABC", "a9 ", "A0 ", "zzz", "   ", "a0 ", "A9 "}},
        {17,
         {std::string(15, '\0'), std::string(15, 'a'), std::string(15, 'A'), std::string(15, 'b'), std::string(15, '1'),
          std::string(15, ' '), std::string(15, 'z'), std::string(15, 'Z')}},
    };
    static const std::vector<Field> kFieldsB = {
        {0, {Le(0, 4), Le(1, 4), Le(-1, 4), Le(2, 4), Le(3, 4), Le(0x7FFFFFFF, 4), Le(INT32_MIN, 4), Le(256, 4)}},
        {4,
         {Text("\0\0\0\0\0\0", 6),
          Text("\x02"
               "ab\0\0\0",
               6),
          Text("\x02"
               "AB\0\0\0",
               6),
          Text("\x05"
               "abcde",
               6),
          Text("\xff"
               "abcde",
               6),
          Text("\x03"
               "ab\0zz",
               6),
          Text("\0zzzzz", 6),
          Text("\x02"
               "ab\x01\x01\x01",
               6)}},
        {10, {Le(0, 2), Le(1, 2), Le(2, 2), Le(256, 2), Le(1, 2), Le(2, 2), Le(0, 2), Le(65535, 2)}},
    };
    return file == 0 ? kFieldsA : kFieldsB;
}

size_t FieldLength(const Field& field) { return field.palette.front().size(); }

std::string FieldValue(const Field& field, Reader& in) {
    uint8_t choice = in.Byte();
    if (choice >= 0xE0) return in.Bytes(FieldLength(field));
    return field.palette[choice % field.palette.size()];
}

std::string VariablePart(Reader& in) {
    uint8_t choice = in.Byte();
    size_t length = choice % 20;
    switch ((choice >> 5) & 3) {
        case 0: return std::string(length, ' ');
        case 1: return std::string("abc").substr(0, length) + std::string(length > 3 ? length - 3 : 0, ' ');
        case 2: return in.Bytes(length);
        default: return std::string(length, 'v');
    }
}

// A record for `file`: a new one, or `base` with one or two fields changed.
std::string MakeRecord(int file, Reader& in, const std::string* base) {
    const std::vector<Field>& fields = FieldsOf(file);
    const FileDesign& design = DesignOf(file);
    bool variable = (design.fileFlags & btr::kFileFlagVariableLength) != 0;
    std::string record;
    if (base != nullptr) {
        record = *base;
        int changes = 1 + in.Byte() % 2;
        for (int i = 0; i < changes; ++i) {
            size_t which = in.Pick(fields.size() + (variable ? 1 : 0));
            if (which == fields.size()) {
                record = record.substr(0, static_cast<size_t>(design.recordLength)) + VariablePart(in);
            } else {
                record.replace(static_cast<size_t>(fields[which].offset), FieldLength(fields[which]),
                               FieldValue(fields[which], in));
            }
        }
        return record;
    }
    record.assign(static_cast<size_t>(design.recordLength), '\0');
    for (const Field& field : fields)
        record.replace(static_cast<size_t>(field.offset), FieldLength(field), FieldValue(field, in));
    if (variable) record += VariablePart(in);
    return record;
}

// ---- Position blocks as the model sees them ------------------------------------------------------

enum class Place { kNone, kAt, kBeforeFirst, kAfterLast };

struct Block {
    uint8_t pb[btr::kPositionBlockSize] = {};
    bool open = false;
    int file = 0;
    int8_t mode = 0;
    // Logical currency: a place on key `keyNumber`.
    int keyNumber = -1;
    Place logical = Place::kNone;
    ModelEntry place;
    bool vacated = false;  // this block deleted the record of `place`
    // Physical currency.
    Place physical = Place::kNone;
    int64_t position = 0;
    bool recordCurrent = false;
    uint64_t readId = 0;  // the version of the record this block last read or wrote
    int64_t singleLock = 0;
    std::vector<int64_t> multipleLocks;

    void Clear() {
        keyNumber = -1;
        logical = Place::kNone;
        vacated = false;
        physical = Place::kNone;
        recordCurrent = false;
    }
    void SetAt(int key, const ModelEntry& entry, bool read) {
        keyNumber = key;
        logical = Place::kAt;
        place = entry;
        vacated = false;
        physical = Place::kAt;
        position = entry.position;
        recordCurrent = read;
    }
    void SetPhysical(int64_t at) {
        keyNumber = -1;
        logical = Place::kNone;
        physical = Place::kAt;
        position = at;
        recordCurrent = true;
    }
    bool HoldsMultiple(int64_t at) const {
        return std::find(multipleLocks.begin(), multipleLocks.end(), at) != multipleLocks.end();
    }
    void ReleaseLocksOn(int64_t at) {
        if (singleLock == at) singleLock = 0;
        auto it = std::find(multipleLocks.begin(), multipleLocks.end(), at);
        if (it != multipleLocks.end()) multipleLocks.erase(it);
    }
    void ReleaseLocks() {
        singleLock = 0;
        multipleLocks.clear();
    }
    // The record lock a locking read takes on the record it reached.
    void KeepLock(int64_t at, uint8_t lock) {
        if (lock >= 3) {
            if (!HoldsMultiple(at)) multipleLocks.push_back(at);
        } else {
            singleLock = at;
        }
    }
    bool LockConflicts(uint8_t lock) const { return lock >= 3 ? singleLock != 0 : !multipleLocks.empty(); }
};

struct Transaction {
    bool active = false;
    uint8_t defaultLock = 0;
    std::array<FileModel, kFileCount> before;
};

// A key buffer exactly as large as the capacity the call declares, unless the call declares 255
// over a buffer that holds just the key, as many callers do.
struct KeyBuffer {
    std::vector<uint8_t> bytes;
    uint8_t declared = 255;
};

// ---- One program ---------------------------------------------------------------------------------

class Session {
public:
    explicit Session(Reader& in) : in_(in) {}

    void Run() {
        Start();
        int count = 0;
        while (!in_.Empty() && count < 400) {
            ++count;
            Step();
        }
        Finish();
    }

private:
    Reader& in_;
    std::array<FileModel, kFileCount> files_;
    std::array<Block, kBlockCount> blocks_;
    Transaction tx_;
    uint64_t nextId_ = 1;
    // The bytes of every version of a record ever written, by id: the record manager tells a
    // changed record by its bytes, so a version with the same bytes passes as unchanged.
    std::map<uint64_t, std::string> versions_;
    uint64_t NewVersion(const std::string& data) {
        versions_[nextId_] = data;
        return nextId_++;
    }
    // The current record differs from the one the block last read or wrote.
    bool Changed(const Block& block, const btrfuzz::ModelRecord& current) const {
        auto read = versions_.find(block.readId);
        return current.id != block.readId && (read == versions_.end() || read->second != current.data);
    }
    int opNumber_ = 0;
    std::string opName_;

    // ---- Calls and checks

    int16_t Call(uint16_t op, uint8_t* pb, std::vector<uint8_t>& data, uint32_t* length, KeyBuffer& key, int8_t kn) {
        return BTRCALL(op, pb, data.empty() ? nullptr : data.data(), length, key.bytes.data(), key.declared, kn);
    }

    void Begin(const std::string& name) {
        ++opNumber_;
        opName_ = name;
    }

    void Expect(int16_t status, const Statuses& allowed) {
        if (Settings().trace) {
            std::fprintf(stderr, "#%d %s -> %d (model: %s)\n", opNumber_, opName_.c_str(), status,
                         StatusList(allowed).c_str());
        }
        if (!Allowed(allowed, status)) {
            Broken("status " + std::to_string(status) + ", the model allows " + StatusList(allowed));
        }
    }

    [[noreturn]] void Broken(const std::string& what) const {
        Fail("#" + std::to_string(opNumber_) + " " + opName_ + ": " + what);
    }

    static std::string BlockName(int b) { return "block " + std::to_string(b); }

    // A block for an operation: rarely one that is closed while another is open.
    Block& PickBlock(int* index) {
        *index = static_cast<int>(in_.Pick(kBlockCount));
        if (!blocks_[static_cast<size_t>(*index)].open && in_.Byte() % 8 != 7) {
            for (int i = 0; i < kBlockCount; ++i) {
                if (blocks_[static_cast<size_t>(i)].open) *index = i;
            }
        }
        return blocks_[static_cast<size_t>(*index)];
    }

    // Mostly a key the file has; sometimes a number it may not have, or none at all.
    int PickKeyNumber(const FileModel& file) {
        uint8_t c = in_.Byte();
        if (c % 16 < 10 && !file.keys.empty()) return file.keys[(c / 16) % file.keys.size()].number;
        switch (c % 16) {
            case 10: return -1;
            case 11: return 119;
            case 12: return 7;
            case 13: return -3;
            default: return c % 6;
        }
    }

    KeyBuffer MakeKeyBuffer(size_t keyLength, bool /*lockingRead*/) {
        KeyBuffer key;
        // A zero byte (as an input's end reads) gives the ordinary choice.
        switch (in_.Pick(8)) {
            case 5:
                key.declared = static_cast<uint8_t>(keyLength);
                key.bytes.assign(keyLength, kKeySentinel);
                break;
            case 6:
                if (keyLength > 1) {
                    key.declared = static_cast<uint8_t>(keyLength - 1);
                    key.bytes.assign(keyLength - 1, kKeySentinel);
                    break;
                }
                [[fallthrough]];
            case 7:
                // A buffer as long as the key, declared as 255 bytes: AddressSanitizer stops a read
                // past it.
                key.declared = 255;
                key.bytes.assign(keyLength, kKeySentinel);
                break;
            default:
                key.declared = 255;
                key.bytes.assign(255, kKeySentinel);
                break;
        }
        return key;
    }

    // A capacity for a read whose record (if the model expects one) is `size` bytes.
    uint32_t PickCapacity(size_t size) {
        switch (in_.Pick(16)) {
            case 13: return size > 0 ? static_cast<uint32_t>(size - 1) : 0;
            case 14: return in_.Byte() % 8;
            case 15: return static_cast<uint32_t>(size);
            default: return kLargeBuffer;
        }
    }

    uint8_t EffectiveLock(uint8_t lock, bool getKey) const {
        if (getKey) return 0;
        if (lock != 0) return lock;
        return tx_.active ? tx_.defaultLock : 0;
    }

    // The search value of a Get or Find Percentage on `key` (nullptr: the key does not exist).
    std::string SearchValue(const FileModel& file, const ModelKey* key, int fileIndex) {
        if (key == nullptr) return in_.Bytes(4);
        size_t length = key->order.Design().Length();
        uint8_t choice = in_.Byte();
        switch (choice % 4) {
            case 0:
            case 1: {
                if (file.records.empty()) return in_.Bytes(length);
                auto it = file.records.begin();
                std::advance(it, static_cast<long>(in_.Pick(file.records.size())));
                std::string value = key->order.ValueOf(it->second.data);
                size_t at = in_.Pick(length);
                switch ((choice >> 2) % 4) {
                    case 1: value[at] = static_cast<char>(value[at] ^ 0x20); break;
                    case 2: value[at] = static_cast<char>(value[at] + 1); break;
                    case 3: value[at] = static_cast<char>(value[at] - 1); break;
                    default: break;
                }
                return value;
            }
            case 2: return key->order.ValueOf(MakeRecord(fileIndex, in_, nullptr));
            default: return in_.Bytes(length);
        }
    }

    // Checks the key buffer after a call: the key value in front when `value` is given, and
    // nothing written after it (or anywhere, without a value).
    void CheckKeyBuffer(const KeyBuffer& key, const std::string* value, const std::string& untouched) {
        size_t from = 0;
        if (value != nullptr) {
            REQUIRE(
                key.bytes.size() >= value->size() && std::memcmp(key.bytes.data(), value->data(), value->size()) == 0,
                "key buffer holds \"" +
                    Escape(std::string(key.bytes.begin(), key.bytes.begin() + static_cast<long>(std::min(
                                                                                  key.bytes.size(), value->size())))) +
                    "\", the model's key value is \"" + Escape(*value) + "\"");
            from = value->size();
        }
        for (size_t i = from; i < key.bytes.size(); ++i) {
            uint8_t expected = i < untouched.size() ? static_cast<uint8_t>(untouched[i]) : kKeySentinel;
            REQUIRE(key.bytes[i] == expected, "key buffer byte " + std::to_string(i) + " written");
        }
    }

    // Get Position on block `b` must name `position`.
    void CheckPosition(Block& block, int64_t position) {
        std::vector<uint8_t> data(4, kDataSentinel);
        uint32_t length = 4;
        KeyBuffer key;
        key.bytes.assign(255, kKeySentinel);
        int16_t status = Call(btr::kOpGetPosition, block.pb, data, &length, key, 0);
        uint32_t got;
        std::memcpy(&got, data.data(), 4);
        REQUIRE(status == 0 && length == 4 && got == static_cast<uint32_t>(position),
                "Get Position after it answers " + std::to_string(status) + " with position " + std::to_string(got) +
                    ", the model expects " + std::to_string(position));
    }

    // Checks a record a read returned (status 0 or 22) against the model's record.
    void CheckRecord(const std::vector<uint8_t>& data, uint32_t length, uint32_t capacity, const std::string& record,
                     int16_t status) {
        size_t expected = std::min<size_t>(capacity, record.size());
        REQUIRE(length == expected, "data length " + std::to_string(length) + ", the model expects " +
                                        std::to_string(expected) + " (record of " + std::to_string(record.size()) +
                                        " bytes, capacity " + std::to_string(capacity) + ")");
        REQUIRE(expected == 0 || std::memcmp(data.data(), record.data(), expected) == 0,
                "record \"" + Escape(std::string(data.begin(), data.begin() + static_cast<long>(expected))) +
                    "\", the model's is \"" + Escape(record.substr(0, expected)) + "\"");
        REQUIRE(status == (record.size() <= capacity ? 0 : btr::kStatusDataLengthError), "status for the capacity");
    }

    // ---- Key order questions

    std::vector<ModelEntry> Entries(int file, const ModelKey& key) const {
        return files_[static_cast<size_t>(file)].Entries(key);
    }

    std::optional<ModelEntry> NextFrom(const Block& block, const FileModel& file, const ModelKey& key) const {
        const ModelEntry& place = block.place;
        std::vector<ModelEntry> entries = file.Entries(key);
        if (key.order.Design().Duplicates()) {
            // A later arrival that took the exact place of the entry the block stood on comes next.
            for (const ModelEntry& e : entries) {
                if (key.order.Compare(e.value, place.value) == 0 && e.seq == place.seq &&
                    (block.vacated || e.position != place.position)) {
                    return e;
                }
            }
        }
        for (const ModelEntry& e : entries) {
            int c = key.order.Compare(e.value, place.value);
            if (c > 0 || (c == 0 && e.seq > place.seq)) return e;
        }
        return std::nullopt;
    }

    std::optional<ModelEntry> PreviousFrom(const Block& block, const FileModel& file, const ModelKey& key) const {
        const ModelEntry& place = block.place;
        std::vector<ModelEntry> entries = file.Entries(key);
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            int c = key.order.Compare(it->value, place.value);
            if (c < 0 || (c == 0 && it->seq < place.seq)) return *it;
        }
        return std::nullopt;
    }

    std::optional<ModelEntry> Search(const FileModel& file, const ModelKey& key, uint16_t base,
                                     const std::string& value) const {
        std::vector<ModelEntry> entries = file.Entries(key);
        if (entries.empty()) return std::nullopt;
        switch (base) {
            case btr::kOpGetFirst: return entries.front();
            case btr::kOpGetLast: return entries.back();
            default: break;
        }
        if (base == btr::kOpGetLess || base == btr::kOpGetLessOrEqual) {
            for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
                int c = key.order.Compare(it->value, value);
                if (c < 0 || (c == 0 && base == btr::kOpGetLessOrEqual)) return *it;
            }
            return std::nullopt;
        }
        for (const ModelEntry& e : entries) {
            int c = key.order.Compare(e.value, value);
            if ((base == btr::kOpGetEqual && c == 0) || (base == btr::kOpGetGreater && c > 0) ||
                (base == btr::kOpGetGreaterOrEqual && c >= 0)) {
                return e;
            }
        }
        return std::nullopt;
    }

    // ---- Setup and the end of a program

    void Start() {
        std::vector<uint8_t> none;
        uint32_t length = 0;
        KeyBuffer key;
        key.bytes.assign(255, 0);
        uint8_t pb[btr::kPositionBlockSize] = {};
        Begin("Reset");
        Expect(Call(btr::kOpReset, pb, none, &length, key, 0), {0});
        for (int f = 0; f < kFileCount; ++f) {
            Begin("Create file " + std::to_string(f));
            Expect(CreateFile(f, 0), {0});
            files_[static_cast<size_t>(f)] = InitialModel(f);
        }
        for (int b = 0; b < kBlockCount; ++b) {
            Begin("Open " + BlockName(b));
            Expect(OpenBlock(blocks_[static_cast<size_t>(b)], b == 2 ? 1 : 0, 0), {0});
        }
    }

    int16_t CreateFile(int file, int8_t mode) {
        std::string buffer = CreateBuffer(DesignOf(file));
        std::vector<uint8_t> data(buffer.begin(), buffer.end());
        uint32_t length = static_cast<uint32_t>(data.size());
        KeyBuffer key;
        key.bytes.assign(255, 0);
        std::memcpy(key.bytes.data(), Settings().paths[file].c_str(), Settings().paths[file].size());
        uint8_t pb[btr::kPositionBlockSize] = {};
        return Call(btr::kOpCreate, pb, data, &length, key, mode);
    }

    int16_t OpenBlock(Block& block, int file, int8_t mode) {
        std::vector<uint8_t> data(1, 0);
        uint32_t length = 0;
        KeyBuffer key;
        key.bytes.assign(255, 0);
        std::memcpy(key.bytes.data(), Settings().paths[file].c_str(), Settings().paths[file].size());
        int16_t status = Call(btr::kOpOpen, block.pb, data, &length, key, mode);
        if (status == 0) {
            Block fresh;
            std::memcpy(fresh.pb, block.pb, sizeof fresh.pb);
            fresh.open = true;
            fresh.file = file;
            fresh.mode = mode;
            block = fresh;
        }
        return status;
    }

    void Finish();
    void VerifyFile(int file);
    void VerifyDatabase(int file);

    // ---- Operations
    void Step();
    void OpInsert();
    void OpUpdate();
    void OpDelete();
    void OpGet();
    void OpStep();
    void OpGetPosition();
    void OpGetDirect();
    void OpTransaction();
    void OpCreateIndex();
    void OpDropIndex();
    void OpClose();
    void OpOpen();
    void OpUnlock();
    void OpStat();
    void OpGetByPercentage();
    void OpFindPercentage();
    void OpCreateOrReset();
    void OpOther();

    void CheckStat(int fileIndex, const std::vector<uint8_t>& data, uint32_t length, uint32_t capacity, int8_t kn);
    void ApplyRead(Block& block, int key, const ModelEntry& entry, bool getKey, uint8_t lock);
    // Abort gives back the files as they were at Begin. A block that last read or wrote a
    // version written inside the transaction holds bytes the file no longer has: Update and
    // Delete through it answer 80 until it reads the record again.
    void AbortModel() {
        files_ = tx_.before;
        tx_.active = false;
    }
    void ResetModel() {
        if (tx_.active) AbortModel();
        for (Block& block : blocks_) block.open = false;
    }
};

void Session::ApplyRead(Block& block, int key, const ModelEntry& entry, bool getKey, uint8_t lock) {
    block.SetAt(key, entry, !getKey);
    if (!getKey) block.readId = files_[static_cast<size_t>(block.file)].records.at(entry.position).id;
    if (lock != 0) block.KeepLock(entry.position, lock);
}

void Session::Step() {
    // Weights: writes and reads most, the operations that close or reset blocks least.
    static const std::pair<void (Session::*)(), int> kOperations[] = {
        {&Session::OpInsert, 6},
        {&Session::OpUpdate, 3},
        {&Session::OpDelete, 2},
        {&Session::OpGet, 6},
        {&Session::OpStep, 2},
        {&Session::OpGetPosition, 1},
        {&Session::OpGetDirect, 2},
        {&Session::OpTransaction, 2},
        {&Session::OpCreateIndex, 1},
        {&Session::OpDropIndex, 1},
        {&Session::OpClose, 1},
        {&Session::OpOpen, 2},
        {&Session::OpUnlock, 1},
        {&Session::OpStat, 1},
        {&Session::OpGetByPercentage, 1},
        {&Session::OpFindPercentage, 1},
        {&Session::OpCreateOrReset, 1},
        {&Session::OpOther, 1},
    };
    int total = 0;
    for (const auto& [op, weight] : kOperations) total += weight;
    int choice = static_cast<int>(in_.Pick(static_cast<size_t>(total)));
    for (const auto& [op, weight] : kOperations) {
        if (choice < weight) return (this->*op)();
        choice -= weight;
    }
}

void Session::OpInsert() {
    int b;
    Block& block = PickBlock(&b);
    static const uint16_t kCodes[] = {2, 102, 202, 302, 402, 502, 702};
    uint16_t op = kCodes[in_.Pick(std::size(kCodes))];
    int kn = PickKeyNumber(files_[static_cast<size_t>(block.file)]);
    FileModel& file = files_[static_cast<size_t>(block.file)];
    std::string record = MakeRecord(block.file, in_, nullptr);
    uint32_t length = static_cast<uint32_t>(record.size());
    if (in_.Pick(16) == 15) length = file.Variable() ? static_cast<uint32_t>(file.recordLength - 1) : length + 1;
    const ModelKey* key = file.Key(kn);
    KeyBuffer keyBuffer = MakeKeyBuffer(key != nullptr ? key->order.Design().Length() : 4, false);
    Begin("Insert (" + std::to_string(op) + ") " + BlockName(b) + " key " + std::to_string(kn) + " \"" +
          Escape(record.substr(0, length)) + "\"");

    Statuses errors;
    if (!block.open) errors.push_back(btr::kStatusFileNotOpen);
    if (block.open && block.mode == btr::kOpenReadOnly) errors.push_back(btr::kStatusAccessDenied);
    if (kn != -1 && key == nullptr) errors.push_back(btr::kStatusInvalidKeyNumber);
    if (key != nullptr && keyBuffer.declared < key->order.Design().Length())
        errors.push_back(btr::kStatusKeyBufferTooShort);
    bool lengthOk = file.Variable() ? length >= static_cast<uint32_t>(file.recordLength) : length == record.size();
    if (!lengthOk) errors.push_back(btr::kStatusDataLengthError);
    std::string stored = file.Stored(record.substr(0, std::min<size_t>(length, record.size())));
    bool collides = errors.empty() && file.Collides(stored, 0);

    std::vector<uint8_t> data(record.begin(), record.end());
    if (data.size() < length) data.resize(length, 0);
    uint32_t dataLength = length;
    int16_t status = Call(op, block.pb, data, &dataLength, keyBuffer, static_cast<int8_t>(kn));
    Expect(status, !errors.empty() ? errors : collides ? Statuses{btr::kStatusDuplicateKey} : Statuses{0});
    REQUIRE(dataLength == length, "data length changed by Insert");
    if (status != 0) return;
    REQUIRE(std::memcmp(data.data(), record.data(), std::min<size_t>(length, record.size())) == 0,
            "data buffer changed by Insert");
    if (key != nullptr) {
        std::string value = key->order.ValueOf(stored);
        CheckKeyBuffer(keyBuffer, &value, "");
    } else {
        CheckKeyBuffer(keyBuffer, nullptr, "");
    }
    // The new record's position: physical currency is on it.
    std::vector<uint8_t> where(4, 0);
    uint32_t whereLength = 4;
    KeyBuffer unused;
    unused.bytes.assign(255, 0);
    REQUIRE(Call(btr::kOpGetPosition, block.pb, where, &whereLength, unused, 0) == 0, "Get Position after Insert");
    uint32_t position;
    std::memcpy(&position, where.data(), 4);
    REQUIRE(position != 0 && file.records.count(position) == 0,
            "Insert put the record at position " + std::to_string(position) + ", which holds a record");
    file.Insert(position, stored, NewVersion(stored));
    block.readId = file.records.at(position).id;
    if (key == nullptr) {
        block.physical = Place::kAt;
        block.position = position;
        block.recordCurrent = true;
    } else if (key->order.IsNull(stored)) {
        block.SetPhysical(position);
        block.keyNumber = kn;
    } else {
        block.SetAt(kn, file.EntryOf(*key, position), true);
    }
}

void Session::OpUpdate() {
    int b;
    Block& block = PickBlock(&b);
    static const uint16_t kCodes[] = {3, 103, 203, 303, 403, 503};
    uint16_t op = kCodes[in_.Pick(std::size(kCodes))];
    int kn = PickKeyNumber(files_[static_cast<size_t>(block.file)]);
    FileModel& file = files_[static_cast<size_t>(block.file)];
    auto current = file.records.find(block.position);
    bool present = block.open && block.physical == Place::kAt && current != file.records.end();
    std::string record = MakeRecord(block.file, in_, present ? &current->second.data : nullptr);
    uint32_t length = static_cast<uint32_t>(record.size());
    if (in_.Pick(16) == 15) length = file.Variable() ? static_cast<uint32_t>(file.recordLength - 1) : length + 1;
    const ModelKey* key = file.Key(kn);
    KeyBuffer keyBuffer = MakeKeyBuffer(key != nullptr ? key->order.Design().Length() : 4, false);
    Begin("Update (" + std::to_string(op) + ") " + BlockName(b) + " key " + std::to_string(kn) + " \"" +
          Escape(record.substr(0, length)) + "\"");

    Statuses errors;
    if (!block.open) errors.push_back(btr::kStatusFileNotOpen);
    if (block.open && block.mode == btr::kOpenReadOnly) errors.push_back(btr::kStatusAccessDenied);
    if (block.open && (!block.recordCurrent || block.physical != Place::kAt))
        errors.push_back(btr::kStatusInvalidPositioning);
    if (kn != -1 && key == nullptr) errors.push_back(btr::kStatusInvalidKeyNumber);
    if (key != nullptr && keyBuffer.declared < key->order.Design().Length())
        errors.push_back(btr::kStatusKeyBufferTooShort);
    bool lengthOk = file.Variable() ? length >= static_cast<uint32_t>(file.recordLength) : length == record.size();
    if (!lengthOk) errors.push_back(btr::kStatusDataLengthError);
    std::string stored = file.Stored(record.substr(0, std::min<size_t>(length, record.size())));

    Statuses expected;
    bool conflict = false;
    if (!errors.empty()) {
        expected = errors;
    } else if (current == file.records.end()) {
        expected = {btr::kStatusInvalidPositioning};
    } else {
        conflict = Changed(block, current->second);
        for (const ModelKey& k : file.keys) {
            if (!k.order.Design().Modifiable() && k.order.ValueOf(current->second.data) != k.order.ValueOf(stored)) {
                expected.push_back(btr::kStatusModifiableKeyError);
                break;
            }
        }
        if (file.Collides(stored, block.position)) expected.push_back(btr::kStatusDuplicateKey);
        if (expected.empty()) expected = {0};
        if (conflict) expected = {btr::kStatusConflict};
    }

    std::vector<uint8_t> data(record.begin(), record.end());
    if (data.size() < length) data.resize(length, 0);
    uint32_t dataLength = length;
    int16_t status = Call(op, block.pb, data, &dataLength, keyBuffer, static_cast<int8_t>(kn));
    Expect(status, expected);
    REQUIRE(dataLength == length, "data length changed by Update");
    if (status != 0) return;
    if (key != nullptr) {
        std::string value = key->order.ValueOf(stored);
        CheckKeyBuffer(keyBuffer, &value, "");
    } else {
        CheckKeyBuffer(keyBuffer, nullptr, "");
    }
    file.Update(block.position, stored, NewVersion(stored));
    block.readId = file.records.at(block.position).id;
    if (block.singleLock == block.position) block.ReleaseLocksOn(block.position);
    if (key != nullptr && !key->order.IsNull(stored) && (block.keyNumber == kn || block.logical == Place::kNone)) {
        block.keyNumber = kn;
        block.logical = Place::kAt;
        block.place = file.EntryOf(*key, block.position);
        block.vacated = false;
    }
}

void Session::OpDelete() {
    int b;
    Block& block = PickBlock(&b);
    static const uint16_t kCodes[] = {4, 104, 504};
    uint16_t op = kCodes[in_.Pick(std::size(kCodes))];
    int8_t kn = static_cast<int8_t>(PickKeyNumber(files_[static_cast<size_t>(block.file)]));
    FileModel& file = files_[static_cast<size_t>(block.file)];
    Begin("Delete (" + std::to_string(op) + ") " + BlockName(b));
    Statuses expected;
    if (!block.open) expected.push_back(btr::kStatusFileNotOpen);
    if (block.open && block.mode == btr::kOpenReadOnly) expected.push_back(btr::kStatusAccessDenied);
    if (block.open && (!block.recordCurrent || block.physical != Place::kAt))
        expected.push_back(btr::kStatusInvalidPositioning);
    auto current = file.records.find(block.position);
    bool conflict = false;
    if (expected.empty()) {
        if (current == file.records.end()) {
            expected = {btr::kStatusInvalidPositioning};
        } else {
            conflict = Changed(block, current->second);
            expected = {conflict ? btr::kStatusConflict : int16_t{0}};
        }
    }
    std::vector<uint8_t> data(8, kDataSentinel);
    uint32_t length = 8;
    KeyBuffer key;
    key.bytes.assign(255, kKeySentinel);
    int16_t status = Call(op, block.pb, data, &length, key, kn);
    Expect(status, expected);
    if (status != 0) return;
    CheckKeyBuffer(key, nullptr, "");
    file.Delete(block.position);
    block.ReleaseLocksOn(block.position);
    if (block.logical == Place::kAt && block.place.position == block.position) block.vacated = true;
    block.physical = Place::kNone;
    block.recordCurrent = false;
}

void Session::OpGet() {
    int b;
    Block& block = PickBlock(&b);
    uint16_t base = static_cast<uint16_t>(btr::kOpGetEqual + in_.Pick(9));
    int kn = PickKeyNumber(files_[static_cast<size_t>(block.file)]);
    uint8_t bias = in_.Byte();
    bool getKey = bias % 5 == 1;
    uint8_t lock = static_cast<uint8_t>((bias / 5) % 8);
    if (lock > 4) lock = 0;
    uint16_t op = static_cast<uint16_t>(base + (getKey ? btr::kBiasGetKey : 0) + 100 * lock);
    FileModel& file = files_[static_cast<size_t>(block.file)];
    const ModelKey* key = block.open ? file.Key(kn) : nullptr;
    bool searches =
        base != btr::kOpGetNext && base != btr::kOpGetPrevious && base != btr::kOpGetFirst && base != btr::kOpGetLast;
    std::string search = searches ? SearchValue(file, key, block.file) : std::string();
    uint8_t effectiveLock = EffectiveLock(lock, getKey);
    KeyBuffer keyBuffer = MakeKeyBuffer(key != nullptr ? key->order.Design().Length() : 4, effectiveLock != 0);
    std::memcpy(keyBuffer.bytes.data(), search.data(), std::min(search.size(), keyBuffer.bytes.size()));
    std::string untouched(keyBuffer.bytes.begin(), keyBuffer.bytes.end());
    Begin("Get (" + std::to_string(op) + ") " + BlockName(b) + " key " + std::to_string(kn) +
          (searches ? " \"" + Escape(search) + "\"" : ""));

    // Preconditions, which change nothing.
    Statuses errors;
    if (!block.open) errors.push_back(btr::kStatusFileNotOpen);
    if (block.open && effectiveLock != 0 && block.LockConflicts(effectiveLock))
        errors.push_back(btr::kStatusIncompatibleLockType);
    if (block.open && key == nullptr) errors.push_back(btr::kStatusInvalidKeyNumber);
    if (key != nullptr && keyBuffer.declared < key->order.Design().Length())
        errors.push_back(btr::kStatusKeyBufferTooShort);
    bool chained = base == btr::kOpGetNext || base == btr::kOpGetPrevious;
    if (chained && block.open && key != nullptr) {
        if (block.logical == Place::kNone) {
            errors.push_back(btr::kStatusInvalidPositioning);
        } else if (block.keyNumber != kn) {
            errors.push_back(btr::kStatusDifferentKeyNumber);
        }
    }
    bool atEnd = chained && errors.empty() &&
                 ((base == btr::kOpGetNext && block.logical == Place::kAfterLast) ||
                  (base == btr::kOpGetPrevious && block.logical == Place::kBeforeFirst));

    std::optional<ModelEntry> target;
    if (errors.empty() && !atEnd) {
        if (chained) {
            bool next = base == btr::kOpGetNext;
            if (block.logical == Place::kAt) {
                target = next ? NextFrom(block, file, *key) : PreviousFrom(block, file, *key);
            } else {
                target = Search(file, *key, next ? btr::kOpGetFirst : btr::kOpGetLast, "");
            }
        } else {
            target = Search(file, *key, base, search);
        }
    }
    std::string record = target ? file.records.at(target->position).data : std::string();
    uint32_t capacity = PickCapacity(record.size());
    std::vector<uint8_t> data(capacity, kDataSentinel);
    uint32_t length = capacity;

    Statuses expected;
    if (!errors.empty()) {
        expected = errors;
    } else if (atEnd || !target) {
        expected = {base == btr::kOpGetEqual ? btr::kStatusKeyNotFound : btr::kStatusEndOfFile};
    } else {
        expected = {getKey || record.size() <= capacity ? int16_t{0} : btr::kStatusDataLengthError};
    }
    int16_t status = Call(op, block.pb, data, &length, keyBuffer, static_cast<int8_t>(kn));
    Expect(status, expected);
    if (status != 0 && status != btr::kStatusDataLengthError) {
        REQUIRE(length == capacity, "data length changed by a failed Get");
        if (!errors.empty() || atEnd) return;
        if (chained) {
            block.logical = base == btr::kOpGetNext ? Place::kAfterLast : Place::kBeforeFirst;
            block.recordCurrent = false;
        } else {
            block.Clear();
        }
        return;
    }
    std::string value = key->order.ValueOf(record);
    CheckKeyBuffer(keyBuffer, &value, untouched);
    if (getKey) {
        REQUIRE(length == capacity, "Get Key changed the data length");
        for (uint8_t byte : data) REQUIRE(byte == kDataSentinel, "Get Key wrote to the data buffer");
    } else {
        CheckRecord(data, length, capacity, record, status);
    }
    ApplyRead(block, kn, *target, getKey, effectiveLock);
    CheckPosition(block, target->position);
}

void Session::OpStep() {
    int b;
    Block& block = PickBlock(&b);
    static const uint16_t kBases[] = {btr::kOpStepFirst,    btr::kOpStepLast, btr::kOpStepNext,
                                      btr::kOpStepPrevious, btr::kOpStepNext, btr::kOpStepPrevious};
    uint16_t base = kBases[in_.Pick(std::size(kBases))];
    uint8_t lock = static_cast<uint8_t>(in_.Pick(8));
    if (lock > 4) lock = 0;
    uint16_t op = static_cast<uint16_t>(base + 100 * lock);
    FileModel& file = files_[static_cast<size_t>(block.file)];
    uint8_t effectiveLock = EffectiveLock(lock, false);
    Begin("Step (" + std::to_string(op) + ") " + BlockName(b));

    Statuses errors;
    if (!block.open) errors.push_back(btr::kStatusFileNotOpen);
    if (block.open && effectiveLock != 0 && block.LockConflicts(effectiveLock))
        errors.push_back(btr::kStatusIncompatibleLockType);
    bool chained = base == btr::kOpStepNext || base == btr::kOpStepPrevious;
    bool forward = base == btr::kOpStepNext;
    if (block.open && chained && block.physical == Place::kNone) errors.push_back(btr::kStatusInvalidPositioning);
    bool atEnd =
        chained && errors.empty() &&
        ((forward && block.physical == Place::kAfterLast) || (!forward && block.physical == Place::kBeforeFirst));
    std::optional<int64_t> target;
    if (errors.empty() && !atEnd && !file.records.empty()) {
        bool first = base == btr::kOpStepFirst || (forward && block.physical == Place::kBeforeFirst);
        bool last = base == btr::kOpStepLast || (!forward && chained && block.physical == Place::kAfterLast);
        if (first) {
            target = file.records.begin()->first;
        } else if (last) {
            target = file.records.rbegin()->first;
        } else if (forward) {
            auto it = file.records.upper_bound(block.position);
            if (it != file.records.end()) target = it->first;
        } else {
            auto it = file.records.lower_bound(block.position);
            if (it != file.records.begin()) target = std::prev(it)->first;
        }
    }
    std::string record = target ? file.records.at(*target).data : std::string();
    uint32_t capacity = PickCapacity(record.size());
    std::vector<uint8_t> data(capacity, kDataSentinel);
    uint32_t length = capacity;
    KeyBuffer key = MakeKeyBuffer(4, effectiveLock != 0);
    Statuses expected;
    if (!errors.empty()) {
        expected = errors;
    } else if (!target) {
        expected = {btr::kStatusEndOfFile};
    } else {
        expected = {record.size() <= capacity ? int16_t{0} : btr::kStatusDataLengthError};
    }
    int16_t status = Call(op, block.pb, data, &length, key, 0);
    Expect(status, expected);
    CheckKeyBuffer(key, nullptr, "");
    if (status != 0 && status != btr::kStatusDataLengthError) {
        REQUIRE(length == capacity, "data length changed by a failed Step");
        if (!errors.empty() || atEnd) return;
        if (chained) {
            block.keyNumber = -1;
            block.logical = Place::kNone;
            block.physical = forward ? Place::kAfterLast : Place::kBeforeFirst;
            block.recordCurrent = false;
        } else {
            block.Clear();
        }
        return;
    }
    CheckRecord(data, length, capacity, record, status);
    block.SetPhysical(*target);
    block.readId = file.records.at(*target).id;
    if (effectiveLock != 0) block.KeepLock(*target, effectiveLock);
    CheckPosition(block, *target);
}

void Session::OpGetPosition() {
    int b;
    Block& block = PickBlock(&b);
    uint32_t capacity = in_.Pick(8) == 7 ? 3 : 4;
    Begin("Get Position " + BlockName(b));
    Statuses expected;
    if (!block.open) expected.push_back(btr::kStatusFileNotOpen);
    if (block.open && block.physical != Place::kAt) expected.push_back(btr::kStatusInvalidPositioning);
    if (block.open && capacity < 4) expected.push_back(btr::kStatusDataLengthError);
    if (expected.empty()) expected = {0};
    std::vector<uint8_t> data(capacity, kDataSentinel);
    uint32_t length = capacity;
    KeyBuffer key;
    key.bytes.assign(255, kKeySentinel);
    int16_t status =
        Call(static_cast<uint16_t>(btr::kOpGetPosition + 100 * in_.Pick(3)), block.pb, data, &length, key, 0);
    Expect(status, expected);
    if (status != 0) return;
    uint32_t got;
    std::memcpy(&got, data.data(), 4);
    REQUIRE(length == 4 && got == static_cast<uint32_t>(block.position),
            "position " + std::to_string(got) + ", the model's is " + std::to_string(block.position));
}

void Session::OpGetDirect() {
    int b;
    Block& block = PickBlock(&b);
    int kn = in_.Pick(4) == 0 ? -1 : PickKeyNumber(files_[static_cast<size_t>(block.file)]);
    if (kn == -3) kn = btr::kKeyNumberChunk;
    uint8_t lock = static_cast<uint8_t>(in_.Pick(8));
    if (lock > 4) lock = 0;
    uint16_t op = static_cast<uint16_t>(btr::kOpGetDirect + 100 * lock);
    FileModel& file = files_[static_cast<size_t>(block.file)];
    int64_t position;
    uint8_t choice = in_.Byte();
    if (choice % 4 != 3 && !file.records.empty()) {
        auto it = file.records.begin();
        std::advance(it, static_cast<long>(choice % file.records.size()));
        position = it->first;
    } else {
        position = choice % 2 == 0 ? 0 : (file.records.empty() ? 1 : file.records.rbegin()->first + 1 + choice % 3);
    }
    const ModelKey* key = kn >= 0 ? file.Key(kn) : nullptr;
    bool chunk = kn == btr::kKeyNumberChunk;
    uint8_t effectiveLock = chunk ? 0 : EffectiveLock(lock, false);
    KeyBuffer keyBuffer = MakeKeyBuffer(key != nullptr ? key->order.Design().Length() : 4, effectiveLock != 0);
    auto found = file.records.find(position);
    std::string record = found != file.records.end() ? found->second.data : std::string();
    uint32_t capacity = std::max<uint32_t>(PickCapacity(record.size()), in_.Pick(8) == 7 ? 0 : 4);
    Begin("Get Direct (" + std::to_string(op) + ") " + BlockName(b) + " key " + std::to_string(kn) + " position " +
          std::to_string(position));

    Statuses errors;
    if (!block.open) errors.push_back(btr::kStatusFileNotOpen);
    // The chunk form finds no chunk descriptor in a buffer of sentinel bytes.
    if (block.open && chunk)
        errors.push_back(capacity < 8 ? btr::kStatusDataLengthError : btr::kStatusInvalidGetExpression);
    if (block.open && !chunk) {
        if (effectiveLock != 0 && block.LockConflicts(effectiveLock))
            errors.push_back(btr::kStatusIncompatibleLockType);
        if (kn != -1 && key == nullptr) errors.push_back(btr::kStatusInvalidKeyNumber);
        if (key != nullptr && keyBuffer.declared < key->order.Design().Length())
            errors.push_back(btr::kStatusKeyBufferTooShort);
        if (capacity < 4) errors.push_back(btr::kStatusDataLengthError);
    }
    Statuses expected;
    bool reads = false;
    if (!errors.empty()) {
        expected = errors;
    } else if (found == file.records.end()) {
        expected = {btr::kStatusInvalidRecordAddress};
    } else if (key != nullptr && key->order.IsNull(record)) {
        expected = {btr::kStatusNullKeyPath};
    } else {
        reads = true;
        expected = {record.size() <= capacity ? int16_t{0} : btr::kStatusDataLengthError};
    }
    std::vector<uint8_t> data(capacity, kDataSentinel);
    if (capacity >= 4) {
        uint32_t raw = static_cast<uint32_t>(position);
        std::memcpy(data.data(), &raw, 4);
    }
    uint32_t length = capacity;
    int16_t status = Call(op, block.pb, data, &length, keyBuffer, static_cast<int8_t>(kn));
    Expect(status, expected);
    if (!reads) return;
    if (status != 0 && status != btr::kStatusDataLengthError) return;
    CheckRecord(data, length, capacity, record, status);
    if (key != nullptr) {
        std::string value = key->order.ValueOf(record);
        CheckKeyBuffer(keyBuffer, &value, "");
        block.SetAt(kn, file.EntryOf(*key, position), true);
    } else {
        CheckKeyBuffer(keyBuffer, nullptr, "");
        block.SetPhysical(position);
    }
    block.readId = found->second.id;
    if (effectiveLock != 0) block.KeepLock(position, effectiveLock);
    CheckPosition(block, position);
}

void Session::OpTransaction() {
    std::vector<uint8_t> data;
    uint32_t length = 0;
    KeyBuffer key;
    key.bytes.assign(255, kKeySentinel);
    uint8_t pb[btr::kPositionBlockSize] = {};
    uint8_t choice = in_.Byte();
    switch (choice % 4) {
        case 0:
        case 1: {
            uint8_t lock = static_cast<uint8_t>((choice >> 2) % 8);
            if (lock > 4) lock = 0;
            bool concurrent = (choice >> 5) % 2 != 0;
            bool noWait = concurrent && (choice >> 6) % 2 != 0;
            uint16_t op = static_cast<uint16_t>(btr::kOpBeginTransaction + 100 * lock + (noWait ? 500 : 0) +
                                                (concurrent ? 1000 : 0));
            Begin("Begin Transaction (" + std::to_string(op) + ")");
            int16_t status = Call(op, pb, data, &length, key, 0);
            Expect(status, tx_.active ? Statuses{btr::kStatusTransactionActive} : Statuses{0});
            if (status == 0) {
                tx_.active = true;
                tx_.defaultLock = lock;
                tx_.before = files_;
            }
            return;
        }
        case 2: {
            Begin("End Transaction");
            int16_t status = Call(btr::kOpEndTransaction, pb, data, &length, key, 0);
            Expect(status, tx_.active ? Statuses{0} : Statuses{btr::kStatusEndTransactionError});
            if (status == 0) tx_.active = false;
            return;
        }
        default: {
            Begin("Abort Transaction");
            int16_t status = Call(btr::kOpAbortTransaction, pb, data, &length, key, 0);
            Expect(status, tx_.active ? Statuses{0} : Statuses{btr::kStatusEndTransactionError});
            if (status == 0) AbortModel();
            return;
        }
    }
}

// Segments a file of this page size may have in all: the page size's limit, never fewer than
// the 96 the library counts on.
int MostSegments(int pageSize) {
    const int limit = pageSize <= 512 ? 8 : pageSize <= 1024 ? 23 : pageSize <= 1536 ? 24 : pageSize < 4096 ? 54 : 119;
    return std::max(limit, 96);
}

void Session::OpCreateIndex() {
    int b;
    Block& block = PickBlock(&b);
    size_t which = in_.Pick(IndexDesigns().size());
    const KeyDesign& design = IndexDesigns()[which];
    uint8_t choice = in_.Byte();
    int8_t kn =
        choice % 3 == 0 ? 0 : static_cast<int8_t>(btr::kKeyNumberExact | (choice % 3 == 1 ? (choice >> 2) % 6 : 119));
    FileModel& file = files_[static_cast<size_t>(block.file)];
    Begin("Create Index " + std::to_string(which) + " " + BlockName(b) + " key number " +
          std::to_string(static_cast<uint8_t>(kn)));

    Statuses errors;
    if (!block.open) errors.push_back(btr::kStatusFileNotOpen);
    if (block.open && block.mode == btr::kOpenReadOnly) errors.push_back(btr::kStatusAccessDenied);
    if (block.open && tx_.active) errors.push_back(btr::kStatusOperationNotAllowed);
    int number = -1;
    if (block.open) {
        for (const SegmentDesign& segment : design.segments) {
            if (segment.position + segment.length - 1 > file.recordLength)
                errors.push_back(btr::kStatusInvalidKeyPosition);
            if ((segment.flags & btr::kKeyFlagAlternateSequence) != 0 && !file.hasAcs) {
                errors.push_back(btr::kStatusInvalidAcs);
            }
            if (segment.type == btr::kTypeFloat && segment.length != 4 && segment.length != 8) {
                errors.push_back(btr::kStatusInvalidKeyLength);
            }
        }
        const int segments = file.SegmentCount() + static_cast<int>(design.segments.size());
        if (segments > MostSegments(file.pageSize) || file.keys.size() >= 119)
            errors.push_back(btr::kStatusNumberOfKeys);
        if (kn == 0) {
            number = 0;
            while (file.Key(number) != nullptr) ++number;
        } else {
            number = static_cast<uint8_t>(kn) & 0x7F;
            if (number > btr::kMaxKeyNumber || file.Key(number) != nullptr)
                errors.push_back(btr::kStatusInvalidKeyNumber);
        }
    }
    Statuses expected = errors;
    if (expected.empty()) {
        FileModel after = file;
        after.AddKey(number, design);
        expected = {0};
        if (!design.Duplicates()) {
            const ModelKey* added = after.Key(number);
            if (after.DistinctValues(*added) != added->seq.size()) expected = {btr::kStatusDuplicateKey};
        }
    }
    std::vector<uint8_t> data;
    for (const BtrKeySpec& spec : design.Specs()) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(&spec);
        data.insert(data.end(), bytes, bytes + sizeof spec);
    }
    uint32_t length = static_cast<uint32_t>(data.size());
    KeyBuffer key;
    key.bytes.assign(255, kKeySentinel);
    int16_t status = Call(btr::kOpCreateIndex, block.pb, data, &length, key, kn);
    Expect(status, expected);
    if (status == 0) file.AddKey(number, design);
}

void Session::OpDropIndex() {
    int b;
    Block& block = PickBlock(&b);
    int number = static_cast<int>(in_.Pick(7));
    bool renumber = in_.Byte() % 2 == 0;
    int8_t kn = static_cast<int8_t>(number | (renumber ? 0 : btr::kKeyNumberExact));
    FileModel& file = files_[static_cast<size_t>(block.file)];
    Begin("Drop Index " + std::to_string(number) + (renumber ? "" : " keeping numbers") + " " + BlockName(b));
    Statuses expected;
    if (!block.open) expected.push_back(btr::kStatusFileNotOpen);
    if (block.open && block.mode == btr::kOpenReadOnly) expected.push_back(btr::kStatusAccessDenied);
    if (block.open && tx_.active) expected.push_back(btr::kStatusOperationNotAllowed);
    if (block.open && file.Key(number) == nullptr) expected.push_back(btr::kStatusInvalidKeyNumber);
    if (expected.empty()) expected = {0};
    std::vector<uint8_t> data;
    uint32_t length = 0;
    KeyBuffer key;
    key.bytes.assign(255, kKeySentinel);
    int16_t status = Call(btr::kOpDropIndex, block.pb, data, &length, key, kn);
    Expect(status, expected);
    if (status != 0) return;
    int fileIndex = block.file;
    file.DropKey(number, renumber);
    for (Block& other : blocks_) {
        if (!other.open || other.file != fileIndex) continue;
        if (other.keyNumber == number) {
            other.keyNumber = -1;
            other.logical = Place::kNone;
        } else if (renumber && other.keyNumber > number) {
            --other.keyNumber;
        }
    }
}

void Session::OpClose() {
    int b;
    Block& block = PickBlock(&b);
    Begin("Close " + BlockName(b));
    std::vector<uint8_t> data;
    uint32_t length = 0;
    KeyBuffer key;
    key.bytes.assign(255, kKeySentinel);
    int16_t status = Call(btr::kOpClose, block.pb, data, &length, key, 0);
    Expect(status, block.open ? Statuses{0} : Statuses{btr::kStatusFileNotOpen});
    block.open = false;
}

void Session::OpOpen() {
    int b = static_cast<int>(in_.Pick(kBlockCount));
    // Mostly a block that is closed, so that the program goes on with three open blocks.
    if (blocks_[static_cast<size_t>(b)].open && in_.Byte() % 4 != 3) {
        for (int i = kBlockCount - 1; i >= 0; --i) {
            if (!blocks_[static_cast<size_t>(i)].open) b = i;
        }
    }
    Block& block = blocks_[static_cast<size_t>(b)];
    static const int8_t kModes[] = {0, 0, 0, 0, 0, 0, -1, -2, -3, -4, -66, -5};
    int8_t mode = kModes[in_.Pick(std::size(kModes))];
    int file = static_cast<int>(in_.Pick(kFileCount + 1));
    bool missing = file == kFileCount;
    if (missing && in_.Byte() % 4 != 0) file = 0, missing = false;
    const std::string& path = missing ? Settings().missingPath : Settings().paths[file];
    Begin("Open " + BlockName(b) + (missing ? " missing file" : " file " + std::to_string(file)) + " mode " +
          std::to_string(mode));
    bool validMode = (mode <= 0 && mode >= btr::kOpenExclusive) || mode == -66;
    std::vector<uint8_t> data(1, 0);
    uint32_t length = 0;
    KeyBuffer key;
    key.bytes.assign(255, 0);
    std::memcpy(key.bytes.data(), path.c_str(), path.size());
    int16_t status = Call(btr::kOpOpen, block.pb, data, &length, key, mode);
    Expect(status, !validMode ? Statuses{btr::kStatusInvalidOperation}
                   : missing  ? Statuses{btr::kStatusFileNotFound}
                              : Statuses{0});
    if (!validMode) return;
    // An Open through a block that is open closes it first, whatever the Open's outcome.
    block.open = false;
    if (status != 0) return;
    Block fresh;
    std::memcpy(fresh.pb, block.pb, sizeof fresh.pb);
    fresh.open = true;
    fresh.file = file;
    int normalised = mode;
    if (normalised <= -64) normalised += 64;
    if (normalised <= -32) normalised += 32;
    fresh.mode = static_cast<int8_t>(normalised);
    block = fresh;
}

void Session::OpUnlock() {
    int b;
    Block& block = PickBlock(&b);
    static const int8_t kKeys[] = {0, -1, -2, -1, 3};
    int8_t kn = kKeys[in_.Pick(std::size(kKeys))];
    uint8_t choice = in_.Byte();
    int64_t position = 0;
    if (!block.multipleLocks.empty() && choice % 4 != 0) {
        position = block.multipleLocks[choice % block.multipleLocks.size()];
    } else if (choice % 4 == 1) {
        position = block.position;
    } else {
        position = choice % 8;
    }
    uint32_t capacity = choice % 16 == 15 ? 3 : 4;
    Begin("Unlock " + BlockName(b) + " key " + std::to_string(kn) + " position " + std::to_string(position));
    Statuses expected;
    bool releaseAll = false, releaseOne = false;
    if (!block.open) {
        expected = {btr::kStatusFileNotOpen};
    } else if (kn == 0) {
        if (block.singleLock == 0 && !block.multipleLocks.empty()) {
            expected = {btr::kStatusLockError};
        } else {
            expected = {0};
            releaseAll = true;
        }
    } else if (kn == -1) {
        if (capacity < 4) {
            expected = {btr::kStatusDataLengthError};
        } else if (position == 0 || !block.HoldsMultiple(position)) {
            expected = {btr::kStatusLockError};
        } else {
            expected = {0};
            releaseOne = true;
        }
    } else if (kn == -2) {
        if (block.singleLock != 0) {
            expected = {btr::kStatusLockError};
        } else {
            expected = {0};
            releaseAll = true;
        }
    } else {
        expected = {btr::kStatusInvalidKeyNumber};
    }
    std::vector<uint8_t> data(capacity, 0);
    uint32_t raw = static_cast<uint32_t>(position);
    std::memcpy(data.data(), &raw, std::min<size_t>(capacity, 4));
    uint32_t length = capacity;
    KeyBuffer key;
    key.bytes.assign(255, kKeySentinel);
    int16_t status = Call(btr::kOpUnlock, block.pb, data, &length, key, kn);
    Expect(status, expected);
    if (status != 0) return;
    if (releaseAll) block.ReleaseLocks();
    if (releaseOne) block.ReleaseLocksOn(position);
}

void Session::CheckStat(int fileIndex, const std::vector<uint8_t>& data, uint32_t length, uint32_t capacity,
                        int8_t kn) {
    const FileModel& file = files_[static_cast<size_t>(fileIndex)];
    BtrFileSpec spec{};
    spec.recordLength = static_cast<int16_t>(file.recordLength);
    spec.pageSize = static_cast<int16_t>(file.pageSize);
    spec.keyCount = static_cast<uint8_t>(file.keys.size());
    spec.fileVersion = kn == -1 ? 0x70 : 0;
    spec.recordCount = static_cast<uint32_t>(file.records.size());
    spec.fileFlags = file.fileFlags;
    std::string expected(reinterpret_cast<const char*>(&spec), sizeof spec);
    bool acs = false;
    for (const ModelKey& key : file.keys) {
        uint32_t unique = file.DistinctValues(key);
        acs = acs || key.order.Design().UsesAcs();
        for (BtrKeySpec segment : key.order.Design().Specs()) {
            segment.uniqueCount = unique;
            segment.keyNumber = static_cast<int8_t>(key.number);
            expected.append(reinterpret_cast<const char*>(&segment), sizeof segment);
        }
    }
    if (acs && capacity - expected.size() >= static_cast<size_t>(btr::kAcsSize)) expected += btrfuzz::AcsBlock();
    std::string got(data.begin(), data.begin() + std::min<long>(length, static_cast<long>(data.size())));
    REQUIRE(length == expected.size() && got == expected,
            "Stat replied \"" + Escape(got) + "\", the model expects \"" + Escape(expected) + "\"");
}

void Session::OpStat() {
    int b;
    Block& block = PickBlock(&b);
    int8_t kn = in_.Byte() % 2 == 0 ? 0 : -1;
    const FileModel& file = files_[static_cast<size_t>(block.file)];
    uint32_t keyBytes = static_cast<uint32_t>(16 + 16 * file.SegmentCount());
    uint32_t capacity;
    switch (in_.Pick(4)) {
        case 2: capacity = keyBytes - 1; break;
        case 3: capacity = keyBytes + static_cast<uint32_t>(btr::kAcsSize) - 1; break;
        default: capacity = kLargeBuffer; break;
    }
    Begin("Stat " + BlockName(b) + " key " + std::to_string(kn) + " capacity " + std::to_string(capacity));
    Statuses expected;
    if (!block.open) {
        expected = {btr::kStatusFileNotOpen};
    } else if (capacity < keyBytes) {
        expected = {btr::kStatusDataLengthError};
    } else {
        expected = {0};
    }
    std::vector<uint8_t> data(capacity, kDataSentinel);
    uint32_t length = capacity;
    KeyBuffer key;
    key.bytes.assign(255, kKeySentinel);
    int16_t status = Call(btr::kOpStat, block.pb, data, &length, key, kn);
    Expect(status, expected);
    if (status != 0) return;
    CheckStat(block.file, data, length, capacity, kn);
    REQUIRE(key.bytes[0] == 0, "Stat leaves the key buffer's first byte");
}

void Session::OpGetByPercentage() {
    int b;
    Block& block = PickBlock(&b);
    int kn = in_.Pick(3) == 0 ? -1 : PickKeyNumber(files_[static_cast<size_t>(block.file)]);
    uint8_t lock = static_cast<uint8_t>(in_.Pick(8));
    if (lock > 4) lock = 0;
    uint16_t op = static_cast<uint16_t>(btr::kOpGetByPercentage + 100 * lock);
    uint16_t percentage =
        in_.Pick(8) == 7 ? static_cast<uint16_t>(kFullScale + 1 + in_.Byte()) : in_.U16() % (kFullScale + 1);
    FileModel& file = files_[static_cast<size_t>(block.file)];
    const ModelKey* key = kn >= 0 ? file.Key(kn) : nullptr;
    uint8_t effectiveLock = EffectiveLock(lock, false);
    KeyBuffer keyBuffer = MakeKeyBuffer(key != nullptr ? key->order.Design().Length() : 4, effectiveLock != 0);
    Begin("Get By Percentage (" + std::to_string(op) + ") " + BlockName(b) + " key " + std::to_string(kn) + " " +
          std::to_string(percentage));

    Statuses errors;
    if (!block.open) errors.push_back(btr::kStatusFileNotOpen);
    if (block.open && effectiveLock != 0 && block.LockConflicts(effectiveLock))
        errors.push_back(btr::kStatusIncompatibleLockType);
    if (block.open && kn != -1 && key == nullptr) errors.push_back(btr::kStatusInvalidKeyNumber);
    if (key != nullptr && keyBuffer.declared < key->order.Design().Length())
        errors.push_back(btr::kStatusKeyBufferTooShort);
    std::optional<ModelEntry> entry;
    std::optional<int64_t> position;
    if (block.open) {
        if (key != nullptr) {
            std::vector<ModelEntry> entries = file.Entries(*key);
            if (!entries.empty()) {
                entry =
                    entries[(static_cast<size_t>(std::min<uint16_t>(percentage, kFullScale)) * (entries.size() - 1) +
                             kFullScale / 2) /
                            kFullScale];
                position = entry->position;
            }
        } else if (!file.records.empty()) {
            auto it = file.records.begin();
            std::advance(it, static_cast<long>((static_cast<size_t>(std::min<uint16_t>(percentage, kFullScale)) *
                                                    (file.records.size() - 1) +
                                                kFullScale / 2) /
                                               kFullScale));
            position = it->first;
        }
    }
    std::string record = position ? file.records.at(*position).data : std::string();
    uint32_t capacity = std::max<uint32_t>(PickCapacity(record.size()), in_.Pick(8) == 7 ? 0 : 4);
    if (block.open && capacity < 4) errors.push_back(btr::kStatusDataLengthError);
    if (block.open && percentage > kFullScale) errors.push_back(btr::kStatusInvalidOperation);
    Statuses expected;
    if (!errors.empty()) {
        expected = errors;
    } else if (!position) {
        expected = {btr::kStatusEndOfFile};
    } else {
        expected = {record.size() <= capacity ? int16_t{0} : btr::kStatusDataLengthError};
    }
    std::vector<uint8_t> data(capacity, kDataSentinel);
    if (capacity >= 2) std::memcpy(data.data(), &percentage, 2);
    uint32_t length = capacity;
    int16_t status = Call(op, block.pb, data, &length, keyBuffer, static_cast<int8_t>(kn));
    Expect(status, expected);
    if (status == btr::kStatusDataLengthError && capacity < 4) return;
    if (status != 0 && status != btr::kStatusDataLengthError) return;
    if (!errors.empty() || !position) return;
    CheckRecord(data, length, capacity, record, status);
    if (key != nullptr) {
        std::string value = key->order.ValueOf(record);
        CheckKeyBuffer(keyBuffer, &value, "");
        block.SetAt(kn, *entry, true);
    } else {
        CheckKeyBuffer(keyBuffer, nullptr, "");
        block.SetPhysical(*position);
    }
    block.readId = file.records.at(*position).id;
    if (effectiveLock != 0) block.KeepLock(*position, effectiveLock);
    CheckPosition(block, *position);
}

void Session::OpFindPercentage() {
    int b;
    Block& block = PickBlock(&b);
    int kn = in_.Pick(3) == 0 ? -1 : PickKeyNumber(files_[static_cast<size_t>(block.file)]);
    uint16_t op = static_cast<uint16_t>(btr::kOpFindPercentage + 100 * in_.Pick(3));
    FileModel& file = files_[static_cast<size_t>(block.file)];
    const ModelKey* key = kn >= 0 ? file.Key(kn) : nullptr;
    std::string search = key != nullptr ? SearchValue(file, key, block.file) : std::string();
    int64_t position = 0;
    if (kn == -1) {
        uint8_t choice = in_.Byte();
        if (choice % 4 != 3 && !file.records.empty()) {
            auto it = file.records.begin();
            std::advance(it, static_cast<long>(choice % file.records.size()));
            position = it->first;
        } else {
            position = choice % 5;
        }
    }
    KeyBuffer keyBuffer = MakeKeyBuffer(key != nullptr ? key->order.Design().Length() : 4, false);
    std::memcpy(keyBuffer.bytes.data(), search.data(), std::min(search.size(), keyBuffer.bytes.size()));
    uint32_t capacity = in_.Pick(8) == 7 ? 3 : 4;
    Begin("Find Percentage (" + std::to_string(op) + ") " + BlockName(b) + " key " + std::to_string(kn) +
          (kn == -1 ? " position " + std::to_string(position) : " \"" + Escape(search) + "\""));
    Statuses expected;
    if (!block.open) expected.push_back(btr::kStatusFileNotOpen);
    if (block.open && kn != -1 && key == nullptr) expected.push_back(btr::kStatusInvalidKeyNumber);
    if (key != nullptr && keyBuffer.declared < key->order.Design().Length())
        expected.push_back(btr::kStatusKeyBufferTooShort);
    if (block.open && capacity < 4) expected.push_back(btr::kStatusDataLengthError);
    int64_t rank = 0, count = 0;
    if (expected.empty()) {
        if (key != nullptr) {
            std::vector<ModelEntry> entries = file.Entries(*key);
            bool present = false;
            for (const ModelEntry& e : entries) {
                int c = key->order.Compare(e.value, search);
                if (c < 0) ++rank;
                if (c == 0) present = true;
            }
            count = static_cast<int64_t>(entries.size());
            if (!present) expected = {btr::kStatusKeyNotFound};
        } else {
            if (position == 0 || file.records.count(position) == 0) {
                expected = {btr::kStatusInvalidRecordAddress};
            } else {
                for (const auto& [at, record] : file.records) rank += at < position ? 1 : 0;
                count = static_cast<int64_t>(file.records.size());
            }
        }
        if (expected.empty()) expected = {0};
    }
    std::vector<uint8_t> data(capacity, kDataSentinel);
    uint32_t raw = static_cast<uint32_t>(position);
    std::memcpy(data.data(), &raw, std::min<size_t>(capacity, 4));
    uint32_t length = capacity;
    int16_t status = Call(op, block.pb, data, &length, keyBuffer, static_cast<int8_t>(kn));
    Expect(status, expected);
    if (status != 0) return;
    uint16_t percentage = count > 1 ? static_cast<uint16_t>((rank * kFullScale + (count - 1) / 2) / (count - 1)) : 0;
    uint16_t got;
    std::memcpy(&got, data.data(), 2);
    REQUIRE(length == 4 && got == percentage && data[2] == 0 && data[3] == 0,
            "percentage " + std::to_string(got) + ", the model expects " + std::to_string(percentage));
}

void Session::OpCreateOrReset() {
    if (in_.Byte() % 4 == 3) {
        Begin("Reset");
        std::vector<uint8_t> data;
        uint32_t length = 0;
        KeyBuffer key;
        key.bytes.assign(255, kKeySentinel);
        uint8_t pb[btr::kPositionBlockSize] = {};
        Expect(Call(btr::kOpReset, pb, data, &length, key, 0), {0});
        ResetModel();
        return;
    }
    int file = static_cast<int>(in_.Pick(kFileCount));
    int8_t mode = in_.Byte() % 2 == 0 ? 0 : -1;
    Begin("Create file " + std::to_string(file) + " mode " + std::to_string(mode));
    // A file kept open for a transaction is open here too; leave that case alone.
    if (tx_.active) return;
    bool openHere = false;
    for (const Block& block : blocks_) openHere = openHere || (block.open && block.file == file);
    int16_t status = CreateFile(file, mode);
    Expect(status, mode == -1 ? Statuses{btr::kStatusFileAlreadyExists}
                   : openHere ? Statuses{btr::kStatusFileInUse}
                              : Statuses{0});
    if (status == 0) files_[static_cast<size_t>(file)] = InitialModel(file);
}

void Session::OpOther() {
    int b;
    Block& block = PickBlock(&b);
    uint8_t choice = in_.Byte();
    if (choice % 4 == 0) {
        // Version: three blocks, the requester's and the local engine's.
        uint32_t capacity = choice % 8 == 0 ? 4 : 15;
        Begin("Version capacity " + std::to_string(capacity));
        std::vector<uint8_t> data(capacity, kDataSentinel);
        uint32_t length = capacity;
        KeyBuffer key;
        key.bytes.assign(255, kKeySentinel);
        int16_t status = Call(btr::kOpVersion, block.pb, data, &length, key, 0);
        Expect(status, capacity < 5 ? Statuses{btr::kStatusDataLengthError} : Statuses{0});
        if (status == 0) {
            static const uint8_t kReply[15] = {7, 0, 0, 0, 'N', 7, 0, 0, 0, 'W', 0, 0, 0, 0, 0};
            REQUIRE(length == 15 && std::memcmp(data.data(), kReply, 15) == 0, "Version reply");
        }
        return;
    }
    // Codes this record manager does not offer, or biases on operations that do not take them.
    static const uint16_t kCodes[] = {16, 43, 54, 64, 65, 99, 505, 550, 1002, 1005};
    uint16_t op = kCodes[choice % std::size(kCodes)];
    Begin("Operation " + std::to_string(op) + " " + BlockName(b));
    std::vector<uint8_t> data(64, kDataSentinel);
    uint32_t length = 64;
    KeyBuffer key;
    key.bytes.assign(255, kKeySentinel);
    Expect(Call(op, block.pb, data, &length, key, 0), {btr::kStatusInvalidOperation});
}

// ---- The end of a program: every key both ways, every record, and the database itself.

void Session::Finish() {
    if (tx_.active) {
        Begin("End Transaction (end of program)");
        std::vector<uint8_t> data;
        uint32_t length = 0;
        KeyBuffer key;
        key.bytes.assign(255, kKeySentinel);
        uint8_t pb[btr::kPositionBlockSize] = {};
        Expect(Call(btr::kOpEndTransaction, pb, data, &length, key, 0), {0});
        tx_.active = false;
    }
    for (int f = 0; f < kFileCount; ++f) VerifyFile(f);
    Begin("Reset (end of program)");
    std::vector<uint8_t> data;
    uint32_t length = 0;
    KeyBuffer key;
    key.bytes.assign(255, kKeySentinel);
    uint8_t pb[btr::kPositionBlockSize] = {};
    Expect(Call(btr::kOpReset, pb, data, &length, key, 0), {0});
    for (int f = 0; f < kFileCount; ++f) VerifyDatabase(f);
}

void Session::VerifyFile(int f) {
    FileModel& file = files_[static_cast<size_t>(f)];
    // A block of its own, so that the scan starts from nothing.
    Block checker;
    Begin("Open a checking block on file " + std::to_string(f));
    Expect(OpenBlock(checker, f, 0), {0});
    std::vector<uint8_t> data(kLargeBuffer);
    KeyBuffer key;
    key.bytes.assign(255, kKeySentinel);

    for (const ModelKey& modelKey : file.keys) {
        std::vector<ModelEntry> entries = file.Entries(modelKey);
        for (bool forward : {true, false}) {
            Begin(std::string("Scan key ") + std::to_string(modelKey.number) + " of file " + std::to_string(f) +
                  (forward ? " forward" : " backward"));
            size_t seen = 0;
            uint16_t op = forward ? btr::kOpGetFirst : btr::kOpGetLast;
            for (;;) {
                uint32_t length = kLargeBuffer;
                int16_t status = Call(op, checker.pb, data, &length, key, static_cast<int8_t>(modelKey.number));
                op = forward ? btr::kOpGetNext : btr::kOpGetPrevious;
                if (status == btr::kStatusEndOfFile) break;
                REQUIRE(status == 0,
                        "status " + std::to_string(status) + " after " + std::to_string(seen) + " entries");
                REQUIRE(seen < entries.size(), "more entries than the model's " + std::to_string(entries.size()));
                const ModelEntry& e = forward ? entries[seen] : entries[entries.size() - 1 - seen];
                const std::string& record = file.records.at(e.position).data;
                std::string got(data.begin(), data.begin() + length);
                REQUIRE(got == record, "entry " + std::to_string(seen) + " is \"" + Escape(got) +
                                           "\", the model's is \"" + Escape(record) + "\" at position " +
                                           std::to_string(e.position));
                std::string value = modelKey.order.ValueOf(record);
                REQUIRE(std::memcmp(key.bytes.data(), value.data(), value.size()) == 0,
                        "key value of entry " + std::to_string(seen));
                CheckPosition(checker, e.position);
                ++seen;
            }
            REQUIRE(seen == entries.size(),
                    "the key holds " + std::to_string(seen) + " entries, the model " + std::to_string(entries.size()));
        }
    }

    Begin("Step through file " + std::to_string(f));
    auto it = file.records.begin();
    uint16_t op = btr::kOpStepFirst;
    for (;;) {
        uint32_t length = kLargeBuffer;
        int16_t status = Call(op, checker.pb, data, &length, key, 0);
        op = btr::kOpStepNext;
        if (status == btr::kStatusEndOfFile) break;
        REQUIRE(status == 0, "Step answered " + std::to_string(status));
        REQUIRE(it != file.records.end(), "more records than the model's " + std::to_string(file.records.size()));
        std::string got(data.begin(), data.begin() + length);
        REQUIRE(got == it->second.data, "record \"" + Escape(got) + "\", the model's is \"" + Escape(it->second.data) +
                                            "\" at position " + std::to_string(it->first));
        CheckPosition(checker, it->first);
        ++it;
    }
    REQUIRE(it == file.records.end(), "Step ended before the model's last record");

    Begin("Stat file " + std::to_string(f));
    uint32_t length = kLargeBuffer;
    Expect(Call(btr::kOpStat, checker.pb, data, &length, key, 0), {0});
    CheckStat(f, data, length, kLargeBuffer, 0);
}

// What the store holds of one file, read past the record manager: the store's own soundness
// verdict ("ok"), the number of records, the key numbers that have entries or a definition,
// and for each of the model's keys its entry count and each entry's number by position.
struct StoredFacts {
    std::string integrity = "ok";
    std::string records;
    std::string keyNumbers;
    std::vector<std::string> entryCounts;
    std::vector<std::map<int64_t, int64_t>> sequences;
    std::string problem;  // why the facts could not be read
};

StoredFacts ReadSqliteFacts(const std::string& path, const std::vector<ModelKey>& keys) {
    StoredFacts facts;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        facts.problem = "the data file does not open as a database";
        return facts;
    }
    auto single = [&](const std::string& sql) {
        sqlite3_stmt* stmt = nullptr;
        std::string result;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW) {
            const unsigned char* text = sqlite3_column_text(stmt, 0);
            result = text != nullptr ? reinterpret_cast<const char*>(text) : "";
        } else {
            result = std::string("<") + sqlite3_errmsg(db) + ">";
        }
        sqlite3_finalize(stmt);
        return result;
    };
    facts.integrity = single("PRAGMA integrity_check");
    facts.records = single("SELECT count(*) FROM records");
    facts.keyNumbers = single(
        "SELECT group_concat(n, ',') FROM (SELECT CAST(substr(name, 5) AS INTEGER) AS n FROM sqlite_master WHERE "
        "type = 'table' AND name LIKE 'key\\_%' ESCAPE '\\' ORDER BY n)");
    for (const ModelKey& key : keys) {
        std::string table = "key_" + std::to_string(key.number);
        facts.entryCounts.push_back(single("SELECT count(*) FROM " + table));
        facts.sequences.emplace_back();
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, ("SELECT position, seq FROM " + table).c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW)
                facts.sequences.back()[sqlite3_column_int64(stmt, 0)] = sqlite3_column_int64(stmt, 1);
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return facts;
}

// The same facts of a file of the served folder, from the server's tables.
StoredFacts ReadServerFacts(const std::string& path, const std::vector<ModelKey>& keys) {
    using fuzzsupport::ServerRows;
    StoredFacts facts;
    facts.integrity = fuzzsupport::ServedIntegrity(path);
    const std::string s = fuzzsupport::ServedTables();
    const std::string file = fuzzsupport::ServedFileId();
    const std::vector<std::string> name = {fuzzsupport::ServedName(path)};
    auto single = [&](const std::string& sql) {
        auto rows = ServerRows(sql, &facts.problem, name);
        return rows.empty() ? std::string("<no row>") : rows[0][0];
    };
    facts.records = single("SELECT count(*) FROM " + s + "w3b_record WHERE file = " + file);
    facts.keyNumbers = single("SELECT coalesce(string_agg(key::text, ',' ORDER BY key), '') FROM (SELECT key FROM " +
                              s + "w3b_keyseg WHERE file = " + file + " UNION SELECT key FROM " + s +
                              "w3b_entry WHERE file = " + file + ") k");
    for (const ModelKey& key : keys) {
        std::string where = " WHERE file = " + file + " AND key = " + std::to_string(key.number);
        facts.entryCounts.push_back(single("SELECT count(*) FROM " + s + "w3b_entry" + where));
        facts.sequences.emplace_back();
        for (const auto& row : ServerRows("SELECT position, seq FROM " + s + "w3b_entry" + where, &facts.problem, name))
            facts.sequences.back()[std::stoll(row[0])] = std::stoll(row[1]);
    }
    return facts;
}

void Session::VerifyDatabase(int f) {
    FileModel& file = files_[static_cast<size_t>(f)];
    Begin("Database check of file " + std::to_string(f));
    StoredFacts facts = fuzzsupport::FolderIsServed() ? ReadServerFacts(Settings().paths[f], file.keys)
                                                      : ReadSqliteFacts(Settings().paths[f], file.keys);
    REQUIRE(facts.problem.empty(), facts.problem);
    REQUIRE(facts.integrity == "ok", "integrity check: " + facts.integrity);
    REQUIRE(facts.records == std::to_string(file.records.size()),
            "the store holds " + facts.records + " records, the model " + std::to_string(file.records.size()));
    std::string expectedKeys;
    for (const ModelKey& key : file.keys)
        expectedKeys += (expectedKeys.empty() ? "" : ",") + std::to_string(key.number);
    REQUIRE(facts.keyNumbers == expectedKeys, "keys " + facts.keyNumbers + ", the model's " + expectedKeys);
    for (size_t k = 0; k < file.keys.size(); ++k) {
        const ModelKey& key = file.keys[k];
        REQUIRE(facts.entryCounts[k] == std::to_string(key.seq.size()),
                "key " + std::to_string(key.number) + " holds " + facts.entryCounts[k] + " entries, the model " +
                    std::to_string(key.seq.size()));
        // Each record's number in its group is the one the model gave it.
        for (const auto& [position, seq] : facts.sequences[k]) {
            auto it = key.seq.find(position);
            REQUIRE(it != key.seq.end() && it->second == seq,
                    "entry numbers differ from the model's: key " + std::to_string(key.number) + " position " +
                        std::to_string(position) + " seq " + std::to_string(seq));
        }
    }
}

void RemoveDirectory() {
    std::error_code ignored;
    if (!Settings().dir.empty()) std::filesystem::remove_all(Settings().dir, ignored);
    // Every file of a served folder lives in its schema on the server.
    fuzzsupport::DropServedSchema();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Options& options = Settings();
    const char* trace = std::getenv("BTRCALL_FUZZ_TRACE");
    options.trace = trace != nullptr && *trace != '\0' && *trace != '0';
    // The record manager's own settings would change what the model expects.
    unsetenv("W3BTRV7_FILE_VERSION");
    unsetenv("W3BTRV7_TRACE");
    unsetenv("W3BTRV7_SYNC");

    std::filesystem::path base;
    if (const char* dir = std::getenv("TYDB_FUZZ_DIR"); dir != nullptr && *dir != '\0') {
        base = dir;
    } else if (std::filesystem::is_directory("/dev/shm")) {
        base = "/dev/shm";
    } else {
        base = std::filesystem::temp_directory_path();
    }
    std::random_device random;
    for (int attempt = 0; attempt < 100 && options.dir.empty(); ++attempt) {
        std::filesystem::path candidate = base / ("btrcall_fuzz_" + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) options.dir = candidate;
    }
    if (options.dir.empty()) Fail("cannot make a folder for the data files under " + base.string());
    std::atexit(RemoveDirectory);
    fuzzsupport::cleanupBeforeFailure = RemoveDirectory;
    options.paths[0] = (options.dir / "FIXED.DAT").string();
    options.paths[1] = (options.dir / "VARIABLE.DAT").string();
    options.missingPath = (options.dir / "MISSING.DAT").string();
    fuzzsupport::ServeFolderIfAsked(options.dir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    Session session(in);
    session.Run();
    return 0;
}
