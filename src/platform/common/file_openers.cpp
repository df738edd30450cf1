// The ways of opening a file the library names by purpose, in terms of File::Open, which each
// system implements.
#include "platform.h"

namespace platform {

FileStatus File::CreateExclusive(const char* path, bool text, File* out) {
    FileOptions options;
    options.access = FileAccess::kWrite;
    options.share = FileShare::kDenyReadWrite;
    options.create = true;
    options.truncate = true;
    options.text = text;
    return Open(path, options, out);
}

FileStatus File::OpenDenyWrite(const char* path, bool text, File* out) {
    FileOptions options;
    options.access = FileAccess::kRead;
    options.share = FileShare::kDenyWrite;
    options.text = text;
    return Open(path, options, out);
}

FileStatus File::OpenAppendExclusive(const char* path, bool text, File* out) {
    FileOptions options;
    options.access = FileAccess::kReadWrite;
    options.share = FileShare::kDenyReadWrite;
    options.create = true;
    options.append = true;
    options.text = text;
    return Open(path, options, out);
}

}  // namespace platform
