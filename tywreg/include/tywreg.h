/*
 * tywreg.h: the settings store TyWReg.
 *
 * Named values per root, application, version and section. The caller selects an
 * application and version once (process-wide, initially empty); reads and writes then
 * use that selection. On Windows the functions are exported by ordinal (1 to 6).
 */
#ifndef TYDB_TYWREG_H
#define TYDB_TYWREG_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define TYWREG_CALL __stdcall
#else
#define TYWREG_CALL
#endif

#if defined(_WIN32)
#define TYWREG_API
#else
#define TYWREG_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Roots, as the Windows registry numbers them. */
#define TYWREG_HKEY_CLASSES_ROOT 0x80000000u
#define TYWREG_HKEY_CURRENT_USER 0x80000001u
#define TYWREG_HKEY_LOCAL_MACHINE 0x80000002u
#define TYWREG_HKEY_USERS 0x80000003u

/* Results of the two writes other than 0. The numbers are the Windows error codes of the
 * same meaning, so the registry build can pass the system's own codes through. */
#define TYWREG_ERROR_PATH_NOT_FOUND 3     /* the store's folder does not exist */
#define TYWREG_ERROR_ACCESS_DENIED 5      /* the store or its folder may not be written */
#define TYWREG_ERROR_WRITE_FAULT 29       /* reading or replacing the store failed */
#define TYWREG_ERROR_SHARING_VIOLATION 32 /* another writer kept the store locked too long */
#define TYWREG_ERROR_NOT_SUPPORTED 50     /* this build has no store to write to */
#define TYWREG_ERROR_INVALID_PARAMETER \
    87 /* a null or unstorable section, name or value, or
                                             * one that would make the store larger than it
                                             * reads (16 MB) */

/* Size of the two buffers TyWRegGetSelection fills. */
#define TYWREG_SELECTION_SIZE 128

/* Ordinal 1: later reads and writes use this application and version. Returns 0.
 * Each name keeps at most TYWREG_SELECTION_SIZE - 1 bytes, so that what TyWRegGetSelection
 * hands back selects exactly the same values again; a null name counts as empty. */
TYWREG_API int32_t TYWREG_CALL TyWRegSelect(const char* application, const char* version);

/* Ordinal 2: copies the current selection into two buffers of TYWREG_SELECTION_SIZE bytes,
 * NUL-terminated. Returns 0. */
TYWREG_API int32_t TYWREG_CALL TyWRegGetSelection(char* application, char* version);

/* Ordinal 3: stores an integer. Returns 0, or non-zero when it could not be stored. */
TYWREG_API int32_t TYWREG_CALL TyWRegWriteInt(uint32_t root, const char* section, const char* name, int32_t value);

/* Ordinal 4: the integer stored under the name, or `defaultValue` when there is none. */
TYWREG_API int32_t TYWREG_CALL TyWRegReadInt(uint32_t root, const char* section, const char* name,
                                             int32_t defaultValue);

/* Ordinal 5: stores a text. Returns 0, or non-zero when it could not be stored. */
TYWREG_API int32_t TYWREG_CALL TyWRegWriteString(uint32_t root, const char* section, const char* name,
                                                 const char* value);

/* Ordinal 6: copies the stored text, or `defaultValue` when there is none, into `buffer`,
 * NUL-terminated within `bufferSize` bytes (cut when longer). Returns 0. */
TYWREG_API int32_t TYWREG_CALL TyWRegReadString(uint32_t root, const char* section, const char* name,
                                                const char* defaultValue, char* buffer, int32_t bufferSize);

#ifdef __cplusplus
}
#endif

#endif /* TYDB_TYWREG_H */
