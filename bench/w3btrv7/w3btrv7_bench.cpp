// The record manager beside hand-written SQLite for the same work. Each figure is followed by
// its ratio to the baseline. W3BTRV7_BENCH_RECORDS sets the file size (100,000 by default).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "btrcall.h"
#include "platform.h"
#include "raw_sqlite.h"

namespace {

constexpr int kRecordLength = 100;

size_t RecordCount() {
    const char* text = std::getenv("W3BTRV7_BENCH_RECORDS");
    long value = text != nullptr ? std::atol(text) : 0;
    return value > 0 ? static_cast<size_t>(value) : 100000;
}

std::string Folder() {
    static std::string folder = [] {
        std::string path =
            (std::filesystem::temp_directory_path() / ("w3btrv7_bench_" + std::to_string(std::random_device()())))
                .string();
        std::filesystem::create_directories(path);
        return path;
    }();
    return folder;
}

struct Workload {
    std::vector<uint32_t> insertOrder;  // ids 1..N shuffled
    std::vector<uint32_t> keyOrder;     // ids 1..N ascending: records stored in key order
    std::vector<uint32_t> lookups;      // random ids
    Workload() {
        size_t n = RecordCount();
        std::mt19937 random(42);
        for (uint32_t id = 1; id <= n; ++id) insertOrder.push_back(id);
        keyOrder = insertOrder;
        std::shuffle(insertOrder.begin(), insertOrder.end(), random);
        std::uniform_int_distribution<uint32_t> pick(1, static_cast<uint32_t>(n));
        for (int i = 0; i < 1 << 16; ++i) lookups.push_back(pick(random));
    }
};

const Workload& Work() {
    static Workload work;
    return work;
}

std::string MakeRecord(uint32_t id, uint32_t version = 0) {
    std::string record(kRecordLength, 'r');
    std::memcpy(record.data(), &id, 4);
    char group[11];
    std::snprintf(group, sizeof group, "g%09u", id % 1000);
    std::memcpy(record.data() + 4, group, 10);
    char name[11];
    std::snprintf(name, sizeof name, "n%09u", (id * 2654435761u) % 1000003u);
    std::memcpy(record.data() + 14, name, 10);
    std::memcpy(record.data() + 24, &version, 4);
    return record;
}

// ---- The record manager ------------------------------------------------------------------------

struct EngineFile {
    uint8_t pb[btr::kPositionBlockSize] = {};
    std::string path;
    bool populated = false;

    explicit EngineFile(const std::string& name) : path(Folder() + "/" + name) {
        BtrFileSpec spec{};
        spec.recordLength = kRecordLength;
        spec.pageSize = 4096;
        spec.keyCount = 2;
        BtrKeySpec keys[2] = {};
        keys[0].position = 1;
        keys[0].length = 4;
        keys[0].flags = btr::kKeyFlagExtendedType;
        keys[0].extendedType = btr::kTypeUnsignedBinary;
        keys[1].position = 5;
        keys[1].length = 10;
        keys[1].flags = btr::kKeyFlagExtendedType | btr::kKeyFlagDuplicates | btr::kKeyFlagModifiable;
        keys[1].extendedType = btr::kTypeString;
        std::string buffer(reinterpret_cast<const char*>(&spec), sizeof spec);
        buffer.append(reinterpret_cast<const char*>(keys), sizeof keys);
        char key[256] = {};
        std::strncpy(key, path.c_str(), 255);
        uint32_t length = static_cast<uint32_t>(buffer.size());
        uint8_t scratch[btr::kPositionBlockSize] = {};
        if (BTRCALL(btr::kOpCreate, scratch, buffer.data(), &length, key, 255, 0) != 0) std::abort();
        length = 0;
        if (BTRCALL(btr::kOpOpen, pb, nullptr, &length, key, 255, 0) != 0) std::abort();
    }
    int16_t Call(uint16_t op, void* data, uint32_t* length, void* key, int8_t keyNumber) {
        return BTRCALL(op, pb, data, length, key, 255, keyNumber);
    }
    void Insert(uint32_t id) {
        std::string record = MakeRecord(id);
        uint32_t length = kRecordLength;
        char key[255];
        if (Call(btr::kOpInsert, record.data(), &length, key, 0) != 0) std::abort();
    }
    void Populate(const std::vector<uint32_t>& order = Work().insertOrder) {
        if (populated) return;
        for (uint32_t id : order) Insert(id);
        populated = true;
    }
};

EngineFile& OursRead() {
    static EngineFile file("read.dat");
    return file;
}

struct RawState {
    std::unique_ptr<rawbench::RawFile> file;
    bool populated = false;
    void Populate(const std::vector<uint32_t>& order = Work().insertOrder) {
        if (populated) return;
        for (uint32_t id : order) file->Insert(MakeRecord(id));
        populated = true;
    }
};

RawState& RawRead() {
    static RawState state{std::make_unique<rawbench::RawFile>(Folder() + "/read.db"), false};
    return state;
}

// Files whose records were inserted in key order, so a scan by key also walks the storage in
// order: beside the shuffled files this separates the cost of each call from the cost of
// reaching records scattered over a large file.
EngineFile& OursKeyOrdered() {
    static EngineFile file("ordered.dat");
    return file;
}

RawState& RawKeyOrdered() {
    static RawState state{std::make_unique<rawbench::RawFile>(Folder() + "/ordered.db"), false};
    return state;
}

void SetPerOp(benchmark::State& state, size_t opsPerIteration) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * opsPerIteration));
}

