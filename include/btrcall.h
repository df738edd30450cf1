/*
 * btrcall.h: the record manager's call interface.
 *
 * One entry point, BTRCALL, carries every request: an operation code (with
 * its biases), a 128-byte position block the record manager owns, a data
 * buffer with its length, a key buffer with its declared capacity, and a key
 * number. The library (tydb), our record manager (w3btrv7), the tool and the
 * tests all speak through this header. C programs use the BTR_... macros,
 * C++ the same numbers as btr:: constants.
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
                                           uint32_t* dataLength, void* keyBuffer, uint8_t keyLength, int8_t keyNumber);

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
    uint16_t allocation; /* Create: pages to preallocate; Stat: unused pages */
} BtrFileSpec;

/* Key-segment specification: one per segment, the segments of a key
 * consecutive, every segment but the last with the segmented flag (16 bytes). */
typedef struct BtrKeySpec {
    int16_t position;     /* 1-based byte offset of the segment in the record */
    int16_t length;       /* segment length */
    uint16_t flags;       /* kBtrKeyFlag... */
    uint32_t uniqueCount; /* 0 on Create; Stat fills the number of unique values of the key */
    uint8_t extendedType; /* kBtrType... when kBtrKeyFlagExtendedType is set */
    uint8_t nullValue;    /* the byte that marks a null segment */
    uint16_t reserved12;
    int8_t keyNumber;  /* Create: manual key number; Stat: the key this segment belongs to */
    uint8_t acsNumber; /* which collating sequence of the file the segment uses */
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

/* The interface's numbers, for C and C++ alike (C++ has them as btr:: constants below). */

/* Sizes of the interface. */
#define BTR_POSITION_BLOCK_SIZE 128
#define BTR_MAX_KEY_LENGTH 255     /* all segments of a key together */
#define BTR_MAX_PATH_LENGTH 255    /* path in the key buffer of Open/Create, NUL included */
#define BTR_RECORD_POSITION_SIZE 4 /* Get Position reply */
#define BTR_ACS_SIZE 265
#define BTR_VERSION_REPLY_SIZE 15 /* three version blocks of 5 bytes */
#define BTR_MAX_KEY_NUMBER 118

/* Operation codes (the base, before biases). */
#define BTR_OP_OPEN 0
#define BTR_OP_CLOSE 1
#define BTR_OP_INSERT 2
#define BTR_OP_UPDATE 3
#define BTR_OP_DELETE 4
#define BTR_OP_GET_EQUAL 5
#define BTR_OP_GET_NEXT 6
#define BTR_OP_GET_PREVIOUS 7
#define BTR_OP_GET_GREATER 8
#define BTR_OP_GET_GREATER_OR_EQUAL 9
#define BTR_OP_GET_LESS 10
#define BTR_OP_GET_LESS_OR_EQUAL 11
#define BTR_OP_GET_FIRST 12
#define BTR_OP_GET_LAST 13
#define BTR_OP_CREATE 14
#define BTR_OP_STAT 15
#define BTR_OP_EXTEND 16
#define BTR_OP_SET_DIRECTORY 17
#define BTR_OP_GET_DIRECTORY 18
#define BTR_OP_BEGIN_TRANSACTION 19
#define BTR_OP_END_TRANSACTION 20
#define BTR_OP_ABORT_TRANSACTION 21
#define BTR_OP_GET_POSITION 22
#define BTR_OP_GET_DIRECT 23
#define BTR_OP_STEP_NEXT 24
#define BTR_OP_STOP 25
#define BTR_OP_VERSION 26
#define BTR_OP_UNLOCK 27
#define BTR_OP_RESET 28
#define BTR_OP_SET_OWNER 29
#define BTR_OP_CLEAR_OWNER 30
#define BTR_OP_CREATE_INDEX 31
#define BTR_OP_DROP_INDEX 32
#define BTR_OP_STEP_FIRST 33
#define BTR_OP_STEP_LAST 34
#define BTR_OP_STEP_PREVIOUS 35
#define BTR_OP_GET_NEXT_EXTENDED 36
#define BTR_OP_GET_PREVIOUS_EXTENDED 37
#define BTR_OP_STEP_NEXT_EXTENDED 38
#define BTR_OP_STEP_PREVIOUS_EXTENDED 39
#define BTR_OP_INSERT_EXTENDED 40
#define BTR_OP_CONTINUOUS 42
#define BTR_OP_GET_BY_PERCENTAGE 44
#define BTR_OP_FIND_PERCENTAGE 45
#define BTR_OP_UPDATE_CHUNK 53
#define BTR_OP_STAT_EXTENDED 65

/* Biases added to an operation code. */
#define BTR_BIAS_GET_KEY 50 /* Get without reading the record */
#define BTR_BIAS_SINGLE_WAIT_LOCK 100
#define BTR_BIAS_SINGLE_NO_WAIT_LOCK 200
#define BTR_BIAS_MULTIPLE_WAIT_LOCK 300
#define BTR_BIAS_MULTIPLE_NO_WAIT_LOCK 400
#define BTR_BIAS_NO_WRITE_WAIT 500
#define BTR_BIAS_CONCURRENT_TRANSACTION 1000

/* Key numbers with a special meaning. */
#define BTR_KEY_NUMBER_PHYSICAL (-1)    /* Get/Find Percentage in physical order; Stat's alternate reply */
#define BTR_KEY_NUMBER_NO_CURRENCY (-1) /* Insert/Update without currency change */
#define BTR_KEY_NUMBER_CHUNK (-2)       /* Get Direct, chunk form */
#define BTR_KEY_NUMBER_EXACT 0x80       /* Create/Drop Index: this exact key number */

/* Open modes, passed as the key number of Open. */
#define BTR_OPEN_NORMAL 0
#define BTR_OPEN_ACCELERATED (-1)
#define BTR_OPEN_READ_ONLY (-2)
#define BTR_OPEN_VERIFY (-3)
#define BTR_OPEN_EXCLUSIVE (-4)

/* Create modes, passed as the key number of Create. */
#define BTR_CREATE_OVERWRITE 0
#define BTR_CREATE_NO_OVERWRITE (-1)
#define BTR_CREATE_OVERWRITE_NO_TTS (-2)
#define BTR_CREATE_NO_OVERWRITE_NO_TTS (-3)

/* Unlock modes, passed as the key number of Unlock. */
#define BTR_UNLOCK_SINGLE 0
#define BTR_UNLOCK_ONE_MULTIPLE (-1)
#define BTR_UNLOCK_ALL_MULTIPLE (-2)

/* File flags (file specification offset 10). */
#define BTR_FILE_FLAG_VARIABLE_LENGTH 0x0001
#define BTR_FILE_FLAG_BLANK_TRUNCATION 0x0002
#define BTR_FILE_FLAG_PREALLOCATE 0x0004
#define BTR_FILE_FLAG_COMPRESSION 0x0008
#define BTR_FILE_FLAG_KEY_ONLY 0x0010
#define BTR_FILE_FLAG_BALANCED_KEYS 0x0020
#define BTR_FILE_FLAG_FREE10 0x0040
#define BTR_FILE_FLAG_FREE20 0x0080
#define BTR_FILE_FLAG_DUPLICATE_POINTERS 0x0100
#define BTR_FILE_FLAG_SYSTEM_DATA 0x0200
#define BTR_FILE_FLAG_SPECIFY_KEY_NUMBERS 0x0400
#define BTR_FILE_FLAG_VATS 0x0800

/* Key flags (key-segment specification offset 4). */
#define BTR_KEY_FLAG_DUPLICATES 0x0001
#define BTR_KEY_FLAG_MODIFIABLE 0x0002
#define BTR_KEY_FLAG_BINARY 0x0004
#define BTR_KEY_FLAG_NULL_ALL 0x0008
#define BTR_KEY_FLAG_SEGMENTED 0x0010
#define BTR_KEY_FLAG_ALTERNATE_SEQUENCE 0x0020
#define BTR_KEY_FLAG_DESCENDING 0x0040
#define BTR_KEY_FLAG_SUPPLEMENTAL 0x0080 /* also "repeating duplicates" with 0x0001 */
#define BTR_KEY_FLAG_EXTENDED_TYPE 0x0100
#define BTR_KEY_FLAG_NULL_ANY 0x0200
#define BTR_KEY_FLAG_NO_CASE 0x0400
#define BTR_KEY_FLAG_NAMED_ACS 0x0800 /* with 0x0420: the ACS named in a following block */
#define BTR_KEY_FLAG_PENDING 0x8000

/* Extended key types (key-segment specification offset 10). */
#define BTR_TYPE_STRING 0
#define BTR_TYPE_INTEGER 1
#define BTR_TYPE_FLOAT 2
#define BTR_TYPE_DATE 3
#define BTR_TYPE_TIME 4
#define BTR_TYPE_DECIMAL 5
#define BTR_TYPE_MONEY 6
#define BTR_TYPE_LOGICAL 7
#define BTR_TYPE_NUMERIC 8
#define BTR_TYPE_BFLOAT 9
#define BTR_TYPE_LSTRING 10
#define BTR_TYPE_ZSTRING 11
#define BTR_TYPE_UNSIGNED_BINARY 14
#define BTR_TYPE_AUTOINCREMENT 15
#define BTR_TYPE_NUMERIC_STS 17
#define BTR_TYPE_NUMERIC_SA 18
#define BTR_TYPE_CURRENCY 19
#define BTR_TYPE_TIMESTAMP 20

/* Collating sequence signatures. */
#define BTR_ACS_USER_DEFINED 0xAC
#define BTR_ACS_COUNTRY 0xAD
#define BTR_ACS_SORT_RULE 0xAE

/* Status codes the library and the record manager use. */
#define BTR_STATUS_SUCCESS 0
#define BTR_STATUS_INVALID_OPERATION 1
#define BTR_STATUS_IO_ERROR 2
#define BTR_STATUS_FILE_NOT_OPEN 3
#define BTR_STATUS_KEY_NOT_FOUND 4
#define BTR_STATUS_DUPLICATE_KEY 5
#define BTR_STATUS_INVALID_KEY_NUMBER 6
#define BTR_STATUS_DIFFERENT_KEY_NUMBER 7
#define BTR_STATUS_INVALID_POSITIONING 8
#define BTR_STATUS_END_OF_FILE 9
#define BTR_STATUS_MODIFIABLE_KEY_ERROR 10
#define BTR_STATUS_INVALID_FILE_NAME 11
#define BTR_STATUS_FILE_NOT_FOUND 12
#define BTR_STATUS_CLOSE_ERROR 17
#define BTR_STATUS_DISK_FULL 18
#define BTR_STATUS_UNRECOVERABLE 19
#define BTR_STATUS_RECORD_MANAGER_INACTIVE 20
#define BTR_STATUS_KEY_BUFFER_TOO_SHORT 21
#define BTR_STATUS_DATA_LENGTH_ERROR 22
#define BTR_STATUS_PAGE_SIZE_ERROR 24
#define BTR_STATUS_CREATE_IO_ERROR 25
#define BTR_STATUS_NUMBER_OF_KEYS 26
#define BTR_STATUS_INVALID_KEY_POSITION 27
#define BTR_STATUS_INVALID_RECORD_LENGTH 28
#define BTR_STATUS_INVALID_KEY_LENGTH 29
#define BTR_STATUS_NOT_ABTRIEVE_FILE 30
#define BTR_STATUS_DIRECTORY_ERROR 35
#define BTR_STATUS_TRANSACTION_ERROR 36
#define BTR_STATUS_TRANSACTION_ACTIVE 37
#define BTR_STATUS_END_TRANSACTION_ERROR 39
#define BTR_STATUS_TRANSACTION_MAX_FILES 40
#define BTR_STATUS_OPERATION_NOT_ALLOWED 41
#define BTR_STATUS_INVALID_RECORD_ADDRESS 43
#define BTR_STATUS_NULL_KEY_PATH 44
#define BTR_STATUS_INCONSISTENT_KEY_FLAGS 45
#define BTR_STATUS_ACCESS_DENIED 46
#define BTR_STATUS_MAXIMUM_OPEN_FILES 47
#define BTR_STATUS_INVALID_ACS 48
#define BTR_STATUS_KEY_TYPE_ERROR 49
#define BTR_STATUS_OWNER_ALREADY_SET 50
#define BTR_STATUS_INVALID_OWNER 51
#define BTR_STATUS_AUTOINCREMENT_ERROR 55
#define BTR_STATUS_INCOMPLETE_INDEX 56
#define BTR_STATUS_FILE_ALREADY_EXISTS 59
#define BTR_STATUS_REJECT_COUNT_REACHED 60
#define BTR_STATUS_WORK_SPACE_TOO_SMALL 61
#define BTR_STATUS_INVALID_GET_EXPRESSION 62
#define BTR_STATUS_INVALID_INSERT_EXTENDED_BUFFER 63
#define BTR_STATUS_INVALID_EXTRACTOR 65
#define BTR_STATUS_DEADLOCK 78
#define BTR_STATUS_CONFLICT 80
#define BTR_STATUS_LOCK_ERROR 81
#define BTR_STATUS_LOST_POSITION 82
#define BTR_STATUS_RECORD_IN_USE 84
#define BTR_STATUS_FILE_IN_USE 85
#define BTR_STATUS_INCOMPATIBLE_MODE 88
#define BTR_STATUS_INCOMPATIBLE_LOCK_TYPE 93
#define BTR_STATUS_PERMISSION_ERROR 94
#define BTR_STATUS_SESSION_NO_LONGER_VALID 95
#define BTR_STATUS_CHUNK_OFFSET_TOO_LONG 103

#ifdef __cplusplus
} /* extern "C" */

