/*
 * application.c: uses tydb.dll the way the accounting application does. It loads the DLL by
 * name, binds every export of the export list by ordinal with GetProcAddress(module,
 * MAKEINTRESOURCEA(ordinal)), and works with a data file through those pointers only: engine
 * check and version, create, open, insert, read by key, activate a supplemental key and read by
 * it, deactivate, close.
 *
 *   tydb_application
 *
 * The engine is found through the settings store, as the application's is: the caller puts
 * the engine's folder into the "PATH" setting (a settings file or the registry). Exit code 0
 * when every export was bound and every step passed.
 */
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "btrcall.h"
#include "tydb.h"

/* ---- The export table --------------------------------------------------------------------- */

struct Export {
    int ordinal;
    const char* name;
    int named; /* carries its name in the export table */
    FARPROC address;
};

/* The export list (tydb_exports.h, generated from it). */
static struct Export exports[] = {
#define TYDB_EXPORT(ordinal, name, named) {ordinal, #name, named, 0},
#include "tydb_exports.h"
#undef TYDB_EXPORT
};
#define EXPORT_COUNT ((int)(sizeof exports / sizeof exports[0]))

static FARPROC Bound(int ordinal) {
    for (int i = 0; i < EXPORT_COUNT; ++i) {
        if (exports[i].ordinal == ordinal) return exports[i].address;
    }
    return NULL;
}

/* The exports the steps call, with the header's own types. */
typedef int32_t(__stdcall* CheckEngineFn)(void);
typedef int32_t(__stdcall* EngineVersionFn)(int32_t*, int32_t*, char*);
typedef int32_t(__stdcall* WaitFn)(int32_t);
typedef int32_t(__stdcall* NopFn)(void);
typedef int32_t(__stdcall* CreateFileFn)(const char*, const void*, const void*);
typedef int32_t(__stdcall* OpenFn)(int16_t*, const char*, int16_t, int32_t);
typedef int32_t(__stdcall* CloseFn)(int16_t);
typedef int32_t(__stdcall* ReadFn)(int16_t, int16_t, void*, void*, int16_t);
typedef int32_t(__stdcall* ModifyFn)(int16_t, int16_t, void*, void*, int16_t);
typedef int32_t(__stdcall* ActivateKeyFn)(int16_t, int16_t, const void*);
typedef int32_t(__stdcall* DeactivateKeyFn)(int16_t);

/* ---- Reporting ---------------------------------------------------------------------------- */

static int passed = 0;
static int failed = 0;

static void Check(int ok, const char* what, long got) {
    if (ok) {
        ++passed;
        printf("ok      %s\n", what);
    } else {
        ++failed;
        printf("FAILED  %s (got %ld)\n", what, got);
    }
}

/* ---- The data file ------------------------------------------------------------------------ */

/* A customer record: a 4-character number (key 0) and a 20-character name, which is not a
 * key of the file and becomes a supplemental one. */
#define RECORD_LENGTH 40
#define NUMBER_OFFSET 0
#define NUMBER_LENGTH 4
#define NAME_OFFSET 4
#define NAME_LENGTH 20

static void MakeRecord(char* record, const char* number, const char* name) {
    memset(record, ' ', RECORD_LENGTH);
    memcpy(record + NUMBER_OFFSET, number, NUMBER_LENGTH);
    memcpy(record + NAME_OFFSET, name, strlen(name) < NAME_LENGTH ? strlen(name) : NAME_LENGTH);
}

static int MakeDataFolder(char* folder, size_t size) {
    char temp[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length > MAX_PATH) return 0;
    snprintf(folder, size, "%stydb-application-%lu", temp, (unsigned long)GetCurrentProcessId());
    return CreateDirectoryA(folder, NULL) || GetLastError() == ERROR_ALREADY_EXISTS;
}

static void RemoveDataFolder(const char* folder) {
    char pattern[MAX_PATH * 2];
    snprintf(pattern, sizeof pattern, "%s\\*", folder);
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            char file[MAX_PATH * 2];
            snprintf(file, sizeof file, "%s\\%s", folder, entry.cFileName);
            DeleteFileA(file);
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryA(folder);
}

/* ---- The steps ---------------------------------------------------------------------------- */

static void EngineSteps(void) {
    int32_t status = ((CheckEngineFn)Bound(100))();
    Check(status == 0, "DbCheckEngine finds the record manager through the settings", status);

    int32_t version = -1, revision = -1;
    char type[2] = {'?', '?'};
    status = ((EngineVersionFn)Bound(102))(&version, &revision, type);
    Check(status == 0, "DbGetEngineVersion answers", status);
    Check(version > 0 && revision >= 0 && type[1] == '\0', "version, revision and engine type are filled", version);

    Check(((WaitFn)Bound(219))(1) == 0, "DbWait(1) returns 0", 0);
    Check(((NopFn)Bound(220))() == 0, "DbNop returns 0", 0);
}

