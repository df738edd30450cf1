// tydb import SOURCE.DAT DEST: a data file of the original record manager (5.x or 6.x page
// format) becomes a file of ours with the same definition and the same records. tydb import DIR
// --to DIR2 does so for every file of a folder, going on past a file that fails and listing
// every failure at the end; --dry-run reads and checks everything and writes nothing.
//
// The source is only read. It is read through once before anything is written, so a damaged
// or unsupported file is refused before DEST exists; then DEST is created with the source's
// definition (collating sequences included) and every live record is inserted in physical
// order, in transactions of kRecordsPerTransaction. A record the record manager refuses (a
// duplicate on a unique key, say) is reported with its reason and the import goes on.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>

#include "btr_file.h"
#include "commands.h"
#include "datafile.h"
#include "import_definition.h"
#include "platform.h"
#include "progress_bar.h"
#include "record_manager.h"
#include "status_text.h"
#include "w3btrv7_admin.h"
#include "write_guard.h"

namespace tool {
namespace {

// DEST is new and nobody else writes it: long transactions, whose commits write each changed
// page once, cost other processes nothing.
constexpr uint32_t kRecordsPerTransaction = 20000;
constexpr size_t kShownRefusals = 20;

struct ImportOptions {
    std::string source;
    std::string dest;
    std::string toFolder;
    bool dryRun = false;
    bool force = false;
    bool salvage = false;  // import what can be read from a damaged source, listing what cannot
};

// Why one file was not imported (or not wholly): the exit status it stands for and the words.
struct ImportRefusal {
    int exitCode;
    std::string message;
};

[[noreturn]] void Refuse(int exitCode, const std::string& message) { throw ImportRefusal{exitCode, message}; }

struct Tally {
    uint32_t read = 0;
    uint32_t inserted = 0;
    std::vector<std::string> refusals;
    std::vector<std::string> lost;  // what a salvaging import passed over
};

// The record manager's calls an import makes: BTRCALL, and W3bInsertAt to keep each record's
// original address as its position (null with a record manager that cannot).
struct RecordManagerCalls {
    BtrCallFunction btrcall = nullptr;
    W3bInsertAtFunction insertAt = nullptr;
};

std::unique_ptr<dfimport::Datafile> OpenSource(const std::string& path, bool salvage) {
    std::string error;
    std::unique_ptr<dfimport::ByteSource> source = dfimport::OpenFileSource(path, &error);
    if (!source) Refuse(2, error);
    std::unique_ptr<dfimport::Datafile> file = dfimport::Datafile::Open(std::move(source), &error);
    if (!file) Refuse(2, path + ": " + error);
    for (const std::string& warning : file->definition().warnings) {
        std::cerr << "tydb: " << path << ": warning: " << warning << std::endl;
    }
    // A first pass reads every record, so nothing is created from a file that is damaged further in
    // (salvaging: from one whose damage ends the walk).
    const auto passOver = [](const std::string&) {};
    if (!file->ForEachRecord([](const dfimport::Record&) { return true; }, &error,
                             salvage ? std::function<void(const std::string&)>(passOver) : nullptr)) {
        Refuse(2, path + ": " + error + (salvage ? " (--salvage cannot go past this)" : ""));
    }
    return file;
}

void CreateDestination(BtrFile& dest, const dfimport::Definition& definition, const ImportOptions& options) {
    std::vector<uint8_t> buffer;
    std::string error;
    if (!BuildCreateBuffer(definition, &buffer, &error)) Refuse(2, options.source + ": " + error);
    const int16_t created = dest.Create(buffer, options.force);
    if (created == btr::kStatusFileAlreadyExists) {
        Refuse(1, options.dest + " already exists (status " + DescribeStatus(created) + "); --force replaces it");
    }
    if (created != 0) Refuse(1, "cannot create " + options.dest + ": status " + DescribeStatus(created));
    const int16_t opened = dest.Open(btr::kOpenNormal);
    if (opened != 0) Refuse(1, "cannot open " + options.dest + ": status " + DescribeStatus(opened));
}

void InsertRecords(BtrFile& dest, const dfimport::Datafile& source, const ImportOptions& options,
                   W3bInsertAtFunction insertAt, Tally* tally) {
    ProgressBar progress(std::cout, platform::IsTerminal(1), "Importing", source.definition().recordCount);
    auto transaction = [&](uint16_t operation) {
        const int16_t status = dest.Transaction(operation);
        if (status != 0) Refuse(1, options.dest + ": transaction failed: status " + DescribeStatus(status));
    };
    std::string error;
    const bool walked = source.ForEachRecord(
        [&](const dfimport::Record& record) {
            if (!dest.inTransaction()) transaction(btr::kOpBeginTransaction);
            // The record keeps its address in the original file as its position.
            if (insertAt != nullptr) insertAt(record.address);
            const int16_t status = dest.Insert(record.bytes.data(), static_cast<uint32_t>(record.bytes.size()));
            if (status == 0) {
                ++tally->inserted;
            } else {
                std::ostringstream text;
                text << "record " << tally->read << " (address 0x" << std::hex << record.address << std::dec
                     << "): refused, status " << DescribeStatus(status);
                tally->refusals.push_back(text.str());
            }
            progress.Update(++tally->read);
            if (tally->read % kRecordsPerTransaction == 0) transaction(btr::kOpEndTransaction);
            return true;
        },
        &error,
        options.salvage
            ? std::function<void(const std::string&)>([tally](const std::string& what) { tally->lost.push_back(what); })
            : nullptr);
    progress.Finish();
    if (!walked) Refuse(2, options.source + ": " + error);
    if (dest.inTransaction()) transaction(btr::kOpEndTransaction);
}

// Reads and checks one source as an import would, and says what the import would do.
void CheckOnly(const ImportOptions& options) {
    const std::unique_ptr<dfimport::Datafile> source = OpenSource(options.source, options.salvage);
    std::vector<uint8_t> buffer;
    std::string error;
    if (!BuildCreateBuffer(source->definition(), &buffer, &error)) Refuse(2, options.source + ": " + error);
    std::error_code exists;
    if (std::filesystem::exists(options.dest, exists) && !options.force) {
        Refuse(1, options.dest + " already exists; --force would replace it");
    }
    std::cout << "Would import " << options.source << " (format " << source->definition().format << ") into "
              << options.dest << ": " << source->definition().recordCount << " records, "
              << source->definition().keys.size() << " keys" << std::endl;
}

void ImportOne(const ImportOptions& options, const RecordManagerCalls& calls) {
    if (options.dest.size() >= static_cast<size_t>(btr::kMaxPathLength)) Refuse(2, options.dest + ": path too long");
    if (options.dryRun) return CheckOnly(options);
    const auto start = std::chrono::steady_clock::now();
    const std::unique_ptr<dfimport::Datafile> source = OpenSource(options.source, options.salvage);
    Tally tally;
    {
        BtrFile dest(calls.btrcall, options.dest);
        CreateDestination(dest, source->definition(), options);
        InsertRecords(dest, *source, options, calls.insertAt, &tally);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (size_t i = 0; i < tally.refusals.size() && i < kShownRefusals; ++i) std::cout << tally.refusals[i] << "\n";
    if (tally.refusals.size() > kShownRefusals) {
        std::cout << "... and " << tally.refusals.size() - kShownRefusals << " more refusals\n";
    }
    std::cout << "Imported " << options.source << " (format " << source->definition().format << ") into "
              << options.dest << ": " << tally.read << " records read, " << tally.inserted << " inserted, "
              << tally.refusals.size() << " refused, in " << std::fixed << std::setprecision(2) << seconds << " s"
              << (calls.insertAt != nullptr ? "; every record at its original position"
                                            : "; positions NOT kept: this record manager cannot place records")
              << std::endl;
    for (const std::string& what : tally.lost) std::cout << "passed over: " << what << "\n";
    if (!tally.lost.empty()) {
        std::cout << "Salvaged: " << tally.lost.size() << " damaged place" << (tally.lost.size() == 1 ? "" : "s")
                  << " of " << options.source << " passed over; check " << options.dest << " against what is missing"
                  << std::endl;
    }
    if (!tally.refusals.empty())
        Refuse(1, options.source + ": " + std::to_string(tally.refusals.size()) + " records refused");
    if (!tally.lost.empty()) Refuse(1, options.source + ": damaged; what could be read is in " + options.dest);
}

RecordManagerCalls LoadRecordManager(const ImportOptions& options, RecordManager& manager) {
    if (options.dryRun) return {};
    return {manager.RequireEntry(), reinterpret_cast<W3bInsertAtFunction>(manager.Symbol("W3bInsertAt"))};
}

void RunImport(const ImportOptions& options) {
    if (!options.toFolder.empty()) Fail(2, "--to is for a source folder; " + options.source + " is a file");
    if (options.dest.empty()) Fail(2, "name the new data file: tydb import SOURCE DEST");
    if (!options.dryRun) CheckNoOtherComputersLock(options.dest, options.force);
    RecordManager manager;
    const RecordManagerCalls calls = LoadRecordManager(options, manager);
    try {
        ImportOne(options, calls);
    } catch (const ImportRefusal& refusal) {
        Fail(refusal.exitCode, refusal.message);
    }
}

// Every plain file of `folder`, in name order.
std::vector<std::string> FilesOf(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.is_regular_file(error)) names.push_back(entry.path().filename().string());
    }
    if (error) Fail(2, "cannot list " + folder + ": " + error.message());
    std::sort(names.begin(), names.end());
    return names;
}

void RunFolderImport(const ImportOptions& options) {
    if (options.toFolder.empty() || !options.dest.empty()) {
        Fail(2, options.source + " is a folder: name the folder for the new files with --to DIR");
    }
    std::error_code error;
    if (!std::filesystem::is_directory(options.toFolder, error)) Fail(2, options.toFolder + " is no folder");
    if (!options.dryRun) CheckNoOtherComputersLock(options.toFolder + "/-", options.force);
    RecordManager manager;
    const RecordManagerCalls calls = LoadRecordManager(options, manager);
    std::vector<ImportRefusal> failures;
    const std::vector<std::string> names = FilesOf(options.source);
    for (const std::string& name : names) {
        ImportOptions one = options;
        one.source = options.source + "/" + name;
        one.dest = options.toFolder + "/" + name;
        one.toFolder.clear();
        try {
            ImportOne(one, calls);
        } catch (const ImportRefusal& refusal) {
            std::cerr << "tydb: " << refusal.message << std::endl;
            failures.push_back(refusal);
        }
    }
    std::cout << (options.dryRun ? "Checked " : "Imported ") << names.size() - failures.size() << " of " << names.size()
              << " files of " << options.source << (failures.empty() ? "" : "; failed:") << std::endl;
    int exitCode = 0;
    for (const ImportRefusal& failure : failures) {
        std::cout << "  " << failure.message << std::endl;
        exitCode = std::max(exitCode, failure.exitCode);
    }
    if (exitCode != 0) throw CLI::RuntimeError(exitCode);
}

}  // namespace

