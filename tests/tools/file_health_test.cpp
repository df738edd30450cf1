// tydb check, backup and recover on the real record manager: damage made by hand is found, a copy
// taken while a writer works is one moment of the writer's acknowledged work, and a file with a
// damaged page gives up exactly the records on that page.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "fake_engine_control.h"
#include "tool_runner.h"

using namespace testsupport;

namespace {

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

void RunSql(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

// Overwrites page `page` (from 1) of the file with bytes no page has.
void CorruptPage(const std::string& path, int page) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(page - 1) * 4096);
    const std::string garbage(4096, '\x5a');
    file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
}

// The first value of the first row of `sql`.
int64_t QueryNumber(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* stmt = nullptr;
    int64_t value = -1;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW) {
        value = sqlite3_column_int64(stmt, 0);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return value;
}

// position -> record, from tydb dump's CSV in physical order.
std::map<std::string, std::string> RecordsByPosition(const std::string& csv) {
    std::map<std::string, std::string> records;
    for (size_t at = csv.find('\n') + 1; at < csv.size(); at = csv.find('\n', at) + 1) {
        const size_t comma = csv.find(',', at), last = csv.rfind(',', csv.find('\n', at));
        records[csv.substr(at, comma - at)] = csv.substr(last + 1, csv.find('\n', at) - last - 1);
    }
    return records;
}

class FileHealth : public ::testing::Test {
protected:
    void SetUp() override {
        WriteEngineSettings(dir.File("s.ini"), RealEngineDir());
        settings = std::make_unique<ScopedEnv>("TYWREG_FILE", dir.File("s.ini"));
    }
    // 2,000 records of 24 bytes: name (key 0), city (key 1, duplicates), text.
    std::string FileOfCustomers(const std::string& name) {
        const std::string path = dir.File(name);
        EXPECT_EQ(RunTool(dir, "create " + Quoted(path) + " --record-length 24 --key 1:8 --key 9:8:dup").exitCode, 0);
        std::ofstream(dir.File("layout.txt")) << "name 0 8 string\ncity 8 8 string\ntext 16 8 string\n";
        std::ofstream rows(dir.File("rows.csv"));
        rows << "name,city,text\n";
        for (int i = 1; i <= 2000; ++i) rows << "N" << 1000000 + i << ",CITY" << i % 7 << ",x\n";
        rows.close();
        auto loaded = RunTool(dir, "load " + Quoted(path) + " " + Quoted(dir.File("rows.csv")) + " --layout " +
                                       Quoted(dir.File("layout.txt")));
        EXPECT_EQ(loaded.exitCode, 0) << loaded.err;
        return path;
    }

    TempDir dir;
    std::unique_ptr<ScopedEnv> settings;
};

}  // namespace

TEST_F(FileHealth, CheckFindsEachDamageMadeByHandAndNothingInAHealthyFile) {
    struct Row {
        const char* name;
        std::string sql;
        int corruptPage;
        const char* finding;  // nullptr: healthy
    } rows[] = {
        {"healthy", "", 0, nullptr},
        {"a key entry removed", "DELETE FROM key_1 WHERE position = 3", 0,
         "missing-entry: key 1, record 3: not listed in the key"},
        {"an entry naming a missing record", "INSERT INTO key_0 VALUES(x'FFFF', 0, 9999)", 0,
         "stray-entry: key 0, record 9999: listed, but there is no such record"},
        {"a record whose entries are left", "DELETE FROM records WHERE position = 5", 0,
         "stray-entry: key 1, record 5: listed, but there is no such record"},
        {"an entry under another value", "UPDATE key_1 SET value = x'00' WHERE position = 7", 0,
         "wrong-entry: key 1, record 7: listed under a value the record does not have"},
        {"a repeated value in a key without duplicates", "UPDATE key_0 SET seq = 1 WHERE position = 9", 0,
         "order: key 0, record 9: a repeated value in a key without duplicates"},
        {"a corrupted page", "", 12, "pages: "},
    };
    int number = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = FileOfCustomers("CUST" + std::to_string(++number) + ".DAT");
        if (!row.sql.empty()) RunSql(path, row.sql);
        if (row.corruptPage != 0) CorruptPage(path, row.corruptPage);
        auto check = RunTool(dir, "check " + Quoted(path));
        EXPECT_EQ(check.exitCode, row.finding == nullptr ? 0 : 1) << check.out << check.err;
        EXPECT_NE(check.out.find(row.finding == nullptr ? ": healthy" : row.finding), std::string::npos) << check.out;
        if (row.corruptPage != 0) {
            // Reading it says the file is damaged (19), not that the disk failed (2).
            auto dump = RunTool(dir, "dump " + Quoted(path));
            EXPECT_NE(dump.err.find("19"), std::string::npos) << dump.err;
        }
    }
}