// ---- Insert --------------------------------------------------------------------------------------

void Insert_ours(benchmark::State& state) {
    EngineFile& file = OursRead();
    for (auto _ : state) {
        file.Populate();
    }
    SetPerOp(state, RecordCount());
}

void Insert_raw(benchmark::State& state) {
    RawState& raw = RawRead();
    for (auto _ : state) {
        raw.Populate();
    }
    SetPerOp(state, RecordCount());
}

// ---- Get Equal at random -------------------------------------------------------------------------

void GetEqual_ours(benchmark::State& state) {
    EngineFile& file = OursRead();
    file.Populate();
    const auto& ids = Work().lookups;
    size_t i = 0;
    char data[kRecordLength];
    char key[255];
    for (auto _ : state) {
        uint32_t id = ids[i++ & 0xFFFF];
        std::memcpy(key, &id, 4);
        uint32_t length = kRecordLength;
        if (file.Call(btr::kOpGetEqual, data, &length, key, 0) != 0) std::abort();
    }
    SetPerOp(state, 1);
}

void GetEqual_raw(benchmark::State& state) {
    RawState& raw = RawRead();
    raw.Populate();
    const auto& ids = Work().lookups;
    size_t i = 0;
    std::string record;
    for (auto _ : state) {
        if (!raw.file->GetEqual(ids[i++ & 0xFFFF], &record)) std::abort();
    }
    SetPerOp(state, 1);
}

// ---- Scans ---------------------------------------------------------------------------------------

// Walks the whole file; the file is filled before (so that instruction counts of this function
// cover the scan alone).
void Scan(benchmark::State& state, EngineFile& file, uint16_t first, uint16_t next) {
    char data[kRecordLength];
    char key[255];
    size_t count = 0;
    for (auto _ : state) {
        count = 0;
        uint32_t length = kRecordLength;
        for (int16_t status = file.Call(first, data, &length, key, 0); status == 0;
             status = file.Call(next, data, &length, key, 0)) {
            ++count;
            length = kRecordLength;
        }
    }
    if (count != RecordCount()) std::abort();
    SetPerOp(state, RecordCount());
}

void GetNextScan_ours(benchmark::State& state) {
    OursRead().Populate();
    Scan(state, OursRead(), btr::kOpGetFirst, btr::kOpGetNext);
}

void GetNextScanInKeyOrder_ours(benchmark::State& state) {
    OursKeyOrdered().Populate(Work().keyOrder);
    Scan(state, OursKeyOrdered(), btr::kOpGetFirst, btr::kOpGetNext);
}

void GetNextScanInKeyOrder_raw(benchmark::State& state) {
    RawState& raw = RawKeyOrdered();
    raw.Populate(Work().keyOrder);
    for (auto _ : state) {
        if (raw.file->ScanByKey() != RecordCount()) std::abort();
    }
    SetPerOp(state, RecordCount());
}

void StepNextScan_ours(benchmark::State& state) {
    OursRead().Populate();
    Scan(state, OursRead(), btr::kOpStepFirst, btr::kOpStepNext);
}

void GetNextScan_raw(benchmark::State& state) {
    RawState& raw = RawRead();
    raw.Populate();
    for (auto _ : state) {
        if (raw.file->ScanByKey() != RecordCount()) std::abort();
    }
    SetPerOp(state, RecordCount());
}

