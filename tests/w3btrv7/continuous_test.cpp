// Continuous Operation: an ordinary copy of a data file in use is a consistent database of the
// moment the mode began, while other processes go on writing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "client_process.h"
#include "w3btrv7_test_util.h"

using namespace w3btest;
using testsupport::TempDir;

namespace {

int16_t Continuous(int8_t keyNumber, const std::string& paths) {
    PositionBlock pb;
    std::string data = paths + '\0';
    uint32_t length = static_cast<uint32_t>(data.size());
    return Call(btr::kOpContinuous, pb, data.data(), &length, nullptr, 0, keyNumber);
}

// Every record along key 0: id -> name.
std::map<uint32_t, std::string> Records(const std::string& path) {
    std::map<uint32_t, std::string> records;
    PositionBlock pb;
    EXPECT_EQ(Open(pb, path), 0);
    for (Read r = Get(btr::kOpGetFirst, pb, 0); r.status == 0; r = Get(btr::kOpGetNext, pb, 0)) {
        records[IdOf(r)] = r.record.substr(4);
    }
    Close(pb);
    return records;
}

std::string Bytes(const std::string& path) { return testsupport::ReadFileBytes(path).value_or(""); }

class ContinuousOperation : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Create(path_, IdFile()), 0);
        ASSERT_EQ(writer_.Ask("open " + path_), "status 0");
    }
    // The writer's records `first` to `last`, named `name`, as inserts or updates.
    void Write(const char* command, uint32_t first, uint32_t last, const std::string& name) {
        for (uint32_t id = first; id <= last; ++id) {
            if (std::string(command) == "update") {
                ASSERT_EQ(writer_.Ask(GetCommand(btr::kOpGetEqual, id)), "status 0");
            }
            ASSERT_EQ(writer_.Ask(std::string(command) + " " + std::to_string(id) + " " + name), "status 0");
        }
    }
    bool OnServer() const { return !std::filesystem::exists(path_); }

    TempDir dir_;
    std::string path_ = dir_.File("BOOKS.DAT");
    ClientProcess writer_;
};

}  // namespace

TEST_F(ContinuousOperation, ACopyTakenWhileAnotherProcessWritesHoldsTheRecordsOfTheMomentTheModeBegan) {
    Write("insert", 1, 2000, "first");
    if (OnServer()) {
        EXPECT_EQ(Continuous(0, path_), btr::kStatusOperationNotAllowed);  // no file for a copy to take
        return;
    }
    ASSERT_EQ(Continuous(0, path_), 0);
    // Byte by byte in small pieces, the writer changing every record and adding more meanwhile:
    // thousands of pages of WAL, far past the point where checkpoints would rewrite the file.
    std::ifstream source(path_, std::ios::binary);
    std::string copy;
    char piece[512];
    for (uint32_t id = 1; source.read(piece, sizeof piece), source.gcount() > 0; id += 10) {
        copy.append(piece, static_cast<size_t>(source.gcount()));
        Write("update", id, id + 9, "second");
        Write("insert", 2000 + id, 2000 + id + 9, "second");
    }
    std::ofstream(dir_.File("COPY.DAT"), std::ios::binary) << copy;
    EXPECT_EQ(IntegrityCheck(dir_.File("COPY.DAT")), "ok");
    std::map<uint32_t, std::string> copied = Records(dir_.File("COPY.DAT"));
    EXPECT_EQ(copied.size(), 2000u);
    EXPECT_EQ(copied.begin()->second.substr(0, 5), "first");
    EXPECT_EQ(copied.rbegin()->second.substr(0, 5), "first");
    ASSERT_EQ(Continuous(1, ""), 0);
    EXPECT_EQ(Records(path_).at(1).substr(0, 6), "second");
}

TEST_F(ContinuousOperation, AProcessThatDiesInTheModeNoLongerHoldsTheFileBack) {
    if (OnServer()) GTEST_SKIP() << "a server file has no bytes here";
    ClientProcess holder;
    ASSERT_EQ(holder.Ask("call 42 0 " + path_), "status 0");
    const std::string held = Bytes(path_);
    Write("insert", 1, 1500, "first");
    EXPECT_TRUE(Bytes(path_) == held);  // every commit since went to the WAL only
    holder.Kill();
    Write("insert", 1501, 3000, "second");
    EXPECT_FALSE(Bytes(path_) == held);
}

TEST_F(ContinuousOperation, BadListsAnswerAStatusAndBeginNothing) {
    struct Case {
        int8_t keyNumber;
        std::string paths;
        int16_t status;
    };
    const Case cases[] = {
        {0, path_ + ",", btr::kStatusInvalidFileName},
        {0, dir_.File("MISSING.DAT") + "," + path_, btr::kStatusFileNotFound},
        // The first file begins and then ends again (a server file refuses at once).
        {0, path_ + "," + dir_.File("MISSING.DAT"),
         OnServer() ? btr::kStatusOperationNotAllowed : btr::kStatusFileNotFound},
        {3, path_, btr::kStatusInvalidKeyNumber},
    };
    for (const Case& c : cases) EXPECT_EQ(Continuous(c.keyNumber, c.paths), c.status) << c.paths;
    // Nothing was kept: the file can be replaced, which a file in the mode cannot be.
    EXPECT_EQ(writer_.Ask("close"), "status 0");
    EXPECT_EQ(Create(path_, IdFile()), 0);
}
