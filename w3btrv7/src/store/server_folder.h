// server_folder.h: data folders whose files a PostgreSQL server keeps.
//
// A folder is served when it holds a small text file `w3btrv7.server` of `key = value` lines:
// `connection` (a libpq connection string) and `schema` (the server schema that holds the
// folder's files). Only that file decides: paths may differ between workstations. Passwords
// never go in it; libpq's own password and service files provide them.
#ifndef W3BTRV7_STORE_SERVER_FOLDER_H
#define W3BTRV7_STORE_SERVER_FOLDER_H

#include <cstdint>
#include <string>

namespace w3b {

inline constexpr char kServerFolderFileName[] = "w3btrv7.server";

struct ServerFolder {
    std::string connection;
    std::string schema;
};

enum class FolderKind { kLocal, kServer, kUnreadable };

// Reads the server settings of the folder that holds `path` (a native path of a data file).
// kUnreadable when `w3btrv7.server` is there but cannot be read, lacks a setting or names a
// schema that is not a plain identifier; `*problem` then says why.
FolderKind FindServerFolder(const std::string& path, ServerFolder* folder, std::string* problem);

// Parses the text of a `w3btrv7.server` file; false (with `*problem`) when it is not usable.
bool ParseServerFolder(const std::string& text, ServerFolder* folder, std::string* problem);

// The name a data file has in its server schema: its file name folded to upper case, since
// Windows names are case-blind.
std::string ServerFileName(const std::string& path);

}  // namespace w3b

#endif  // W3BTRV7_STORE_SERVER_FOLDER_H
