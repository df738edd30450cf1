// Set Directory and Get Directory: the directory this process's relative paths start from.
#include <cctype>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "ops/call.h"

namespace w3b {

namespace {

// The drive a directory lies on, 1 for A: ..., or 0 where paths have no drive letters.
int DriveOf(const std::filesystem::path& directory) {
    std::string root = directory.root_name().string();
    if (root.size() != 2 || root[1] != ':' || !std::isalpha(static_cast<unsigned char>(root[0]))) return 0;
    return std::toupper(static_cast<unsigned char>(root[0])) - 'A' + 1;
}

}  // namespace

int16_t DoSetDirectory(Call& call) {
    std::string path;
    if (int16_t status = PathFromKeyBuffer(call, &path); status != btr::kStatusSuccess) return status;
    std::error_code error;
    if (!std::filesystem::is_directory(path, error)) return btr::kStatusDirectoryError;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) return btr::kStatusDirectoryError;
    Engine::Get().SetDirectory(absolute.lexically_normal().string());
    return btr::kStatusSuccess;
}

// Key number 0 asks for the current directory; another, for the current directory of that
// drive (1 = A:), which is known only when it is the drive of the current directory.
int16_t DoGetDirectory(Call& call) {
    std::error_code error;
    std::filesystem::path directory = Engine::Get().Directory();
    if (directory.empty()) directory = std::filesystem::current_path(error);
    if (error || directory.empty()) return btr::kStatusDirectoryError;
    if (call.keyNumber != 0 && call.keyNumber != DriveOf(directory)) return btr::kStatusDirectoryError;
    std::string text = directory.string();
    if (!call.KeyFits(text.size() + 1)) return btr::kStatusKeyBufferTooShort;
    std::memcpy(call.key, text.c_str(), text.size() + 1);
    return btr::kStatusSuccess;
}

}  // namespace w3b