void StepNextScan_raw(benchmark::State& state) {
    RawState& raw = RawRead();
    raw.Populate();
    for (auto _ : state) {
        if (raw.file->ScanByPosition() != RecordCount()) std::abort();
    }
    SetPerOp(state, RecordCount());
}

// ---- Get Next Extended: 100 records a call ------------------------------------------------------

constexpr uint16_t kRecordsPerCall = 100;
constexpr char kGroupBound[] = "g000000100";  // below it: one record in ten

// A descriptor that asks for whole records, with at most one term: the group below kGroupBound.
std::string ExtendedDescriptor(bool filtered) {
    auto u16 = [](uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); };
    std::string body = u16(0) + u16(filtered ? 1 : 0);
    if (filtered) {
        body += std::string(1, static_cast<char>(btr::kTypeString)) + u16(10) + u16(4);
        body += std::string(1, 3) + std::string(1, 0) + kGroupBound;  // less than; the last term
    }
    body += u16(kRecordsPerCall) + u16(1) + u16(kRecordLength) + u16(0);
    return u16(static_cast<uint16_t>(body.size() + 4)) + "EG" + body;
}

// Reads the whole file along key 0, 100 records a call; returns the records taken.
size_t ExtendedScan(EngineFile& file, const std::string& descriptor, bool firstTaken) {
    std::vector<char> data(2 + kRecordsPerCall * (6 + kRecordLength));
    char key[255];
    uint32_t length = kRecordLength;
    if (file.Call(btr::kOpGetFirst, data.data(), &length, key, 0) != 0) std::abort();
    size_t count = firstTaken ? 1 : 0;
    for (int16_t status = 0; status == 0;) {
        std::memcpy(data.data(), descriptor.data(), descriptor.size());
        length = static_cast<uint32_t>(data.size());
        status = file.Call(btr::kOpGetNextExtended, data.data(), &length, key, 0);
        if (status != 0 && status != btr::kStatusEndOfFile) std::abort();
        uint16_t taken;
        std::memcpy(&taken, data.data(), 2);
        count += taken;
    }
    return count;
}

void GetNextExtended_ours(benchmark::State& state) {
    OursRead().Populate();
    const std::string descriptor = ExtendedDescriptor(false);
    for (auto _ : state) {
        if (ExtendedScan(OursRead(), descriptor, true) != RecordCount()) std::abort();
    }
    SetPerOp(state, RecordCount());
}

void GetNextExtended_raw(benchmark::State& state) {
    RawState& raw = RawRead();
    raw.Populate();
    for (auto _ : state) {
        if (raw.file->ScanByKey() != RecordCount()) std::abort();
    }
    SetPerOp(state, RecordCount());
}

// The records whose group (id % 1000) sorts below kGroupBound.
size_t RecordsBelowTheBound() {
    size_t count = 0;
    for (size_t id = 1; id <= RecordCount(); ++id) count += id % 1000 < 100 ? 1 : 0;
    return count;
}

void GetNextExtendedFiltered_ours(benchmark::State& state) {
    OursRead().Populate();
    const std::string descriptor = ExtendedDescriptor(true);
    for (auto _ : state) {
        // The first record (id 1) is in a group below the bound: the scan starts after it.
        if (ExtendedScan(OursRead(), descriptor, true) != RecordsBelowTheBound()) std::abort();
    }
    SetPerOp(state, RecordCount());
}

void GetNextExtendedFiltered_raw(benchmark::State& state) {
    RawState& raw = RawRead();
    raw.Populate();
    for (auto _ : state) {
        if (raw.file->ScanByKeyGroupBelow(kGroupBound) != RecordsBelowTheBound()) std::abort();
    }
    SetPerOp(state, RecordCount());
}

// ---- Get Position, then Get Direct on a key --------------------------------------------------------

// Positions of the records of the random lookups, as Get Position gave them after Get Equal.
std::vector<uint32_t> PositionsOfLookups(EngineFile& file) {
    std::vector<uint32_t> positions;
    char data[kRecordLength];
    char key[255];
    for (uint32_t id : Work().lookups) {
        std::memcpy(key, &id, 4);
        uint32_t length = kRecordLength;
        if (file.Call(btr::kOpGetEqual, data, &length, key, 0) != 0) std::abort();
        uint32_t position = 0;
        length = sizeof position;
        if (file.Call(btr::kOpGetPosition, &position, &length, key, 0) != 0) std::abort();
        positions.push_back(position);
    }
    return positions;
}

