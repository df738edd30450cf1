// ini_document.cpp: reading and changing a settings file without disturbing its other lines.
#include "ini_document.h"

#include "setting_path.h"

namespace tywreg {

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

bool HasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

}  // namespace

IniDocument IniDocument::Parse(const std::string& text) {
    IniDocument document;
    if (text.empty()) return document;

    size_t firstEnd = text.find('\n');
    if (firstEnd != std::string::npos && firstEnd > 0 && text[firstEnd - 1] == '\r') {
        document.lineEnd_ = "\r\n";
    }
    document.endsWithLineEnd_ = text.back() == '\n';

    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string raw = text.substr(start, end - start);
        Line line;
        // An editor may put a byte order mark in front; it must not hide the first header.
        if (document.lines_.empty() && raw.compare(0, 3, kByteOrderMark) == 0) {
            line = ParseLine(raw.substr(3));
            line.raw = raw;
        } else {
            line = ParseLine(raw);
        }
        document.lines_.push_back(std::move(line));
        start = end + 1;
    }
    return document;
}

IniDocument::Line IniDocument::ParseLine(std::string raw) {
    Line line;
    std::string text = raw;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    line.raw = std::move(raw);

    std::string trimmed = Trim(text);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') return line;
    if (trimmed.front() == '[') {
        if (trimmed.size() >= 2 && trimmed.back() == ']') {
            line.kind = LineKind::kHeader;
            line.key = trimmed.substr(1, trimmed.size() - 2);
        }
        return line;
    }
    size_t equals = text.find('=');
    if (equals == std::string::npos) return line;
    std::string name = Trim(text.substr(0, equals));
    if (name.empty()) return line;
    line.kind = LineKind::kEntry;
    line.name = std::move(name);
    line.value = text.substr(equals + 1);
    return line;
}

std::optional<std::string> IniDocument::Find(const std::string& key, const std::string& name) const {
    bool inSection = false;
    for (const Line& line : lines_) {
        if (line.kind == LineKind::kHeader) {
            inSection = EqualNoCase(line.key, key);
        } else if (inSection && line.kind == LineKind::kEntry && EqualNoCase(line.name, name)) {
            return line.value;
        }
    }
    return std::nullopt;
}

bool IniDocument::CanHold(const std::string& key, const std::string& name, const std::string& value) {
    if (HasLineBreak(key) || HasLineBreak(name) || HasLineBreak(value)) return false;
    if (name.empty() || Trim(name) != name) return false;
    if (name.find('=') != std::string::npos) return false;
    if (name.front() == ';' || name.front() == '#' || name.front() == '[') return false;
    return true;
}

void IniDocument::EndLastLine(const std::string& carriageReturn) {
    // A last line that already ends in its carriage return (a CR LF file cut after the CR) gets
    // only the line feed: a second CR would become part of its value.
    if (!endsWithLineEnd_ && !lines_.empty()) {
        std::string& raw = lines_.back().raw;
        if (raw.empty() || raw.back() != '\r') raw += carriageReturn;
    }
    endsWithLineEnd_ = true;
}

void IniDocument::Set(const std::string& key, const std::string& name, const std::string& value) {
    const std::string carriageReturn = lineEnd_ == "\r\n" ? "\r" : "";

    bool inSection = false;
    for (Line& line : lines_) {
        if (line.kind == LineKind::kHeader) {
            inSection = EqualNoCase(line.key, key);
        } else if (inSection && line.kind == LineKind::kEntry && EqualNoCase(line.name, name)) {
            // Keep the name as the file spells it, and any indentation, and replace only
            // what follows the '='.
            size_t equals = line.raw.find('=');
            bool hadCarriageReturn = !line.raw.empty() && line.raw.back() == '\r';
            line.raw = line.raw.substr(0, equals + 1) + value + (hadCarriageReturn ? "\r" : "");
            line.value = value;
            return;
        }
    }

    Line entry = ParseLine(name + "=" + value + carriageReturn);
    std::optional<size_t> at = FindInsertionPoint(key);
    if (at) {
        if (*at == lines_.size()) {
            EndLastLine(carriageReturn);
        }
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*at), std::move(entry));
        return;
    }

    if (!lines_.empty()) {
        EndLastLine(carriageReturn);
        if (!Trim(lines_.back().raw).empty() && lines_.back().raw != "\r") {
            lines_.push_back(ParseLine(carriageReturn));
        }
    }
    lines_.push_back(ParseLine("[" + key + "]" + carriageReturn));
    lines_.push_back(std::move(entry));
    endsWithLineEnd_ = true;
}

std::optional<size_t> IniDocument::FindInsertionPoint(const std::string& key) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind != LineKind::kHeader || !EqualNoCase(lines_[i].key, key)) continue;
        size_t after = i + 1;
        for (size_t j = i + 1; j < lines_.size() && lines_[j].kind != LineKind::kHeader; ++j) {
            if (lines_[j].kind == LineKind::kEntry) after = j + 1;
        }
        return after;
    }
    return std::nullopt;
}

std::string IniDocument::Serialize() const {
    std::string text;
    for (size_t i = 0; i < lines_.size(); ++i) {
        text += lines_[i].raw;
        if (i + 1 < lines_.size() || endsWithLineEnd_) text += '\n';
    }
    return text;
}

}  // namespace tywreg
