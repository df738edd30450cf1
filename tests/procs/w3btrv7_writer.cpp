// A writer for the crash test: inserts, updates and builds a supplemental index on a data file
// until it is killed, reporting each completed operation on standard output before the next
// one starts.
//   w3btrv7_writer <path> <first id> [<inserts>]
// Records are 12 bytes: a 4-byte id (key 0) and an 8-byte name. Reports:
//   inserted <id>    updated <id>    indexing    indexed    done
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "btrcall.h"

namespace {

constexpr uint32_t kDefaultInserts = 400;
constexpr uint32_t kIndexAt = 40;

uint8_t positionBlock[btr::kPositionBlockSize];
char key[256];

int16_t Write(uint16_t operation, uint32_t id, const char* name) {
    char record[12];
    std::memset(record, ' ', sizeof record);
    std::memcpy(record, &id, 4);
    std::memcpy(record + 4, name, std::min<size_t>(std::strlen(name), 8));
    uint32_t length = sizeof record;
    return BTRCALL(operation, positionBlock, record, &length, key, 255, 0);
}

void Report(const char* what, uint32_t id) {
    std::printf("%s %u\n", what, id);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    std::strncpy(key, argv[1], 255);
    uint32_t length = 0;
    if (BTRCALL(btr::kOpOpen, positionBlock, nullptr, &length, key, 255, 0) != 0) return 3;
    uint32_t first = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10));
    const uint32_t inserts = argc > 3 ? static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10)) : kDefaultInserts;
    for (uint32_t i = 0; i < inserts; ++i) {
        uint32_t id = first + i;
        if (Write(btr::kOpInsert, id, "inserted") != 0) return 4;
        Report("inserted", id);
        if (i % 4 == 3) {
            uint32_t target = id - 1;
            char record[12];
            length = sizeof record;
            std::memcpy(key, &target, 4);
            if (BTRCALL(btr::kOpGetEqual, positionBlock, record, &length, key, 255, 0) != 0) return 5;
            if (Write(btr::kOpUpdate, target, "updated") != 0) return 6;
            Report("updated", target);
        }
        if (i == kIndexAt) {
            // The index of an earlier run may have survived its writer.
            length = 0;
            BTRCALL(btr::kOpDropIndex, positionBlock, key, &length, key, 255,
                    static_cast<int8_t>(1 | btr::kKeyNumberExact));
            BtrKeySpec spec{};
            spec.position = 5;
            spec.length = 8;
            spec.flags = btr::kKeyFlagDuplicates | btr::kKeyFlagModifiable | btr::kKeyFlagExtendedType;
            spec.extendedType = btr::kTypeString;
            length = sizeof spec;
            std::printf("indexing\n");
            std::fflush(stdout);
            if (BTRCALL(btr::kOpCreateIndex, positionBlock, &spec, &length, key, 255,
                        static_cast<int8_t>(1 | btr::kKeyNumberExact)) != 0) {
                return 7;
            }
            Report("indexed", 1);
        }
    }
    std::printf("done\n");
    std::fflush(stdout);
    return 0;
}
