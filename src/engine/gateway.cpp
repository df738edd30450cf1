#include "gateway.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "heap_block.h"
#include "library_settings.h"
#include "platform.h"
#include "text_compare.h"

namespace tydb {
namespace {

// The loaded record manager: both set together and cleared together.
platform::LibraryHandle engineLibrary = nullptr;
BtrCallFunction engineEntry = nullptr;

bool SameFolderName(std::string_view a, std::string_view b) {
    return platform::FileNamesIgnoreCase() ? SamePathText(a, b) : a == b;
}

// Whether `folder` is one of the folders of the PATH value `list`: a whole element of it, so
// that a longer folder name that merely contains it (/opt/w3b-old for /opt/w3b) does not count.
bool PathListHasFolder(std::string_view list, std::string_view folder) {
    const char separator = platform::PathListSeparator();
    for (size_t start = 0;;) {
        const size_t end = list.find(separator, start);
        const std::string_view element = list.substr(start, end == std::string_view::npos ? end : end - start);
        if (SameFolderName(element, folder)) return true;
        if (end == std::string_view::npos) return false;
        start = end + 1;
    }
}

}  // namespace

void ReadEngineDirectory(char* buffer) {
    ReadSettingString("", TYDB_SETTING_ENGINE_FOLDER, "", buffer, kEngineDirectorySize);
}

void PrependToPath(const char* directory) {
    const size_t directoryLength = std::strlen(directory);
    if (directoryLength == 0) return;

    // The size the environment reports includes the terminator; 0 when PATH is unset.
    const uint32_t pathSize = platform::GetEnvironment("PATH", nullptr, 0);
    const size_t size = directoryLength + pathSize + 2;
    HeapBlock current(1, static_cast<int32_t>(size));
    if (!current) return;
    if (pathSize > 0) platform::GetEnvironment("PATH", current.as<char>(), static_cast<uint32_t>(size));

    // Already one of PATH's folders, wherever it stands: leave PATH alone.
    if (PathListHasFolder(current.as<char>(), directory)) return;

    // Directory, separator, old value and terminator fit `size` bytes exactly.
    HeapBlock updated(1, static_cast<int32_t>(size));
    if (!updated) return;
    if (pathSize == 0) {
        std::snprintf(updated.as<char>(), size, "%s", directory);
    } else {
        std::snprintf(updated.as<char>(), size, "%s%c%s", directory, platform::PathListSeparator(), current.as<char>());
    }
    platform::SetEnvironment("PATH", updated.as<char>());
}

BtrCallFunction LoadEngine() {
    if (engineLibrary != nullptr) return engineEntry;

    char directory[kEngineDirectorySize] = {};
    ReadEngineDirectory(directory);
    directory[kEngineDirectorySize - 1] = '\0';
    PrependToPath(directory);

    // Nothing is remembered on failure, so the next request reads the settings and tries again.
    platform::LibraryHandle library = platform::LoadLibraryByName(kEngineLibraryName);
    if (library == nullptr) return nullptr;
    auto entry = reinterpret_cast<BtrCallFunction>(platform::FindSymbol(library, kEngineEntryPoint));
    if (entry == nullptr) {
        platform::FreeLibraryHandle(library);
        return nullptr;
    }
    engineLibrary = library;
    engineEntry = entry;
    return engineEntry;
}

void UnloadEngine() {
    if (engineLibrary == nullptr) return;
    platform::FreeLibraryHandle(engineLibrary);
    engineLibrary = nullptr;
    engineEntry = nullptr;
}

int16_t CallEngine(uint16_t operation, void* positionBlock, void* dataBuffer, uint16_t* dataLength, void* keyBuffer,
                   int8_t keyNumber) {
    uint32_t length = dataLength != nullptr ? *dataLength : 0;
    BtrCallFunction entry = LoadEngine();
    if (entry == nullptr) return btr::kStatusRecordManagerInactive;

    const int16_t status =
        entry(operation, positionBlock, dataBuffer, &length, keyBuffer, kGatewayKeyLength, keyNumber);
    // A Stop ends the record manager's use by this process: load it afresh next time.
    if (operation == btr::kOpStop) UnloadEngine();
    if (dataLength != nullptr) *dataLength = static_cast<uint16_t>(length & 0xFFFFu);
    return status;
}

}  // namespace tydb
