#include "store/sqlite/share_mode.h"

#include "platform.h"
#include "settings.h"
#include "store/sqlite/connection.h"

namespace w3b {

namespace {

// A full path in the form both sides of a comparison take: SQLite's full name, separators as
// '/', on Windows in one case (its names are case-blind).
std::string Comparable(const std::string& path) {
    std::string text = DatabaseName(path);
    for (char& c : text) {
        if (c == '\\') c = '/';
#ifdef _WIN32
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
#endif
    }
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

// The length of the longest folder of the ';'-separated `list` that holds `file`, or 0.
size_t ClosestFolder(const std::string& list, const std::string& file) {
    size_t best = 0;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        std::string entry = list.substr(start, end - start);
        start = end + 1;
        if (entry.find_first_not_of(" \t") == std::string::npos) continue;
        std::string folder = Comparable(entry);
        const bool inside = file.size() > folder.size() && file.compare(0, folder.size(), folder) == 0 &&
                            (folder.back() == '/' || file[folder.size()] == '/');
        if (inside && folder.size() > best) best = folder.size();
    }
    return best;
}

}  // namespace

ShareModeChoice ChooseShareMode(const std::string& path) {
    const std::string file = Comparable(path);
    const size_t network = ClosestFolder(NetworkFoldersSetting(), file);
    const size_t local = ClosestFolder(LocalFoldersSetting(), file);
    // Named in both at the same depth: the network mode, which is safe on one computer too.
    if (network != 0 && network >= local) {
        return {ShareMode::kNetworkShare, "its folder is named in W3BTRV7_NETWORK_FOLDERS"};
    }
    if (local != 0) return {ShareMode::kOneComputer, "its folder is named in W3BTRV7_LOCAL_FOLDERS"};
    if (platform::IsOnNetworkFileSystem(path.c_str())) {
        return {ShareMode::kNetworkShare, "its folder lies on a network file system"};
    }
    return {ShareMode::kOneComputer, "its folder lies on a local file system"};
}

}  // namespace w3b
