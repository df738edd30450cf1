// The tool's commands; each adds itself to the command line.
#ifndef TYDB_TOOLS_COMMANDS_H
#define TYDB_TOOLS_COMMANDS_H

#include <CLI/CLI.hpp>

#include "description_file.h"

namespace tool {

void AddEngineCommand(CLI::App& app);
void AddSettingsCommand(CLI::App& app);
void AddLockCommand(CLI::App& app);
void AddCreateCommand(CLI::App& app);
void AddStatCommand(CLI::App& app);
void AddDumpCommand(CLI::App& app);
void AddRegistryCommand(CLI::App& app);
void AddKeysCommand(CLI::App& app);
void AddActivateCommand(CLI::App& app);
void AddDeactivateCommand(CLI::App& app);
void AddPurgeCommand(CLI::App& app);
void AddClearRegistryCommand(CLI::App& app);
void AddLoadCommand(CLI::App& app);
void AddExportCommand(CLI::App& app);
void AddImportCommand(CLI::App& app);
void AddCloneCopyCommands(CLI::App& app);
void AddIndexCommand(CLI::App& app);
void AddServerCommand(CLI::App& app);
void AddFileHealthCommands(CLI::App& app);
void AddLogCommand(CLI::App& app);
void AddCompletionCommand(CLI::App& app);
void AddDemoCommand(CLI::App& app);

// What tydb --version prints: the tool's version and the library and record manager it loads.
std::string VersionReport();

// Ends the command with `exitCode` after its message went to standard error.
[[noreturn]] void Fail(int exitCode, const std::string& message);

// --delimiter C for the CSV of load and export: one character, or "tab".
void AddDelimiterOption(CLI::App* command, char* delimiter);
// --encoding CODEPAGE for load and export: the Windows code page the records keep their text in
// (1252, cp850, windows-1252 ...), converted from and to the CSV's UTF-8; 0 when not given.
void AddEncodingOption(CLI::App* command, int* codePage);

// The description route (description_command.cpp): a file's definition written as a description
// file, and a new file made from one.
void WriteDescriptionFile(const std::string& path, const std::string& descriptionPath);
// The definition in a description file, its warnings told; exits 2 when it is none.
Description ReadDescriptionFile(const std::string& descriptionPath);
void CreateFromDescription(const std::string& path, const std::string& descriptionPath, bool replace, bool force);
// The unformatted route (unformatted_command.cpp): the records of a save file loaded, and a save
// file written.
void LoadUnformatted(const std::string& path, const std::string& savePath, bool force);
void ExportUnformatted(const std::string& path, const std::string& savePath);

// Which store keeps the data file at `path` (and for an SQLite file its mode and why), in words
// and as JSON, as the record manager decides it; empty words when the record manager cannot say
// (another maker's has no such entry point).
struct StoreText {
    std::string words;
    std::string json = "null";
};
StoreText DescribeStore(const std::string& path);
// The same for the data files of `folder`.
StoreText DescribeFolderStore(const std::string& folder);

// Text as a JSON string literal.
std::string JsonString(const std::string& text);

}  // namespace tool

#endif  // TYDB_TOOLS_COMMANDS_H
