/*
 * tydb_files.h: the files the library keeps beside the data, and the settings it reads.
 *
 * For C and C++, header only. Other workstations' copies of the library read and write these
 * files too, so their names and layouts are fixed here once, for the library and for the tools
 * that look at them: the workstation lock file, the index registry (a data file of the record
 * manager) and the index log, all in a data folder, and the settings store's names.
 */
#ifndef TYDB_FILES_H
#define TYDB_FILES_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Settings: the settings store's HKEY_LOCAL_MACHINE, application and version ---- */
#define TYDB_SETTINGS_APPLICATION "Pervasive"
#define TYDB_SETTINGS_VERSION "11"
/* The record manager's folder, in the version's own key (no section). */
#define TYDB_SETTING_ENGINE_FOLDER "PATH"
/* The section of the index manager's settings and their names: "Index Log" non-zero appends an
 * entry to the index log for every action; "Index Threshold" is the least number of key-segment
 * slots one eviction sets out to free (25 when not set). */
#define TYDB_SETTINGS_SECTION "Settings"
#define TYDB_SETTING_INDEX_LOG "Index Log"
#define TYDB_SETTING_INDEX_THRESHOLD "Index Threshold"
#define TYDB_DEFAULT_INDEX_THRESHOLD 25

/* ---- The workstation lock file, in the lock directory ---- */
#define TYDB_LOCK_FILE_NAME "~ty~.loc"
/* Its text is the holder's computer name, up to the first NUL; at most this many bytes are read. */
#define TYDB_LOCK_COMPUTER_NAME_SIZE 254

/* ---- The index log, beside the data files ---- */
#define TYDB_LOG_FILE_NAME "tysupidx.log"
/* The first line of each entry: the action. */
#define TYDB_LOG_BUILDING_NEW_KEY "BUILDING NEW KEY"
#define TYDB_LOG_ACTIVATING_EXISTING_KEY "ACTIVATING EXISTING KEY"
#define TYDB_LOG_DEACTIVATING_EXISTING_KEY "DEACTIVATING EXISTING KEY"
#define TYDB_LOG_PURGING_EXISTING_KEY "PURGING EXISTING KEY"

/* ---- The index registry, beside the data files ---- */
#define TYDB_REGISTRY_FILE_NAME "tysupidx.db"
#define TYDB_REGISTRY_NAME_SIZE 16
#define TYDB_REGISTRY_PAGE_SIZE 4096
/* Key 0: (DataFileName, KeyNumber), unique. Key 1: (DataFileName, ActiveReferences,
 * TotalReferences, LastUseDate, LastUseTime), duplicates, modifiable. Every segment is a plain
 * byte string, so numbers compare by their lowest byte first. */
#define TYDB_REGISTRY_KEY0_LENGTH 18
#define TYDB_REGISTRY_KEY1_LENGTH 30

/* One supplemental key of one data file. Integers are little-endian. */
#pragma pack(push, 1)
typedef struct TydbRegistryRecord {
    char DataFileName[TYDB_REGISTRY_NAME_SIZE]; /* @0: name and extension, at most 15 characters */
    uint16_t KeyNumber;                         /* @16: the key's number in that data file */
    uint16_t SegmentCount;                      /* @18: its key segments: the room a purge gives back */
    uint16_t ActiveReferences;                  /* @20: current users */
    int32_t TotalReferences;                    /* @22: activations and builds since the entry was made */
    int32_t LastUseDate;                        /* @26: local date of the last use, YYYYMMDD */
    int32_t LastUseTime;                        /* @30: local time of the last use, hhmmss */
} TydbRegistryRecord;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(TydbRegistryRecord) == 34, "registry record is 34 bytes");
static_assert(offsetof(TydbRegistryRecord, SegmentCount) == 18, "registry record layout");
static_assert(offsetof(TydbRegistryRecord, TotalReferences) == 22, "registry record layout");
static_assert(offsetof(TydbRegistryRecord, LastUseTime) == 30, "registry record layout");
#else
_Static_assert(sizeof(TydbRegistryRecord) == 34, "registry record is 34 bytes");
#endif

/* The path of side file `name` (the registry or the log) for a data file whose directory string
 * is `directory` (its path up to the file name, without the last separator): the directory, a
 * backslash and the name; the name alone for an empty directory, which is the current folder,
 * as for the data file itself. 1, or 0 (out empty) when the path and its terminator do not fit
 * `size` bytes. */
static inline int TydbSideFilePath(const char* directory, const char* name, char* out, size_t size) {
    if (out == NULL || size == 0) return 0;
    out[0] = '\0';
    if (directory == NULL || name == NULL) return 0;
    const size_t directoryLength = strlen(directory);
    const size_t separatorLength = directoryLength > 0 ? 1 : 0;
    const size_t nameLength = strlen(name);
    if (directoryLength + separatorLength + nameLength + 1 > size) return 0;
    memcpy(out, directory, directoryLength);
    if (separatorLength > 0) out[directoryLength] = '\\';
    memcpy(out + directoryLength + separatorLength, name, nameLength + 1);
    return 1;
}

#ifdef __cplusplus
}
#endif

#endif /* TYDB_FILES_H */
