// tydb load and tydb export: CSV in and out through a record layout, every rejected row
// reported, nothing half-written.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

#include <memory>
#include <string>

#include "btrcall.h"
#include "fake_engine_control.h"
#include "tool_runner.h"

using namespace testsupport;

namespace {

// 48-byte records: number (4, key 0 unique), name (16, key 1 duplicates), code (6 zstring),
// count (2 unsigned), ratio (8 float), tag (4 hex), 8 bytes no field covers.
constexpr char kLayout[] =
    "# people\n"
    "number  0  4 integer\n"
    "name    4 16 string   # blank-padded\n"
    "code   20  6 zstring\n"
    "count  26  2 unsigned\n"
    "ratio  28  8 float\n"
    "tag    36  4 hex\n";

class LoadExport : public ::testing::Test {
protected:
    void SetUp() override {
        WriteEngineSettings(dir.File("s.ini"), RealEngineDir());
        settings = std::make_unique<ScopedEnv>("TYWREG_FILE", dir.File("s.ini"));
        path = dir.File("PEOPLE.DAT");
        ASSERT_EQ(
            RunTool(dir, "create " + Q(path) + " --record-length 48 --key 1:4:type=integer --key 5:16:dup").exitCode,
            0);
        ASSERT_TRUE(WriteFileBytes(dir.File("people.layout"), kLayout));
    }
    static std::string Q(const std::string& text) { return "'" + text + "'"; }
    ToolResult Load(const std::string& csv, const std::string& layout = "people.layout") {
        EXPECT_TRUE(WriteFileBytes(dir.File("in.csv"), csv));
        return RunTool(dir, "load " + Q(path) + " " + Q(dir.File("in.csv")) + " --layout " + Q(dir.File(layout)));
    }
    ToolResult Export(const std::string& options = "") {
        return RunTool(dir, "export " + Q(path) + " --layout " + Q(dir.File("people.layout")) + " " + options);
    }

