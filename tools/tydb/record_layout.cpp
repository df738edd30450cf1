#include "record_layout.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include "hex_text.h"
#include "platform.h"
#include "quoted_value.h"

namespace tool {
namespace {

struct TypeName {
    FieldType type;
    const char* name;
    AccountingType accounting = AccountingType::kDate;
    bool scaled = false;  // takes :S, the digits after the point
};

constexpr TypeName kTypeNames[] = {
    {FieldType::kString, "string"},
    {FieldType::kZstring, "zstring"},
    {FieldType::kInteger, "integer"},
    {FieldType::kUnsigned, "unsigned"},
    {FieldType::kFloat, "float"},
    {FieldType::kHex, "hex"},
    {FieldType::kText, "text"},
    {FieldType::kAccounting, "date", AccountingType::kDate},
    {FieldType::kAccounting, "time", AccountingType::kTime},
    {FieldType::kAccounting, "timestamp", AccountingType::kTimestamp},
    {FieldType::kAccounting, "decimal", AccountingType::kDecimal, true},
    {FieldType::kAccounting, "money", AccountingType::kMoney},
    {FieldType::kAccounting, "numeric", AccountingType::kNumeric, true},
    {FieldType::kAccounting, "currency", AccountingType::kCurrency},
    {FieldType::kAccounting, "bfloat", AccountingType::kBfloat},
    {FieldType::kAccounting, "lstring", AccountingType::kLstring},
    {FieldType::kAccounting, "logical", AccountingType::kLogical},
    {FieldType::kAccounting, "autoincrement", AccountingType::kAutoincrement},
};

constexpr char kTypeList[] =
    "string, zstring, integer, unsigned, float, hex, date, time, timestamp, decimal:S, money, numeric:S, "
    "currency, bfloat, lstring, logical, autoincrement; LENGTH * with text or hex: the rest of the record";

// A record is at most this long; a field past it can never be read or written.
constexpr int kLongestRecord = 65535;

bool LengthFits(const LayoutField& field) {
    const int length = field.length;
    if (field.rest || field.type == FieldType::kText)
        return field.rest && (field.type == FieldType::kText || field.type == FieldType::kHex);
    switch (field.type) {
        case FieldType::kAccounting: return AccountingLengthFits(field.accounting, length);
        case FieldType::kInteger:
        case FieldType::kUnsigned: return length == 1 || length == 2 || length == 4 || length == 8;
        case FieldType::kFloat: return length == 4 || length == 8;
        case FieldType::kZstring: return length >= 2;
        default: return length >= 1;
    }
}

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    for (char c : line) {
        if (c == ' ' || c == '\t' || c == ',' || c == '\r') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

bool ParseInt(const std::string& text, int* value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return error == std::errc() && end == text.data() + text.size();
}

bool EncodeInteger(const LayoutField& field, const std::string& text, uint8_t* out, std::string* error) {
    const int bits = field.length * 8;
    if (field.type == FieldType::kInteger) {
        int64_t value = 0;
        const auto [end, failed] = std::from_chars(text.data(), text.data() + text.size(), value);
        const int64_t low = bits == 64 ? std::numeric_limits<int64_t>::min() : -(int64_t{1} << (bits - 1));
        const int64_t high = bits == 64 ? std::numeric_limits<int64_t>::max() : (int64_t{1} << (bits - 1)) - 1;
        if (text.empty() || failed != std::errc() || end != text.data() + text.size()) {
            *error = QuotedValue(text) + " is not an integer";
            return false;
        }
        if (value < low || value > high) {
            *error = ShownValue(text) + " does not fit a " + std::to_string(field.length) + "-byte integer (" +
                     std::to_string(low) + " to " + std::to_string(high) + ")";
            return false;
        }
        StoreLittleEndian(static_cast<uint64_t>(value), field.length, out);
        return true;
    }
    uint64_t value = 0;
    const auto [end, failed] = std::from_chars(text.data(), text.data() + text.size(), value);
    const uint64_t high = bits == 64 ? std::numeric_limits<uint64_t>::max() : (uint64_t{1} << bits) - 1;
    if (text.empty() || failed == std::errc::invalid_argument || end != text.data() + text.size()) {
        *error = QuotedValue(text) + " is not an unsigned integer";
        return false;
    }
    if (failed != std::errc() || value > high) {
        *error = ShownValue(text) + " does not fit a " + std::to_string(field.length) +
                 "-byte unsigned integer (0 to " + std::to_string(high) + ")";
        return false;
    }
    StoreLittleEndian(value, field.length, out);
    return true;
}

bool EncodeFloat(const LayoutField& field, const std::string& text, uint8_t* out, std::string* error) {
    double value = 0;
    const auto [end, failed] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || failed != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        *error = QuotedValue(text) + " is not a number";
        return false;
    }
    if (field.length == 4) {
        // Read as a float itself: the shortest text of the largest float is a little above it
        // when read as a double.
        float narrow = 0;
        const auto [floatEnd, floatFailed] = std::from_chars(text.data(), text.data() + text.size(), narrow);
        if (floatFailed == std::errc::result_out_of_range && std::fabs(value) > 1) {
            *error = ShownValue(text) + " does not fit a 4-byte float";
            return false;
        }
        // Too small for a float: its nearest one.
        if (floatFailed != std::errc()) narrow = static_cast<float>(value);
        std::memcpy(out, &narrow, sizeof narrow);
    } else {
        std::memcpy(out, &value, sizeof value);
    }
    return true;
}

bool EncodeHex(const LayoutField& field, const std::string& text, uint8_t* out, std::string* error) {
    if (text.size() % 2 != 0 || text.size() / 2 > static_cast<size_t>(field.length)) {
        *error = QuotedValue(text) + " is not at most " + std::to_string(field.length) + " bytes of hex digit pairs";
        return false;
    }
    std::string bytes;
    if (!BytesOfHexText(text, &bytes, error)) return false;
    std::memset(out, 0, static_cast<size_t>(field.length));
    std::memcpy(out, bytes.data(), bytes.size());
    return true;
}

bool HoldsText(const LayoutField& field) {
    return field.type == FieldType::kString || field.type == FieldType::kZstring || field.type == FieldType::kText ||
           (field.type == FieldType::kAccounting && field.accounting == AccountingType::kLstring);
}

// The field's text in the field's code page; false, naming the first character it lacks, when
// the code page cannot hold it.
bool ToCodePage(const LayoutField& field, const std::string& utf8, std::string* converted, std::string* error) {
    size_t failedAt = 0;
    if (platform::ConvertCodePage(field.codePage, platform::TextDirection::kUtf8ToCodePage, utf8, converted,
                                  &failedAt)) {
        return true;
    }
    *error = QuotedValue(utf8) + " has a character at byte " + std::to_string(failedAt + 1) + " that code page " +
             std::to_string(field.codePage) + " does not have";
    return false;
}

// The field's bytes, in its code page, as UTF-8; false when they are no text of that code page.
bool FromCodePage(const LayoutField& field, const std::string& bytes, std::string* utf8) {
    size_t failedAt = 0;
    return platform::ConvertCodePage(field.codePage, platform::TextDirection::kCodePageToUtf8, bytes, utf8, &failedAt);
}

// The field's value as text, before any code page: false in `*valid` when the bytes hold none.
std::string DecodeBytes(const LayoutField& field, const uint8_t* record, bool* valid);

template <typename Number>
std::string FloatText(Number value) {
    char buffer[64];
    const auto [end, failed] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return failed == std::errc() ? std::string(buffer, end) : std::string();
}

}  // namespace

int RecordLayout::End() const {
    int end = 0;
    for (const auto& field : fields) end = std::max(end, field.offset + field.length);
    return end;
}

void RecordLayout::SetCodePage(int codePage) {
    for (auto& field : fields) field.codePage = HoldsText(field) ? codePage : 0;
}

int RecordLayout::Find(const std::string& name) const {
    for (size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].name == name) return static_cast<int>(i);
    }
    return -1;
}