// The same numbers as typed constants, for C++.
namespace btr {

// Sizes of the interface.
inline constexpr int kPositionBlockSize = BTR_POSITION_BLOCK_SIZE;
inline constexpr int kMaxKeyLength = BTR_MAX_KEY_LENGTH;
inline constexpr int kMaxPathLength = BTR_MAX_PATH_LENGTH;
inline constexpr int kRecordPositionSize = BTR_RECORD_POSITION_SIZE;
inline constexpr int kAcsSize = BTR_ACS_SIZE;
inline constexpr int kVersionReplySize = BTR_VERSION_REPLY_SIZE;
inline constexpr int kMaxKeyNumber = BTR_MAX_KEY_NUMBER;

// Operation codes (the base, before biases).
inline constexpr uint16_t kOpOpen = BTR_OP_OPEN;
inline constexpr uint16_t kOpClose = BTR_OP_CLOSE;
inline constexpr uint16_t kOpInsert = BTR_OP_INSERT;
inline constexpr uint16_t kOpUpdate = BTR_OP_UPDATE;
inline constexpr uint16_t kOpDelete = BTR_OP_DELETE;
inline constexpr uint16_t kOpGetEqual = BTR_OP_GET_EQUAL;
inline constexpr uint16_t kOpGetNext = BTR_OP_GET_NEXT;
inline constexpr uint16_t kOpGetPrevious = BTR_OP_GET_PREVIOUS;
inline constexpr uint16_t kOpGetGreater = BTR_OP_GET_GREATER;
inline constexpr uint16_t kOpGetGreaterOrEqual = BTR_OP_GET_GREATER_OR_EQUAL;
inline constexpr uint16_t kOpGetLess = BTR_OP_GET_LESS;
inline constexpr uint16_t kOpGetLessOrEqual = BTR_OP_GET_LESS_OR_EQUAL;
inline constexpr uint16_t kOpGetFirst = BTR_OP_GET_FIRST;
inline constexpr uint16_t kOpGetLast = BTR_OP_GET_LAST;
inline constexpr uint16_t kOpCreate = BTR_OP_CREATE;
inline constexpr uint16_t kOpStat = BTR_OP_STAT;
inline constexpr uint16_t kOpExtend = BTR_OP_EXTEND;
inline constexpr uint16_t kOpSetDirectory = BTR_OP_SET_DIRECTORY;
inline constexpr uint16_t kOpGetDirectory = BTR_OP_GET_DIRECTORY;
inline constexpr uint16_t kOpBeginTransaction = BTR_OP_BEGIN_TRANSACTION;
inline constexpr uint16_t kOpEndTransaction = BTR_OP_END_TRANSACTION;
inline constexpr uint16_t kOpAbortTransaction = BTR_OP_ABORT_TRANSACTION;
inline constexpr uint16_t kOpGetPosition = BTR_OP_GET_POSITION;
inline constexpr uint16_t kOpGetDirect = BTR_OP_GET_DIRECT;
inline constexpr uint16_t kOpStepNext = BTR_OP_STEP_NEXT;
inline constexpr uint16_t kOpStop = BTR_OP_STOP;
inline constexpr uint16_t kOpVersion = BTR_OP_VERSION;
inline constexpr uint16_t kOpUnlock = BTR_OP_UNLOCK;
inline constexpr uint16_t kOpReset = BTR_OP_RESET;
inline constexpr uint16_t kOpSetOwner = BTR_OP_SET_OWNER;
inline constexpr uint16_t kOpClearOwner = BTR_OP_CLEAR_OWNER;
inline constexpr uint16_t kOpCreateIndex = BTR_OP_CREATE_INDEX;
inline constexpr uint16_t kOpDropIndex = BTR_OP_DROP_INDEX;
inline constexpr uint16_t kOpStepFirst = BTR_OP_STEP_FIRST;
inline constexpr uint16_t kOpStepLast = BTR_OP_STEP_LAST;
inline constexpr uint16_t kOpStepPrevious = BTR_OP_STEP_PREVIOUS;
inline constexpr uint16_t kOpGetNextExtended = BTR_OP_GET_NEXT_EXTENDED;
inline constexpr uint16_t kOpGetPreviousExtended = BTR_OP_GET_PREVIOUS_EXTENDED;
inline constexpr uint16_t kOpStepNextExtended = BTR_OP_STEP_NEXT_EXTENDED;
inline constexpr uint16_t kOpStepPreviousExtended = BTR_OP_STEP_PREVIOUS_EXTENDED;
inline constexpr uint16_t kOpInsertExtended = BTR_OP_INSERT_EXTENDED;
inline constexpr uint16_t kOpContinuous = BTR_OP_CONTINUOUS;
inline constexpr uint16_t kOpGetByPercentage = BTR_OP_GET_BY_PERCENTAGE;
inline constexpr uint16_t kOpFindPercentage = BTR_OP_FIND_PERCENTAGE;
inline constexpr uint16_t kOpUpdateChunk = BTR_OP_UPDATE_CHUNK;
inline constexpr uint16_t kOpStatExtended = BTR_OP_STAT_EXTENDED;

// Biases added to an operation code.
inline constexpr uint16_t kBiasGetKey = BTR_BIAS_GET_KEY;
inline constexpr uint16_t kBiasSingleWaitLock = BTR_BIAS_SINGLE_WAIT_LOCK;
inline constexpr uint16_t kBiasSingleNoWaitLock = BTR_BIAS_SINGLE_NO_WAIT_LOCK;
inline constexpr uint16_t kBiasMultipleWaitLock = BTR_BIAS_MULTIPLE_WAIT_LOCK;
inline constexpr uint16_t kBiasMultipleNoWaitLock = BTR_BIAS_MULTIPLE_NO_WAIT_LOCK;
inline constexpr uint16_t kBiasNoWriteWait = BTR_BIAS_NO_WRITE_WAIT;
inline constexpr uint16_t kBiasConcurrentTransaction = BTR_BIAS_CONCURRENT_TRANSACTION;

// Key numbers with a special meaning.
inline constexpr int8_t kKeyNumberPhysical = BTR_KEY_NUMBER_PHYSICAL;
inline constexpr int8_t kKeyNumberNoCurrency = BTR_KEY_NUMBER_NO_CURRENCY;
inline constexpr int8_t kKeyNumberChunk = BTR_KEY_NUMBER_CHUNK;
inline constexpr uint8_t kKeyNumberExact = BTR_KEY_NUMBER_EXACT;

// Open modes, passed as the key number of Open.
inline constexpr int8_t kOpenNormal = BTR_OPEN_NORMAL;
inline constexpr int8_t kOpenAccelerated = BTR_OPEN_ACCELERATED;
inline constexpr int8_t kOpenReadOnly = BTR_OPEN_READ_ONLY;
inline constexpr int8_t kOpenVerify = BTR_OPEN_VERIFY;
inline constexpr int8_t kOpenExclusive = BTR_OPEN_EXCLUSIVE;

// Create modes, passed as the key number of Create.
inline constexpr int8_t kCreateOverwrite = BTR_CREATE_OVERWRITE;
inline constexpr int8_t kCreateNoOverwrite = BTR_CREATE_NO_OVERWRITE;
inline constexpr int8_t kCreateOverwriteNoTts = BTR_CREATE_OVERWRITE_NO_TTS;
inline constexpr int8_t kCreateNoOverwriteNoTts = BTR_CREATE_NO_OVERWRITE_NO_TTS;

// Unlock modes, passed as the key number of Unlock.
inline constexpr int8_t kUnlockSingle = BTR_UNLOCK_SINGLE;
inline constexpr int8_t kUnlockOneMultiple = BTR_UNLOCK_ONE_MULTIPLE;
inline constexpr int8_t kUnlockAllMultiple = BTR_UNLOCK_ALL_MULTIPLE;

// File flags (file specification offset 10).
inline constexpr uint16_t kFileFlagVariableLength = BTR_FILE_FLAG_VARIABLE_LENGTH;
inline constexpr uint16_t kFileFlagBlankTruncation = BTR_FILE_FLAG_BLANK_TRUNCATION;
inline constexpr uint16_t kFileFlagPreallocate = BTR_FILE_FLAG_PREALLOCATE;
inline constexpr uint16_t kFileFlagCompression = BTR_FILE_FLAG_COMPRESSION;
inline constexpr uint16_t kFileFlagKeyOnly = BTR_FILE_FLAG_KEY_ONLY;
inline constexpr uint16_t kFileFlagBalancedKeys = BTR_FILE_FLAG_BALANCED_KEYS;
inline constexpr uint16_t kFileFlagFree10 = BTR_FILE_FLAG_FREE10;
inline constexpr uint16_t kFileFlagFree20 = BTR_FILE_FLAG_FREE20;
inline constexpr uint16_t kFileFlagDuplicatePointers = BTR_FILE_FLAG_DUPLICATE_POINTERS;
inline constexpr uint16_t kFileFlagSystemData = BTR_FILE_FLAG_SYSTEM_DATA;
inline constexpr uint16_t kFileFlagSpecifyKeyNumbers = BTR_FILE_FLAG_SPECIFY_KEY_NUMBERS;
inline constexpr uint16_t kFileFlagVats = BTR_FILE_FLAG_VATS;

// Key flags (key-segment specification offset 4).
inline constexpr uint16_t kKeyFlagDuplicates = BTR_KEY_FLAG_DUPLICATES;
inline constexpr uint16_t kKeyFlagModifiable = BTR_KEY_FLAG_MODIFIABLE;
inline constexpr uint16_t kKeyFlagBinary = BTR_KEY_FLAG_BINARY;
inline constexpr uint16_t kKeyFlagNullAll = BTR_KEY_FLAG_NULL_ALL;
inline constexpr uint16_t kKeyFlagSegmented = BTR_KEY_FLAG_SEGMENTED;
inline constexpr uint16_t kKeyFlagAlternateSequence = BTR_KEY_FLAG_ALTERNATE_SEQUENCE;
inline constexpr uint16_t kKeyFlagDescending = BTR_KEY_FLAG_DESCENDING;
inline constexpr uint16_t kKeyFlagSupplemental = BTR_KEY_FLAG_SUPPLEMENTAL;
inline constexpr uint16_t kKeyFlagExtendedType = BTR_KEY_FLAG_EXTENDED_TYPE;
inline constexpr uint16_t kKeyFlagNullAny = BTR_KEY_FLAG_NULL_ANY;
inline constexpr uint16_t kKeyFlagNoCase = BTR_KEY_FLAG_NO_CASE;
inline constexpr uint16_t kKeyFlagNamedAcs = BTR_KEY_FLAG_NAMED_ACS;
inline constexpr uint16_t kKeyFlagPending = BTR_KEY_FLAG_PENDING;

// Extended key types (key-segment specification offset 10).
inline constexpr uint8_t kTypeString = BTR_TYPE_STRING;
inline constexpr uint8_t kTypeInteger = BTR_TYPE_INTEGER;
inline constexpr uint8_t kTypeFloat = BTR_TYPE_FLOAT;
inline constexpr uint8_t kTypeDate = BTR_TYPE_DATE;
inline constexpr uint8_t kTypeTime = BTR_TYPE_TIME;
inline constexpr uint8_t kTypeDecimal = BTR_TYPE_DECIMAL;
inline constexpr uint8_t kTypeMoney = BTR_TYPE_MONEY;
inline constexpr uint8_t kTypeLogical = BTR_TYPE_LOGICAL;
inline constexpr uint8_t kTypeNumeric = BTR_TYPE_NUMERIC;
inline constexpr uint8_t kTypeBfloat = BTR_TYPE_BFLOAT;
inline constexpr uint8_t kTypeLstring = BTR_TYPE_LSTRING;
inline constexpr uint8_t kTypeZstring = BTR_TYPE_ZSTRING;
inline constexpr uint8_t kTypeUnsignedBinary = BTR_TYPE_UNSIGNED_BINARY;
inline constexpr uint8_t kTypeAutoincrement = BTR_TYPE_AUTOINCREMENT;
inline constexpr uint8_t kTypeNumericSts = BTR_TYPE_NUMERIC_STS;
inline constexpr uint8_t kTypeNumericSa = BTR_TYPE_NUMERIC_SA;
inline constexpr uint8_t kTypeCurrency = BTR_TYPE_CURRENCY;
inline constexpr uint8_t kTypeTimestamp = BTR_TYPE_TIMESTAMP;

// Collating sequence signatures.
inline constexpr uint8_t kAcsUserDefined = BTR_ACS_USER_DEFINED;
inline constexpr uint8_t kAcsCountry = BTR_ACS_COUNTRY;
inline constexpr uint8_t kAcsSortRule = BTR_ACS_SORT_RULE;

// Status codes the library and the record manager use.
inline constexpr int16_t kStatusSuccess = BTR_STATUS_SUCCESS;
inline constexpr int16_t kStatusInvalidOperation = BTR_STATUS_INVALID_OPERATION;
inline constexpr int16_t kStatusIoError = BTR_STATUS_IO_ERROR;
inline constexpr int16_t kStatusFileNotOpen = BTR_STATUS_FILE_NOT_OPEN;
inline constexpr int16_t kStatusKeyNotFound = BTR_STATUS_KEY_NOT_FOUND;
inline constexpr int16_t kStatusDuplicateKey = BTR_STATUS_DUPLICATE_KEY;
inline constexpr int16_t kStatusInvalidKeyNumber = BTR_STATUS_INVALID_KEY_NUMBER;
inline constexpr int16_t kStatusDifferentKeyNumber = BTR_STATUS_DIFFERENT_KEY_NUMBER;
inline constexpr int16_t kStatusInvalidPositioning = BTR_STATUS_INVALID_POSITIONING;
inline constexpr int16_t kStatusEndOfFile = BTR_STATUS_END_OF_FILE;
inline constexpr int16_t kStatusModifiableKeyError = BTR_STATUS_MODIFIABLE_KEY_ERROR;
inline constexpr int16_t kStatusInvalidFileName = BTR_STATUS_INVALID_FILE_NAME;
inline constexpr int16_t kStatusFileNotFound = BTR_STATUS_FILE_NOT_FOUND;
inline constexpr int16_t kStatusCloseError = BTR_STATUS_CLOSE_ERROR;
inline constexpr int16_t kStatusDiskFull = BTR_STATUS_DISK_FULL;
inline constexpr int16_t kStatusUnrecoverable = BTR_STATUS_UNRECOVERABLE;
inline constexpr int16_t kStatusRecordManagerInactive = BTR_STATUS_RECORD_MANAGER_INACTIVE;
inline constexpr int16_t kStatusKeyBufferTooShort = BTR_STATUS_KEY_BUFFER_TOO_SHORT;
inline constexpr int16_t kStatusDataLengthError = BTR_STATUS_DATA_LENGTH_ERROR;
inline constexpr int16_t kStatusPageSizeError = BTR_STATUS_PAGE_SIZE_ERROR;
inline constexpr int16_t kStatusCreateIoError = BTR_STATUS_CREATE_IO_ERROR;
inline constexpr int16_t kStatusNumberOfKeys = BTR_STATUS_NUMBER_OF_KEYS;
inline constexpr int16_t kStatusInvalidKeyPosition = BTR_STATUS_INVALID_KEY_POSITION;
inline constexpr int16_t kStatusInvalidRecordLength = BTR_STATUS_INVALID_RECORD_LENGTH;
inline constexpr int16_t kStatusInvalidKeyLength = BTR_STATUS_INVALID_KEY_LENGTH;
inline constexpr int16_t kStatusNotABtrieveFile = BTR_STATUS_NOT_ABTRIEVE_FILE;
inline constexpr int16_t kStatusDirectoryError = BTR_STATUS_DIRECTORY_ERROR;
inline constexpr int16_t kStatusTransactionError = BTR_STATUS_TRANSACTION_ERROR;
inline constexpr int16_t kStatusTransactionActive = BTR_STATUS_TRANSACTION_ACTIVE;
inline constexpr int16_t kStatusEndTransactionError = BTR_STATUS_END_TRANSACTION_ERROR;
inline constexpr int16_t kStatusTransactionMaxFiles = BTR_STATUS_TRANSACTION_MAX_FILES;
inline constexpr int16_t kStatusOperationNotAllowed = BTR_STATUS_OPERATION_NOT_ALLOWED;
inline constexpr int16_t kStatusInvalidRecordAddress = BTR_STATUS_INVALID_RECORD_ADDRESS;
inline constexpr int16_t kStatusNullKeyPath = BTR_STATUS_NULL_KEY_PATH;
inline constexpr int16_t kStatusInconsistentKeyFlags = BTR_STATUS_INCONSISTENT_KEY_FLAGS;
inline constexpr int16_t kStatusAccessDenied = BTR_STATUS_ACCESS_DENIED;
inline constexpr int16_t kStatusMaximumOpenFiles = BTR_STATUS_MAXIMUM_OPEN_FILES;
inline constexpr int16_t kStatusInvalidAcs = BTR_STATUS_INVALID_ACS;
inline constexpr int16_t kStatusKeyTypeError = BTR_STATUS_KEY_TYPE_ERROR;
inline constexpr int16_t kStatusOwnerAlreadySet = BTR_STATUS_OWNER_ALREADY_SET;
inline constexpr int16_t kStatusInvalidOwner = BTR_STATUS_INVALID_OWNER;
inline constexpr int16_t kStatusAutoincrementError = BTR_STATUS_AUTOINCREMENT_ERROR;
inline constexpr int16_t kStatusIncompleteIndex = BTR_STATUS_INCOMPLETE_INDEX;
inline constexpr int16_t kStatusFileAlreadyExists = BTR_STATUS_FILE_ALREADY_EXISTS;
inline constexpr int16_t kStatusRejectCountReached = BTR_STATUS_REJECT_COUNT_REACHED;
inline constexpr int16_t kStatusWorkSpaceTooSmall = BTR_STATUS_WORK_SPACE_TOO_SMALL;
inline constexpr int16_t kStatusInvalidGetExpression = BTR_STATUS_INVALID_GET_EXPRESSION;
inline constexpr int16_t kStatusInvalidInsertExtendedBuffer = BTR_STATUS_INVALID_INSERT_EXTENDED_BUFFER;
inline constexpr int16_t kStatusInvalidExtractor = BTR_STATUS_INVALID_EXTRACTOR;
inline constexpr int16_t kStatusDeadlock = BTR_STATUS_DEADLOCK;
inline constexpr int16_t kStatusConflict = BTR_STATUS_CONFLICT;
inline constexpr int16_t kStatusLockError = BTR_STATUS_LOCK_ERROR;
inline constexpr int16_t kStatusLostPosition = BTR_STATUS_LOST_POSITION;
inline constexpr int16_t kStatusRecordInUse = BTR_STATUS_RECORD_IN_USE;
inline constexpr int16_t kStatusFileInUse = BTR_STATUS_FILE_IN_USE;
inline constexpr int16_t kStatusIncompatibleMode = BTR_STATUS_INCOMPATIBLE_MODE;
inline constexpr int16_t kStatusIncompatibleLockType = BTR_STATUS_INCOMPATIBLE_LOCK_TYPE;
inline constexpr int16_t kStatusPermissionError = BTR_STATUS_PERMISSION_ERROR;
inline constexpr int16_t kStatusSessionNoLongerValid = BTR_STATUS_SESSION_NO_LONGER_VALID;
inline constexpr int16_t kStatusChunkOffsetTooLong = BTR_STATUS_CHUNK_OFFSET_TOO_LONG;

}  // namespace btr
#endif /* __cplusplus */

#ifdef __cplusplus
extern "C" {
#endif

/* The record manager's entry point. tydb never links to it: it loads the
 * record manager library by name and looks this symbol up. */
BTR_EXPORT int16_t BTR_CALL BTRCALL(uint16_t operation, void* positionBlock, void* dataBuffer, uint32_t* dataLength,
                                    void* keyBuffer, uint8_t keyLength, int8_t keyNumber);

#ifdef __cplusplus
}
#endif

#endif /* TYDB_BTRCALL_H */
