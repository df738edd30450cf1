// text_compare.h: the library's case-blind comparisons of paths and directory names.
//
// Directory slots and the lock directory compare without regard to case, the way the
// application's file system does; only ASCII letters fold, so the result never depends on
// the process's locale.
#ifndef TYDB_DBAPI_TEXT_COMPARE_H
#define TYDB_DBAPI_TEXT_COMPARE_H

#include <string_view>

namespace tydb {

inline char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

inline bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

// True when `text` begins with `prefix`; a text shorter than the prefix does not.
inline bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualIgnoringCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace tydb

#endif  // TYDB_DBAPI_TEXT_COMPARE_H
