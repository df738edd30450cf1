/*
 * customers.c: a C program on tydb. It makes a data file of customers in the folder it is
 * given, inserts three, finds one by its number, lists them in name order and shows what a
 * status means. Build it against the installed SDK (see README.md beside it).
 */
#include <stdio.h>
#include <string.h>

#include <btrcall.h>
#include <tydb.h>
#include <tydb_status.h>

#pragma pack(push, 1)
typedef struct Customer {
    uint32_t number; /* key 0: unique */
    char name[16];   /* key 1: duplicates allowed */
} Customer;
#pragma pack(pop)

static int Failed(const char* what, int32_t status) {
    fprintf(stderr, "%s: status %d (%s)\n", what, (int)status, TydbStatusText(status));
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: customers FOLDER\n");
        return 2;
    }
    char path[TYDB_MAX_PATH_LENGTH + 1];
    snprintf(path, sizeof path, "%s/CUSTOMER.DAT", argv[1]);

    BtrFileSpec file = {0};
    file.recordLength = sizeof(Customer);
    file.pageSize = 4096;
    file.keyCount = 2;
    BtrKeySpec keys[3] = {{0}};
    keys[0].position = 1;
    keys[0].length = 4;
    keys[0].flags = BTR_KEY_FLAG_EXTENDED_TYPE;
    keys[0].extendedType = BTR_TYPE_UNSIGNED_BINARY;
    keys[1].position = 5;
    keys[1].length = 16;
    keys[1].flags = BTR_KEY_FLAG_DUPLICATES | BTR_KEY_FLAG_MODIFIABLE;
    /* keys[2].position == 0 ends the list */
    int32_t status = DbCreateFile(path, &file, keys);
    if (status != BTR_STATUS_SUCCESS) return Failed("create", status);

    int16_t handle = 0;
    if ((status = DbOpen(&handle, path, 0, 0)) != BTR_STATUS_SUCCESS) return Failed("open", status);
    const Customer customers[] = {{1001, "Mills"}, {1002, "Abbott"}, {1003, "Kowalski"}};
    for (size_t i = 0; i < sizeof customers / sizeof customers[0]; ++i) {
        Customer record = customers[i];
        char key[4];
        status = DbModify(BTR_OP_INSERT, handle, key, &record, sizeof record);
        if (status != BTR_STATUS_SUCCESS) return Failed("insert", status);
    }

    Customer found;
    uint32_t number = 1002;
    status = DbRead(BTR_OP_GET_EQUAL, handle, &number, &found, sizeof found);
    if (status != BTR_STATUS_SUCCESS) return Failed("get equal", status);
    printf("customer %u: %s\n", (unsigned)found.number, found.name);

    number = 4711;
    status = DbRead(BTR_OP_GET_EQUAL, handle, &number, &found, sizeof found);
    printf("customer %u: status %d (%s)\n", (unsigned)number, (int)status, TydbStatusText(status));

    DbOverRideDef(handle, 1, -1); /* name order */
    char name[16];
    for (status = DbRead(BTR_OP_GET_FIRST, handle, name, &found, sizeof found); status == BTR_STATUS_SUCCESS;
         status = DbRead(BTR_OP_GET_NEXT, handle, name, &found, sizeof found)) {
        printf("%s\n", found.name);
    }
    if (status != BTR_STATUS_END_OF_FILE) return Failed("get next", status);
    return DbClose(handle) == BTR_STATUS_SUCCESS ? 0 : 1;
}
