// Opening and creating server files, their definitions, writes and transactions.
#include "store/postgres/pg_file.h"

#include <cstdlib>
#include <utility>

#include "store/postgres/pg_schema.h"

namespace w3b {

namespace {

// How long a write waits for another workstation's write before it answers 85, as in every store.
constexpr char kSetBusyTimeout[] = "SET LOCAL lock_timeout = '10000ms'";

}  // namespace

PgFile::~PgFile() {
    if (inTransaction_) EndTransaction(Outcome::kRollBack);
    if (locks_ != nullptr) locks_->ReleaseAll();
    // The folder's connection may stay for other files: this file's open locks go now.
    while (exclusiveOpens_ > 0) ReleaseExclusiveOpen();
    if (id_ != 0 && session_ != nullptr && session_->Connected() && session_->ConnectionNumber() == connectionNumber_) {
        PgParams params = Params();
        session_->Run("SELECT pg_advisory_unlock_shared($1, 0)", params);
    }
}

int16_t PgFile::Open(const ServerFolder& folder, const std::string& path, const FileKey& key,
                     std::unique_ptr<FileConnection>* out) {
    std::unique_ptr<PgFile> file(new PgFile());
    file->session_ = PgSession::For(folder);
    file->path_ = path;
    file->key_ = key;
    bool found = false;
    int32_t id = 0;
    int64_t generation = 0;
    if (int16_t status = FindServerFile(*file->session_, ServerFileName(path), &id, &generation, &found);
        status != btr::kStatusSuccess) {
        return status;
    }
    if (!found) return btr::kStatusFileNotFound;
    file->id_ = id;
    file->locks_ = std::make_unique<AdvisoryLocks>(*file->session_, id);
    if (int16_t status = file->TakeOpenLock(); status != btr::kStatusSuccess) {
        file->id_ = 0;
        return status;
    }
    file->serverGeneration_ = generation;
    if (int16_t status = file->LoadDefinition(); status != btr::kStatusSuccess) return status;
    *out = std::move(file);
    return btr::kStatusSuccess;
}

int16_t PgFile::Create(const ServerFolder& folder, const std::string& name, const FileDef& def, IfExists ifExists) {
    // Create is no part of the process's transaction: inside one it has a connection of its own.
    std::shared_ptr<PgSession> session = PgSession::For(folder);
    if (session->InServerTransaction()) session = PgSession::Separate(folder);
    if (int16_t status = EnsureFolderSchema(*session); status != btr::kStatusSuccess) {
        return status == btr::kStatusSessionNoLongerValid ? status : btr::kStatusCreateIoError;
    }
    if (int16_t status = session->Begin(); status != btr::kStatusSuccess) return status;
    int16_t status = WriteServerFile(*session, name, def, ifExists);
    if (status != btr::kStatusSuccess) {
        session->RollBack();
        return status;
    }
    return session->Commit();
}

int16_t PgFile::Exists(const ServerFolder& folder, const std::string& name, bool* exists) {
    int32_t id = 0;
    int64_t generation = 0;
    return FindServerFile(*PgSession::For(folder), name, &id, &generation, exists);
}

int16_t PgFile::LoadDefinition() {
    std::unique_ptr<FileDef> def;
    if (int16_t status = ReadServerDefinition(*session_, id_, &def); status != btr::kStatusSuccess) return status;
    def_ = std::move(def);
    ++definitionGeneration_;
    return btr::kStatusSuccess;
}

int16_t PgFile::TakeOpenLock() {
    // Every open holds the file's open lock shared; an exclusive open or a Create holds it alone.
    PgParams params = Params();
    PgResult result;
    if (int16_t status = session_->Run("SELECT pg_try_advisory_lock_shared($1, 0)", params, &result);
        status != btr::kStatusSuccess) {
        return status;
    }
    if (!result.Bool(0, 0)) return btr::kStatusFileInUse;
    connectionNumber_ = session_->ConnectionNumber();
    if (exclusiveOpens_ > 0) {
        if (int16_t status = session_->Run("SELECT pg_try_advisory_lock($1, 0)", params, &result);
            status != btr::kStatusSuccess) {
            return status;
        }
        if (!result.Bool(0, 0)) return btr::kStatusIncompatibleMode;
    }
    return btr::kStatusSuccess;
}

int16_t PgFile::Reattach() {
    // A transaction this file had joined ended with the old connection; ending it answers 95
    // (the session's record of how it ended), never a commit.
    locks_->Forget();
    int16_t status = TakeOpenLock();
    // Until the open lock is held again, other processes may have taken the file: this call
    // answers that the session is gone, and so does every call until the lock is back.
    return status == btr::kStatusSuccess ? status : btr::kStatusSessionNoLongerValid;
}

int16_t PgFile::Refresh() {
    // A batch that lost its connection before anything waited for its answers answers now.
    if (int16_t status = session_->TakeSendFailure(); status != btr::kStatusSuccess) return status;
    if (int16_t status = session_->EnsureConnected(); status != btr::kStatusSuccess) return status;
    if (session_->ConnectionNumber() != connectionNumber_) {
        if (int16_t status = Reattach(); status != btr::kStatusSuccess) return status;
    }
    if (definitionStale_ || def_ == nullptr) return ReadDefinitionIfChanged();
    // Inside the process's transaction this file holds its row: nobody changes the definition.
    checkDefinition_ = !inTransaction_;
    return btr::kStatusSuccess;
}

int16_t PgFile::ReadDefinitionIfChanged() {
    checkDefinition_ = false;
    definitionStale_ = false;
    PgParams params = Params();
    PgResult result;
    if (int16_t status =
            session_->Run("SELECT generation FROM " + Table("w3b_file") + " WHERE id = $1", params, &result);
        status != btr::kStatusSuccess) {
        return status;
    }
    if (result.Rows() != 1) return btr::kStatusIoError;
    int64_t generation = result.Int(0, 0);
    if (generation == serverGeneration_ && def_ != nullptr) return btr::kStatusSuccess;
    serverGeneration_ = generation;
    return LoadDefinition();
}

int16_t PgFile::ConfirmDefinition() {
    if (!checkDefinition_) return btr::kStatusSuccess;
    checkDefinition_ = false;
    PgParams check = Params();
    check.Int8(serverGeneration_);
    return NoteDefinitionMoved(session_->Run(DefinitionCheck(FileRow::kRead), check)) == kStatusDefinitionMoved
               ? kStatusDefinitionMoved
               : btr::kStatusSuccess;
}

const std::string& PgFile::DefinitionCheck(FileRow row) {
    // Holding a record, the lock on it comes first, so that a record another process has locked
    // answers 84 whatever else the check finds.
    const auto lock = static_cast<size_t>(row);
    return Text(kTextDefinitionCheck + lock,
                [&] {
                    std::string hold = row == FileRow::kTakeAtOnceHoldingRecord
                                           ? AdvisoryLocks::WriteHoldCondition("$3") + " AND "
                                           : std::string();
                    return "SELECT " + hold + "w3btrv7.expect(generation = $2, '" +
                           std::string(kSqlStateDefinitionMoved) + "') FROM " + Table("w3b_file") + " WHERE id = $1" +
                           (row == FileRow::kRead ? "" : " FOR UPDATE NOWAIT");
                })
        .plain;
}

int16_t PgFile::Run(StatementText& text, PgParams& params, PgResult* result) {
    const std::string& sql = text.plain;
    if (!checkDefinition_) return session_->Run(sql, params, result);
    checkDefinition_ = false;
    if (sql.compare(0, 7, "SELECT ") != 0) {
        // Not a read: the check is a statement of its own before it, in the same round trip.
        PgParams check = Params();
        check.Int8(serverGeneration_);
        session_->Send(DefinitionCheck(FileRow::kRead), check,
                       [this](int16_t status, PgResult&) { return NoteDefinitionMoved(status); });
        return session_->Run(sql, params, result);
    }
    // The read itself answers the file's generation, read on the read's own snapshot: one
    // unchanged then was unchanged while the read ran. Without rows it answers one of nulls.
    if (text.checked.empty()) {
        text.checked = "SELECT q.*, f.generation FROM " + Table("w3b_file") + " f LEFT JOIN LATERAL (" + sql +
                       ") q ON true WHERE f.id = $1";
    }
    PgResult read;
    int16_t status = session_->Run(text.checked, params, &read);
    if (status != btr::kStatusSuccess) return status;
    if (read.Rows() < 1) return btr::kStatusIoError;
    if (read.Int(0, read.Columns() - 1) != serverGeneration_) return NoteDefinitionMoved(kStatusDefinitionMoved);
    if (read.IsNull(0, 0)) read.TreatAsEmpty();
    if (result != nullptr) *result = std::move(read);
    return btr::kStatusSuccess;
}

int16_t PgFile::Write(const std::string& sql, PgParams& params, PgSession::Answer answer) {
    if (!answer) answer = [](int16_t status, PgResult&) { return status; };
    if (deferring_) return session_->Send(sql, params, std::move(answer));
    PgResult result;
    int16_t status = Run(sql, params, &result);
    return answer(status, result);
}

int16_t PgFile::AcquireExclusiveOpen() {
    if (exclusiveOpens_ == 0) {
        // This session's own shared open lock does not stand in the way, others' do.
        PgParams params = Params();
        PgResult result;
        if (int16_t status = session_->Run("SELECT pg_try_advisory_lock($1, 0)", params, &result);
            status != btr::kStatusSuccess) {
            return status;
        }
        if (!result.Bool(0, 0)) return btr::kStatusIncompatibleMode;
    }
    ++exclusiveOpens_;
    return btr::kStatusSuccess;
}

void PgFile::ReleaseExclusiveOpen() {
    if (exclusiveOpens_ <= 0 || --exclusiveOpens_ > 0) return;
    PgParams params = Params();
    session_->Run("SELECT pg_advisory_unlock($1, 0)", params);
}

// ---- The file's row: writers take turns on it -----------------------------------------------

int16_t PgFile::TryLockFileRow(bool insideServerTransaction, bool wait, int64_t hold, bool* changed) {
    // One round trip: the transaction (or the savepoint inside one) begins, takes the record the
    // write holds (`hold`, a record lock's tag; 0 for none), which it keeps while it waits, and
    // takes the row, or learns that another writer has it. The id and the tag are numbers, so
    // they go into the text.
    std::string holdSql =
        hold == 0 ? std::string() : "SELECT " + AdvisoryLocks::WriteHoldCondition(std::to_string(hold)) + "; ";
    std::string sql = std::string(insideServerTransaction ? "SAVEPOINT w3b_lock; " : "BEGIN; ") +
                      (wait ? std::string(kSetBusyTimeout) + "; " : std::string()) + holdSql +
                      "SELECT generation FROM " + Table("w3b_file") + " WHERE id = " + std::to_string(id_) +
                      " FOR UPDATE" + (wait ? "" : " NOWAIT");
    std::string value;
    bool found = false;
    if (int16_t status = session_->ExecuteForValue(sql, &value, &found); status != btr::kStatusSuccess) return status;
    if (!found) return btr::kStatusIoError;
    int64_t generation = std::strtoll(value.c_str(), nullptr, 10);
    *changed = generation != serverGeneration_;
    serverGeneration_ = generation;
    return btr::kStatusSuccess;
}

int16_t PgFile::LockFileRow(bool insideServerTransaction) {
    // Inside a server transaction a refused lock must not spoil what the transaction holds.
    auto undo = [&] {
        if (!insideServerTransaction)
            session_->RollBack();
        else if (session_->Connected())
            session_->Execute("ROLLBACK TO SAVEPOINT w3b_lock; RELEASE SAVEPOINT w3b_lock");
    };
    checkDefinition_ = false;
    bool changed = false;
    const int64_t hold = locks_->TakeWriteHold();
    int16_t status = TryLockFileRow(insideServerTransaction, false, hold, &changed);
    if (status == btr::kStatusFileInUse && writeWait_) {
        undo();
        // Another process's exclusive transaction keeps the file until it ends: 85 at once.
        if ((status = locks_->CheckFileFree(LockWait::kAnswerAtOnce)) != btr::kStatusSuccess) return status;
        status = TryLockFileRow(insideServerTransaction, true, hold, &changed);
    }
    // While this call waited, another process may have added or dropped a key; the write must
    // see the keys the file has now.
    if (status == btr::kStatusSuccess && changed) status = LoadDefinition();
    if (status != btr::kStatusSuccess) {
        if (status != btr::kStatusSessionNoLongerValid) undo();
        return status;
    }
    return insideServerTransaction ? session_->Execute("RELEASE SAVEPOINT w3b_lock") : btr::kStatusSuccess;
}

int16_t PgFile::SendBeginWrite() {
    checkDefinition_ = false;
    deferring_ = true;
    // One statement takes the file's row. The write runs on the definition this process has:
    // one changed meanwhile makes the server skip the write, and the call runs again on the new
    // one. The row is asked for at once, the cheaper statement: a write that may wait and finds
    // it busy runs again too, waiting for it from the start (Begin).
    // The record an Update or Delete holds is locked by the same statement.
    PgParams check = Params();
    check.Int8(serverGeneration_);
    const int64_t hold = locks_->TakeWriteHold();
    if (hold != 0) check.Int8(hold);
    int16_t status = session_->Send("BEGIN");
    if (status == btr::kStatusSuccess) {
        const FileRow row = hold != 0 ? FileRow::kTakeAtOnceHoldingRecord : FileRow::kTakeAtOnce;
        status = session_->Send(DefinitionCheck(row), check, [this](int16_t answer, PgResult&) {
            if (answer == btr::kStatusFileInUse && writeWait_)
                answer = kStatusDefinitionMoved;
            else
                NoteDefinitionMoved(answer);
            takeRowFirst_ = answer == kStatusDefinitionMoved;
            return answer;
        });
    }
    if (status != btr::kStatusSuccess) deferring_ = false;
    return status;
}

int16_t PgFile::Begin() {
    if (inTransaction_) {
        if (!session_->InServerTransaction() || session_->TransactionNumber() != joinedTransaction_) {
            return btr::kStatusTransactionError;
        }
        int16_t status = session_->Execute("SAVEPOINT w3b_operation");
        return status == btr::kStatusSuccess ? locks_->SendWriteHold() : status;
    }
    // A write that found the definition changed runs again holding the file's row from the
    // start, so that it cannot change again under it while others keep changing it; one that
    // found the row busy runs again waiting for it (or answers 85 at once for another process's
    // exclusive transaction).
    if (takeRowFirst_) {
        takeRowFirst_ = false;
        return LockFileRow(false);
    }
    return SendBeginWrite();
}

int16_t PgFile::Commit() {
    int16_t status;
    if (inTransaction_) {
        status = session_->Execute("RELEASE SAVEPOINT w3b_operation");
        if (status != btr::kStatusSuccess) Rollback();
    } else if (deferring_) {
        deferring_ = false;
        status = session_->Send("COMMIT");
        if (status == btr::kStatusSuccess) status = session_->Flush();
        if (status != btr::kStatusSuccess) session_->RollBackSent();
    } else {
        status = session_->Commit();
    }
    if (status != btr::kStatusSuccess || !redefining_) return status;
    redefining_ = false;
    return ReadDefinitionIfChanged();
}

void PgFile::Rollback() {
    redefining_ = false;
    deferring_ = false;
    locks_->ForgetWriteHold();
    // Without a connection the server rolled back with it; the caller has its status already.
    if (!session_->Connected()) return session_->RollBackSent();
    if (inTransaction_) {
        session_->Execute("ROLLBACK TO SAVEPOINT w3b_operation; RELEASE SAVEPOINT w3b_operation");
    } else {
        session_->RollBack();
    }
}

int16_t PgFile::JoinTransaction() {
    if (inTransaction_) return btr::kStatusSuccess;
    bool began = !session_->InServerTransaction();
    if (began) {
        if (int16_t status = session_->BeginServerTransaction(); status != btr::kStatusSuccess) return status;
    }
    int16_t status = LockFileRow(true);
    if (status != btr::kStatusSuccess) {
        if (began) session_->EndServerTransaction(Outcome::kRollBack);
        return status;
    }
    inTransaction_ = true;
    joinedTransaction_ = session_->TransactionNumber();
    return btr::kStatusSuccess;
}

int16_t PgFile::EndTransaction(Outcome outcome) {
    if (!inTransaction_) return btr::kStatusSuccess;
    inTransaction_ = false;
    locks_->UnlockFile();
    // The first file of the folder to end its part ends the server transaction for them all;
    // the others learn how it ended.
    if (session_->TransactionNumber() != joinedTransaction_) return btr::kStatusTransactionError;
    return session_->EndServerTransaction(outcome);
}

// ---- Definition changes ------------------------------------------------------------------------

int16_t PgFile::AddKey(int number, const std::vector<BtrKeySpec>& specs, const std::vector<AcsBlock>& newAcs) {
    std::unique_ptr<FileDef> next = def_->Copy();
    for (const AcsBlock& block : newAcs) next->acs.push_back(block);
    next->AddKey(number, specs);
    const KeyInfo& key = *next->Key(number);
    redefining_ = true;
    int16_t status = AddServerKey(*session_, id_, number, key.specs, newAcs, def_->acs.size());
    if (status == btr::kStatusSuccess) status = FillServerKey(*session_, id_, key, def_->RecordLength());
    if (status != btr::kStatusSuccess) Rollback();
    return status;
}

int16_t PgFile::DropKey(int number, Renumbering renumbering) {
    redefining_ = true;
    int16_t status = DropServerKey(*session_, id_, *def_, number, renumbering);
    if (status != btr::kStatusSuccess) Rollback();
    return status;
}

int16_t PgFile::SetOwner(const OwnerSeal& owner) {
    redefining_ = true;
    int16_t status = SetServerOwner(*session_, id_, owner);
    if (status != btr::kStatusSuccess) Rollback();
    return status;
}

}  // namespace w3b
