// settings.h: the record manager's settings.
//
// Each comes from the environment variable of its name or, when that is not set, from the
// settings store (TyWReg, loaded at run time where it can be: the record manager does without
// it) under HKEY_LOCAL_MACHINE, application "Pervasive", version "11", section "w3btrv7", with
// the same name, so that one registry or INI entry serves every workstation. The store is read
// once and again after Stop or Reset; the environment at every use.
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

// The settings store is read again at the next use.
void ReloadSettings();

}  // namespace w3b

#endif  // W3BTRV7_SETTINGS_H
