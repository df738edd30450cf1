// tydb log DIR: the index log of a data directory, one line an entry, filtered by data file and
// by action.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "commands.h"
#include "index_log_reader.h"
#include "platform.h"
#include "tydb_files.h"

namespace tool {
namespace {

struct LogOptions {
    std::string directory;
    std::string file;
    std::string action;
    bool json = false;
};

// The log's labels, the JSON names they get, and whether their values are numbers.
struct FieldName {
    const char* label;
    const char* json;
    bool number;
};

constexpr FieldName kFieldNames[] = {
    {"File Name", "fileName", false},
    {"Path Name", "pathName", false},
    {"Key Number", "keyNumber", true},
    {"Number of Segments", "segments", true},
    {"Key Length", "keyLength", true},
    {"Page Size", "pageSize", true},
    {"Record Size", "recordSize", true},
    {"Number of Records", "records", true},
    {"Active References", "activeReferences", true},
    {"Total References", "totalReferences", true},
    {"Total Used Segments", "usedSegments", true},
    {"Total Free Segments", "freeSegments", true},
    {"Start Time", "startTime", false},
    {"Stop Time", "stopTime", false},
};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool IsInteger(const std::string& text) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

bool Matches(const IndexLogEntry& entry, const LogOptions& options) {
    if (!options.file.empty() && Lower(entry.Field("File Name")) != Lower(options.file)) return false;
    if (!options.action.empty()) {
        const std::string wanted = Lower(options.action);
        if (wanted != ActionWord(entry.action) && wanted != Lower(entry.action)) return false;
    }
    return true;
}

std::string EntryJson(const IndexLogEntry& entry) {
    std::string out = "{\"line\":" + std::to_string(entry.line) + ",\"action\":" + JsonString(entry.action);
    for (const auto& [label, value] : entry.fields) {
        const auto known = std::find_if(std::begin(kFieldNames), std::end(kFieldNames),
                                        [&](const FieldName& name) { return label == name.label; });
        const std::string name = known != std::end(kFieldNames) ? known->json : label;
        const bool number = known != std::end(kFieldNames) && known->number && IsInteger(value);
        out += "," + JsonString(name) + ":" + (number ? value : JsonString(value));
    }
    return out + "}";
}

void PrintTable(const std::vector<const IndexLogEntry*>& entries) {
    char line[256];
    std::snprintf(line, sizeof line, "  %-24s  %-10s  %-15s %4s %5s %5s %7s %7s %9s\n", "Stop time", "Action", "File",
                  "Key", "Segs", "Len", "Active", "Total", "Records");
    std::cout << line;
    for (const IndexLogEntry* entry : entries) {
        const std::string word = ActionWord(entry->action);
        std::snprintf(line, sizeof line, "  %-24s  %-10s  %-15s %4s %5s %5s %7s %7s %9s\n",
                      entry->Field("Stop Time").c_str(), (word.empty() ? entry->action : word).c_str(),
                      entry->Field("File Name").c_str(), entry->Field("Key Number").c_str(),
                      entry->Field("Number of Segments").c_str(), entry->Field("Key Length").c_str(),
                      entry->Field("Active References").c_str(), entry->Field("Total References").c_str(),
                      entry->Field("Number of Records").c_str());
        std::cout << line;
    }
}

void RunLog(const LogOptions& options) {
    const std::string native = platform::NativePath(options.directory.c_str());
    std::error_code error;
    if (!std::filesystem::is_directory(native, error)) Fail(2, "no such directory: " + options.directory);
    const std::string path = platform::NativePath(IndexLogPathInDirectory(options.directory).c_str());

    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (in) text << in.rdbuf();
    const IndexLog log = ParseIndexLog(text.str());
    std::vector<const IndexLogEntry*> shown;
    for (const auto& entry : log.entries) {
        if (Matches(entry, options)) shown.push_back(&entry);
    }

    if (options.json) {
        std::string out = "{\"log\":" + JsonString(path) + ",\"present\":" + (in ? "true" : "false") +
                          ",\"unreadableLines\":" + std::to_string(log.unreadableLines) + ",\"entries\":[";
        for (size_t i = 0; i < shown.size(); ++i) out += (i ? "," : "") + EntryJson(*shown[i]);
        std::cout << out << "]}" << std::endl;
        return;
    }
    std::cout << "Index log: " << path << "\n";
    if (!in) {
        std::cout << "  Not there: nothing has been logged in this directory (is the setting \"Index Log\" on?)"
                  << std::endl;
        return;
    }
    const bool filtered = !options.file.empty() || !options.action.empty();
    std::cout << "  " << shown.size() << (shown.size() == 1 ? " entry" : " entries");
    if (filtered) std::cout << " of " << log.entries.size();
    std::cout << "\n";
    if (!shown.empty()) PrintTable(shown);
    if (log.unreadableLines > 0) {
        std::cout << "  " << log.unreadableLines << " line(s) could not be read as part of an entry\n";
    }
    std::cout.flush();
}

}  // namespace

void AddLogCommand(CLI::App& app) {
    auto options = std::make_shared<LogOptions>();
    auto* command = app.add_subcommand("log",
                                       "List the index log (tysupidx.log) of a data directory: which "
                                       "supplemental keys were built, activated, deactivated, purged");
    command->add_option("DIR", options->directory, "Data directory holding tysupidx.log")->required();
    command->add_option("--file", options->file, "Only entries of this data file (name and extension, any case)");
    command->add_option("--action", options->action, "Only entries of this action")
        ->transform(CLI::IsMember(
            {"build", "activate", "deactivate", "purge", TYDB_LOG_BUILDING_NEW_KEY, TYDB_LOG_ACTIVATING_EXISTING_KEY,
             TYDB_LOG_DEACTIVATING_EXISTING_KEY, TYDB_LOG_PURGING_EXISTING_KEY},
            CLI::ignore_case));
    command->add_flag("--json", options->json, "Print every field of the entries as JSON");
    command->footer(
        "The library writes the log while the setting \"Index Log\" is non-zero:\n"
        "  tydb settings set \"Index Log\" 1");
    command->callback([options] { RunLog(*options); });
}

}  // namespace tool
