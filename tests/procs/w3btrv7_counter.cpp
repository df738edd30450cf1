// A client for the concurrency test: adds 1 to counters of a shared file under
// multiple-record wait locks.
//   w3btrv7_counter <path> <rounds>
// Counter records are 12 bytes: a 4-byte id (key 0), a 4-byte count, 4 bytes of padding.
// Each round locks counter 1 and counter 2 + round % 3 (in ascending order, so that no two
// clients wait for each other), adds 1 to both and unlocks them. Prints "done" or "failed <n>".
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "btrcall.h"

namespace {

uint8_t positionBlock[btr::kPositionBlockSize];

int16_t AddOne(uint32_t id) {
    char record[12];
    char key[255] = {};
    std::memcpy(key, &id, 4);
    uint32_t length = sizeof record;
    int16_t status =
        BTRCALL(btr::kOpGetEqual + btr::kBiasMultipleWaitLock, positionBlock, record, &length, key, 255, 0);
    if (status != 0) return status;
    uint32_t count;
    std::memcpy(&count, record + 4, 4);
    ++count;
    std::memcpy(record + 4, &count, 4);
    length = sizeof record;
    return BTRCALL(btr::kOpUpdate, positionBlock, record, &length, key, 255, 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    char key[256] = {};
    std::strncpy(key, argv[1], 255);
    uint32_t length = 0;
    if (BTRCALL(btr::kOpOpen, positionBlock, nullptr, &length, key, 255, 0) != 0) return 3;
    long rounds = std::strtol(argv[2], nullptr, 10);
    for (long round = 0; round < rounds; ++round) {
        for (uint32_t id : {1u, static_cast<uint32_t>(2 + round % 3)}) {
            if (int16_t status = AddOne(id); status != 0) {
                std::printf("failed %d\n", status);
                return 4;
            }
        }
        length = 0;
        if (int16_t status =
                BTRCALL(btr::kOpUnlock, positionBlock, nullptr, &length, key, 255, btr::kUnlockAllMultiple);
            status != 0) {
            std::printf("failed %d\n", status);
            return 5;
        }
    }
    BTRCALL(btr::kOpClose, positionBlock, nullptr, &length, key, 255, 0);
    std::printf("done\n");
    std::fflush(stdout);
    return 0;
}
