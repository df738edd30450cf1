// selection.h: the application and version that reads and writes refer to.
//
// Process-wide and initially empty. Guarded, so that threads that each save, select and
// restore see whole names, although interleaved sequences still see each other's choice.
#ifndef TYWREG_SELECTION_H
#define TYWREG_SELECTION_H

#include <string>

namespace tywreg {

struct Selection {
    std::string application;
    std::string version;
};

// Null counts as empty; each name keeps at most kSelectionNameMax bytes.
void SetSelection(const char* application, const char* version);

Selection CurrentSelection();

// The longest name that fits the caller's 128-byte buffers with its terminator.
constexpr size_t kSelectionNameMax = 127;

}  // namespace tywreg

#endif  // TYWREG_SELECTION_H