const char* LayoutTypeList() { return kTypeList; }

std::string FieldTypeName(const LayoutField& field) {
    for (const auto& entry : kTypeNames) {
        if (entry.type != field.type ||
            (field.type == FieldType::kAccounting && entry.accounting != field.accounting)) {
            continue;
        }
        return std::string(entry.name) + (entry.scaled && field.scale > 0 ? ":" + std::to_string(field.scale) : "");
    }
    return "?";
}

bool ParseLayout(const std::string& text, RecordLayout* layout, std::string* error) {
    layout->fields.clear();
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string where = "line " + std::to_string(number) + ": ";
        const size_t comment = line.find('#');
        if (comment != std::string::npos) line.erase(comment);
        const auto words = Words(line);
        if (words.empty()) continue;
        if (words.size() != 4) {
            *error = where + "expected NAME OFFSET LENGTH TYPE, found " + std::to_string(words.size()) + " words";
            return false;
        }
        LayoutField field;
        field.name = words[0];
        if (!ParseInt(words[1], &field.offset) || field.offset < 0 || field.offset >= kLongestRecord) {
            *error = where + "offset " + QuotedValue(words[1]) + " is not a byte offset from 0 to " +
                     std::to_string(kLongestRecord - 1);
            return false;
        }
        field.rest = words[2] == "*";
        if (!field.rest &&
            (!ParseInt(words[2], &field.length) || field.length < 1 || field.offset + field.length > kLongestRecord)) {
            *error = where + "length " + QuotedValue(words[2]) + " is not a length from 1 that ends within a record";
            return false;
        }
        const size_t colon = words[3].find(':');
        const std::string typeName = words[3].substr(0, colon);
        const auto type = std::find_if(std::begin(kTypeNames), std::end(kTypeNames),
                                       [&](const TypeName& entry) { return typeName == entry.name; });
        if (type == std::end(kTypeNames)) {
            *error = where + "unknown type " + QuotedValue(words[3]) + " (" + kTypeList + ")";
            return false;
        }
        field.type = type->type;
        field.accounting = type->accounting;
        if (colon != std::string::npos && (!type->scaled || !ParseInt(words[3].substr(colon + 1), &field.scale) ||
                                           field.scale < 0 || field.scale > 2 * field.length - 1)) {
            *error = where + QuotedValue(words[3]) +
                     " is not a type with digits after the point that the field has room for";
            return false;
        }
        if (!LengthFits(field)) {
            *error = where + (field.rest || field.type == FieldType::kText
                                  ? "only a text or hex field can be the rest of the record (length *), and a text "
                                    "field only that"
                                  : "a " + words[3] + " field cannot be " + ShownValue(words[2]) + " bytes long");
            return false;
        }
        if (layout->Find(field.name) >= 0) {
            *error = where + "field " + QuotedValue(field.name) + " is named twice";
            return false;
        }
        for (const auto& other : layout->fields) {
            // A rest field reaches to the record's end, wherever that is.
            const bool overlap =
                field.rest   ? other.rest || field.offset < other.offset + other.length
                : other.rest ? other.offset < field.offset + field.length
                             : field.offset < other.offset + other.length && other.offset < field.offset + field.length;
            if (overlap) {
                *error = where + "field " + QuotedValue(field.name) + " overlaps field " + QuotedValue(other.name) +
                         (field.rest || other.rest ? " (a field of length * is the rest of the record)" : "");
                return false;
            }
        }
        layout->fields.push_back(field);
    }
    if (layout->fields.empty()) {
        *error = "the layout names no field";
        return false;
    }
    return true;
}

