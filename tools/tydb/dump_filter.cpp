#include "dump_filter.h"

#include <charconv>
#include <cstring>
#include <limits>

#include "btrcall.h"
#include "key_options.h"

namespace tool {
namespace {

constexpr uint8_t kCaseBlind = 64;

// The comparison codes, longest spelling first so that ">=" is not read as ">".
const std::pair<const char*, uint8_t> kComparisons[] = {{"!=", 4}, {">=", 5}, {"<=", 6}, {"=", 1}, {">", 2}, {"<", 3}};

std::string Trim(const std::string& text) {
    const size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos) return std::string();
    return text.substr(start, text.find_last_not_of(' ') - start + 1);
}

bool HexValue(const std::string& digits, size_t length, std::string* out) {
    if (digits.size() != 2 * length) return false;
    out->clear();
    for (size_t i = 0; i < length; ++i) {
        unsigned byte = 0;
        const auto [end, error] = std::from_chars(digits.data() + 2 * i, digits.data() + 2 * i + 2, byte, 16);
        if (error != std::errc() || end != digits.data() + 2 * i + 2) return false;
        out->push_back(static_cast<char>(byte));
    }
    return true;
}

// A whole decimal number that fits `length` bytes, signed or not, little-endian.
bool IntegerValue(const std::string& text, size_t length, bool isSigned, std::string* out) {
    if (length != 1 && length != 2 && length != 4 && length != 8) return false;
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return false;
    const int bits = static_cast<int>(length) * 8;
    if (bits < 64) {
        const long long low = isSigned ? -(1LL << (bits - 1)) : 0;
        const long long high = isSigned ? (1LL << (bits - 1)) - 1 : (1LL << bits) - 1;
        if (value < low || value > high) return false;
    } else if (!isSigned && value < 0) {
        return false;
    }
    out->assign(length, '\0');
    for (size_t i = 0; i < length; ++i)
        (*out)[i] = static_cast<char>(static_cast<unsigned long long>(value) >> (8 * i));
    return true;
}

bool FloatValue(const std::string& text, size_t length, std::string* out) {
    if (length != 4 && length != 8) return false;
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return false;
    out->assign(length, '\0');
    if (length == 4) {
        const float single = static_cast<float>(value);
        std::memcpy(out->data(), &single, 4);
    } else {
        std::memcpy(out->data(), &value, 8);
    }
    return true;
}

// Text as a field of a string type holds it: blank-padded, NUL-ended or length-prefixed.
bool TextValue(const std::string& text, uint8_t type, size_t length, std::string* out) {
    if (type == btr::kTypeLstring) {
        if (text.size() + 1 > length) return false;
        *out = std::string(1, static_cast<char>(text.size())) + text;
        out->resize(length, '\0');
    } else if (type == btr::kTypeZstring) {
        if (text.size() + 1 > length) return false;
        *out = text;
        out->resize(length, '\0');
    } else {
        if (text.size() > length) return false;
        *out = text;
        out->resize(length, ' ');
    }
    return true;
}

bool EncodeValue(const std::string& text, const FilterCondition& field, std::string* out) {
    if (text.rfind("0x", 0) == 0) return HexValue(text.substr(2), field.length, out);
    switch (field.type) {
        case btr::kTypeString:
        case btr::kTypeLstring:
        case btr::kTypeZstring: return TextValue(text, field.type, field.length, out);
        case btr::kTypeInteger:
        case btr::kTypeAutoincrement: return IntegerValue(text, field.length, true, out);
        case btr::kTypeUnsignedBinary: return IntegerValue(text, field.length, false, out);
        case btr::kTypeFloat: return FloatValue(text, field.length, out);
        default: return false;
    }
}

void AppendU16(std::string* out, unsigned value) {
    out->push_back(static_cast<char>(value & 0xFF));
    out->push_back(static_cast<char>((value >> 8) & 0xFF));
}

// Where the field of a condition ends: at a blank or a comparison ("type=" is part of it).
size_t FieldEnd(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        if (text.compare(i, 5, "type=") == 0) {
            i += 5;
        } else if (std::strchr(" !<>=", text[i]) != nullptr) {
            break;
        } else {
            ++i;
        }
    }
    return i;
}

}  // namespace

