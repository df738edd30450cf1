// accounting_fields.h: the record manager's own value types as text, for layout fields.
//
// Each type is stored as the record manager stores the key type of the same name:
//   date        4 bytes: day, month, year (16 bits)       2026-02-28; all zero bytes: empty
//   time        4 bytes: hundredths, seconds, minutes, hours   13:05:09.25
//   timestamp   8 bytes: 100-nanosecond units since 0001-01-01  2026-02-28T13:05:09.2500000
//   decimal:S   packed BCD, two digits a byte, the sign in the last half-byte (C or F plus, B or D
//               minus), S digits after the point             -1234.50
//   money       decimal with two digits after the point
//   numeric:S   ASCII digits, the sign over-punched in the last byte ({ A-I plus, } J-R minus)
//   currency    8 bytes, signed, four implied decimals      19.9900
//   bfloat      4 or 8 bytes of Microsoft binary floating point
//   lstring     a length byte, then the text
//   logical     1 or 2 bytes: 0 false, anything else true    true / false
//   autoincrement  2 or 4 bytes, signed                      42
// Loading refuses a text that does not fit the type (no rounding, no 31 February); exporting
// shows bytes that hold no value of the type as #invalid(HEX), never a guess.
#ifndef TYDB_TOOLS_ACCOUNTING_FIELDS_H
#define TYDB_TOOLS_ACCOUNTING_FIELDS_H

#include <cstdint>
#include <string>

namespace tool {

enum class AccountingType {
    kDate,
    kTime,
    kTimestamp,
    kDecimal,
    kMoney,
    kNumeric,
    kCurrency,
    kBfloat,
    kLstring,
    kLogical,
    kAutoincrement
};

// An unsigned number as `length` (1 to 8) little-endian bytes, and back.
void StoreLittleEndian(uint64_t value, int length, uint8_t* out);
uint64_t LoadLittleEndian(const uint8_t* in, int length);

// Whether a field of `type` may be `length` bytes long.
bool AccountingLengthFits(AccountingType type, int length);

// Writes `text` as a value of the type into `out` (`length` bytes); false with a reason, `out`
// untouched, when it is none.
bool EncodeAccounting(AccountingType type, int length, int scale, const std::string& text, uint8_t* out,
                      std::string* error);

// The value in `in` as text; false when the bytes hold no value of the type (`*text` is then
// #invalid(HEX)).
bool DecodeAccounting(AccountingType type, int length, int scale, const uint8_t* in, std::string* text);

}  // namespace tool

#endif  // TYDB_TOOLS_ACCOUNTING_FIELDS_H
