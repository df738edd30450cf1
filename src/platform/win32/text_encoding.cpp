// Code pages through Windows' own conversion: only exact conversions, no best-fit look-alikes.
#include <string>

#include "platform.h"
#include "windows_api.h"

namespace platform {

namespace {

bool ToWide(UINT codePage, const char* text, int length, std::wstring* wide) {
    if (length == 0) {
        wide->clear();
        return true;
    }
    const int size = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, length, nullptr, 0);
    if (size <= 0) return false;
    wide->assign(static_cast<size_t>(size), L'\0');
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, length, wide->data(), size) == size;
}

bool FromWide(UINT codePage, const std::wstring& wide, std::string* out) {
    if (wide.empty()) {
        out->clear();
        return true;
    }
    // UTF-8 takes neither flag nor default character; a code page must not put a look-alike or
    // '?' in place of a character it does not have.
    const bool utf8 = codePage == CP_UTF8;
    BOOL usedDefault = FALSE;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int length = static_cast<int>(wide.size());
    const int size =
        WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0, nullptr, utf8 ? nullptr : &usedDefault);
    if (size <= 0 || usedDefault) return false;
    out->assign(static_cast<size_t>(size), '\0');
    return WideCharToMultiByte(codePage, flags, wide.data(), length, out->data(), size, nullptr,
                               utf8 ? nullptr : &usedDefault) == size &&
           !usedDefault;
}

bool Convert(UINT from, UINT to, const char* text, int length, std::string* out) {
    std::wstring wide;
    return ToWide(from, text, length, &wide) && FromWide(to, wide, out);
}

// Bytes of the character that begins with `lead` (1 for a byte that begins none).
size_t Utf8Length(unsigned char lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

}  // namespace

bool CodePageKnown(int codePage) { return codePage > 0 && IsValidCodePage(static_cast<UINT>(codePage)) != 0; }

bool ConvertCodePage(int codePage, TextDirection direction, const std::string& text, std::string* out,
                     size_t* failedAt) {
    *failedAt = 0;
    if (!CodePageKnown(codePage)) return false;
    const UINT page = static_cast<UINT>(codePage);
    const UINT from = direction == TextDirection::kCodePageToUtf8 ? page : CP_UTF8;
    const UINT to = direction == TextDirection::kCodePageToUtf8 ? CP_UTF8 : page;
    if (Convert(from, to, text.data(), static_cast<int>(text.size()), out)) return true;
    // Which character failed: each one on its own (one byte in a code page the tool takes).
    std::string piece;
    for (size_t at = 0; at < text.size();) {
        const size_t length = from == CP_UTF8 ? Utf8Length(static_cast<unsigned char>(text[at])) : size_t{1};
        const size_t take = at + length <= text.size() ? length : text.size() - at;
        if (!Convert(from, to, text.data() + at, static_cast<int>(take), &piece)) {
            *failedAt = at;
            return false;
        }
        at += take;
    }
    *failedAt = text.size();
    return false;
}

}  // namespace platform
