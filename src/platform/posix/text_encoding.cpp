// Code pages through the C library's iconv: only exact conversions, never transliterated.
#include <iconv.h>

#include <string>

#include "platform.h"

namespace platform {

namespace {

std::string IconvName(int codePage) { return "CP" + std::to_string(codePage); }

class Converter {
public:
    Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~Converter() {
        if (Valid()) iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool Valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return handle_; }

private:
    iconv_t handle_;
};

}  // namespace

bool CodePageKnown(int codePage) {
    return codePage > 0 && Converter("UTF-8", IconvName(codePage).c_str()).Valid() &&
           Converter(IconvName(codePage).c_str(), "UTF-8").Valid();
}

bool ConvertCodePage(int codePage, TextDirection direction, const std::string& text, std::string* out,
                     size_t* failedAt) {
    const std::string name = IconvName(codePage);
    Converter converter(direction == TextDirection::kCodePageToUtf8 ? "UTF-8" : name.c_str(),
                        direction == TextDirection::kCodePageToUtf8 ? name.c_str() : "UTF-8");
    *failedAt = 0;
    if (!converter.Valid()) return false;
    // A character of a single-byte code page is at most three bytes of UTF-8, and UTF-8 never
    // grows going the other way.
    std::string buffer(text.size() * 3 + 4, '\0');
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char* output = buffer.data();
    size_t outLeft = buffer.size();
    // iconv counts the characters it converted only approximately; any such count is a failure.
    const size_t converted = iconv(converter.Get(), &in, &inLeft, &output, &outLeft);
    if (converted != 0 || inLeft != 0) {
        *failedAt = text.size() - inLeft;
        return false;
    }
    out->assign(buffer.data(), buffer.size() - outLeft);
    return true;
}

}  // namespace platform
