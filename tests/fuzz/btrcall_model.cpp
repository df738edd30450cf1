#include "btrcall_model.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace btrfuzz {

namespace {

std::array<uint8_t, 256> MakeAcsMap() {
    std::array<uint8_t, 256> map{};
    for (int i = 0; i < 256; ++i) {
        if (i >= 'a' && i <= 'z') {
            map[i] = static_cast<uint8_t>(i - 'a' + 'A');
        } else if (i >= '0' && i <= '9') {
            map[i] = static_cast<uint8_t>('9' - (i - '0'));
        } else {
            map[i] = static_cast<uint8_t>(i);
        }
    }
    return map;
}

std::array<uint8_t, 256> MakeCaseFold() {
    std::array<uint8_t, 256> map{};
    for (int i = 0; i < 256; ++i) map[i] = static_cast<uint8_t>(i >= 'a' && i <= 'z' ? i - 'a' + 'A' : i);
    return map;
}

const uint8_t* CaseFold() {
    static const std::array<uint8_t, 256> kFold = MakeCaseFold();
    return kFold.data();
}

// The map a string segment's bytes go through before they are compared, or nullptr.
const uint8_t* CollationOf(const SegmentDesign& segment) {
    if ((segment.flags & btr::kKeyFlagAlternateSequence) != 0) return AcsMap();
    if ((segment.flags & btr::kKeyFlagNoCase) != 0) return CaseFold();
    return nullptr;
}

std::basic_string<uint8_t> Collated(const uint8_t* text, size_t length, const uint8_t* collation) {
    std::basic_string<uint8_t> out(text, length);
    if (collation != nullptr) {
        for (uint8_t& c : out) c = collation[c];
    }
    return out;
}

int Sign(int value) { return value < 0 ? -1 : value > 0 ? 1 : 0; }

// Compares one segment's values `a` and `b` (segment.length bytes each), ascending.
int CompareSegment(const SegmentDesign& segment, const uint8_t* a, const uint8_t* b) {
    const size_t length = static_cast<size_t>(segment.length);
    const uint8_t* collation = CollationOf(segment);
    switch (segment.type) {
        case btr::kTypeString: return Sign(Collated(a, length, collation).compare(Collated(b, length, collation)));
        case btr::kTypeZstring: {
            auto text = [&](const uint8_t* v) {
                const void* nul = std::memchr(v, 0, length);
                size_t n = nul != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - v) : length;
                return Collated(v, n, collation);
            };
            return Sign(text(a).compare(text(b)));
        }
        case btr::kTypeLstring: {
            auto text = [&](const uint8_t* v) {
                return Collated(v + 1, std::min<size_t>(v[0], length - 1), collation);
            };
            return Sign(text(a).compare(text(b)));
        }
        case btr::kTypeInteger: {
            // Little-endian two's complement: the most significant byte decides first, signed.
            int8_t high_a = static_cast<int8_t>(a[length - 1]);
            int8_t high_b = static_cast<int8_t>(b[length - 1]);
            if (high_a != high_b) return high_a < high_b ? -1 : 1;
            for (size_t i = length - 1; i-- > 0;) {
                if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
            }
            return 0;
        }
        default: {
            // Unsigned little-endian numbers.
            for (size_t i = length; i-- > 0;) {
                if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
            }
            return 0;
        }
    }
}

bool SegmentIsNull(const SegmentDesign& segment, const std::string& record) {
    for (int i = 0; i < segment.length; ++i) {
        if (static_cast<uint8_t>(record[static_cast<size_t>(segment.position - 1 + i)]) != segment.nullValue) {
            return false;
        }
    }
    return true;
}

}  // namespace

const uint8_t* AcsMap() {
    static const std::array<uint8_t, 256> kMap = MakeAcsMap();
    return kMap.data();
}

