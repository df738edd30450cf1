// Set Owner and Clear Owner through BTRCALL, and what an owner name changes for Open.
#include <gtest/gtest.h>

#include <filesystem>

#include "client_process.h"
#include "store/owner_seal.h"
#include "w3btrv7_test_util.h"

using namespace w3btest;
using testsupport::TempDir;

namespace {

int16_t OpenAs(PositionBlock& pb, const std::string& path, const std::string& owner, int8_t mode = 0) {
    char key[256] = {};
    std::strncpy(key, path.c_str(), 255);
    std::string name = owner + '\0';
    uint32_t length = static_cast<uint32_t>(name.size());
    return Call(btr::kOpOpen, pb, name.data(), &length, key, 255, mode);
}

int16_t SetOwner(PositionBlock& pb, const std::string& name, const std::string& again, int8_t level) {
    std::string data = name + '\0';
    std::string key = again + '\0';
    uint32_t length = static_cast<uint32_t>(data.size());
    return Call(btr::kOpSetOwner, pb, data.data(), &length, key.data(), static_cast<uint8_t>(key.size()), level);
}

int16_t ClearOwner(PositionBlock& pb) {
    uint32_t length = 0;
    return Call(btr::kOpClearOwner, pb, nullptr, &length, nullptr, 0, 0);
}

class Owners : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.File("OWNED.DAT");
        ASSERT_EQ(Create(path_, IdFile()), 0);
        ASSERT_EQ(Open(pb_, path_), 0);
        ASSERT_EQ(Insert(pb_, IdRecord(1, "Ledger01")), 0);
    }
    void TearDown() override { Close(pb_); }

    // Gives the file an owner and closes the block that did.
    void Own(int8_t level) {
        ASSERT_EQ(SetOwner(pb_, "Secret7", "Secret7", level), 0);
        ASSERT_EQ(Close(pb_), 0);
    }

    TempDir dir_;
    std::string path_;
    PositionBlock pb_;
};

}  // namespace

TEST(OwnerSeal, DerivesThePublishedPbkdf2Sha256Values) {
    struct Case {
        uint32_t rounds;
        const char* hex;
    };
    const Case cases[] = {
        {1, "120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b"},
        {2, "ae4d0c95af6b46d32d0adff928f06dd02a303f8ef3c251dfd6e2d85a95474c43"},
        {4096, "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a"},
    };
    for (const Case& c : cases) {
        std::string key = w3b::Pbkdf2Sha256("password", "salt", c.rounds, 32);
        std::string hex;
        for (unsigned char byte : key) hex += "0123456789abcdef"[byte >> 4], hex += "0123456789abcdef"[byte & 15];
        EXPECT_EQ(hex, c.hex) << c.rounds << " rounds";
    }
}

TEST_F(Owners, SetOwnerAnswersAStatusForEveryBadRequestAndLeavesTheFileOpenToAll) {
    struct Case {
        const char* name;
        const char* again;
        int8_t level;
        int16_t status;
    };
    const Case cases[] = {
        {"Secret7", "Secret8", 0, btr::kStatusInvalidOwner},         // the two names differ
        {"", "", 0, btr::kStatusInvalidOwner},                       // no name
        {"NineChars", "NineChars", 0, btr::kStatusInvalidOwner},     // longer than an owner name
        {"Secret7", "Secret7", 2, btr::kStatusOperationNotAllowed},  // would encrypt: refused
        {"Secret7", "Secret7", 3, btr::kStatusOperationNotAllowed},
        {"Secret7", "Secret7", 4, btr::kStatusInvalidKeyNumber},
    };
    for (const Case& c : cases) EXPECT_EQ(SetOwner(pb_, c.name, c.again, c.level), c.status) << c.name << c.level;
    PositionBlock other;
    EXPECT_EQ(Open(other, path_), 0);
    EXPECT_EQ(Close(other), 0);
}

