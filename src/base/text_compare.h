// text_compare.h: the library's case-blind comparisons of paths and directory names.
//
// Directory slots and the lock directory compare without regard to case, the way the
// application's file system does. On POSIX '\' also equals '/', since the application's paths
// reach the file system with '/' and both spellings name one directory there: a file must not
// escape the lock or its shared entry by the spelling of its path. Only ASCII letters fold, so
// the result never depends on the process's locale.
#ifndef TYDB_BASE_TEXT_COMPARE_H
#define TYDB_BASE_TEXT_COMPARE_H

#include <string_view>

#include "platform.h"

namespace tydb {

inline char FoldPathCharacter(char c, bool separatorsEitherWay) {
    if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
    return separatorsEitherWay && c == '/' ? '\\' : c;
}

inline bool SamePathText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    const bool separatorsEitherWay = platform::SeparatorsSpelledEitherWay();
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldPathCharacter(a[i], separatorsEitherWay) != FoldPathCharacter(b[i], separatorsEitherWay)) return false;
    }
    return true;
}

// True when `text` begins with `prefix` in that sense; a shorter text does not.
inline bool PathTextStartsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && SamePathText(text.substr(0, prefix.size()), prefix);
}

}  // namespace tydb

#endif  // TYDB_BASE_TEXT_COMPARE_H
