// What only the server store promises, and how a served folder's settings are read.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>

#include "w3btrv7_test_util.h"

using namespace w3btest;
using testsupport::ChildProcess;
using testsupport::TempDir;

namespace {

// The tests of the server store run where every test folder is served (`server:` in CTest).
bool FoldersAreServed() {
    const char* store = std::getenv("TYDB_TEST_STORE");
    return store != nullptr && std::string(store) == "server";
}

std::string Balance(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08d", value);
    return text;
}

// The balance a file's one account holds, or -1.
int ReadBalance(const std::string& path) {
    PositionBlock pb;
    if (Open(pb, path) != 0) return -1;
    Read r = Get(btr::kOpGetEqual, pb, 0, U32(1));
    Close(pb);
    return r.status == 0 ? std::atoi(r.record.substr(4, 8).c_str()) : -1;
}

}  // namespace

TEST(ServedFolder, UnusableSettingsAnswer2AndCreateNothing) {
    const char* cases[] = {
        "schema = tallyra\n",                                 // no connection
        "connection = host=127.0.0.1\nschema = a\"; DROP\n",  // a schema that is no plain name
        "connection = host=127.0.0.1\nschema = s\nport = 5432\n",
        "connection host=127.0.0.1\n",
    };
    for (const char* settings : cases) {
        TempDir dir;
        ASSERT_TRUE(testsupport::WriteFileBytes(dir.File("w3btrv7.server"), settings));
        PositionBlock pb;
        EXPECT_EQ(Open(pb, dir.File("CUST.DAT")), btr::kStatusIoError) << settings;
        Definition def(12, 1);
        def.segments.push_back(Segment(1, 4, 0));
        EXPECT_EQ(Create(dir.File("CUST.DAT"), def), btr::kStatusIoError) << settings;
        EXPECT_FALSE(testsupport::ReadFileBytes(dir.File("CUST.DAT")).has_value()) << settings;
    }
}

TEST(ServedFolder, AFileLyingInTheFolderItselfIsNeverPassedOverForTheServers) {
    if (!FoldersAreServed()) GTEST_SKIP() << "needs served folders";
    TempDir dir;
    Definition def(12, 1);
    def.segments.push_back(Segment(1, 4, 0));
    ASSERT_EQ(Create(dir.File("CUST.DAT"), def), 0);
    ASSERT_TRUE(testsupport::WriteFileBytes(dir.File("cust.dat"), "an old file never moved"));
    PositionBlock pb;
    EXPECT_EQ(Open(pb, dir.File("cust.dat")), btr::kStatusNotABtrieveFile);
    EXPECT_EQ(Create(dir.File("cust.dat"), def, btr::kCreateOverwrite), btr::kStatusFileAlreadyExists);
    // The server's file is there under its other spelling, case-blind as on Windows, where that
    // spelling names the old file in the folder too, which still stands in the way.
    bool caseBlindFolder = testsupport::ReadFileBytes(dir.File("Cust.Dat")).has_value();
    EXPECT_EQ(Open(pb, dir.File("Cust.Dat")), caseBlindFolder ? btr::kStatusNotABtrieveFile : 0);
}

