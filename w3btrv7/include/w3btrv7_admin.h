/* w3btrv7_admin.h: the record manager's administration entry points, beside BTRCALL, exported
 * by name (and with BTRCALL's calling convention) from libw3btrv7.so and w3btrv7.dll for tools:
 * making a data folder one that a PostgreSQL server serves, moving a folder's data files to its
 * server and back, and saying which store keeps a data file.
 *
 * Each returns 0 or a record manager status, and then writes what went wrong, in words, into
 * `message` (`messageSize` bytes, always ended by a NUL). */
#ifndef W3BTRV7_ADMIN_H
#define W3BTRV7_ADMIN_H

#include <stdint.h>

#include "btrcall.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One file moved: its name in the folder, its records, and the time its copy and check took. */
typedef struct W3bMovedFile {
    const char* name;
    int64_t records;
    double seconds;
} W3bMovedFile;

/* Called once per file moved, after its copy was verified. */
typedef void (*W3bMoveReport)(void* context, const W3bMovedFile* file);

enum { W3B_MOVE_TO_SERVER = 0, W3B_MOVE_BACK = 1 };

/* Writes FOLDER/w3btrv7.server naming `connection` and `schema` once the schema and its tables
 * are on the server. 59 when the folder has one already and `replace` is 0. */
typedef int16_t(BTR_CALL* W3bServerInitFunction)(const char* folder, const char* connection,
                                                 const char* schema, int replace, char* message,
                                                 uint32_t messageSize);
BTR_EXPORT int16_t BTR_CALL W3bServerInit(const char* folder, const char* connection, const char* schema,
                                          int replace, char* message, uint32_t messageSize);

/* W3B_MOVE_TO_SERVER: every SQLite data file of the served FOLDER to its server, each source
 * then kept in FOLDER/moved-to-server. W3B_MOVE_BACK: every server file of the folder's schema
 * into an SQLite file of FOLDER, the server's files then dropped and w3btrv7.server renamed
 * w3btrv7.server.moved-back. 88 while any file is open in another process, 59 when a file is on
 * both sides. */
typedef int16_t(BTR_CALL* W3bServerMoveFunction)(const char* folder, int direction, W3bMoveReport report,
                                                 void* context, char* message, uint32_t messageSize);
BTR_EXPORT int16_t BTR_CALL W3bServerMove(const char* folder, int direction, W3bMoveReport report,
                                          void* context, char* message, uint32_t messageSize);

/* W3B_STORE_SQLITE_SHARED: an SQLite file kept for workstations that share its folder over the
 * network (a rollback journal, no shared memory); W3B_STORE_SQLITE: one kept for the processes
 * of one computer (WAL). */
enum { W3B_STORE_SQLITE = 0, W3B_STORE_SERVER = 1, W3B_STORE_SQLITE_SHARED = 2 };

/* Where a data file is kept. A server file is named by the folder's schema and its name there;
 * the connection string stays in the folder's w3btrv7.server and is not repeated here. */
typedef struct W3bFileStore {
    int32_t store;
    char schema[64];
    char name[256];
} W3bFileStore;

/* Which store keeps (or would keep) the data file at `path`, decided as an Open decides: by the
 * w3btrv7.server file of its folder, and for an SQLite file by the settings and the file system
 * of its folder, with the reason in `message`. 2 when that file cannot be read, 22 when a name
 * does not fit `store`. */
typedef int16_t(BTR_CALL* W3bFileStoreFunction)(const char* path, W3bFileStore* store, char* message,
                                                uint32_t messageSize);
BTR_EXPORT int16_t BTR_CALL W3bFileStoreOf(const char* path, W3bFileStore* store, char* message,
                                           uint32_t messageSize);

#ifdef __cplusplus
}
#endif

#endif /* W3BTRV7_ADMIN_H */
