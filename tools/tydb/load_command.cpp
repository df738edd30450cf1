// tydb load FILE SOURCE.csv --layout LAYOUT: inserts the rows of a CSV file as records.
//
// The CSV's first row names the columns, each a field of the layout; a field the CSV leaves out
// is blank (strings) or zero. Every row is checked against the layout before it is sent, and
// each row is one Insert (many to a transaction), so a row is stored whole or not at all. Every
// rejected row is reported with its line and reason (a long value shown by its beginning and its
// length), and the load goes on with the next one.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <vector>

#include "commands.h"
#include "csv.h"
#include "file_layout.h"
#include "platform.h"
#include "progress_bar.h"
#include "quoted_value.h"
#include "record_layout.h"
#include "record_manager.h"
#include "status_text.h"
#include "tydb.h"
#include "write_guard.h"

namespace tool {
namespace {

struct LoadOptions {
    std::string path;
    std::string source;
    std::string layoutPath;
    bool unformatted = false;
    bool force = false;
    char delimiter = ',';
    int codePage = 0;           // --encoding
    bool update = false;        // a row whose key 0 value is there replaces that record
    bool skipExisting = false;  // a row already there as it is, is passed over
};

// What became of the rows.
struct LoadTally {
    long loaded = 0, updated = 0, skipped = 0, rejected = 0;
};

constexpr int16_t kOpenNormal = 0;
constexpr int kKeyBufferSize = 256;
constexpr int kLongestRecord = 65535;

struct Columns {
    std::vector<int> fieldOfColumn;  // layout field index per CSV column
    std::vector<bool> given;         // per layout field: does the CSV have a column for it
};

Columns MapHeader(const CsvRow& header, const RecordLayout& layout, const std::string& source) {
    if (!header.error.empty()) Fail(2, source + ", line " + std::to_string(header.line) + ": " + header.error);
    Columns columns;
    columns.given.assign(layout.fields.size(), false);
    for (const std::string& name : header.fields) {
        const int field = layout.Find(name);
        if (field < 0) {
            Fail(2, source + ", line " + std::to_string(header.line) + ": column " + QuotedValue(name) +
                        " is not a field of the layout");
        }
        if (columns.given[static_cast<size_t>(field)]) {
            Fail(2,
                 source + ", line " + std::to_string(header.line) + ": column " + QuotedValue(name) + " appears twice");
        }
        columns.given[static_cast<size_t>(field)] = true;
        columns.fieldOfColumn.push_back(field);
    }
    return columns;
}

// The record for one row, or false with the reason.
bool BuildRecord(const CsvRow& row, const RecordLayout& layout, const Columns& columns, size_t recordLength,
                 std::vector<uint8_t>* record, std::string* reason) {
    if (!row.error.empty()) {
        *reason = row.error;
        return false;
    }
    if (row.fields.size() != columns.fieldOfColumn.size()) {
        *reason = std::to_string(row.fields.size()) + " fields where the header has " +
                  std::to_string(columns.fieldOfColumn.size());
        return false;
    }
    record->assign(recordLength, 0);
    for (size_t i = 0; i < layout.fields.size(); ++i) {
        if (!columns.given[i]) ClearField(layout.fields[i], record->data());
    }
    std::string rest;
    const LayoutField* restField = nullptr;
    for (size_t column = 0; column < row.fields.size(); ++column) {
        const LayoutField& field = layout.fields[static_cast<size_t>(columns.fieldOfColumn[column])];
        std::string error;
        const bool encoded = field.rest ? EncodeRest(field, row.fields[column], &rest, &error)
                                        : EncodeField(field, row.fields[column], record->data(), &error);
        if (!encoded) {
            *reason = "field \"" + field.name + "\": " + error;
            return false;
        }
        if (field.rest) restField = &field;
    }
    // The rest of the record follows its fixed fields, however long; the record is never
    // shorter than its fixed part.
    if (restField != nullptr) {
        record->resize(static_cast<size_t>(restField->offset));
        record->insert(record->end(), rest.begin(), rest.end());
        if (record->size() < recordLength) record->resize(recordLength, 0);
    }
    if (record->size() > static_cast<size_t>(kLongestRecord)) {
        *reason = "the record would be " + std::to_string(record->size()) + " bytes; a record holds at most " +
                  std::to_string(kLongestRecord);
        return false;
    }
    return true;
}

bool HasUniqueKeyZero(const FileLayout& file) {
    return !file.keys.empty() && KeyNumberOf(file.keys.front()) == 0 &&
           (file.keys.front().front().flags & btr::kKeyFlagDuplicates) == 0;
}

// A row whose insert met its key 0 value already there (status 5): with --update the record
// there takes the row's bytes; with --skip-existing a record with exactly the row's bytes means
// the row was loaded before. 0 when so, else the status that rejects the row.
int32_t ResolveExisting(const LoadOptions& options, int16_t handle, const std::vector<BtrKeySpec>& keyZero,
                        std::vector<uint8_t>& record, LoadTally* tally) {
    char key[kKeyBufferSize] = {};
    size_t at = 0;
    for (const BtrKeySpec& segment : keyZero) {
        std::memcpy(key + at, record.data() + segment.position - 1, static_cast<size_t>(segment.length));
        at += static_cast<size_t>(segment.length);
    }
    // Room for the longest record: the one there may have a longer variable part than the row.
    std::vector<uint8_t> present(kLongestRecord);
    const int32_t found = DbRead(btr::kOpGetEqual, handle, key, present.data(), static_cast<int16_t>(present.size()));
    // Another key without duplicates refused the row: it is no row of key 0's.
    if (found == btr::kStatusKeyNotFound) return btr::kStatusDuplicateKey;
    if (found != 0) return found;
    if (options.skipExisting) {
        present.resize(static_cast<size_t>(DbGetLastDataLength(handle) & 0xFFFF));
        if (present != record) return btr::kStatusDuplicateKey;
        ++tally->skipped;
        return 0;
    }
    const int32_t updated = DbModify(btr::kOpUpdate, handle, key, record.data(), static_cast<int16_t>(record.size()));
    if (updated == 0) ++tally->updated;
    return updated;
}

// Rows go in transactions of the record manager: one commit (and its writes) for many rows
// instead of each. A transaction ends after 20,000 rows or a fifth of a second, whichever comes
// first, so that a load into live data holds other writers back only for a moment. Concurrent,
// so that other processes go on reading; a refused row leaves the rest of its transaction as it
// is. The library's inserts join it: they reach the same record manager from the same process.
class Batches {
public:
    Batches(const RecordManager& manager, const std::string& path) : call_(manager.RequireEntry()), path_(path) {}
    ~Batches() {
        if (open_) Call(btr::kOpAbortTransaction);
    }
    Batches(const Batches&) = delete;
    Batches& operator=(const Batches&) = delete;