// A workstation killed at any moment of a transaction that moves value from one file to another
// leaves all of the move or none of it, and keeps every move it was told had ended.
TEST(ServerTransactions, AKilledWorkstationLeavesAllOrNoneOfAMoveBetweenTwoFiles) {
    if (!FoldersAreServed()) GTEST_SKIP() << "needs served folders";
    TempDir dir;
    std::string from = dir.File("FROM.DAT"), to = dir.File("TO.DAT");
    {
        ChildProcess setup(testsupport::BuildPath("w3btrv7_client"), {});
        for (const std::string& line :
             std::vector<std::string>{"create " + from, "create " + to, "open " + from, "insert 1 " + Balance(1000),
                                      "block 1", "open " + to, "insert 1 " + Balance(0), "exit"}) {
            ASSERT_TRUE(setup.Send(line));
            if (line != "exit") {
                ASSERT_EQ(setup.ReadLine().value_or("none"), "status 0") << line;
            }
        }
    }
    std::mt19937 random(20261207);
    int moved = 0;
    for (int run = 0; run < 20; ++run) {
        ChildProcess mover(testsupport::BuildPath("w3btrv7_client"), {});
        for (const std::string& line : std::vector<std::string>{"open " + from, "block 1", "open " + to}) {
            ASSERT_TRUE(mover.Send(line));
            ASSERT_EQ(mover.ReadLine().value_or("none"), "status 0");
        }
        auto move = [&](int amount) {
            return std::vector<std::string>{"call 19",
                                            "block 0",
                                            "get 5 0 1",
                                            "update 1 " + Balance(1000 - amount),
                                            "block 1",
                                            "get 5 0 1",
                                            "update 1 " + Balance(amount),
                                            "call 20"};
        };
        int whole = static_cast<int>(random() % 4);
        for (int m = 0; m < whole; ++m) {
            for (const std::string& line : move(moved + 1)) {
                ASSERT_TRUE(mover.Send(line));
                ASSERT_EQ(mover.ReadLine().value_or("none"), "status 0") << line;
            }
            ++moved;
        }
        // The last move is killed somewhere along the way, its End perhaps answered, perhaps not.
        for (const std::string& line : move(moved + 1)) mover.Send(line);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 4000));
        mover.Kill();
        mover.Wait();
        int left = ReadBalance(from), arrived = ReadBalance(to);
        ASSERT_EQ(left + arrived, 1000) << "run " << run;
        ASSERT_TRUE(arrived == moved || arrived == moved + 1) << "run " << run << ": " << arrived;
        moved = arrived;
    }
}

// A server of its own, for a test that restarts it under the other tests' feet otherwise.
class PrivateServer {
public:
    explicit PrivateServer(const TempDir& dir) : state_(dir.File("server.state")) {
        started_ =
            Run("start") && testsupport::WriteFileBytes(
                                dir.File("w3btrv7.server"),
                                "connection = " + testsupport::ReadFileBytes(state_).value_or("") + "schema = own\n");
    }
    ~PrivateServer() { Run("stop"); }
    bool started() const { return started_; }
    bool Run(const std::string& action) { return testsupport::RunTestServerScript(action, state_); }

private:
    std::string state_;
    bool started_ = false;
};

TEST(ServerConnection, ARestartedServerAnswers95OnceThenTheWorkGoesOnWithNothingLost) {
    if (!FoldersAreServed()) GTEST_SKIP() << "needs served folders";
    TempDir dir;
    PrivateServer server(dir);
    ASSERT_TRUE(server.started());
    std::string path = dir.File("KEPT.DAT");
    Definition def(12, 1);
    def.segments.push_back(Segment(1, 4, 0, btr::kTypeUnsignedBinary));
    ASSERT_EQ(Create(path, def), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, path), 0);
    for (uint32_t id = 1; id <= 20; ++id) ASSERT_EQ(Insert(pb, Record(12, U32(id))), 0);
    ASSERT_TRUE(server.Run("restart"));
    EXPECT_EQ(Insert(pb, Record(12, U32(21))), btr::kStatusSessionNoLongerValid);
    EXPECT_EQ(Insert(pb, Record(12, U32(22))), 0);
    uint32_t count = 0;
    for (Read r = Get(btr::kOpGetFirst, pb, 0); r.status == 0; r = Get(btr::kOpGetNext, pb, 0, r.key)) ++count;
    EXPECT_EQ(count, 21u);
    // The open lock is back: another process cannot open the file exclusively.
    ChildProcess other(testsupport::BuildPath("w3btrv7_client"), {});
    ASSERT_TRUE(other.Send("open " + path + " -4"));
    EXPECT_EQ(other.ReadLine().value_or("none"), "status " + std::to_string(btr::kStatusIncompatibleMode));
}