TEST_F(FileHealth, ACopyTakenWhileAWriterWorksHoldsExactlyAPrefixOfItsAcknowledgedWork) {
    const std::string path = dir.File("LIVE.DAT"), copy = dir.File("COPY.DAT");
    ASSERT_EQ(RunTool(dir, "create " + Quoted(path) + " --record-length 12 --key 1:4:type=unsigned").exitCode, 0);
    ChildProcess writer(BuildPath("w3btrv7_writer"), {path, "1", "1000000"});
    // What the writer reported, in order: (id, name it wrote).
    std::vector<std::pair<uint32_t, std::string>> acknowledged;
    auto readReport = [&](int timeoutMs) {
        std::optional<std::string> line = writer.ReadLine(timeoutMs);
        if (!line) return false;
        if (line->rfind("inserted ", 0) == 0) acknowledged.emplace_back(std::stoul(line->substr(9)), "inserted");
        if (line->rfind("updated ", 0) == 0) acknowledged.emplace_back(std::stoul(line->substr(8)), "updated");
        return true;
    };
    while (acknowledged.size() < 20000) ASSERT_TRUE(readReport(10000));
    const size_t before = acknowledged.size();
    auto backup = RunTool(dir, "backup " + Quoted(path) + " " + Quoted(copy) + " --verify");
    ASSERT_EQ(backup.exitCode, 0) << backup.out << backup.err;
    EXPECT_NE(backup.out.find("checked: healthy"), std::string::npos) << backup.out;
    // The writer may have stalled on a full pipe meanwhile, its last commit not yet reported:
    // once it is well past that point every commit the copy can hold has been reported.
    for (const size_t target = acknowledged.size() + 10000; acknowledged.size() < target;) {
        ASSERT_TRUE(readReport(10000));
    }
    writer.Kill();
    // The copy, record by record: id -> name.
    std::map<uint32_t, std::string> copied;
    auto dump = RunTool(dir, "dump " + Quoted(copy) + " --format hex");
    ASSERT_EQ(dump.exitCode, 0) << dump.err;
    for (size_t at = 0; at + 24 <= dump.out.size(); at = dump.out.find('\n', at) + 1) {
        std::string bytes;
        for (size_t i = 0; i < 24; i += 2)
            bytes += static_cast<char>(std::stoi(dump.out.substr(at + i, 2), nullptr, 16));
        uint32_t id;
        std::memcpy(&id, bytes.data(), 4);
        copied[id] = bytes.substr(4, bytes.find(' ', 4) - 4);
    }
    // Replaying the reports one by one must reach exactly the copy, no earlier than what was
    // acknowledged when the backup began.
    std::map<uint32_t, std::string> replayed;
    bool matched = copied.empty() && before == 0;
    for (size_t k = 0; k < acknowledged.size() && !matched; ++k) {
        replayed[acknowledged[k].first] = acknowledged[k].second;
        matched = k + 1 >= before && replayed.size() == copied.size() && replayed == copied;
    }
    EXPECT_TRUE(matched) << copied.size() << " records in the copy, " << acknowledged.size() << " reports";
}

