// One data file reached through two spellings of its path in one process. The process keeps one
// connection to the file, so closing one spelling, or a refused Create under another, never ends
// the locks that tell other processes the file is still in use: the last of them to close would
// otherwise take the journal away from under the writer. Three processes, as in an office.
#include <gtest/gtest.h>

#include <filesystem>

#include "client_process.h"

using namespace w3btest;
using testsupport::TempDir;

namespace {

struct SecondSpelling {
    const char* name;
    const char* action;  // what the writer does through it: "reopen" (open, then close) or "create"
};

std::string Spell(const TempDir& dir, const std::string& how) {
    if (how == "dot") return dir.path() + "/./T.DAT";
    if (how == "slashes") return dir.path() + "//T.DAT";
    std::error_code error;
    std::filesystem::create_symlink(dir.File("T.DAT"), dir.File("LINK.DAT"), error);
    return error ? std::string() : dir.File("LINK.DAT");
}

class TwoSpellings : public ::testing::TestWithParam<SecondSpelling> {};

}  // namespace

TEST_P(TwoSpellings, NothingAcknowledgedIsLostWhenOneSpellingLetsGo) {
    TempDir dir;
    std::string path = dir.File("T.DAT");
    ASSERT_EQ(Create(path, IdFile()), 0);
    std::string other = Spell(dir, GetParam().name);
    if (other.empty()) GTEST_SKIP() << "no symbolic links here";
    ClientProcess holder, writer, reader;
    ASSERT_EQ(holder.Ask("open " + path), "status 0");
    ASSERT_EQ(writer.Ask("open " + path), "status 0");
    writer.Ask("block 1");
    if (std::string(GetParam().action) == "create") {
        EXPECT_EQ(writer.Ask("create " + other), "status 85");
    } else {
        ASSERT_EQ(writer.Ask("open " + other), "status 0");
        ASSERT_EQ(writer.Ask("close"), "status 0");
    }
    ASSERT_EQ(holder.Ask("close"), "status 0");
    writer.Ask("block 0");
    ASSERT_EQ(writer.Ask("insert 7 seven"), "status 0");

    ASSERT_EQ(reader.Ask("open " + path), "status 0");
    EXPECT_EQ(reader.Ask(GetCommand(btr::kOpGetEqual, 7)), "status 0");
    writer.Kill();
    EXPECT_EQ(reader.Ask(GetCommand(btr::kOpGetEqual, 7)), "status 0");
    EXPECT_EQ(reader.Ask("close"), "status 0");
    EXPECT_EQ(IntegrityCheck(path), "ok");
}

INSTANTIATE_TEST_SUITE_P(Spellings, TwoSpellings,
                         ::testing::Values(SecondSpelling{"dot", "reopen"}, SecondSpelling{"slashes", "reopen"},
                                           SecondSpelling{"link", "reopen"}, SecondSpelling{"dot", "create"},
                                           SecondSpelling{"link", "create"}),
                         [](const auto& info) { return std::string(info.param.name) + "_" + info.param.action; });
