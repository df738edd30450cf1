#include "accounting_fields.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "hex_text.h"
#include "quoted_value.h"

namespace tool {
namespace {

bool Fail(std::string* error, const std::string& text, const std::string& why) {
    *error = QuotedValue(text) + " " + why;
    return false;
}

// ---- Calendar -------------------------------------------------------------------------------

bool LeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && LeapYear(year) ? 29 : kDays[month - 1];
}

bool ValidDate(int year, int month, int day) {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

// Days from 0001-01-01 to the date (proleptic Gregorian calendar).
int64_t DaysFromFirstDay(int year, int month, int day) {
    const int y = month <= 2 ? year - 1 : year;
    const int era = y / 400, yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return int64_t{era} * 146097 + dayOfEra - 306;  // 0000-03-01 is day 0 of the eras
}

void DateOfDay(int64_t days, int* year, int* month, int* day) {
    days += 306;
    const int64_t era = days / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    *day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    *month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    *year = static_cast<int>(yearOfEra + era * 400 + (*month <= 2 ? 1 : 0));
}

// Reads exactly `width` digits at `*at`.
bool Digits(const std::string& text, size_t* at, size_t width, int* value) {
    if (*at + width > text.size()) return false;
    *value = 0;
    for (size_t i = 0; i < width; ++i) {
        const char c = text[*at + i];
        if (c < '0' || c > '9') return false;
        *value = *value * 10 + (c - '0');
    }
    *at += width;
    return true;
}

bool Expect(const std::string& text, size_t* at, char c) {
    if (*at >= text.size() || text[*at] != c) return false;
    ++*at;
    return true;
}

// "YYYY-MM-DD" from `*at`.
bool ParseDate(const std::string& text, size_t* at, int* year, int* month, int* day) {
    return Digits(text, at, 4, year) && Expect(text, at, '-') && Digits(text, at, 2, month) && Expect(text, at, '-') &&
           Digits(text, at, 2, day) && ValidDate(*year, *month, *day);
}

// "HH:MM[:SS[.F...]]" from `*at`, the fraction in units of 10^-fractionDigits.
bool ParseTime(const std::string& text, size_t* at, size_t fractionDigits, int* hours, int* minutes, int* seconds,
               int64_t* fraction) {
    *seconds = 0;
    *fraction = 0;
    if (!Digits(text, at, 2, hours) || !Expect(text, at, ':') || !Digits(text, at, 2, minutes)) return false;
    if (*at < text.size() && !(Expect(text, at, ':') && Digits(text, at, 2, seconds))) return false;
    if (*at < text.size()) {
        if (!Expect(text, at, '.')) return false;
        const size_t given = text.size() - *at;
        int value = 0;
        if (given == 0 || given > fractionDigits || given > 9 || !Digits(text, at, given, &value)) return false;
        *fraction = value;
        for (size_t i = given; i < fractionDigits; ++i) *fraction *= 10;
    }
    return *hours < 24 && *minutes < 60 && *seconds < 60;
}

std::string TwoDigits(int value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d", value);
    return buffer;
}

std::string DateText(int year, int month, int day) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, month, day);
    return buffer;
}

constexpr uint64_t kTicksPerSecond = 10000000;
constexpr uint64_t kTicksPerDay = kTicksPerSecond * 86400;

// ---- Numbers with a fixed scale --------------------------------------------------------------

// "-123.4" with `scale` digits after the point: the sign and every digit, the fraction padded
// to `scale` digits, leading zeros dropped ("0" at least). False when it is no such number.
bool ParseScaled(const std::string& text, int scale, bool* negative, std::string* digits, std::string* error) {
    size_t at = 0;
    *negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) *negative = text[at++] == '-';
    std::string whole, fraction;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') whole += text[at++];
    if (at < text.size() && text[at] == '.') {
        ++at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') fraction += text[at++];
    }
    if (at != text.size() || (whole.empty() && fraction.empty())) return Fail(error, text, "is not a number");
    if (fraction.size() > static_cast<size_t>(scale)) {
        return Fail(error, text, "has more than " + std::to_string(scale) + " digits after the point");
    }
    fraction.append(static_cast<size_t>(scale) - fraction.size(), '0');
    *digits = whole + fraction;
    const size_t first = digits->find_first_not_of('0');
    *digits = first == std::string::npos ? "0" : digits->substr(first);
    return true;
}

// The digits (at least scale + 1 of them, zero-padded) with the point put back.
std::string ScaledText(bool negative, std::string digits, int scale) {
    const size_t first = digits.find_first_not_of('0');
    digits = first == std::string::npos ? "0" : digits.substr(first);
    if (digits.size() <= static_cast<size_t>(scale))
        digits.insert(0, static_cast<size_t>(scale) + 1 - digits.size(), '0');
    if (scale > 0) digits.insert(digits.size() - static_cast<size_t>(scale), ".");
    return (negative ? "-" : "") + digits;
}

