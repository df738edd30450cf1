#include "csv.h"

namespace tool {

CsvReader::CsvReader(const std::string& text, char delimiter) : text_(text), delimiter_(delimiter) {
    // Spreadsheets often start a UTF-8 file with a byte order mark; it is not part of the text.
    at_ = text_.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
}

void CsvReader::SkipLine() {
    while (at_ < text_.size() && text_[at_] != '\n') ++at_;
    if (at_ < text_.size()) {
        ++at_;
        ++line_;
    }
}

bool CsvReader::AtLineEnd(size_t at) const {
    return at == text_.size() || text_[at] == '\n' ||
           (text_[at] == '\r' && (at + 1 == text_.size() || text_[at + 1] == '\n'));
}

bool CsvReader::Next(CsvRow* row) {
    const std::string& text = text_;
    // Empty lines hold no row.
    while (at_ < text.size() &&
           (text[at_] == '\n' || (text[at_] == '\r' && at_ + 1 < text.size() && text[at_ + 1] == '\n'))) {
        SkipLine();
    }
    if (at_ >= text.size() || finished_) return false;
    row->line = line_;
    row->error.clear();
    size_t used = 0;
    bool rowDone = false;
    while (!rowDone) {
        // The row's field strings are reused from one row to the next.
        if (row->fields.size() <= used) row->fields.emplace_back();
        std::string& field = row->fields[used];
        field.clear();
        if (at_ < text.size() && text[at_] == '"') {
            ++at_;
            bool closed = false;
            while (at_ < text.size()) {
                const char c = text[at_++];
                if (c == '"') {
                    if (at_ < text.size() && text[at_] == '"') {
                        field += '"';
                        ++at_;
                    } else {
                        closed = true;
                        break;
                    }
                } else {
                    if (c == '\n') ++line_;
                    field += c;
                }
            }
            if (!closed) {
                row->fields.resize(used);
                row->error = "a quoted field is never closed";
                finished_ = true;
                return true;
            }
            if (!AtLineEnd(at_) && text[at_] != delimiter_) {
                row->fields.resize(used);
                row->error = "text after the closing quote of field " + std::to_string(used + 1);
                SkipLine();
                return true;
            }
        } else {
            const size_t start = at_;
            while (at_ < text.size() && text[at_] != delimiter_ && !AtLineEnd(at_)) ++at_;
            field.assign(text, start, at_ - start);
        }
        ++used;
        if (at_ < text.size() && text[at_] == delimiter_) {
            ++at_;
        } else {
            if (at_ < text.size() && text[at_] == '\r') ++at_;
            if (at_ < text.size() && text[at_] == '\n') {
                ++at_;
                ++line_;
            }
            rowDone = true;
        }
    }
    row->fields.resize(used);
    return true;
}

std::vector<CsvRow> ParseCsv(const std::string& text, char delimiter) {
    std::vector<CsvRow> rows;
    CsvReader reader(text, delimiter);
    CsvRow row;
    while (reader.Next(&row)) rows.push_back(row);
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
