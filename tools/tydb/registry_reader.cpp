#include "registry_reader.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "btrcall.h"
#include "tydb.h"
#include "tydb_files.h"

namespace tool {
namespace {

constexpr int16_t kReadOnly = 0x0200;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

std::string FileNameOf(const std::string& path) {
    size_t start = path.size();
    while (start > 0 && !IsSeparator(path[start - 1]) && !(start == 2 && path[1] == ':')) --start;
    return path.substr(start);
}

const RegistryEntry* FindRegistryEntry(const std::vector<RegistryEntry>& entries, const std::string& fileName,
                                       int key) {
    for (const auto& entry : entries) {
        if (entry.keyNumber != key || entry.fileName.size() != fileName.size()) continue;
        bool same = true;
        for (size_t i = 0; i < fileName.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(entry.fileName[i])) ==
                   std::tolower(static_cast<unsigned char>(fileName[i]));
        if (same) return &entry;
    }
    return nullptr;
}

std::string RegistryPathForFile(const std::string& dataPath) {
    // The directory string the library keeps for the file: its path up to the name, less one
    // trailing backslash.
    std::string directory = dataPath.substr(0, dataPath.size() - FileNameOf(dataPath).size());
    if (!directory.empty() && directory.back() == '\\') directory.pop_back();
    std::string path(directory.size() + 2 + std::strlen(TYDB_REGISTRY_FILE_NAME), '\0');
    TydbSideFilePath(directory.c_str(), TYDB_REGISTRY_FILE_NAME, path.data(), path.size());
    path.resize(std::strlen(path.c_str()));
    return path;
}

std::string RegistryPathInDirectory(const std::string& directory) {
    if (!directory.empty() && IsSeparator(directory.back())) return directory + TYDB_REGISTRY_FILE_NAME;
    return directory + "/" + TYDB_REGISTRY_FILE_NAME;
}

int32_t ReadRegistry(const std::string& path, std::vector<RegistryEntry>* entries) {
    entries->clear();
    int16_t handle = 0;
    // Read-only: looking must not change the registry.
    const int32_t opened = DbOpen(&handle, path.c_str(), kReadOnly, 0);
    if (opened != 0) return opened;
    uint8_t key[256] = {};
    TydbRegistryRecord record;
    int32_t status = DbRead(btr::kOpGetFirst, handle, key, &record, 0);
    while (status == 0) {
        RegistryEntry entry;
        entry.fileName.assign(record.DataFileName, strnlen(record.DataFileName, sizeof record.DataFileName));
        entry.keyNumber = record.KeyNumber;
        entry.segments = record.SegmentCount;
        entry.active = record.ActiveReferences;
        entry.total = record.TotalReferences;
        entry.lastUseDate = record.LastUseDate;
        entry.lastUseTime = record.LastUseTime;
        entries->push_back(entry);
        status = DbRead(btr::kOpGetNext, handle, key, &record, 0);
    }
    DbClose(handle);
    return status == btr::kStatusEndOfFile ? 0 : status;
}

std::string LastUseText(int32_t date, int32_t time) {
    if (date == 0 && time == 0) return "-";
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", date / 10000, date / 100 % 100, date % 100,
                  time / 10000, time / 100 % 100, time % 100);
    return text;
}

}  // namespace tool
