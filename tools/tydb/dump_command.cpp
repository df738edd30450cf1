// tydb dump FILE: the records of a data file in the order of one key (or in physical order),
// as text, hex or CSV.
#include <algorithm>
#include <cstring>
#include <iostream>
#include <memory>

#include "commands.h"
#include "dump_filter.h"
#include "file_layout.h"
#include "status_text.h"
#include "tydb.h"

namespace tool {
namespace {

struct DumpOptions {
    std::string path;
    int key = 0;
    std::string from;
    bool fromGiven = false;
    long limit = 0;
    std::string format = "text";
    std::vector<std::string> where;
    bool any = false;
    std::string fields;
};

constexpr int16_t kOpenReadOnly = 0x0200;
constexpr int16_t kModeGetPosition = 23;
constexpr int kKeyBufferSize = 256;
constexpr int kLongestRecord = 65535;
// The extended reads return their records in one data buffer, whose length is 16 bits signed.
constexpr size_t kExtendedBuffer = 32000;
constexpr size_t kRecordsPerExtendedRead = 100;

// Printable ASCII as it is, anything else as '.', trailing blanks and NULs dropped.
std::string AsText(const std::string& bytes) {
    std::string text;
    for (unsigned char c : bytes) text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.';
    const size_t end = bytes.find_last_not_of(std::string(" \0", 2));
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

std::string AsHex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

// A CSV field: printable ASCII as it is (quotes doubled), other bytes as \xHH, trailing blanks
// and NULs dropped, always quoted.
std::string AsCsvField(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    const size_t end = bytes.find_last_not_of(std::string(" \0", 2));
    const std::string trimmed = end == std::string::npos ? std::string() : bytes.substr(0, end + 1);
    std::string field = "\"";
    for (unsigned char c : trimmed) {
        if (c == '"') {
            field += "\"\"";
        } else if (c == '\\') {
            field += "\\\\";
        } else if (c >= 0x20 && c < 0x7F) {
            field += static_cast<char>(c);
        } else {
            field += "\\x";
            field += kDigits[c >> 4];
            field += kDigits[c & 15];
        }
    }
    return field + "\"";
}

const std::vector<BtrKeySpec>* FindKey(const FileLayout& layout, int number) {
    for (const auto& key : layout.keys) {
        if (KeyNumberOf(key) == number) return &key;
    }
    return nullptr;
}

// The key buffer of the first Get Greater or Equal: the text given, padded as the key's first
// segment pads (blanks for strings, NULs otherwise) to the key's length.
void FillStartKey(const std::vector<BtrKeySpec>& key, const std::string& from, char* buffer) {
    const BtrKeySpec& first = key.front();
    const bool blankPadded = (first.flags & btr::kKeyFlagExtendedType) == 0 ? (first.flags & btr::kKeyFlagBinary) == 0
                                                                            : first.extendedType == btr::kTypeString;
    const size_t length = std::min<size_t>(static_cast<size_t>(KeyLength(key)), kKeyBufferSize - 1);
    std::memset(buffer, blankPadded ? ' ' : '\0', length);
    std::memcpy(buffer, from.data(), std::min(from.size(), length));
}

class Dumper {
public:
    Dumper(const DumpOptions& options, int16_t handle, const FileLayout& layout)
        : options_(options), handle_(handle), layout_(layout), data_(kLongestRecord) {}

    void Run() {
        if (!options_.where.empty() || !options_.fields.empty()) return RunFiltered();
        const bool physical = options_.key < 0;
        const std::vector<BtrKeySpec>* key = physical ? nullptr : FindKey(layout_, options_.key);
        if (!physical && key == nullptr) Fail(2, options_.path + " has no key " + std::to_string(options_.key));
        if (physical && options_.fromGiven) Fail(2, "--from needs a key; physical order (--key -1) has none");
        if (!physical) DbOverRideDef(handle_, options_.key, -1);
        keyLength_ = physical ? 0 : KeyLength(*key);

        char keyBuffer[kKeyBufferSize] = {};
        int16_t operation = btr::kOpGetFirst;
        if (physical) {
            operation = btr::kOpStepFirst;
        } else if (options_.fromGiven) {
            FillStartKey(*key, options_.from, keyBuffer);
            operation = btr::kOpGetGreaterOrEqual;
        }
        const int16_t next = physical ? btr::kOpStepNext : btr::kOpGetNext;
        // Fixed-length records take the file's record length; variable ones the longest.
        const bool variable = (layout_.file.fileFlags & btr::kFileFlagVariableLength) != 0;
        const auto dataLength = static_cast<int16_t>(variable ? kLongestRecord : 0);

        if (options_.format == "csv") std::cout << "position,key,record\n";
        for (long count = 0; options_.limit <= 0 || count < options_.limit; ++count) {
            const int32_t status = DbRead(operation, handle_, keyBuffer, data_.data(), dataLength);
            if (status == btr::kStatusEndOfFile) break;
            if (status != 0) Fail(1, "reading " + options_.path + ": status " + DescribeStatus(status));
            const int length = DbGetLastDataLength(handle_) & 0xFFFF;
            Print(std::string(data_.data(), static_cast<size_t>(length)), std::string(keyBuffer, keyLength_));
            operation = next;
        }
        std::cout.flush();
    }

private:
    // --where and --fields: the record manager filters and extracts, many records a call.
    void RunFiltered() {
        std::vector<FilterCondition> conditions;
        std::vector<ExtractedField> fields;
        ParseFilter(&conditions, &fields);
        const size_t perRecord = 6 + ExtractedLength(fields);
        if (perRecord + 2 > kExtendedBuffer) Fail(2, "--fields asks for more bytes than one read can return");
        const auto records =
            static_cast<uint16_t>(std::min(kRecordsPerExtendedRead, (kExtendedBuffer - 2) / perRecord));
        const int16_t first = StartFiltered();
        if (first == btr::kStatusEndOfFile) return;
        const bool physical = options_.key < 0;
        const int16_t extended = physical ? btr::kOpStepNextExtended : btr::kOpGetNextExtended;
        if (options_.format == "csv") PrintCsvHeader(fields);
        long printed = 0;
        for (bool withCurrent = true;; withCurrent = false) {
            const std::string descriptor = BuildDescriptor(withCurrent, conditions, options_.any, records, fields);
            std::memcpy(data_.data(), descriptor.data(), descriptor.size());
            char keyBuffer[kKeyBufferSize] = {};
            const int32_t status = DbRead(extended, handle_, keyBuffer, data_.data(), kExtendedBuffer);
            if (status != 0 && status != btr::kStatusEndOfFile && status != btr::kStatusRejectCountReached) {
                Fail(1, "reading " + options_.path + ": status " + DescribeStatus(status));
            }
            if (!PrintExtracted(fields, &printed) || status == btr::kStatusEndOfFile) break;
        }
        std::cout.flush();
    }

    void ParseFilter(std::vector<FilterCondition>* conditions, std::vector<ExtractedField>* fields) {
        std::string error;
        for (const std::string& text : options_.where) {
            FilterCondition condition;
            if (!ParseCondition(text, &condition, &error)) Fail(2, "--where: " + error);
            conditions->push_back(condition);
        }
        if (options_.fields.empty()) {
            fields->emplace_back(static_cast<uint16_t>(layout_.file.recordLength), 0);
        } else if (!ParseFields(options_.fields, fields, &error)) {
            Fail(2, "--fields: " + error);
        }
    }

    static size_t ExtractedLength(const std::vector<ExtractedField>& fields) {
        size_t length = 0;
        for (const auto& field : fields) length += field.first;
        return length;
    }

    // Puts the file on the first record to examine: 9 when there is none.
    int16_t StartFiltered() {
        char keyBuffer[kKeyBufferSize] = {};
        int16_t operation = btr::kOpStepFirst;
        if (options_.key >= 0) {
            const std::vector<BtrKeySpec>* key = FindKey(layout_, options_.key);
            if (key == nullptr) Fail(2, options_.path + " has no key " + std::to_string(options_.key));
            DbOverRideDef(handle_, options_.key, -1);
            operation = btr::kOpGetFirst;
            if (options_.fromGiven) {
                FillStartKey(*key, options_.from, keyBuffer);
                operation = btr::kOpGetGreaterOrEqual;
            }
        } else if (options_.fromGiven) {
            Fail(2, "--from needs a key; physical order (--key -1) has none");
        }
        const int32_t status = DbRead(operation, handle_, keyBuffer, data_.data(), kLongestRecord);
        if (status == btr::kStatusEndOfFile) return btr::kStatusEndOfFile;
        if (status != 0) Fail(1, "reading " + options_.path + ": status " + DescribeStatus(status));
        return 0;
    }

    void PrintCsvHeader(const std::vector<ExtractedField>& fields) {
        std::cout << "position";
        for (const auto& [length, offset] : fields) std::cout << "," << offset + 1 << ":" << length;
        std::cout << "\n";
    }

    // Prints the records of one extended read; false once --limit is reached.
    bool PrintExtracted(const std::vector<ExtractedField>& fields, long* printed) {
        uint16_t count = 0;
        std::memcpy(&count, data_.data(), 2);
        size_t at = 2;
        for (uint16_t i = 0; i < count; ++i) {
            if (options_.limit > 0 && *printed >= options_.limit) return false;
            uint16_t length = 0;
            uint32_t position = 0;
            std::memcpy(&length, data_.data() + at, 2);
            std::memcpy(&position, data_.data() + at + 2, 4);
            const std::string bytes(data_.data() + at + 6, length);
            at += 6 + length;
            ++*printed;
            if (options_.format == "hex") {
                std::cout << AsHex(bytes) << "\n";
            } else if (options_.format == "csv") {
                std::cout << position;
                size_t from = 0;
                for (const auto& field : fields) {
                    std::cout << "," << AsCsvField(bytes.substr(from, field.first));
                    from += field.first;
                }
                std::cout << "\n";
            } else {
                std::cout << AsText(bytes) << "\n";
            }
        }
        return options_.limit <= 0 || *printed < options_.limit;
    }

    void Print(const std::string& record, const std::string& keyValue) {
        if (options_.format == "hex") {
            std::cout << AsHex(record) << "\n";
        } else if (options_.format == "csv") {
            uint32_t position = 0;
            DbPosition(kModeGetPosition, handle_, &position);
            std::cout << position << "," << AsCsvField(keyValue) << "," << AsCsvField(record) << "\n";
        } else {
            std::cout << AsText(record) << "\n";
        }
    }

    const DumpOptions& options_;
    int16_t handle_;
    const FileLayout& layout_;
    std::vector<char> data_;
    size_t keyLength_ = 0;
};

void RunDump(const DumpOptions& options) {
    int16_t handle = 0;
    const int32_t opened = DbOpen(&handle, options.path.c_str(), kOpenReadOnly, 0);
    if (opened != 0) Fail(1, "cannot open " + options.path + ": status " + DescribeStatus(opened));
    FileLayout layout;
    const int32_t status = ReadFileLayout(handle, &layout);
    if (status != 0) {
        DbClose(handle);
        Fail(1, "cannot read the statistics of " + options.path + ": status " + DescribeStatus(status));
    }
    try {
        Dumper(options, handle, layout).Run();
    } catch (...) {
        DbClose(handle);
        throw;
    }
    DbClose(handle);
}

}  // namespace

void AddDumpCommand(CLI::App& app) {
    auto options = std::make_shared<DumpOptions>();
    auto* command = app.add_subcommand("dump", "List a data file's records in the order of a key");
    command->add_option("FILE", options->path, "Path of the data file")->required();
    command->add_option("--key", options->key, "Key number to read along; -1 for physical order")
        ->check(CLI::Range(-1, 118));
    command->add_option("--from", options->from, "Start at the first record whose key is at least this text")
        ->each([options](const std::string&) { options->fromGiven = true; });
    command->add_option("--limit", options->limit, "List at most this many records (0: all)")
        ->check(CLI::NonNegativeNumber);
    command->add_option("--format", options->format, "Output: text, hex or csv")
        ->check(CLI::IsMember({"text", "hex", "csv"}));
    command->add_option("--where", options->where,
                        "Only records where FIELD OP VALUE holds, FIELD as POS:LEN[:type=NAME][:nocase]; "
                        "repeat for more conditions, all of which must hold");
    command->add_flag("--any", options->any, "With several --where: any one of them suffices");
    command->add_option("--fields", options->fields, "Show only these fields: POS:LEN[,POS:LEN...]");
    command->footer(
        "Example: tydb dump CUST.DAT --key 1 --from Fis --limit 10\n"
        "         tydb dump CUST.DAT --where '25:4:type=integer >= 1000' --fields 1:8,25:4 --format csv\n"
        "Records are shown whole; to see them field by field, use tydb export with a layout file.");
    command->callback([options] { RunDump(*options); });
}

}  // namespace tool
