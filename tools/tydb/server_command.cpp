// tydb server init DIR and tydb server move DIR [--back]: a data folder made one that a
// PostgreSQL server serves, and its data files moved to that server or back. The work is the
// record manager's (its administration entry points, w3btrv7_admin.h), which alone knows how
// each store keeps a file; the tool reports it.
#include <chrono>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>
#include <vector>

#include "commands.h"
#include "record_manager.h"
#include "status_text.h"
#include "w3btrv7_admin.h"

namespace tool {
namespace {

constexpr uint32_t kMessageSize = 2048;

struct InitOptions {
    std::string folder;
    std::string connection;
    std::string schema;
    bool force = false;
};

struct MoveOptions {
    std::string folder;
    bool back = false;
    bool json = false;
};

struct MoveTally {
    bool json = false;
    std::vector<std::pair<std::string, int64_t>> files;
    int64_t records = 0;
};

// The record manager's entry point `name`, or the command fails saying why it is missing.
void* AdminEntry(const RecordManager& manager, const char* name) { return manager.RequireSymbol(name, "tydb server"); }

std::string Rate(int64_t records, double seconds) {
    std::ostringstream text;
    text << std::fixed << std::setprecision(0) << (seconds > 0 ? static_cast<double>(records) / seconds : 0.0);
    return text.str();
}

void RunInit(const InitOptions& options) {
    RecordManager manager;
    auto init = reinterpret_cast<W3bServerInitFunction>(AdminEntry(manager, "W3bServerInit"));
    char message[kMessageSize] = {};
    const int16_t status = init(options.folder.c_str(), options.connection.c_str(), options.schema.c_str(),
                                options.force ? 1 : 0, message, kMessageSize);
    if (status == btr::kStatusFileAlreadyExists) Fail(1, std::string(message) + "; --force replaces it");
    if (status != 0) Fail(1, message);
    std::cout << options.folder << " is served by schema " << options.schema
              << ": its new data files are made on the server; tydb server move " << options.folder
              << " moves the files already there" << std::endl;
}

void ReportFile(void* context, const W3bMovedFile* file) {
    auto* tally = static_cast<MoveTally*>(context);
    tally->files.emplace_back(file->name, file->records);
    tally->records += file->records;
    if (tally->json) return;
    std::cout << file->name << ": " << file->records << " records, " << std::fixed << std::setprecision(2)
              << file->seconds << " s" << std::endl;
}

void PrintSummary(const MoveOptions& options, const MoveTally& tally, double seconds) {
    const std::string where = options.back ? "back into " + options.folder : "to the server";
    if (!options.json) {
        std::cout << "Moved " << tally.files.size() << " files, " << tally.records << " records " << where << " in "
                  << std::fixed << std::setprecision(2) << seconds << " s (" << Rate(tally.records, seconds)
                  << " records/s)" << std::endl;
        if (options.back) {
            std::cout << "The server's files were dropped and w3btrv7.server renamed w3btrv7.server.moved-back"
                      << std::endl;
        } else if (!tally.files.empty()) {
            std::cout << "The SQLite files are kept, untouched, in " << options.folder
                      << "/moved-to-server: your backup; delete them yourself when you no longer need them"
                      << std::endl;
        }
        return;
    }
    std::cout << "{\"folder\":" << JsonString(options.folder)
              << ",\"direction\":" << JsonString(options.back ? "back" : "to-server") << ",\"files\":[";
    for (size_t i = 0; i < tally.files.size(); ++i) {
        std::cout << (i ? "," : "") << "{\"name\":" << JsonString(tally.files[i].first)
                  << ",\"records\":" << tally.files[i].second << "}";
    }
    std::cout << "],\"records\":" << tally.records << ",\"seconds\":" << std::fixed << std::setprecision(3) << seconds
              << ",\"recordsPerSecond\":" << Rate(tally.records, seconds)
              << ",\"backup\":" << (options.back ? "null" : JsonString(options.folder + "/moved-to-server")) << "}"
              << std::endl;
}

void RunMove(const MoveOptions& options) {
    RecordManager manager;
    auto move = reinterpret_cast<W3bServerMoveFunction>(AdminEntry(manager, "W3bServerMove"));
    MoveTally tally;
    tally.json = options.json;
    char message[kMessageSize] = {};
    const auto start = std::chrono::steady_clock::now();
    const int16_t status = move(options.folder.c_str(), options.back ? W3B_MOVE_BACK : W3B_MOVE_TO_SERVER, &ReportFile,
                                &tally, message, kMessageSize);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status != 0) Fail(1, std::string(message) + " (status " + DescribeStatus(status) + ")");
    PrintSummary(options, tally, seconds);
}

void AddInit(CLI::App& server) {
    auto options = std::make_shared<InitOptions>();
    auto* init = server.add_subcommand("init", "Make DIR a folder whose data files a PostgreSQL server keeps");
    init->add_option("DIR", options->folder, "The data folder")->required();
    init->add_option("--connection", options->connection, "A libpq connection string (no password in it)")->required();
    init->add_option("--schema", options->schema, "The server schema for the folder's files (letters, digits, _)")
        ->required();
    init->add_flag("--force", options->force, "Replace the folder's w3btrv7.server if it has one");
    init->footer(
        "Creates the schema and its tables on the server at once (a bad connection string or missing\n"
        "rights show now, with the server's words), then writes DIR/w3btrv7.server. Passwords belong in\n"
        "libpq's password file, never in the connection string.");
    init->callback([options] { RunInit(*options); });
}

void AddMove(CLI::App& server) {
    auto options = std::make_shared<MoveOptions>();
    auto* move = server.add_subcommand("move", "Move a served folder's SQLite data files to its server, or back");
    move->add_option("DIR", options->folder, "The data folder (it holds w3btrv7.server)")->required();
    move->add_flag("--back", options->back, "Move the server's files back into SQLite files of DIR");
    move->add_flag("--json", options->json, "Print the result as JSON");
    move->footer(
        "Every file keeps its definition, its records at their positions and its key entries as stored\n"
        "(duplicates in their order of arrival). Each copy is checked (record count, entries per key,\n"
        "every record) before its source goes: the SQLite files move, untouched, into\n"
        "DIR/moved-to-server (a backup, never deleted); with --back the server's files are dropped and\n"
        "w3btrv7.server is renamed w3btrv7.server.moved-back. Refused (exit status 1, naming the file)\n"
        "while any process has a file of the folder open, or when a file is on both sides.");
    move->callback([options] { RunMove(*options); });
}

}  // namespace

void AddServerCommand(CLI::App& app) {
    auto* server = app.add_subcommand("server", "Data folders on a PostgreSQL server");
    server->require_subcommand(1);
    AddInit(*server);
    AddMove(*server);
}

}  // namespace tool