    TempDir dir;
    std::unique_ptr<ScopedEnv> settings;
    std::string path;
};

TEST_F(LoadExport, EveryFieldTypeRoundTrips) {
    const std::string rows =
        "number,name,code,count,ratio,tag\n"
        "1,Ada,A1,65535,0.5,deadbeef\n"
        "-7,\"Smith, \"\"Jo\"\"\",Z,0,-1.25,00ff\n"
        "2147483647,,,1,1e+100,\n";
    auto loaded = Load(rows);
    ASSERT_EQ(loaded.exitCode, 0) << loaded.out << loaded.err;
    EXPECT_NE(loaded.out.find("Loaded 3 records"), std::string::npos) << loaded.out << loaded.err;

    auto exported = Export();
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_EQ(exported.out,
              "number,name,code,count,ratio,tag\n"
              "-7,\"Smith, \"\"Jo\"\"\",Z,0,-1.25,00ff0000\n"
              "1,Ada,A1,65535,0.5,deadbeef\n"
              "2147483647,,,1,1e+100,00000000\n");

    // What was exported loads into a second file and exports the same.
    const std::string copy = dir.File("COPY.DAT");
    ASSERT_EQ(RunTool(dir, "create " + Q(copy) + " --record-length 48 --key 1:4:type=integer").exitCode, 0);
    ASSERT_TRUE(WriteFileBytes(dir.File("out.csv"), exported.out));
    auto reloaded =
        RunTool(dir, "load " + Q(copy) + " " + Q(dir.File("out.csv")) + " --layout " + Q(dir.File("people.layout")));
    ASSERT_EQ(reloaded.exitCode, 0) << reloaded.out << reloaded.err;
    auto again = RunTool(dir, "export " + Q(copy) + " --layout " + Q(dir.File("people.layout")));
    EXPECT_EQ(again.out, exported.out);
}

TEST_F(LoadExport, EachRejectedRowIsReportedWithItsLineAndReasonAndTheOthersAreStored) {
    const std::string rows =
        "number,name,count\n"
        "1,Ada,1\n"
        "1,Again,2\n"                       // line 3: duplicate key value
        "x,Bad,3\n"                         // line 4: not an integer
        "4,A name far too long for it,4\n"  // line 5: does not fit the field
        "5,Short\n"                         // line 6: too few fields
        "6,Neg,-1\n"                        // line 7: unsigned below zero
        "7,Big,70000\n"                     // line 8: over 65535
        "8,\"two\nlines\",8\n"              // lines 9-10: a good row over two lines
        "9,\"bad\"x,9\n"                    // line 11: text after a closing quote
        "10,Last,10\n";
    auto loaded = Load(rows);
    EXPECT_EQ(loaded.exitCode, 1);
    // Rejected rows go to standard error, the summary to standard output.
    const auto has = [&](const std::string& text) {
        const bool row = text.find(": rejected") != std::string::npos;
        return (row ? loaded.err : loaded.out).find(text) != std::string::npos;
    };
    EXPECT_TRUE(has("in.csv, line 3: rejected, status 5 (duplicate key value)")) << loaded.out << loaded.err;
    EXPECT_TRUE(has("line 4: rejected, field \"number\": \"x\" is not an integer")) << loaded.out << loaded.err;
    EXPECT_TRUE(
        has("line 5: rejected, field \"name\": \"A name far too long for it\" is 26 characters; the field "
            "holds 16"))
        << loaded.out << loaded.err;
    EXPECT_TRUE(has("line 6: rejected, 2 fields where the header has 3")) << loaded.out << loaded.err;
    EXPECT_TRUE(has("line 7: rejected, field \"count\": \"-1\" is not an unsigned integer"))
        << loaded.out << loaded.err;
    EXPECT_TRUE(has("line 8: rejected, field \"count\": 70000 does not fit a 2-byte unsigned integer (0 to 65535)"))
        << loaded.out << loaded.err;
    EXPECT_TRUE(has("line 11: rejected, text after the closing quote of field 2")) << loaded.out << loaded.err;
    EXPECT_FALSE(has("line 9: rejected")) << loaded.out << loaded.err;
    EXPECT_TRUE(has("Loaded 3 records into")) << loaded.out << loaded.err;
    EXPECT_TRUE(has("rejected 7 rows")) << loaded.out << loaded.err;

    // Only whole good rows are in the file: the fields the CSV left out are blank or zero.
    auto exported = Export();
    EXPECT_EQ(exported.out,
              "number,name,code,count,ratio,tag\n"
              "1,Ada,,1,0,00000000\n"
              "8,\"two\nlines\",,8,0,00000000\n"
              "10,Last,,10,0,00000000\n");
}

TEST_F(LoadExport, ARejectedValueIsQuotedByItsFirstFortyCharactersAndItsLength) {
    const size_t kHuge = 1024 * 1024;
    const struct {
        std::string column;
        char fill;
        std::string message;
    } rows[] = {
        {"number", 'x', "field \"number\": \"" + std::string(40, 'x') + "...\" (1048576 characters) is not an integer"},
        {"name", 'n', "field \"name\": \"" + std::string(40, 'n') + "...\" is 1048576 characters; the field holds 16"},
        {"count", '9', "field \"count\": " + std::string(40, '9') + "... (1048576 characters) does not fit"},
        {"ratio", 'r', "field \"ratio\": \"" + std::string(40, 'r') + "...\" (1048576 characters) is not a number"},
        {"tag", 'f', "field \"tag\": \"" + std::string(40, 'f') + "...\" (1048576 characters) is not at most"},
    };
    for (const auto& row : rows) {
        auto loaded = Load(row.column + "\n" + std::string(kHuge, row.fill) + "\n");
        EXPECT_EQ(loaded.exitCode, 1) << row.column;
        EXPECT_NE(loaded.err.find("line 2: rejected, " + row.message), std::string::npos) << loaded.err.substr(0, 400);
        EXPECT_LT(loaded.out.size(), 1000u) << row.column;
    }
    auto header = Load(std::string(kHuge, 'h') + "\n1\n");
    EXPECT_NE(header.err.find("column \"" + std::string(40, 'h') + "...\" (1048576 characters) is not a field"),
              std::string::npos)
        << header.err.substr(0, 400);
    EXPECT_LT(header.err.size(), 1000u);
}

TEST_F(LoadExport, ARecordManagerRefusalIsReportedWithItsStatusAndTheLoadGoesOn) {
    {
        FakeEngine fake(dir);
        fake.Script(btr::kOpInsert, "2", 18);
        auto loaded = Load("number,name\n1,Ada\n2,Bea\n3,Cleo\n");
        EXPECT_EQ(loaded.exitCode, 1);
        EXPECT_NE(loaded.err.find("in.csv, line 3: rejected, status 18 (disk full)"), std::string::npos) << loaded.err;
        EXPECT_NE(loaded.out.find("Loaded 2 records into"), std::string::npos) << loaded.out << loaded.err;
        EXPECT_EQ(fake.CallsOf(btr::kOpInsert).size(), 3u);
    }
    EXPECT_EQ(Export().out, "number,name,code,count,ratio,tag\n1,Ada,,0,0,00000000\n3,Cleo,,0,0,00000000\n");
}

TEST_F(LoadExport, ASpreadsheetsCsvWithByteOrderMarkAndCrLfLoads) {
    auto loaded = Load("\xEF\xBB\xBFnumber,name,code\r\n1,\"Ada, A\",x\r\n\r\n2,Bea,\"y\"\r\n");
    ASSERT_EQ(loaded.exitCode, 0) << loaded.out << loaded.err;
    EXPECT_EQ(Export().out, "number,name,code,count,ratio,tag\n1,\"Ada, A\",x,0,0,00000000\n2,Bea,y,0,0,00000000\n");
}

TEST_F(LoadExport, FieldsPastTheEndOfAVariableLengthRecordExportEmpty) {
    const std::string variable = dir.File("NOTES.DAT");
    ASSERT_EQ(RunTool(dir, "create " + Q(variable) + " --variable --record-length 8 --key 1:4:type=integer").exitCode,
              0);
    ASSERT_TRUE(WriteFileBytes(dir.File("short.layout"), "number 0 4 integer\ncode 4 4 string\n"));
    ASSERT_TRUE(WriteFileBytes(dir.File("long.layout"), "number 0 4 integer\ncode 4 4 string\nnote 8 6 string\n"));
    ASSERT_TRUE(WriteFileBytes(dir.File("in.csv"), "number,code\n1,ab\n"));
    auto loaded =
        RunTool(dir, "load " + Q(variable) + " " + Q(dir.File("in.csv")) + " --layout " + Q(dir.File("short.layout")));
    ASSERT_EQ(loaded.exitCode, 0) << loaded.out << loaded.err;
    auto exported = RunTool(dir, "export " + Q(variable) + " --layout " + Q(dir.File("long.layout")));
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_EQ(exported.out, "number,code,note\n1,ab,\n");
    // Loading needs every field within the fixed part of the record.
    auto refused =
        RunTool(dir, "load " + Q(variable) + " " + Q(dir.File("in.csv")) + " --layout " + Q(dir.File("long.layout")));
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("the layout reaches byte 14; records of"), std::string::npos) << refused.err;
}

