// Durability settings: the synchronous level each way of opening a file gives its connection
// (white-box: the level cannot be seen through BTRCALL).
#include <gtest/gtest.h>

#include <mutex>

#include "ops/engine.h"
#include "store/sqlite/sqlite_file.h"
#include "w3btrv7_test_util.h"

using namespace w3btest;
using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace {

constexpr int kNormal = 1;
constexpr int kFull = 2;

int LevelOf(PositionBlock& pb) {
    std::lock_guard<std::mutex> lock(w3b::Engine::Get().Mutex());
    w3b::OpenInstance* open = w3b::Engine::Get().Find(pb.bytes);
    return open != nullptr ? dynamic_cast<w3b::SqliteFile*>(open->file) != nullptr
                                 ? dynamic_cast<w3b::SqliteFile*>(open->file)->SynchronousLevelForTest()
                                 : -1
                           : -1;
}

Definition OneKey() {
    Definition def(12, 1);
    def.segments.push_back(Segment(1, 4, 0, btr::kTypeUnsignedBinary));
    return def;
}

}  // namespace

TEST(Durability, OrdinaryOpensWriteTheWalWithoutSyncingEachCommit) {
    TempDir dir;
    ScopedEnv sync("W3BTRV7_SYNC", std::nullopt);
    ASSERT_EQ(Create(dir.File("D.DAT"), OneKey()), 0);
    PositionBlock normal, accelerated;
    ASSERT_EQ(Open(normal, dir.File("D.DAT")), 0);
    ASSERT_EQ(Open(accelerated, dir.File("D.DAT"), btr::kOpenAccelerated), 0);
    EXPECT_EQ(LevelOf(normal), kNormal);
    EXPECT_EQ(LevelOf(accelerated), kNormal);
}

TEST(Durability, AVerifyingOpenSyncsEveryCommitOfTheProcessToTheFile) {
    TempDir dir;
    ScopedEnv sync("W3BTRV7_SYNC", std::nullopt);
    ASSERT_EQ(Create(dir.File("D.DAT"), OneKey()), 0);
    PositionBlock normal, verifying;
    ASSERT_EQ(Open(normal, dir.File("D.DAT")), 0);
    ASSERT_EQ(Open(verifying, dir.File("D.DAT"), btr::kOpenVerify), 0);
    EXPECT_EQ(LevelOf(verifying), kFull);
    EXPECT_EQ(LevelOf(normal), kFull);  // one connection per file and process
}

TEST(Durability, TheFullSyncSettingSyncsEveryCommit) {
    TempDir dir;
    ScopedEnv sync("W3BTRV7_SYNC", "full");
    ASSERT_EQ(Create(dir.File("D.DAT"), OneKey()), 0);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, dir.File("D.DAT")), 0);
    EXPECT_EQ(LevelOf(pb), kFull);
}