    void BeforeRow() {
        if (open_) return;
        Require(btr::kOpBeginTransaction + btr::kBiasConcurrentTransaction);
        open_ = true;
        rows_ = 0;
        begun_ = std::chrono::steady_clock::now();
    }
    void AfterRow() {
        if (++rows_ >= kMostRows || std::chrono::steady_clock::now() - begun_ >= kLongest) Finish();
    }
    void Finish() {
        if (open_) Require(btr::kOpEndTransaction);
        open_ = false;
    }

private:
    static constexpr uint64_t kMostRows = 20000;
    static constexpr std::chrono::milliseconds kLongest{200};

    int16_t Call(uint16_t operation) {
        uint8_t block[btr::kPositionBlockSize] = {};
        uint32_t length = 0;
        return call_(operation, block, nullptr, &length, nullptr, 0, 0);
    }
    void Require(uint16_t operation) {
        const int16_t status = Call(operation);
        if (status == 0) return;
        open_ = false;
        Fail(1,
             path_ + ": transaction failed: status " + DescribeStatus(status) + "; rows of earlier transactions stay");
    }

    BtrCallFunction call_;
    std::string path_;
    bool open_ = false;
    uint64_t rows_ = 0;
    std::chrono::steady_clock::time_point begun_;
};

// The CSV text; "-" reads standard input.
std::string ReadSource(const std::string& source) {
    std::ostringstream text;
    if (source == "-") {
        text << std::cin.rdbuf();
        return text.str();
    }
    std::ifstream in(source, std::ios::binary);
    if (!in) Fail(2, "cannot read " + source);
    text << in.rdbuf();
    return text.str();
}

void RunLoad(const LoadOptions& options) {
    if (options.unformatted) {
        LoadUnformatted(options.path, options.source, options.force);
        return;
    }
    if (options.layoutPath.empty()) Fail(2, "--layout is required (or --unformatted for a save file)");
    RecordLayout layout;
    std::string error;
    if (!ReadLayoutFile(options.layoutPath, &layout, &error)) Fail(2, error);
    layout.SetCodePage(options.codePage);
    const std::string text = ReadSource(options.source);
    CsvReader reader(text, options.delimiter);
    CsvRow header;
    if (!reader.Next(&header)) Fail(2, options.source + " has no header row naming the columns");

    CheckNoOtherComputersLock(options.path, options.force);
    int16_t handle = 0;
    const int32_t opened = DbOpen(&handle, options.path.c_str(), kOpenNormal, 0);
    if (opened != 0) Fail(1, "cannot open " + options.path + ": status " + DescribeStatus(opened));
    FileLayout file;
    const int32_t stat = ReadFileLayout(handle, &file);
    const int recordLength = file.file.recordLength;
    if (stat != 0 || layout.End() > recordLength) {
        DbClose(handle);
        if (stat != 0) Fail(1, "cannot read the statistics of " + options.path + ": status " + DescribeStatus(stat));
        Fail(2, "the layout reaches byte " + std::to_string(layout.End()) + "; records of " + options.path + " have " +
                    std::to_string(recordLength));
    }

    Columns columns;
    try {
        if ((options.update || options.skipExisting) && !HasUniqueKeyZero(file)) {
            Fail(2, std::string(options.update ? "--update" : "--skip-existing") +
                        " finds rows by key 0, which must be a key without duplicates");
        }
        DbOverRideDef(handle, 0, -1);
        columns = MapHeader(header, layout, options.source);
    } catch (...) {
        DbClose(handle);
        throw;
    }

    std::vector<uint8_t> record(static_cast<size_t>(recordLength));
    LoadTally tally;
    RecordManager manager;
    Batches batches(manager, options.path);
    // Rows are read one at a time; the line ends after the header count them for the bar (a
    // quoted line break makes the count a little high, and the bar ends early).
    const auto lines = std::count(text.begin() + static_cast<std::ptrdiff_t>(reader.Offset()), text.end(), '\n');
    ProgressBar progress(std::cout, platform::IsTerminal(1), "Loading", static_cast<int64_t>(lines));
    CsvRow row;
    for (int64_t done = 1; reader.Next(&row); ++done, batches.AfterRow()) {
        progress.Update(done);
        batches.BeforeRow();
        std::string reason;
        if (BuildRecord(row, layout, columns, static_cast<size_t>(recordLength), &record, &reason)) {
            char keyBuffer[kKeyBufferSize] = {};
            // Lengths up to 65535 pass as the library's 16 bits.
            int32_t status =
                DbModify(btr::kOpInsert, handle, keyBuffer, record.data(), static_cast<int16_t>(record.size()));
            if (status == 0) {
                ++tally.loaded;
                continue;
            }
            if (status == btr::kStatusDuplicateKey && (options.update || options.skipExisting)) {
                status = ResolveExisting(options, handle, file.keys.front(), record, &tally);
                if (status == 0) continue;
            }
            reason = "status " + DescribeStatus(status);
        }
        ++tally.rejected;
        progress.Finish();
        std::cerr << options.source << ", line " << row.line << ": rejected, " << reason << "\n";
    }
    batches.Finish();
    progress.Finish();
    DbClose(handle);
    std::cout << "Loaded " << tally.loaded << (tally.loaded == 1 ? " record" : " records") << " into " << options.path;
    if (options.update) std::cout << "; updated " << tally.updated;
    if (options.skipExisting) std::cout << "; skipped " << tally.skipped << " already there";
    if (tally.rejected > 0) std::cout << "; rejected " << tally.rejected << (tally.rejected == 1 ? " row" : " rows");
    std::cout << std::endl;
    if (tally.rejected > 0) throw CLI::RuntimeError(1);
}

}  // namespace

void AddEncodingOption(CLI::App* command, int* codePage) {
    auto* option = command->add_option_function<std::string>(
        "--encoding",
        [codePage](const std::string& text) {
            std::string digits = text;
            for (char& c : digits) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            for (const std::string prefix : {"windows-", "cp", "ibm"}) {
                if (digits.rfind(prefix, 0) == 0) {
                    digits = digits.substr(prefix.size());
                    break;
                }
            }
            int number = 0;
            const auto [end, failed] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
            if (digits.empty() || failed != std::errc() || end != digits.data() + digits.size() ||
                !platform::CodePageKnown(number)) {
                throw CLI::ValidationError("--encoding", "not a Windows code page this computer converts: " + text);
            }
            *codePage = number;
        },
        "The Windows code page the records keep their text in (1252, 850, ...): the CSV's UTF-8 "
        "is converted to it and back, and a character it does not have is refused, never replaced");
    option->option_text("CODEPAGE");
    // A save file's records are copied byte for byte.
    if (command->get_option_no_throw("--unformatted") != nullptr) option->excludes("--unformatted");
}

void AddDelimiterOption(CLI::App* command, char* delimiter) {
    command
        ->add_option_function<std::string>(
            "--delimiter",
            [delimiter](const std::string& text) {
                if (!ParseDelimiter(text, delimiter)) {
                    throw CLI::ValidationError("--delimiter",
                                               "one character other than a quote or a line break, or tab");
                }
            },
            "The CSV's field delimiter instead of the comma: one character (such as ';'), or tab")
        ->option_text("C");
}

void AddLoadCommand(CLI::App& app) {
    auto options = std::make_shared<LoadOptions>();
    auto* command = app.add_subcommand(
        "load", "Insert the rows of a CSV file into a data file, one record a row, through a record layout");
    command->add_option("FILE", options->path, "Path of the data file (it must exist: see tydb create)")->required();
    command
        ->add_option("SOURCE", options->source,
                     "CSV file whose first row names the columns (layout fields), - for standard input; or with "
                     "--unformatted a save file")
        ->required();
    auto* layout =
        command->add_option("--layout", options->layoutPath,
                            std::string("Layout file: one field a line, NAME OFFSET LENGTH TYPE (offset from "
                                        "0; types ") +
                                LayoutTypeList() + ")");
    auto* unformatted =
        command->add_flag("--unformatted", options->unformatted,
                          "SOURCE is an unformatted save file (the original maintenance utility's, or tydb export "
                          "--unformatted): each record's length, a comma, its bytes, CR LF; Ctrl-Z at the end");
    unformatted->excludes(layout);
    AddDelimiterOption(command, &options->delimiter);
    AddEncodingOption(command, &options->codePage);
    auto* update = command
                       ->add_flag("--update", options->update,
                                  "A row whose key 0 value is already in the file replaces that record")
                       ->excludes(unformatted);
    command
        ->add_flag("--skip-existing", options->skipExisting,
                   "Pass over a row already in the file exactly as it is (to go on with an interrupted load)")
        ->excludes(update)
        ->excludes(unformatted);
    AddForceFlag(command, &options->force);
    command->footer(
        "Each row is one Insert: it is stored whole or not at all, many rows to a transaction. Every\n"
        "rejected row is listed on standard error with its line and the reason (a value that does not\n"
        "fit its field, or the record manager's status, such as 5 for a duplicate key value); the exit\n"
        "status is then 1. The summary goes to standard output.");
    command->callback([options] { RunLoad(*options); });
}

}  // namespace tool
