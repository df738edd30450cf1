#include "status_text.h"

#include <map>

namespace tool {
namespace {

const std::map<int32_t, const char*>& Meanings() {
    static const std::map<int32_t, const char*> meanings = {
        {-7, "no lock file can be made in the lock directory (read-only, not writable or missing)"},
        {-6, "another workstation holds the lock directory"},
        {-5, "the library could not allocate a buffer"},
        {-2, "the library's table of open files is full"},
        {-1, "the file handle is not open"},
        {0, "success"},
        {1, "operation not supported by the record manager"},
        {2, "I/O error"},
        {3, "file not open"},
        {4, "key value not found"},
        {5, "duplicate key value"},
        {6, "invalid key number"},
        {7, "different key number"},
        {8, "no current record"},
        {9, "end of file"},
        {10, "key is not modifiable"},
        {11, "invalid file name"},
        {12, "file not found"},
        {18, "disk full"},
        {20, "record manager not found or inactive"},
        {21, "key buffer too short"},
        {22, "data buffer length wrong"},
        {24, "invalid page size"},
        {25, "file cannot be created"},
        {26, "invalid number of keys or segments"},
        {27, "invalid key position"},
        {28, "invalid record length"},
        {29, "invalid key length"},
        {30, "not a data file of the record manager"},
        {41, "operation not allowed"},
        {43, "invalid record address"},
        {44, "record has a null value for this key"},
        {45, "inconsistent key flags"},
        {46, "access to the file denied"},
        {48, "invalid collating sequence"},
        {49, "invalid key type"},
        {59, "file already exists"},
        {80, "record changed by another user"},
        {84, "record in use by another user"},
        {85, "file in use by another user"},
        {88, "open mode incompatible with other users"},
        {94, "permission error"},
    };
    return meanings;
}

}  // namespace

std::string DescribeStatus(int32_t status) {
    auto it = Meanings().find(status);
    const char* meaning = it != Meanings().end() ? it->second : (status < 0 ? "library error" : "record manager error");
    return std::to_string(status) + " (" + meaning + ")";
}

}  // namespace tool
