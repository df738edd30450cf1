// The administration entry points beside BTRCALL (w3btrv7_admin.h): thin wrappers over the
// stores' folder moves, taking the engine's lock as BTRCALL does.
#include <cstring>
#include <mutex>
#include <string>

#include "admin_answer.h"
#include "ops/engine.h"
#include "store/folder_move.h"
#include "store/server_folder.h"
#include "store/sqlite/share_mode.h"
#include "w3btrv7_admin.h"

using w3b::Answer;

extern "C" BTR_EXPORT int16_t BTR_CALL W3bServerInit(const char* folder, const char* connection, const char* schema,
                                                     int replace, char* message, uint32_t messageSize) {
    std::lock_guard<std::mutex> lock(w3b::Engine::Get().Mutex());
    if (folder == nullptr || connection == nullptr || schema == nullptr) {
        return Answer(btr::kStatusInvalidOperation, "a folder, a connection and a schema are needed", message,
                      messageSize);
    }
    std::string text;
    int16_t status = w3b::InitServerFolder(folder, connection, schema, replace != 0, &text);
    return Answer(status, text, message, messageSize);
}

extern "C" BTR_EXPORT int16_t BTR_CALL W3bServerMove(const char* folder, int direction, W3bMoveReport report,
                                                     void* context, char* message, uint32_t messageSize) {
    std::lock_guard<std::mutex> lock(w3b::Engine::Get().Mutex());
    if (folder == nullptr || (direction != W3B_MOVE_TO_SERVER && direction != W3B_MOVE_BACK)) {
        return Answer(btr::kStatusInvalidOperation, "a folder and a direction are needed", message, messageSize);
    }
    w3b::MoveReport each = [&](const w3b::MovedFile& moved) {
        if (report == nullptr) return;
        W3bMovedFile file{moved.name.c_str(), moved.records, moved.seconds};
        report(context, &file);
    };
    std::string text;
    int16_t status = direction == W3B_MOVE_TO_SERVER ? w3b::MoveFolderToServer(folder, each, &text)
                                                     : w3b::MoveFolderBack(folder, each, &text);
    return Answer(status, text, message, messageSize);
}

extern "C" BTR_EXPORT int16_t BTR_CALL W3bFileStoreOf(const char* path, W3bFileStore* store, char* message,
                                                      uint32_t messageSize) {
    if (path == nullptr || path[0] == '\0' || store == nullptr) {
        return Answer(btr::kStatusInvalidOperation, "a path and a place for the answer are needed", message,
                      messageSize);
    }
    *store = W3bFileStore{};
    w3b::ServerFolder folder;
    std::string problem;
    switch (w3b::FindServerFolder(path, &folder, &problem)) {
        case w3b::FolderKind::kLocal: {
            const w3b::ShareModeChoice choice = w3b::ChooseShareMode(path);
            store->store = choice.mode == w3b::ShareMode::kNetworkShare ? W3B_STORE_SQLITE_SHARED : W3B_STORE_SQLITE;
            return Answer(0, choice.reason, message, messageSize);
        }
        case w3b::FolderKind::kUnreadable: return Answer(btr::kStatusIoError, problem, message, messageSize);
        case w3b::FolderKind::kServer: break;
    }
    const std::string name = w3b::ServerFileName(path);
    if (folder.schema.size() >= sizeof store->schema || name.size() >= sizeof store->name) {
        return Answer(btr::kStatusDataLengthError, "the schema or the file name is too long", message, messageSize);
    }
    store->store = W3B_STORE_SERVER;
    std::memcpy(store->schema, folder.schema.c_str(), folder.schema.size() + 1);
    std::memcpy(store->name, name.c_str(), name.size() + 1);
    return Answer(0, "", message, messageSize);
}