TEST_F(Owners, AWrongOrMissingOwnerNameAnswers51AndReadsNothing) {
    Own(0);
    PositionBlock pb;
    EXPECT_EQ(Open(pb, path_), btr::kStatusInvalidOwner);
    EXPECT_EQ(OpenAs(pb, path_, "secret7"), btr::kStatusInvalidOwner);  // names are case-sensitive
    EXPECT_EQ(OpenAs(pb, path_, "Secret7x"), btr::kStatusInvalidOwner);
    EXPECT_EQ(Get(btr::kOpGetFirst, pb, 0).status, btr::kStatusFileNotOpen);
    ASSERT_EQ(OpenAs(pb, path_, "Secret7"), 0);
    EXPECT_EQ(IdOf(Get(btr::kOpGetFirst, pb, 0)), 1u);
    EXPECT_EQ(Insert(pb, IdRecord(2, "Ledger02")), 0);
    EXPECT_EQ(Close(pb), 0);
}

TEST_F(Owners, TheReadOnlyLevelLetsAnOpenWithoutTheNameReadButNotWriteOrClear) {
    Own(1);
    PositionBlock pb;
    ASSERT_EQ(Open(pb, path_), 0);
    EXPECT_EQ(IdOf(Get(btr::kOpGetFirst, pb, 0)), 1u);
    EXPECT_EQ(Insert(pb, IdRecord(2, "Ledger02")), btr::kStatusAccessDenied);
    EXPECT_EQ(ClearOwner(pb), btr::kStatusInvalidOwner);
    EXPECT_EQ(Close(pb), 0);
    EXPECT_EQ(OpenAs(pb, path_, "Wrong"), btr::kStatusInvalidOwner);
}

TEST_F(Owners, ClearOwnerWithTheNameOpensTheFileToEveryoneAgain) {
    Own(0);
    ASSERT_EQ(OpenAs(pb_, path_, "Secret7"), 0);
    EXPECT_EQ(SetOwner(pb_, "Other", "Other", 0), btr::kStatusOwnerAlreadySet);
    ASSERT_EQ(ClearOwner(pb_), 0);
    ASSERT_EQ(Close(pb_), 0);
    EXPECT_EQ(Open(pb_, path_), 0);
}

TEST_F(Owners, OwnersChangeNeitherInsideATransactionNorWhileAnotherProcessHasTheFileOpen) {
    uint32_t length = 0;
    ASSERT_EQ(Call(btr::kOpBeginTransaction, pb_, nullptr, &length, nullptr, 0, 0), 0);
    EXPECT_EQ(SetOwner(pb_, "Secret7", "Secret7", 0), btr::kStatusOperationNotAllowed);
    ASSERT_EQ(Call(btr::kOpEndTransaction, pb_, nullptr, &length, nullptr, 0, 0), 0);
    ClientProcess client;
    ASSERT_EQ(client.Ask("open " + path_), "status 0");
    EXPECT_EQ(SetOwner(pb_, "Secret7", "Secret7", 0), btr::kStatusIncompatibleMode);
    EXPECT_EQ(client.Ask("insert 2 Ledger02"), "status 0");  // the file still has no owner
    EXPECT_EQ(client.Ask("close"), "status 0");
    EXPECT_EQ(SetOwner(pb_, "Secret7", "Secret7", 0), 0);
}

TEST_F(Owners, TheNameIsNowhereInTheFileInClear) {
    if (!std::filesystem::exists(path_)) GTEST_SKIP() << "a server file has no bytes here";
    Own(0);
    std::string bytes;
    for (const char* suffix : {"", "-wal"}) bytes += testsupport::ReadFileBytes(path_ + suffix).value_or("");
    EXPECT_EQ(bytes.find("Secret7"), std::string::npos);
    PositionBlock pb;
    EXPECT_EQ(OpenAs(pb, path_, "Secret7"), 0);
    EXPECT_EQ(Close(pb), 0);
}
