// selection.cpp: the process-wide selection.
#include "selection.h"

#include <cstring>
#include <mutex>

namespace tywreg {

namespace {

std::mutex& SelectionMutex() {
    static std::mutex mutex;
    return mutex;
}

Selection& SelectionState() {
    static Selection selection;
    return selection;
}

// Cut to what GetSelection can hand back, so a saved and restored selection names exactly
// the values it named before.
std::string BoundedName(const char* name) {
    if (name == nullptr) return std::string();
    size_t length = 0;
    while (length < kSelectionNameMax && name[length] != '\0') ++length;
    return std::string(name, length);
}

}  // namespace

void SetSelection(const char* application, const char* version) {
    std::string boundedApplication = BoundedName(application);
    std::string boundedVersion = BoundedName(version);
    std::lock_guard<std::mutex> guard(SelectionMutex());
    SelectionState().application = std::move(boundedApplication);
    SelectionState().version = std::move(boundedVersion);
}

Selection CurrentSelection() {
    std::lock_guard<std::mutex> guard(SelectionMutex());
    return SelectionState();
}

}  // namespace tywreg
