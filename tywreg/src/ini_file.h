// ini_file.h: whole-file reads, and replacing a file under a writers' lock.
#ifndef TYWREG_INI_FILE_H
#define TYWREG_INI_FILE_H

#include <cstdint>
#include <functional>
#include <string>

namespace tywreg {

enum class LoadResult {
    kOk,
    kMissing,  // no file: every value has its default
    kFailed,   // the file exists but could not be read whole
};

// Reads the whole file at `path` (a native path) into `text`.
LoadResult LoadFile(const std::string& path, std::string* text);

// Holds "<path>.lock", reads the file (empty when missing), passes its text to `change` and
// puts the text `change` returns in its place: written to "<path>.tmp" beside it (created
// anew: whatever was at that name is removed first and never written through), put on disk,
// then renamed over the file in one step. 0, or a TYWREG_ERROR_ code; on an error the
// file is unchanged. A file that exists but cannot be read is never replaced, and a text
// larger than LoadFile reads (TYWREG_ERROR_INVALID_PARAMETER) is never written, so no error
// can cost the values already stored.
int32_t ReplaceFileLocked(const std::string& path, const std::function<std::string(const std::string&)>& change);

}  // namespace tywreg

#endif  // TYWREG_INI_FILE_H
