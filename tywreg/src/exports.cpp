// exports.cpp: the six exports. They check their arguments, name the setting from the
// selection and the call, and leave storage to the backend. No exception leaves them: a
// failed allocation ends a read with its default and a write with an error.
#include <memory>
#include <optional>
#include <string>

#include "selection.h"
#include "settings_backend.h"
#include "tywreg.h"
#include "value_text.h"

namespace {

// A null section is the empty section; a null name names nothing.
std::optional<tywreg::SettingPath> PathFor(uint32_t root, const char* section, const char* name) {
    if (name == nullptr) return std::nullopt;
    tywreg::Selection selection = tywreg::CurrentSelection();
    tywreg::SettingPath path;
    path.root = root;
    path.application = std::move(selection.application);
    path.version = std::move(selection.version);
    path.section = section == nullptr ? std::string() : std::string(section);
    path.name = name;
    return path;
}

template <typename Write>
int32_t WriteSetting(uint32_t root, const char* section, const char* name, Write write) {
    try {
        std::optional<tywreg::SettingPath> path = PathFor(root, section, name);
        if (!path) return TYWREG_ERROR_INVALID_PARAMETER;
        std::unique_ptr<tywreg::SettingsBackend> backend = tywreg::OpenSettingsBackend();
        if (!backend) return TYWREG_ERROR_NOT_SUPPORTED;
        return write(*backend, *path);
    } catch (...) {
        return TYWREG_ERROR_WRITE_FAULT;
    }
}

template <typename Value>
std::optional<Value> ReadSetting(uint32_t root, const char* section, const char* name,
                                 std::optional<Value> (tywreg::SettingsBackend::*read)(const tywreg::SettingPath&)) {
    try {
        std::optional<tywreg::SettingPath> path = PathFor(root, section, name);
        if (!path) return std::nullopt;
        std::unique_ptr<tywreg::SettingsBackend> backend = tywreg::OpenSettingsBackend();
        if (!backend) return std::nullopt;
        return ((*backend).*read)(*path);
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace

extern "C" {

TYWREG_API int32_t TYWREG_CALL TyWRegSelect(const char* application, const char* version) {
    try {
        tywreg::SetSelection(application, version);
    } catch (...) {
        // Out of memory for two short names: the previous selection stays.
    }
    return 0;
}

TYWREG_API int32_t TYWREG_CALL TyWRegGetSelection(char* application, char* version) {
    try {
        tywreg::Selection selection = tywreg::CurrentSelection();
        tywreg::CopyToBuffer(selection.application, application, TYWREG_SELECTION_SIZE);
        tywreg::CopyToBuffer(selection.version, version, TYWREG_SELECTION_SIZE);
    } catch (...) {
        tywreg::CopyToBuffer(std::string(), application, TYWREG_SELECTION_SIZE);
        tywreg::CopyToBuffer(std::string(), version, TYWREG_SELECTION_SIZE);
    }
    return 0;
}

TYWREG_API int32_t TYWREG_CALL TyWRegWriteInt(uint32_t root, const char* section, const char* name, int32_t value) {
    return WriteSetting(root, section, name,
                        [value](tywreg::SettingsBackend& backend, const tywreg::SettingPath& path) {
                            return backend.WriteInteger(path, value);
                        });
}

TYWREG_API int32_t TYWREG_CALL TyWRegReadInt(uint32_t root, const char* section, const char* name,
                                             int32_t defaultValue) {
    return ReadSetting<int32_t>(root, section, name, &tywreg::SettingsBackend::ReadInteger).value_or(defaultValue);
}

TYWREG_API int32_t TYWREG_CALL TyWRegWriteString(uint32_t root, const char* section, const char* name,
                                                 const char* value) {
    if (value == nullptr) return TYWREG_ERROR_INVALID_PARAMETER;
    return WriteSetting(root, section, name,
                        [value](tywreg::SettingsBackend& backend, const tywreg::SettingPath& path) {
                            return backend.WriteText(path, value);
                        });
}

TYWREG_API int32_t TYWREG_CALL TyWRegReadString(uint32_t root, const char* section, const char* name,
                                                const char* defaultValue, char* buffer, int32_t bufferSize) {
    std::optional<std::string> value =
        ReadSetting<std::string>(root, section, name, &tywreg::SettingsBackend::ReadText);
    try {
        if (!value) value = defaultValue == nullptr ? std::string() : std::string(defaultValue);
        tywreg::CopyToBuffer(*value, buffer, bufferSize);
    } catch (...) {
        // No memory even for the default: an empty text is the only safe answer.
        tywreg::CopyToBuffer(std::string(), buffer, bufferSize);
    }
    return 0;
}

}  // extern "C"
