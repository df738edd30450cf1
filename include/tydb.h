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
#define TYDB_STATUS_INVALID_HANDLE (-1) /* handle out of range or entry not open */
#define TYDB_STATUS_TABLE_FULL (-2)     /* open-file table full */
#define TYDB_STATUS_NO_MEMORY (-5)      /* allocation of a buffer failed */
#define TYDB_STATUS_LOCKED_OUT (-6)     /* another workstation holds the lock directory */
#define TYDB_STATUS_LOCK_NOT_WRITABLE \
    (-7)                                 /* no lock file can be made in the lock directory:
                                            * read-only media, no write permission, no such
                                            * folder, or a name too long for the lock file's */
#define TYDB_STATUS_ENGINE_INACTIVE 20   /* the record manager library cannot be loaded */
#define TYDB_STATUS_INVALID_FILE_NAME 11 /* a null path, or one longer than the limits below */
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
 * (D:\DATA; on POSIX a trailing '/' is kept: /srv/data/). They compare with the directory of
 * each opened path without regard to case, '\' and '/' counting as the same separator. */
#define TYDB_DIRECTORY_SLOT_COUNT 6
#define TYDB_DIRECTORY_SLOT_SIZE 260
#define TYDB_LOCK_SLOT 3    /* the directory the workstation lock guards; empty = no lock */
#define TYDB_SCRATCH_SLOT 5 /* not configured: holds the directory of the last unmatched open */
/* The longest path DbOpen and DbCreateFile take: what the record manager reads from its key
 * buffer (255 bytes) with the terminator. Longer ones are refused with
 * TYDB_STATUS_INVALID_FILE_NAME before any request. */
#define TYDB_MAX_PATH_LENGTH 254
/* The longest file name plus extension DbOpen and DbCreateFile take: what an open file's entry
 * keeps. Longer ones are refused the same way. */
#define TYDB_MAX_NAME_KEY_LENGTH 15

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
 * TYDB_STATUS_LOCK_NOT_WRITABLE for a file under the lock directory when no lock file can be
 * made there; TYDB_STATUS_INVALID_FILE_NAME for a null path, one longer than
 * TYDB_MAX_PATH_LENGTH or a file name longer than TYDB_MAX_NAME_KEY_LENGTH;
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

/* ---- Record operations ---- */

/* Every record operation takes a handle from DbOpen and applies the file's defaults: its
 * current key number, its operation bias (added to the operation code where said below) and,
 * for a data length of 0, its fixed record length (0 for a file of variable-length records).
 * An invalid handle gives TYDB_STATUS_INVALID_HANDLE before any request is made and before
 * any output is written. Other results are the record manager's statuses. */

/* Added to a DbRead operation code: after a successful read the file is put back on the
 * record it stood on before, so the read does not move the file's position. */
#define TYDB_KEEP_POSITION 512

/* Ordinal 205: one read (any Get, Step or other code; bias added). A Get Direct (code % 100 ==
 * 23) takes the 4-byte record position from the first bytes of `keyBuffer` and writes it to
 * `dataBuffer` (a null `keyBuffer` gives 43, a null `dataBuffer` TYDB_STATUS_NO_BUFFER, a data
 * length below 4 gives 22, all without a request and without writing); code % 100 == 73 is a
 * Get Direct whose position is already in `dataBuffer` and whose key value comes back in
 * `keyBuffer`. A null `keyBuffer` is replaced by a scratch buffer. The returned data length is
 * kept for DbGetLastDataLength, whatever the status. With TYDB_KEEP_POSITION, a failed restore
 * reports its status, except that a record deleted meanwhile (43) still counts as success. */
TYDB_API int32_t TYDB_CALL DbRead(int16_t operation, int16_t handle, void* keyBuffer, void* dataBuffer,
                                  int16_t dataLength);

/* Ordinal 206: mode 23 writes the file's current 4-byte record position to `position`
 * (TYDB_STATUS_NO_BUFFER when it is null). Any other mode puts the file back on the record at
 * `position`, or on the first record of the current key when `position` is null or holds 0;
 * TYDB_STATUS_NO_MEMORY when the record buffer for that read cannot be allocated. */
