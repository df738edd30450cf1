#include "store/postgres/pg_loader.h"

#include "store/postgres/pg_schema.h"

namespace w3b {

namespace {

// Rows gathered before they go to the server: large sends, bounded memory.
constexpr size_t kCopyBatchBytes = size_t{256} << 10;

void PutNumber(std::string* out, uint64_t value, int width) {
    for (int i = width - 1; i >= 0; --i) out->push_back(static_cast<char>(value >> (8 * i)));
}

// A field of COPY's binary form: its length, then its bytes (integers big-endian).
void PutField(std::string* out, uint64_t value, int width) {
    PutNumber(out, static_cast<uint64_t>(width), 4);
    PutNumber(out, value, width);
}

void PutField(std::string* out, const std::string& bytes) {
    PutNumber(out, bytes.size(), 4);
    out->append(bytes);
}

}  // namespace

int16_t PgLoader::Create(const ServerFolder& folder, const std::string& name, const FileDef& def,
                         std::unique_ptr<FileLoader>* out) {
    std::unique_ptr<PgLoader> loader(new PgLoader());
    loader->session_ = PgSession::Separate(folder);
    PgSession& session = *loader->session_;
    if (int16_t status = EnsureFolderSchema(session); status != btr::kStatusSuccess) return status;
    if (int16_t status = session.Begin(); status != btr::kStatusSuccess) return status;
    int32_t id = 0;
    int64_t generation = 0;
    bool found = false;
    if (int16_t status = FindServerFile(session, name, &id, &generation, &found); status != btr::kStatusSuccess) {
        return status;
    }
    if (found) return btr::kStatusFileAlreadyExists;
    if (int16_t status = WriteServerFile(session, name, def, IfExists::kRefuse, &loader->id_);
        status != btr::kStatusSuccess) {
        return status;
    }
    *out = std::move(loader);
    return btr::kStatusSuccess;
}

PgLoader::~PgLoader() {
    // The file's row and every row sent go with the transaction.
    if (finished_ || session_ == nullptr || !session_->Connected()) return;
    if (!target_.empty()) session_->EndCopy();
    session_->RollBack();
}

int16_t PgLoader::SwitchTo(const std::string& target) {
    int16_t status = Flush();
    if (status == btr::kStatusSuccess && !target_.empty()) status = session_->EndCopy();
    target_.clear();
    if (status == btr::kStatusSuccess && !target.empty()) status = session_->BeginCopy(target);
    if (status == btr::kStatusSuccess) target_ = target;
    return status;
}

int16_t PgLoader::Flush() {
    if (rows_.empty()) return btr::kStatusSuccess;
    int16_t status = session_->CopyRows(rows_);
    rows_.clear();
    return status;
}

int16_t PgLoader::PutRecord(int64_t position, const std::string& data) {
    const std::string target = session_->Schema() + ".w3b_record(file, position, data)";
    int16_t status = target_ != target ? SwitchTo(target) : rows_.size() >= kCopyBatchBytes ? Flush() : 0;
    if (status != btr::kStatusSuccess) return status;
    PutNumber(&rows_, 3, 2);
    PutField(&rows_, static_cast<uint32_t>(id_), 4);
    PutField(&rows_, static_cast<uint64_t>(position), 8);
    PutField(&rows_, data);
    return btr::kStatusSuccess;
}

int16_t PgLoader::PutEntry(int key, const KeyEntry& entry) {
    const std::string target = session_->Schema() + ".w3b_entry(file, key, value, seq, position)";
    int16_t status = target_ != target ? SwitchTo(target) : rows_.size() >= kCopyBatchBytes ? Flush() : 0;
    if (status != btr::kStatusSuccess) return status;
    PutNumber(&rows_, 5, 2);
    PutField(&rows_, static_cast<uint32_t>(id_), 4);
    PutField(&rows_, static_cast<uint16_t>(key), 2);
    PutField(&rows_, entry.value);
    PutField(&rows_, static_cast<uint64_t>(entry.sequence), 8);
    PutField(&rows_, static_cast<uint64_t>(entry.position), 8);
    return btr::kStatusSuccess;
}

int16_t PgLoader::Finish(int64_t highest) {
    if (int16_t status = SwitchTo(std::string()); status != btr::kStatusSuccess) return status;
    // The sequence goes on after the highest position the source gave, so no position is
    // ever given twice.
    if (highest > 0) {
        PgParams params;
        params.Int8(highest);
        if (int16_t status = session_->Run("SELECT setval('" + PositionSequence(*session_, id_) + "', $1)", params);
            status != btr::kStatusSuccess) {
            return status;
        }
    }
    int16_t status = session_->Commit();
    finished_ = status == btr::kStatusSuccess;
    return status;
}

}  // namespace w3b