// The timed loop alone, never inlined, so that instruction counts of this function cover the
// pairs alone; returns the id of the record the block stands on at the end.
[[gnu::noinline]] uint32_t PositionThenDirect(benchmark::State& state, EngineFile& file,
                                              const std::vector<uint32_t>& positions) {
    size_t i = 0;
    char data[kRecordLength];
    char key[255];
    for (auto _ : state) {
        uint32_t position = positions[i++ & 0xFFFF];
        std::memcpy(data, &position, 4);
        uint32_t length = kRecordLength;
        if (file.Call(btr::kOpGetDirect, data, &length, key, 0) != 0) std::abort();
        uint32_t current = 0;
        length = sizeof current;
        if (file.Call(btr::kOpGetPosition, &current, &length, key, 0) != 0 || current != position) std::abort();
    }
    uint32_t id = 0;
    std::memcpy(&id, data, 4);
    return id;
}

// A program remembers where it stands (Get Position) and comes back there later along key 0
// (Get Direct with a key number: the record by position, then its key entry, so that Get Next
// goes on from it). Each iteration comes back to a record of the random lookups and asks the
// position of the record it made current: in the loop every Get Position is followed by a Get
// Direct, each time on another record.
void GetPositionDirect_ours(benchmark::State& state) {
    EngineFile& file = OursRead();
    file.Populate();
    static const std::vector<uint32_t> positions = PositionsOfLookups(file);
    uint32_t id = PositionThenDirect(state, file, positions);
    // The block stands on the key entry: Get Next reaches the following id.
    char data[kRecordLength];
    char key[255];
    uint32_t length = kRecordLength;
    int16_t status = file.Call(btr::kOpGetNext, data, &length, key, 0);
    uint32_t next = 0;
    std::memcpy(&next, data, 4);
    if (id < RecordCount() ? status != 0 || next != id + 1 : status != btr::kStatusEndOfFile) std::abort();
    SetPerOp(state, 1);
}

void GetPositionDirect_raw(benchmark::State& state) {
    RawState& raw = RawRead();
    raw.Populate();
    static const std::vector<int64_t> positions = [&raw] {
        std::vector<int64_t> found;
        for (uint32_t id : Work().lookups) found.push_back(raw.file->PositionOf(id));
        return found;
    }();
    size_t i = 0;
    std::string record;
    for (auto _ : state) {
        if (!raw.file->ReadWithKeyEntry(positions[i++ & 0xFFFF], &record)) std::abort();
    }
    SetPerOp(state, 1);
}

// ---- Update and Delete: find the record by key, then write ----------------------------------------

// The timed loops of Update and Delete, never inlined, so that instruction counts of these
// functions cover the writes alone (the files are filled before).
[[gnu::noinline]] void UpdateLoop(benchmark::State& state, EngineFile& file) {
    const auto& ids = Work().lookups;
    size_t i = 0;
    char key[255];
    for (auto _ : state) {
        uint32_t id = ids[i++ & 0xFFFF];
        std::string record = MakeRecord(id, static_cast<uint32_t>(i));
        std::memcpy(key, &id, 4);
        char data[kRecordLength];
        uint32_t length = kRecordLength;
        if (file.Call(btr::kOpGetEqual, data, &length, key, 0) != 0) std::abort();
        length = kRecordLength;
        if (file.Call(btr::kOpUpdate, record.data(), &length, key, 0) != 0) std::abort();
    }
}

void Update_ours(benchmark::State& state) {
    EngineFile& file = OursRead();
    file.Populate();
    UpdateLoop(state, file);
    SetPerOp(state, 1);
}

[[gnu::noinline]] void UpdateLoopRaw(benchmark::State& state, RawState& raw) {
    const auto& ids = Work().lookups;
    size_t i = 0;
    for (auto _ : state) {
        uint32_t id = ids[i++ & 0xFFFF];
        raw.file->Update(id, MakeRecord(id, static_cast<uint32_t>(i)));
    }
}

void Update_raw(benchmark::State& state) {
    RawState& raw = RawRead();
    raw.Populate();
    UpdateLoopRaw(state, raw);
    SetPerOp(state, 1);
}

size_t DeleteCount() { return std::max<size_t>(RecordCount() / 10, 1); }

