#include "record_layout.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include "quoted_value.h"

namespace tool {
namespace {

struct TypeName {
    FieldType type;
    const char* name;
};

constexpr TypeName kTypeNames[] = {
    {FieldType::kString, "string"},     {FieldType::kZstring, "zstring"}, {FieldType::kInteger, "integer"},
    {FieldType::kUnsigned, "unsigned"}, {FieldType::kFloat, "float"},     {FieldType::kHex, "hex"},
};

// A record is at most this long; a field past it can never be read or written.
constexpr int kLongestRecord = 65535;

bool LengthFits(FieldType type, int length) {
    switch (type) {
        case FieldType::kInteger:
        case FieldType::kUnsigned:
            return length == 1 || length == 2 || length == 4 || length == 8;
        case FieldType::kFloat:
            return length == 4 || length == 8;
        case FieldType::kZstring:
            return length >= 2;
        default:
            return length >= 1;
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

void StoreLittleEndian(uint64_t value, int length, uint8_t* out) {
    for (int i = 0; i < length; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t LoadLittleEndian(const uint8_t* in, int length) {
    uint64_t value = 0;
    for (int i = 0; i < length; ++i) value |= static_cast<uint64_t>(in[i]) << (8 * i);
    return value;
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

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool EncodeHex(const LayoutField& field, const std::string& text, uint8_t* out, std::string* error) {
    if (text.size() % 2 != 0 || text.size() / 2 > static_cast<size_t>(field.length)) {
        *error = QuotedValue(text) + " is not at most " + std::to_string(field.length) + " bytes of hex digit pairs";
        return false;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(field.length), 0);
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) {
            *error = QuotedValue(text) + " holds a character that is not a hex digit";
            return false;
        }
        bytes[i / 2] = static_cast<uint8_t>(high * 16 + low);
    }
    std::memcpy(out, bytes.data(), bytes.size());
    return true;
}

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

int RecordLayout::Find(const std::string& name) const {
    for (size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].name == name) return static_cast<int>(i);
    }
    return -1;
}

const char* FieldTypeName(FieldType type) {
    for (const auto& entry : kTypeNames) {
        if (entry.type == type) return entry.name;
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
        if (!ParseInt(words[2], &field.length) || field.length < 1 || field.offset + field.length > kLongestRecord) {
            *error = where + "length " + QuotedValue(words[2]) + " is not a length from 1 that ends within a record";
            return false;
        }
        const auto type = std::find_if(std::begin(kTypeNames), std::end(kTypeNames),
                                       [&](const TypeName& entry) { return words[3] == entry.name; });
        if (type == std::end(kTypeNames)) {
            *error = where + "unknown type " + QuotedValue(words[3]) +
                     " (string, zstring, integer, unsigned, float, hex)";
            return false;
        }
        field.type = type->type;
        if (!LengthFits(field.type, field.length)) {
            *error = where + "a " + words[3] + " field cannot be " + ShownValue(words[2]) + " bytes long";
            return false;
        }
        if (layout->Find(field.name) >= 0) {
            *error = where + "field " + QuotedValue(field.name) + " is named twice";
            return false;
        }
        for (const auto& other : layout->fields) {
            if (field.offset < other.offset + other.length && other.offset < field.offset + field.length) {
                *error = where + "field " + QuotedValue(field.name) + " overlaps field " + QuotedValue(other.name);
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

bool EncodeField(const LayoutField& field, const std::string& text, uint8_t* record, std::string* error) {
    uint8_t* out = record + field.offset;
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
        case FieldType::kUnsigned:
            return EncodeInteger(field, text, out, error);
        case FieldType::kFloat:
            return EncodeFloat(field, text, out, error);
        case FieldType::kHex:
            return EncodeHex(field, text, out, error);
    }
    return false;
}

std::string DecodeField(const LayoutField& field, const uint8_t* record) {
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
        case FieldType::kUnsigned:
            return std::to_string(LoadLittleEndian(in, field.length));
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
        case FieldType::kHex: {
            static const char kDigits[] = "0123456789abcdef";
            std::string text;
            for (size_t i = 0; i < length; ++i) {
                text += kDigits[in[i] >> 4];
                text += kDigits[in[i] & 15];
            }
            return text;
        }
    }
    return std::string();
}

void ClearField(const LayoutField& field, uint8_t* record) {
    std::memset(record + field.offset, field.type == FieldType::kString ? ' ' : '\0',
                static_cast<size_t>(field.length));
}

}  // namespace tool
