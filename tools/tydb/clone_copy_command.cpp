// tydb clone SOURCE NEW: an empty data file with SOURCE's definition (record length, page size,
// flags, every key and segment, collating sequences). tydb copy SOURCE DEST: every record of
// SOURCE, fixed and variable parts, inserted into the existing DEST, each refusal reported.
//
// Both read SOURCE through the record manager's own Stat and Step (the library's exports give
// one collating sequence and a bounded record), SOURCE opened read-only.
#include <cstring>
#include <iostream>
#include <memory>

#include "btr_file.h"
#include "commands.h"
#include "record_manager.h"
#include "status_text.h"
#include "write_guard.h"

namespace tool {
namespace {

constexpr uint32_t kRecordsPerTransaction = 1000;
constexpr size_t kShownRefusals = 20;

struct CopyOptions {
    std::string source;
    std::string dest;
    bool force = false;
};

void OpenSource(BtrFile& source, const std::string& path) {
    const int16_t opened = source.Open(btr::kOpenReadOnly);
    if (opened != 0) Fail(1, "cannot open " + path + ": status " + DescribeStatus(opened));
}

// SOURCE's Stat reply turned into a Create buffer: the counts Stat fills are zeroed, and keys
// numbered with gaps (one dropped) keep their numbers.
std::vector<uint8_t> CreateBufferOf(std::vector<uint8_t> reply) {
    BtrFileSpec file;
    std::memcpy(&file, reply.data(), sizeof file);
    file.fileVersion = 0;
    file.recordCount = 0;
    file.allocation = 0;
    // The segments, key by key; the collating sequences after them stay as they are.
    bool gaps = false;
    size_t at = sizeof file;
    for (int key = 0; key < file.keyCount; ++key) {
        BtrKeySpec segment{};
        do {
            if (at + sizeof segment > reply.size()) Fail(1, "the definition read is cut short");
            std::memcpy(&segment, reply.data() + at, sizeof segment);
            segment.uniqueCount = 0;
            std::memcpy(reply.data() + at, &segment, sizeof segment);
            at += sizeof segment;
        } while ((segment.flags & btr::kKeyFlagSegmented) != 0);
        gaps = gaps || segment.keyNumber != key;
    }
    if (gaps) file.fileFlags |= btr::kFileFlagSpecifyKeyNumbers;
    std::memcpy(reply.data(), &file, sizeof file);
    return reply;
}

void RunClone(const CopyOptions& options) {
    CheckNoOtherComputersLock(options.dest, options.force);
    RecordManager manager;
    BtrCallFunction btrcall = manager.RequireEntry();
    std::vector<uint8_t> reply;
    {
        BtrFile source(btrcall, options.source);
        OpenSource(source, options.source);
        const int16_t stat = source.Stat(&reply);
        if (stat != 0) Fail(1, "cannot read the definition of " + options.source + ": status " + DescribeStatus(stat));
    }
    std::vector<uint8_t> definition = CreateBufferOf(reply);
    const int16_t created = BtrFile(btrcall, options.dest).Create(definition, options.force);
    if (created == btr::kStatusFileAlreadyExists) Fail(1, options.dest + " already exists; --force replaces it");
    if (created != 0) Fail(1, "cannot create " + options.dest + ": status " + DescribeStatus(created));
    std::cout << "Created " << options.dest << " with the definition of " << options.source << std::endl;
}

struct CopyTally {
    uint64_t read = 0;
    uint64_t inserted = 0;
    std::vector<std::string> refusals;
};

void CopyRecords(BtrFile& source, BtrFile& dest, const CopyOptions& options, CopyTally* tally) {
    auto transaction = [&](uint16_t operation) {
        const int16_t status = dest.Transaction(operation);
        if (status != 0) Fail(1, options.dest + ": transaction failed: status " + DescribeStatus(status));
    };
    std::vector<uint8_t> record;
    int16_t status = source.Step(btr::kOpStepFirst, &record);
    for (; status == 0; status = source.Step(btr::kOpStepNext, &record)) {
        if (!dest.inTransaction()) transaction(btr::kOpBeginTransaction);
        const int16_t inserted = dest.Insert(record.data(), static_cast<uint32_t>(record.size()));
        if (inserted == 0) {
            ++tally->inserted;
        } else {
            tally->refusals.push_back("record " + std::to_string(tally->read) + ": refused, status " +
                                      DescribeStatus(inserted));
        }
        if (++tally->read % kRecordsPerTransaction == 0) transaction(btr::kOpEndTransaction);
    }
    if (dest.inTransaction()) transaction(btr::kOpEndTransaction);
    if (status != btr::kStatusEndOfFile) {
        Fail(1, options.source + ": reading record " + std::to_string(tally->read) + " failed: status " +
                    DescribeStatus(status) + "; " + std::to_string(tally->inserted) + " records were copied");
    }
}

void RunCopy(const CopyOptions& options) {
    CheckNoOtherComputersLock(options.dest, options.force);
    RecordManager manager;
    BtrCallFunction btrcall = manager.RequireEntry();
    CopyTally tally;
    {
        BtrFile source(btrcall, options.source);
        OpenSource(source, options.source);
        BtrFile dest(btrcall, options.dest);
        const int16_t opened = dest.Open(btr::kOpenNormal);
        if (opened != 0) Fail(1, "cannot open " + options.dest + ": status " + DescribeStatus(opened));
        CopyRecords(source, dest, options, &tally);
    }
    for (size_t i = 0; i < tally.refusals.size() && i < kShownRefusals; ++i) std::cout << tally.refusals[i] << "\n";
    if (tally.refusals.size() > kShownRefusals) {
        std::cout << "... and " << tally.refusals.size() - kShownRefusals << " more refusals\n";
    }
    std::cout << "Copied " << options.source << " into " << options.dest << ": " << tally.read << " records read, "
              << tally.inserted << " inserted, " << tally.refusals.size() << " refused" << std::endl;
    if (!tally.refusals.empty()) throw CLI::RuntimeError(1);
}

}  // namespace

void AddCloneCopyCommands(CLI::App& app) {
    auto clone = std::make_shared<CopyOptions>();
    auto* cloneCommand = app.add_subcommand("clone", "Make an empty data file with another file's definition");
    cloneCommand->add_option("SOURCE", clone->source, "The data file whose definition is copied")->required();
    cloneCommand->add_option("NEW", clone->dest, "The data file to create")->required();
    AddForceFlag(cloneCommand, &clone->force, "Replace NEW if it exists");
    cloneCommand->callback([clone] { RunClone(*clone); });

    auto copy = std::make_shared<CopyOptions>();
    auto* copyCommand = app.add_subcommand("copy", "Insert every record of a data file into another, existing one");
    copyCommand->add_option("SOURCE", copy->source, "The data file read (read-only)")->required();
    copyCommand->add_option("DEST", copy->dest, "The data file the records go into (same or compatible definition)")
        ->required();
    AddForceFlag(copyCommand, &copy->force);
    copyCommand->footer(
        "Records go in physical order, fixed and variable parts, 1000 to a transaction; each record the\n"
        "record manager refuses (a duplicate on a unique key, a length DEST does not take) is listed\n"
        "with its status and the copy goes on (exit status 1).");
    copyCommand->callback([copy] { RunCopy(*copy); });
}

}  // namespace tool