std::string AcsBlock() {
    std::string block(1, static_cast<char>(btr::kAcsUserDefined));
    block += "UPDIGREV";
    block.append(reinterpret_cast<const char*>(AcsMap()), 256);
    return block;
}

std::vector<BtrKeySpec> KeyDesign::Specs() const {
    std::vector<BtrKeySpec> specs;
    for (size_t i = 0; i < segments.size(); ++i) {
        const SegmentDesign& segment = segments[i];
        BtrKeySpec spec{};
        spec.position = static_cast<int16_t>(segment.position);
        spec.length = static_cast<int16_t>(segment.length);
        spec.flags = static_cast<uint16_t>(segment.flags | btr::kKeyFlagExtendedType |
                                           (i + 1 < segments.size() ? btr::kKeyFlagSegmented : 0));
        spec.extendedType = segment.type;
        spec.nullValue = segment.nullValue;
        specs.push_back(spec);
    }
    return specs;
}

bool KeyDesign::UsesAcs() const {
    for (const SegmentDesign& segment : segments) {
        if ((segment.flags & btr::kKeyFlagAlternateSequence) != 0) return true;
    }
    return false;
}

size_t KeyDesign::Length() const {
    size_t total = 0;
    for (const SegmentDesign& segment : segments) total += static_cast<size_t>(segment.length);
    return total;
}

std::string KeyOrder::ValueOf(const std::string& record) const {
    std::string value;
    for (const SegmentDesign& segment : design_.segments) {
        value += record.substr(static_cast<size_t>(segment.position - 1), static_cast<size_t>(segment.length));
    }
    return value;
}

bool KeyOrder::IsNull(const std::string& record) const {
    uint16_t flags = design_.segments.front().flags;
    bool nullAll = (flags & btr::kKeyFlagNullAll) != 0;
    bool nullAny = (flags & btr::kKeyFlagNullAny) != 0;
    if (!nullAll && !nullAny) return false;
    size_t nulls = 0;
    for (const SegmentDesign& segment : design_.segments) nulls += SegmentIsNull(segment, record) ? 1 : 0;
    if (nullAny && nulls > 0) return true;
    return nullAll && nulls == design_.segments.size();
}

int KeyOrder::Compare(const std::string& a, const std::string& b) const {
    size_t at = 0;
    for (const SegmentDesign& segment : design_.segments) {
        const auto* pa = reinterpret_cast<const uint8_t*>(a.data()) + at;
        const auto* pb = reinterpret_cast<const uint8_t*>(b.data()) + at;
        int result = CompareSegment(segment, pa, pb);
        if ((segment.flags & btr::kKeyFlagDescending) != 0) result = -result;
        if (result != 0) return result;
        at += static_cast<size_t>(segment.length);
    }
    return 0;
}

const ModelKey* FileModel::Key(int number) const {
    for (const ModelKey& key : keys) {
        if (key.number == number) return &key;
    }
    return nullptr;
}

int FileModel::SegmentCount() const {
    int count = 0;
    for (const ModelKey& key : keys) count += static_cast<int>(key.order.Design().segments.size());
    return count;
}

std::vector<ModelEntry> FileModel::Entries(const ModelKey& key) const {
    std::vector<ModelEntry> entries;
    for (const auto& [position, seq] : key.seq) {
        entries.push_back(ModelEntry{key.order.ValueOf(records.at(position).data), seq, position});
    }
    std::sort(entries.begin(), entries.end(), [&](const ModelEntry& a, const ModelEntry& b) {
        int c = key.order.Compare(a.value, b.value);
        return c != 0 ? c < 0 : a.seq < b.seq;
    });
    return entries;
}

uint32_t FileModel::DistinctValues(const ModelKey& key) const {
    std::vector<ModelEntry> entries = Entries(key);
    uint32_t count = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i == 0 || key.order.Compare(entries[i - 1].value, entries[i].value) != 0) ++count;
    }
    return count;
}

