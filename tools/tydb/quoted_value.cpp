#include "quoted_value.h"

namespace tool {
namespace {

bool IsLong(const std::string& text) { return text.size() > kShownValueLength; }

std::string LengthNote(const std::string& text) {
    return IsLong(text) ? " (" + std::to_string(text.size()) + " characters)" : std::string();
}

}  // namespace

std::string ValuePrefix(const std::string& text) {
    return IsLong(text) ? text.substr(0, kShownValueLength) + "..." : text;
}

std::string QuotedValue(const std::string& text) { return "\"" + ValuePrefix(text) + "\"" + LengthNote(text); }

std::string ShownValue(const std::string& text) { return ValuePrefix(text) + LengthNote(text); }

}  // namespace tool
