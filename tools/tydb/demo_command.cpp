// tydb demo [DIR]: what the library does, shown on a small company's data from start to finish:
// settings, data files with keys, a bulk load, reads by key and by position, a supplemental key
// built on demand with its registry entry and log entry, and a report with timings.
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "commands.h"
#include "demo_data.h"
#include "demo_steps.h"
#include "platform.h"
#include "tool_location.h"
#include "tydb.h"
#include "tywreg.h"
#include "tydb_files.h"

namespace tool {
namespace {

struct DemoOptions {
    std::string directory;
    std::string engineFolder;
    int customers = 2000;
    int invoices = 8000;
};

// A new folder under the system's temporary folder.
std::string FreshFolder() {
    std::error_code error;
    const auto base = std::filesystem::temp_directory_path(error);
    if (error) Fail(1, "no temporary folder to work in; name one: tydb demo DIR");
    const auto seed = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (uint64_t attempt = 0; attempt < 100; ++attempt) {
        char name[40];
        std::snprintf(name, sizeof name, "tydb-demo-%06llu",
                      static_cast<unsigned long long>((seed + attempt * 7919) % 1000000));
        const auto folder = base / name;
        if (std::filesystem::create_directory(folder, error)) return folder.string();
    }
    Fail(1, "cannot make a folder under " + base.string() + "; name one: tydb demo DIR");
}

// Whether `folder` holds nothing, or nothing but the file that has a PostgreSQL server keep its
// data files (so the demo runs on a server the same way).
bool EmptyOrOnlyServed(const std::filesystem::path& folder) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().filename() != "w3btrv7.server") return false;
    }
    return !error;
}

// DIR itself when it is new or empty; the demo never writes over someone's files.
std::string PrepareFolder(const std::string& requested) {
    if (requested.empty()) return FreshFolder();
    std::error_code error;
    const auto folder = std::filesystem::absolute(requested, error);
    if (error) Fail(2, "cannot use the folder " + requested);
    if (std::filesystem::exists(folder, error)) {
        if (!std::filesystem::is_directory(folder, error)) Fail(2, requested + " is not a folder");
        if (!EmptyOrOnlyServed(folder)) {
            Fail(2, requested + " is not empty; the demo needs a new or empty folder (or none: it makes one)");
        }
    } else if (!std::filesystem::create_directories(folder, error)) {
        Fail(2, "cannot create the folder " + requested + ": " + error.message());
    }
    return folder.string();
}

// Settings of the demo's own store: the record manager's folder, and the index log on.
void WriteSettings(const std::string& settingsFile, const std::string& engineFolder) {
    platform::SetEnvironment("TYWREG_FILE", settingsFile.c_str());
    TyWRegSelect(TYDB_SETTINGS_APPLICATION, TYDB_SETTINGS_VERSION);
    const int32_t path =
        TyWRegWriteString(TYWREG_HKEY_LOCAL_MACHINE, "", TYDB_SETTING_ENGINE_FOLDER, engineFolder.c_str());
    const int32_t log = TyWRegWriteInt(TYWREG_HKEY_LOCAL_MACHINE, TYDB_SETTINGS_SECTION, TYDB_SETTING_INDEX_LOG, 1);
    if (path != 0 || log != 0) Fail(1, "cannot write the settings file " + settingsFile);
}

void RunDemo(const DemoOptions& options) {
    const auto started = std::chrono::steady_clock::now();
    std::string engineFolder = options.engineFolder;
    if (engineFolder.empty()) engineFolder = RecordManagerFolderBesideTool();
    if (engineFolder.empty()) {
        Fail(1, "the record manager is not beside the tool (expected " +
                    (ToolFolder().empty() ? std::string("<tool folder>") : ToolFolder()) +
                    "/w3btrv7); name its folder with --engine-folder");
    }
    const std::string folder = PrepareFolder(options.directory);
    const std::string settingsFile = (std::filesystem::path(folder) / "tywreg.ini").string();
    WriteSettings(settingsFile, engineFolder);

    std::cout << "tydb demo: a small company's accounts, from an empty folder to a supplemental key\n\n"
              << "Folder:          " << folder << "\n"
              << "Settings file:   " << settingsFile << " (TYWREG_FILE)\n"
              << "  PATH =         " << engineFolder << "  (the record manager's folder)\n"
              << "  Index Log =    1  (Settings section: log every supplemental-key action)\n";

    DemoSteps steps(folder, started);
    try {
        steps.RunAll(options.customers, options.invoices);
    } catch (...) {
        DbCloseAll();
        throw;
    }
    DbStopEngine();
}

}  // namespace

void AddDemoCommand(CLI::App& app) {
    auto options = std::make_shared<DemoOptions>();
    auto* command = app.add_subcommand(
        "demo", "Show what tydb does on a small company's data: files, keys, a load, reads, a supplemental key");
    command->add_option("DIR", options->directory,
                        "New or empty folder to work in (default: a fresh one under the temporary folder)");
    command->add_option("--engine-folder", options->engineFolder,
                        "Folder of the record manager library (default: the w3btrv7 folder beside the tool)");
    command->add_option("--customers", options->customers, "Customers to generate (default 2000)")
        ->check(CLI::Range(10, 100000));
    command->add_option("--invoices", options->invoices, "Invoices to generate (default 8000)")
        ->check(CLI::Range(10, 1000000));
    command->footer(
        "The folder is left in place afterwards, with layout files for tydb export and the\n"
        "settings file, so every other command can be tried on it.");
    command->callback([options] { RunDemo(*options); });
}

}  // namespace tool
