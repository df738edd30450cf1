// server_integrity.h: the check of a server file's tables that stands beside SQLite's integrity
// check, for the suites and the fuzz targets alike.
#ifndef TESTS_SUPPORT_SERVER_INTEGRITY_H
#define TESTS_SUPPORT_SERVER_INTEGRITY_H

#include <string>

namespace testsupport {

// A subquery for the id of the file named $1 (its name on the server) in the schema `schema`.
inline std::string ServerFileId(const std::string& schema) {
    return "(SELECT id FROM \"" + schema + "\".w3b_file WHERE name = $1)";
}

// A query over the schema `schema` for the file named $1 (its name on the server) answering
// three counts: files of that name, key entries whose record is not there, and records on a key
// twice. A sound file answers 1, 0, 0.
inline std::string ServerIntegrityQuery(const std::string& schema) {
    const std::string s = "\"" + schema + "\".";
    const std::string file = ServerFileId(schema);
    return "SELECT (SELECT count(*) FROM " + s + "w3b_file WHERE name = $1), (SELECT count(*) FROM " + s +
           "w3b_entry e WHERE e.file = " + file + " AND NOT EXISTS (SELECT 1 FROM " + s +
           "w3b_record r WHERE r.file = e.file AND r.position = e.position)), (SELECT count(*) FROM (SELECT 1 FROM " +
           s + "w3b_entry WHERE file = " + file + " GROUP BY key, position HAVING count(*) > 1) d)";
}

// The verdict on the query's three counts: "ok", or what is wrong.
inline std::string ServerIntegrityVerdict(const std::string& files, const std::string& orphans,
                                          const std::string& twice) {
    if (files != "1") return "no such file";
    if (orphans == "0" && twice == "0") return "ok";
    return orphans + " entries without a record, " + twice + " records on a key twice";
}

}  // namespace testsupport

#endif  // TESTS_SUPPORT_SERVER_INTEGRITY_H