TYDB_API int32_t TYDB_CALL DbPosition(int16_t mode, int16_t handle, void* position);

/* Ordinal 208: mode 27 releases the single-record lock; any other mode is the Unlock key number
 * (-1: the multiple-record lock of the record at `position`; -2: all multiple-record locks).
 * No bias. `position` may be null. */
TYDB_API int32_t TYDB_CALL DbUnlock(int32_t mode, int16_t handle, const void* position);

/* Ordinal 209: Insert (2), Update (3) or Delete (4), bias added. A Delete with a `keyBuffer`
 * first finds the record whose current-key value it holds and gives 4 (nothing deleted) when
 * there is none; a Delete without one removes the current record. */
TYDB_API int32_t TYDB_CALL DbModify(int16_t operation, int16_t handle, void* keyBuffer, void* dataBuffer,
                                    int16_t dataLength);

/* Ordinals 221 and 222: reads the record at `percentage` (hundredths of a percent, 0..10000) of
 * the way through the current key's order, or through physical order (222). The percentage is
 * written to the first 2 bytes of `dataBuffer` (TYDB_STATUS_NO_BUFFER when it is null, 22 when
 * the data length is below 2, both without writing). Bias added. */
TYDB_API int32_t TYDB_CALL DbGetByPercent(int16_t handle, void* keyBuffer, void* dataBuffer, int16_t dataLength,
                                          int16_t percentage);
TYDB_API int32_t TYDB_CALL DbGetByPercentPhysical(int16_t handle, void* keyBuffer, void* dataBuffer, int16_t dataLength,
                                                  int16_t percentage);

/* Ordinal 223: where the record whose current-key value `keyBuffer` holds lies, in hundredths
 * of a percent. Ordinal 224: the same for the record at the 4-byte `position` in physical order
 * (43 without a request when `position` is null). No bias. `*percentage` is written whatever
 * the status, when `percentage` is given. */
TYDB_API int32_t TYDB_CALL DbFindPercent(int16_t handle, void* keyBuffer, int16_t* percentage);
TYDB_API int32_t TYDB_CALL DbFindPercentPhysical(int16_t handle, const void* position, int16_t* percentage);

/* ---- File creation and statistics ---- */

/* The statistics buffer: the record manager's Stat reply (16-byte file specification, one
 * 16-byte key-segment specification per segment of every key, then one 265-byte collating
 * sequence when the file has one) and, at TYDB_STATISTICS_LENGTH_OFFSET, the reply's length as
 * a signed 16-bit value. The layouts of the specifications are those of btrcall.h. */
#define TYDB_STATISTICS_SIZE 1819
#define TYDB_STATISTICS_LENGTH_OFFSET 1817
#define TYDB_MAX_KEY_SEGMENTS 96 /* segment specifications a file and the buffer have room for */
#define TYDB_ACS_SIZE 265

/* Ordinal 1: creates (or replaces) the file at `path` from a 16-byte file specification and a
 * list of 16-byte key-segment specifications ended by one whose key position is 0 or less
 * (`keySpecs` may be null: no keys). When any segment has the alternate-collating-sequence
 * flag (0x0020), the UPPER sequence of DbBuildUpperAcs is sent once for all of them. Returns
 * the Create status; TYDB_STATUS_INVALID_FILE_NAME for a null path, one longer than
 * TYDB_MAX_PATH_LENGTH or a file name longer than TYDB_MAX_NAME_KEY_LENGTH (so DbOpen takes
 * every path created); 26 for more than TYDB_MAX_KEY_SEGMENTS segments; TYDB_STATUS_NO_BUFFER
 * for a null file specification. */
TYDB_API int32_t TYDB_CALL DbCreateFile(const char* path, const void* fileSpec, const void* keySpecs);

/* Ordinal 2: writes the 265-byte collating sequence "UPPER   " (signature 0xAC), which sorts
 * the letters a to z as A to Z and every other byte as itself. 0, or TYDB_STATUS_NO_BUFFER. */
TYDB_API int32_t TYDB_CALL DbBuildUpperAcs(void* acs);

