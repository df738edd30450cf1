// tydb: the command-line tool over the record-access library.
#include <cstdio>
#include <iostream>

#include "commands.h"

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
    CLI::App app{"tydb: record access for Tallyra data files.\n"
                 "Inspects the record manager and the settings the library reads."};
    app.require_subcommand(1);
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
    tool::AddLogCommand(app);
    tool::AddCompletionCommand(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    return 0;
}