TEST_F(LoadExport, ValuesAtTheEdgesOfTheirFieldsAreKeptOrRefused) {
    const std::string edges = dir.File("EDGES.DAT");
    ASSERT_EQ(RunTool(dir, "create " + Q(edges) + " --record-length 32 --key 1:1").exitCode, 0);
    ASSERT_TRUE(WriteFileBytes(dir.File("edges.layout"),
                               "id 0 1 unsigned\ntiny 1 1 integer\nwide 2 8 integer\nbig 10 8 unsigned\n"
                               "single 18 4 float\nz 22 4 zstring\nraw 26 2 hex\n"));
    const std::string layout = " --layout " + Q(dir.File("edges.layout"));
    ASSERT_TRUE(WriteFileBytes(dir.File("in.csv"),
                               "id,tiny,wide,big,single,z,raw\n"
                               "1,-128,-9223372036854775808,18446744073709551615,1.1,abc,0aFF\n"
                               "2,127,9223372036854775807,0,-0.25,,\n"
                               "3,128,0,0,0,,\n"                   // line 4: tiny over 127
                               "4,0,9223372036854775808,0,0,,\n"   // line 5: wide over its range
                               "5,0,0,18446744073709551616,0,,\n"  // line 6: big over its range
                               "6,0,0,0,1e39,,\n"                  // line 7: over a 4-byte float
                               "7,0,0,0,0,abcd,\n"                 // line 8: no room for the NUL
                               "8,0,0,0,0,,abc\n"                  // line 9: odd hex digits
                               "9,0,0,0,0,,zz\n"                   // line 10: not hex
                               "10,0,0,0,0,,001122\n"              // line 11: longer than the field
                               "256,0,0,0,0,,\n"));                // line 12: id over one byte
    auto loaded = RunTool(dir, "load " + Q(edges) + " " + Q(dir.File("in.csv")) + layout);
    EXPECT_EQ(loaded.exitCode, 1);
    // Rejected rows go to standard error, the summary to standard output.
    const auto has = [&](const std::string& text) {
        const bool row = text.find(": rejected") != std::string::npos;
        return (row ? loaded.err : loaded.out).find(text) != std::string::npos;
    };
    EXPECT_TRUE(has("line 4: rejected, field \"tiny\": 128 does not fit a 1-byte integer (-128 to 127)"))
        << loaded.out << loaded.err;
    EXPECT_TRUE(has("line 5: rejected, field \"wide\"")) << loaded.out << loaded.err;
    EXPECT_TRUE(has("line 6: rejected, field \"big\"")) << loaded.out << loaded.err;
    EXPECT_TRUE(has("line 7: rejected, field \"single\": 1e39 does not fit a 4-byte float"))
        << loaded.out << loaded.err;
    EXPECT_TRUE(has("line 8: rejected, field \"z\": \"abcd\" is 4 characters; the field holds 3"))
        << loaded.out << loaded.err;
    EXPECT_TRUE(has("line 9: rejected, field \"raw\"")) << loaded.out << loaded.err;
    EXPECT_TRUE(has("line 10: rejected, field \"raw\": \"zz\" holds a character that is not a hex digit"))
        << loaded.out << loaded.err;
    EXPECT_TRUE(has("line 11: rejected, field \"raw\"")) << loaded.out << loaded.err;
    EXPECT_TRUE(has("line 12: rejected, field \"id\": 256 does not fit a 1-byte unsigned integer (0 to 255)"))
        << loaded.out << loaded.err;
    EXPECT_TRUE(has("Loaded 2 records into")) << loaded.out << loaded.err;

    auto exported = RunTool(dir, "export " + Q(edges) + layout);
    EXPECT_EQ(exported.out,
              "id,tiny,wide,big,single,z,raw\n"
              "1,-128,-9223372036854775808,18446744073709551615,1.1,abc,0aff\n"
              "2,127,9223372036854775807,0,-0.25,,0000\n");
}

