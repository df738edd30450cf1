// Open modes: exclusive opens against other processes, read-only, accelerated and verify.
#include <gtest/gtest.h>

#include "client_process.h"

using namespace w3btest;
using testsupport::TempDir;

namespace {

class OpenModes : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.File("MODES.DAT");
        ASSERT_EQ(Create(path_, IdFile()), 0);
        client_ = std::make_unique<ClientProcess>();
        ASSERT_TRUE(client_->started());
    }

    TempDir dir_;
    std::string path_;
    std::unique_ptr<ClientProcess> client_;
};

}  // namespace

TEST_F(OpenModes, AnExclusiveOpenKeepsOtherProcessesOutUntilItCloses) {
    PositionBlock pb;
    ASSERT_EQ(Open(pb, path_, btr::kOpenExclusive), 0);
    EXPECT_EQ(client_->Ask("open " + path_), "status 85");
    EXPECT_EQ(client_->Ask("open " + path_ + " -2"), "status 85");
    // The same process is the same client: it may open the file again.
    PositionBlock again;
    EXPECT_EQ(Open(again, path_), 0);
    ASSERT_EQ(Insert(again, IdRecord(1, "one")), 0);
    ASSERT_EQ(Close(pb), 0);
    EXPECT_EQ(client_->Ask("open " + path_), "status 0");
    EXPECT_EQ(client_->Ask(GetCommand(btr::kOpGetEqual, 1)), "status 0");
}

TEST_F(OpenModes, AnExclusiveOpenIsRefusedWhileAnotherProcessHasTheFileOpen) {
    ASSERT_EQ(client_->Ask("open " + path_), "status 0");
    PositionBlock pb;
    EXPECT_EQ(Open(pb, path_, btr::kOpenExclusive), btr::kStatusIncompatibleMode);
    EXPECT_EQ(Open(pb, path_), 0);
    EXPECT_EQ(Open(pb, path_, btr::kOpenExclusive), btr::kStatusIncompatibleMode);
    ASSERT_EQ(client_->Ask("close"), "status 0");
    EXPECT_EQ(Open(pb, path_, btr::kOpenExclusive), 0);
    EXPECT_EQ(client_->Ask("open " + path_), "status 85");
}

TEST_F(OpenModes, AnExclusiveHolderKilledLetsOthersIn) {
    ASSERT_EQ(client_->Ask("open " + path_ + " -4"), "status 0");
    PositionBlock pb;
    ASSERT_EQ(Open(pb, path_), btr::kStatusFileInUse);
    client_->Kill();
    EXPECT_EQ(Open(pb, path_), 0);
}

TEST_F(OpenModes, ReadOnlyOpenRefusesEveryChangeWith46) {
    PositionBlock writer, reader;
    ASSERT_EQ(Open(writer, path_), 0);
    ASSERT_EQ(Insert(writer, IdRecord(1, "one")), 0);
    ASSERT_EQ(Open(reader, path_, btr::kOpenReadOnly), 0);
    EXPECT_EQ(Insert(reader, IdRecord(2, "two")), btr::kStatusAccessDenied);
    ASSERT_EQ(IdOf(Get(btr::kOpGetFirst, reader, 0)), 1u);
    std::string record = IdRecord(1, "uno");
    uint32_t length = 12;
    char key[255] = {};
    EXPECT_EQ(Call(btr::kOpUpdate, reader, record.data(), &length, key, 255, 0), btr::kStatusAccessDenied);
    EXPECT_EQ(Call(btr::kOpDelete, reader, nullptr, &length, key, 255, 0), btr::kStatusAccessDenied);
    BtrKeySpec spec = Segment(5, 8, btr::kKeyFlagDuplicates, btr::kTypeString);
    length = sizeof spec;
    EXPECT_EQ(Call(btr::kOpCreateIndex, reader, &spec, &length, key, 255, 0), btr::kStatusAccessDenied);
    // Locking reads are allowed.
    EXPECT_EQ(Get(btr::kOpGetFirst + btr::kBiasSingleNoWaitLock, reader, 0).status, 0);
}

TEST_F(OpenModes, AcceleratedAndVerifyingOpensReadAndWriteLikeNormalOnes) {
    PositionBlock accelerated, verifying;
    ASSERT_EQ(Open(accelerated, path_, btr::kOpenAccelerated), 0);
    ASSERT_EQ(Open(verifying, path_, btr::kOpenVerify), 0);
    ASSERT_EQ(Insert(accelerated, IdRecord(1, "one")), 0);
    ASSERT_EQ(Insert(verifying, IdRecord(2, "two")), 0);
    EXPECT_EQ(IdOf(Get(btr::kOpGetLast, accelerated, 0)), 2u);
    EXPECT_EQ(IdOf(Get(btr::kOpGetFirst, verifying, 0)), 1u);
    ASSERT_EQ(client_->Ask("open " + path_), "status 0");
    EXPECT_EQ(client_->Ask(GetCommand(btr::kOpGetEqual, 2)), "status 0");
}

TEST_F(OpenModes, AFileOnReadOnlyMediaIsReadWithoutWritingAnythingThere) {
    if (!testsupport::CanMountReadOnly()) GTEST_SKIP() << "needs root and unshare -m for read-only media";
    PositionBlock pb;
    ASSERT_EQ(Open(pb, path_), 0);
    ASSERT_EQ(Insert(pb, IdRecord(5, "five")), 0);
    ASSERT_EQ(Close(pb), 0);
    ClientProcess onMedia(ClientProcess::OnReadOnlyMount(dir_.path()));
    ASSERT_TRUE(onMedia.started());
    for (const char* mode : {"-2", "0"}) {
        ASSERT_EQ(onMedia.Ask("open " + path_ + " " + mode), "status 0") << "mode " << mode;
        EXPECT_EQ(onMedia.Ask(GetCommand(btr::kOpGetEqual, 5)), "status 0");
        EXPECT_EQ(onMedia.Ask("insert 6 six"), "status 46");
        EXPECT_EQ(onMedia.Ask("close"), "status 0");
    }
    EXPECT_FALSE(testsupport::ReadFileBytes(path_ + "-wal").has_value());
    EXPECT_FALSE(testsupport::ReadFileBytes(path_ + "-shm").has_value());
}
