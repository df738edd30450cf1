#include "tool_location.h"

#include <filesystem>

#include "platform.h"

namespace tool {
namespace {

#if defined(_WIN32)
constexpr const char* kRecordManagerFile = "w3btrv7.dll";
#else
constexpr const char* kRecordManagerFile = "libw3btrv7.so";
#endif

#if defined(_WIN32)
constexpr const char* kProgramFile = "tydb.exe";
constexpr const char* kSettingsPlace =
    "the file named by TYWREG_FILE, else the registry (HKEY_LOCAL_MACHINE\\SOFTWARE\\Pervasive\\11)";
constexpr const char* kSetCommand = "set ";
constexpr char kFolderSeparator = '\\';
#else
constexpr const char* kProgramFile = "tydb";
constexpr const char* kSettingsPlace = "the file named by TYWREG_FILE, else /etc/tywreg.ini";
constexpr const char* kSetCommand = "export ";
constexpr char kFolderSeparator = '/';
#endif

std::string& ProgramName() {
    static std::string name;
    return name;
}

// The folder of a program started as `name`: its own folder when the name has one, else the
// first folder of the search path that holds the tool.
std::string FolderOfProgramName(const std::string& name) {
    std::error_code error;
    if (name.find_first_of("/\\") != std::string::npos) {
        return std::filesystem::absolute(name, error).parent_path().string();
    }
    const std::string path = platform::GetEnvironmentString("PATH");
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(platform::PathListSeparator(), start);
        if (end == std::string::npos) end = path.size();
        const std::filesystem::path folder = path.substr(start, end - start);
        if (!folder.empty() && std::filesystem::exists(folder / kProgramFile, error)) return folder.string();
        start = end + 1;
    }
    return std::string();
}

}  // namespace

void RememberProgramName(const char* argv0) { ProgramName() = argv0 != nullptr ? argv0 : ""; }

std::string ToolFolder() {
    const std::string executable = platform::ExecutablePath();
    if (!executable.empty()) return std::filesystem::path(executable).parent_path().string();
    return ProgramName().empty() ? std::string() : FolderOfProgramName(ProgramName());
}

std::string RecordManagerFolderBesideTool() {
    const std::string folder = ToolFolder();
    if (folder.empty()) return std::string();
    std::error_code error;
    for (const auto& candidate : {std::filesystem::path(folder) / "w3btrv7", std::filesystem::path(folder)}) {
        if (std::filesystem::exists(candidate / kRecordManagerFile, error)) return candidate.string();
    }
    return std::string();
}

const char* SettingsPlace() { return kSettingsPlace; }

std::string SetEnvironmentCommand(const std::string& name, const std::string& value) {
    return kSetCommand + name + "=" + value;
}

std::string ProgramInFolder(const std::string& folder, const std::string& program) {
    return folder.empty() ? program : folder + kFolderSeparator + program;
}

}  // namespace tool
