/* w3btrv7_admin.h: the record manager's administration entry points, beside BTRCALL, exported
 * by name (and with BTRCALL's calling convention) from libw3btrv7.so and w3btrv7.dll for tools:
 * making a data folder one that a PostgreSQL server serves, moving a folder's data files to its
 * server and back, saying which store keeps a data file, checking a data file, copying one while
 * it is in use, and saving what a damaged one still holds.
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
typedef int16_t(BTR_CALL* W3bServerInitFunction)(const char* folder, const char* connection, const char* schema,
                                                 int replace, char* message, uint32_t messageSize);
BTR_EXPORT int16_t BTR_CALL W3bServerInit(const char* folder, const char* connection, const char* schema, int replace,
                                          char* message, uint32_t messageSize);

/* W3B_MOVE_TO_SERVER: every SQLite data file of the served FOLDER to its server, each source
 * then kept in FOLDER/moved-to-server. W3B_MOVE_BACK: every server file of the folder's schema
 * into an SQLite file of FOLDER, the server's files then dropped and w3btrv7.server renamed
 * w3btrv7.server.moved-back. 88 while any file is open in another process, 59 when a file is on
 * both sides. */
typedef int16_t(BTR_CALL* W3bServerMoveFunction)(const char* folder, int direction, W3bMoveReport report, void* context,
                                                 char* message, uint32_t messageSize);
BTR_EXPORT int16_t BTR_CALL W3bServerMove(const char* folder, int direction, W3bMoveReport report, void* context,
                                          char* message, uint32_t messageSize);

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
BTR_EXPORT int16_t BTR_CALL W3bFileStoreOf(const char* path, W3bFileStore* store, char* message, uint32_t messageSize);

/* What a check found wrong, by kind. */
enum {
    W3B_DAMAGE_PAGES = 1,         /* the database's own check: a damaged page, table or index */
    W3B_DAMAGE_DEFINITION = 2,    /* the stored definition cannot be read or is not valid */
    W3B_DAMAGE_SHORT_RECORD = 3,  /* a record shorter than the fixed record length */
    W3B_DAMAGE_MISSING_ENTRY = 4, /* a record missing from a key that should list it */
    W3B_DAMAGE_STRAY_ENTRY = 5,   /* a key entry naming no record, or a record the key leaves out */
    W3B_DAMAGE_WRONG_ENTRY = 6,   /* a key entry under another value than its record's, or twice */
    W3B_DAMAGE_ORDER = 7          /* a repeated value in a key without duplicates, a bad order number */
};

/* One finding: its kind, the key and record position concerned (-1 when none), in words. */
typedef struct W3bFinding {
    int32_t kind;
    int32_t key;
    int64_t position;
    const char* text;
} W3bFinding;

typedef void (*W3bCheckReport)(void* context, const W3bFinding* finding);

typedef struct W3bCheckSummary {
    int64_t records;
    int32_t keys;
    int64_t entries;
    int64_t findings;
} W3bCheckSummary;

/* Checks the SQLite data file at `path` on one snapshot, changing nothing: the database's own
 * check of its pages, the stored definition, and every key's entries against the records. Each
 * finding goes to `report`; `summary` counts what was read and found. 0 when the check ran to
 * its end (a damaged file too: see summary->findings), 12 when there is no such file, 30 when it
 * is no database, 41 for a file a server keeps. */
typedef int16_t(BTR_CALL* W3bCheckFileFunction)(const char* path, W3bCheckReport report, void* context,
                                                W3bCheckSummary* summary, char* message, uint32_t messageSize);
BTR_EXPORT int16_t BTR_CALL W3bCheckFile(const char* path, W3bCheckReport report, void* context,
                                         W3bCheckSummary* summary, char* message, uint32_t messageSize);

/* Told after each slice of a backup: pages copied so far and pages in all. */
typedef void (*W3bBackupProgress)(void* context, int64_t pagesCopied, int64_t pagesTotal);

/* Copies the SQLite data file `source` into the new file `dest` while the application goes on
 * using it: one consistent moment of the file (in WAL mode the moment the copy began; writers
 * never wait for it). `dest` appears only whole. 12 when `source` is missing, 59 when `dest`
 * exists, 85 when the source stayed busy, 41 for a file a server keeps (the message says how:
 * pg_dump of the folder's schema). */
typedef int16_t(BTR_CALL* W3bBackupFileFunction)(const char* source, const char* dest, W3bBackupProgress progress,
                                                 void* context, char* message, uint32_t messageSize);
BTR_EXPORT int16_t BTR_CALL W3bBackupFile(const char* source, const char* dest, W3bBackupProgress progress,
                                          void* context, char* message, uint32_t messageSize);

/* One record a recovery could not save: its position (-1 for a damaged stretch that no key
 * lists) and why. */
typedef void (*W3bLostRecord)(void* context, int64_t position, const char* why);

typedef struct W3bRecoverSummary {
    int64_t saved;
    int64_t lost;
} W3bRecoverSummary;

/* Saves what the damaged SQLite data file `source` still holds into the new file `dest`: every
 * record that can be read, at its own position, under the source's definition, every key built
 * again from them; each record lost goes to `report`. 0 when `dest` was made (records may have
 * been lost: see summary->lost), 12 when `source` is missing, 59 when `dest` exists, 30 when the
 * source's definition cannot be read (W3bRecoverFileAs takes one), 5 when a key without
 * duplicates would hold a value twice, 41 for a file a server keeps. */
typedef int16_t(BTR_CALL* W3bRecoverFileFunction)(const char* source, const char* dest, W3bLostRecord report,
                                                  void* context, W3bRecoverSummary* summary, char* message,
                                                  uint32_t messageSize);
BTR_EXPORT int16_t BTR_CALL W3bRecoverFile(const char* source, const char* dest, W3bLostRecord report, void* context,
                                           W3bRecoverSummary* summary, char* message, uint32_t messageSize);

/* As W3bRecoverFile, for a source whose own definition is damaged: `dest` is made with the
 * definition in `createBuffer` (the data buffer Create takes: file specification, key segments,
 * collating sequence), and records shorter than its record length are reported lost. A status
 * of Create when the definition is not one it would accept; otherwise as W3bRecoverFile. */
typedef int16_t(BTR_CALL* W3bRecoverFileAsFunction)(const char* source, const char* dest, const void* createBuffer,
                                                    uint32_t createLength, W3bLostRecord report, void* context,
                                                    W3bRecoverSummary* summary, char* message, uint32_t messageSize);
BTR_EXPORT int16_t BTR_CALL W3bRecoverFileAs(const char* source, const char* dest, const void* createBuffer,
                                             uint32_t createLength, W3bLostRecord report, void* context,
                                             W3bRecoverSummary* summary, char* message, uint32_t messageSize);

/* Asks that the record the calling thread's next BTRCALL inserts (operation 2) take record
 * position `position` (its Get Position answer) instead of one the store chooses: an importer
 * keeps each record's address from the file it came from, which an application may have stored
 * in its own records. The request is used up by that next call, whatever it is; 0 withdraws it.
 * The Insert answers 43 when the position is taken already; later Inserts without a request go
 * past the highest position in use. Always 0. */
typedef int16_t(BTR_CALL* W3bInsertAtFunction)(uint32_t position);
BTR_EXPORT int16_t BTR_CALL W3bInsertAt(uint32_t position);

#ifdef __cplusplus
}
#endif

#endif /* W3BTRV7_ADMIN_H */
