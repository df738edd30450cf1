// datafile_error.h: how the readers report a file they will not read. Thrown inside the
// library only; Datafile turns it into an error message at its public edge.
#ifndef TYDB_IMPORT_DATAFILE_ERROR_H
#define TYDB_IMPORT_DATAFILE_ERROR_H

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace dfimport {

class DatafileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "page 5 offset 0x1a: " + what, for errors tied to a place in the file.
[[noreturn]] inline void FailAt(const std::string& page, uint32_t offset, const std::string& what) {
    char where[32];
    std::snprintf(where, sizeof where, " offset 0x%x: ", offset);
    throw DatafileError(page + where + what);
}
[[noreturn]] inline void Fail(const std::string& what) { throw DatafileError(what); }

inline std::string PageName(uint32_t page) { return "page " + std::to_string(page); }
inline std::string LogicalName(uint32_t page) { return "logical page " + std::to_string(page); }

}  // namespace dfimport

#endif  // TYDB_IMPORT_DATAFILE_ERROR_H
