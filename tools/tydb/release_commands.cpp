// tydb deactivate FILE KEY, tydb purge FILE KEY and tydb clear-registry FILE: give back a use
// of a supplemental key, drop it, or forget every registry entry of a file.
//
// The tool opens the file afresh, so there is no current key to speak of: KEY names it, by
// number or by its segments (POS:LEN[,POS:LEN...]).
#include <cctype>
#include <cstring>
#include <iostream>
#include <memory>

#include "commands.h"
#include "key_options.h"
#include "registry_reader.h"
#include "status_text.h"
#include "tydb.h"
#include "write_guard.h"

namespace tool {
namespace {

bool IsNumber(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// Opens `path` with the key that `keyText` names as its current key.
int16_t OpenOnKey(const std::string& path, const std::string& keyText) {
    int16_t handle = 0;
    const int32_t opened = DbOpen(&handle, path.c_str(), 0, 0);
    if (opened != 0) Fail(1, "cannot open " + path + ": status " + DescribeStatus(opened));
    int32_t number = -1;
    if (IsNumber(keyText)) {
        number = std::stoi(keyText.substr(0, 4));
    } else {
        std::vector<BtrKeySpec> definition;
        std::string error;
        if (!ParseKey(keyText, &definition, &error)) {
            DbClose(handle);
            Fail(2, "invalid key " + keyText + ": " + error);
        }
        number = DbFindKey(handle, definition.data());
    }
    uint8_t statistics[TYDB_STATISTICS_SIZE];
    if (number < 0 || DbGetKeySpec(handle, statistics, static_cast<int16_t>(number)) == nullptr) {
        DbClose(handle);
        Fail(1, path + " has no key " + keyText);
    }
    DbOverRideDef(handle, number, -1);
    return handle;
}

// Refuses (exit 1) to purge a permanent key, which the library would leave as it is, and,
// unless `force`, a key the registry lists as in use: purging it would drop it from under the
// workstations reading through it.
void CheckPurge(const std::string& path, int16_t handle, int32_t number, bool force) {
    uint8_t statistics[TYDB_STATISTICS_SIZE];
    BtrKeySpec spec{};
    if (const void* at = DbGetKeySpec(handle, statistics, static_cast<int16_t>(number)); at != nullptr) {
        std::memcpy(&spec, at, sizeof spec);
    }
    std::string which = "key " + std::to_string(number) + " of " + path;
    if ((spec.flags & btr::kKeyFlagSupplemental) == 0) {
        DbClose(handle);
        Fail(1, which + " is a permanent key: a permanent key cannot be purged");
    }
    std::vector<RegistryEntry> entries;
    if (force || ReadRegistry(RegistryPathForFile(path), &entries) != 0) return;
    const RegistryEntry* entry = FindRegistryEntry(entries, FileNameOf(path), number);
    if (entry == nullptr || entry->active == 0) return;
    DbClose(handle);
    Fail(1, which + " is in use: the registry counts " + std::to_string(entry->active) +
                " active reference(s); purging it would drop it from under the workstations reading"
                " through it (--force purges it anyway)");
}

void RunRelease(const std::string& path, const std::string& keyText, bool purge, bool force) {
    CheckNoOtherComputersLock(path, force);
    const int16_t handle = OpenOnKey(path, keyText);
    int32_t number = -1;
    DbGetOverRideDef(handle, &number, nullptr);
    if (purge) CheckPurge(path, handle, number, force);
    const int32_t status = purge ? DbPurgeKey(handle) : DbDeactivateKey(handle);
    DbClose(handle);
    if (status != 0)
        Fail(1, std::string(purge ? "cannot purge" : "cannot deactivate") + " key " + std::to_string(number) + " of " +
                    path + ": status " + DescribeStatus(status));
    std::cout << "Key " << number << " of " << path << (purge ? " purged" : " deactivated") << std::endl;
}

void RunClearRegistry(const std::string& path, bool force) {
    CheckNoOtherComputersLock(path, force);
    int16_t handle = 0;
    const int32_t opened = DbOpen(&handle, path.c_str(), 0, 0);
    if (opened != 0) Fail(1, "cannot open " + path + ": status " + DescribeStatus(opened));
    const int32_t status = DbClearKeyRegistry(handle);
    DbClose(handle);
    // 9: the file's entries were the last of the registry; both mean done.
    if (status != 0 && status != btr::kStatusEndOfFile)
        Fail(1, "cannot clear the registry entries of " + path + ": status " + DescribeStatus(status));
    std::cout << "Registry entries of " << path << " cleared" << std::endl;
}

}  // namespace

void AddDeactivateCommand(CLI::App& app) {
    auto path = std::make_shared<std::string>();
    auto key = std::make_shared<std::string>();
    auto* command = app.add_subcommand("deactivate", "Give back one use of a supplemental key");
    command->add_option("FILE", *path, "Path of the data file")->required();
    command->add_option("KEY", *key, "Key number, or its segments as POS:LEN[,POS:LEN...]")->required();
    auto force = std::make_shared<bool>(false);
    AddForceFlag(command, force.get());
    command->callback([path, key, force] { RunRelease(*path, *key, false, *force); });
}

void AddPurgeCommand(CLI::App& app) {
    auto path = std::make_shared<std::string>();
    auto key = std::make_shared<std::string>();
    auto force = std::make_shared<bool>(false);
    auto* command = app.add_subcommand("purge", "Drop a supplemental key and its registry entry");
    command->add_option("FILE", *path, "Path of the data file")->required();
    command->add_option("KEY", *key, "Key number, or its segments as POS:LEN[,POS:LEN...]")->required();
    AddForceFlag(command, force.get(), "Purge the key even while the registry counts users of it");
    command->callback([path, key, force] { RunRelease(*path, *key, true, *force); });
}

void AddClearRegistryCommand(CLI::App& app) {
    auto path = std::make_shared<std::string>();
    auto* command = app.add_subcommand("clear-registry", "Forget every registry entry of a data file; its keys stay");
    command->add_option("FILE", *path, "Path of the data file")->required();
    auto force = std::make_shared<bool>(false);
    AddForceFlag(command, force.get());
    command->callback([path, force] { RunClearRegistry(*path, *force); });
}

}  // namespace tool
