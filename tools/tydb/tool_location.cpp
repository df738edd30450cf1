#include "tool_location.h"

#include <filesystem>

namespace tool {
namespace {

#if defined(_WIN32)
constexpr const char* kRecordManagerFile = "w3btrv7.dll";
#else
constexpr const char* kRecordManagerFile = "libw3btrv7.so";
#endif

}  // namespace

std::string ToolFolder() {
    // The process file system names the executable however the tool was started (a relative
    // path, a link, the search path).
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return std::string();
    return executable.parent_path().string();
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

}  // namespace tool
