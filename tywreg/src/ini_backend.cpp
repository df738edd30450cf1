// ini_backend.cpp: settings as "name=value" lines under "[root\application\version\section]".
#include "ini_backend.h"

#include <utility>

#include "ini_document.h"
#include "ini_file.h"
#include "tywreg.h"
#include "value_text.h"

namespace tywreg {

IniBackend::IniBackend(std::string fileName) : fileName_(std::move(fileName)) {}

std::optional<std::string> IniBackend::ReadText(const SettingPath& path) {
    std::string text;
    if (LoadFile(fileName_, &text) != LoadResult::kOk) return std::nullopt;
    return IniDocument::Parse(text).Find(KeyName(path), path.name);
}

std::optional<int32_t> IniBackend::ReadInteger(const SettingPath& path) {
    std::optional<std::string> text = ReadText(path);
    if (!text) return std::nullopt;
    return ParseInteger(*text);
}

int32_t IniBackend::WriteText(const SettingPath& path, const std::string& value) {
    const std::string key = KeyName(path);
    if (!IsStorablePath(path) || !IsStorableValue(value) || !IniDocument::CanHold(key, path.name, value)) {
        return TYWREG_ERROR_INVALID_PARAMETER;
    }
    return ReplaceFileLocked(fileName_, [&](const std::string& current) {
        IniDocument document = IniDocument::Parse(current);
        document.Set(key, path.name, value);
        return document.Serialize();
    });
}

int32_t IniBackend::WriteInteger(const SettingPath& path, int32_t value) {
    return WriteText(path, FormatInteger(value));
}

}  // namespace tywreg