TEST_F(LoadExport, TheRestOfVariableLengthRecordsLoadsAndExportsEveryByte) {
    const std::string notes = dir.File("NOTES.DAT"), copy = dir.File("COPY.DAT");
    for (const std::string& file : {notes, copy}) {
        ASSERT_EQ(RunTool(dir, "create " + Q(file) + " --variable --record-length 8 --key 1:4:type=integer").exitCode,
                  0);
    }
    struct Row {
        const char* type;
        std::string csv;
    } rows[] = {
        {"text", "number,code,note\n1,ab,\"a long note, \"\"quoted\"\"\nover two lines   \"\n2,cd,\n"},
        {"hex", "number,code,note\n1,ab,00ff2000\n2,cd,\n3,ef," + std::string(2 * 3000, 'a') + "\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        ASSERT_TRUE(WriteFileBytes(dir.File("rest.layout"),
                                   std::string("number 0 4 integer\ncode 4 4 string\nnote 8 * ") + row.type + "\n"));
        ASSERT_TRUE(WriteFileBytes(dir.File("in.csv"), row.csv));
        const std::string layout = " --layout " + Q(dir.File("rest.layout"));
        auto loaded = RunTool(dir, "load " + Q(notes) + " " + Q(dir.File("in.csv")) + layout + " --update");
        ASSERT_EQ(loaded.exitCode, 0) << loaded.out << loaded.err;
        auto exported = RunTool(dir, "export " + Q(notes) + layout);
        EXPECT_EQ(exported.out, row.csv);
        // Loaded again from the export, the records are the same bytes.
        ASSERT_TRUE(WriteFileBytes(dir.File("out.csv"), exported.out));
        ASSERT_EQ(RunTool(dir, "load " + Q(copy) + " " + Q(dir.File("out.csv")) + layout + " --update").exitCode, 0);
        ASSERT_TRUE(WriteFileBytes(dir.File("all.layout"), "number 0 4 integer\nbytes 4 * hex\n"));
        const std::string all = " --layout " + Q(dir.File("all.layout"));
        EXPECT_EQ(RunTool(dir, "export " + Q(copy) + all).out, RunTool(dir, "export " + Q(notes) + all).out);
    }
}

TEST_F(LoadExport, ExportRefusesALayoutLongerThanTheRecords) {
    ASSERT_TRUE(WriteFileBytes(dir.File("long.layout"), "number 0 4 integer\nrest 40 9 string\n"));
    auto exported = RunTool(dir, "export " + Q(path) + " --layout " + Q(dir.File("long.layout")));
    EXPECT_EQ(exported.exitCode, 2);
    EXPECT_NE(exported.err.find("the layout reaches byte 49; records of " + path + " have 48"), std::string::npos)
        << exported.err;
    EXPECT_TRUE(exported.out.empty()) << exported.out;
}

TEST_F(LoadExport, OutputThatIsNoTerminalGetsNoProgressBar) {
    std::string rows = "number,name\n";
    for (int i = 1; i <= 500; ++i) rows += std::to_string(i) + ",N" + std::to_string(i) + "\n";
    auto loaded = Load(rows);
    ASSERT_EQ(loaded.exitCode, 0) << loaded.err;
    EXPECT_EQ(loaded.out, "Loaded 500 records into " + path + "\n");
    EXPECT_EQ(loaded.err, "");
    auto exported = Export();
    EXPECT_EQ(exported.out.find('\r'), std::string::npos);
    EXPECT_EQ(exported.err, "");
}

