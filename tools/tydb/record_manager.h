// record_manager.h: the record manager itself, for the commands that need more than the
// library's exports give: `import` creates a file with its own collating sequences and inserts
// in transactions through BTRCALL; `server` uses the administration entry points beside it.
#ifndef TYDB_TOOLS_RECORD_MANAGER_H
#define TYDB_TOOLS_RECORD_MANAGER_H

#include <string>

#include "btrcall.h"
#include "platform.h"

namespace tool {

// The record manager the library loads (found through the settings' PATH), held while the
// object lives. entry() is null when it cannot be loaded.
class RecordManager {
public:
    RecordManager();
    ~RecordManager();
    RecordManager(const RecordManager&) = delete;
    RecordManager& operator=(const RecordManager&) = delete;

    BtrCallFunction entry() const { return entry_; }
    // The entry point, or the command ends (exit 1) saying how to name the record manager's folder.
    BtrCallFunction RequireEntry() const;
    // Another export of the record manager, or null when it has none of that name.
    void* Symbol(const char* name) const;
    // An administration entry point (w3btrv7_admin.h), or the command ends (exit 1) saying that
    // `command` needs it: another maker's record manager has none.
    void* RequireSymbol(const char* name, const std::string& command) const;

private:
    platform::LibraryHandle library_ = nullptr;
    BtrCallFunction entry_ = nullptr;
};

}  // namespace tool

#endif  // TYDB_TOOLS_RECORD_MANAGER_H
