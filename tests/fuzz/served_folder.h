// served_folder.h: a fuzz target's folder of data files served by a PostgreSQL server, so the
// same inputs and the same checks exercise the record manager's server store.
//
// BTRCALL_FUZZ_SERVER_FILE names a file whose first line is a libpq connection string (as
// scripts/test-postgres.sh writes it); the folder then gets a `w3btrv7.server` that puts its
// files in a schema of their own, dropped when the target ends.
#ifndef TYDB_TESTS_FUZZ_SERVED_FOLDER_H
#define TYDB_TESTS_FUZZ_SERVED_FOLDER_H

#include <libpq-fe.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "../support/server_integrity.h"
#include "fuzz_support.h"

namespace fuzzsupport {

struct ServedFolder {
    std::string connection;  // empty when the folder is not served
    std::string schema;
};

// Never destroyed: the targets drop the schema from exit handlers, which may run after the
// destructors of statics made later than their registration.
inline ServedFolder& Served() {
    static ServedFolder* served = new ServedFolder;
    return *served;
}

inline bool FolderIsServed() { return !Served().connection.empty(); }

// Serves `dir` when BTRCALL_FUZZ_SERVER_FILE asks for it.
inline void ServeFolderIfAsked(const std::filesystem::path& dir) {
    const char* file = std::getenv("BTRCALL_FUZZ_SERVER_FILE");
    if (file == nullptr || *file == '\0') return;
    ServedFolder& served = Served();
    std::getline(std::ifstream(file), served.connection);
    if (served.connection.empty()) Fail(std::string("no connection string in ") + file);
    served.schema = "fuzz_" + std::to_string(std::random_device()());
    std::ofstream(dir / "w3btrv7.server")
        << "connection = " << served.connection << "\nschema = " << served.schema << "\n";
}

// The rows of a query on the server (each row's columns as text), or the server's complaint in
// `problem`. Parameters are text.
inline std::vector<std::vector<std::string>> ServerRows(const std::string& sql, std::string* problem,
                                                        const std::vector<std::string>& params = {}) {
    std::vector<std::vector<std::string>> rows;
    PGconn* conn = PQconnectdb(Served().connection.c_str());
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);
    std::vector<const char*> values;
    for (const std::string& param : params) values.push_back(param.c_str());
    PGresult* result =
        PQexecParams(conn, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr, nullptr, 0);
    ExecStatusType status = PQresultStatus(result);
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
        *problem = "server: " + std::string(PQerrorMessage(conn));
    } else {
        for (int row = 0; row < PQntuples(result); ++row) {
            rows.emplace_back();
            for (int column = 0; column < PQnfields(result); ++column)
                rows.back().emplace_back(PQgetvalue(result, row, column));
        }
    }
    PQclear(result);
    PQfinish(conn);
    return rows;
}

// The schema's name quoted, with the dot, to put before a table's name.
inline std::string ServedTables() { return "\"" + Served().schema + "\"."; }

// A subquery for the id of the file whose server name is $1 (ServedName).
inline std::string ServedFileId() { return testsupport::ServerFileId(Served().schema); }

// How the server names the data file at `path`: its file name in upper case.
inline std::string ServedName(const std::string& path) {
    std::string name = std::filesystem::path(path).filename().string();
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

// The server's verdict on a file ("ok" when sound): no key entry without its record, no record
// on a key twice.
inline std::string ServedIntegrity(const std::string& path) {
    std::string problem;
    auto rows = ServerRows(testsupport::ServerIntegrityQuery(Served().schema), &problem, {ServedName(path)});
    if (!problem.empty()) return problem;
    if (rows.size() != 1 || rows[0].size() != 3) return "no answer";
    return testsupport::ServerIntegrityVerdict(rows[0][0], rows[0][1], rows[0][2]);
}

// Removes the data file at `path` from the server, with its records and entries (its
// definition's rows go with its row). Nothing may have it open.
inline void RemoveServedFile(const std::string& path) {
    if (!FolderIsServed()) return;
    const std::string s = ServedTables();
    const std::string file = ServedFileId();
    std::string problem;
    // A folder whose schema the record manager has not made yet holds no file.
    auto made = ServerRows("SELECT to_regclass($1) IS NOT NULL", &problem, {s + "w3b_file"});
    if (made.empty() || made[0][0] != "t") return;
    for (const char* table : {"w3b_entry", "w3b_record"})
        ServerRows("DELETE FROM " + s + table + " WHERE file = " + file, &problem, {ServedName(path)});
    ServerRows("DELETE FROM " + s + "w3b_file WHERE name = $1", &problem, {ServedName(path)});
    if (!problem.empty()) Fail("cannot remove " + path + " from the server: " + problem);
}

// Drops the folder's schema with every file in it.
inline void DropServedSchema() {
    if (!FolderIsServed()) return;
    std::string ignored;
    ServerRows("DROP SCHEMA IF EXISTS \"" + Served().schema + "\" CASCADE", &ignored);
}

}  // namespace fuzzsupport

#endif  // TYDB_TESTS_FUZZ_SERVED_FOLDER_H
