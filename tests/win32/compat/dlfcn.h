// dlfcn.h for the Windows build of the tests: the dlopen family over the Windows loader, so that
// test code and helper programs that load a library by path build unchanged. Only test
// sources see this folder.
#ifndef TYDB_TESTS_WIN32_COMPAT_DLFCN_H
#define TYDB_TESTS_WIN32_COMPAT_DLFCN_H

#define RTLD_NOW 2
#define RTLD_LOCAL 0
// Only a library already loaded; like dlopen, it counts one more use, which dlclose gives back.
#define RTLD_NOLOAD 4

// Bound to the kernel's functions by their symbol names rather than declared through
// <windows.h>: its macros (DeleteFile, min, ...) would reach the includer's code, and names of
// our own cannot clash with a <windows.h> that the includer has as well.
extern "C" {
void* __stdcall TydbCompatLoadLibraryA(const char* name) __asm__("_LoadLibraryA@4");
void* __stdcall TydbCompatGetProcAddress(void* module, const char* name) __asm__("_GetProcAddress@8");
int __stdcall TydbCompatFreeLibrary(void* module) __asm__("_FreeLibrary@4");
int __stdcall TydbCompatGetModuleHandleExA(unsigned long flags, const char* name, void** module)
    __asm__("_GetModuleHandleExA@12");
}

inline void* dlopen(const char* path, int flags) {
    if ((flags & RTLD_NOLOAD) == 0) return TydbCompatLoadLibraryA(path);
    void* module = nullptr;
    return TydbCompatGetModuleHandleExA(0, path, &module) ? module : nullptr;
}
inline void* dlsym(void* library, const char* name) { return TydbCompatGetProcAddress(library, name); }
inline int dlclose(void* library) { return TydbCompatFreeLibrary(library) ? 0 : -1; }
inline const char* dlerror() { return "the Windows loader gives no error text here"; }

#endif  // TYDB_TESTS_WIN32_COMPAT_DLFCN_H
