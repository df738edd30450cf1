// value_text.cpp: integers and texts between the file and the caller's buffers.
#include "value_text.h"

#include <cstring>

namespace tywreg {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

int DigitValue(char c, int base) {
    int digit;
    if (c >= '0' && c <= '9') {
        digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        digit = c - 'A' + 10;
    } else {
        return -1;
    }
    return digit < base ? digit : -1;
}

}  // namespace

std::optional<int32_t> ParseInteger(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;

    size_t at = begin;
    bool negative = false;
    if (at < end && (text[at] == '-' || text[at] == '+')) {
        negative = text[at] == '-';
        ++at;
    }
    int base = 10;
    if (end - at > 2 && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
        base = 16;
        at += 2;
    }
    if (at == end) return std::nullopt;

    // The magnitude may use all 32 bits in hexadecimal; decimal stays within the signed range.
    const uint64_t limit =
        base == 16 ? (negative ? 0x80000000ull : 0xFFFFFFFFull) : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    uint64_t magnitude = 0;
    for (; at < end; ++at) {
        int digit = DigitValue(text[at], base);
        if (digit < 0) return std::nullopt;
        magnitude = magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (magnitude > limit) return std::nullopt;
    }
    uint32_t bits = static_cast<uint32_t>(magnitude);
    if (negative) bits = 0u - bits;
    return static_cast<int32_t>(bits);
}

std::string FormatInteger(int32_t value) { return std::to_string(value); }

void CopyToBuffer(const std::string& text, char* buffer, int32_t size) {
    if (buffer == nullptr || size <= 0) return;
    size_t room = static_cast<size_t>(size) - 1;
    size_t length = text.size() < room ? text.size() : room;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

}  // namespace tywreg
