// The record manager on a served folder beside raw libpq doing the same work on the same server:
// prepared statements, one round trip per operation. Figures are elapsed times (the work is
// mostly waiting on the network), each followed by its ratio to the baseline and the round trips
// ours made per operation.
//   W3BTRV7_BENCH_SERVER      a libpq connection string (or W3BTRV7_BENCH_SERVER_FILE: a file
//                             holding one, as scripts/test-postgres.sh writes)
//   W3BTRV7_BENCH_RECORDS     records in the file (5,000 by default)
#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "btrcall.h"
#include "store/postgres/pg_session.h"
#include "store/server_folder.h"

namespace {

constexpr int kRecordLength = 100;

size_t RecordCount() {
    const char* text = std::getenv("W3BTRV7_BENCH_RECORDS");
    long value = text != nullptr ? std::atol(text) : 0;
    return value > 0 ? static_cast<size_t>(value) : 5000;
}

std::string Connection() {
    if (const char* text = std::getenv("W3BTRV7_BENCH_SERVER")) return text;
    std::string line;
    if (const char* file = std::getenv("W3BTRV7_BENCH_SERVER_FILE")) std::getline(std::ifstream(file), line);
    return line;
}

std::string Schema() {
    static std::string schema = "bench" + std::to_string(std::random_device()() % 1000000);
    return schema;
}

std::string Folder() {
    static std::string folder = [] {
        std::string path = (std::filesystem::temp_directory_path() / ("w3btrv7_server_bench_" + Schema())).string();
        std::filesystem::create_directories(path);
        std::ofstream(path + "/w3btrv7.server") << "connection = " << Connection() << "\nschema = " << Schema() << "\n";
        return path;
    }();
    return folder;
}

std::string MakeRecord(uint32_t id, uint32_t version = 0) {
    std::string record(kRecordLength, 'r');
    std::memcpy(record.data(), &id, 4);
    std::memcpy(record.data() + 4, &version, 4);
    return record;
}

// ---- Ours ----------------------------------------------------------------------------------------

struct Ours {
    uint8_t pb[btr::kPositionBlockSize] = {};
    char key[256] = {};
    char data[kRecordLength] = {};
    uint32_t length = 0;

    // A file of one key, a four-byte unsigned number at `offset` (1-based).
    explicit Ours(const char* name = "BENCH.DAT", uint16_t offset = 1, uint16_t flags = 0) {
        std::string path = Folder() + "/" + name;
        BtrFileSpec spec{};
        spec.recordLength = kRecordLength;
        spec.pageSize = 4096;
        spec.keyCount = 1;
        BtrKeySpec id{};
        id.position = offset;
        id.length = 4;
        id.flags = btr::kKeyFlagExtendedType | flags;
        id.extendedType = btr::kTypeUnsignedBinary;
        std::string buffer(reinterpret_cast<const char*>(&spec), sizeof spec);
        buffer.append(reinterpret_cast<const char*>(&id), sizeof id);
        std::strncpy(key, path.c_str(), 255);
        length = static_cast<uint32_t>(buffer.size());
        uint8_t scratch[btr::kPositionBlockSize] = {};
        if (BTRCALL(btr::kOpCreate, scratch, buffer.data(), &length, key, 255, 0) != 0) std::abort();
        length = 0;
        if (BTRCALL(btr::kOpOpen, pb, nullptr, &length, key, 255, 0) != 0) std::abort();
    }
    int16_t Call(uint16_t op, uint32_t id, const std::string* record = nullptr) {
        std::memcpy(key, &id, 4);
        if (record != nullptr) std::memcpy(data, record->data(), kRecordLength);
        length = kRecordLength;
        return BTRCALL(op, pb, data, &length, key, 255, 0);
    }
};

Ours& OurFile() {
    static Ours ours;
    return ours;
}

// ---- Raw libpq -----------------------------------------------------------------------------------

struct Raw {
    PGconn* conn = PQconnectdb(Connection().c_str());