bool FileModel::Collides(const std::string& record, int64_t position) const {
    for (const ModelKey& key : keys) {
        if (key.order.Design().Duplicates() || key.order.IsNull(record)) continue;
        std::string value = key.order.ValueOf(record);
        for (const auto& [other, seq] : key.seq) {
            if (other == position) continue;
            if (key.order.Compare(key.order.ValueOf(records.at(other).data), value) == 0) return true;
        }
    }
    return false;
}

std::string FileModel::Stored(const std::string& record) const {
    std::string stored = record;
    if (Variable() && (fileFlags & btr::kFileFlagBlankTruncation) != 0) {
        while (stored.size() > static_cast<size_t>(recordLength) && stored.back() == ' ') stored.pop_back();
    }
    return stored;
}

int64_t FileModel::NextSeq(const ModelKey& key, const std::string& value, int64_t except) const {
    if (!key.order.Design().Duplicates()) return 0;
    int64_t next = 0;
    for (const auto& [position, seq] : key.seq) {
        if (position == except) continue;
        if (key.order.Compare(key.order.ValueOf(records.at(position).data), value) == 0) next = std::max(next, seq + 1);
    }
    return next;
}

void FileModel::Insert(int64_t position, const std::string& data, uint64_t id) {
    records[position] = ModelRecord{data, id};
    for (ModelKey& key : keys) {
        if (key.order.IsNull(data)) continue;
        key.seq[position] = NextSeq(key, key.order.ValueOf(data), position);
    }
}

void FileModel::Update(int64_t position, const std::string& data, uint64_t id) {
    const std::string old = records.at(position).data;
    for (ModelKey& key : keys) {
        bool oldNull = key.order.IsNull(old);
        bool newNull = key.order.IsNull(data);
        if (!oldNull && !newNull && key.order.Compare(key.order.ValueOf(old), key.order.ValueOf(data)) == 0) continue;
        if (oldNull && newNull) continue;
        // A changed value leaves its group and joins the end of its new one.
        key.seq.erase(position);
        if (!newNull) key.seq[position] = NextSeq(key, key.order.ValueOf(data), position);
    }
    records[position] = ModelRecord{data, id};
}

void FileModel::Delete(int64_t position) {
    for (ModelKey& key : keys) key.seq.erase(position);
    records.erase(position);
}

void FileModel::AddKey(int number, const KeyDesign& design) {
    ModelKey key{number, KeyOrder(design), {}};
    std::vector<int64_t> positions;
    for (const auto& [position, record] : records) {
        if (!key.order.IsNull(record.data)) positions.push_back(position);
    }
    // Records already in the file join their groups in record order.
    std::stable_sort(positions.begin(), positions.end(), [&](int64_t a, int64_t b) {
        return key.order.Compare(key.order.ValueOf(records.at(a).data), key.order.ValueOf(records.at(b).data)) < 0;
    });
    for (size_t i = 0; i < positions.size(); ++i) {
        bool sameValue = i > 0 && key.order.Compare(key.order.ValueOf(records.at(positions[i - 1]).data),
                                                    key.order.ValueOf(records.at(positions[i]).data)) == 0;
        key.seq[positions[i]] = sameValue ? key.seq[positions[i - 1]] + 1 : 0;
    }
    auto at = std::lower_bound(keys.begin(), keys.end(), number, [](const ModelKey& k, int n) { return k.number < n; });
    keys.insert(at, std::move(key));
}

void FileModel::DropKey(int number, bool renumber) {
    keys.erase(std::remove_if(keys.begin(), keys.end(), [&](const ModelKey& k) { return k.number == number; }),
               keys.end());
    if (renumber) {
        for (ModelKey& key : keys) {
            if (key.number > number) --key.number;
        }
    }
}

ModelEntry FileModel::EntryOf(const ModelKey& key, int64_t position) const {
    return ModelEntry{key.order.ValueOf(records.at(position).data), key.seq.at(position), position};
}

}  // namespace btrfuzz
