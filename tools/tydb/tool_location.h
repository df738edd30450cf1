// tool_location.h: where the tool itself is installed, and the record manager built beside it.
#ifndef TYDB_TOOLS_TOOL_LOCATION_H
#define TYDB_TOOLS_TOOL_LOCATION_H

#include <string>

namespace tool {

// Remembers how the tool was started (argv[0]), for systems whose process file system does not
// name the executable.
void RememberProgramName(const char* argv0);

// The folder of the running tool's executable; "" when neither the system nor the program name
// says.
std::string ToolFolder();

// The folder holding our record manager next to the tool: `<tool folder>/w3btrv7` (as the build
// lays it out) or the tool's folder itself (as an installation may); "" when neither has it.
std::string RecordManagerFolderBesideTool();

// Where the settings store keeps the settings on this system, for help texts: the file named by
// TYWREG_FILE, else /etc/tywreg.ini (Linux) or the registry (Windows).
const char* SettingsPlace();

// The command that sets environment variable `name` to `value` in this system's shell
// ("export NAME=value", "set NAME=value"), and a program's path in a folder as that shell writes it.
std::string SetEnvironmentCommand(const std::string& name, const std::string& value);
std::string ProgramInFolder(const std::string& folder, const std::string& program);

}  // namespace tool

#endif  // TYDB_TOOLS_TOOL_LOCATION_H
