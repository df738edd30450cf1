// index_log_reader.h: the entries of an index log "tysupidx.log" as the tool lists them.
//
// An entry is a line with its action ("BUILDING NEW KEY", ...), then one "  Label....: value"
// line a field, then an empty line. Lines end in CR LF; a bare LF is read the same way.
#ifndef TYDB_TOOLS_INDEX_LOG_READER_H
#define TYDB_TOOLS_INDEX_LOG_READER_H

#include <string>
#include <utility>
#include <vector>

namespace tool {

struct IndexLogEntry {
    int line = 0;  // line of the log on which the entry starts, from 1
    std::string action;
    // Label (dots dropped) and value, in the order the log has them.
    std::vector<std::pair<std::string, std::string>> fields;

    // The value of the field labelled `label`; "" when the entry has none.
    std::string Field(const std::string& label) const;
};

struct IndexLog {
    std::vector<IndexLogEntry> entries;
    int unreadableLines = 0;  // lines that are neither an action nor a field of one
};

// The log path the library uses in data directory `directory`: the directory, a backslash
// unless it already ends in a separator, "tysupidx.log".
std::string IndexLogPathInDirectory(const std::string& directory);

IndexLog ParseIndexLog(const std::string& text);

// The short word people filter by: "build", "activate", "deactivate", "purge"; else "".
std::string ActionWord(const std::string& action);

}  // namespace tool

#endif  // TYDB_TOOLS_INDEX_LOG_READER_H