void AddImportCommand(CLI::App& app) {
    auto options = std::make_shared<ImportOptions>();
    auto* command = app.add_subcommand(
        "import", "Copy a data file of the original record manager (5.x or 6.x format) into a new data file");
    command
        ->add_option("SOURCE", options->source,
                     "The original data file, or a folder of them (only read, never changed)")
        ->required();
    command->add_option("DEST", options->dest, "The data file to create with the same definition and records");
    command->add_option("--to", options->toFolder,
                        "With a source folder: the folder for the new files, of the same names");
    command->add_flag("--dry-run", options->dryRun,
                      "Read and check every source and say what would be done; write nothing");
    command->add_flag("--salvage", options->salvage,
                      "Import what can be read from a damaged source: damaged data pages and records whose variable "
                      "part is damaged are passed over and listed (exit status 1)");
    AddForceFlag(command, &options->force, "Replace DEST if it exists");
    command->footer(
        "The source is read through once first: a damaged file, or one of a later family (7.x and up),\n"
        "compressed, key-only or enciphered under an owner name, is refused (exit status 2) before DEST\n"
        "is made; --salvage imports what can still be read from a damaged file and lists what it passed\n"
        "over. Records are inserted in physical order, 1000 to a transaction; each record the record\n"
        "manager refuses is listed with its status (exit status 1). A source folder goes on past a file\n"
        "that fails and lists every failure at the end.");
    command->callback([options] {
        std::error_code error;
        if (std::filesystem::is_directory(options->source, error)) return RunFolderImport(*options);
        RunImport(*options);
    });
}

}  // namespace tool