static void DataSteps(const char* folder) {
    CreateFileFn createFile = (CreateFileFn)Bound(1);
    OpenFn open = (OpenFn)Bound(202);
    CloseFn close = (CloseFn)Bound(203);
    ReadFn read = (ReadFn)Bound(205);
    ModifyFn modify = (ModifyFn)Bound(209);

    char path[MAX_PATH * 2];
    snprintf(path, sizeof path, "%s\\CUSTOMER.DAT", folder);

    BtrFileSpec file;
    memset(&file, 0, sizeof file);
    file.recordLength = RECORD_LENGTH;
    file.pageSize = 1024;
    file.keyCount = 1;
    BtrKeySpec keys[2];
    memset(keys, 0, sizeof keys);
    keys[0].position = NUMBER_OFFSET + 1;
    keys[0].length = NUMBER_LENGTH;
    /* keys[1] has position 0: the end of the list. */
    int32_t status = createFile(path, &file, keys);
    Check(status == 0, "DbCreateFile creates CUSTOMER.DAT", status);
    if (status != 0) return;

    int16_t handle = 0;
    status = open(&handle, path, 0, 0);
    Check(status == 0 && handle >= 1 && handle <= 64, "DbOpen gives a handle", status);
    if (status != 0) return;

    static const char* const customers[][2] = {{"0002", "Miller"}, {"0001", "Zeller"}, {"0003", "Adams"}};
    for (int i = 0; i < 3; ++i) {
        char record[RECORD_LENGTH];
        char key[255] = {0};
        MakeRecord(record, customers[i][0], customers[i][1]);
        status = modify(2, handle, key, record, RECORD_LENGTH);
        Check(status == 0, "DbModify inserts a record", status);
    }

    char key[255] = {0};
    char record[RECORD_LENGTH];
    memcpy(key, "0002", NUMBER_LENGTH);
    memset(record, 0, sizeof record);
    status = read(5, handle, key, record, RECORD_LENGTH);
    Check(status == 0, "DbRead Get Equal finds number 0002", status);
    Check(memcmp(record + NAME_OFFSET, "Miller", 6) == 0, "the record read by key is Miller's", status);

    BtrKeySpec definition;
    memset(&definition, 0, sizeof definition);
    definition.position = NAME_OFFSET + 1;
    definition.length = NAME_LENGTH;
    definition.flags = 0x0001 | 0x0002; /* duplicates, modifiable */
    status = ((ActivateKeyFn)Bound(216))(handle, (int16_t)sizeof definition, &definition);
    Check(status == 0, "DbActivateKey makes the name the current key", status);
    if (status == 0) {
        memset(key, 0, sizeof key);
        memset(record, 0, sizeof record);
        status = read(12, handle, key, record, RECORD_LENGTH);
        Check(status == 0, "DbRead Get First by the activated key", status);
        Check(memcmp(record + NAME_OFFSET, "Adams", 5) == 0, "the first record by name is Adams'", status);
        status = ((DeactivateKeyFn)Bound(210))(handle);
        Check(status == 0, "DbDeactivateKey gives the key back", status);
    }

    status = close(handle);
    Check(status == 0, "DbClose closes the file", status);
}

int main(void) {
    setvbuf(stdout, NULL, _IONBF, 0);

    HMODULE module = LoadLibraryA("tydb.dll");
    if (module == NULL) {
        printf("FAILED  LoadLibraryA(\"tydb.dll\"): error %lu\n", (unsigned long)GetLastError());
        return 1;
    }

    int bound = 0;
    for (int i = 0; i < EXPORT_COUNT; ++i) {
        struct Export* e = &exports[i];
        e->address = GetProcAddress(module, MAKEINTRESOURCEA(e->ordinal));
        if (e->address == NULL) {
            Check(0, e->name, e->ordinal);
            continue;
        }
        ++bound;
        /* The seven named exports are found by name at the same address; the others have no
         * name in the table, so the application cannot bind them any other way than it does. */
        FARPROC byName = GetProcAddress(module, e->name);
        if (e->named) {
            if (byName != e->address) Check(0, "a named export is found by its name at its ordinal", e->ordinal);
        } else if (byName != NULL) {
            Check(0, "an export without a name in the table is found by name", e->ordinal);
        }
    }
    printf("bound %d of %d exports by ordinal\n", bound, EXPORT_COUNT);
    if (bound < EXPORT_COUNT) {
        FreeLibrary(module);
        printf("%d passed, %d failed\n", passed, failed);
        return 1;
    }

    EngineSteps();
    char folder[MAX_PATH * 2];
    if (MakeDataFolder(folder, sizeof folder)) {
        DataSteps(folder);
        RemoveDataFolder(folder);
    } else {
        Check(0, "a data folder in the temporary folder", (long)GetLastError());
    }

    FreeLibrary(module);
    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