bool EncodeDecimal(int length, int scale, const std::string& text, uint8_t* out, std::string* error) {
    bool negative;
    std::string digits;
    if (!ParseScaled(text, scale, &negative, &digits, error)) return false;
    const size_t room = static_cast<size_t>(length) * 2 - 1;
    if (digits.size() > room) return Fail(error, text, "has more than the field's " + std::to_string(room) + " digits");
    digits.insert(0, room - digits.size(), '0');
    std::vector<uint8_t> nibbles;
    for (char c : digits) nibbles.push_back(static_cast<uint8_t>(c - '0'));
    nibbles.push_back(negative ? 0xD : 0xF);  // the sign half-byte
    for (size_t i = 0; i < static_cast<size_t>(length); ++i) {
        out[i] = static_cast<uint8_t>(nibbles[2 * i] << 4 | nibbles[2 * i + 1]);
    }
    return true;
}

bool DecodeDecimal(int length, int scale, const uint8_t* in, std::string* text) {
    std::string digits;
    for (int i = 0; i < length * 2 - 1; ++i) {
        const int nibble = (in[i / 2] >> (i % 2 == 0 ? 4 : 0)) & 15;
        if (nibble > 9) return false;
        digits += static_cast<char>('0' + nibble);
    }
    const int sign = in[length - 1] & 15;
    if (sign != 0xC && sign != 0xF && sign != 0xB && sign != 0xD) return false;
    *text = ScaledText(sign == 0xB || sign == 0xD, digits, scale);
    return true;
}

constexpr char kPositivePunch[] = "{ABCDEFGHI";
constexpr char kNegativePunch[] = "}JKLMNOPQR";

bool EncodeNumeric(int length, int scale, const std::string& text, uint8_t* out, std::string* error) {
    bool negative;
    std::string digits;
    if (!ParseScaled(text, scale, &negative, &digits, error)) return false;
    if (digits.size() > static_cast<size_t>(length)) {
        return Fail(error, text, "has more than the field's " + std::to_string(length) + " digits");
    }
    digits.insert(0, static_cast<size_t>(length) - digits.size(), '0');
    if (negative) digits.back() = kNegativePunch[digits.back() - '0'];
    std::memcpy(out, digits.data(), digits.size());
    return true;
}

bool DecodeNumeric(int length, int scale, const uint8_t* in, std::string* text) {
    std::string digits(reinterpret_cast<const char*>(in), static_cast<size_t>(length));
    bool negative = false;
    char& last = digits.back();
    if (const char* p = std::strchr(kPositivePunch, last); p != nullptr && last != '\0') {
        last = static_cast<char>('0' + (p - kPositivePunch));
    } else if (const char* n = std::strchr(kNegativePunch, last); n != nullptr && last != '\0') {
        last = static_cast<char>('0' + (n - kNegativePunch));
        negative = true;
    }
    if (digits.find_first_not_of("0123456789") != std::string::npos) return false;
    *text = ScaledText(negative, digits, scale);
    return true;
}

bool EncodeCurrency(const std::string& text, uint8_t* out, std::string* error) {
    bool negative;
    std::string digits;
    if (!ParseScaled(text, 4, &negative, &digits, error)) return false;
    uint64_t magnitude = 0;
    const auto [end, failed] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    if (failed != std::errc() || end != digits.data() + digits.size() || magnitude > limit) {
        return Fail(error, text, "does not fit a currency field");
    }
    StoreLittleEndian(negative ? ~magnitude + 1 : magnitude, 8, out);
    return true;
}

std::string CurrencyText(const uint8_t* in) {
    const auto value = static_cast<int64_t>(LoadLittleEndian(in, 8));
    const uint64_t magnitude = value < 0 ? ~static_cast<uint64_t>(value) + 1 : static_cast<uint64_t>(value);
    return ScaledText(value < 0, std::to_string(magnitude), 4);
}

// ---- Microsoft binary floating point ---------------------------------------------------------
// The last byte is the exponent (0: the value 0; else 2^(e-129)), the bit below it the sign,
// the rest the mantissa after an implied leading 1: 23 bits in 4 bytes, 55 in 8.

int MantissaBits(int length) { return length == 4 ? 23 : 55; }

