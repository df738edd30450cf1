// A writer for the race test: inserts, updates and deletes records of its own range of ids on a
// shared data file, one operation every millisecond or so, while other processes add and drop
// keys. Records are 16 bytes: a 4-byte id (key 0, unique), an 8-byte name and a 4-byte tag that
// is unique too (the race test builds a unique key over it).
//   w3btrv7_churn <path> <first id> <operations>
// Prints "done" when every operation answered 0, else "failed <operation> <status>".
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "btrcall.h"

namespace {

constexpr uint32_t kIds = 100;
constexpr uint32_t kUpdatedTag = 0x40000000;  // an updated record's tag: its id with this bit

uint8_t positionBlock[btr::kPositionBlockSize];

int16_t Write(uint16_t operation, uint32_t id, uint32_t tag) {
    char record[16];
    std::memset(record, ' ', sizeof record);
    std::memcpy(record, &id, 4);
    std::memcpy(record + 12, &tag, 4);
    char key[255] = {};
    uint32_t length = sizeof record;
    return BTRCALL(operation, positionBlock, record, &length, key, 255, 0);
}

int16_t Find(uint32_t id) {
    char record[16];
    char key[255] = {};
    std::memcpy(key, &id, 4);
    uint32_t length = sizeof record;
    return BTRCALL(btr::kOpGetEqual, positionBlock, record, &length, key, 255, 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    char path[256] = {};
    std::strncpy(path, argv[1], 255);
    uint32_t first = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10));
    int operations = std::atoi(argv[3]);
    uint32_t length = 0;
    if (int16_t status = BTRCALL(btr::kOpOpen, positionBlock, nullptr, &length, path, 255, 0); status != 0) {
        std::printf("failed open %d\n", status);
        return 1;
    }
    std::mt19937 random(first);
    std::set<uint32_t> present;
    for (int i = 0; i < operations; ++i) {
        uint32_t id = first + random() % kIds;
        const char* what = "insert";
        int16_t status;
        if (present.count(id) == 0) {
            status = Write(btr::kOpInsert, id, id);
            if (status == 0) present.insert(id);
        } else if ((status = Find(id)) != 0) {
            what = "find";
        } else if (random() % 2 == 0) {
            what = "delete";
            char key[255] = {};
            status = BTRCALL(btr::kOpDelete, positionBlock, nullptr, &length, key, 255, 0);
            if (status == 0) present.erase(id);
        } else {
            what = "update";
            status = Write(btr::kOpUpdate, id, id ^ kUpdatedTag);
            // Back to the plain tag before the record is deleted and its id comes again.
            if (status == 0) status = Write(btr::kOpUpdate, id, id);
        }
        if (status != 0) {
            std::printf("failed %s %d\n", what, status);
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::printf("done\n");
    return 0;
}
