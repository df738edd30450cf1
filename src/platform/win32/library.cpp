// Libraries through the Windows loader, whose search already includes PATH.
#include "platform.h"
#include "windows_api.h"

namespace platform {

LibraryHandle LoadLibraryByName(const char* name) {
    if (name == nullptr || name[0] == '\0') return nullptr;
    return reinterpret_cast<LibraryHandle>(LoadLibraryA(name));
}

void* FindSymbol(LibraryHandle library, const char* name) {
    if (library == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void FreeLibraryHandle(LibraryHandle library) {
    if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace platform
