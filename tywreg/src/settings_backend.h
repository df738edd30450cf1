// settings_backend.h: the storage behind the exports.
//
// The exports validate their arguments and build a SettingPath; a backend stores and finds
// values. The INI file backend serves every platform when TYWREG_FILE names a file, and
// POSIX always; the Windows registry backend takes its place on Windows otherwise. Integers
// and texts are separate calls because the registry keeps them as different types.
#ifndef TYWREG_SETTINGS_BACKEND_H
#define TYWREG_SETTINGS_BACKEND_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "setting_path.h"

namespace tywreg {

class SettingsBackend {
public:
    virtual ~SettingsBackend() = default;

    // The stored value, or nothing when the store, the key or the name is missing, or the
    // stored value is not of the asked kind.
    virtual std::optional<std::string> ReadText(const SettingPath& path) = 0;
    virtual std::optional<int32_t> ReadInteger(const SettingPath& path) = 0;

    // 0, or one of the TYWREG_ERROR_ codes. Every other value in the store stays as it was.
    virtual int32_t WriteText(const SettingPath& path, const std::string& value) = 0;
    virtual int32_t WriteInteger(const SettingPath& path, int32_t value) = 0;
};

// The backend for the current environment, or nullptr when this build has no store to use.
// The environment is looked at on every call, so a change of TYWREG_FILE takes effect at
// the next read or write.
std::unique_ptr<SettingsBackend> OpenSettingsBackend();

}  // namespace tywreg

#endif  // TYWREG_SETTINGS_BACKEND_H