[[gnu::noinline]] void DeleteLoop(benchmark::State& state, EngineFile& file) {
    const auto& ids = Work().insertOrder;
    for (auto _ : state) {
        char key[255];
        char data[kRecordLength];
        for (size_t i = 0; i < DeleteCount(); ++i) {
            std::memcpy(key, &ids[i], 4);
            uint32_t length = kRecordLength;
            if (file.Call(btr::kOpGetEqual, data, &length, key, 0) != 0) std::abort();
            if (file.Call(btr::kOpDelete, data, &length, key, 0) != 0) std::abort();
        }
    }
}

void Delete_ours(benchmark::State& state) {
    EngineFile& file = OursRead();
    file.Populate();
    DeleteLoop(state, file);
    SetPerOp(state, DeleteCount());
}

[[gnu::noinline]] void DeleteLoopRaw(benchmark::State& state, RawState& raw) {
    const auto& ids = Work().insertOrder;
    for (auto _ : state) {
        for (size_t i = 0; i < DeleteCount(); ++i) raw.file->Delete(ids[i]);
    }
}

void Delete_raw(benchmark::State& state) {
    RawState& raw = RawRead();
    raw.Populate();
    DeleteLoopRaw(state, raw);
    SetPerOp(state, DeleteCount());
}

// ---- Create Supplemental Index over the records ----------------------------------------------------

void CreateIndex_ours(benchmark::State& state) {
    EngineFile& file = OursRead();
    file.Populate();
    BtrKeySpec spec{};
    spec.position = 15;
    spec.length = 10;
    spec.flags = btr::kKeyFlagExtendedType | btr::kKeyFlagDuplicates | btr::kKeyFlagModifiable;
    spec.extendedType = btr::kTypeString;
    char key[255];
    for (auto _ : state) {
        uint32_t length = sizeof spec;
        if (file.Call(btr::kOpCreateIndex, &spec, &length, key, static_cast<int8_t>(0x80 | 2)) != 0) std::abort();
        state.PauseTiming();
        length = 0;
        if (file.Call(btr::kOpDropIndex, key, &length, key, static_cast<int8_t>(0x80 | 2)) != 0) std::abort();
        state.ResumeTiming();
    }
    SetPerOp(state, 1);
}

void CreateIndex_raw(benchmark::State& state) {
    RawState& raw = RawRead();
    raw.Populate();
    for (auto _ : state) raw.file->BuildIndex();
    SetPerOp(state, 1);
}

// ---- Many users: a record lock and its release; a transaction; fully synchronous inserts -----------

constexpr size_t kSmallFileRecords = 1000;

EngineFile& OursSmall() {
    static EngineFile* file = [] {
        auto* made = new EngineFile("small.dat");
        for (uint32_t id = 1; id <= kSmallFileRecords; ++id) made->Insert(id);
        return made;
    }();
    return *file;
}

void LockUnlock_ours(benchmark::State& state) {
    EngineFile& file = OursSmall();
    char data[kRecordLength];
    char key[255];
    uint32_t id = 0;
    for (auto _ : state) {
        id = id % kSmallFileRecords + 1;
        std::memcpy(key, &id, 4);
        uint32_t length = kRecordLength;
        if (file.Call(btr::kOpGetEqual + btr::kBiasSingleNoWaitLock, data, &length, key, 0) != 0) std::abort();
        length = 0;
        if (file.Call(btr::kOpUnlock, data, &length, key, btr::kUnlockSingle) != 0) std::abort();
    }
    SetPerOp(state, 1);
}

// By hand: the read, then a byte-range lock standing for the record and its release.
void LockUnlock_raw(benchmark::State& state) {
    static rawbench::RawFile raw(Folder() + "/small.db");
    static bool filled = false;
    if (!filled) {
        for (uint32_t id = 1; id <= kSmallFileRecords; ++id) raw.Insert(MakeRecord(id));
        filled = true;
    }
    platform::File lockFile;
    platform::FileOptions options;
    options.access = platform::FileAccess::kReadWrite;
    if (platform::File::Open((Folder() + "/small.db").c_str(), options, &lockFile) != platform::FileStatus::kOk) {
        std::abort();
    }
    std::string record;
    uint32_t id = 0;
    for (auto _ : state) {
        id = id % kSmallFileRecords + 1;
        if (!raw.GetEqual(id, &record)) std::abort();
        uint64_t byte = (uint64_t{1} << 62) + id;
        if (lockFile.LockRange(byte, 1, platform::RangeLock::kExclusive, false) != platform::FileStatus::kOk) {
            std::abort();
        }
        lockFile.UnlockRange(byte, 1);
    }
    SetPerOp(state, 1);
}