TEST_F(LoadExport, AQuoteNeverClosedRejectsTheRestOfTheFile) {
    auto loaded = Load("number,name\n1,Ada\n2,\"open\n3,Never\n");
    EXPECT_EQ(loaded.exitCode, 1);
    EXPECT_NE(loaded.err.find("line 3: rejected, a quoted field is never closed"), std::string::npos) << loaded.err;
    EXPECT_NE(loaded.out.find("Loaded 1 record into"), std::string::npos) << loaded.out << loaded.err;
}

TEST_F(LoadExport, MalformedLayoutsAreRefusedBeforeAnyRecordIsWritten) {
    const struct {
        const char* layout;
        const char* message;
    } cases[] = {
        {"number 0 4 integer\nname 4 16 txt\n", "line 2: unknown type \"txt\""},
        {"number 0 4 integer\nname 4 16 text\n", "line 2: only a text or hex field can be the rest"},
        {"number 0 4 integer\nname 4 * string\n", "line 2: only a text or hex field can be the rest"},
        {"number 4 4 integer\nrest 2 * hex\n", "line 2: field \"rest\" overlaps field \"number\" (a field of length *"},
        {"number 0 3 integer\n", "line 1: a integer field cannot be 3 bytes long"},
        {"number 0 4 integer\nname 2 16 string\n", "line 2: field \"name\" overlaps field \"number\""},
        {"number 0 4\n", "line 1: expected NAME OFFSET LENGTH TYPE, found 3 words"},
        {"number -1 4 integer\n", "line 1: offset \"-1\" is not a byte offset"},
        {"number 0 4 integer\nnumber 4 4 integer\n", "line 2: field \"number\" is named twice"},
        {"# only a comment\n", "the layout names no field"},
        {"number 0 4 integer\nname 40 16 string\n", "the layout reaches byte 56; records of"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteFileBytes(dir.File("bad.layout"), c.layout));
        auto loaded = Load("number\n1\n", "bad.layout");
        EXPECT_EQ(loaded.exitCode, 2) << c.layout;
        EXPECT_NE(loaded.err.find(c.message), std::string::npos) << c.layout << " gave: " << loaded.err;
    }
    auto exported = Export();
    EXPECT_EQ(exported.out, "number,name,code,count,ratio,tag\n");
}

TEST_F(LoadExport, AHeaderNamingNoFieldIsRefused) {
    auto loaded = Load("number,surname\n1,Ada\n");
    EXPECT_EQ(loaded.exitCode, 2);
    EXPECT_NE(loaded.err.find("line 1: column \"surname\" is not a field of the layout"), std::string::npos)
        << loaded.err;
    auto twice = Load("number,number\n1,1\n");
    EXPECT_EQ(twice.exitCode, 2);
    EXPECT_NE(twice.err.find("column \"number\" appears twice"), std::string::npos) << twice.err;
    EXPECT_EQ(Export().out, "number,name,code,count,ratio,tag\n");
}

TEST_F(LoadExport, MissingFilesAreNamed) {
    auto noCsv =
        RunTool(dir, "load " + Q(path) + " " + Q(dir.File("none.csv")) + " --layout " + Q(dir.File("people.layout")));
    EXPECT_EQ(noCsv.exitCode, 2);
    EXPECT_NE(noCsv.err.find("cannot read " + dir.File("none.csv")), std::string::npos) << noCsv.err;

    auto noLayout = Load("number\n1\n", "none.layout");
    EXPECT_EQ(noLayout.exitCode, 2);
    EXPECT_NE(noLayout.err.find("cannot read the layout file"), std::string::npos) << noLayout.err;

    ASSERT_TRUE(WriteFileBytes(dir.File("in.csv"), "number\n1\n"));
    auto noData = RunTool(dir, "load " + Q(dir.File("NONE.DAT")) + " " + Q(dir.File("in.csv")) + " --layout " +
                                   Q(dir.File("people.layout")));
    EXPECT_EQ(noData.exitCode, 1);
    EXPECT_NE(noData.err.find("status 12 (file not found)"), std::string::npos) << noData.err;

    auto noExport = RunTool(dir, "export " + Q(dir.File("NONE.DAT")) + " --layout " + Q(dir.File("people.layout")));
    EXPECT_EQ(noExport.exitCode, 1);
    EXPECT_NE(noExport.err.find("status 12"), std::string::npos) << noExport.err;

    auto noLayoutOption = RunTool(dir, "load " + Q(path) + " " + Q(dir.File("in.csv")));
    EXPECT_EQ(noLayoutOption.exitCode, 2);
    EXPECT_NE(noLayoutOption.err.find("--layout is required"), std::string::npos) << noLayoutOption.err;
}

