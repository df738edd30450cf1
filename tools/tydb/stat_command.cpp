// tydb stat FILE: the file specification, every key and segment, the collating sequence, the
// record count and the store that keeps the file.
#include <iostream>
#include <memory>
#include <sstream>

#include "commands.h"
#include "file_layout.h"
#include "key_options.h"
#include "record_manager.h"
#include "status_text.h"
#include "tydb.h"
#include "w3btrv7_admin.h"

namespace tool {
namespace {

std::string Joined(const std::vector<std::string>& names, const std::string& separator) {
    std::string text;
    for (const auto& name : names) text += (text.empty() ? "" : separator) + name;
    return text;
}

std::string JsonNames(const std::vector<std::string>& names) {
    std::string text = "[";
    for (size_t i = 0; i < names.size(); ++i) text += (i ? "," : "") + JsonString(names[i]);
    return text + "]";
}

const char* ShareModeWords(bool shared) {
    return shared ? "network-share mode (rollback journal)" : "one-computer mode (WAL)";
}

StoreText DescribeStoreOf(const std::string& path, bool withName) {
    RecordManager manager;
    auto storeOf = reinterpret_cast<W3bFileStoreFunction>(manager.Symbol("W3bFileStoreOf"));
    W3bFileStore store{};
    char message[512] = {};
    if (storeOf == nullptr || storeOf(path.c_str(), &store, message, sizeof message) != 0) return {};
    if (store.store != W3B_STORE_SERVER) {
        const bool shared = store.store == W3B_STORE_SQLITE_SHARED;
        return {std::string(withName ? "SQLite file, " : "SQLite files, ") + ShareModeWords(shared) +
                    (message[0] ? std::string(": ") + message : ""),
                std::string("{\"kind\":\"sqlite\",\"mode\":") + (shared ? "\"network-share\"" : "\"one-computer\"") +
                    ",\"reason\":" + JsonString(message) + "}"};
    }
    if (!withName) {
        return {std::string("PostgreSQL server, schema ") + store.schema,
                "{\"kind\":\"server\",\"schema\":" + JsonString(store.schema) + "}"};
    }
    return {
        std::string("PostgreSQL server, schema ") + store.schema + ", as " + store.name,
        "{\"kind\":\"server\",\"schema\":" + JsonString(store.schema) + ",\"name\":" + JsonString(store.name) + "}"};
}

}  // namespace

StoreText DescribeStore(const std::string& path) { return DescribeStoreOf(path, true); }

StoreText DescribeFolderStore(const std::string& folder) {
    // The record manager decides by the folder a file lies in; any name in it will do.
    return DescribeStoreOf((folder.empty() ? std::string(".") : folder) + "/ANY.DAT", false);
}

namespace {

std::string VersionText(uint8_t version) { return std::to_string(version >> 4) + "." + std::to_string(version & 0x0F); }

void PrintText(const std::string& path, const FileLayout& layout, const StoreText& store) {
    const BtrFileSpec& file = layout.file;
    std::cout << "File: " << path << "\n";
    if (!store.words.empty()) std::cout << "  Store: " << store.words << "\n";
    std::cout << "  Version: " << VersionText(file.fileVersion) << "\n";
    std::cout << "  Record length: " << file.recordLength << "\n";
    std::cout << "  Page size: " << file.pageSize << "\n";
    std::cout << "  Records: " << file.recordCount << "\n";
    const auto flags = FileFlagNames(file.fileFlags);
    std::cout << "  File flags: " << (flags.empty() ? "none" : Joined(flags, " ")) << "\n";
    std::cout << "  Keys: " << layout.keys.size() << "\n";
    for (const auto& key : layout.keys) {
        std::cout << "  Key " << KeyNumberOf(key) << ": " << key.size() << (key.size() == 1 ? " segment" : " segments")
                  << ", length " << KeyLength(key) << "\n";
        for (size_t i = 0; i < key.size(); ++i) {
            const BtrKeySpec& segment = key[i];
            const auto names = KeyFlagNames(segment.flags);
            std::cout << "    Segment " << i + 1 << ": position " << segment.position << ", length " << segment.length
                      << ", " << SegmentTypeName(segment) << (names.empty() ? "" : ", " + Joined(names, " ")) << "\n";
        }
        std::cout << "    Unique values: " << key.front().uniqueCount << "\n";
    }
    std::cout << "  Collating sequence: " << (layout.hasAcs ? AcsName(layout.acs) : "none") << std::endl;
}

void PrintJson(const std::string& path, const FileLayout& layout, const StoreText& store) {
    const BtrFileSpec& file = layout.file;
    std::ostringstream out;
    out << "{\"file\":" << JsonString(path) << ",\"store\":" << store.json
        << ",\"version\":" << JsonString(VersionText(file.fileVersion)) << ",\"recordLength\":" << file.recordLength
        << ",\"pageSize\":" << file.pageSize << ",\"records\":" << file.recordCount
        << ",\"fileFlags\":" << JsonNames(FileFlagNames(file.fileFlags)) << ",\"keys\":[";
    for (size_t k = 0; k < layout.keys.size(); ++k) {
        const auto& key = layout.keys[k];
        out << (k ? "," : "") << "{\"number\":" << KeyNumberOf(key) << ",\"length\":" << KeyLength(key)
            << ",\"uniqueValues\":" << key.front().uniqueCount << ",\"segments\":[";
        for (size_t i = 0; i < key.size(); ++i) {
            const BtrKeySpec& segment = key[i];
            out << (i ? "," : "") << "{\"position\":" << segment.position << ",\"length\":" << segment.length
                << ",\"type\":" << JsonString(SegmentTypeName(segment))
                << ",\"flags\":" << JsonNames(KeyFlagNames(segment.flags)) << "}";
        }
        out << "]}";
    }
    out << "],\"collatingSequence\":" << (layout.hasAcs ? JsonString(AcsName(layout.acs)) : "null") << "}";
    std::cout << out.str() << std::endl;
}

void RunStat(const std::string& path, bool json) {
    int16_t handle = 0;
    // Read-only: looking must not change the file.
    const int32_t opened = DbOpen(&handle, path.c_str(), 0x0200, 0);
    if (opened != 0) Fail(1, "cannot open " + path + ": status " + DescribeStatus(opened));
    FileLayout layout;
    const int32_t status = ReadFileLayout(handle, &layout);
    DbClose(handle);
    if (status != 0) Fail(1, "cannot read the statistics of " + path + ": status " + DescribeStatus(status));
    const StoreText store = DescribeStore(path);
    if (json) {
        PrintJson(path, layout, store);
    } else {
        PrintText(path, layout, store);
    }
}

}  // namespace

void AddStatCommand(CLI::App& app) {
    auto path = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    auto description = std::make_shared<std::string>();
    auto* command = app.add_subcommand("stat", "Show a data file's specification, keys and record count");
    command->add_option("FILE", *path, "Path of the data file")->required();
    auto* jsonFlag = command->add_flag("--json", *json, "Print the result as JSON");
    command
        ->add_option("--description", *description,
                     "Write the definition to description file DESC (tydb create --description reads it "
                     "back); a collating sequence goes beside it, to NAME.alt")
        ->option_text("DESC")
        ->excludes(jsonFlag);
    command->callback([path, json, description] {
        if (!description->empty()) {
            WriteDescriptionFile(*path, *description);
        } else {
            RunStat(*path, *json);
        }
    });
}

}  // namespace tool
