#include "store/file_transfer.h"

#include <cstring>
#include <vector>

namespace w3b {

namespace {

// Rows read per statement: large enough that a server's round trips do not count.
constexpr int kBatch = 5000;

int16_t CopyRecords(FileConnection& source, FileLoader& target, int64_t* records, int64_t* highest) {
    std::vector<FetchedRow> rows;
    size_t count = 0;
    int64_t after = 0;
    do {
        if (int16_t status = source.ListRecords(after, kBatch, &rows, &count); status != btr::kStatusSuccess) {
            return status;
        }
        for (size_t i = 0; i < count; ++i) {
            if (int16_t status = target.PutRecord(rows[i].entry.position, rows[i].data);
                status != btr::kStatusSuccess) {
                return status;
            }
            after = rows[i].entry.position;
        }
        *records += static_cast<int64_t>(count);
    } while (count == static_cast<size_t>(kBatch));
    *highest = after;
    return btr::kStatusSuccess;
}

int16_t CopyEntries(FileConnection& source, const KeyInfo& key, FileLoader& target) {
    std::vector<KeyEntry> entries;
    KeyEntry last;
    const KeyEntry* after = nullptr;
    do {
        if (int16_t status = source.ListEntries(key, after, kBatch, &entries); status != btr::kStatusSuccess) {
            return status;
        }
        for (const KeyEntry& entry : entries) {
            if (int16_t status = target.PutEntry(key.number, entry); status != btr::kStatusSuccess) return status;
        }
        if (!entries.empty()) last = entries.back();
        after = &last;
    } while (entries.size() == static_cast<size_t>(kBatch));
    return btr::kStatusSuccess;
}

bool SameDefinition(const FileDef& a, const FileDef& b) {
    if (std::memcmp(&a.spec, &b.spec, sizeof a.spec) != 0 || a.versionByte != b.versionByte || a.acs != b.acs ||
        !(a.owner == b.owner) || a.keys.size() != b.keys.size()) {
        return false;
    }
    for (size_t k = 0; k < a.keys.size(); ++k) {
        const KeyInfo& x = a.keys[k];
        const KeyInfo& y = b.keys[k];
        if (x.number != y.number || x.specs.size() != y.specs.size() ||
            std::memcmp(x.specs.data(), y.specs.data(), x.specs.size() * sizeof(BtrKeySpec)) != 0) {
            return false;
        }
    }
    return true;
}

bool SameCounts(FileConnection& source, FileConnection& copy, std::string* problem) {
    int64_t a = -1, b = -2;
    if (source.CountRecords(&a) != btr::kStatusSuccess || copy.CountRecords(&b) != btr::kStatusSuccess || a != b) {
        *problem = "the copy holds " + std::to_string(b) + " records, the source " + std::to_string(a);
        return false;
    }
    for (const KeyInfo& key : source.Def().keys) {
        a = -1, b = -2;
        if (source.CountEntries(key, &a) != btr::kStatusSuccess || copy.CountEntries(key, &b) != btr::kStatusSuccess ||
            a != b) {
            *problem = "key " + std::to_string(key.number) + " of the copy holds " + std::to_string(b) +
                       " entries, the source's " + std::to_string(a);
            return false;
        }
    }
    return true;
}

bool SameRecords(FileConnection& source, FileConnection& copy, std::string* problem) {
    std::vector<FetchedRow> ours, theirs;
    size_t a = 0, b = 0;
    int64_t after = 0;
    do {
        if (source.ListRecords(after, kBatch, &ours, &a) != btr::kStatusSuccess ||
            copy.ListRecords(after, kBatch, &theirs, &b) != btr::kStatusSuccess || a != b) {
            *problem = "the records after position " + std::to_string(after) + " could not be compared";
            return false;
        }
        for (size_t i = 0; i < a; ++i) {
            if (ours[i].entry.position != theirs[i].entry.position || ours[i].data != theirs[i].data) {
                *problem = "the record at position " + std::to_string(ours[i].entry.position) + " differs";
                return false;
            }
            after = ours[i].entry.position;
        }
    } while (a == static_cast<size_t>(kBatch));
    return true;
}

}  // namespace

int16_t CopyFileContents(FileConnection& source, FileLoader& target, int64_t* records) {
    *records = 0;
    int64_t highest = 0;
    if (int16_t status = CopyRecords(source, target, records, &highest); status != btr::kStatusSuccess) return status;
    for (const KeyInfo& key : source.Def().keys) {
        if (int16_t status = CopyEntries(source, key, target); status != btr::kStatusSuccess) return status;
    }
    return target.Finish(highest);
}

bool VerifyCopy(FileConnection& source, FileConnection& copy, std::string* problem) {
    if (!SameDefinition(source.Def(), copy.Def())) {
        *problem = "the copy's definition differs from the source's";
        return false;
    }
    return SameCounts(source, copy, problem) && SameRecords(source, copy, problem);
}

}  // namespace w3b
