// dlfcn.h for the Windows build of the tests: the dlopen family over the Windows loader, so that
// test code and helper programs that load a library by path build unchanged. Only test
// sources see this folder.
#ifndef TYDB_TESTS_WIN32_COMPAT_DLFCN_H
#define TYDB_TESTS_WIN32_COMPAT_DLFCN_H

#define RTLD_NOW 2
#define RTLD_LOCAL 0

// Bound to the kernel's functions by their symbol names rather than declared through
// <windows.h>: its macros (DeleteFile, min, ...) would reach the includer's code, and names of
// our own cannot clash with a <windows.h> that the includer has as well.
extern "C" {
void* __stdcall TydbCompatLoadLibraryA(const char* name) __asm__("_LoadLibraryA@4");
void* __stdcall TydbCompatGetProcAddress(void* module, const char* name) __asm__("_GetProcAddress@8");
int __stdcall TydbCompatFreeLibrary(void* module) __asm__("_FreeLibrary@4");
}

inline void* dlopen(const char* path, int) { return TydbCompatLoadLibraryA(path); }
inline void* dlsym(void* library, const char* name) { return TydbCompatGetProcAddress(library, name); }
inline int dlclose(void* library) { return TydbCompatFreeLibrary(library) ? 0 : -1; }
inline const char* dlerror() { return "the Windows loader gives no error text here"; }

#endif  // TYDB_TESTS_WIN32_COMPAT_DLFCN_H
