// ini_backend.h: settings kept in one INI file.
//
// Readers read the file without a lock: writers never change it in place but write a new
// file beside it and rename that over it, so a reader sees either the old or the new text.
// Writers take "<file>.lock" with a deny-read-write sharing mode (released by the system
// when the writer ends, however it ends), so two writers cannot lose each other's changes.
#ifndef TYWREG_INI_BACKEND_H
#define TYWREG_INI_BACKEND_H

#include <string>

#include "settings_backend.h"

namespace tywreg {

class IniBackend : public SettingsBackend {
public:
    explicit IniBackend(std::string fileName);

    std::optional<std::string> ReadText(const SettingPath& path) override;
    std::optional<int32_t> ReadInteger(const SettingPath& path) override;
    int32_t WriteText(const SettingPath& path, const std::string& value) override;
    int32_t WriteInteger(const SettingPath& path, int32_t value) override;

private:
    std::string fileName_;
};

}  // namespace tywreg

#endif  // TYWREG_INI_BACKEND_H
