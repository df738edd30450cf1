// registry_backend.cpp: the registry store of the Windows build.
//
// This folder is the settings store's own platform code: the registry exists only on Windows and
// only TyWReg uses it, so its calls live here, in the one file of TyWReg that includes
// <windows.h> and that only the Windows build compiles, rather than in the library's platform
// layer, which TyWReg shares with products that must never touch the registry.
#include "win32/registry_backend.h"

#include <windows.h>

#include <vector>

#include "tywreg.h"
#include "value_text.h"

namespace tywreg {

namespace {

// What one registry value holds, after the type has been looked at.
struct StoredValue {
    enum class Kind { kText, kInteger } kind = Kind::kText;
    std::string text;
    int32_t integer = 0;
};

HKEY RootKey(uint32_t root) {
    // The predefined keys are these numbers sign-extended to a handle.
    return reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<int32_t>(root)));
}

// "SOFTWARE\application\version[\section]", or nothing when the selection is incomplete: a
// key without application or version would land in the wrong place.
std::optional<std::string> SubKey(const SettingPath& path) {
    if (path.application.empty() || path.version.empty()) return std::nullopt;
    std::string key = "SOFTWARE\\" + path.application + "\\" + path.version;
    if (!path.section.empty()) key += "\\" + path.section;
    return key;
}

std::optional<StoredValue> Query(const SettingPath& path) {
    std::optional<std::string> subKey = SubKey(path);
    if (!subKey) return std::nullopt;
    HKEY key = nullptr;
    if (RegOpenKeyExA(RootKey(path.root), subKey->c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    // The size can change between the two queries when another process writes the value.
    std::optional<StoredValue> result;
    std::vector<char> data;
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(key, path.name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        // Room for a terminator the stored text may lack.
        data.assign(static_cast<size_t>(size) + 2, '\0');
        DWORD got = size;
        LONG rc = RegQueryValueExA(key, path.name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) break;
        if (type == REG_DWORD && got == sizeof(DWORD)) {
            DWORD number = 0;
            memcpy(&number, data.data(), sizeof number);
            result = StoredValue{StoredValue::Kind::kInteger, std::string(), static_cast<int32_t>(number)};
        } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
            // Stored texts may or may not end with their terminator; the text ends at the first.
            std::string text(data.data(), strnlen(data.data(), got));
            if (type == REG_EXPAND_SZ) {
                DWORD needed = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
                if (needed > 0) {
                    std::vector<char> expanded(needed + 1, '\0');
                    if (ExpandEnvironmentStringsA(text.c_str(), expanded.data(), needed) != 0) text = expanded.data();
                }
            }
            result = StoredValue{StoredValue::Kind::kText, std::move(text), 0};
        }
        break;
    }
    RegCloseKey(key);
    return result;
}

int32_t Store(const SettingPath& path, DWORD type, const BYTE* data, DWORD size) {
    std::optional<std::string> subKey = SubKey(path);
    if (!subKey || !IsStorablePath(path)) return TYWREG_ERROR_INVALID_PARAMETER;
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExA(RootKey(path.root), subKey->c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                              nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) return static_cast<int32_t>(rc);
    rc = RegSetValueExA(key, path.name.c_str(), 0, type, data, size);
    RegCloseKey(key);
    return static_cast<int32_t>(rc);
}

}  // namespace

std::optional<std::string> RegistryBackend::ReadText(const SettingPath& path) {
    std::optional<StoredValue> value = Query(path);
    if (!value) return std::nullopt;
    if (value->kind == StoredValue::Kind::kInteger) return FormatInteger(value->integer);
    return value->text;
}

std::optional<int32_t> RegistryBackend::ReadInteger(const SettingPath& path) {
    std::optional<StoredValue> value = Query(path);
    if (!value) return std::nullopt;
    if (value->kind == StoredValue::Kind::kInteger) return value->integer;
    return ParseInteger(value->text);
}

int32_t RegistryBackend::WriteText(const SettingPath& path, const std::string& value) {
    if (value.size() >= 0x7FFFFFFF) return TYWREG_ERROR_INVALID_PARAMETER;
    // The registry counts the terminator in a REG_SZ's size.
    return Store(path, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), static_cast<DWORD>(value.size() + 1));
}

int32_t RegistryBackend::WriteInteger(const SettingPath& path, int32_t value) {
    DWORD number = static_cast<DWORD>(value);
    return Store(path, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
}

}  // namespace tywreg
