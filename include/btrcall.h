/*
 * btrcall.h: the record manager's call interface.
 *
 * One entry point, BTRCALL, carries every request: an operation code (with
 * its biases), a 128-byte position block the record manager owns, a data
 * buffer with its length, a key buffer with its declared capacity, and a key
 * number. The library (tydb), our record manager (w3btrv7), the tool and the
 * tests all speak through this header.
 *
 * The layouts below are exchanged byte for byte through the data buffer of
 * Create, Create Index and Stat; all integers are little-endian.
 */
#ifndef TYDB_BTRCALL_H
#define TYDB_BTRCALL_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define BTR_CALL __stdcall
#else
#define BTR_CALL
#endif

#if defined(_WIN32)
#define BTR_EXPORT
#else
#define BTR_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The published prototype. dataLength is in/out: capacity or bytes supplied
 * on the way in, bytes returned on the way out. keyLength is the capacity of
 * the key buffer the caller declares. */
typedef int16_t(BTR_CALL* BtrCallFunction)(uint16_t operation, void* positionBlock, void* dataBuffer,
                                           uint32_t* dataLength, void* keyBuffer, uint8_t keyLength,
                                           int8_t keyNumber);

#pragma pack(push, 1)

/* File specification: sent to Create, returned by Stat (16 bytes). */
typedef struct BtrFileSpec {
    int16_t recordLength;      /* fixed record length, or the fixed part of variable records */
    int16_t pageSize;          /* 512..4096 in steps of 512 */
    uint8_t keyCount;          /* keys, not segments */
    uint8_t fileVersion;       /* 0 on Create; Stat with key number -1 fills it (0x60, 0x70, ...) */
    uint32_t recordCount;      /* 0 on Create; Stat fills it */
    uint16_t fileFlags;        /* kBtrFileFlag... */
    uint8_t duplicatePointers; /* reserved duplicate pointers (with the dup-pointer flag) */
    uint8_t unused13;
    uint16_t allocation;       /* Create: pages to preallocate; Stat: unused pages */
} BtrFileSpec;

/* Key-segment specification: one per segment, the segments of a key
 * consecutive, every segment but the last with the segmented flag (16 bytes). */
typedef struct BtrKeySpec {
    int16_t position;      /* 1-based byte offset of the segment in the record */
    int16_t length;        /* segment length */
    uint16_t flags;        /* kBtrKeyFlag... */
    uint32_t uniqueCount;  /* 0 on Create; Stat fills the number of unique values of the key */
    uint8_t extendedType;  /* kBtrType... when kBtrKeyFlagExtendedType is set */
    uint8_t nullValue;     /* the byte that marks a null segment */
    uint16_t reserved12;
    int8_t keyNumber;      /* Create: manual key number; Stat: the key this segment belongs to */
    uint8_t acsNumber;     /* which collating sequence of the file the segment uses */
} BtrKeySpec;

/* Alternate collating sequence (265 bytes). */
typedef struct BtrAcs {
    uint8_t signature; /* 0xAC user-defined */
    char name[8];      /* blank-padded, no terminator */
    uint8_t map[256];  /* map[b] is the sort weight of byte b */
} BtrAcs;

#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(BtrFileSpec) == 16, "file specification is 16 bytes");
static_assert(sizeof(BtrKeySpec) == 16, "key-segment specification is 16 bytes");
static_assert(sizeof(BtrAcs) == 265, "collating sequence is 265 bytes");
static_assert(__builtin_offsetof(BtrFileSpec, pageSize) == 2, "file spec layout");
static_assert(__builtin_offsetof(BtrFileSpec, keyCount) == 4, "file spec layout");
static_assert(__builtin_offsetof(BtrFileSpec, fileVersion) == 5, "file spec layout");
static_assert(__builtin_offsetof(BtrFileSpec, recordCount) == 6, "file spec layout");
static_assert(__builtin_offsetof(BtrFileSpec, fileFlags) == 10, "file spec layout");
static_assert(__builtin_offsetof(BtrFileSpec, duplicatePointers) == 12, "file spec layout");
static_assert(__builtin_offsetof(BtrFileSpec, allocation) == 14, "file spec layout");
static_assert(__builtin_offsetof(BtrKeySpec, length) == 2, "key spec layout");
static_assert(__builtin_offsetof(BtrKeySpec, flags) == 4, "key spec layout");
static_assert(__builtin_offsetof(BtrKeySpec, uniqueCount) == 6, "key spec layout");
static_assert(__builtin_offsetof(BtrKeySpec, extendedType) == 10, "key spec layout");
static_assert(__builtin_offsetof(BtrKeySpec, nullValue) == 11, "key spec layout");
static_assert(__builtin_offsetof(BtrKeySpec, keyNumber) == 14, "key spec layout");
static_assert(__builtin_offsetof(BtrKeySpec, acsNumber) == 15, "key spec layout");
static_assert(__builtin_offsetof(BtrAcs, name) == 1, "ACS layout");
static_assert(__builtin_offsetof(BtrAcs, map) == 9, "ACS layout");
#else
_Static_assert(sizeof(BtrFileSpec) == 16, "file specification is 16 bytes");
_Static_assert(sizeof(BtrKeySpec) == 16, "key-segment specification is 16 bytes");
_Static_assert(sizeof(BtrAcs) == 265, "collating sequence is 265 bytes");
#endif