bool EncodeBfloat(int length, const std::string& text, uint8_t* out, std::string* error) {
    long double value = 0;
    const auto [end, failed] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || failed != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return Fail(error, text, "is not a number");
    }
    const int bits = MantissaBits(length);
    if (value == 0) {
        std::memset(out, 0, static_cast<size_t>(length));
        return true;
    }
    int exponent = 0;
    const long double fraction = std::frexp(std::fabs(value), &exponent);  // [0.5, 1)
    auto mantissa = static_cast<uint64_t>(std::llround(std::ldexp(fraction, bits + 1)));
    if (mantissa >> (bits + 1) != 0) {  // rounded up to the next power of two
        mantissa >>= 1;
        ++exponent;
    }
    const int biased = exponent + 128;
    if (biased < 1 || biased > 255) return Fail(error, text, "is beyond what a bfloat holds");
    uint64_t raw = (mantissa & ((uint64_t{1} << bits) - 1)) | uint64_t{value < 0} << bits;
    raw |= static_cast<uint64_t>(biased) << (bits + 1);
    StoreLittleEndian(raw, length, out);
    return true;
}

// The shortest number that is stored as these very bytes again.
std::string BfloatText(int length, const uint8_t* in) {
    const uint64_t raw = LoadLittleEndian(in, length);
    const int bits = MantissaBits(length);
    const int biased = static_cast<int>(raw >> (bits + 1));
    if (biased == 0) return "0";
    const uint64_t mantissa = (raw & ((uint64_t{1} << bits) - 1)) | uint64_t{1} << bits;
    long double value = std::ldexp(static_cast<long double>(mantissa), biased - 129 - bits);
    if ((raw >> bits & 1) != 0) value = -value;
    std::string text;
    uint8_t again[8];
    std::string ignored;
    for (int digits = 1; digits <= 21; ++digits) {
        char buffer[64];
        const auto [end, failed] =
            std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
        if (failed != std::errc()) break;
        text.assign(buffer, end);
        if (EncodeBfloat(length, text, again, &ignored) && std::memcmp(again, in, static_cast<size_t>(length)) == 0) {
            break;
        }
    }
    return text;
}

// ---- The rest --------------------------------------------------------------------------------

bool EncodeSigned(int length, const std::string& text, uint8_t* out, std::string* error) {
    int64_t value = 0;
    const auto [end, failed] = std::from_chars(text.data(), text.data() + text.size(), value);
    const int64_t high = (int64_t{1} << (length * 8 - 1)) - 1;
    if (text.empty() || failed != std::errc() || end != text.data() + text.size()) {
        return Fail(error, text, "is not an integer");
    }
    if (value < -high - 1 || value > high) {
        return Fail(error, text, "does not fit " + std::to_string(length) + " bytes");
    }
    StoreLittleEndian(static_cast<uint64_t>(value), length, out);
    return true;
}

std::string SignedText(int length, const uint8_t* in) {
    uint64_t raw = LoadLittleEndian(in, length);
    if ((raw >> (length * 8 - 1)) != 0) raw |= ~uint64_t{0} << (length * 8);
    return std::to_string(static_cast<int64_t>(raw));
}

}  // namespace

