// share_mode.h: how the SQLite store keeps a data file: for processes of one computer, or for
// workstations that share its folder over the network.
//
// WAL mode needs memory shared between the processes that open the file, which only one
// computer has; over a network file system it silently stops excluding readers from writers.
// There the store keeps a rollback journal, maps no memory, and learns of other workstations'
// commits through the file's byte-range locks, as SQLite does in that mode.
#ifndef W3BTRV7_STORE_SQLITE_SHARE_MODE_H
#define W3BTRV7_STORE_SQLITE_SHARE_MODE_H

#include <string>

namespace w3b {

enum class ShareMode { kOneComputer, kNetworkShare };

struct ShareModeChoice {
    ShareMode mode = ShareMode::kOneComputer;
    std::string reason;  // for people: the setting or the file system that decided
};

// The mode of the data file at `path`: a folder the settings W3BTRV7_NETWORK_FOLDERS or
// W3BTRV7_LOCAL_FOLDERS name (the file's folder or one above it, the closest naming wins),
// else what the platform tells of the file system that holds it.
ShareModeChoice ChooseShareMode(const std::string& path);

}  // namespace w3b

#endif  // W3BTRV7_STORE_SQLITE_SHARE_MODE_H
