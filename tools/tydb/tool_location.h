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

}  // namespace tool

#endif  // TYDB_TOOLS_TOOL_LOCATION_H
