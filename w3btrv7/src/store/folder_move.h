// folder_move.h: a data folder made a served one, and its files moved between its SQLite files
// and its PostgreSQL server, each copy verified before its source goes.
#ifndef W3BTRV7_STORE_FOLDER_MOVE_H
#define W3BTRV7_STORE_FOLDER_MOVE_H

#include <cstdint>
#include <functional>
#include <string>

namespace w3b {

// Where a move leaves the SQLite files it copied to the server: the administrator's backup.
inline constexpr char kMovedToServerFolder[] = "moved-to-server";
// What `w3btrv7.server` becomes once the folder's files are back in it.
inline constexpr char kMovedBackSuffix[] = ".moved-back";

struct MovedFile {
    std::string name;
    int64_t records = 0;
    double seconds = 0;
};
using MoveReport = std::function<void(const MovedFile&)>;

// Writes `folder`/w3btrv7.server naming `connection` and `schema`, once the schema and its
// tables are on the server. 59 when the folder already has one and `replace` is false, 95 when
// the server refuses or cannot be reached (`*message` then carries its words).
int16_t InitServerFolder(const std::string& folder, const std::string& connection, const std::string& schema,
                         bool replace, std::string* message);

// Copies every SQLite data file of the served `folder` to its server and, once every copy is
// verified, moves the files into `folder`/moved-to-server; a copy that fails drops them all. 12 without w3btrv7.server, 88 while
// another process has a file open, 59 when the server already has a file of the name.
int16_t MoveFolderToServer(const std::string& folder, const MoveReport& report, std::string* message);

// Copies every server file of the served `folder` into an SQLite file of the folder, drops the
// server's files once every copy is verified and renames w3btrv7.server, so the folder is no
// longer served. 88 while another process has a file open, 59 when the folder holds a file of
// a server file's name.
int16_t MoveFolderBack(const std::string& folder, const MoveReport& report, std::string* message);

}  // namespace w3b

#endif  // W3BTRV7_STORE_FOLDER_MOVE_H
