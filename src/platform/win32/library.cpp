// Libraries through the Windows loader, whose search already includes PATH.
#include "platform.h"
#include "windows_api.h"

namespace platform {

LibraryHandle LoadLibraryByName(const char* name) {
    if (name == nullptr || name[0] == '\0') return nullptr;
    // A damaged or foreign DLL on the search path must fail the load quietly, not stop the
    // application at a system error box nobody may be there to close.
    DWORD previous = 0;
    BOOL quiet = SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous);
    HMODULE module = LoadLibraryA(name);
    if (quiet) SetThreadErrorMode(previous, nullptr);
    return reinterpret_cast<LibraryHandle>(module);
}

void* FindSymbol(LibraryHandle library, const char* name) {
    if (library == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void* FindOrdinal(LibraryHandle library, uint16_t ordinal) {
    if (library == nullptr || ordinal == 0) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), MAKEINTRESOURCEA(ordinal)));
}

void FreeLibraryHandle(LibraryHandle library) {
    if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

std::string LoadedFileOf(const void* address) {
    HMODULE module = nullptr;
    if (address == nullptr ||
        !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(address), &module)) {
        return std::string();
    }
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(module, path, sizeof path);
    return length > 0 && length < sizeof path ? std::string(path, length) : std::string();
}

std::string ExecutablePath() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    return length > 0 && length < sizeof path ? std::string(path, length) : std::string();
}

}  // namespace platform