#ifdef __cplusplus
} /* extern "C" */

namespace btr {

// Sizes of the interface.
inline constexpr int kPositionBlockSize = 128;
inline constexpr int kMaxKeyLength = 255;      // all segments of a key together
inline constexpr int kMaxPathLength = 255;     // path in the key buffer of Open/Create, NUL included
inline constexpr int kRecordPositionSize = 4;  // Get Position reply
inline constexpr int kAcsSize = 265;
inline constexpr int kVersionReplySize = 15;   // three version blocks of 5 bytes
inline constexpr int kMaxKeyNumber = 118;

// Operation codes (the base, before biases).
inline constexpr uint16_t kOpOpen = 0;
inline constexpr uint16_t kOpClose = 1;
inline constexpr uint16_t kOpInsert = 2;
inline constexpr uint16_t kOpUpdate = 3;
inline constexpr uint16_t kOpDelete = 4;
inline constexpr uint16_t kOpGetEqual = 5;
inline constexpr uint16_t kOpGetNext = 6;
inline constexpr uint16_t kOpGetPrevious = 7;
inline constexpr uint16_t kOpGetGreater = 8;
inline constexpr uint16_t kOpGetGreaterOrEqual = 9;
inline constexpr uint16_t kOpGetLess = 10;
inline constexpr uint16_t kOpGetLessOrEqual = 11;
inline constexpr uint16_t kOpGetFirst = 12;
inline constexpr uint16_t kOpGetLast = 13;
inline constexpr uint16_t kOpCreate = 14;
inline constexpr uint16_t kOpStat = 15;
inline constexpr uint16_t kOpExtend = 16;
inline constexpr uint16_t kOpSetDirectory = 17;
inline constexpr uint16_t kOpGetDirectory = 18;
inline constexpr uint16_t kOpBeginTransaction = 19;
inline constexpr uint16_t kOpEndTransaction = 20;
inline constexpr uint16_t kOpAbortTransaction = 21;
inline constexpr uint16_t kOpGetPosition = 22;
inline constexpr uint16_t kOpGetDirect = 23;
inline constexpr uint16_t kOpStepNext = 24;
inline constexpr uint16_t kOpStop = 25;
inline constexpr uint16_t kOpVersion = 26;
inline constexpr uint16_t kOpUnlock = 27;
inline constexpr uint16_t kOpReset = 28;
inline constexpr uint16_t kOpSetOwner = 29;
inline constexpr uint16_t kOpClearOwner = 30;
inline constexpr uint16_t kOpCreateIndex = 31;
inline constexpr uint16_t kOpDropIndex = 32;
inline constexpr uint16_t kOpStepFirst = 33;
inline constexpr uint16_t kOpStepLast = 34;
inline constexpr uint16_t kOpStepPrevious = 35;
inline constexpr uint16_t kOpGetNextExtended = 36;
inline constexpr uint16_t kOpGetPreviousExtended = 37;
inline constexpr uint16_t kOpStepNextExtended = 38;
inline constexpr uint16_t kOpStepPreviousExtended = 39;
inline constexpr uint16_t kOpInsertExtended = 40;
inline constexpr uint16_t kOpContinuous = 42;
inline constexpr uint16_t kOpGetByPercentage = 44;
inline constexpr uint16_t kOpFindPercentage = 45;
inline constexpr uint16_t kOpUpdateChunk = 53;
inline constexpr uint16_t kOpStatExtended = 65;

// Biases added to an operation code.
inline constexpr uint16_t kBiasGetKey = 50;             // Get without reading the record
inline constexpr uint16_t kBiasSingleWaitLock = 100;
inline constexpr uint16_t kBiasSingleNoWaitLock = 200;
inline constexpr uint16_t kBiasMultipleWaitLock = 300;
inline constexpr uint16_t kBiasMultipleNoWaitLock = 400;
inline constexpr uint16_t kBiasNoWriteWait = 500;
inline constexpr uint16_t kBiasConcurrentTransaction = 1000;

// Key numbers with a special meaning.
inline constexpr int8_t kKeyNumberPhysical = -1;    // Get/Find Percentage in physical order; Stat's alternate reply
inline constexpr int8_t kKeyNumberNoCurrency = -1;  // Insert/Update without currency change
inline constexpr int8_t kKeyNumberChunk = -2;       // Get Direct, chunk form
inline constexpr uint8_t kKeyNumberExact = 0x80;    // Create/Drop Index: this exact key number

// Open modes, passed as the key number of Open.
inline constexpr int8_t kOpenNormal = 0;
inline constexpr int8_t kOpenAccelerated = -1;
inline constexpr int8_t kOpenReadOnly = -2;
inline constexpr int8_t kOpenVerify = -3;
inline constexpr int8_t kOpenExclusive = -4;

// Create modes, passed as the key number of Create.
inline constexpr int8_t kCreateOverwrite = 0;
inline constexpr int8_t kCreateNoOverwrite = -1;
inline constexpr int8_t kCreateOverwriteNoTts = -2;
inline constexpr int8_t kCreateNoOverwriteNoTts = -3;

// Unlock modes, passed as the key number of Unlock.
inline constexpr int8_t kUnlockSingle = 0;
inline constexpr int8_t kUnlockOneMultiple = -1;
inline constexpr int8_t kUnlockAllMultiple = -2;

// File flags (file specification offset 10).
inline constexpr uint16_t kFileFlagVariableLength = 0x0001;
inline constexpr uint16_t kFileFlagBlankTruncation = 0x0002;
inline constexpr uint16_t kFileFlagPreallocate = 0x0004;
inline constexpr uint16_t kFileFlagCompression = 0x0008;
inline constexpr uint16_t kFileFlagKeyOnly = 0x0010;
inline constexpr uint16_t kFileFlagBalancedKeys = 0x0020;
inline constexpr uint16_t kFileFlagFree10 = 0x0040;
inline constexpr uint16_t kFileFlagFree20 = 0x0080;
inline constexpr uint16_t kFileFlagDuplicatePointers = 0x0100;
inline constexpr uint16_t kFileFlagSystemData = 0x0200;
inline constexpr uint16_t kFileFlagSpecifyKeyNumbers = 0x0400;
inline constexpr uint16_t kFileFlagVats = 0x0800;

// Key flags (key-segment specification offset 4).
inline constexpr uint16_t kKeyFlagDuplicates = 0x0001;
inline constexpr uint16_t kKeyFlagModifiable = 0x0002;
inline constexpr uint16_t kKeyFlagBinary = 0x0004;
inline constexpr uint16_t kKeyFlagNullAll = 0x0008;
inline constexpr uint16_t kKeyFlagSegmented = 0x0010;
inline constexpr uint16_t kKeyFlagAlternateSequence = 0x0020;
inline constexpr uint16_t kKeyFlagDescending = 0x0040;
inline constexpr uint16_t kKeyFlagSupplemental = 0x0080;  // also "repeating duplicates" with 0x0001
inline constexpr uint16_t kKeyFlagExtendedType = 0x0100;
inline constexpr uint16_t kKeyFlagNullAny = 0x0200;
inline constexpr uint16_t kKeyFlagNoCase = 0x0400;
inline constexpr uint16_t kKeyFlagNamedAcs = 0x0800;      // with 0x0420: the ACS named in a following block
inline constexpr uint16_t kKeyFlagPending = 0x8000;

// Extended key types (key-segment specification offset 10).
inline constexpr uint8_t kTypeString = 0;
inline constexpr uint8_t kTypeInteger = 1;
inline constexpr uint8_t kTypeFloat = 2;
inline constexpr uint8_t kTypeDate = 3;
inline constexpr uint8_t kTypeTime = 4;
inline constexpr uint8_t kTypeDecimal = 5;
inline constexpr uint8_t kTypeMoney = 6;
inline constexpr uint8_t kTypeLogical = 7;
inline constexpr uint8_t kTypeNumeric = 8;
inline constexpr uint8_t kTypeBfloat = 9;
inline constexpr uint8_t kTypeLstring = 10;
inline constexpr uint8_t kTypeZstring = 11;
inline constexpr uint8_t kTypeUnsignedBinary = 14;
inline constexpr uint8_t kTypeAutoincrement = 15;
inline constexpr uint8_t kTypeNumericSts = 17;
inline constexpr uint8_t kTypeNumericSa = 18;
inline constexpr uint8_t kTypeCurrency = 19;
inline constexpr uint8_t kTypeTimestamp = 20;

// Collating sequence signatures.
inline constexpr uint8_t kAcsUserDefined = 0xAC;
inline constexpr uint8_t kAcsCountry = 0xAD;
inline constexpr uint8_t kAcsSortRule = 0xAE;

// Status codes the library and the record manager use.
inline constexpr int16_t kStatusSuccess = 0;
inline constexpr int16_t kStatusInvalidOperation = 1;
inline constexpr int16_t kStatusIoError = 2;
inline constexpr int16_t kStatusFileNotOpen = 3;
inline constexpr int16_t kStatusKeyNotFound = 4;
inline constexpr int16_t kStatusDuplicateKey = 5;
inline constexpr int16_t kStatusInvalidKeyNumber = 6;
inline constexpr int16_t kStatusDifferentKeyNumber = 7;
inline constexpr int16_t kStatusInvalidPositioning = 8;
inline constexpr int16_t kStatusEndOfFile = 9;
inline constexpr int16_t kStatusModifiableKeyError = 10;
inline constexpr int16_t kStatusInvalidFileName = 11;
inline constexpr int16_t kStatusFileNotFound = 12;
inline constexpr int16_t kStatusCloseError = 17;
inline constexpr int16_t kStatusDiskFull = 18;
inline constexpr int16_t kStatusUnrecoverable = 19;
inline constexpr int16_t kStatusRecordManagerInactive = 20;
inline constexpr int16_t kStatusKeyBufferTooShort = 21;
inline constexpr int16_t kStatusDataLengthError = 22;
inline constexpr int16_t kStatusPageSizeError = 24;
inline constexpr int16_t kStatusCreateIoError = 25;
inline constexpr int16_t kStatusNumberOfKeys = 26;
inline constexpr int16_t kStatusInvalidKeyPosition = 27;
inline constexpr int16_t kStatusInvalidRecordLength = 28;
inline constexpr int16_t kStatusInvalidKeyLength = 29;
inline constexpr int16_t kStatusNotABtrieveFile = 30;
inline constexpr int16_t kStatusDirectoryError = 35;
inline constexpr int16_t kStatusTransactionError = 36;
inline constexpr int16_t kStatusTransactionActive = 37;
inline constexpr int16_t kStatusEndTransactionError = 39;
inline constexpr int16_t kStatusTransactionMaxFiles = 40;
inline constexpr int16_t kStatusOperationNotAllowed = 41;
inline constexpr int16_t kStatusInvalidRecordAddress = 43;
inline constexpr int16_t kStatusNullKeyPath = 44;
inline constexpr int16_t kStatusInconsistentKeyFlags = 45;
inline constexpr int16_t kStatusAccessDenied = 46;
inline constexpr int16_t kStatusMaximumOpenFiles = 47;
inline constexpr int16_t kStatusInvalidAcs = 48;
inline constexpr int16_t kStatusKeyTypeError = 49;
inline constexpr int16_t kStatusOwnerAlreadySet = 50;
inline constexpr int16_t kStatusInvalidOwner = 51;
inline constexpr int16_t kStatusAutoincrementError = 55;
inline constexpr int16_t kStatusIncompleteIndex = 56;
inline constexpr int16_t kStatusFileAlreadyExists = 59;
inline constexpr int16_t kStatusRejectCountReached = 60;
inline constexpr int16_t kStatusWorkSpaceTooSmall = 61;
inline constexpr int16_t kStatusInvalidGetExpression = 62;
inline constexpr int16_t kStatusInvalidInsertExtendedBuffer = 63;
inline constexpr int16_t kStatusInvalidExtractor = 65;
inline constexpr int16_t kStatusDeadlock = 78;
inline constexpr int16_t kStatusConflict = 80;
inline constexpr int16_t kStatusLockError = 81;
inline constexpr int16_t kStatusLostPosition = 82;
inline constexpr int16_t kStatusRecordInUse = 84;
inline constexpr int16_t kStatusFileInUse = 85;
inline constexpr int16_t kStatusIncompatibleMode = 88;
inline constexpr int16_t kStatusIncompatibleLockType = 93;
inline constexpr int16_t kStatusPermissionError = 94;
inline constexpr int16_t kStatusSessionNoLongerValid = 95;
inline constexpr int16_t kStatusChunkOffsetTooLong = 103;

}  // namespace btr
#endif /* __cplusplus */

#ifdef __cplusplus
extern "C" {
#endif

/* The record manager's entry point. tydb never links to it: it loads the
 * record manager library by name and looks this symbol up. */
BTR_EXPORT int16_t BTR_CALL BTRCALL(uint16_t operation, void* positionBlock, void* dataBuffer,
                                    uint32_t* dataLength, void* keyBuffer, uint8_t keyLength,
                                    int8_t keyNumber);

#ifdef __cplusplus
}
#endif

#endif /* TYDB_BTRCALL_H */
