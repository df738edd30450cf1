/*
 * tydb_status.h: what a status means, in the words the tydb tool prints.
 *
 * Header only, for C and C++: TydbStatusText(12) is "file not found". Negative statuses are the
 * library's own (tydb.h), positive ones the record manager's (btrcall.h). A status this header
 * does not know gets "library error" or "record manager error".
 */
#ifndef TYDB_STATUS_H
#define TYDB_STATUS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

static inline const char* TydbStatusText(int32_t status) {
    switch (status) {
        case -7: return "no lock file can be made in the lock directory (read-only, not writable or missing)";
        case -6: return "another workstation holds the lock directory";
        case -5: return "the library could not allocate a buffer";
        case -2: return "the library's table of open files is full";
        case -1: return "the file handle is not open";
        case 0: return "success";
        case 1: return "operation not supported by the record manager";
        case 2: return "I/O error";
        case 3: return "file not open";
        case 4: return "key value not found";
        case 5: return "duplicate key value";
        case 6: return "invalid key number";
        case 7: return "different key number";
        case 8: return "no current record";
        case 9: return "end of file";
        case 10: return "key is not modifiable";
        case 11: return "invalid file name";
        case 12: return "file not found";
        case 17: return "close error";
        case 18: return "disk full";
        case 19: return "file damaged";
        case 20: return "record manager not found or inactive";
        case 21: return "key buffer too short";
        case 22: return "data buffer length wrong";
        case 24: return "invalid page size";
        case 25: return "file cannot be created";
        case 26: return "invalid number of keys or segments";
        case 27: return "invalid key position";
        case 28: return "invalid record length";
        case 29: return "invalid key length";
        case 30: return "not a data file of the record manager";
        case 35: return "directory error";
        case 36: return "transaction error";
        case 37: return "a transaction is already active";
        case 39: return "no transaction to end";
        case 40: return "too many files in one transaction";
        case 41: return "operation not allowed";
        case 43: return "invalid record address";
        case 44: return "record has a null value for this key";
        case 45: return "inconsistent key flags";
        case 46: return "access to the file denied";
        case 47: return "too many files open";
        case 48: return "invalid collating sequence";
        case 49: return "invalid key type";
        case 50: return "the file has an owner already";
        case 51: return "owner name missing or wrong";
        case 55: return "invalid autoincrement value";
        case 56: return "key incomplete";
        case 59: return "file already exists";
        case 60: return "reject count reached";
        case 61: return "work space too small";
        case 62: return "invalid extended request";
        case 63: return "invalid insert extended buffer";
        case 65: return "invalid field extractor";
        case 78: return "deadlock";
        case 80: return "record changed by another user";
        case 81: return "lock error";
        case 82: return "position lost";
        case 84: return "record in use by another user";
        case 85: return "file in use by another user";
        case 88: return "open mode incompatible with other users";
        case 93: return "incompatible lock type";
        case 94: return "permission error";
        case 95: return "session no longer valid: the server could not be reached";
        case 103: return "chunk offset too long";
        default: return status < 0 ? "library error" : "record manager error";
    }
}

#ifdef __cplusplus
}
#endif

#endif /* TYDB_STATUS_H */
