// library_settings.h: the library's reads from the settings store.
//
// Every read selects application "Pervasive", version "11" and puts the caller's previous
// selection back afterwards, so the application's own use of the store is undisturbed.
#ifndef TYDB_BASE_LIBRARY_SETTINGS_H
#define TYDB_BASE_LIBRARY_SETTINGS_H

#include <cstdint>

#include "tydb_files.h"

namespace tydb {

inline constexpr const char* kSettingsApplication = TYDB_SETTINGS_APPLICATION;
inline constexpr const char* kSettingsVersion = TYDB_SETTINGS_VERSION;
inline constexpr uint32_t kSettingsRoot = 0x80000002u;  // HKEY_LOCAL_MACHINE
inline constexpr const char* kSettingsSection = TYDB_SETTINGS_SECTION;

// The integer `name` in `section`, or `defaultValue` when the store has none.
int32_t ReadSettingInt(const char* section, const char* name, int32_t defaultValue);

// The text `name` in `section` (or `defaultValue`) into `buffer`, NUL-terminated within `size`.
void ReadSettingString(const char* section, const char* name, const char* defaultValue, char* buffer, int32_t size);

}  // namespace tydb

#endif  // TYDB_BASE_LIBRARY_SETTINGS_H