/* Ordinal 213: clears the caller's TYDB_STATISTICS_SIZE-byte buffer and fills it with the
 * file's statistics (file-version byte included); on success the reply's length is stored at
 * TYDB_STATISTICS_LENGTH_OFFSET. Returns the Stat status, TYDB_STATUS_INVALID_HANDLE (buffer
 * untouched) or TYDB_STATUS_NO_BUFFER. */
TYDB_API int32_t TYDB_CALL DbFileStat(int16_t handle, void* statistics);

/* Ordinal 214: DbFileStat of the file at `path`, opened (mode normal, bias 0) and closed
 * again for it. The open's status when it fails. */
TYDB_API int32_t TYDB_CALL DbFileStatByName(const char* path, void* statistics);

/* Ordinal 215: 1 when the statistics describe a file of version 6.0, else 0. */
TYDB_API int32_t TYDB_CALL DbIsVersion60File(const void* statistics);

/* ---- Key-definition queries ---- */

/* A key definition is an array of 16-byte key-segment specifications: every segment but the
 * last has the segmented flag (0x0010). Two keys match when they have the same number of
 * segments with the same positions and lengths; flags, types and collating sequences do not
 * count. A definition that has not ended within TYDB_MAX_KEY_SEGMENTS segments matches no key. */

/* Ordinal 225: the number of the first key of the file that matches `definition`, or -1 when
 * none does or when that first match is a supplemental key (flag 0x0080). */
TYDB_API int32_t TYDB_CALL DbFindPermanentKey(int16_t handle, const void* definition);

/* Ordinal 226: fills the caller's statistics buffer (DbFileStat) and returns a pointer into it
 * at the first segment of key `keyNumber`; null when the Stat fails or the file has no such
 * key. */
TYDB_API void* TYDB_CALL DbGetKeySpec(int16_t handle, void* statistics, int16_t keyNumber);

/* Ordinal 227: the number of the first key of the file that matches `definition`, supplemental
 * or not; -1 when none does. */
TYDB_API int32_t TYDB_CALL DbFindKey(int16_t handle, const void* definition);

/* ---- Supplemental keys ---- */

/* The library builds supplemental keys on demand and records them in the index registry
 * "tysupidx.db" in each data file's directory (shared by every workstation there), with an
 * optional account of each action in "tysupidx.log" beside it (setting "Index Log"). */

/* Ordinal 216: makes the file's current key one whose segments have the positions and lengths
 * of `definition` (`length` bytes of key-segment specifications; note that the length comes
 * first): a permanent key, a registered supplemental key (one more reference), or a new
 * supplemental key, built after purging idle ones when the file lacks key-segment slots.
 * Returns 0; 26 when no room can be made; 27 for a definition that does not end within
 * `length`; TYDB_STATUS_NO_MEMORY when its copy cannot be allocated;
 * TYDB_STATUS_INVALID_HANDLE; or the record manager's status. A `length` of 0 or less, or a
 * null `definition`, asks for a key without segments. */
TYDB_API int32_t TYDB_CALL DbActivateKey(int16_t handle, int16_t length, const void* definition);

/* Ordinal 210: one reference fewer on the file's current key when it is a registered
 * supplemental key; the key stays in the file and current. 0 (also for a permanent key), 4 when
 * the registry does not know the key or nobody uses it (its count stays 0), or
 * TYDB_STATUS_INVALID_HANDLE. */
TYDB_API int32_t TYDB_CALL DbDeactivateKey(int16_t handle);

/* Ordinal 211: drops the file's current key when it is a supplemental key and deletes its
 * registry entry; key 0 becomes current. A permanent key is left alone (0). */
TYDB_API int32_t TYDB_CALL DbPurgeKey(int16_t handle);

/* Ordinal 212: forgets every registry entry of the file; its keys stay. 0 when the scan ended
 * at another file's entry, 9 when it reached the end of the registry, or a failing status. */
TYDB_API int32_t TYDB_CALL DbClearKeyRegistry(int16_t handle);

/* ---- Record objects ---- */

