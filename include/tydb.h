/*
 * tydb.h: the record-access library.
 *
 * Every function returns a 32-bit status holding a 16-bit value: 0 is success, positive
 * values are the record manager's status codes, negative values are the library's own
 * (TYDB_STATUS_...). File handles are 1 to 64. The library expects one caller thread at
 * a time. Usable from C and C++.
 */
#ifndef TYDB_TYDB_H
#define TYDB_TYDB_H

#include <stdint.h>

/* Calling convention of every export: __stdcall on 32-bit Windows. */
#if defined(_WIN32) && !defined(_WIN64)
#define TYDB_CALL __stdcall
#else
#define TYDB_CALL
#endif

/* Exports: by ordinal from the module definition file on Windows, by name elsewhere. */
#if defined(_WIN32)
#define TYDB_API
#else
#define TYDB_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The library's own status codes. */
#define TYDB_STATUS_INVALID_HANDLE (-1)  /* handle out of range or entry not open */
#define TYDB_STATUS_TABLE_FULL (-2)      /* open-file table full */
#define TYDB_STATUS_NO_MEMORY (-5)       /* allocation of a buffer failed */
#define TYDB_STATUS_LOCKED_OUT (-6)      /* another workstation holds the lock directory */
#define TYDB_STATUS_ENGINE_INACTIVE 20   /* the record manager library cannot be loaded */

/* ---- Engine presence, stop and version ---- */

/* Ordinal 100: 20 when the record manager cannot be reached, otherwise 0. */
TYDB_API int32_t TYDB_CALL DbCheckEngine(void);

/* Ordinal 101: stops the record manager and unloads its library; the next request loads it
 * again. Returns the Stop status. */
TYDB_API int32_t TYDB_CALL DbStopEngine(void);

/* Ordinal 102: the record manager's version, revision and engine type (one character and a
 * NUL). 0, or the Version request's status with the outputs cleared. */
TYDB_API int32_t TYDB_CALL DbGetEngineVersion(int32_t* version, int32_t* revision, char* engineType);

/* ---- Small utilities ---- */

/* Ordinal 219: waits count x 56 milliseconds; 0. */
TYDB_API int32_t TYDB_CALL DbWait(int32_t count);

/* Ordinal 220: does nothing; 0. */
TYDB_API int32_t TYDB_CALL DbNop(void);

#ifdef __cplusplus
}
#endif

#endif /* TYDB_TYDB_H */
