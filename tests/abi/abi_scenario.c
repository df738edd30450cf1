/*
 * abi_scenario.c: a C program over the public header. It loads libtydb.so by path, binds every
 * export of the export list by name with dlsym, each to a pointer of the type the header
 * declares, and works with a data file through those pointers only: create, open, insert, read
 * by key, activate a supplemental key and read by it, deactivate, the same file through a
 * record object, close.
 *
 *   abi_scenario <libtydb.so> <folder of the record manager's library>
 *
 * Exit code 0 when every step passed. Compiled as C, so the header is proven usable from C.
 */
#define _POSIX_C_SOURCE 200809L

#include <dirent.h>
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "btrcall.h"
#include "tydb.h"

static int passed = 0;
static int failed = 0;

static void Check(int ok, const char* what, long value) {
    if (ok) {
        ++passed;
        printf("ok      %s\n", what);
    } else {
        ++failed;
        printf("FAILED  %s (%ld)\n", what, value);
    }
}

/* ---- Binding ------------------------------------------------------------------------------- */

static void* library;
static int bound = 0;

static void* Symbol(const char* name) {
    void* address = dlsym(library, name);
    if (address == NULL)
        Check(0, name, 0);
    else
        ++bound;
    return address;
}

/* A pointer for every export of the list (tydb_exports.h, generated from the export list), each
 * of the type of the header's own declaration: a listed function the header lacks does not
 * compile. */
#define TYDB_EXPORT(ordinal, name, named) static __typeof__(&name) p##name;
#include "tydb_exports.h"
#undef TYDB_EXPORT

enum {
    EXPORT_COUNT = 0
#define TYDB_EXPORT(ordinal, name, named) +1
#include "tydb_exports.h"
#undef TYDB_EXPORT
};

static void BindAll(void) {
#define TYDB_EXPORT(ordinal, name, named) p##name = (__typeof__(&name))Symbol(#name);
#include "tydb_exports.h"
#undef TYDB_EXPORT
}

/* ---- The data file --------------------------------------------------------------------------- */

#define RECORD_LENGTH 32
#define NAME_LENGTH 8
#define TEXT_OFFSET 12

static void MakeRecord(char* record, const char* name, const char* text) {
    memset(record, ' ', RECORD_LENGTH);
    memcpy(record, name, strlen(name));
    memcpy(record + TEXT_OFFSET, text, strlen(text));
}

static int SameName(const char* record, const char* name) {
    char padded[NAME_LENGTH];
    memset(padded, ' ', sizeof padded);
    memcpy(padded, name, strlen(name));
    return memcmp(record, padded, NAME_LENGTH) == 0;
}

