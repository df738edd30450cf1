// The unformatted route: tydb load FILE SAVE --unformatted inserts the records of a save file of
// the original record manager's maintenance utility; tydb export FILE --unformatted SAVE writes
// one, every record in physical order, fixed and variable parts. Both go through BTRCALL, whose
// records may be longer than the library's buffer.
#include <filesystem>
#include <fstream>
#include <iostream>

#include "btr_file.h"
#include "commands.h"
#include "record_manager.h"
#include "status_text.h"
#include "unformatted_file.h"
#include "write_guard.h"

namespace tool {
namespace {

constexpr uint64_t kRecordsPerTransaction = 1000;
constexpr size_t kShownRefusals = 20;

}  // namespace

void LoadUnformatted(const std::string& path, const std::string& savePath, bool force) {
    std::ifstream in(std::filesystem::u8path(savePath), std::ios::binary);
    if (!in) Fail(1, "cannot read " + savePath);
    CheckNoOtherComputersLock(path, force);
    RecordManager manager;
    BtrFile file(manager.RequireEntry(), path);
    const int16_t opened = file.Open(btr::kOpenNormal);
    if (opened != 0) Fail(1, "cannot open " + path + ": status " + DescribeStatus(opened));
    auto transaction = [&](uint16_t operation) {
        const int16_t status = file.Transaction(operation);
        if (status != 0) Fail(1, path + ": transaction failed: status " + DescribeStatus(status));
    };
    UnformattedReader reader(in);
    std::vector<uint8_t> record;
    std::string error;
    uint64_t read = 0, inserted = 0, refused = 0;
    UnformattedReader::Next next;
    while ((next = reader.Read(&record, &error)) == UnformattedReader::Next::kRecord) {
        if (!file.inTransaction()) transaction(btr::kOpBeginTransaction);
        const int16_t status = file.Insert(record.data(), static_cast<uint32_t>(record.size()));
        if (status == 0) {
            ++inserted;
        } else if (++refused <= kShownRefusals) {
            std::cout << "record " << read + 1 << ": refused, status " << DescribeStatus(status) << "\n";
        }
        if (++read % kRecordsPerTransaction == 0) transaction(btr::kOpEndTransaction);
    }
    // What came before a malformed part stays: each record was whole.
    if (file.inTransaction()) transaction(btr::kOpEndTransaction);
    if (refused > kShownRefusals) std::cout << "... and " << refused - kShownRefusals << " more refusals\n";
    std::cout << "Loaded " << savePath << " into " << path << ": " << read << " records read, " << inserted
              << " inserted, " << refused << " refused" << std::endl;
    if (next == UnformattedReader::Next::kMalformed) Fail(2, savePath + ": " + error);
    if (refused > 0) throw CLI::RuntimeError(1);
}

void ExportUnformatted(const std::string& path, const std::string& savePath) {
    RecordManager manager;
    BtrFile file(manager.RequireEntry(), path);
    const int16_t opened = file.Open(btr::kOpenReadOnly);
    if (opened != 0) Fail(1, "cannot open " + path + ": status " + DescribeStatus(opened));
    std::ofstream out(std::filesystem::u8path(savePath), std::ios::binary | std::ios::trunc);
    if (!out) Fail(1, "cannot write " + savePath);
    std::vector<uint8_t> record;
    uint64_t written = 0;
    int16_t status = file.Step(btr::kOpStepFirst, &record);
    for (; status == 0; status = file.Step(btr::kOpStepNext, &record), ++written) {
        WriteUnformattedRecord(out, record.data(), record.size());
    }
    if (status != btr::kStatusEndOfFile) {
        Fail(1, path + ": reading record " + std::to_string(written + 1) + " failed: status " + DescribeStatus(status));
    }
    EndUnformatted(out);
    if (!out.flush()) Fail(1, "cannot write " + savePath);
    std::cout << "Exported " << written << " records of " << path << " to " << savePath << std::endl;
}

}  // namespace tool
