#include "store/store.h"

#include "store/sqlite/sqlite_file.h"
#ifdef W3BTRV7_SERVER_STORE
#include "store/postgres/pg_file.h"
#endif

namespace w3b {

int16_t LocateDataFile(const std::string& path, DataFileLocation* out) {
    ServerFolder folder;
    std::string problem;
    switch (FindServerFolder(path, &folder, &problem)) {
        case FolderKind::kUnreadable: return btr::kStatusIoError;
        case FolderKind::kServer:
            out->key.server = folder.connection + '\n' + folder.schema + '\n' + ServerFileName(path);
            out->server = std::move(folder);
            out->localExists = platform::FileExists(path.c_str());
            return btr::kStatusSuccess;
        case FolderKind::kLocal: break;
    }
    platform::FileStatus fs = platform::IdentifyFile(path.c_str(), &out->key.local);
    if (fs == platform::FileStatus::kNotFound) return btr::kStatusSuccess;
    if (fs != platform::FileStatus::kOk) return btr::kStatusPermissionError;
    out->localExists = true;
    return btr::kStatusSuccess;
}

#ifdef W3BTRV7_SERVER_STORE

// A file that lies in a served folder itself was never moved to the server (or is no data file
// at all): it is never silently passed over for the server's file of the same name, nor the
// other way round.
int16_t OpenDataFile(const std::string& path, const DataFileLocation& where, std::unique_ptr<FileConnection>* out) {
    if (where.server && where.localExists) return btr::kStatusNotABtrieveFile;
    if (where.server) return PgFile::Open(*where.server, path, where.key, out);
    if (!where.localExists) return btr::kStatusFileNotFound;
    return SqliteFile::Open(path, where.key, out);
}

int16_t DataFileExists(const std::string& path, const DataFileLocation& where, bool* exists) {
    if (where.server && !where.localExists) return PgFile::Exists(*where.server, ServerFileName(path), exists);
    *exists = platform::FileExists(path.c_str());
    return btr::kStatusSuccess;
}

int16_t CreateDataFile(const std::string& path, const DataFileLocation& where, const FileDef& def, IfExists ifExists) {
    if (where.server && where.localExists) return btr::kStatusFileAlreadyExists;
    if (where.server) return PgFile::Create(*where.server, ServerFileName(path), def, ifExists);
    return SqliteFile::Create(path, def, ifExists);
}

#else

// A build without the server store cannot reach a server: files of served folders answer 2.
int16_t OpenDataFile(const std::string& path, const DataFileLocation& where, std::unique_ptr<FileConnection>* out) {
    if (where.server) return btr::kStatusIoError;
    if (!where.localExists) return btr::kStatusFileNotFound;
    return SqliteFile::Open(path, where.key, out);
}

int16_t DataFileExists(const std::string& path, const DataFileLocation& where, bool* exists) {
    if (where.server) return btr::kStatusIoError;
    *exists = platform::FileExists(path.c_str());
    return btr::kStatusSuccess;
}

int16_t CreateDataFile(const std::string& path, const DataFileLocation& where, const FileDef& def, IfExists ifExists) {
    if (where.server) return btr::kStatusIoError;
    return SqliteFile::Create(path, def, ifExists);
}

#endif

}  // namespace w3b
