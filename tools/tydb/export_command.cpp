// tydb export FILE --key N --layout LAYOUT: every record as a CSV row, in the order of one key.
//
// The first row names the layout's fields, so the output loads back with tydb load.
#include <iostream>
#include <memory>
#include <vector>

#include "commands.h"
#include "csv.h"
#include "file_layout.h"
#include "platform.h"
#include "progress_bar.h"
#include "record_layout.h"
#include "status_text.h"
#include "tydb.h"

namespace tool {
namespace {

// Fields holding no value of their type named one by one; the rest are counted.
constexpr long kListedInvalidFields = 20;

struct ExportOptions {
    std::string path;
    std::string layoutPath;
    int key = 0;
    std::string savePath;  // --unformatted
    char delimiter = ',';
    int codePage = 0;  // --encoding
};

constexpr int16_t kOpenReadOnly = 0x0200;
constexpr int kKeyBufferSize = 256;
constexpr int kLongestRecord = 65535;

bool HasKey(const FileLayout& file, int number) {
    for (const auto& key : file.keys) {
        if (KeyNumberOf(key) == number) return true;
    }
    return false;
}

void ExportRecords(const ExportOptions& options, int16_t handle, const FileLayout& file, const RecordLayout& layout) {
    const bool physical = options.key < 0;
    if (!physical && !HasKey(file, options.key)) Fail(2, options.path + " has no key " + std::to_string(options.key));
    if (!physical) DbOverRideDef(handle, options.key, -1);
    const bool variable = (file.file.fileFlags & btr::kFileFlagVariableLength) != 0;
    const auto dataLength = static_cast<int16_t>(variable ? kLongestRecord : 0);

    std::vector<std::string> names;
    for (const auto& field : layout.fields) names.push_back(field.name);
    std::cout << CsvLine(names, options.delimiter) << "\n";

    // The bar goes to standard error, and only when the rows themselves go elsewhere.
    ProgressBar progress(std::cerr, platform::IsTerminal(2) && !platform::IsTerminal(1), "Exporting",
                         file.file.recordCount);
    std::vector<uint8_t> data(kLongestRecord);
    char keyBuffer[kKeyBufferSize] = {};
    int16_t operation = physical ? btr::kOpStepFirst : btr::kOpGetFirst;
    const int16_t next = physical ? btr::kOpStepNext : btr::kOpGetNext;
    long count = 0, invalid = 0;
    for (;; operation = next) {
        const int32_t status = DbRead(operation, handle, keyBuffer, data.data(), dataLength);
        if (status == btr::kStatusEndOfFile) break;
        if (status != 0) {
            progress.Finish();
            std::cout.flush();
            Fail(1, "reading " + options.path + " after " + std::to_string(count) + " records: status " +
                        DescribeStatus(status));
        }
        const int length = DbGetLastDataLength(handle) & 0xFFFF;
        std::vector<std::string> row;
        for (const LayoutField& field : layout.fields) {
            // A variable-length record may end before a field; that field is empty.
            bool valid = true;
            if (field.rest) {
                row.push_back(DecodeRest(field, data.data(), static_cast<size_t>(length), &valid));
            } else {
                row.push_back(field.offset + field.length <= length ? DecodeField(field, data.data(), &valid)
                                                                    : std::string());
            }
            if (!valid && ++invalid <= kListedInvalidFields) {
                std::cerr << "record " << count + 1 << ": " << field.name << " holds no " << FieldTypeName(field)
                          << " value: " << row.back() << "\n";
            }
        }
        std::cout << CsvLine(row, options.delimiter) << "\n";
        progress.Update(++count);
    }
    progress.Finish();
    std::cout.flush();
    if (invalid > 0) {
        std::cerr << invalid << " field value" << (invalid == 1 ? "" : "s")
                  << " of no value of their type, exported as #invalid(their bytes in hex)" << std::endl;
    }
}

void RunExport(const ExportOptions& options) {
    if (!options.savePath.empty()) {
        ExportUnformatted(options.path, options.savePath);
        return;
    }
    if (options.layoutPath.empty()) Fail(2, "--layout is required (or --unformatted for a save file)");
    RecordLayout layout;
    std::string error;
    if (!ReadLayoutFile(options.layoutPath, &layout, &error)) Fail(2, error);
    layout.SetCodePage(options.codePage);
    int16_t handle = 0;
    const int32_t opened = DbOpen(&handle, options.path.c_str(), kOpenReadOnly, 0);
    if (opened != 0) Fail(1, "cannot open " + options.path + ": status " + DescribeStatus(opened));
    try {
        FileLayout file;
        const int32_t stat = ReadFileLayout(handle, &file);
        if (stat != 0) Fail(1, "cannot read the statistics of " + options.path + ": status " + DescribeStatus(stat));
        const bool variable = (file.file.fileFlags & btr::kFileFlagVariableLength) != 0;
        if (!variable && layout.End() > file.file.recordLength) {
            Fail(2, "the layout reaches byte " + std::to_string(layout.End()) + "; records of " + options.path +
                        " have " + std::to_string(file.file.recordLength));
        }
        ExportRecords(options, handle, file, layout);
    } catch (...) {
        DbClose(handle);
        throw;
    }
    DbClose(handle);
}

}  // namespace

void AddExportCommand(CLI::App& app) {
    auto options = std::make_shared<ExportOptions>();
    auto* command = app.add_subcommand(
        "export", "Write every record of a data file as CSV, in the order of a key, through a record layout");
    command->add_option("FILE", options->path, "Path of the data file")->required();
    auto* layout =
        command->add_option("--layout", options->layoutPath,
                            std::string("Layout file: one field a line, NAME OFFSET LENGTH TYPE (offset from "
                                        "0; types ") +
                                LayoutTypeList() + ")");
    auto* key =
        command->add_option("--key", options->key, "Key number to read along (default 0); -1 for physical order")
            ->check(CLI::Range(-1, 118));
    command
        ->add_option("--unformatted", options->savePath,
                     "Write every record in physical order, fixed and variable parts, to the unformatted save "
                     "file SAVE (tydb load --unformatted and the original maintenance utility read it)")
        ->option_text("SAVE")
        ->excludes(layout)
        ->excludes(key);
    AddDelimiterOption(command, &options->delimiter);
    AddEncodingOption(command, &options->codePage);
    command->footer("The first row names the fields; the output loads back with: tydb load FILE OUT.csv --layout ...");
    command->callback([options] { RunExport(*options); });
}

}  // namespace tool