    Raw() {
        if (PQstatus(conn) != CONNECTION_OK) std::abort();
        Exec("CREATE TABLE " + Schema() + "_raw(id integer PRIMARY KEY, data bytea NOT NULL)");
        Prepare("insert", "INSERT INTO " + Schema() + "_raw(id, data) VALUES($1::int4, $2::bytea)");
        Prepare("get", "SELECT data FROM " + Schema() + "_raw WHERE id = $1::int4");
        Prepare("next", "SELECT id, data FROM " + Schema() + "_raw WHERE id > $1::int4 ORDER BY id LIMIT 1");
        Prepare("update", "UPDATE " + Schema() + "_raw SET data = $2::bytea WHERE id = $1::int4");
        Prepare("delete", "DELETE FROM " + Schema() + "_raw WHERE id = $1::int4");
        Prepare("lock", "SELECT pg_try_advisory_lock($1::int4::int8)");
        Prepare("unlock", "SELECT pg_advisory_unlock($1::int4::int8)");
    }
    void Exec(const std::string& sql) {
        PGresult* result = PQexec(conn, sql.c_str());
        if (PQresultStatus(result) != PGRES_COMMAND_OK) std::abort();
        PQclear(result);
    }
    void Prepare(const char* name, const std::string& sql) {
        PGresult* result = PQprepare(conn, name, sql.c_str(), 0, nullptr);
        if (PQresultStatus(result) != PGRES_COMMAND_OK) std::abort();
        PQclear(result);
    }
    // Runs a prepared statement with the id (and a record) in binary form; the rows it returned.
    int Run(const char* name, uint32_t id, const std::string* record = nullptr) {
        char idBytes[4] = {static_cast<char>(id >> 24), static_cast<char>(id >> 16), static_cast<char>(id >> 8),
                           static_cast<char>(id)};
        const char* values[2] = {idBytes, record != nullptr ? record->data() : nullptr};
        int lengths[2] = {4, kRecordLength};
        int formats[2] = {1, 1};
        PGresult* result = PQexecPrepared(conn, name, record != nullptr ? 2 : 1, values, lengths, formats, 1);
        ExecStatusType status = PQresultStatus(result);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) std::abort();
        int rows = PQntuples(result);
        PQclear(result);
        return rows;
    }
};

Raw& RawFile() {
    static Raw raw;
    return raw;
}

// Ids 1..N in a shuffled order, and random ids to look up.
struct Workload {
    std::vector<uint32_t> order;
    std::vector<uint32_t> lookups;
    Workload() {
        std::mt19937 random(42);
        for (uint32_t id = 1; id <= RecordCount(); ++id) order.push_back(id);
        std::shuffle(order.begin(), order.end(), random);
        std::uniform_int_distribution<uint32_t> pick(1, static_cast<uint32_t>(RecordCount()));
        for (int i = 0; i < 1 << 16; ++i) lookups.push_back(pick(random));
    }
};

const Workload& Work() {
    static Workload work;
    return work;
}

// Counts ours's round trips per operation.
struct RoundTrips {
    uint64_t start = w3b::PgSession::RoundTrips();
    void Report(benchmark::State& state) {
        state.counters["round_trips"] = benchmark::Counter(static_cast<double>(w3b::PgSession::RoundTrips() - start) /
                                                           static_cast<double>(state.iterations()));
    }
};

void Insert_ours(benchmark::State& state) {
    OurFile();  // made and opened before the clock starts
    RoundTrips trips;
    size_t i = 0;
    for (auto _ : state) {
        std::string record = MakeRecord(Work().order[i++]);
        if (OurFile().Call(btr::kOpInsert, 0, &record) != 0) std::abort();
    }
    trips.Report(state);
}

void Insert_raw(benchmark::State& state) {
    RawFile();  // its table made and its statements prepared before the clock starts
    size_t i = 0;
    for (auto _ : state) {
        std::string record = MakeRecord(Work().order[i++]);
        RawFile().Run("insert", Work().order[i - 1], &record);
    }
}

// The reads run on tables whose statistics the server has gathered, as an office's tables have
// (autovacuum analyses them as they grow): otherwise the server's plans for both sides depend on
// whether its own analysis happened to run during the inserts.
void AnalyseOnce() {
    static bool analysed = [] {
        RawFile().Exec("ANALYZE " + Schema() + "_raw, " + Schema() + ".w3b_record, " + Schema() + ".w3b_entry");
        return true;
    }();
    (void)analysed;
}

void GetEqual_ours(benchmark::State& state) {
    AnalyseOnce();
    RoundTrips trips;
    size_t i = 0;
    for (auto _ : state) {
        if (OurFile().Call(btr::kOpGetEqual, Work().lookups[i++ & 0xFFFF]) != 0) std::abort();
    }
    trips.Report(state);
}

void GetEqual_raw(benchmark::State& state) {
    AnalyseOnce();
    size_t i = 0;
    for (auto _ : state) {
        if (RawFile().Run("get", Work().lookups[i++ & 0xFFFF]) != 1) std::abort();
    }
}

void GetNext_ours(benchmark::State& state) {
    RoundTrips trips;
    if (OurFile().Call(btr::kOpGetFirst, 0) != 0) std::abort();
    for (auto _ : state) {
        if (OurFile().Call(btr::kOpGetNext, 0) != 0 && OurFile().Call(btr::kOpGetFirst, 0) != 0) std::abort();
    }
    trips.Report(state);
}

