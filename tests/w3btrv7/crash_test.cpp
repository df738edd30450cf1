// Crash safety: a writer killed at a random moment, again and again, during inserts, updates
// and a supplemental index build. After each kill the file opens, passes SQLite's integrity
// check, and holds every record the writer reported as written.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <random>
#include <thread>

#include "client_process.h"

using namespace w3btest;
using testsupport::ChildProcess;
using testsupport::TempDir;

namespace {

constexpr int kRuns = 100;
constexpr uint32_t kIdsPerRun = 1000;

}  // namespace

TEST(CrashSafety, AWriterKilledAtAnyMomentLosesNothingItReported) {
    TempDir dir;
    std::string path = dir.File("CRASH.DAT");
    ASSERT_EQ(Create(path, IdFile()), 0);
    std::mt19937 random(20261207);
    // What every writer reported: id -> the name it last wrote.
    std::map<uint32_t, std::string> reported;
    int killedWhileIndexing = 0;
    // Every check after a kill reads every record so far, one call each: on a server, where a
    // call is a network round trip, and in network-share mode, where every call takes the
    // file's lock again, fewer runs keep the test within minutes (under Wine too, whose locks
    // are slower still).
    const char* store = std::getenv("TYDB_TEST_STORE");
    const bool slowCalls = store != nullptr && (std::string(store) == "server" || std::string(store) == "network");
    const int runs = slowCalls ? kRuns / 4 : kRuns;
    for (int run = 0; run < runs; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        uint32_t first = static_cast<uint32_t>(run) * kIdsPerRun + 1;
        ChildProcess writer(testsupport::BuildPath("w3btrv7_writer"), {path, std::to_string(first)});
        ASSERT_TRUE(writer.started());
        // Most runs die after some operations; some in the middle of the index build.
        bool duringIndex = run % 4 == 3;
        int lines = static_cast<int>(random() % 120);
        bool indexing = false;
        for (int i = 0; duringIndex ? !indexing : i < lines; ++i) {
            std::optional<std::string> line = writer.ReadLine();
            ASSERT_TRUE(line.has_value());
            if (line->rfind("inserted ", 0) == 0) {
                reported[static_cast<uint32_t>(std::stoul(line->substr(9)))] = "inserted";
            } else if (line->rfind("updated ", 0) == 0) {
                reported[static_cast<uint32_t>(std::stoul(line->substr(8)))] = "updated";
            } else if (*line == "indexing") {
                indexing = true;
            }
            ASSERT_NE(*line, "done");
        }
        if (duringIndex) {
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
            ++killedWhileIndexing;
        }
        writer.Kill();
        writer.Wait();

        ASSERT_EQ(IntegrityCheck(path), "ok");
        PositionBlock pb;
        ASSERT_EQ(Open(pb, path), 0);
        for (const auto& [id, name] : reported) {
            Read r = Get(btr::kOpGetEqual, pb, 0, IdKey(id));
            ASSERT_EQ(r.status, 0) << "id " << id;
            // An update may have completed without being reported before the kill.
            std::string stored = r.record.substr(4, 8);
            if (name == "updated") {
                ASSERT_EQ(stored, "updated ") << "id " << id;
            } else {
                ASSERT_TRUE(stored == "inserted" || stored == "updated ") << "id " << id << ": " << stored;
            }
        }
        // A key the build left behind, if any, is complete.
        Read indexed = Get(btr::kOpGetFirst, pb, 1);
        if (indexed.status == 0) {
            size_t entries = 1;
            while (Get(btr::kOpGetNext, pb, 1, indexed.key).status == 0) ++entries;
            size_t records = 0;
            for (Read r = Get(btr::kOpStepFirst, pb, 0); r.status == 0; r = Get(btr::kOpStepNext, pb, 0)) ++records;
            EXPECT_EQ(entries, records);
        } else {
            EXPECT_EQ(indexed.status, btr::kStatusInvalidKeyNumber);
        }
        ASSERT_EQ(Close(pb), 0);
    }
    EXPECT_GT(killedWhileIndexing, 0);
    EXPECT_GT(reported.size(), 100u);
}
