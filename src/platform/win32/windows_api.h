// windows_api.h: <windows.h> for the Windows half of the platform layer.
//
// The Windows headers define DeleteFile and GetComputerName as macros, which would rename our
// own functions of the same names in these files only; they are undone here.
#ifndef TYDB_PLATFORM_WIN32_WINDOWS_API_H
#define TYDB_PLATFORM_WIN32_WINDOWS_API_H

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef DeleteFile
#undef GetComputerName

#endif  // TYDB_PLATFORM_WIN32_WINDOWS_API_H
