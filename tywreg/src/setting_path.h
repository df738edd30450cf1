// setting_path.h: where one setting lives, independent of the storage behind it.
#ifndef TYWREG_SETTING_PATH_H
#define TYWREG_SETTING_PATH_H

#include <cstdint>
#include <string>

namespace tywreg {

// Root, application and version come from the caller's selection; section and name from
// the call. The section may be empty (the values directly under the version).
struct SettingPath {
    uint32_t root = 0;
    std::string application;
    std::string version;
    std::string section;
    std::string name;
};

// The root's registry name ("HKEY_LOCAL_MACHINE"), or "0x%08X" for a number that names none.
std::string RootName(uint32_t root);

// The key of the path without its value name: "HKEY_LOCAL_MACHINE\Pervasive\11" for the
// empty section, "HKEY_LOCAL_MACHINE\Pervasive\11\Settings" otherwise.
std::string KeyName(const SettingPath& path);

// True when a store can hold the path and find it again: no component holds a line break,
// and the name is not empty and has no blank at either end.
bool IsStorablePath(const SettingPath& path);

// True when `value` can be stored as one line.
bool IsStorableValue(const std::string& value);

// Compares two names the way the registry does for plain ASCII: letters without regard to
// case, every other byte exactly.
bool EqualNoCase(const std::string& a, const std::string& b);

}  // namespace tywreg

#endif  // TYWREG_SETTING_PATH_H
