#include "hex_text.h"

#include "quoted_value.h"

namespace tool {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string HexText(const uint8_t* in, size_t length) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(length * 2);
    for (size_t i = 0; i < length; ++i) {
        text += kDigits[in[i] >> 4];
        text += kDigits[in[i] & 15];
    }
    return text;
}

std::string InvalidText(const uint8_t* in, size_t length) { return "#invalid(" + HexText(in, length) + ")"; }

bool BytesOfHexText(const std::string& text, std::string* bytes, std::string* error) {
    if (text.size() % 2 != 0) {
        *error = QuotedValue(text) + " is not hex digit pairs";
        return false;
    }
    bytes->assign(text.size() / 2, '\0');
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) {
            *error = QuotedValue(text) + " holds a character that is not a hex digit";
            return false;
        }
        (*bytes)[i / 2] = static_cast<char>(high * 16 + low);
    }
    return true;
}

}  // namespace tool
