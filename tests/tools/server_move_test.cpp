// tydb server init and tydb server move, run as a person runs them, on the test suite's own
// PostgreSQL server: files go to the server and back with their definitions, records, positions
// and duplicate order, and the moves refuse what would lose or hide a file.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "btrcall.h"
#include "fake_engine_control.h"
#include "tool_runner.h"

using namespace testsupport;

namespace {

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// One position block on one file through the real record manager, loaded into this process.
class File {
public:
    explicit File(const std::string& path) : path_(path) {
        library_ = dlopen((RealEngineDir() + "/libw3btrv7.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        call_ = reinterpret_cast<BtrCallFunction>(dlsym(library_, "BTRCALL"));
        opened_ = Call(btr::kOpOpen, nullptr, 0);
    }
    ~File() {
        if (opened_ == 0) Call(btr::kOpClose, nullptr, 0);
        dlclose(library_);
    }
    int16_t opened() const { return opened_; }
    // Inserts a record and answers its position.
    uint32_t Insert(std::string record) {
        EXPECT_EQ(Call(btr::kOpInsert, &record, 0), 0) << record;
        std::string position(4, '\0');
        EXPECT_EQ(Call(btr::kOpGetPosition, &position, 0), 0);
        return *reinterpret_cast<const uint32_t*>(position.data());
    }
    void Update(uint32_t position, std::string record) {
        std::string data(reinterpret_cast<const char*>(&position), 4);
        data.resize(8000);
        ASSERT_EQ(Call(btr::kOpGetDirect, &data, 0), 0);
        ASSERT_EQ(Call(btr::kOpUpdate, &record, 0), 0);
    }
    std::string Direct(uint32_t position) {
        std::string data(reinterpret_cast<const char*>(&position), 4);
        data.resize(8000);
        return Call(btr::kOpGetDirect, &data, 0) == 0 ? data : "status";
    }

    int16_t SetOwner(std::string name) {
        std::string again = name += '\0';
        uint32_t length = static_cast<uint32_t>(name.size());
        return call_(btr::kOpSetOwner, block_, name.data(), &length, again.data(), static_cast<uint8_t>(again.size()),
                     0);
    }

private:
    int16_t Call(uint16_t operation, std::string* data, int8_t keyNumber) {
        char key[256] = {};
        std::strncpy(key, path_.c_str(), sizeof key - 1);
        uint32_t length = data != nullptr ? static_cast<uint32_t>(data->size()) : 0;
        int16_t status =
            call_(operation, block_, data != nullptr ? data->data() : nullptr, &length, key, 255, keyNumber);
        if (data != nullptr && status == 0) data->resize(length);
        return status;
    }

    std::string path_;
    void* library_ = nullptr;
    BtrCallFunction call_ = nullptr;
    uint8_t block_[btr::kPositionBlockSize] = {};
    int16_t opened_ = -1;
};

class ServerMoveTest : public ::testing::Test {
public:
    void SetUp() override {
        WriteEngineSettings(dir.File("s.ini"), RealEngineDir());
        settings = std::make_unique<ScopedEnv>("TYWREG_FILE", dir.File("s.ini"));
        mkdir(data.c_str(), 0755);
        connection = ReadFileBytes(TestServerConnectionFile()).value_or("");
        while (!connection.empty() && connection.back() == '\n') connection.pop_back();
        ASSERT_FALSE(connection.empty()) << "no test server";
        schema = "mv" + std::to_string(getpid()) + "_" + std::to_string(std::rand());
    }
    ToolResult Tool(const std::string& arguments) { return RunTool(dir, arguments); }
    ToolResult Init(const std::string& folder) {
        return Tool("server init " + Quoted(folder) + " --connection " + Quoted(connection) + " --schema " + schema);
    }
    ToolResult Create(const std::string& name, const std::string& options) {
        return Tool("create " + Quoted(data + "/" + name) + " " + options);
    }
    void Local() { EXPECT_EQ(Create("CUST.DAT", "--record-length 16 --key 1:8").exitCode, 0); }
    void OnServer() {
        EXPECT_EQ(Init(data).exitCode, 0);
        Local();
    }
    std::unique_ptr<File> Open() { return std::make_unique<File>(data + "/CUST.DAT"); }
    // Runs SQL on the test server, in the folder's schema; true when the server did it.
    bool Sql(const std::string& sql) {
        PGconn* conn = PQconnectdb(connection.c_str());
        PGresult* result = PQexec(conn, ("SET search_path = " + schema + "; " + sql).c_str());
        const bool done = PQresultStatus(result) == PGRES_COMMAND_OK;
        PQclear(result);
        PQfinish(conn);
        return done;
    }
    // What the tool shows of a file: its definition and its records along every key (not the
    // store that keeps it).
    std::string Picture(const std::string& name, int keys) {
        std::string picture = Tool("stat --json " + Quoted(data + "/" + name)).out;
        const size_t store = picture.find(",\"store\":"), version = picture.find(",\"version\":");
        if (store != std::string::npos && version != std::string::npos) picture.erase(store, version - store);
        for (int k = 0; k < keys; ++k) {
            picture += Tool("dump --format hex --key " + std::to_string(k) + " " + Quoted(data + "/" + name)).out;
        }
        return picture;
    }

    TempDir dir;
    std::unique_ptr<ScopedEnv> settings;
    std::string data = dir.File("data");
    std::string connection, schema;
};

// 16-byte records: a name (key 0, duplicates) and a city (key 1, upper-case collating sequence).
std::string Row(const std::string& name, const std::string& city) {
    std::string row(16, ' ');
    row.replace(0, name.size(), name);
    row.replace(8, city.size(), city);
    return row;
}

TEST_F(ServerMoveTest, FilesGoToTheServerAndBackWithPositionsAndDuplicateOrder) {
    ASSERT_EQ(Create("CUST.DAT", "--record-length 16 --key 1:8:dup:mod --key 9:8:upper:mod").exitCode, 0);
    ASSERT_EQ(Create("NOTES.DAT", "--record-length 8 --variable --key 1:8").exitCode, 0);
    uint32_t first = 0, note = 0;
    {
        File cust(data + "/CUST.DAT");
        first = cust.Insert(Row("bob", "paris"));
        cust.Insert(Row("ann", "Rome"));
        cust.Insert(Row("bob", "oslo"));
        // The first bob arrives again after the second: its entry now follows the other's.
        cust.Update(first, Row("zed", "paris"));
        cust.Update(first, Row("bob", "Paris"));
        note = File(data + "/NOTES.DAT").Insert("note0001" + std::string(3000, 'L'));
    }
    const std::string cust = Picture("CUST.DAT", 2), notes = Picture("NOTES.DAT", 1);
    ASSERT_EQ(Init(data).exitCode, 0);

    auto moved = Tool("server move " + Quoted(data));
    ASSERT_EQ(moved.exitCode, 0) << moved.err;
    EXPECT_NE(moved.out.find("CUST.DAT: 3 records"), std::string::npos) << moved.out;
    EXPECT_NE(moved.out.find("moved-to-server"), std::string::npos) << moved.out;
    EXPECT_TRUE(ReadFileBytes(data + "/moved-to-server/CUST.DAT").has_value());
    EXPECT_EQ(Picture("CUST.DAT", 2), cust);
    EXPECT_EQ(Picture("NOTES.DAT", 1), notes);
    EXPECT_EQ(File(data + "/CUST.DAT").Direct(first), Row("bob", "Paris"));
    EXPECT_NE(Tool("stat " + Quoted(data + "/cust.dat"))
                  .out.find("Store: PostgreSQL server, schema " + schema + ", as CUST.DAT"),
              std::string::npos);
    // New records get positions past every moved one.
    EXPECT_GT(File(data + "/CUST.DAT").Insert(Row("cy", "lima")), first + 2);
    const std::string onServer = Picture("CUST.DAT", 2);

    auto back = Tool("server move --back --json " + Quoted(data));
    ASSERT_EQ(back.exitCode, 0) << back.err;
    EXPECT_NE(back.out.find("\"records\":5"), std::string::npos) << back.out;
    EXPECT_TRUE(ReadFileBytes(data + "/w3btrv7.server.moved-back").has_value());
    EXPECT_EQ(File(data + "/NOTES.DAT").Direct(note), "note0001" + std::string(3000, 'L'));
    EXPECT_EQ(Picture("NOTES.DAT", 1), notes);
    EXPECT_EQ(Picture("CUST.DAT", 2), onServer);
    EXPECT_EQ(File(data + "/CUST.DAT").Direct(first), Row("bob", "Paris"));
    EXPECT_NE(Tool("stat --json " + Quoted(data + "/CUST.DAT"))
                  .out.find("\"store\":{\"kind\":\"sqlite\",\"mode\":\"one-computer\""),
              std::string::npos);
}

TEST_F(ServerMoveTest, AFileKeepsItsOwnerOnTheServerAndBack) {
    Local();
    ASSERT_EQ(Open()->SetOwner("Boss"), 0);
    ASSERT_EQ(Init(data).exitCode, 0);
    ASSERT_EQ(Tool("server move " + Quoted(data)).exitCode, 0);
    EXPECT_EQ(Open()->opened(), btr::kStatusInvalidOwner);
    ASSERT_EQ(Tool("server move --back " + Quoted(data)).exitCode, 0);
    EXPECT_EQ(Open()->opened(), btr::kStatusInvalidOwner);
}

TEST_F(ServerMoveTest, AFileTheServerRefusesMidwayLeavesEveryFileInTheFolderAndNoneOnTheServer) {
    ASSERT_EQ(Create("A.DAT", "--record-length 16 --key 1:8").exitCode, 0);
    ASSERT_EQ(Create("B.DAT", "--record-length 16 --key 1:8").exitCode, 0);
    File(data + "/A.DAT").Insert(Row("ann", "rome"));
    File(data + "/B.DAT").Insert(Row("bob", "oslo"));
    ASSERT_EQ(Init(data).exitCode, 0);
    // The server takes A.DAT's rows, then refuses B.DAT's, as a full disk or a quota would.
    ASSERT_TRUE(
        Sql("CREATE FUNCTION refuse_b() RETURNS trigger LANGUAGE plpgsql SET search_path FROM CURRENT AS $$ BEGIN"
            " IF (SELECT name FROM w3b_file WHERE id = NEW.file) = 'B.DAT' THEN RAISE EXCEPTION 'no room';"
            " END IF; RETURN NEW; END $$;"
            "CREATE TRIGGER refuse_b BEFORE INSERT ON w3b_record FOR EACH ROW EXECUTE FUNCTION refuse_b()"));

    auto moved = Tool("server move " + Quoted(data));
    EXPECT_EQ(moved.exitCode, 1);
    EXPECT_NE(moved.err.find("B.DAT"), std::string::npos) << moved.err;
    EXPECT_NE(moved.err.find("no room"), std::string::npos) << moved.err;
    EXPECT_FALSE(ReadFileBytes(data + "/moved-to-server/A.DAT").has_value());

    // Once the server takes rows again, the same move carries both files whole.
    ASSERT_TRUE(Sql("DROP TRIGGER refuse_b ON w3b_record"));
    auto again = Tool("server move " + Quoted(data));
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_NE(again.out.find("A.DAT: 1 records"), std::string::npos) << again.out;
    EXPECT_EQ(File(data + "/B.DAT").Direct(1), Row("bob", "oslo"));
}

// A refused move names the file and changes nothing.
struct Refusal {
    const char* name;
    bool back;
    // Makes the folder; what it returns stays open while the tool runs.
    std::unique_ptr<File> (*setUp)(ServerMoveTest& test);
    const char* said;
};

class ServerMoveRefusalTest : public ServerMoveTest, public ::testing::WithParamInterface<Refusal> {};

const Refusal kRefusals[] = {
    {"NoServerSettings", false,
     [](ServerMoveTest& test) {
         test.Local();
         return std::unique_ptr<File>();
     },
     "holds no w3btrv7.server"},
    {"LocalFileOpenElsewhere", false,
     [](ServerMoveTest& test) {
         test.Local();
         auto open = test.Open();
         EXPECT_EQ(test.Init(test.data).exitCode, 0);
         return open;
     },
     "CUST.DAT is open in another process"},
    {"NameAlsoOnServer", false,
     [](ServerMoveTest& test) {
         test.Local();
         // Another folder served by the same schema has made CUST.DAT on the server.
         const std::string other = test.dir.File("other");
         mkdir(other.c_str(), 0755);
         EXPECT_EQ(test.Init(other).exitCode, 0);
         EXPECT_EQ(test.Tool("create " + Quoted(other + "/CUST.DAT") + " --record-length 16 --key 1:8").exitCode, 0);
         EXPECT_EQ(test.Init(test.data).exitCode, 0);
         return std::unique_ptr<File>();
     },
     "CUST.DAT is on both sides"},
    {"ServerFileOpenElsewhere", true,
     [](ServerMoveTest& test) {
         test.OnServer();
         return test.Open();
     },
     "CUST.DAT is open in another process"},
    {"NameAlsoInFolder", true,
     [](ServerMoveTest& test) {
         test.OnServer();
         WriteFileBytes(test.data + "/cust.dat", "not moved");
         return std::unique_ptr<File>();
     },
     "the folder holds cust.dat"},
};

TEST_P(ServerMoveRefusalTest, RefusesNamingTheFile) {
    std::unique_ptr<File> held = GetParam().setUp(*this);
    auto moved = Tool(std::string("server move ") + (GetParam().back ? "--back " : "") + Quoted(data));
    EXPECT_EQ(moved.exitCode, 1);
    EXPECT_NE(moved.err.find(GetParam().said), std::string::npos) << moved.err;
    EXPECT_FALSE(ReadFileBytes(data + "/moved-to-server/CUST.DAT").has_value());
}

INSTANTIATE_TEST_SUITE_P(Refusals, ServerMoveRefusalTest, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServerMoveTest, InitRefusesWhatCannotServeTheFolder) {
    struct Case {
        std::string connection, schema, said;
    } cases[] = {
        {"host=127.0.0.1 port=1 connect_timeout=5", schema, "Connection refused"},
        {connection, "bad-name", "letters, digits"},
    };
    for (const Case& c : cases) {
        auto init = Tool("server init " + Quoted(data) + " --connection " + Quoted(c.connection) + " --schema " +
                         Quoted(c.schema));
        EXPECT_EQ(init.exitCode, 1) << c.said;
        EXPECT_NE(init.err.find(c.said), std::string::npos) << init.err;
    }
    EXPECT_FALSE(ReadFileBytes(data + "/w3btrv7.server").has_value());
    ASSERT_EQ(Init(data).exitCode, 0);
    auto again = Init(data);
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.err.find("--force"), std::string::npos) << again.err;
}

}  // namespace
