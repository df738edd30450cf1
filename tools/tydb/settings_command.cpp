// tydb settings get|set: the values the library reads from the settings store.
#include <cerrno>
#include <cstdlib>
#include <iostream>

#include "commands.h"
#include "tool_location.h"
#include "tywreg.h"
#include "tydb_files.h"

namespace tool {
namespace {

// Marks "no value" in a read, since an empty text is a valid value.
constexpr const char* kUnset = "\x01(unset)";

struct SettingsOptions {
    std::string name;
    std::string value;
    std::string section;
    bool sectionGiven = false;
};

// The library keeps the index settings in "Settings" and the engine folder in the unnamed one.
std::string SectionFor(const SettingsOptions& options) {
    if (options.sectionGiven) return options.section;
    if (options.name == TYDB_SETTING_INDEX_LOG || options.name == TYDB_SETTING_INDEX_THRESHOLD)
        return TYDB_SETTINGS_SECTION;
    return "";
}

// Runs `body` with the library's selection in the store, restoring the previous one.
template <typename Body>
void WithLibrarySelection(Body body) {
    char application[TYWREG_SELECTION_SIZE] = {}, version[TYWREG_SELECTION_SIZE] = {};
    TyWRegGetSelection(application, version);
    TyWRegSelect(TYDB_SETTINGS_APPLICATION, TYDB_SETTINGS_VERSION);
    body();
    TyWRegSelect(application, version);
}

void RunGet(const SettingsOptions& options) {
    char buffer[4096] = {};
    const std::string section = SectionFor(options);
    WithLibrarySelection([&] {
        TyWRegReadString(TYWREG_HKEY_LOCAL_MACHINE, section.c_str(), options.name.c_str(), kUnset, buffer,
                         sizeof buffer);
    });
    if (std::string(buffer) == kUnset)
        Fail(1, "\"" + options.name + "\" is not set" + (section.empty() ? "" : " in section \"" + section + "\""));
    std::cout << buffer << std::endl;
}

void RunSet(const SettingsOptions& options) {
    const std::string section = SectionFor(options);
    int32_t result = 0;
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(options.value.c_str(), &end, 10);
    const bool isInteger =
        !options.value.empty() && *end == '\0' && errno == 0 && number >= INT32_MIN && number <= INT32_MAX;
    WithLibrarySelection([&] {
        result = isInteger ? TyWRegWriteInt(TYWREG_HKEY_LOCAL_MACHINE, section.c_str(), options.name.c_str(),
                                            static_cast<int32_t>(number))
                           : TyWRegWriteString(TYWREG_HKEY_LOCAL_MACHINE, section.c_str(), options.name.c_str(),
                                               options.value.c_str());
    });
    if (result != 0)
        Fail(1,
             "could not store \"" + options.name + "\" in the settings store (error " + std::to_string(result) + ")");
}

}  // namespace

void AddSettingsCommand(CLI::App& app) {
    auto options = std::make_shared<SettingsOptions>();
    auto* settings = app.add_subcommand(
        "settings", std::string("Read or change the settings the library reads (application Pervasive, version 11).\n"
                                "They live in ") +
                        SettingsPlace() + ".\n" +
                        "  PATH             folder of the record manager library\n"
                        "  Index Log        1 writes tysupidx.log beside each registry (section Settings)\n"
                        "  Index Threshold  least key segments an eviction frees (section Settings)");
    settings->require_subcommand(1);

    auto* get = settings->add_subcommand("get", "Print a setting's value");
    get->add_option("NAME", options->name, "Setting name, e.g. PATH")->required();
    get->add_option("--section", options->section, "Section (default: Settings for the index settings, else none)");
    get->callback([options, get] {
        options->sectionGiven = get->count("--section") > 0;
        RunGet(*options);
    });

    auto* set = settings->add_subcommand("set", "Store a setting's value");
    set->add_option("NAME", options->name, "Setting name, e.g. PATH")->required();
    set->add_option("VALUE", options->value, "New value")->required();
    set->add_option("--section", options->section, "Section (default: Settings for the index settings, else none)");
    set->callback([options, set] {
        options->sectionGiven = set->count("--section") > 0;
        RunSet(*options);
    });
}

}  // namespace tool
