#include "library_settings.h"

#include "tywreg.h"

namespace tydb {
namespace {

// Saves the store's selection, selects the library's own, and restores on destruction.
class SelectionScope {
public:
    SelectionScope() {
        TyWRegGetSelection(savedApplication_, savedVersion_);
        TyWRegSelect(kSettingsApplication, kSettingsVersion);
    }
    ~SelectionScope() { TyWRegSelect(savedApplication_, savedVersion_); }
    SelectionScope(const SelectionScope&) = delete;
    SelectionScope& operator=(const SelectionScope&) = delete;

private:
    char savedApplication_[TYWREG_SELECTION_SIZE] = {};
    char savedVersion_[TYWREG_SELECTION_SIZE] = {};
};

}  // namespace

int32_t ReadSettingInt(const char* section, const char* name, int32_t defaultValue) {
    SelectionScope scope;
    return TyWRegReadInt(kSettingsRoot, section, name, defaultValue);
}

void ReadSettingString(const char* section, const char* name, const char* defaultValue, char* buffer, int32_t size) {
    SelectionScope scope;
    TyWRegReadString(kSettingsRoot, section, name, defaultValue, buffer, size);
}

}  // namespace tydb
