#include "store/store.h"

#include "store/sqlite/sqlite_file.h"

namespace w3b {

int16_t OpenDataFile(const std::string& path, const platform::FileIdentity& identity,
                     std::unique_ptr<FileConnection>* out) {
    return SqliteFile::Open(path, identity, out);
}

int16_t CreateDataFile(const std::string& path, const FileDef& def) { return SqliteFile::Create(path, def); }

}  // namespace w3b