void StoreLittleEndian(uint64_t value, int length, uint8_t* out) {
    for (int i = 0; i < length; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t LoadLittleEndian(const uint8_t* in, int length) {
    uint64_t value = 0;
    for (int i = 0; i < length; ++i) value |= static_cast<uint64_t>(in[i]) << (8 * i);
    return value;
}

bool AccountingLengthFits(AccountingType type, int length) {
    switch (type) {
        case AccountingType::kDate:
        case AccountingType::kTime: return length == 4;
        case AccountingType::kTimestamp:
        case AccountingType::kCurrency: return length == 8;
        case AccountingType::kBfloat: return length == 4 || length == 8;
        case AccountingType::kLogical: return length == 1 || length == 2;
        case AccountingType::kAutoincrement: return length == 2 || length == 4;
        case AccountingType::kLstring: return length >= 2 && length <= 255;
        case AccountingType::kDecimal:
        case AccountingType::kMoney:
        case AccountingType::kNumeric: return length >= 1 && length <= 255;
    }
    return false;
}

bool EncodeAccounting(AccountingType type, int length, int scale, const std::string& text, uint8_t* out,
                      std::string* error) {
    size_t at = 0;
    int year = 0, month = 0, day = 0, hours = 0, minutes = 0, seconds = 0;
    int64_t fraction = 0;
    switch (type) {
        case AccountingType::kDate:
            if (text.empty()) {
                std::memset(out, 0, 4);
                return true;
            }
            if (!ParseDate(text, &at, &year, &month, &day) || at != text.size()) {
                return Fail(error, text, "is not a date (YYYY-MM-DD)");
            }
            out[0] = static_cast<uint8_t>(day);
            out[1] = static_cast<uint8_t>(month);
            StoreLittleEndian(static_cast<uint64_t>(year), 2, out + 2);
            return true;
        case AccountingType::kTime:
            if (!ParseTime(text, &at, 2, &hours, &minutes, &seconds, &fraction)) {
                return Fail(error, text, "is not a time (HH:MM:SS.hh)");
            }
            out[0] = static_cast<uint8_t>(fraction);
            out[1] = static_cast<uint8_t>(seconds);
            out[2] = static_cast<uint8_t>(minutes);
            out[3] = static_cast<uint8_t>(hours);
            return true;
        case AccountingType::kTimestamp: {
            if (!ParseDate(text, &at, &year, &month, &day) || !(Expect(text, &at, 'T') || Expect(text, &at, ' ')) ||
                !ParseTime(text, &at, 7, &hours, &minutes, &seconds, &fraction)) {
                return Fail(error, text, "is not a timestamp (YYYY-MM-DDTHH:MM:SS.fffffff)");
            }
            const uint64_t ticks = static_cast<uint64_t>(DaysFromFirstDay(year, month, day)) * kTicksPerDay +
                                   static_cast<uint64_t>(hours * 3600 + minutes * 60 + seconds) * kTicksPerSecond +
                                   static_cast<uint64_t>(fraction);
            StoreLittleEndian(ticks, 8, out);
            return true;
        }
        case AccountingType::kDecimal: return EncodeDecimal(length, scale, text, out, error);
        case AccountingType::kMoney: return EncodeDecimal(length, 2, text, out, error);
        case AccountingType::kNumeric: return EncodeNumeric(length, scale, text, out, error);
        case AccountingType::kCurrency: return EncodeCurrency(text, out, error);
        case AccountingType::kBfloat: return EncodeBfloat(length, text, out, error);
        case AccountingType::kLstring:
            if (text.size() > static_cast<size_t>(length) - 1) {
                *error = "\"" + ValuePrefix(text) + "\" is " + std::to_string(text.size()) +
                         " characters; the field holds " + std::to_string(length - 1);
                return false;
            }
            std::memset(out, 0, static_cast<size_t>(length));
            out[0] = static_cast<uint8_t>(text.size());
            std::memcpy(out + 1, text.data(), text.size());
            return true;
        case AccountingType::kLogical:
            if (text != "true" && text != "false") return Fail(error, text, "is not true or false");
            StoreLittleEndian(text == "true" ? 1 : 0, length, out);
            return true;
        case AccountingType::kAutoincrement: return EncodeSigned(length, text, out, error);
    }
    return false;
}

bool DecodeAccounting(AccountingType type, int length, int scale, const uint8_t* in, std::string* text) {
    bool valid = true;
    switch (type) {
        case AccountingType::kDate: {
            const int year = static_cast<int>(LoadLittleEndian(in + 2, 2));
            if (LoadLittleEndian(in, 4) == 0) {
                *text = "";
            } else if ((valid = ValidDate(year, in[1], in[0]))) {
                *text = DateText(year, in[1], in[0]);
            }
            break;
        }
        case AccountingType::kTime:
            valid = in[3] < 24 && in[2] < 60 && in[1] < 60 && in[0] < 100;
            if (valid)
                *text = TwoDigits(in[3]) + ":" + TwoDigits(in[2]) + ":" + TwoDigits(in[1]) + "." + TwoDigits(in[0]);
            break;
        case AccountingType::kTimestamp: {
            const uint64_t ticks = LoadLittleEndian(in, 8);
            const uint64_t days = ticks / kTicksPerDay, rest = ticks % kTicksPerDay;
            int year, month, day;
            DateOfDay(static_cast<int64_t>(std::min<uint64_t>(days, 3652059)), &year, &month, &day);
            valid = days < 3652059;  // 9999-12-31 is day 3652058
            if (valid) {
                char buffer[80];
                const uint64_t seconds = rest / kTicksPerSecond;
                std::snprintf(buffer, sizeof buffer, "T%02d:%02d:%02d.%07d", static_cast<int>(seconds / 3600),
                              static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60),
                              static_cast<int>(rest % kTicksPerSecond));
                *text = DateText(year, month, day) + buffer;
            }
            break;
        }
        case AccountingType::kDecimal: valid = DecodeDecimal(length, scale, in, text); break;
        case AccountingType::kMoney: valid = DecodeDecimal(length, 2, in, text); break;
        case AccountingType::kNumeric: valid = DecodeNumeric(length, scale, in, text); break;
        case AccountingType::kCurrency: *text = CurrencyText(in); break;
        case AccountingType::kBfloat: *text = BfloatText(length, in); break;
        case AccountingType::kLstring:
            valid = in[0] <= length - 1;
            if (valid) *text = std::string(reinterpret_cast<const char*>(in + 1), in[0]);
            break;
        case AccountingType::kLogical: *text = LoadLittleEndian(in, length) != 0 ? "true" : "false"; break;
        case AccountingType::kAutoincrement: *text = SignedText(length, in); break;
    }
    if (!valid) *text = InvalidText(in, static_cast<size_t>(length));
    return valid;
}

}  // namespace tool
