// Garbage in, a status out: random operations, key numbers, lengths and position blocks never
// crash the record manager, and every answer is one of its status codes.
#include <gtest/gtest.h>

#include <random>

#include "w3btrv7_test_util.h"

using namespace w3btest;
using testsupport::TempDir;

TEST(CallRobustness, RandomCallsAnswerWithStatusesAndNeverCrash) {
    TempDir dir;
    std::string path = dir.File("FUZZ.DAT");
    Definition def(16, 2, btr::kFileFlagVariableLength);
    def.segments.push_back(Segment(1, 4, btr::kKeyFlagModifiable, btr::kTypeInteger));
    def.segments.push_back(
        Segment(5, 6, btr::kKeyFlagDuplicates | btr::kKeyFlagModifiable | btr::kKeyFlagNullAll, btr::kTypeZstring));
    ASSERT_EQ(Create(path, def), 0);
    PositionBlock open;
    ASSERT_EQ(Open(open, path), 0);
    std::mt19937 random(7);
    auto pick = [&](int from, int to) { return std::uniform_int_distribution<int>(from, to)(random); };
    for (int i = 0; i < 200; ++i) {
        std::string record(static_cast<size_t>(pick(16, 40)), '\0');
        for (char& c : record) c = static_cast<char>(pick(0, 255));
        Insert(open, record);
    }
    std::vector<uint8_t> data(4096), key(256);
    const uint16_t interesting[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,  13,  15,  22,  23,  24,
                                    26, 27, 31, 32, 33, 34, 35, 44, 45, 55, 60, 63, 105, 223, 306, 412, 502, 1019};
    for (int i = 0; i < 20000; ++i) {
        PositionBlock pb;
        int which = pick(0, 9);
        if (which < 7) {
            pb = open;
        } else if (which == 8) {
            for (uint8_t& b : pb.bytes) b = static_cast<uint8_t>(pick(0, 255));
        }
        for (int j = 0; j < 24; ++j) data[static_cast<size_t>(pick(0, 4095))] = static_cast<uint8_t>(pick(0, 255));
        for (int j = 0; j < 8; ++j) key[static_cast<size_t>(pick(0, 255))] = static_cast<uint8_t>(pick(0, 255));
        uint16_t op = pick(0, 3) == 0 ? static_cast<uint16_t>(pick(0, 2000))
                                      : interesting[pick(0, static_cast<int>(std::size(interesting)) - 1)];
        // Never let the call reopen or recreate the fuzzed file under a random name, or drop
        // the key the final check walks.
        if (op % 100 == btr::kOpOpen || op % 100 == btr::kOpCreate || op % 100 == btr::kOpStop ||
            op % 100 == btr::kOpReset || op % 100 == btr::kOpDropIndex) {
            continue;
        }
        uint32_t length = static_cast<uint32_t>(pick(0, 4096));
        uint8_t keyLength = static_cast<uint8_t>(pick(0, 255));
        int8_t keyNumber = static_cast<int8_t>(pick(-3, 3) == 3 ? pick(-128, 127) : pick(-2, 2));
        bool nullData = pick(0, 30) == 0;
        bool nullKey = pick(0, 30) == 0;
        int16_t status = Call(op, pb, nullData ? nullptr : data.data(), &length, nullKey ? nullptr : key.data(),
                              nullKey ? 0 : keyLength, keyNumber);
        ASSERT_GE(status, 0) << "operation " << op;
        ASSERT_LT(status, 200) << "operation " << op;
        ASSERT_LE(length, 4096u) << "operation " << op;
    }
    // The file is still whole: every record can be read in both orders.
    size_t byPosition = 0, byKey = 0;
    for (Read r = Get(btr::kOpStepFirst, open, 0, std::string(), 4096); r.status == 0;
         r = Get(btr::kOpStepNext, open, 0, std::string(), 4096)) {
        ++byPosition;
    }
    for (Read r = Get(btr::kOpGetFirst, open, 0, std::string(), 4096); r.status == 0;
         r = Get(btr::kOpGetNext, open, 0, std::string(), 4096)) {
        ++byKey;
    }
    EXPECT_EQ(byPosition, byKey);
    // A transaction the random calls began ends here, with the same result both ways.
    uint32_t endLength = 0;
    char endKey[255] = {};
    int16_t ended = Call(btr::kOpEndTransaction, open, nullptr, &endLength, endKey, 255, 0);
    EXPECT_TRUE(ended == 0 || ended == btr::kStatusEndTransactionError) << ended;
}