TEST_F(LoadExport, ASemicolonSeparatedLoadFromStandardInputExportsTheSameText) {
    const std::string rows = "number;name\n1;\"Smith; Jo\"\n2;Ada, B\n";
    ASSERT_TRUE(WriteFileBytes(dir.File("in.csv"), rows));
    const std::string load = "cat " + Q(dir.File("in.csv")) + " | '" + BuildPath("tydb") + "' load " + Q(path) +
                             " - --layout " + Q(dir.File("people.layout")) + " --delimiter ';' >/dev/null";
    ASSERT_EQ(std::system(load.c_str()), 0);
    const ToolResult exported =
        RunTool(dir, "export " + Q(path) + " --layout " + Q(dir.File("people.layout")) + " --delimiter ';'");
    EXPECT_EQ(exported.out.substr(exported.out.find('\n') + 1),
              "1;\"Smith; Jo\";;0;0;00000000\n2;Ada, B;;0;0;00000000\n");
}

TEST_F(LoadExport, UpdateReplacesRowsByKeyZeroAndSkipExistingPassesOverRowsAlreadyLoaded) {
    ASSERT_EQ(Load("number,name\n1,Ada\n2,Bob\n").exitCode, 0);
    auto again = [&](const std::string& rows, const std::string& option) {
        WriteFileBytes(dir.File("in.csv"), rows);
        return RunTool(dir, "load " + Q(path) + " " + Q(dir.File("in.csv")) + " --layout " +
                                Q(dir.File("people.layout")) + " " + option);
    };
    const ToolResult resumed = again("number,name\n1,Ada\n2,Bob\n3,Cy\n", "--skip-existing");
    EXPECT_EQ(resumed.exitCode, 0) << resumed.out;
    EXPECT_NE(resumed.out.find("Loaded 1 record into"), std::string::npos) << resumed.out;
    EXPECT_NE(resumed.out.find("skipped 2 already there"), std::string::npos) << resumed.out;
    // A row whose key is there with other data was not loaded before: it is no row to skip.
    EXPECT_EQ(again("number,name\n1,Zed\n", "--skip-existing").exitCode, 1);
    const ToolResult updated = again("number,name,code\n1,Ada,Z9\n4,Dee,\n", "--update");
    EXPECT_EQ(updated.exitCode, 0) << updated.out;
    EXPECT_NE(updated.out.find("Loaded 1 record into " + path + "; updated 1"), std::string::npos) << updated.out;
    const std::string names = Export("--key 0").out;
    EXPECT_NE(names.find("1,Ada,Z9,"), std::string::npos) << names;
    EXPECT_NE(names.find("4,Dee,"), std::string::npos) << names;
}

TEST_F(LoadExport, ExportFollowsTheKeyAskedFor) {
    ASSERT_EQ(Load("number,name\n3,Cleo\n1,Bea\n2,Abe\n").exitCode, 0);
    EXPECT_EQ(Export("--key 0").out,
              "number,name,code,count,ratio,tag\n1,Bea,,0,0,00000000\n"
              "2,Abe,,0,0,00000000\n3,Cleo,,0,0,00000000\n");
    EXPECT_EQ(Export("--key 1").out,
              "number,name,code,count,ratio,tag\n2,Abe,,0,0,00000000\n"
              "1,Bea,,0,0,00000000\n3,Cleo,,0,0,00000000\n");
    // Physical order is the order of insertion here.
    EXPECT_EQ(Export("--key -1").out,
              "number,name,code,count,ratio,tag\n3,Cleo,,0,0,00000000\n"
              "1,Bea,,0,0,00000000\n2,Abe,,0,0,00000000\n");
    auto noKey = Export("--key 5");
    EXPECT_EQ(noKey.exitCode, 2);
    EXPECT_NE(noKey.err.find("has no key 5"), std::string::npos) << noKey.err;
    auto badKey = Export("--key two");
    EXPECT_EQ(badKey.exitCode, 2);
}

// 72-byte records of every type the record manager itself knows, key 0 on the number.
constexpr char kAccountingLayout[] =
    "id 0 4 integer\nday 4 4 date\nat 8 4 time\nstamp 12 8 timestamp\namount 20 6 decimal:2\n"
    "price 26 4 money\nqty 30 6 numeric:2\ntotal 36 8 currency\nrate 44 8 bfloat\nrate4 52 4 bfloat\n"
    "note 56 10 lstring\npaid 66 1 logical\nseq 67 4 autoincrement\n";

