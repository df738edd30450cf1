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
