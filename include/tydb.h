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
#define TYDB_STATUS_INVALID_FILE_NAME 11 /* path of 260+ characters, or a file name of 16+ */
#define TYDB_STATUS_NO_BUFFER 22         /* a required buffer pointer is null */
#define TYDB_STATUS_PERMISSION_ERROR 94  /* the file exists, yet the record manager cannot find it */

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

/* ---- Directory block, open and close ---- */

/* The directory block the application hands over: six directory slots and two flags,
 * 1568 bytes. Slots are NUL-terminated directory paths written without a trailing backslash
 * (D:\DATA; on POSIX a trailing '/' is kept: /srv/data/). They compare without regard to
 * case with the directory of each opened path. */
#define TYDB_DIRECTORY_SLOT_COUNT 6
#define TYDB_DIRECTORY_SLOT_SIZE 260
#define TYDB_LOCK_SLOT 3    /* the directory the workstation lock guards; empty = no lock */
#define TYDB_SCRATCH_SLOT 5 /* not configured: holds the directory of the last unmatched open */
#define TYDB_MAX_PATH_LENGTH 259     /* longest path DbOpen accepts */
#define TYDB_MAX_NAME_KEY_LENGTH 15  /* longest file name plus extension DbOpen accepts */

#pragma pack(push, 1)
typedef struct TydbDirectoryBlock {
    char directories[TYDB_DIRECTORY_SLOT_COUNT][TYDB_DIRECTORY_SLOT_SIZE]; /* @0, 260 each */
    int32_t lockDisabled;   /* @1560: non-zero turns the workstation lock off */
    int32_t shareOpenFiles; /* @1564: non-zero lets opens in slots 0..4 share by file name */
} TydbDirectoryBlock;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(TydbDirectoryBlock) == 1568, "directory block is 1568 bytes");
static_assert(__builtin_offsetof(TydbDirectoryBlock, lockDisabled) == 1560, "directory block layout");
static_assert(__builtin_offsetof(TydbDirectoryBlock, shareOpenFiles) == 1564, "directory block layout");
#else
_Static_assert(sizeof(TydbDirectoryBlock) == 1568, "directory block is 1568 bytes");
#endif

/* Ordinal 200: replaces the library's directory block by a copy of `block`. 0, or
 * TYDB_STATUS_NO_BUFFER when `block` is null. */
TYDB_API int32_t TYDB_CALL DbSetDirectories(const TydbDirectoryBlock* block);

/* Ordinal 201: copies the library's directory block, with the current scratch slot, into
 * `block`. 0, or TYDB_STATUS_NO_BUFFER when `block` is null. */
TYDB_API int32_t TYDB_CALL DbGetDirectories(TydbDirectoryBlock* block);

/* Ordinal 202: opens `path` and writes its handle (1..64) to `*handle`. Only the high byte of
 * `mode` counts: 0x0100 accelerated, 0x0200 read-only, 0x0300 verify, 0x0400 exclusive, else
 * normal. `bias` is added to the Open itself and to every later record operation on the file.
 * A repeated open of a file in a sharing directory returns the same handle and keeps the
 * first open's mode and bias. Returns 0; TYDB_STATUS_TABLE_FULL; TYDB_STATUS_LOCKED_OUT;
 * TYDB_STATUS_INVALID_FILE_NAME for a null or too long path or file name;
 * TYDB_STATUS_NO_BUFFER for a null `handle`; TYDB_STATUS_PERMISSION_ERROR; or the record
 * manager's status after ten attempts. On failure `*handle` is not written. */
TYDB_API int32_t TYDB_CALL DbOpen(int16_t* handle, const char* path, int16_t mode, int32_t bias);

/* Ordinal 203: closes one open of `handle`; the last one closes the file. 0,
 * TYDB_STATUS_INVALID_HANDLE, or the record manager's Close status (the handle is free
 * whatever that status). */
TYDB_API int32_t TYDB_CALL DbClose(int16_t handle);

/* Ordinal 204: closes every open file once, however often it was opened. 0, or the first
 * failing Close status; the files after it stay open. */
TYDB_API int32_t TYDB_CALL DbCloseAll(void);

/* Ordinal 207: sets the file's current key number and operation bias; a negative value leaves
 * that one unchanged. 0, or TYDB_STATUS_INVALID_HANDLE (nothing changed). */
TYDB_API int32_t TYDB_CALL DbOverRideDef(int16_t handle, int32_t keyNumber, int32_t bias);

/* Ordinal 217: the file's current key number and operation bias, each written only when its
 * pointer is given. 0, or TYDB_STATUS_INVALID_HANDLE. */
TYDB_API int32_t TYDB_CALL DbGetOverRideDef(int16_t handle, int32_t* keyNumber, int32_t* bias);

/* Ordinal 218: the data length the record manager returned to the last read on the file, or
 * TYDB_STATUS_INVALID_HANDLE. */
TYDB_API int32_t TYDB_CALL DbGetLastDataLength(int16_t handle);

#ifdef __cplusplus
}
#endif

#endif /* TYDB_TYDB_H */
