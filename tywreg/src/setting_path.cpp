// setting_path.cpp: naming of settings and the rules for what may be stored.
#include "setting_path.h"

#include <cstdio>

namespace tywreg {

namespace {

bool HasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string RootName(uint32_t root) {
    switch (root) {
        case 0x80000000u: return "HKEY_CLASSES_ROOT";
        case 0x80000001u: return "HKEY_CURRENT_USER";
        case 0x80000002u: return "HKEY_LOCAL_MACHINE";
        case 0x80000003u: return "HKEY_USERS";
        default: {
            char text[16];
            std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(root));
            return text;
        }
    }
}

std::string KeyName(const SettingPath& path) {
    std::string key = RootName(path.root);
    key += '\\';
    key += path.application;
    key += '\\';
    key += path.version;
    if (!path.section.empty()) {
        key += '\\';
        key += path.section;
    }
    return key;
}

bool IsStorablePath(const SettingPath& path) {
    if (HasLineBreak(path.application) || HasLineBreak(path.version) || HasLineBreak(path.section) ||
        HasLineBreak(path.name)) {
        return false;
    }
    if (path.name.empty() || IsBlank(path.name.front()) || IsBlank(path.name.back())) return false;
    return true;
}

bool IsStorableValue(const std::string& value) { return !HasLineBreak(value); }

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    }
    return true;
}

}  // namespace tywreg
