// tydb keys FILE: a data file's keys, which of them are supplemental, and what the index
// registry of its directory records about those.
#include <iostream>
#include <memory>

#include "commands.h"
#include "file_layout.h"
#include "registry_reader.h"
#include "status_text.h"
#include "tydb.h"

namespace tool {
namespace {

std::string SegmentsText(const std::vector<BtrKeySpec>& key) {
    std::string text;
    for (const auto& segment : key)
        text += (text.empty() ? "" : ",") + std::to_string(segment.position) + ":" + std::to_string(segment.length);
    return text;
}

std::string KeyJson(const std::vector<BtrKeySpec>& key, const std::vector<RegistryEntry>* entries,
                    const std::string& fileName) {
    const int number = KeyNumberOf(key);
    std::string out = "{\"number\":" + std::to_string(number) + ",\"segments\":" + JsonString(SegmentsText(key)) +
                      ",\"length\":" + std::to_string(KeyLength(key));
    if ((key.front().flags & btr::kKeyFlagSupplemental) == 0) return out + ",\"supplemental\":false}";
    out += ",\"supplemental\":true,\"registry\":";
    const RegistryEntry* entry = entries != nullptr ? FindRegistryEntry(*entries, fileName, number) : nullptr;
    if (entry == nullptr) return out + "null}";
    return out + "{\"active\":" + std::to_string(entry->active) + ",\"total\":" + std::to_string(entry->total) +
           ",\"lastUse\":" + JsonString(LastUseText(entry->lastUseDate, entry->lastUseTime)) + "}}";
}

void RunKeys(const std::string& path, bool json) {
    int16_t handle = 0;
    const int32_t opened = DbOpen(&handle, path.c_str(), 0x0200, 0);
    if (opened != 0) Fail(1, "cannot open " + path + ": status " + DescribeStatus(opened));
    FileLayout layout;
    const int32_t status = ReadFileLayout(handle, &layout);
    DbClose(handle);
    if (status != 0) Fail(1, "cannot read the statistics of " + path + ": status " + DescribeStatus(status));

    // A directory without a registry simply knows no key.
    std::vector<RegistryEntry> entries;
    const bool haveRegistry = ReadRegistry(RegistryPathForFile(path), &entries) == 0;
    const std::string fileName = FileNameOf(path).substr(0, 15);

    if (json) {
        std::string out = "{\"file\":" + JsonString(path) + ",\"keys\":[";
        for (size_t i = 0; i < layout.keys.size(); ++i)
            out += (i ? "," : "") + KeyJson(layout.keys[i], haveRegistry ? &entries : nullptr, fileName);
        std::cout << out << "]}" << std::endl;
        return;
    }
    std::cout << "File: " << path << "\n";
    for (const auto& key : layout.keys) {
        const int number = KeyNumberOf(key);
        std::cout << "  Key " << number << ": " << SegmentsText(key) << ", length " << KeyLength(key) << ", ";
        if ((key.front().flags & btr::kKeyFlagSupplemental) == 0) {
            std::cout << "permanent\n";
            continue;
        }
        std::cout << "supplemental, ";
        const RegistryEntry* entry = haveRegistry ? FindRegistryEntry(entries, fileName, number) : nullptr;
        if (entry == nullptr) {
            std::cout << "not in the registry\n";
        } else {
            std::cout << "registered: active " << entry->active << ", total " << entry->total << ", last use "
                      << LastUseText(entry->lastUseDate, entry->lastUseTime) << "\n";
        }
    }
    std::cout.flush();
}

}  // namespace

void AddKeysCommand(CLI::App& app) {
    auto path = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    auto* command = app.add_subcommand("keys", "Show a data file's keys, marking supplemental and registered ones");
    command->add_option("FILE", *path, "Path of the data file")->required();
    command->add_flag("--json", *json, "Print the result as JSON");
    command->callback([path, json] { RunKeys(*path, *json); });
}

}  // namespace tool
