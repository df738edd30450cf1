#include "store/server_folder.h"

#include <cctype>

#include "platform.h"

namespace w3b {

namespace {

constexpr size_t kMaxSettingsBytes = 64 * 1024;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

std::string Trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

// The schema name goes into statements as a quoted identifier; letters, digits and '_' only
// keep it from ever being anything else.
bool IsPlainIdentifier(const std::string& name) {
    if (name.empty() || name.size() > 63 || std::isdigit(static_cast<unsigned char>(name[0]))) return false;
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.size();
    while (slash > 0 && !IsSeparator(path[slash - 1])) --slash;
    return slash == 0 ? std::string(".") : path.substr(0, slash - 1 == 0 ? 1 : slash - 1);
}

bool ReadSmallFile(const std::string& path, std::string* text) {
    platform::File file;
    platform::FileOptions options;
    options.access = platform::FileAccess::kRead;
    if (platform::File::Open(path.c_str(), options, &file) != platform::FileStatus::kOk) return false;
    char buffer[4096];
    size_t got = 0;
    do {
        if (file.Read(buffer, sizeof buffer, &got) != platform::FileStatus::kOk) return false;
        text->append(buffer, got);
        if (text->size() > kMaxSettingsBytes) return false;
    } while (got > 0);
    return true;
}

}  // namespace

bool ParseServerFolder(const std::string& text, ServerFolder* folder, std::string* problem) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == '#') continue;
        size_t equals = line.find('=');
        if (equals == std::string::npos) {
            *problem = "a line without '=': " + line;
            return false;
        }
        std::string key = Trim(line.substr(0, equals));
        std::string value = Trim(line.substr(equals + 1));
        if (key == "connection") {
            folder->connection = value;
        } else if (key == "schema") {
            folder->schema = value;
        } else {
            *problem = "an unknown setting: " + key;
            return false;
        }
    }
    if (folder->connection.empty())
        *problem = "no connection setting";
    else if (!IsPlainIdentifier(folder->schema))
        *problem = "the schema must be letters, digits and '_'";
    return problem->empty();
}

FolderKind FindServerFolder(const std::string& path, ServerFolder* folder, std::string* problem) {
    std::string settings = FolderOf(path);
    if (settings.empty() || !IsSeparator(settings.back())) settings += '/';
    settings += kServerFolderFileName;
    if (!platform::FileExists(settings.c_str())) return FolderKind::kLocal;
    std::string text;
    if (!ReadSmallFile(settings, &text)) {
        *problem = "cannot read " + settings;
        return FolderKind::kUnreadable;
    }
    return ParseServerFolder(text, folder, problem) ? FolderKind::kServer : FolderKind::kUnreadable;
}

std::string ServerFileName(const std::string& path) {
    size_t slash = path.size();
    while (slash > 0 && !IsSeparator(path[slash - 1])) --slash;
    std::string name = path.substr(slash);
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

}  // namespace w3b
