// tydb index add FILE --key ... and tydb index drop FILE N: keys the application does not
// manage through the index registry, built over every record or dropped, through the record
// manager's own Create Index and Drop Index. A drop refuses a key the registry lists as in use.
#include <cstring>
#include <iostream>
#include <memory>
#include <set>

#include "btr_file.h"
#include "commands.h"
#include "key_options.h"
#include "record_manager.h"
#include "registry_reader.h"
#include "status_text.h"
#include "write_guard.h"

namespace tool {
namespace {

struct IndexOptions {
    std::string path;
    std::string key;
    int number = -1;
    bool renumber = false;
    bool force = false;
};

// The numbers of the file's keys, from its Stat reply.
std::set<int> KeyNumbers(BtrFile& file, const std::string& path) {
    std::vector<uint8_t> reply;
    const int16_t status = file.Stat(&reply);
    if (status != 0) Fail(1, "cannot read the keys of " + path + ": status " + DescribeStatus(status));
    BtrFileSpec spec;
    std::memcpy(&spec, reply.data(), sizeof spec);
    std::set<int> numbers;
    size_t at = sizeof spec;
    for (int key = 0; key < spec.keyCount && at + sizeof(BtrKeySpec) <= reply.size(); ++key) {
        BtrKeySpec segment;
        do {
            std::memcpy(&segment, reply.data() + at, sizeof segment);
            at += sizeof segment;
        } while ((segment.flags & btr::kKeyFlagSegmented) != 0 && at + sizeof segment <= reply.size());
        numbers.insert(segment.keyNumber);
    }
    return numbers;
}

void OpenForIndex(BtrFile& file, const IndexOptions& options) {
    const int16_t opened = file.Open(btr::kOpenNormal);
    if (opened != 0) Fail(1, "cannot open " + options.path + ": status " + DescribeStatus(opened));
}

void RunAdd(const IndexOptions& options) {
    std::vector<BtrKeySpec> segments;
    std::string error;
    if (!ParseKey(options.key, &segments, &error)) Fail(2, "--key " + options.key + ": " + error);
    if (options.number > 118) Fail(2, "--number " + std::to_string(options.number) + ": key numbers go from 0 to 118");
    CheckNoOtherComputersLock(options.path, options.force);
    RecordManager manager;
    BtrFile file(manager.RequireEntry(), options.path);
    OpenForIndex(file, options);
    const std::set<int> before = KeyNumbers(file, options.path);
    const int16_t status = file.CreateIndex(segments, options.number);
    if (status == btr::kStatusDuplicateKey) {
        Fail(1, "records of " + options.path + " share a value of the new key, which takes no duplicates (status " +
                    DescribeStatus(status) + "); add dup to the key to allow them");
    }
    if (status != 0) Fail(1, "cannot add the key to " + options.path + ": status " + DescribeStatus(status));
    for (int number : KeyNumbers(file, options.path)) {
        if (before.count(number) == 0) {
            std::cout << "Added key " << number << " to " << options.path << ", built over every record" << std::endl;
        }
    }
}

void RunDrop(const IndexOptions& options) {
    CheckNoOtherComputersLock(options.path, options.force);
    std::vector<RegistryEntry> entries;
    if (!options.force && ReadRegistry(RegistryPathForFile(options.path), &entries) == 0) {
        const RegistryEntry* entry = FindRegistryEntry(entries, FileNameOf(options.path), options.number);
        if (entry != nullptr && entry->active > 0) {
            Fail(1, "key " + std::to_string(options.number) + " of " + options.path +
                        " is in use: the registry counts " + std::to_string(entry->active) +
                        " active reference(s) (--force drops it anyway)");
        }
    }
    RecordManager manager;
    BtrFile file(manager.RequireEntry(), options.path);
    OpenForIndex(file, options);
    const int16_t status = file.DropIndex(options.number, options.renumber);
    if (status == btr::kStatusInvalidKeyNumber) {
        Fail(1, options.path + " has no key " + std::to_string(options.number) + " (status " + DescribeStatus(status) +
                    ")");
    }
    if (status != 0)
        Fail(1, "cannot drop key " + std::to_string(options.number) + ": status " + DescribeStatus(status));
    std::cout << "Dropped key " << options.number << " of " << options.path
              << (options.renumber ? "; the keys above it moved down one" : "; the other keys keep their numbers")
              << std::endl;
}

}  // namespace

void AddIndexCommand(CLI::App& app) {
    auto* index = app.add_subcommand("index", "Add or drop a key the application does not manage through the registry");
    index->require_subcommand(1);

    auto add = std::make_shared<IndexOptions>();
    auto* addCommand = index->add_subcommand("add", "Build a new key over every record of a data file");
    addCommand->add_option("FILE", add->path, "Path of the data file")->required();
    addCommand->add_option("--key", add->key, "The key: POS:LEN[:FLAGS][,...], as tydb create takes it")->required();
    addCommand->add_option("--number", add->number, "The key's number (else the lowest free one)");
    AddForceFlag(addCommand, &add->force);
    addCommand->callback([add] { RunAdd(*add); });

    auto drop = std::make_shared<IndexOptions>();
    auto* dropCommand = index->add_subcommand("drop", "Drop a key of a data file");
    dropCommand->add_option("FILE", drop->path, "Path of the data file")->required();
    dropCommand->add_option("N", drop->number, "The key's number")->required();
    dropCommand->add_flag("--renumber", drop->renumber,
                          "Move the keys above it down one (else they keep their numbers)");
    AddForceFlag(dropCommand, &drop->force, "Drop it even while the registry counts users of it");
    dropCommand->callback([drop] { RunDrop(*drop); });
}

}  // namespace tool