bool ReadLayoutFile(const std::string& path, RecordLayout* layout, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot read the layout file " + path;
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (!ParseLayout(text.str(), layout, error)) {
        *error = path + ", " + *error;
        return false;
    }
    return true;
}

bool EncodeField(const LayoutField& field, const std::string& utf8, uint8_t* record, std::string* error) {
    uint8_t* out = record + field.offset;
    std::string converted;
    if (field.codePage != 0 && !ToCodePage(field, utf8, &converted, error)) return false;
    const std::string& text = field.codePage != 0 ? converted : utf8;
    if (field.rest) {
        *error = "the rest of the record is written with the record's length (EncodeRest)";
        return false;
    }
    switch (field.type) {
        case FieldType::kString:
        case FieldType::kZstring: {
            const size_t room = static_cast<size_t>(field.length) - (field.type == FieldType::kZstring ? 1 : 0);
            if (text.size() > room || text.find('\0') != std::string::npos) {
                *error = "\"" + ValuePrefix(text) + "\" is " + std::to_string(text.size()) +
                         " characters; the field holds " + std::to_string(room);
                return false;
            }
            std::memset(out, field.type == FieldType::kString ? ' ' : '\0', static_cast<size_t>(field.length));
            std::memcpy(out, text.data(), text.size());
            return true;
        }
        case FieldType::kInteger:
        case FieldType::kUnsigned: return EncodeInteger(field, text, out, error);
        case FieldType::kFloat: return EncodeFloat(field, text, out, error);
        case FieldType::kHex: return EncodeHex(field, text, out, error);
        case FieldType::kAccounting:
            return EncodeAccounting(field.accounting, field.length, field.scale, text, out, error);
        case FieldType::kText: break;  // only as the rest of a record
    }
    return false;
}

