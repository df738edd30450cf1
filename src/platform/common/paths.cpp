// Path spelling: the library writes Windows paths; POSIX file systems take only '/'.
#include "platform.h"

namespace platform {

std::string NativePath(const char* path) {
    if (path == nullptr) return std::string();
    std::string native(path);
#ifndef _WIN32
    for (char& c : native) {
        if (c == '\\') c = '/';
    }
#endif
    return native;
}

}  // namespace platform