// Raw's rows are kept in the order of their ids, which stands for both the key's order and
// the order of positions.
void NextById_raw(benchmark::State& state) {
    uint32_t id = 0;
    for (auto _ : state) {
        if (RawFile().Run("next", id) != 1) id = 0;
        ++id;
    }
}

void GetNext_raw(benchmark::State& state) { NextById_raw(state); }

// Get Next on a key with duplicates: a group of 16 records per value, walked in the key's order
// (the group's members in the order they came, then the next value's). Raw walks the same order
// with a composite index.
constexpr uint32_t kGroupSize = 16;

Ours* groupedFile = nullptr;

// The group's number is the record's second field (MakeRecord's version).
Ours& GroupedFile() {
    if (groupedFile == nullptr) {
        groupedFile = new Ours("GROUPED.DAT", 5, btr::kKeyFlagDuplicates);
        for (uint32_t id = 1; id <= RecordCount(); ++id) {
            std::string record = MakeRecord(id, id / kGroupSize);
            if (groupedFile->Call(btr::kOpInsert, 0, &record) != 0) std::abort();
        }
    }
    return *groupedFile;
}

void GetNextInGroups_ours(benchmark::State& state) {
    GroupedFile();  // filled before the clock starts
    RoundTrips trips;
    if (GroupedFile().Call(btr::kOpGetFirst, 0) != 0) std::abort();
    for (auto _ : state) {
        if (GroupedFile().Call(btr::kOpGetNext, 0) != 0 && GroupedFile().Call(btr::kOpGetFirst, 0) != 0) {
            std::abort();
        }
    }
    trips.Report(state);
}

void GetNextInGroups_raw(benchmark::State& state) {
    static bool filled = [] {
        RawFile().Exec("CREATE TABLE " + Schema() + "_grouped(id integer PRIMARY KEY, grp integer NOT NULL, " +
                       "data bytea NOT NULL)");
        RawFile().Exec("INSERT INTO " + Schema() + "_grouped SELECT g, g / " + std::to_string(kGroupSize) +
                       ", decode(repeat('72', " + std::to_string(kRecordLength) + "), 'hex') FROM generate_series(1, " +
                       std::to_string(RecordCount()) + ") g");
        RawFile().Exec("CREATE INDEX ON " + Schema() + "_grouped(grp, id)");
        RawFile().Exec("ANALYZE " + Schema() + "_grouped");
        RawFile().Prepare("next_in_groups", "SELECT id, data FROM " + Schema() +
                                                "_grouped WHERE (grp, id) > ($1::int4 / " + std::to_string(kGroupSize) +
                                                ", $1::int4) ORDER BY grp, id LIMIT 1");
        return true;
    }();
    (void)filled;
    uint32_t id = 0;
    for (auto _ : state) {
        if (RawFile().Run("next_in_groups", id) != 1) id = 0;
        ++id;
    }
}

void StepNext_ours(benchmark::State& state) {
    RoundTrips trips;
    if (OurFile().Call(btr::kOpStepFirst, 0) != 0) std::abort();
    for (auto _ : state) {
        if (OurFile().Call(btr::kOpStepNext, 0) != 0 && OurFile().Call(btr::kOpStepFirst, 0) != 0) std::abort();
    }
    trips.Report(state);
}

void StepNext_raw(benchmark::State& state) { NextById_raw(state); }

void Update_ours(benchmark::State& state) {
    size_t i = 0;
    uint64_t updates = 0, tripsInUpdates = 0;
    for (auto _ : state) {
        uint32_t id = Work().lookups[i++ & 0xFFFF];
        state.PauseTiming();
        if (OurFile().Call(btr::kOpGetEqual, id) != 0) std::abort();
        uint64_t before = w3b::PgSession::RoundTrips();
        state.ResumeTiming();
        std::string record = MakeRecord(id, static_cast<uint32_t>(i));
        if (OurFile().Call(btr::kOpUpdate, id, &record) != 0) std::abort();
        tripsInUpdates += w3b::PgSession::RoundTrips() - before;
        ++updates;
    }
    state.counters["round_trips"] =
        benchmark::Counter(static_cast<double>(tripsInUpdates) / static_cast<double>(updates));
}

void Update_raw(benchmark::State& state) {
    size_t i = 0;
    for (auto _ : state) {
        uint32_t id = Work().lookups[i++ & 0xFFFF];
        std::string record = MakeRecord(id, static_cast<uint32_t>(i));
        RawFile().Run("update", id, &record);
    }
}