bool ParseCondition(const std::string& text, FilterCondition* out, std::string* error) {
    size_t at = std::string::npos;
    size_t width = 0;
    const size_t fieldEnd = FieldEnd(text);
    for (const auto& [spelling, code] : kComparisons) {
        const size_t found = text.find(spelling, fieldEnd);
        if (found != std::string::npos && found < at) {
            at = found;
            width = std::strlen(spelling);
            out->comparison = code;
        }
    }
    if (at == std::string::npos) {
        *error = "condition \"" + text + "\" is not FIELD OP VALUE with OP one of = != > >= < <=";
        return false;
    }
    std::vector<BtrKeySpec> segments;
    if (!ParseKey(Trim(text.substr(0, fieldEnd)), &segments, error)) return false;
    if (!Trim(text.substr(fieldEnd, at - fieldEnd)).empty()) {
        *error = "condition \"" + text + "\" has more than a field before its comparison";
        return false;
    }
    if (segments.size() != 1) {
        *error = "a condition compares one field, POS:LEN[:type=NAME][:nocase]";
        return false;
    }
    const BtrKeySpec& field = segments.front();
    out->type = (field.flags & btr::kKeyFlagExtendedType) != 0 ? field.extendedType : btr::kTypeString;
    out->length = static_cast<uint16_t>(field.length);
    out->offset = static_cast<uint16_t>(field.position - 1);
    if ((field.flags & btr::kKeyFlagNoCase) != 0) out->comparison |= kCaseBlind;
    const std::string value = Trim(text.substr(at + width));
    if (!EncodeValue(value, *out, &out->value)) {
        *error = "value \"" + value + "\" does not fit a " + std::to_string(out->length) + "-byte " +
                 KeyTypeName(out->type) +
                 " field (text for strings, a number for integer, unsigned, autoinc and "
                 "float, else 0x and two hex digits per byte)";
        return false;
    }
    return true;
}

bool ParseFields(const std::string& text, std::vector<ExtractedField>* out, std::string* error) {
    std::vector<BtrKeySpec> segments;
    if (!ParseKey(text, &segments, error)) return false;
    out->clear();
    for (const BtrKeySpec& segment : segments) {
        out->emplace_back(static_cast<uint16_t>(segment.length), static_cast<uint16_t>(segment.position - 1));
    }
    return true;
}

std::string BuildDescriptor(bool withCurrent, const std::vector<FilterCondition>& conditions, bool any,
                            uint16_t records, const std::vector<ExtractedField>& fields) {
    std::string body;
    AppendU16(&body, 0);  // the record manager's own reject count
    AppendU16(&body, static_cast<unsigned>(conditions.size()));
    for (size_t i = 0; i < conditions.size(); ++i) {
        const FilterCondition& c = conditions[i];
        body.push_back(static_cast<char>(c.type));
        AppendU16(&body, c.length);
        AppendU16(&body, c.offset);
        body.push_back(static_cast<char>(c.comparison));
        body.push_back(static_cast<char>(i + 1 == conditions.size() ? 0 : any ? 2 : 1));
        body += c.value;
    }
    AppendU16(&body, records);
    AppendU16(&body, static_cast<unsigned>(fields.size()));
    for (const auto& [length, offset] : fields) {
        AppendU16(&body, length);
        AppendU16(&body, offset);
    }
    std::string descriptor;
    AppendU16(&descriptor, static_cast<unsigned>(body.size() + 4));
    return descriptor + (withCurrent ? "UC" : "EG") + body;
}

}  // namespace tool