TEST_F(FileHealth, RecoverSavesEveryRecordOutsideADamagedPageAndNamesEachOneLost) {
    const std::string path = FileOfCustomers("CUST.DAT"), saved = dir.File("SAVED.DAT");
    const auto before = RecordsByPosition(RunTool(dir, "dump " + Quoted(path) + " --key -1 --format csv").out);
    ASSERT_EQ(before.size(), 2000u);
    const std::string leaf = " FROM dbstat WHERE name = 'records' AND pagetype = 'leaf' LIMIT 1 OFFSET 5";
    const int64_t page = QueryNumber(path, "SELECT pageno" + leaf), cells = QueryNumber(path, "SELECT ncell" + leaf);
    ASSERT_GT(cells, 0);
    CorruptPage(path, static_cast<int>(page));

    auto recovered = RunTool(dir, "recover " + Quoted(path) + " " + Quoted(saved));
    EXPECT_EQ(recovered.exitCode, 1) << recovered.out << recovered.err;
    EXPECT_NE(recovered.out.find(std::to_string(2000 - cells) + " records of"), std::string::npos) << recovered.out;
    const auto after = RecordsByPosition(RunTool(dir, "dump " + Quoted(saved) + " --key -1 --format csv").out);
    EXPECT_EQ(static_cast<int64_t>(after.size()), 2000 - cells);
    for (const auto& [position, record] : before) {
        const auto found = after.find(position);
        if (found != after.end()) {
            EXPECT_EQ(found->second, record) << position;
        } else {
            EXPECT_NE(recovered.out.find("lost record " + position + ": in a damaged page"), std::string::npos)
                << position;
        }
    }
    EXPECT_EQ(RunTool(dir, "check " + Quoted(saved)).exitCode, 0);
}

TEST_F(FileHealth, RecoverTakesTheDefinitionFromADescriptionWhenTheFilesOwnIsDamaged) {
    const std::string path = FileOfCustomers("CUST.DAT"), saved = dir.File("SAVED.DAT"), desc = dir.File("CUST.DES");
    ASSERT_EQ(RunTool(dir, "stat " + Quoted(path) + " --description " + Quoted(desc)).exitCode, 0);
    const auto before = RunTool(dir, "dump " + Quoted(path) + " --key -1 --format csv").out;
    RunSql(path, "DELETE FROM w3b_file");

    auto recovered = RunTool(dir, "recover " + Quoted(path) + " " + Quoted(saved) + " --description " + Quoted(desc));
    EXPECT_EQ(recovered.exitCode, 0) << recovered.out << recovered.err;
    EXPECT_EQ(RunTool(dir, "dump " + Quoted(saved) + " --key -1 --format csv").out, before);
    EXPECT_EQ(RunTool(dir, "check " + Quoted(saved)).exitCode, 0);
    EXPECT_EQ(RunTool(dir, "dump " + Quoted(saved) + " --key 1 --format csv").exitCode, 0);
}

TEST_F(FileHealth, RequestsThatCannotBeDoneAnswerWhyAndLeaveNoNewFile) {
    const std::string path = FileOfCustomers("CUST.DAT"), taken = dir.File("TAKEN.DAT");
    std::ofstream(taken) << "already here";
    std::ofstream(dir.File("NOTES.TXT")) << "not a data file";
    const std::string damaged = FileOfCustomers("NODEF.DAT");
    RunSql(damaged, "DELETE FROM w3b_file");
    struct Row {
        const char* name;
        std::string arguments;
        int exitCode;
        const char* says;
        std::string mustNotExist;
    } rows[] = {
        {"a backup onto a file already there", "backup " + Quoted(path) + " " + Quoted(taken), 1, "exists already", ""},
        {"a backup of a missing file", "backup " + Quoted(dir.File("NONE.DAT")) + " " + Quoted(dir.File("B.DAT")), 1,
         "no such file", dir.File("B.DAT")},
        {"a recovery onto a file already there", "recover " + Quoted(path) + " " + Quoted(taken), 2, "exists already",
         ""},
        {"a recovery of a file without its definition", "recover " + Quoted(damaged) + " " + Quoted(dir.File("R.DAT")),
         2, "definition cannot be read", dir.File("R.DAT")},
        {"a check of a file that is no data file", "check " + Quoted(dir.File("NOTES.TXT")), 1,
         "not a data file of this record manager", ""},
        {"a check of a folder passes over what is no data file", "check " + Quoted(dir.path()), 1,
         "NOTES.TXT: passed over, not a data file", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto result = RunTool(dir, row.arguments);
        EXPECT_EQ(result.exitCode, row.exitCode) << result.out << result.err;
        EXPECT_NE((result.out + result.err).find(row.says), std::string::npos) << result.out << result.err;
        if (!row.mustNotExist.empty()) {
            EXPECT_FALSE(std::filesystem::exists(row.mustNotExist));
        }
    }
    EXPECT_EQ(ReadFileBytes(taken).value_or(""), "already here");
}