class AccountingFields : public LoadExport {
protected:
    void SetUp() override {
        LoadExport::SetUp();
        ASSERT_TRUE(WriteFileBytes(dir.File("acc.layout"), kAccountingLayout));
        ASSERT_TRUE(WriteFileBytes(dir.File("raw.layout"), "id 0 4 integer\nbytes 4 68 hex\n"));
    }
    ToolResult LoadInto(const std::string& file, const std::string& csv, const std::string& layout = "acc.layout",
                        const std::string& options = "") {
        if (!std::filesystem::exists(file)) {
            EXPECT_EQ(RunTool(dir, "create " + Q(file) + " --record-length 72 --key 1:4:type=integer").exitCode, 0);
        }
        EXPECT_TRUE(WriteFileBytes(dir.File("acc.csv"), csv));
        return RunTool(
            dir, "load " + Q(file) + " " + Q(dir.File("acc.csv")) + " --layout " + Q(dir.File(layout)) + " " + options);
    }
    ToolResult ExportOf(const std::string& file, const std::string& layout = "acc.layout",
                        const std::string& options = "") {
        return RunTool(dir, "export " + Q(file) + " --layout " + Q(dir.File(layout)) + " " + options);
    }
};

TEST_F(AccountingFields, EveryTypeExportsAsItWasLoadedAndLoadsBackByteForByte) {
    const std::string rows =
        "id,day,at,stamp,amount,price,qty,total,rate,rate4,note,paid,seq\n"
        "1,2024-02-29,23:59:59.99,2026-12-08T13:05:09.2500000,-1234.50,19.99,-12.34,123456789.0001,0.375,-2.5,"
        "\"Hello, x\",true,42\n"
        "2,,00:00:00.00,0001-01-01T00:00:00.0000000,0.00,0.00,0.00,-0.0001,0,0,,false,-7\n";
    const std::string first = dir.File("A.DAT"), second = dir.File("B.DAT");
    auto loaded = LoadInto(first, rows);
    ASSERT_EQ(loaded.exitCode, 0) << loaded.out << loaded.err;
    auto exported = ExportOf(first);
    EXPECT_EQ(exported.out, rows);
    EXPECT_EQ(exported.err, "");
    ASSERT_EQ(LoadInto(second, exported.out).exitCode, 0);
    EXPECT_EQ(ExportOf(second, "raw.layout").out, ExportOf(first, "raw.layout").out);
}

TEST_F(AccountingFields, ATextThatIsNoValueOfItsTypeIsRefusedWithWhy) {
    struct Row {
        const char* field;
        const char* text;
        const char* why;
    } rows[] = {
        {"day", "2023-02-29", "is not a date"},
        {"at", "24:00", "is not a time"},
        {"stamp", "2026-12-08", "is not a timestamp"},
        {"amount", "1.234", "has more than 2 digits after the point"},
        {"amount", "123456789012", "has more than the field's 11 digits"},
        {"qty", "1-2", "is not a number"},
        {"total", "922337203685478", "does not fit a currency field"},
        {"note", "ABCDEFGHIJ", "the field holds 9"},
        {"paid", "yes", "is not true or false"},
        {"seq", "2147483648", "does not fit 4 bytes"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.field + std::string(" ") + row.text);
        auto loaded = LoadInto(dir.File("BAD.DAT"), std::string("id,") + row.field + "\n1," + row.text + "\n");
        EXPECT_EQ(loaded.exitCode, 1);
        EXPECT_NE(loaded.err.find(std::string("rejected, field \"") + row.field + "\""), std::string::npos)
            << loaded.err;
        EXPECT_NE(loaded.err.find(row.why), std::string::npos) << loaded.err;
    }
}

TEST_F(AccountingFields, BytesThatHoldNoValueExportAsInvalidNotAsAGuess) {
    // 31 February 2024, then a decimal's digit half-byte of 0xA; zero bytes are no money value.
    const std::string raw = "1f02e807" + std::string(24, '0') + "a0000000000f" + std::string(92, '0');
    ASSERT_EQ(LoadInto(dir.File("RAW.DAT"), "id,bytes\n1," + raw + "\n", "raw.layout").exitCode, 0);
    auto exported = ExportOf(dir.File("RAW.DAT"));
    EXPECT_NE(exported.out.find("1,#invalid(1f02e807),"), std::string::npos) << exported.out;
    EXPECT_NE(exported.out.find(",#invalid(a0000000000f),"), std::string::npos) << exported.out;
    EXPECT_NE(exported.err.find("record 1: day holds no date value"), std::string::npos) << exported.err;
    EXPECT_NE(exported.err.find("record 1: price holds no money value: #invalid(00000000)"), std::string::npos)
        << exported.err;
}