void LockUnlock_ours(benchmark::State& state) {
    RoundTrips trips;
    for (auto _ : state) {
        // Get Equal with a single no-wait lock (+200), then Unlock.
        if (OurFile().Call(btr::kOpGetEqual + 200, 1) != 0) std::abort();
        if (OurFile().Call(btr::kOpUnlock, 0) != 0) std::abort();
    }
    trips.Report(state);
}

void LockUnlock_raw(benchmark::State& state) {
    for (auto _ : state) {
        RawFile().Run("get", 1);
        RawFile().Run("lock", 1);
        RawFile().Run("unlock", 1);
    }
}

void Delete_ours(benchmark::State& state) {
    size_t i = 0;
    uint64_t deletes = 0, tripsInDeletes = 0;
    for (auto _ : state) {
        uint32_t id = Work().order[i++];
        state.PauseTiming();
        if (OurFile().Call(btr::kOpGetEqual, id) != 0) std::abort();
        uint64_t before = w3b::PgSession::RoundTrips();
        state.ResumeTiming();
        if (OurFile().Call(btr::kOpDelete, id) != 0) std::abort();
        tripsInDeletes += w3b::PgSession::RoundTrips() - before;
        ++deletes;
    }
    state.counters["round_trips"] =
        benchmark::Counter(static_cast<double>(tripsInDeletes) / static_cast<double>(deletes));
}

void Delete_raw(benchmark::State& state) {
    size_t i = 0;
    for (auto _ : state) RawFile().Run("delete", Work().order[i++]);
}

// Prints each pair's ratio of elapsed time once both ran.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            std::string name = run.benchmark_name();
            size_t cut = name.find('_');
            std::string work = name.substr(0, cut);
            (name.compare(cut + 1, 3, "our") == 0 ? ours_ : raw_)[work] = run.GetAdjustedRealTime();
            if (ours_.count(work) != 0 && raw_.count(work) != 0) {
                std::printf("  ratio %-12s %.2f elapsed\n", work.c_str(), ours_[work] / raw_[work]);
                std::fflush(stdout);
            }
        }
    }

private:
    std::map<std::string, double> ours_, raw_;
};

// Names the statements of ours that the server planned afresh on most of their calls: planning
// costs more than a short statement's work, so each of them is a cost to find and remove.
void ReportReplannedStatements() {
    std::string list;
    bool found = false;
    w3b::ServerFolder folder{Connection(), Schema()};
    w3b::PgSession::For(folder)->ExecuteForValue(
        "SELECT string_agg(custom_plans || ' of ' || (custom_plans + generic_plans) || ' calls: ' || statement, "
        "E'\\n') FROM pg_prepared_statements WHERE custom_plans > generic_plans AND custom_plans > 5",
        &list, &found);
    std::printf("Statements planned afresh on most calls: %s\n", list.empty() ? "none" : ("\n" + list).c_str());
}

// Leaves nothing behind on the server: ours's file and schema, raw's table.
void DropBenchTables() {
    OurFile().Call(btr::kOpClose, 0);
    if (groupedFile != nullptr) groupedFile->Call(btr::kOpClose, 0);
    RawFile().Exec("DROP TABLE " + Schema() + "_raw");
    RawFile().Exec("DROP TABLE IF EXISTS " + Schema() + "_grouped");
    RawFile().Exec("DROP SCHEMA " + Schema() + " CASCADE");
}

}  // namespace

// Inserts and deletes each take every id once; the reads run on the full file.
BENCHMARK(Insert_ours)->Iterations(static_cast<int64_t>(RecordCount()))->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(Insert_raw)->Iterations(static_cast<int64_t>(RecordCount()))->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(GetEqual_ours)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(GetEqual_raw)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(GetNext_ours)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(GetNext_raw)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(GetNextInGroups_ours)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(GetNextInGroups_raw)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(StepNext_ours)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(StepNext_raw)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(Update_ours)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(Update_raw)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(LockUnlock_ours)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(LockUnlock_raw)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(Delete_ours)->Iterations(static_cast<int64_t>(RecordCount()))->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(Delete_raw)->Iterations(static_cast<int64_t>(RecordCount()))->UseRealTime()->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    if (Connection().empty()) {
        std::fprintf(stderr, "Set W3BTRV7_BENCH_SERVER (a libpq connection string) or W3BTRV7_BENCH_SERVER_FILE.\n");
        return 2;
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    ReportReplannedStatements();
    DropBenchTables();
    benchmark::Shutdown();
    std::filesystem::remove_all(Folder());
    return 0;
}
