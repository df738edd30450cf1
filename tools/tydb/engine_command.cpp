// tydb engine: is the record manager there, and which one; tydb --version: which tool, library
// and record manager.
#include <iostream>

#include "commands.h"
#include "platform.h"
#include "record_manager.h"
#include "status_text.h"
#include "tydb.h"
#include "tywreg.h"
#include "tydb_files.h"

namespace tool {
namespace {

std::string EngineFolder() {
    char application[TYWREG_SELECTION_SIZE] = {}, version[TYWREG_SELECTION_SIZE] = {};
    TyWRegGetSelection(application, version);
    TyWRegSelect(TYDB_SETTINGS_APPLICATION, TYDB_SETTINGS_VERSION);
    char folder[771] = {};
    TyWRegReadString(TYWREG_HKEY_LOCAL_MACHINE, "", TYDB_SETTING_ENGINE_FOLDER, "", folder, sizeof folder);
    TyWRegSelect(application, version);
    return folder;
}

void RunEngine(bool json, const std::string& dataFolder) {
    const std::string folder = EngineFolder();
    const int32_t check = DbCheckEngine();
    int32_t version = 0, revision = 0;
    char type[2] = {};
    int32_t versionStatus = check == 0 ? DbGetEngineVersion(&version, &revision, type) : check;

    const StoreText store = check == 0 ? DescribeFolderStore(dataFolder) : StoreText();
    if (json) {
        std::cout << "{\"present\":" << (check == 0 ? "true" : "false") << ",\"folder\":" << JsonString(folder)
                  << ",\"status\":" << versionStatus << ",\"version\":" << version << ",\"revision\":" << revision
                  << ",\"type\":" << JsonString(type) << ",\"dataFolder\":" << JsonString(dataFolder)
                  << ",\"store\":" << store.json << "}" << std::endl;
    } else if (check == 0) {
        std::cout << "Record manager: present\n";
        std::cout << "  Folder (settings PATH): " << (folder.empty() ? "(not set; system search)" : folder) << "\n";
        if (versionStatus == 0) {
            std::cout << "  Version: " << version << "." << revision << "  type " << type << "\n";
        } else {
            std::cout << "  Version: not reported, status " << DescribeStatus(versionStatus) << "\n";
        }
        if (!store.words.empty()) {
            std::cout << "  Data folder " << (dataFolder.empty() ? "(current)" : dataFolder) << ": " << store.words
                      << "\n";
        }
    }
    if (check != 0) {
        Fail(1, "record manager not found: status " + DescribeStatus(check) +
                    ". Name its folder with: tydb settings set PATH <folder>" +
                    (folder.empty() ? "" : " (now: " + folder + ")"));
    }
    if (versionStatus != 0) throw CLI::RuntimeError(1);
    // The record manager stays loaded only for this process; stop it cleanly.
    DbStopEngine();
}

}  // namespace

std::string VersionReport() {
    std::string report = std::string("tydb ") + TYDB_VERSION + "\n";
    const std::string library = platform::LoadedFileOf(reinterpret_cast<const void*>(&DbCheckEngine));
    report += "Library: " + (library.empty() ? std::string("(its file cannot be told)") : library) + "\n";
    RecordManager manager;
    if (manager.entry() == nullptr) {
        return report + "Record manager: not found; name its folder with: tydb settings set PATH <folder>";
    }
    int32_t version = 0, revision = 0;
    char type[2] = {};
    const int32_t status = DbGetEngineVersion(&version, &revision, type);
    report += "Record manager: " + platform::LoadedFileOf(reinterpret_cast<const void*>(manager.entry()));
    report += status == 0 ? ", version " + std::to_string(version) + "." + std::to_string(revision) + " type " + type
                          : ", version not reported (status " + DescribeStatus(status) + ")";
    DbStopEngine();
    return report;
}

void AddEngineCommand(CLI::App& app) {
    auto* command = app.add_subcommand("engine", "Show whether the record manager can be loaded, and its version");
    auto json = std::make_shared<bool>(false);
    auto dataFolder = std::make_shared<std::string>();
    command->add_option("FOLDER", *dataFolder,
                        "A data folder: which store keeps its files, and in which mode (default: the current folder)");
    command->add_flag("--json", *json, "Print the result as JSON");
    command->callback([json, dataFolder] { RunEngine(*json, *dataFolder); });
}

}  // namespace tool
