// Several processes changing the same records under multiple-record wait locks: no update is
// lost.
#include <gtest/gtest.h>

#include "client_process.h"

using namespace w3btest;
using testsupport::ChildProcess;
using testsupport::TempDir;

TEST(Concurrency, FourProcessesCountingUnderLocksReachTheExactSums) {
    constexpr int kProcesses = 4;
    constexpr int kRounds = 1000;
    TempDir dir;
    std::string path = dir.File("COUNTERS.DAT");
    ASSERT_EQ(Create(path, IdFile()), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, path), 0);
    for (uint32_t id = 1; id <= 4; ++id) ASSERT_EQ(Insert(pb, IdRecord(id, std::string(8, '\0'))), 0);

    std::vector<std::unique_ptr<ChildProcess>> clients;
    for (int i = 0; i < kProcesses; ++i) {
        clients.push_back(std::make_unique<ChildProcess>(testsupport::BuildPath("w3btrv7_counter"),
                                                         std::vector<std::string>{path, std::to_string(kRounds)}));
        ASSERT_TRUE(clients.back()->started());
    }
    for (auto& client : clients) {
        EXPECT_EQ(client->ReadLine(120000).value_or("no answer"), "done");
        EXPECT_EQ(client->Wait(), 0);
    }

    // Counter 1 moves every round; counters 2 to 4 take turns.
    uint32_t expected[5] = {0, kProcesses * kRounds, 0, 0, 0};
    for (int round = 0; round < kRounds; ++round) expected[2 + round % 3] += kProcesses;
    for (uint32_t id = 1; id <= 4; ++id) {
        Read r = Get(btr::kOpGetEqual, pb, 0, IdKey(id));
        ASSERT_EQ(r.status, 0);
        uint32_t count;
        std::memcpy(&count, r.record.data() + 4, 4);
        EXPECT_EQ(count, expected[id]) << "counter " << id;
    }
}

TEST(Concurrency, NoWatcherEverSeesHalfOfAMoveBetweenTwoFiles) {
    constexpr int kRounds = 150;
    TempDir dir;
    std::vector<std::string> paths = {dir.File("FROM.DAT"), dir.File("TO.DAT")};
    for (const std::string& path : paths) {
        ASSERT_EQ(Create(path, IdFile()), 0);
        PositionBlock pb;
        ASSERT_EQ(Open(pb, path), 0);
        uint32_t amount = 1000;
        ASSERT_EQ(Insert(pb, IdRecord(1, std::string(reinterpret_cast<const char*>(&amount), 4) + "    ")), 0);
    }
    std::vector<std::unique_ptr<ChildProcess>> clients;
    for (const char* role : {"move", "watch", "watch"}) {
        clients.push_back(std::make_unique<ChildProcess>(
            testsupport::BuildPath("w3btrv7_transfer"),
            std::vector<std::string>{paths[0], paths[1], std::to_string(kRounds), role}));
        ASSERT_TRUE(clients.back()->started());
    }
    for (auto& client : clients) {
        EXPECT_EQ(client->ReadLine(120000).value_or("no answer"), "done");
        EXPECT_EQ(client->Wait(), 0);
    }
}