static void DataSteps(const char* folder) {
    char path[512];
    snprintf(path, sizeof path, "%s/PEOPLE.DAT", folder);

    BtrFileSpec spec;
    memset(&spec, 0, sizeof spec);
    spec.recordLength = RECORD_LENGTH;
    spec.pageSize = 4096;
    spec.keyCount = 1;
    BtrKeySpec keys[2];
    memset(keys, 0, sizeof keys);
    keys[0].position = 1;
    keys[0].length = NAME_LENGTH;
    int32_t status = pDbCreateFile(path, &spec, keys);
    Check(status == 0, "DbCreateFile creates a file with a name key", status);

    int16_t handle = 0;
    status = pDbOpen(&handle, path, 0, 0);
    Check(status == 0 && handle >= 1, "DbOpen opens it", status);
    if (status != 0) return;

    /* The text of each record sorts the records the other way round. */
    const char* names[] = {"Adams", "Baker", "Cole"};
    const char* texts[] = {"zz", "mm", "aa"};
    char record[RECORD_LENGTH];
    char key[256];
    for (int i = 0; i < 3; ++i) {
        MakeRecord(record, names[i], texts[i]);
        memset(key, 0, sizeof key);
        status = pDbModify(2, handle, key, record, RECORD_LENGTH);
        Check(status == 0, "DbModify inserts a record", status);
    }

    memset(key, 0, sizeof key);
    memcpy(key, "Baker   ", NAME_LENGTH);
    memset(record, 0, sizeof record);
    status = pDbRead(5, handle, key, record, RECORD_LENGTH);
    Check(status == 0 && SameName(record, "Baker"), "DbRead Get Equal finds Baker", status);
    Check(pDbGetLastDataLength(handle) == RECORD_LENGTH, "DbGetLastDataLength is the record length",
          pDbGetLastDataLength(handle));

    BtrKeySpec definition;
    memset(&definition, 0, sizeof definition);
    definition.position = TEXT_OFFSET + 1;
    definition.length = 2;
    definition.flags = 0x0001; /* duplicates */
    status = pDbActivateKey(handle, (int16_t)sizeof definition, &definition);
    Check(status == 0, "DbActivateKey builds a key over the text", status);
    if (status == 0) {
        memset(key, 0, sizeof key);
        status = pDbRead(12, handle, key, record, RECORD_LENGTH);
        Check(status == 0 && SameName(record, "Cole"), "DbRead Get First by the text key finds Cole", status);
        status = pDbDeactivateKey(handle);
        Check(status == 0, "DbDeactivateKey gives the key back", status);
    }

    TydbRecordObject* object = pDbRecCreate(RECORD_LENGTH, NAME_LENGTH + 1);
    Check(object != NULL, "DbRecCreate gives an object", 0);
    if (object != NULL) {
        Check(object->handle == -1 && object->dataLength == RECORD_LENGTH && object->reserved == 1,
              "the object's fields lie where the header says", object->handle);
        status = pDbRecOpen(&object->handle, 0, path);
        Check(status == 0 && object->handle >= 1, "DbRecOpen opens the file into the object", status);
        status = pDbRecGetFirst(object, -1);
        Check(status == 0 && SameName((const char*)object->dataBuffer, "Adams"),
              "DbRecGetFirst reads Adams into the object", status);
        memcpy(object->keyBuffer, "Cole", 5);
        pDbRecPadKey(object);
        Check(memcmp(object->keyBuffer, "Cole    ", NAME_LENGTH + 1) == 0, "DbRecPadKey pads the key", 0);
        status = pDbRecGetEqual(object, 0);
        Check(status == 0 && SameName((const char*)object->dataBuffer, "Cole"), "DbRecGetEqual finds Cole", status);
        int32_t count = pDbRecRecordCount(object);
        Check(count == 3, "DbRecRecordCount counts three records", count);
        status = pDbRecClose(object);
        Check(status == 0, "DbRecClose closes the object's file", status);
        Check(pDbRecFree(object) != 0, "DbRecFree gives the object back", 0);
    }

    status = pDbClose(handle);
    Check(status == 0, "DbClose closes the file", status);
    Check(pDbCloseAll() == 0, "DbCloseAll finds nothing left to close", 0);
}

/* ---- Folders --------------------------------------------------------------------------------- */

static int WriteSettings(const char* folder, const char* engineDir) {
    char file[512];
    snprintf(file, sizeof file, "%s/settings.ini", folder);
    FILE* out = fopen(file, "w");
    if (out == NULL) return 0;
    fprintf(out, "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nPATH=%s\n", engineDir);
    fclose(out);
    return setenv("TYWREG_FILE", file, 1) == 0;
}

static void RemoveFolder(const char* folder) {
    DIR* dir = opendir(folder);
    if (dir != NULL) {
        struct dirent* entry;
        while ((entry = readdir(dir)) != NULL) {
            if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
            char file[1024];
            snprintf(file, sizeof file, "%s/%s", folder, entry->d_name);
            remove(file);
        }
        closedir(dir);
    }
    remove(folder); /* an empty folder: remove() takes it as rmdir() does */
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: abi_scenario <libtydb.so> <engine folder>\n");
        return 2;
    }
    setvbuf(stdout, NULL, _IONBF, 0);

    char folder[] = "/tmp/tydb-abi-XXXXXX";
    if (mkdtemp(folder) == NULL || !WriteSettings(folder, argv[2])) {
        printf("FAILED  a data folder with a settings file\n");
        return 1;
    }

    library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == NULL) {
        printf("FAILED  dlopen(%s): %s\n", argv[1], dlerror());
        RemoveFolder(folder);
        return 1;
    }
    BindAll();
    Check(bound == EXPORT_COUNT, "every export is found by its name", bound);

    if (bound == EXPORT_COUNT) {
        Check(pDbCheckEngine() == 0, "DbCheckEngine finds the record manager", 0);
        DataSteps(folder);
        Check(pDbStopEngine() == 0, "DbStopEngine stops the record manager", 0);
    }

    dlclose(library);
    RemoveFolder(folder);
    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
