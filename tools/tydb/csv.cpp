#include "csv.h"

#include <utility>

namespace tool {

std::vector<CsvRow> ParseCsv(const std::string& text, char delimiter) {
    std::vector<CsvRow> rows;
    // Spreadsheets often start a UTF-8 file with a byte order mark; it is not part of the text.
    size_t at = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    int line = 1;
    // Skips to just after the end of the current line, counting it.
    auto skipLine = [&] {
        while (at < text.size() && text[at] != '\n') ++at;
        if (at < text.size()) {
            ++at;
            ++line;
        }
    };
    while (at < text.size()) {
        if (text[at] == '\n' || (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n')) {
            skipLine();
            continue;
        }
        CsvRow row;
        row.line = line;
        std::string field;
        bool rowDone = false;
        while (!rowDone) {
            field.clear();
            if (at < text.size() && text[at] == '"') {
                ++at;
                bool closed = false;
                while (at < text.size()) {
                    const char c = text[at++];
                    if (c == '"') {
                        if (at < text.size() && text[at] == '"') {
                            field += '"';
                            ++at;
                        } else {
                            closed = true;
                            break;
                        }
                    } else {
                        if (c == '\n') ++line;
                        field += c;
                    }
                }
                if (!closed) {
                    row.error = "a quoted field is never closed";
                    rows.push_back(std::move(row));
                    return rows;
                }
                bool lineEnd = at == text.size() || text[at] == '\n' ||
                               (text[at] == '\r' && (at + 1 == text.size() || text[at + 1] == '\n'));
                if (!lineEnd && text[at] != delimiter) {
                    row.error = "text after the closing quote of field " + std::to_string(row.fields.size() + 1);
                    skipLine();
                    break;
                }
            } else {
                const size_t start = at;
                while (at < text.size() && text[at] != delimiter && text[at] != '\n' &&
                       !(text[at] == '\r' && (at + 1 == text.size() || text[at + 1] == '\n'))) {
                    ++at;
                }
                field.assign(text, start, at - start);
            }
            row.fields.push_back(field);
            if (at < text.size() && text[at] == delimiter) {
                ++at;
            } else {
                if (at < text.size() && text[at] == '\r') ++at;
                if (at < text.size() && text[at] == '\n') {
                    ++at;
                    ++line;
                }
                rowDone = true;
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string CsvField(const std::string& value, char delimiter) {
    // A field that starts with the bytes of a byte order mark would lose them at the start of a
    // file, where a reader takes them for the mark.
    const bool quote = value.find_first_of(std::string("\"\r\n") + delimiter) != std::string::npos ||
                       (!value.empty() && (value.front() == ' ' || value.back() == ' ')) ||
                       value.rfind("\xEF\xBB\xBF", 0) == 0;
    if (!quote) return value;
    std::string out = "\"";
    for (char c : value) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

bool ParseDelimiter(const std::string& text, char* delimiter) {
    if (text == "tab" || text == "\\t") {
        *delimiter = '\t';
        return true;
    }
    if (text.size() != 1 || text[0] == '"' || text[0] == '\r' || text[0] == '\n') return false;
    *delimiter = text[0];
    return true;
}

std::string CsvLine(const std::vector<std::string>& fields, char delimiter) {
    // A row of one empty field must not become an empty line, which readers skip.
    if (fields.size() == 1 && fields[0].empty()) return "\"\"";
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += delimiter;
        line += CsvField(fields[i], delimiter);
    }
    return line;
}

}  // namespace tool
