// tydb: the command-line tool over the record-access library.
#include <cstdio>
#include <iostream>

#include "commands.h"
#include "tool_location.h"

namespace tool {

void Fail(int exitCode, const std::string& message) {
    std::cerr << "tydb: " << message << std::endl;
    throw CLI::RuntimeError(exitCode);
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

}  // namespace tool

int main(int argc, char** argv) {
    CLI::App app{
        "tydb: record access for Tallyra data files.\n"
        "Creates, inspects, loads and exports data files through the record-access library, and shows\n"
        "the record manager, the settings, the workstation lock, the supplemental-key registry and the\n"
        "index log."};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::function<std::string()>(tool::VersionReport),
                         "Show the tool's version and the library and record manager it loads");
    tool::RememberProgramName(argc > 0 ? argv[0] : nullptr);
    app.footer(std::string("Start with `tydb demo`. Every command explains itself: tydb COMMAND --help.\n"
                           "Settings are read from ") +
               tool::SettingsPlace() + ".\n" +
               "Commands that write refuse while another computer holds a workstation lock on the file's\n"
               "folder or a folder above it (`tydb lock DIR` shows it); --force writes anyway.\n"
               "Exit status: 0 done; 1 the library or the record manager refused (its status is shown), or\n"
               "the tool did to keep live data safe; 2 a mistake on the command line or in an input file.");
    tool::AddDemoCommand(app);
    tool::AddEngineCommand(app);
    tool::AddSettingsCommand(app);
    tool::AddLockCommand(app);
    tool::AddCreateCommand(app);
    tool::AddStatCommand(app);
    tool::AddDumpCommand(app);
    tool::AddRegistryCommand(app);
    tool::AddKeysCommand(app);
    tool::AddActivateCommand(app);
    tool::AddDeactivateCommand(app);
    tool::AddPurgeCommand(app);
    tool::AddClearRegistryCommand(app);
    tool::AddLoadCommand(app);
    tool::AddExportCommand(app);
    tool::AddImportCommand(app);
    tool::AddCloneCopyCommands(app);
    tool::AddIndexCommand(app);
    tool::AddServerCommand(app);
    tool::AddFileHealthCommands(app);
    tool::AddLogCommand(app);
    tool::AddCompletionCommand(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        // A command's own failure keeps its code; any other mistake on the command line is 2.
        return code == 0 || dynamic_cast<const CLI::RuntimeError*>(&e) != nullptr ? code : 2;
    }
    return 0;
}
