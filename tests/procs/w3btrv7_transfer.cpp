// A client for the transfer test: two files hold one amount each (record id 1, a 4-byte
// amount after the id).
//   w3btrv7_transfer <file A> <file B> <rounds> move|watch
// "move" takes 1 from A and gives it to B in one concurrent transaction per round; "watch" reads
// both amounts in one concurrent transaction under wait locks and checks that their sum is `kTotal`. Both lock A
// before B, so that they never wait for each other. Prints "done" or "failed <what>".
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "btrcall.h"

namespace {

constexpr uint32_t kTotal = 2000;

struct File {
    uint8_t block[btr::kPositionBlockSize] = {};
    char record[12] = {};

    int16_t Open(const char* path) {
        char key[256] = {};
        std::strncpy(key, path, 255);
        uint32_t length = 0;
        return BTRCALL(btr::kOpOpen, block, nullptr, &length, key, 255, 0);
    }
    // Reads the amount under a wait lock (in a transaction, the lock lasts until it ends).
    int16_t Read(uint32_t* amount) {
        char key[255] = {};
        uint32_t id = 1;
        std::memcpy(key, &id, 4);
        uint32_t length = sizeof record;
        int16_t status = BTRCALL(btr::kOpGetEqual + btr::kBiasSingleWaitLock, block, record, &length, key, 255, 0);
        std::memcpy(amount, record + 4, 4);
        return status;
    }
    int16_t Write(uint32_t amount) {
        char key[255] = {};
        std::memcpy(record + 4, &amount, 4);
        uint32_t length = sizeof record;
        return BTRCALL(btr::kOpUpdate, block, record, &length, key, 255, 0);
    }
};

int16_t Transaction(uint16_t operation) {
    uint8_t block[btr::kPositionBlockSize] = {};
    uint32_t length = 0;
    return BTRCALL(operation, block, nullptr, &length, nullptr, 0, 0);
}

// One round; a failure names its step.
std::string Round(File& a, File& b, bool move) {
    if (Transaction(btr::kOpBeginTransaction + btr::kBiasConcurrentTransaction) != 0) return "begin";
    uint32_t inA = 0, inB = 0;
    if (int16_t status = a.Read(&inA); status != 0) return "read A " + std::to_string(status);
    if (int16_t status = b.Read(&inB); status != 0) return "read B " + std::to_string(status);
    if (move) {
        if (int16_t status = a.Write(inA - 1); status != 0) return "write A " + std::to_string(status);
        if (int16_t status = b.Write(inB + 1); status != 0) return "write B " + std::to_string(status);
    } else if (inA + inB != kTotal) {
        Transaction(btr::kOpAbortTransaction);
        return "saw " + std::to_string(inA) + " + " + std::to_string(inB);
    }
    if (int16_t status = Transaction(btr::kOpEndTransaction); status != 0) return "end " + std::to_string(status);
    return std::string();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) return 2;
    File a, b;
    if (a.Open(argv[1]) != 0 || b.Open(argv[2]) != 0) return 3;
    long rounds = std::strtol(argv[3], nullptr, 10);
    bool move = std::strcmp(argv[4], "move") == 0;
    for (long round = 0; round < rounds; ++round) {
        if (std::string failure = Round(a, b, move); !failure.empty()) {
            std::printf("failed %s\n", failure.c_str());
            std::fflush(stdout);
            return 4;
        }
    }
    std::printf("done\n");
    std::fflush(stdout);
    return 0;
}
