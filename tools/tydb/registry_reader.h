// registry_reader.h: the index registry "tysupidx.db" as the tool reads it, read-only, through
// the library's exports.
#ifndef TYDB_TOOLS_REGISTRY_READER_H
#define TYDB_TOOLS_REGISTRY_READER_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tool {

struct RegistryEntry {
    std::string fileName;
    int keyNumber = 0;
    int segments = 0;
    unsigned active = 0;
    int32_t total = 0;
    int32_t lastUseDate = 0;  // YYYYMMDD
    int32_t lastUseTime = 0;  // HHMMSS
};

// The registry path the library uses for a data file at `dataPath`: its directory (one
// trailing backslash dropped), a backslash, "tysupidx.db".
std::string RegistryPathForFile(const std::string& dataPath);

// The registry path inside directory `directory`.
std::string RegistryPathInDirectory(const std::string& directory);

// The file name part of a path, as the library keys the registry by it.
std::string FileNameOf(const std::string& path);

// Every entry of the registry at `path` in registry order; 0 or the status that stopped it.
int32_t ReadRegistry(const std::string& path, std::vector<RegistryEntry>* entries);

// The entry of key `key` of the data file named `fileName` (names compared case-blind, as
// Windows names are), or nullptr.
const RegistryEntry* FindRegistryEntry(const std::vector<RegistryEntry>& entries, const std::string& fileName, int key);

// "2026-12-07 09:05:03" from the stored numbers; "-" when neither is set.
std::string LastUseText(int32_t date, int32_t time);

}  // namespace tool

#endif  // TYDB_TOOLS_REGISTRY_READER_H
