// registry_backend.h: settings kept in the Windows registry (Windows builds only).
//
// HKEY_<root>\SOFTWARE\<application>\<version>[\<section>], each setting one value: texts as
// REG_SZ, integers as REG_DWORD. A reader asking for the other kind still gets the value: an
// integer stored as text is parsed, a DWORD asked for as text gives its decimal text, since
// installers and people editing the registry by hand do not always pick the type we would.
#ifndef TYWREG_WIN32_REGISTRY_BACKEND_H
#define TYWREG_WIN32_REGISTRY_BACKEND_H

#include "settings_backend.h"

namespace tywreg {

class RegistryBackend : public SettingsBackend {
public:
    std::optional<std::string> ReadText(const SettingPath& path) override;
    std::optional<int32_t> ReadInteger(const SettingPath& path) override;
    int32_t WriteText(const SettingPath& path, const std::string& value) override;
    int32_t WriteInteger(const SettingPath& path, int32_t value) override;
};

}  // namespace tywreg

#endif  // TYWREG_WIN32_REGISTRY_BACKEND_H