bool EncodeRest(const LayoutField& field, const std::string& text, std::string* bytes, std::string* error) {
    if (field.type == FieldType::kHex) return BytesOfHexText(text, bytes, error);
    if (field.codePage != 0) return ToCodePage(field, text, bytes, error);
    *bytes = text;
    return true;
}

std::string DecodeRest(const LayoutField& field, const uint8_t* record, size_t length, bool* valid) {
    if (valid != nullptr) *valid = true;
    if (length <= static_cast<size_t>(field.offset)) return std::string();
    const uint8_t* in = record + field.offset;
    const size_t size = length - static_cast<size_t>(field.offset);
    if (field.type == FieldType::kHex) return HexText(in, size);
    const std::string bytes(reinterpret_cast<const char*>(in), size);
    std::string utf8;
    if (field.codePage == 0) return bytes;
    if (FromCodePage(field, bytes, &utf8)) return utf8;
    if (valid != nullptr) *valid = false;
    return InvalidText(in, size);
}

std::string DecodeField(const LayoutField& field, const uint8_t* record, bool* valid) {
    bool decoded = true;
    std::string text = DecodeBytes(field, record, &decoded);
    std::string utf8;
    if (decoded && field.codePage != 0 && !FromCodePage(field, text, &utf8)) {
        decoded = false;
        utf8 = InvalidText(record + field.offset, static_cast<size_t>(field.length));
    }
    if (valid != nullptr) *valid = decoded;
    return field.codePage != 0 ? utf8 : text;
}

namespace {

std::string DecodeBytes(const LayoutField& field, const uint8_t* record, bool* valid) {
    const uint8_t* in = record + field.offset;
    const auto length = static_cast<size_t>(field.length);
    switch (field.type) {
        case FieldType::kString: {
            std::string text(reinterpret_cast<const char*>(in), length);
            const size_t end = text.find_last_not_of(std::string(" \0", 2));
            return end == std::string::npos ? std::string() : text.substr(0, end + 1);
        }
        case FieldType::kZstring: {
            const void* nul = std::memchr(in, 0, length);
            const size_t size = nul != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - in) : length;
            return std::string(reinterpret_cast<const char*>(in), size);
        }
        case FieldType::kInteger: {
            const int bits = field.length * 8;
            uint64_t raw = LoadLittleEndian(in, field.length);
            // Extend the sign of a shorter integer.
            if (bits < 64 && (raw >> (bits - 1)) != 0) raw |= ~uint64_t{0} << bits;
            return std::to_string(static_cast<int64_t>(raw));
        }
        case FieldType::kUnsigned: return std::to_string(LoadLittleEndian(in, field.length));
        case FieldType::kFloat: {
            if (field.length == 4) {
                float value;
                std::memcpy(&value, in, sizeof value);
                return FloatText(value);
            }
            double value;
            std::memcpy(&value, in, sizeof value);
            return FloatText(value);
        }
        case FieldType::kHex: return HexText(in, length);
        case FieldType::kText: return std::string(reinterpret_cast<const char*>(in), length);
        case FieldType::kAccounting: {
            std::string text;
            *valid = DecodeAccounting(field.accounting, field.length, field.scale, in, &text);
            return text;
        }
    }
    return std::string();
}

}  // namespace

void ClearField(const LayoutField& field, uint8_t* record) {
    if (field.rest) return;
    std::memset(record + field.offset, field.type == FieldType::kString ? ' ' : '\0',
                static_cast<size_t>(field.length));
}

}  // namespace tool
