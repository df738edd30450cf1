// write_guard.h: the check every command that writes to a data file makes first. A computer
// holding a workstation lock has files open in that folder tree; writing under it from here
// would change data that computer believes only it is working on.
#ifndef TYDB_TOOLS_WRITE_GUARD_H
#define TYDB_TOOLS_WRITE_GUARD_H

#include <string>

#include <CLI/CLI.hpp>

namespace tool {

// Ends the command (exit 1, naming the computer and its lock file) when another computer holds
// a live workstation lock in the folder of `path` or in any folder above it, unless `force`.
void CheckNoOtherComputersLock(const std::string& path, bool force);

// The --force flag of a writing command; `also` says what else it overrides, if anything.
void AddForceFlag(CLI::App* command, bool* force, const std::string& also = "");

}  // namespace tool

#endif  // TYDB_TOOLS_WRITE_GUARD_H
