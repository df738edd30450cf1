// tydb create FILE: a new data file with the keys given on the command line.
#include <filesystem>
#include <iostream>
#include <memory>

#include "commands.h"
#include "key_options.h"
#include "status_text.h"
#include "tydb.h"
#include "write_guard.h"

namespace tool {
namespace {

struct CreateOptions {
    std::string path;
    int recordLength = 0;
    int pageSize = 4096;
    bool variable = false;
    bool replace = false;
    bool force = false;
    std::vector<std::string> keys;
    std::string description;
};

void RunCreate(const CreateOptions& options) {
    if (!options.description.empty()) {
        CreateFromDescription(options.path, options.description, options.replace, options.force);
        return;
    }
    if (options.recordLength == 0) Fail(2, "--record-length or --description is required");
    BtrFileSpec spec = {};
    spec.recordLength = static_cast<int16_t>(options.recordLength);
    spec.pageSize = static_cast<int16_t>(options.pageSize);
    spec.keyCount = static_cast<uint8_t>(options.keys.size());
    if (options.variable) spec.fileFlags |= btr::kFileFlagVariableLength;

    std::vector<BtrKeySpec> segments;
    for (const std::string& text : options.keys) {
        std::vector<BtrKeySpec> key;
        std::string error;
        if (!ParseKey(text, &key, &error)) Fail(2, "--key " + text + ": " + error);
        segments.insert(segments.end(), key.begin(), key.end());
    }
    if (segments.size() > TYDB_MAX_KEY_SEGMENTS) {
        Fail(2, std::to_string(segments.size()) + " key segments; a file has room for " +
                    std::to_string(TYDB_MAX_KEY_SEGMENTS));
    }
    // The list ends with a segment whose position is 0.
    segments.push_back(BtrKeySpec{});

    CheckNoOtherComputersLock(options.path, options.force);
    // Replacing a file loses every record in it: only when asked. The record manager itself
    // refuses to replace a file that any process has open (status 85).
    std::error_code ignored;
    if (!options.replace && std::filesystem::exists(std::filesystem::u8path(options.path), ignored)) {
        Fail(1, options.path + " exists; --replace replaces it with an empty file, losing every record in it");
    }
    const int32_t status = DbCreateFile(options.path.c_str(), &spec, segments.data());
    if (status == btr::kStatusFileInUse) {
        Fail(1, "cannot replace " + options.path + ": a process has it open (status " + DescribeStatus(status) +
                    "); close it there first");
    }
    if (status != 0) Fail(1, "cannot create " + options.path + ": status " + DescribeStatus(status));
    std::cout << "Created " << options.path << ": record length " << options.recordLength
              << (options.variable ? " (variable)" : "") << ", page size " << options.pageSize << ", "
              << options.keys.size() << (options.keys.size() == 1 ? " key" : " keys") << ", " << segments.size() - 1
              << (segments.size() == 2 ? " segment" : " segments") << std::endl;
}

}  // namespace

void AddCreateCommand(CLI::App& app) {
    auto options = std::make_shared<CreateOptions>();
    auto* command = app.add_subcommand("create", "Create a new, empty data file");
    command->add_option("FILE", options->path, "Path of the new file")->required();
    auto* length = command
                       ->add_option("--record-length", options->recordLength,
                                    "Record length in bytes (the fixed part, with --variable)")
                       ->check(CLI::Range(1, 32767));
    auto* page = command->add_option("--page-size", options->pageSize, "Page size: 512 to 4096 in steps of 512")
                     ->check(CLI::Range(512, 4096));
    auto* variable = command->add_flag("--variable", options->variable, "Records may be longer than the record length");
    command->add_flag("--replace", options->replace,
                      "Replace an existing file, losing every record in it (refused while any process has it open)");
    AddForceFlag(command, &options->force);
    auto* keys = command->add_option("--key", options->keys,
                                     "A key: POS:LEN[:FLAGS][,POS:LEN[:FLAGS]...], flags dup, mod, bin, null, desc, "
                                     "upper, nocase, type=NAME (string, integer, zstring, ...); repeat for more keys");
    command
        ->add_option("--description", options->description,
                     "Take the whole definition from a description file (as tydb stat --description "
                     "writes it, or the original record manager's maintenance utility)")
        ->excludes(length)
        ->excludes(page)
        ->excludes(variable)
        ->excludes(keys);
    command->footer(
        "Example:\n"
        "  tydb create CUST.DAT --record-length 58 --key 1:4:type=integer --key 5:30:dup:upper\n"
        "makes key 0 a unique 4-byte integer at position 1 and key 1 a 30-byte name at position 5,\n"
        "duplicates allowed, compared without regard to case (the UPPER collating sequence).\n"
        "Positions count from 1; segments of one key are joined by commas: --key 5:4,9:8:dup");
    command->callback([options] { RunCreate(*options); });
}

}  // namespace tool
