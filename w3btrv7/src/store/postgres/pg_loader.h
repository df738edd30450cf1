// pg_loader.h: a new server file filled with another store's records and key entries, sent with
// COPY in large batches (a round trip per row would make a move wait on the network).
#ifndef W3BTRV7_STORE_POSTGRES_PG_LOADER_H
#define W3BTRV7_STORE_POSTGRES_PG_LOADER_H

#include <memory>
#include <string>

#include "store/file_def.h"
#include "store/file_loader.h"
#include "store/postgres/pg_session.h"
#include "store/server_folder.h"

namespace w3b {

class PgLoader final : public FileLoader {
public:
    // Creates the file `name` of `folder` holding `def`, in a transaction of a session of its
    // own that commits only at Finish. 59 when the folder already has a file of that name.
    static int16_t Create(const ServerFolder& folder, const std::string& name, const FileDef& def,
                          std::unique_ptr<FileLoader>* out);
    ~PgLoader() override;

    int16_t PutRecord(int64_t position, const std::string& data) override;
    int16_t PutEntry(int key, const KeyEntry& entry) override;
    int16_t Finish(int64_t highest) override;
    std::string Problem() const override { return session_ != nullptr ? session_->LastError() : std::string(); }

private:
    PgLoader() = default;
    // Makes the rows that follow go to `target` (records or entries): ends the COPY of the
    // earlier ones and begins one for these.
    int16_t SwitchTo(const std::string& target);
    // Sends the rows gathered so far into the running COPY.
    int16_t Flush();

    std::shared_ptr<PgSession> session_;
    int32_t id_ = 0;
    std::string target_;  // the table and columns of the running COPY, if any
    std::string rows_;    // tuples in COPY's binary form
    bool finished_ = false;
};

}  // namespace w3b

#endif  // W3BTRV7_STORE_POSTGRES_PG_LOADER_H