/* A record object bundles a file handle with a record buffer and a key buffer. The library
 * allocates it (DbRecCreate) and frees it (DbRecFree); the application reads and writes its
 * fields and buffers directly between calls. The fields follow each other without gaps: 22
 * bytes on 32-bit targets, 30 bytes on 64-bit targets, where the two pointers are 8 bytes. */
#define TYDB_RECORD_KEY_BUFFER_SIZE 255

#pragma pack(push, 1)
typedef struct TydbRecordObject {
    int16_t handle;     /* @0: the open file's handle; -1 until DbRecOpen writes one here */
    void* dataBuffer;   /* @2: the record buffer, at least the record length given at creation */
    void* keyBuffer;    /* @6 (64-bit: @10): TYDB_RECORD_KEY_BUFFER_SIZE bytes */
    int16_t dataLength; /* @10 (@18): data length of every read and write (low 16 bits of the
                         * record length given at creation) */
    int32_t keyLength;  /* @12 (@20): the key length given at creation; used by DbRecPadKey only */
    int16_t keyNumber;  /* @16 (@24): key number applied to every read and write; 0 at creation */
    int32_t reserved;   /* @18 (@26): 1 at creation; the application's, never read by the library */
} TydbRecordObject;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(void*) != 4 || sizeof(TydbRecordObject) == 22, "record object is 22 bytes on 32-bit targets");
static_assert(sizeof(void*) != 8 || sizeof(TydbRecordObject) == 30, "record object is 30 bytes on 64-bit targets");
static_assert(__builtin_offsetof(TydbRecordObject, dataBuffer) == 2, "record object layout");
static_assert(__builtin_offsetof(TydbRecordObject, keyBuffer) == 2 + sizeof(void*), "record object layout");
static_assert(__builtin_offsetof(TydbRecordObject, dataLength) == 2 + 2 * sizeof(void*), "record object layout");
static_assert(__builtin_offsetof(TydbRecordObject, keyLength) == 4 + 2 * sizeof(void*), "record object layout");
static_assert(__builtin_offsetof(TydbRecordObject, keyNumber) == 8 + 2 * sizeof(void*), "record object layout");
static_assert(__builtin_offsetof(TydbRecordObject, reserved) == 10 + 2 * sizeof(void*), "record object layout");
#else
_Static_assert(sizeof(TydbRecordObject) == 14 + 2 * sizeof(void*), "record object has no gaps");
#endif

/* An operation on an object whose file is not open, or on no object at all, answers
 * TYDB_STATUS_INVALID_HANDLE (DbRecRecordCount: -1) without a request and without touching any
 * open file. The key number and bias an operation applies hold for that call only: the file's
 * own key number and operation bias are back afterwards. */

/* Ordinal 300: a new object with handle -1, zero-filled buffers, data length = the low 16 bits
 * of `recordLength`, the given key length, key number 0 and reserved field 1. Null when
 * `recordLength` is negative or a block cannot be allocated (then nothing stays allocated). */
TYDB_API TydbRecordObject* TYDB_CALL DbRecCreate(int32_t recordLength, int32_t keyLength);

/* Ordinal 301: frees the data buffer, the key buffer and the object; non-zero when the object's
 * block was released (0 for a null object). The object must not be used afterwards. */
TYDB_API int32_t TYDB_CALL DbRecFree(TydbRecordObject* object);

/* Ordinal 302: blank-pads the NUL-terminated key string to keyLength - 1 characters and puts
 * the NUL after them; a longer string is left as it is. The padding never passes the end of
 * the key buffer. 0, or TYDB_STATUS_NO_BUFFER for a null object or key buffer. */
TYDB_API int32_t TYDB_CALL DbRecPadKey(TydbRecordObject* object);

/* Ordinal 303: DbOpen(handle, path, mode, bias 0). The application passes the object itself as
 * `handle`, since the handle is its first field. */
TYDB_API int32_t TYDB_CALL DbRecOpen(int16_t* handle, int16_t mode, const char* path);

/* Ordinal 304: DbClose of the object's handle; the handle field keeps its value. */
TYDB_API int32_t TYDB_CALL DbRecClose(TydbRecordObject* object);