constexpr uint32_t kTransactionInserts = 100;

void Transaction100_ours(benchmark::State& state) {
    static EngineFile file("transactions.dat");
    static uint32_t next = 1;
    char key[255];
    uint32_t length = 0;
    for (auto _ : state) {
        if (BTRCALL(btr::kOpBeginTransaction + btr::kBiasConcurrentTransaction, file.pb, nullptr, &length, key, 255,
                    0) != 0) {
            std::abort();
        }
        for (uint32_t i = 0; i < kTransactionInserts; ++i) file.Insert(next++);
        if (BTRCALL(btr::kOpEndTransaction, file.pb, nullptr, &length, key, 255, 0) != 0) std::abort();
    }
    SetPerOp(state, kTransactionInserts);
}

void Transaction100_raw(benchmark::State& state) {
    static rawbench::RawFile raw(Folder() + "/transactions.db");
    static uint32_t next = 1;
    std::vector<std::string> records(kTransactionInserts);
    for (auto _ : state) {
        for (std::string& record : records) record = MakeRecord(next++);
        raw.InsertMany(records);
    }
    SetPerOp(state, kTransactionInserts);
}

// Every insert on disk before it returns: W3BTRV7_SYNC=full beside synchronous=FULL.
void InsertFullSync_ours(benchmark::State& state) {
    static EngineFile* file = [] {
        platform::SetEnvironment("W3BTRV7_SYNC", "full");
        EngineFile* made = new EngineFile("synced.dat");
        platform::SetEnvironment("W3BTRV7_SYNC", nullptr);
        return made;
    }();
    static uint32_t next = 1;
    for (auto _ : state) file->Insert(next++);
    SetPerOp(state, 1);
}

void InsertFullSync_raw(benchmark::State& state) {
    static rawbench::RawFile raw(Folder() + "/synced.db", true);
    static uint32_t next = 1;
    for (auto _ : state) raw.Insert(MakeRecord(next++));
    SetPerOp(state, 1);
}

// Prints the ratio of each figure of ours to its raw baseline once both ran, by elapsed time and
// by CPU time (the machine may be shared: CPU time is the steadier of the two).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            std::string name = run.benchmark_name();
            double perIteration = run.GetAdjustedRealTime();
            double cpuPerIteration = run.GetAdjustedCPUTime();
            size_t slash = name.find('_');
            if (slash == std::string::npos) continue;
            std::string work = name.substr(0, slash);
            std::string side = name.substr(slash + 1, 3);
            (side == "our" ? ours_ : raw_)[work] = perIteration;
            (side == "our" ? oursCpu_ : rawCpu_)[work] = cpuPerIteration;
            if (ours_.count(work) != 0 && raw_.count(work) != 0) {
                std::printf("  ratio %-22s %.2f elapsed, %.2f CPU\n", work.c_str(), ours_[work] / raw_[work],
                            oursCpu_[work] / rawCpu_[work]);
                std::fflush(stdout);
            }
        }
    }

private:
    std::map<std::string, double> ours_, raw_, oursCpu_, rawCpu_;
};

}  // namespace

BENCHMARK(Insert_ours)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Insert_raw)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(GetEqual_ours);
BENCHMARK(GetEqual_raw);
BENCHMARK(GetNextScan_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(GetNextScan_raw)->Unit(benchmark::kMillisecond);
BENCHMARK(GetNextScanInKeyOrder_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(GetNextScanInKeyOrder_raw)->Unit(benchmark::kMillisecond);
BENCHMARK(StepNextScan_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(StepNextScan_raw)->Unit(benchmark::kMillisecond);
BENCHMARK(GetNextExtended_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(GetNextExtended_raw)->Unit(benchmark::kMillisecond);
BENCHMARK(GetNextExtendedFiltered_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(GetNextExtendedFiltered_raw)->Unit(benchmark::kMillisecond);
BENCHMARK(GetPositionDirect_ours);
BENCHMARK(GetPositionDirect_raw);
BENCHMARK(Update_ours);
BENCHMARK(Update_raw);
BENCHMARK(CreateIndex_ours)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(CreateIndex_raw)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(Delete_ours)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Delete_raw)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(LockUnlock_ours);
BENCHMARK(LockUnlock_raw);
BENCHMARK(Transaction100_ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(Transaction100_raw)->Unit(benchmark::kMicrosecond);
BENCHMARK(InsertFullSync_ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(InsertFullSync_raw)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::filesystem::remove_all(Folder());
    return 0;
}
