// The library's own cost on the hot read paths: DbRead Get Next and Get Equal beside a direct
// BTRCALL into the same record manager doing the same reads, each followed by the ratio of the
// two. DBAPI_BENCH_RECORDS sets the file size (20,000 by default).
#include <benchmark/benchmark.h>
#include <dlfcn.h>

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
#include "tydb.h"

namespace {

constexpr int kRecordLength = 100;
constexpr int kKeyLength = 8;

int RecordCount() {
    const char* text = std::getenv("DBAPI_BENCH_RECORDS");
    const long value = text != nullptr ? std::atol(text) : 0;
    return value > 0 ? static_cast<int>(value) : 20000;
}

std::string KeyOf(int id) {
    char key[16];
    std::snprintf(key, sizeof key, "%08d", id);
    return std::string(key, kKeyLength);
}

// A data file of RecordCount() records keyed by an 8-digit id, the settings that lead the
// library to the build's record manager, and one open of the file each way.
class Setup {
public:
    Setup() {
        folder_ = (std::filesystem::temp_directory_path() / ("dbapi_bench_" + std::to_string(std::random_device()())))
                      .string();
        std::filesystem::create_directories(folder_);
        const std::string engineDir = std::string(TYDB_BUILD_DIR) + "/w3btrv7";
        std::ofstream(folder_ + "/settings.ini") << "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nPATH=" << engineDir << "\n";
        setenv("TYWREG_FILE", (folder_ + "/settings.ini").c_str(), 1);

        library_ = dlopen((engineDir + "/libw3btrv7.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library_ != nullptr) direct_ = reinterpret_cast<BtrCallFunction>(dlsym(library_, "BTRCALL"));
        if (direct_ == nullptr) Fail("the record manager cannot be loaded from " + engineDir);

        path_ = folder_ + "/BENCH.DAT";
        BtrFileSpec spec[2] = {};
        spec[0].recordLength = kRecordLength;
        spec[0].pageSize = 4096;
        spec[0].keyCount = 1;
        BtrKeySpec segments[2] = {};
        segments[0].position = 1;
        segments[0].length = kKeyLength;
        if (DbCreateFile(path_.c_str(), spec, segments) != 0) Fail("cannot create " + path_);
        if (DbOpen(&handle_, path_.c_str(), 0, 0) != 0) Fail("cannot open " + path_);
        for (int id = 1; id <= RecordCount(); ++id) {
            std::string record(kRecordLength, 'r');
            record.replace(0, kKeyLength, KeyOf(id));
            char key[256] = {};
            if (DbModify(btr::kOpInsert, handle_, key, record.data(), 0) != 0) Fail("cannot insert");
        }
        char key[256] = {};
        std::strncpy(key, path_.c_str(), sizeof key - 1);
        uint32_t length = 0;
        char scratch[256] = {};
        if (direct_(btr::kOpOpen, block_, scratch, &length, key, 255, 0) != 0) Fail("cannot open directly");

        std::mt19937 random(7);
        std::uniform_int_distribution<int> pick(1, RecordCount());
        for (int i = 0; i < 1 << 14; ++i) lookups_.push_back(KeyOf(pick(random)));
    }
    ~Setup() {
        uint32_t length = 0;
        char scratch[256] = {};
        direct_(btr::kOpClose, block_, scratch, &length, scratch, 255, 0);
        DbCloseAll();
        std::filesystem::remove_all(folder_);
    }

    int16_t handle() const { return handle_; }
    BtrCallFunction direct() const { return direct_; }
    uint8_t* block() { return block_; }
    const std::vector<std::string>& lookups() const { return lookups_; }

private:
    [[noreturn]] static void Fail(const std::string& message) {
        std::fprintf(stderr, "dbapi_bench: %s\n", message.c_str());
        std::exit(1);
    }

    std::string folder_, path_;
    void* library_ = nullptr;
    BtrCallFunction direct_ = nullptr;
    int16_t handle_ = 0;
    uint8_t block_[btr::kPositionBlockSize] = {};
    std::vector<std::string> lookups_;
};

Setup& TheSetup() {
    static Setup setup;
    return setup;
}

// Get Next through the file, starting over with Get First at its end.
void GetNext_tydb(benchmark::State& state) {
    Setup& setup = TheSetup();
    char key[256] = {};
    char data[kRecordLength];
    DbRead(btr::kOpGetFirst, setup.handle(), key, data, 0);
    for (auto _ : state) {
        if (DbRead(btr::kOpGetNext, setup.handle(), key, data, 0) != 0) {
            DbRead(btr::kOpGetFirst, setup.handle(), key, data, 0);
        }
        benchmark::DoNotOptimize(data[0]);
    }
}

void GetNext_direct(benchmark::State& state) {
    Setup& setup = TheSetup();
    char key[256] = {};
    char data[kRecordLength];
    uint32_t length = kRecordLength;
    setup.direct()(btr::kOpGetFirst, setup.block(), data, &length, key, 255, 0);
    for (auto _ : state) {
        length = kRecordLength;
        if (setup.direct()(btr::kOpGetNext, setup.block(), data, &length, key, 255, 0) != 0) {
            length = kRecordLength;
            setup.direct()(btr::kOpGetFirst, setup.block(), data, &length, key, 255, 0);
        }
        benchmark::DoNotOptimize(data[0]);
    }
}

void GetEqual_tydb(benchmark::State& state) {
    Setup& setup = TheSetup();
    const auto& lookups = setup.lookups();
    char key[256] = {};
    char data[kRecordLength];
    size_t i = 0;
    for (auto _ : state) {
        std::memcpy(key, lookups[i++ & (lookups.size() - 1)].data(), kKeyLength);
        if (DbRead(btr::kOpGetEqual, setup.handle(), key, data, 0) != 0) state.SkipWithError("Get Equal failed");
        benchmark::DoNotOptimize(data[0]);
    }
}

void GetEqual_direct(benchmark::State& state) {
    Setup& setup = TheSetup();
    const auto& lookups = setup.lookups();
    char key[256] = {};
    char data[kRecordLength];
    size_t i = 0;
    for (auto _ : state) {
        std::memcpy(key, lookups[i++ & (lookups.size() - 1)].data(), kKeyLength);
        uint32_t length = kRecordLength;
        if (setup.direct()(btr::kOpGetEqual, setup.block(), data, &length, key, 255, 0) != 0) {
            state.SkipWithError("Get Equal failed");
        }
        benchmark::DoNotOptimize(data[0]);
    }
}

// Prints the ratio of each library figure to its direct baseline once both ran: medians of
// the repetitions, in CPU time, which other work on a shared machine disturbs least.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median" || run.error_occurred) continue;
            const std::string name = run.run_name.function_name;
            const size_t split = name.rfind('_');
            if (split == std::string::npos) continue;
            const std::string work = name.substr(0, split), side = name.substr(split + 1);
            (side == "tydb" ? library_ : direct_)[work] = run.GetAdjustedCPUTime();
            if (library_.count(work) != 0 && direct_.count(work) != 0) {
                std::printf("  ratio %-10s %.3f  (goal at most 1.03)\n", work.c_str(), library_[work] / direct_[work]);
            }
        }
    }

private:
    std::map<std::string, double> library_, direct_;
};

}  // namespace

BENCHMARK(GetNext_direct)->MinTime(0.5)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(GetNext_tydb)->MinTime(0.5)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(GetEqual_direct)->MinTime(0.5)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(GetEqual_tydb)->MinTime(0.5)->Repetitions(5)->ReportAggregatesOnly(true);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    TheSetup();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