TEST_F(AccountingFields, TextInAWindowsCodePageLoadsFromUtf8AndExportsBackByteForByte) {
    ASSERT_TRUE(WriteFileBytes(dir.File("text.layout"), "id 0 4 integer\nname 4 12 string\nnote 16 8 lstring\n"));
    ASSERT_TRUE(WriteFileBytes(dir.File("bytes.layout"), "id 0 4 integer\nbytes 4 20 hex\n"));
    struct Row {
        const char* codePage;
        const char* csv;
        std::string bytes;  // name and note as the record keeps them
    } rows[] = {
        {"1252", "1,M\u00fcller \u20ac5,\u00c6r\u00f8\n",
         "4dfc6c6c6572208035202020"
         "03c672f800000000"},
        {"cp850", "1,M\u00fcller,\u00c6r\u00f8\n",
         "4d816c6c6572202020202020"
         "0392729b00000000"},
    };
    int number = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.codePage);
        const std::string file = dir.File("TEXT" + std::to_string(++number) + ".DAT");
        const std::string csv = std::string("id,name,note\n") + row.csv;
        auto loaded = LoadInto(file, csv, "text.layout", "--encoding " + std::string(row.codePage));
        ASSERT_EQ(loaded.exitCode, 0) << loaded.out << loaded.err;
        EXPECT_EQ(ExportOf(file, "bytes.layout").out, "id,bytes\n1," + row.bytes + "\n");
        EXPECT_EQ(ExportOf(file, "text.layout", "--encoding " + std::string(row.codePage)).out, csv);
    }
}

TEST_F(AccountingFields, ACharacterTheCodePageLacksIsRefusedAndBytesItLeavesUndefinedExportInvalid) {
    ASSERT_TRUE(WriteFileBytes(dir.File("text.layout"), "id 0 4 integer\nname 4 12 string\n"));
    auto loaded = LoadInto(dir.File("T.DAT"), "id,name\n1,\u0141\u00f3d\u017a\n", "text.layout", "--encoding 1252");
    EXPECT_EQ(loaded.exitCode, 1);
    EXPECT_NE(loaded.err.find("has a character at byte 1 that code page 1252 does not have"), std::string::npos)
        << loaded.err;
#ifndef _WIN32
    // 0x81 is no character of code page 1252 for the C library (Windows' own tables give it one).
    ASSERT_TRUE(WriteFileBytes(dir.File("bytes.layout"), "id 0 4 integer\nbytes 4 2 hex\n"));
    ASSERT_EQ(LoadInto(dir.File("T.DAT"), "id,bytes\n2,4181\n", "bytes.layout").exitCode, 0);
    auto exported = ExportOf(dir.File("T.DAT"), "text.layout", "--encoding 1252");
    EXPECT_NE(exported.out.find("2,#invalid(41810000"), std::string::npos) << exported.out;
#endif
    EXPECT_EQ(RunTool(dir, "export " + Q(dir.File("T.DAT")) + " --layout x --encoding 1234567").exitCode, 2);
}

TEST_F(AccountingFields, ValuesAtTheEdgesOfEachTypeComeBackAsTheyWent) {
    struct Row {
        const char* field;
        const char* text;
        const char* exported;  // nullptr: the same text
    } rows[] = {
        {"day", "0001-01-01", nullptr},
        {"day", "9999-12-31", nullptr},
        {"at", "07:05", "07:05:00.00"},
        {"stamp", "9999-12-31 23:59:59.9999999", "9999-12-31T23:59:59.9999999"},
        {"stamp", "1970-01-01T00:00:00.5", "1970-01-01T00:00:00.5000000"},
        {"amount", "-999999999.99", nullptr},
        {"amount", "+5", "5.00"},
        {"price", "-99999.99", nullptr},
        {"qty", "-9999.99", nullptr},
        {"qty", "-0.00", nullptr},
        {"total", "-922337203685477.5808", nullptr},
        {"total", "922337203685477.5807", nullptr},
        {"rate", "1e-38", nullptr},
        {"rate", "-1.7e38", "-1.7e+38"},
        {"rate4", "0.5", nullptr},
        {"note", "", nullptr},
        {"note", "123456789", nullptr},
        {"seq", "-2147483648", nullptr},
    };
    int id = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.field + std::string(" ") + row.text);
        const std::string file = dir.File("EDGE" + std::to_string(++id) + ".DAT");
        const auto loaded =
            LoadInto(file, std::string("id,") + row.field + "\n" + std::to_string(id) + "," + row.text + "\n");
        ASSERT_EQ(loaded.exitCode, 0) << loaded.out << loaded.err;
        // The field alone, as the full layout defines it.
        const std::string layout = kAccountingLayout;
        const size_t at = layout.find(std::string("\n") + row.field + " ") + 1;
        ASSERT_TRUE(WriteFileBytes(dir.File("one.layout"),
                                   "id 0 4 integer\n" + layout.substr(at, layout.find('\n', at) + 1 - at)));
        const std::string wanted = row.exported != nullptr ? row.exported : row.text;
        EXPECT_EQ(ExportOf(file, "one.layout").out,
                  std::string("id,") + row.field + "\n" + std::to_string(id) + "," + wanted + "\n");
    }
}

}  // namespace
