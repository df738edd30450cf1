// Making a folder a served one, and moving its files to its server and back. Every source is
// held with an exclusive open for the whole move, so no process can change a file between its
// copy and its verification, and no source goes before its copy is verified.
#include "store/folder_move.h"

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "platform.h"
#include "store/file_transfer.h"
#include "store/postgres/pg_file.h"
#include "store/postgres/pg_loader.h"
#include "store/postgres/pg_schema.h"
#include "store/sqlite/connection.h"
#include "store/sqlite/sqlite_file.h"
#include "store/sqlite/sqlite_loader.h"
#include "store/store.h"

namespace w3b {

namespace {

namespace fs = std::filesystem;

// One file being moved: its name in the folder and its connection in the store it leaves.
struct Source {
    std::string name;
    std::string path;
    std::unique_ptr<FileConnection> file;
};

std::string Join(const std::string& folder, const std::string& name) { return folder + "/" + name; }

std::string Upper(std::string name) {
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A store's words for a message: ": " and the words, or nothing.
std::string Words(std::string words) {
    while (!words.empty() && std::isspace(static_cast<unsigned char>(words.back()))) words.pop_back();
    return words.empty() ? std::string() : ": " + words;
}

// What the server said last on `session`, for a message.
std::string ServerWords(const PgSession& session) { return Words(session.LastError()); }

std::string ServerWords(const ServerFolder& server) { return ServerWords(*PgSession::For(server)); }

int16_t Fail(std::string* message, int16_t status, const std::string& text) {
    *message = text;
    return status;
}

int16_t ReadFolder(const std::string& folder, ServerFolder* server, std::string* message) {
    std::string problem;
    switch (FindServerFolder(Join(folder, "-"), server, &problem)) {
        case FolderKind::kServer: return btr::kStatusSuccess;
        case FolderKind::kLocal:
            return Fail(message, btr::kStatusFileNotFound,
                        folder + " holds no " + kServerFolderFileName + " naming its server");
        case FolderKind::kUnreadable: break;
    }
    return Fail(message, btr::kStatusIoError, Join(folder, kServerFolderFileName) + ": " + problem);
}

// Every plain file of the folder, in name order.
std::vector<std::string> FolderFiles(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        if (entry.is_regular_file(error)) names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Files that are never data files: the folder's settings, SQLite's journals, new files still
// being written, the library's lock file and index log.
bool IsOwnFile(const std::string& name) {
    return name.rfind(kServerFolderFileName, 0) == 0 || EndsWith(name, "-wal") || EndsWith(name, "-shm") ||
           EndsWith(name, "-journal") || SqliteFile::IsNewFileInTheMaking(name) || name == "~ty~.loc" ||
           Upper(name) == "TYSUPIDX.LOG";
}

int16_t TakeExclusively(Source& source, std::string* message) {
    int16_t status = source.file->AcquireExclusiveOpen();
    if (status == btr::kStatusSuccess) return status;
    return Fail(message, status,
                source.name + " is open in another process (status " + std::to_string(status) +
                    "); close it everywhere, then move again");
}

}  // namespace

// ---- To the server ---------------------------------------------------------------------------

namespace {

int16_t CheckNotOnServer(const ServerFolder& server, const Source& source, std::string* message) {
    int32_t id = 0;
    int64_t generation = 0;
    bool found = false;
    int16_t status = FindServerFile(*PgSession::For(server), ServerFileName(source.path), &id, &generation, &found);
    if (status != btr::kStatusSuccess) {
        return Fail(message, status, "the server cannot be asked about " + source.name + ServerWords(server));
    }
    if (!found) return btr::kStatusSuccess;
    return Fail(message, btr::kStatusFileAlreadyExists,
                "the server already has a file " + ServerFileName(source.path) + " in schema " + server.schema + ": " +
                    source.name + " is on both sides; nothing was moved");
}

// Opens every SQLite data file of the folder exclusively; files that are no data files of ours
// stay where they are.
int16_t OpenLocalSources(const std::string& folder, const ServerFolder& server, std::vector<Source>* sources,
                         std::string* message) {
    for (const std::string& name : FolderFiles(folder)) {
        if (IsOwnFile(name)) continue;
        Source source{name, Join(folder, name), nullptr};
        FileKey key;
        if (platform::IdentifyFile(source.path.c_str(), &key.local) != platform::FileStatus::kOk) continue;
        int16_t status = SqliteFile::Open(source.path, key, &source.file);
        if (status == btr::kStatusNotABtrieveFile) continue;
        if (status == btr::kStatusFileInUse) status = btr::kStatusIncompatibleMode;
        if (status == btr::kStatusIncompatibleMode) {
            return Fail(message, status, name + " is open in another process; close it everywhere, then move again");
        }
        if (status != btr::kStatusSuccess) return Fail(message, status, name + " cannot be opened");
        if ((status = TakeExclusively(source, message)) != btr::kStatusSuccess) return status;
        if ((status = CheckNotOnServer(server, source, message)) != btr::kStatusSuccess) return status;
        sources->push_back(std::move(source));
    }
    return btr::kStatusSuccess;
}

// Drops a copy made by this move; false when the server keeps it.
bool RemoveServerCopy(const ServerFolder& server, const std::string& name) {
    // The folder's session lives as long as someone holds it: this call does, until it is done.
    std::shared_ptr<PgSession> session = PgSession::For(server);
    if (session->Begin() != btr::kStatusSuccess) return false;
    if (RemoveServerFile(*session, name) == btr::kStatusSuccess) return session->Commit() == btr::kStatusSuccess;
    session->RollBack();
    return false;
}

// Opens the server's copy and compares it with the source.
int16_t VerifyServerCopy(const ServerFolder& server, Source& source, std::string* message) {
    DataFileLocation where;
    std::unique_ptr<FileConnection> copy;
    int16_t status = LocateDataFile(source.path, &where);
    if (status == btr::kStatusSuccess) status = PgFile::Open(server, source.path, where.key, &copy);
    std::string problem = "it cannot be opened (status " + std::to_string(status) + ")";
    if (status == btr::kStatusSuccess && VerifyCopy(*source.file, *copy, &problem)) return status;
    return Fail(message, btr::kStatusIoError, source.name + ": the server's copy was not faithful (" + problem + ")");
}

// Moves the source out of the folder into the backup folder, never over an earlier backup.
int16_t SetAside(const std::string& folder, const std::string& name, std::string* message) {
    std::error_code error;
    const std::string backup = Join(folder, kMovedToServerFolder);
    fs::create_directories(backup, error);
    std::string target = Join(backup, name);
    for (int n = 1; fs::exists(target, error); ++n) target = Join(backup, name + "." + std::to_string(n));
    fs::rename(Join(folder, name), target, error);
    if (error)
        return Fail(message, btr::kStatusIoError, name + " could not be moved to " + backup + ": " + error.message());
    for (const char* suffix : {"-wal", "-shm"}) {
        std::string side = Join(folder, name) + suffix;
        if (fs::exists(side, error)) fs::rename(side, target + suffix, error);
    }
    return btr::kStatusSuccess;
}

// Copies one source to the server and verifies the copy. A copy that failed is removed.
int16_t CopyOneToServer(const ServerFolder& server, Source& source, MovedFile* moved, std::string* message) {
    auto start = std::chrono::steady_clock::now();
    std::unique_ptr<FileLoader> loader;
    int16_t status = PgLoader::Create(server, ServerFileName(source.path), source.file->Def(), &loader);
    if (status == btr::kStatusSuccess) status = CopyFileContents(*source.file, *loader, &moved->records);
    // The server's words, before the loader's rollback speaks over them.
    const std::string words =
        status != btr::kStatusSuccess && loader != nullptr ? Words(loader->Problem()) : std::string();
    loader.reset();
    if (status != btr::kStatusSuccess) {
        Fail(message, status,
             source.name + ": the copy to the server failed (status " + std::to_string(status) + words + ")");
    } else {
        status = VerifyServerCopy(server, source, message);
    }
    if (status != btr::kStatusSuccess) {
        if (!RemoveServerCopy(server, ServerFileName(source.path))) *message += "; the server keeps its copy";
        return status;
    }
    moved->name = source.name;
    moved->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return btr::kStatusSuccess;
}

}  // namespace

int16_t MoveFolderToServer(const std::string& folder, const MoveReport& report, std::string* message) {
    ServerFolder server;
    if (int16_t status = ReadFolder(folder, &server, message); status != btr::kStatusSuccess) return status;
    std::vector<Source> sources;
    if (int16_t status = OpenLocalSources(folder, server, &sources, message); status != btr::kStatusSuccess) {
        return status;
    }
    // All or nothing: every file is copied and verified before the first source is set aside,
    // so a failure leaves the folder as it was, never half served.
    std::vector<MovedFile> moved(sources.size());
    for (size_t i = 0; i < sources.size(); ++i) {
        if (int16_t status = CopyOneToServer(server, sources[i], &moved[i], message); status != btr::kStatusSuccess) {
            *message += "; nothing was moved, every file stays in the folder";
            for (size_t j = 0; j < i; ++j) {
                if (!RemoveServerCopy(server, ServerFileName(sources[j].path))) {
                    *message += " (the server keeps a copy of " + sources[j].name + ": drop it before moving again)";
                }
            }
            return status;
        }
    }
    for (size_t i = 0; i < sources.size(); ++i) {
        sources[i].file.reset();
        if (int16_t status = SetAside(folder, sources[i].name, message); status != btr::kStatusSuccess) {
            *message += " (the server has every file; the files before it were set aside)";
            return status;
        }
        if (report) report(moved[i]);
    }
    return btr::kStatusSuccess;
}

// ---- Back from the server --------------------------------------------------------------------

namespace {

// Opens every server file of the folder exclusively; none may have a namesake in the folder.
int16_t OpenServerSources(const std::string& folder, const ServerFolder& server, std::vector<Source>* sources,
                          std::string* message) {
    std::vector<std::string> names;
    if (int16_t status = ListServerFiles(*PgSession::For(server), &names); status != btr::kStatusSuccess) {
        return Fail(message, status, "the server's files cannot be listed" + ServerWords(server));
    }
    const std::vector<std::string> local = FolderFiles(folder);
    for (const std::string& name : names) {
        for (const std::string& present : local) {
            if (Upper(present) != name) continue;
            return Fail(message, btr::kStatusFileAlreadyExists,
                        "the folder holds " + present + " and the server a file " + name +
                            ": the file is on both sides; nothing was moved");
        }
        Source source{name, Join(folder, name), nullptr};
        DataFileLocation where;
        int16_t status = LocateDataFile(source.path, &where);
        if (status == btr::kStatusSuccess) status = PgFile::Open(server, source.path, where.key, &source.file);
        if (status == btr::kStatusFileInUse) {
            return Fail(message, btr::kStatusIncompatibleMode,
                        name + " is open in another process; close it everywhere, then move again");
        }
        if (status != btr::kStatusSuccess)
            return Fail(message, status, name + " cannot be opened" + ServerWords(server));
        if ((status = TakeExclusively(source, message)) != btr::kStatusSuccess) return status;
        sources->push_back(std::move(source));
    }
    return btr::kStatusSuccess;
}

// Copies one server file into a new SQLite file of the folder and verifies it; a copy that
// fails is deleted.
int16_t CopyOneBack(Source& source, MovedFile* moved, std::string* message) {
    auto start = std::chrono::steady_clock::now();
    std::unique_ptr<FileLoader> loader;
    int16_t status = SqliteLoader::Create(source.path, source.file->Def(), &loader);
    if (status == btr::kStatusSuccess) status = CopyFileContents(*source.file, *loader, &moved->records);
    std::string problem = "status " + std::to_string(status);
    if (status != btr::kStatusSuccess && loader != nullptr) problem += Words(loader->Problem());
    loader.reset();
    std::unique_ptr<FileConnection> copy;
    FileKey key;
    if (status == btr::kStatusSuccess &&
        platform::IdentifyFile(source.path.c_str(), &key.local) != platform::FileStatus::kOk) {
        status = btr::kStatusIoError;
    }
    if (status == btr::kStatusSuccess) status = SqliteFile::Open(source.path, key, &copy);
    if (status == btr::kStatusSuccess && VerifyCopy(*source.file, *copy, &problem)) {
        moved->name = source.name;
        moved->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return status;
    }
    copy.reset();
    DeleteDatabase(source.path);
    return Fail(message, status != btr::kStatusSuccess ? status : btr::kStatusIoError,
                source.name + ": the copy from the server failed (" + problem + "); the server keeps every file");
}

int16_t DropServerFiles(const ServerFolder& server, const std::vector<Source>& sources, std::string* message) {
    std::shared_ptr<PgSession> session = PgSession::For(server);
    int16_t status = session->Begin();
    for (size_t i = 0; status == btr::kStatusSuccess && i < sources.size(); ++i) {
        status = RemoveServerFile(*session, sources[i].name);
    }
    if (status == btr::kStatusSuccess)
        status = session->Commit();
    else
        session->RollBack();
    if (status == btr::kStatusSuccess) return status;
    return Fail(message, status, "the server's files could not be dropped" + ServerWords(server));
}

}  // namespace

int16_t MoveFolderBack(const std::string& folder, const MoveReport& report, std::string* message) {
    ServerFolder server;
    if (int16_t status = ReadFolder(folder, &server, message); status != btr::kStatusSuccess) return status;
    std::vector<Source> sources;
    if (int16_t status = OpenServerSources(folder, server, &sources, message); status != btr::kStatusSuccess) {
        return status;
    }
    std::vector<MovedFile> moved(sources.size());
    for (size_t i = 0; i < sources.size(); ++i) {
        if (int16_t status = CopyOneBack(sources[i], &moved[i], message); status != btr::kStatusSuccess) {
            // All or nothing: the folder must not hold copies of files the server still serves.
            for (size_t j = 0; j < i; ++j) DeleteDatabase(sources[j].path);
            return status;
        }
    }
    if (int16_t status = DropServerFiles(server, sources, message); status != btr::kStatusSuccess) {
        for (const Source& source : sources) DeleteDatabase(source.path);
        return status;
    }
    sources.clear();
    std::error_code error;
    const std::string settings = Join(folder, kServerFolderFileName);
    fs::rename(settings, settings + kMovedBackSuffix, error);
    if (error) return Fail(message, btr::kStatusIoError, settings + " could not be renamed: " + error.message());
    if (report) {
        for (const MovedFile& file : moved) report(file);
    }
    return btr::kStatusSuccess;
}

// ---- A new served folder ---------------------------------------------------------------------

int16_t InitServerFolder(const std::string& folder, const std::string& connection, const std::string& schema,
                         bool replace, std::string* message) {
    ServerFolder server;
    std::string problem;
    const std::string text = "connection = " + connection + "\nschema = " + schema + "\n";
    if (connection.find_first_of("\r\n") != std::string::npos || !ParseServerFolder(text, &server, &problem)) {
        return Fail(message, btr::kStatusIoError, problem.empty() ? "the connection string is one line" : problem);
    }
    std::error_code error;
    if (!fs::is_directory(folder, error)) return Fail(message, btr::kStatusFileNotFound, folder + " is no folder");
    const std::string settings = Join(folder, kServerFolderFileName);
    if (platform::FileExists(settings.c_str()) && !replace) {
        return Fail(message, btr::kStatusFileAlreadyExists, settings + " already exists");
    }
    std::shared_ptr<PgSession> session = PgSession::Separate(server);
    if (int16_t status = EnsureFolderSchema(*session); status != btr::kStatusSuccess) {
        return Fail(message, status, "the server refused the schema " + schema + ServerWords(*session));
    }
    std::ofstream out(settings, std::ios::binary | std::ios::trunc);
    out << "# The PostgreSQL server that keeps this folder's data files (written by tydb server init).\n" << text;
    out.close();
    if (!out) return Fail(message, btr::kStatusIoError, settings + " could not be written");
    return btr::kStatusSuccess;
}

}  // namespace w3b
