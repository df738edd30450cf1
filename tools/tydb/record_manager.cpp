#include "record_manager.h"

#include "commands.h"
#include "tydb.h"

namespace tool {
namespace {

// The name the library loads the record manager by.
constexpr const char* kRecordManagerLibrary = "w3btrv7.dll";
constexpr const char* kEntryPoint = "BTRCALL";

}  // namespace

RecordManager::RecordManager() {
    // The library's check puts the settings' folder in front of PATH, where the load looks.
    if (DbCheckEngine() != 0) return;
    library_ = platform::LoadLibraryByName(kRecordManagerLibrary);
    if (library_ == nullptr) return;
    entry_ = reinterpret_cast<BtrCallFunction>(platform::FindSymbol(library_, kEntryPoint));
}

BtrCallFunction RecordManager::RequireEntry() const {
    if (entry_ == nullptr) Fail(1, "record manager not found; name its folder with: tydb settings set PATH <folder>");
    return entry_;
}

void* RecordManager::Symbol(const char* name) const {
    return library_ != nullptr ? platform::FindSymbol(library_, name) : nullptr;
}

void* RecordManager::RequireSymbol(const char* name, const std::string& command) const {
    RequireEntry();
    void* entry = Symbol(name);
    if (entry == nullptr) {
        Fail(1, command + " is not available with this record manager: it exports no " + std::string(name));
    }
    return entry;
}

RecordManager::~RecordManager() {
    if (library_ != nullptr) platform::FreeLibraryHandle(library_);
}

}  // namespace tool
