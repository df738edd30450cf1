#include "index_log_reader.h"
#include "tydb_files.h"

#include <sstream>

namespace tool {
namespace {

constexpr const char* kActions[][2] = {
    {TYDB_LOG_BUILDING_NEW_KEY, "build"},
    {TYDB_LOG_ACTIVATING_EXISTING_KEY, "activate"},
    {TYDB_LOG_DEACTIVATING_EXISTING_KEY, "deactivate"},
    {TYDB_LOG_PURGING_EXISTING_KEY, "purge"},
};

// "  File Name............: X" into ("File Name", "X"); false for any other line.
bool ParseFieldLine(const std::string& line, std::string* label, std::string* value) {
    if (line.size() < 3 || line[0] != ' ' || line[1] != ' ') return false;
    const size_t colon = line.find(": ");
    const size_t dots = line.find("..");
    if (colon == std::string::npos || dots == std::string::npos || dots > colon) return false;
    *label = line.substr(2, dots - 2);
    *value = line.substr(colon + 2);
    return !label->empty();
}

}  // namespace

std::string IndexLogEntry::Field(const std::string& label) const {
    for (const auto& [name, value] : fields) {
        if (name == label) return value;
    }
    return std::string();
}

std::string IndexLogPathInDirectory(const std::string& directory) {
    const bool needsSeparator = directory.empty() || (directory.back() != '\\' && directory.back() != '/');
    return directory + (needsSeparator ? "\\" : "") + TYDB_LOG_FILE_NAME;
}

IndexLog ParseIndexLog(const std::string& text) {
    IndexLog log;
    std::istringstream in(text);
    std::string line;
    IndexLogEntry* current = nullptr;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) {
            current = nullptr;
            continue;
        }
        std::string label, value;
        if (ParseFieldLine(line, &label, &value)) {
            if (current != nullptr) {
                current->fields.emplace_back(label, value);
            } else {
                ++log.unreadableLines;
            }
            continue;
        }
        if (line[0] == ' ') {
            ++log.unreadableLines;
            continue;
        }
        log.entries.push_back(IndexLogEntry{number, line, {}});
        current = &log.entries.back();
    }
    return log;
}

std::string ActionWord(const std::string& action) {
    for (const auto& names : kActions) {
        if (action == names[0]) return names[1];
    }
    return std::string();
}

}  // namespace tool
