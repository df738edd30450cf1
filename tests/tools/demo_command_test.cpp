// tydb demo: the main job of the quick start, in a folder of its own, with every step shown and
// every file it leaves behind usable by the other commands.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <memory>
#include <string>

#include "fake_engine_control.h"
#include "tool_runner.h"

using namespace testsupport;

namespace {

class DemoCommand : public ::testing::Test {
protected:
    static std::string Q(const std::string& text) { return "'" + text + "'"; }
    bool Has(const ToolResult& result, const std::string& text) { return result.out.find(text) != std::string::npos; }
    TempDir dir;
};

TEST_F(DemoCommand, RunsEveryStepInAnEmptyFolder) {
    // The demo keeps its settings in its own folder, whatever the caller's settings file says.
    ScopedEnv settings("TYWREG_FILE", dir.File("elsewhere.ini"));
    const std::string folder = dir.File("company");
    auto demo = RunTool(dir, "demo " + Q(folder));
    ASSERT_EQ(demo.exitCode, 0) << demo.out << demo.err;
    EXPECT_TRUE(Has(demo, "Settings file:   " + folder + "/tywreg.ini")) << demo.out;
    EXPECT_TRUE(Has(demo, "2000 customers inserted")) << demo.out;
    EXPECT_TRUE(Has(demo, "8000 invoices inserted")) << demo.out;
    EXPECT_TRUE(Has(demo, "Workstation lock: ~ty~.loc is there")) << demo.out;
    EXPECT_TRUE(Has(demo, "Get Equal, key 0 (number 1017):\n    #1017  ")) << demo.out;
    EXPECT_TRUE(Has(demo, "Get First + Get Next along key 2 (date): 8000 invoices")) << demo.out;
    EXPECT_TRUE(Has(demo, "DbFindPermanentKey gives -1")) << demo.out;
    EXPECT_TRUE(Has(demo, "DbActivateKey built supplemental key 3 over 8000 invoices")) << demo.out;
    EXPECT_TRUE(Has(demo, "INVOICE.DAT  key 3, 1 segment, active references 1, total references 1")) << demo.out;
    EXPECT_TRUE(Has(demo, "    BUILDING NEW KEY\n      File Name: INVOICE.DAT\n")) << demo.out;
    EXPECT_TRUE(Has(demo, "INVOICE.DAT  key 3, 1 segment, active references 0, total references 1")) << demo.out;
    EXPECT_TRUE(Has(demo, "the last close removed the lock file")) << demo.out;
    EXPECT_TRUE(Has(demo, "Whole demo")) << demo.out;
    EXPECT_FALSE(std::filesystem::exists(dir.File("elsewhere.ini")));
    for (const char* name : {"CUSTOMER.DAT", "INVOICE.DAT", "tysupidx.db", "tysupidx.log", "tywreg.ini",
                             "customer.layout", "invoice.layout"}) {
        EXPECT_TRUE(std::filesystem::exists(folder + "/" + name)) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(folder + "/~ty~.loc"));
}

TEST_F(DemoCommand, LeavesFilesTheOtherCommandsRead) {
    const std::string folder = dir.File("company");
    ASSERT_EQ(RunTool(dir, "demo " + Q(folder) + " --customers 50 --invoices 200").exitCode, 0);
    ScopedEnv settings("TYWREG_FILE", folder + "/tywreg.ini");

    auto stat = RunTool(dir, "stat " + Q(folder + "/INVOICE.DAT"));
    ASSERT_EQ(stat.exitCode, 0) << stat.err;
    EXPECT_TRUE(Has(stat, "Records: 200")) << stat.out;
    EXPECT_TRUE(Has(stat, "Keys: 4")) << stat.out;
    auto customers = RunTool(dir, "stat " + Q(folder + "/CUSTOMER.DAT"));
    EXPECT_TRUE(Has(customers, "Collating sequence: UPPER")) << customers.out;

    auto keys = RunTool(dir, "keys " + Q(folder + "/INVOICE.DAT"));
    EXPECT_TRUE(Has(keys, "Key 3: 17:4, length 4, supplemental, registered: active 0, total 1")) << keys.out;

    auto log = RunTool(dir, "log " + Q(folder));
    EXPECT_TRUE(Has(log, "  2 entries\n")) << log.out;
    EXPECT_TRUE(Has(log, "build       INVOICE.DAT        3     1     4       1       1       200")) << log.out;
    EXPECT_TRUE(Has(log, "deactivate  INVOICE.DAT        3     1     4       0       1       200")) << log.out;

    // The name key sorts every spelling of a name together, capitals or not.
    auto names =
        RunTool(dir, "export " + Q(folder + "/CUSTOMER.DAT") + " --key 1 --layout " + Q(folder + "/customer.layout"));
    ASSERT_EQ(names.exitCode, 0) << names.err;
    EXPECT_EQ(names.out.rfind("number,name,city,balance\n", 0), 0u) << names.out;
    std::string previous;
    int rows = 0;
    for (size_t at = names.out.find('\n') + 1; at < names.out.size(); ++rows) {
        const size_t end = names.out.find('\n', at);
        const std::string row = names.out.substr(at, end - at);
        std::string name = row.substr(row.find(',') + 2);  // after the number and the quote
        name = name.substr(0, name.find('"'));
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_LE(previous, name) << row;
        previous = name;
        at = end + 1;
    }
    EXPECT_EQ(rows, 50);
}

TEST_F(DemoCommand, GeneratesTheSameRecordsEveryRun) {
    const std::string first = dir.File("one"), second = dir.File("two");
    ASSERT_EQ(RunTool(dir, "demo " + Q(first) + " --customers 100 --invoices 300").exitCode, 0);
    ASSERT_EQ(RunTool(dir, "demo " + Q(second) + " --customers 100 --invoices 300").exitCode, 0);
    ScopedEnv settings("TYWREG_FILE", first + "/tywreg.ini");
    for (const char* file : {"CUSTOMER", "INVOICE"}) {
        const std::string layout = std::string(file) == "CUSTOMER" ? "customer.layout" : "invoice.layout";
        auto a = RunTool(dir, "export " + Q(first + "/" + file + ".DAT") + " --layout " + Q(first + "/" + layout));
        auto b = RunTool(dir, "export " + Q(second + "/" + file + ".DAT") + " --layout " + Q(first + "/" + layout));
        ASSERT_EQ(a.exitCode, 0) << a.err;
        EXPECT_GT(a.out.size(), 1000u);
        EXPECT_EQ(a.out, b.out) << file;
    }
}

TEST_F(DemoCommand, RefusesAFolderThatHoldsFiles) {
    const std::string folder = dir.File("busy");
    std::filesystem::create_directory(folder);
    ASSERT_TRUE(WriteFileBytes(folder + "/CUSTOMER.DAT", "someone's data"));
    auto demo = RunTool(dir, "demo " + Q(folder));
    EXPECT_EQ(demo.exitCode, 2);
    EXPECT_NE(demo.err.find("is not empty"), std::string::npos) << demo.err;
    EXPECT_EQ(ReadFileBytes(folder + "/CUSTOMER.DAT").value_or(""), "someone's data");

    ASSERT_TRUE(WriteFileBytes(dir.File("plain"), "x"));
    auto notFolder = RunTool(dir, "demo " + Q(dir.File("plain")));
    EXPECT_EQ(notFolder.exitCode, 2);
    EXPECT_NE(notFolder.err.find("is not a folder"), std::string::npos) << notFolder.err;
}

TEST_F(DemoCommand, ARecordManagerFolderWithoutTheLibraryEndsWithItsStatus) {
    std::filesystem::create_directory(dir.File("empty-engine"));
    auto demo = RunTool(dir, "demo " + Q(dir.File("company")) + " --engine-folder " + Q(dir.File("empty-engine")));
    EXPECT_EQ(demo.exitCode, 1);
    EXPECT_NE(demo.err.find("status 20 (record manager not found or inactive)"), std::string::npos) << demo.err;
}

TEST_F(DemoCommand, RejectsCountsOutOfRange) {
    auto demo = RunTool(dir, "demo " + Q(dir.File("company")) + " --customers 1");
    EXPECT_EQ(demo.exitCode, 2);
    EXPECT_FALSE(std::filesystem::exists(dir.File("company")));
}

}  // namespace

// The whole demo on a folder whose files a PostgreSQL server keeps (the server run of the tool's
// tests serves every test folder): the library's flow, supplemental key and registry included.
TEST_F(DemoCommand, RunsEveryStepInAServedFolder) {
    if (!std::filesystem::exists(dir.File("w3btrv7.server"))) GTEST_SKIP() << "needs a served folder";
    const std::string folder = dir.File("company");
    std::filesystem::create_directory(folder);
    std::filesystem::copy_file(dir.File("w3btrv7.server"), folder + "/w3btrv7.server");
    auto demo = RunTool(dir, "demo " + Q(folder) + " --customers 50 --invoices 200");
    ASSERT_EQ(demo.exitCode, 0) << demo.out << demo.err;
    EXPECT_TRUE(Has(demo, "DbActivateKey built supplemental key 3 over 200 invoices")) << demo.out;
    EXPECT_TRUE(Has(demo, "INVOICE.DAT  key 3, 1 segment, active references 0, total references 1")) << demo.out;
    EXPECT_TRUE(Has(demo, "  INVOICE.DAT      on the server")) << demo.out;
    EXPECT_FALSE(std::filesystem::exists(folder + "/INVOICE.DAT"));
}