/* Ordinals 305 to 307: Insert, Update, and Delete of the current record (the key buffer is not
 * looked at), through DbModify with the object's key number and buffers and the file's bias.
 * TYDB_STATUS_NO_BUFFER for an insert or update when the object's data buffer is null. */
TYDB_API int32_t TYDB_CALL DbRecInsert(TydbRecordObject* object);
TYDB_API int32_t TYDB_CALL DbRecUpdate(TydbRecordObject* object);
TYDB_API int32_t TYDB_CALL DbRecDelete(TydbRecordObject* object);

/* Ordinals 308 to 313: Get First, Next, Last, Previous, Equal and Greater or Equal through
 * DbRead with the object's key number and buffers. `lockBias` replaces the file's operation
 * bias for this read: -1 keeps it, 0 reads without one, 100 to 400 lock the record read. The
 * object's data length is not changed; DbGetLastDataLength gives the length read.
 * TYDB_STATUS_NO_BUFFER when the object's data buffer is null. */
TYDB_API int32_t TYDB_CALL DbRecGetFirst(TydbRecordObject* object, int32_t lockBias);
TYDB_API int32_t TYDB_CALL DbRecGetNext(TydbRecordObject* object, int32_t lockBias);
TYDB_API int32_t TYDB_CALL DbRecGetLast(TydbRecordObject* object, int32_t lockBias);
TYDB_API int32_t TYDB_CALL DbRecGetPrevious(TydbRecordObject* object, int32_t lockBias);
TYDB_API int32_t TYDB_CALL DbRecGetEqual(TydbRecordObject* object, int32_t lockBias);
TYDB_API int32_t TYDB_CALL DbRecGetGreaterOrEqual(TydbRecordObject* object, int32_t lockBias);

/* Ordinal 314: the file's current 4-byte record position into `position` (DbPosition 23). */
TYDB_API int32_t TYDB_CALL DbRecGetPosition(TydbRecordObject* object, void* position);

/* Ordinal 315: puts the file on the record at `position` (DbPosition 0; 0 = the first record
 * of the file's current key). */
TYDB_API int32_t TYDB_CALL DbRecSetPosition(TydbRecordObject* object, uint32_t position);

/* Ordinal 316: reads the record at `position` into the object's data buffer and its value of
 * the object's key into the key buffer (Get Direct + `lockBias`; -1 is not special here). The
 * object's data length is sent and receives the length read. The file's key number and bias
 * are neither used nor changed. TYDB_STATUS_INVALID_HANDLE when the file is not open,
 * TYDB_STATUS_NO_BUFFER when the object's data buffer is null, 22 when the object's data length
 * is below 4 (nothing written). */
TYDB_API int32_t TYDB_CALL DbRecGetDirect(TydbRecordObject* object, uint32_t position, int32_t lockBias);

/* Ordinal 317: the object's key number := the file's current key number (unchanged when the
 * file is not open). */
TYDB_API void TYDB_CALL DbRecSyncKeyNumber(TydbRecordObject* object);

/* Ordinal 318: DbDeactivateKey of the object's file, then the object's key number := the
 * file's current key number (unchanged when the file is not open). DbDeactivateKey's status. */
TYDB_API int32_t TYDB_CALL DbRecDeactivateKey(TydbRecordObject* object);

/* Ordinal 319: releases the single-record lock (DbUnlock 27) of the record at `position`. */
TYDB_API int32_t TYDB_CALL DbRecUnlock(TydbRecordObject* object, uint32_t position);

/* Ordinal 320: DbFileStat of the object's file into the caller's TYDB_STATISTICS_SIZE bytes. */
TYDB_API int32_t TYDB_CALL DbRecFileStat(TydbRecordObject* object, void* statistics);

/* Ordinal 321: the number of records in the object's file, or -1 when its statistics cannot be
 * read (file not open included). */
TYDB_API int32_t TYDB_CALL DbRecRecordCount(TydbRecordObject* object);

#ifdef __cplusplus
}
#endif

#endif /* TYDB_TYDB_H */
