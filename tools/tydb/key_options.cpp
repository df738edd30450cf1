#include "key_options.h"

#include <charconv>
#include <utility>

namespace tool {
namespace {

struct FlagName {
    uint16_t flag;
    const char* name;
};

constexpr FlagName kKeyFlags[] = {
    {btr::kKeyFlagDuplicates, "dup"},
    {btr::kKeyFlagModifiable, "mod"},
    {btr::kKeyFlagBinary, "bin"},
    {btr::kKeyFlagNullAll, "null"},
    {btr::kKeyFlagAlternateSequence, "upper"},
    {btr::kKeyFlagDescending, "desc"},
    {btr::kKeyFlagSupplemental, "supplemental"},
    {btr::kKeyFlagNullAny, "nullany"},
    {btr::kKeyFlagNoCase, "nocase"},
};

// Flags that must agree on every segment of a key.
constexpr uint16_t kWholeKeyFlags = btr::kKeyFlagDuplicates | btr::kKeyFlagModifiable | btr::kKeyFlagNullAll;

constexpr FlagName kFileFlags[] = {
    {btr::kFileFlagVariableLength, "variable"},
    {btr::kFileFlagBlankTruncation, "truncate"},
    {btr::kFileFlagPreallocate, "preallocate"},
    {btr::kFileFlagCompression, "compress"},
    {btr::kFileFlagKeyOnly, "keyonly"},
    {btr::kFileFlagBalancedKeys, "balanced"},
    {btr::kFileFlagDuplicatePointers, "duppointers"},
    {btr::kFileFlagSystemData, "systemdata"},
    {btr::kFileFlagSpecifyKeyNumbers, "keynumbers"},
    {btr::kFileFlagVats, "vats"},
};

// Each type by the tool's short name and the longer name description files use (where they
// differ); a type given by name may be spelled either way.
struct TypeName {
    uint8_t code;
    const char* name;
    const char* descriptionName;
};

constexpr TypeName kTypes[] = {
    {btr::kTypeString, "string", "string"},
    {btr::kTypeInteger, "integer", "integer"},
    {btr::kTypeFloat, "float", "float"},
    {btr::kTypeDate, "date", "date"},
    {btr::kTypeTime, "time", "time"},
    {btr::kTypeDecimal, "decimal", "decimal"},
    {btr::kTypeMoney, "money", "money"},
    {btr::kTypeLogical, "logical", "logical"},
    {btr::kTypeNumeric, "numeric", "numeric"},
    {btr::kTypeBfloat, "bfloat", "bfloat"},
    {btr::kTypeLstring, "lstring", "lstring"},
    {btr::kTypeZstring, "zstring", "zstring"},
    {btr::kTypeUnsignedBinary, "unsigned", "unsigned binary"},
    {btr::kTypeAutoincrement, "autoinc", "autoincrement"},
    {btr::kTypeNumericSts, "numericsts", "numericsts"},
    {btr::kTypeNumericSa, "numericsa", "numericsa"},
    {btr::kTypeCurrency, "currency", "currency"},
    {btr::kTypeTimestamp, "timestamp", "timestamp"},
};

std::vector<std::string> Split(const std::string& text, const std::string& separators) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (separators.find(c) != std::string::npos) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

bool ParseNumber(const std::string& text, int16_t* value) {
    int number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || number < 1 || number > 65535) return false;
    *value = static_cast<int16_t>(number);
    return true;
}

bool ApplyFlag(const std::string& name, BtrKeySpec* segment, std::string* error) {
    if (name.rfind("type=", 0) == 0) {
        const std::string type = name.substr(5);
        if (!KeyTypeOfName(type, &segment->extendedType)) {
            *error = "unknown key type \"" + type + "\"";
            return false;
        }
        segment->flags |= btr::kKeyFlagExtendedType;
        return true;
    }
    for (const FlagName& flag : kKeyFlags) {
        if (name == flag.name) {
            segment->flags |= flag.flag;
            return true;
        }
    }
    *error = "unknown key flag \"" + name + "\"";
    return false;
}

}  // namespace

bool ParseKey(const std::string& text, std::vector<BtrKeySpec>* segments, std::string* error) {
    segments->clear();
    uint16_t wholeKey = 0;
    for (const std::string& part : Split(text, ",")) {
        const std::vector<std::string> fields = Split(part, ":+");
        BtrKeySpec segment = {};
        if (fields.size() < 2 || !ParseNumber(fields[0], &segment.position) ||
            !ParseNumber(fields[1], &segment.length)) {
            *error = "segment \"" + part + "\" is not POS:LEN[:FLAGS] with a position and length from 1";
            return false;
        }
        for (size_t i = 2; i < fields.size(); ++i) {
            if (!fields[i].empty() && !ApplyFlag(fields[i], &segment, error)) return false;
        }
        wholeKey |= segment.flags & kWholeKeyFlags;
        segments->push_back(segment);
    }
    for (size_t i = 0; i < segments->size(); ++i) {
        (*segments)[i].flags |= wholeKey;
        if (i + 1 < segments->size()) (*segments)[i].flags |= btr::kKeyFlagSegmented;
    }
    return true;
}

std::vector<std::string> KeyFlagNames(uint16_t flags) {
    std::vector<std::string> names;
    for (const FlagName& flag : kKeyFlags) {
        if ((flags & flag.flag) != 0) names.push_back(flag.name);
    }
    return names;
}

std::string KeyTypeName(uint8_t type) {
    for (const TypeName& t : kTypes) {
        if (t.code == type) return t.name;
    }
    return "type " + std::to_string(type);
}

std::string DescriptionTypeName(uint8_t type) {
    for (const TypeName& t : kTypes) {
        if (t.code == type) return t.descriptionName;
    }
    return "type " + std::to_string(type);
}

bool KeyTypeOfName(const std::string& name, uint8_t* type) {
    for (const TypeName& t : kTypes) {
        if (name == t.name || name == t.descriptionName) {
            *type = t.code;
            return true;
        }
    }
    return false;
}

std::vector<std::string> FileFlagNames(uint16_t flags) {
    std::vector<std::string> names;
    for (const FlagName& flag : kFileFlags) {
        if ((flags & flag.flag) != 0) names.push_back(flag.name);
    }
    return names;
}

}  // namespace tool
