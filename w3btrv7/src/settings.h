// settings.h: the record manager's settings, read from environment variables.
#ifndef W3BTRV7_SETTINGS_H
#define W3BTRV7_SETTINGS_H

#include <cstdint>
#include <string>

namespace w3b {

// W3BTRV7_FILE_VERSION ("7.0" by default): the format version byte that files created from now
// on report through Stat, e.g. 0x70 for "7.0" and 0x60 for "6.0". An unreadable value gives the
// default.
uint8_t FileVersionSetting();

// Parses "M.m" into (M << 4) | m; 0 when the text is not such a version.
uint8_t ParseFileVersion(const std::string& text);

// W3BTRV7_SYNC=full: every completed write is on disk before the call returns.
bool FullSyncSetting();

// W3BTRV7_NETWORK_FOLDERS and W3BTRV7_LOCAL_FOLDERS: folders (separated by ';') whose data
// files are kept for workstations sharing them over the network, or for one computer, whatever
// the file system they lie on says.
std::string NetworkFoldersSetting();
std::string LocalFoldersSetting();

// W3BTRV7_TRACE: the file that receives one line per call, or empty.
std::string TraceFileSetting();

}  // namespace w3b

#endif  // W3BTRV7_SETTINGS_H
