// tydb registry DIR: every entry of a data directory's index registry.
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>

#include "commands.h"
#include "registry_reader.h"
#include "status_text.h"

namespace tool {
namespace {

void PrintText(const std::string& path, const std::vector<RegistryEntry>& entries) {
    std::cout << "Registry: " << path << "\n";
    if (entries.empty()) {
        std::cout << "  no entries" << std::endl;
        return;
    }
    char line[160];
    std::snprintf(line, sizeof line, "  %-15s %4s %9s %7s %11s  %s\n", "File", "Key", "Segments", "Active", "Total",
                  "Last use");
    std::cout << line;
    for (const auto& entry : entries) {
        std::snprintf(line, sizeof line, "  %-15s %4d %9d %7u %11d  %s\n", entry.fileName.c_str(), entry.keyNumber,
                      entry.segments, entry.active, static_cast<int>(entry.total),
                      LastUseText(entry.lastUseDate, entry.lastUseTime).c_str());
        std::cout << line;
    }
    std::cout.flush();
}

void PrintJson(const std::string& path, const std::vector<RegistryEntry>& entries) {
    std::ostringstream out;
    out << "{\"registry\":" << JsonString(path) << ",\"entries\":[";
    for (size_t i = 0; i < entries.size(); ++i) {
        const auto& entry = entries[i];
        out << (i ? "," : "") << "{\"file\":" << JsonString(entry.fileName) << ",\"key\":" << entry.keyNumber
            << ",\"segments\":" << entry.segments << ",\"active\":" << entry.active << ",\"total\":" << entry.total
            << ",\"lastUse\":" << JsonString(LastUseText(entry.lastUseDate, entry.lastUseTime)) << "}";
    }
    out << "]}";
    std::cout << out.str() << std::endl;
}

void RunRegistry(const std::string& directory, bool json) {
    const std::string path = RegistryPathInDirectory(directory);
    std::vector<RegistryEntry> entries;
    const int32_t status = ReadRegistry(path, &entries);
    if (status != 0) Fail(1, "cannot read the registry " + path + ": status " + DescribeStatus(status));
    if (json) {
        PrintJson(path, entries);
    } else {
        PrintText(path, entries);
    }
}

}  // namespace

void AddRegistryCommand(CLI::App& app) {
    auto directory = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    auto* command = app.add_subcommand("registry", "List the supplemental keys a data directory's registry records");
    command->add_option("DIR", *directory, "Data directory holding tysupidx.db")->required();
    command->add_flag("--json", *json, "Print the result as JSON");
    command->callback([directory, json] { RunRegistry(*directory, *json); });
}

}  // namespace tool
