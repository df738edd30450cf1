// csv.h: comma-separated rows as spreadsheets write them: fields may be quoted with '"', a
// quote inside a quoted field is doubled, and a quoted field may hold commas and line breaks.
// Another delimiter (';', a tab) may stand for the comma.
#ifndef TYDB_TOOLS_CSV_H
#define TYDB_TOOLS_CSV_H

#include <string>
#include <vector>

namespace tool {

struct CsvRow {
    int line = 0;  // line of the text on which the row starts, from 1
    std::vector<std::string> fields;
    std::string error;  // why the row could not be read; fields are then incomplete
};

// Every row of `text`; empty lines and a leading UTF-8 byte order mark are skipped; lines may end
// in LF or CR LF. A malformed row (text after a closing quote, a
// quote never closed) is returned with its error and reading goes on with the next line.
std::vector<CsvRow> ParseCsv(const std::string& text, char delimiter = ',');

// The same rows one at a time, so that a large file is never held as rows all at once.
class CsvReader {
public:
    // `text` must outlive the reader.
    CsvReader(const std::string& text, char delimiter = ',');
    // The next row into `row` (whose strings are reused); false after the last.
    bool Next(CsvRow* row);
    // How far into the text the reader has come, in bytes.
    size_t Offset() const { return at_; }

private:
    void SkipLine();
    bool AtLineEnd(size_t at) const;

    const std::string& text_;
    char delimiter_;
    size_t at_ = 0;
    int line_ = 1;
    bool finished_ = false;
};

// One field as CSV: quoted when it holds the delimiter, a quote, line break or edge blank, or starts
// with the bytes of a byte order mark.
std::string CsvField(const std::string& value, char delimiter = ',');

// The delimiter a person names: one character other than a quote or a line break, or "tab";
// false for anything else.
bool ParseDelimiter(const std::string& text, char* delimiter);

// One row as a CSV line, without its line end.
std::string CsvLine(const std::vector<std::string>& fields, char delimiter = ',');

}  // namespace tool

#endif  // TYDB_TOOLS_CSV_H
