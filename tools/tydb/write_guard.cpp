#include "write_guard.h"

#include <filesystem>

#include "commands.h"
#include "lock_reader.h"
#include "platform.h"

namespace tool {

void CheckNoOtherComputersLock(const std::string& path, bool force) {
    if (force) return;
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path folder = fs::absolute(fs::path(platform::NativePath(path.c_str())), error).parent_path();
    if (error) return;  // no folder to look in: the open or create that follows fails on its own
    while (true) {
        // With its separator, the lock file's name is joined to the folder as it is.
        std::string directory = folder.string();
        if (directory.empty() || (directory.back() != '/' && directory.back() != '\\')) {
            directory += static_cast<char>(fs::path::preferred_separator);
        }
        const LockReport lock = ExamineLock(directory);
        if (lock.heldByAnother()) {
            Fail(1, "computer " + (lock.computer.empty() ? std::string("(no name)") : lock.computer) +
                        " holds the workstation lock " + platform::NativePath(lock.path.c_str()) +
                        (lock.held ? "" : " (whether it is live cannot be told)") + "; not writing to " + path +
                        " while it works there (--force writes anyway)");
        }
        if (!folder.has_relative_path()) return;  // the root was the last folder to look in
        folder = folder.parent_path();
    }
}

void AddForceFlag(CLI::App* command, bool* force, const std::string& also) {
    const std::string overrides =
        "even while another computer holds a workstation lock on the file's folder or a folder above it";
    command->add_flag("--force", *force, also.empty() ? "Write " + overrides : also + "; also write " + overrides);
}

}  // namespace tool
