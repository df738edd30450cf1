// extended_read_fuzz: arbitrary bytes as the descriptor of the extended reads (Get and Step
// Next/Previous Extended) on a file of known records.
//
// Input: one byte for the operation and where the block stands first, two for the data buffer's
// length (the buffer is exactly that long, so a read or write past it is caught), then the
// descriptor's bytes from the buffer's start.
//
// Every status must be one these reads can give. A refusal leaves the data length as it was. A
// result (0, 9, 60) fits the buffer and is what it says: a count, then for each record its
// length, a position Get Direct finds, and that many bytes.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "btrcall.h"
#include "fuzz_support.h"

namespace {

using fuzzsupport::Check;
using fuzzsupport::Fail;
using fuzzsupport::Reader;

constexpr uint16_t kRecordLength = 32;
constexpr uint32_t kRecords = 40;

struct Block {
    uint8_t bytes[btr::kPositionBlockSize] = {};
};

std::filesystem::path& Folder() {
    static std::filesystem::path folder;
    return folder;
}

Block& File() {
    static Block block;
    return block;
}

void RemoveFolder() {
    Block none;
    uint32_t length = 0;
    BTRCALL(btr::kOpReset, none.bytes, nullptr, &length, nullptr, 0, 0);
    std::error_code ignored;
    if (!Folder().empty()) std::filesystem::remove_all(Folder(), ignored);
}

BtrKeySpec Key(int16_t position, int16_t length, uint16_t flags, uint8_t type) {
    BtrKeySpec spec{};
    spec.position = position;
    spec.length = length;
    spec.flags = static_cast<uint16_t>(flags | btr::kKeyFlagExtendedType);
    spec.extendedType = type;
    return spec;
}

// Records of 32 bytes: id (u32, key 0), a name (key 1, case-blind, duplicates), an amount
// (i16) and bytes that vary with the id.
void MakeFile(const std::string& path) {
    BtrFileSpec spec{};
    spec.recordLength = kRecordLength;
    spec.pageSize = 4096;
    spec.keyCount = 2;
    BtrKeySpec keys[] = {Key(1, 4, 0, btr::kTypeUnsignedBinary),
                         Key(5, 10, btr::kKeyFlagDuplicates | btr::kKeyFlagNoCase, btr::kTypeString)};
    std::vector<uint8_t> create(sizeof spec + sizeof keys);
    std::memcpy(create.data(), &spec, sizeof spec);
    std::memcpy(create.data() + sizeof spec, keys, sizeof keys);
    std::vector<uint8_t> key(256, 0);
    std::memcpy(key.data(), path.c_str(), std::min<size_t>(path.size(), 255));
    uint32_t length = static_cast<uint32_t>(create.size());
    Block pb;
    if (BTRCALL(btr::kOpCreate, pb.bytes, create.data(), &length, key.data(), 255, 0) != 0) Fail("cannot create");
    length = 0;
    if (BTRCALL(btr::kOpOpen, File().bytes, nullptr, &length, key.data(), 255, 0) != 0) Fail("cannot open");
    for (uint32_t id = 1; id <= kRecords; ++id) {
        uint8_t record[kRecordLength] = {};
        std::memcpy(record, &id, 4);
        std::snprintf(reinterpret_cast<char*>(record + 4), 11, "%-10s", id % 3 == 0 ? "Alpha" : "beta");
        int16_t amount = static_cast<int16_t>(id * 37 % 200 - 100);
        std::memcpy(record + 14, &amount, 2);
        for (int i = 16; i < kRecordLength; ++i) record[i] = static_cast<uint8_t>(id * i);
        uint8_t keyOut[255];
        length = kRecordLength;
        if (BTRCALL(btr::kOpInsert, File().bytes, record, &length, keyOut, 255, 0) != 0) Fail("cannot insert");
    }
}

bool In(int16_t status, std::initializer_list<int16_t> allowed) {
    return std::find(allowed.begin(), allowed.end(), status) != allowed.end();
}

// Checks a result of `length` bytes: its records, each with a position that holds a record.
void CheckResult(const std::vector<uint8_t>& data, uint32_t length) {
    Check(length >= 2 && length <= data.size(), "a result longer than the buffer, or without its count");
    uint16_t count;
    std::memcpy(&count, data.data(), 2);
    size_t at = 2;
    for (uint16_t i = 0; i < count; ++i) {
        Check(at + 6 <= length, "a result shorter than its count says");
        uint16_t size;
        uint32_t position;
        std::memcpy(&size, data.data() + at, 2);
        std::memcpy(&position, data.data() + at + 2, 4);
        at += 6 + size;
        Check(at <= length, "a record's extracted bytes run past the result");
        uint8_t record[kRecordLength];
        std::memcpy(record, &position, 4);
        uint32_t recordLength = kRecordLength;
        uint8_t key[255];
        Check(BTRCALL(btr::kOpGetDirect, File().bytes, record, &recordLength, key, 255, -1) == 0,
              "a returned position holds no record");
    }
    Check(at == length, "the data length is not the result's length");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::filesystem::path base = std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                                           : std::filesystem::temp_directory_path();
    if (const char* dir = std::getenv("TYDB_FUZZ_DIR"); dir != nullptr && *dir != '\0') base = dir;
    std::random_device random;
    for (int attempt = 0; attempt < 100 && Folder().empty(); ++attempt) {
        std::filesystem::path candidate = base / ("extended_read_fuzz_" + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) Folder() = candidate;
    }
    if (Folder().empty()) Fail("cannot make a folder for the data file");
    std::atexit(RemoveFolder);
    fuzzsupport::cleanupBeforeFailure = RemoveFolder;
    MakeFile((Folder() / "EXT.DAT").string());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
    Reader in(input, size);
    uint8_t choice = in.Byte();
    static const uint16_t kOps[] = {btr::kOpGetNextExtended, btr::kOpGetPreviousExtended, btr::kOpStepNextExtended,
                                    btr::kOpStepPreviousExtended};
    uint16_t op = kOps[choice % 4];
    static const uint16_t kFirst[] = {btr::kOpGetFirst, btr::kOpGetLast, btr::kOpStepFirst, btr::kOpStepLast};
    int8_t keyNumber = static_cast<int8_t>((choice >> 2) % 3);  // 2 is no key of the file
    uint32_t capacity = std::min<uint32_t>(in.U16(), 16384);
    std::vector<uint8_t> data(capacity);
    std::string descriptor = in.Bytes(std::min<size_t>(in.Remaining(), capacity));
    std::copy(descriptor.begin(), descriptor.end(), data.begin());

    uint8_t record[kRecordLength];
    uint8_t key[255];
    uint32_t length = kRecordLength;
    if ((choice & 0x20) == 0) BTRCALL(kFirst[(choice >> 6) % 4], File().bytes, record, &length, key, 255, keyNumber);
    length = capacity;
    int16_t status = BTRCALL(op, File().bytes, data.empty() ? nullptr : data.data(), &length, key, 255, keyNumber);
    Check(In(status, {0, 6, 7, 8, 9, 60, 61, 62, 65}), "unexpected status " + std::to_string(status));
    if (In(status, {0, 9, 60})) {
        CheckResult(data, length);
    } else {
        Check(length == capacity, "a refused read changed the data length");
    }
    return 0;
}
