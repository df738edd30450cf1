#include "store/postgres/pg_session.h"

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>

#include "btrcall.h"

namespace w3b {

namespace {

// How long a connection attempt may take before the call answers that the server is out of
// reach, and how long an unanswered server may keep a call (keepalives while idle, the TCP user
// timeout while a statement waits for its answer). They come first, so that the folder's own
// connection string may set them otherwise.
constexpr char kConnectionDefaults[] =
    "connect_timeout=10 keepalives=1 keepalives_idle=10 keepalives_interval=5 keepalives_count=3"
    " tcp_user_timeout=25000 application_name=w3btrv7 ";

uint64_t ReadBigEndian(const char* at, int width) {
    uint64_t value = 0;
    for (int i = 0; i < width; ++i) value = (value << 8) | static_cast<uint8_t>(at[i]);
    return value;
}

std::atomic<uint64_t> roundTrips{0};

std::mutex& RegistryMutex() {
    static std::mutex* mutex = new std::mutex();
    return *mutex;
}

std::map<std::string, std::weak_ptr<PgSession>>& Registry() {
    static auto* sessions = new std::map<std::string, std::weak_ptr<PgSession>>();
    return *sessions;
}

}  // namespace

PgParams::Param& PgParams::Add(unsigned int type, const char* pointer, int length) {
    Param* param;
    if (count_ < kInline) {
        param = &inline_[static_cast<size_t>(count_)];
    } else {
        param = &spilled_.emplace_back();
    }
    ++count_;
    param->type = type;
    param->length = length;
    param->pointer = pointer;
    return *param;
}

PgParams& PgParams::Number(unsigned int type, uint64_t value, int width) {
    std::array<char, 8>& bytes = Add(type, nullptr, width).number;
    for (int i = 0; i < width; ++i) bytes[static_cast<size_t>(i)] = static_cast<char>(value >> (8 * (width - 1 - i)));
    return *this;
}

PgParams& PgParams::Bytes(const void* data, size_t size) {
    // A zero-length value still needs a non-null pointer, or the server reads it as NULL.
    Add(17, size == 0 ? "" : static_cast<const char*>(data), static_cast<int>(size));  // bytea
    return *this;
}

PgParams& PgParams::Text(const std::string& text) {
    Add(25, text.c_str(), static_cast<int>(text.size()));
    return *this;
}

PgResult& PgResult::operator=(PgResult&& other) noexcept {
    if (this != &other) {
        PQclear(result_);
        result_ = other.result_;
        empty_ = other.empty_;
        other.result_ = nullptr;
    }
    return *this;
}

int64_t PgResult::Int(int row, int column) const {
    int width = PQgetlength(result_, row, column);
    uint64_t value = ReadBigEndian(PQgetvalue(result_, row, column), width);
    // Sign-extend the narrower integer types.
    if (width > 0 && width < 8 && (value >> (8 * width - 1)) != 0) value |= ~uint64_t{0} << (8 * width);
    return static_cast<int64_t>(value);
}

void PgResult::Bytes(int row, int column, std::string* out) const {
    out->assign(PQgetvalue(result_, row, column), static_cast<size_t>(PQgetlength(result_, row, column)));
}

uint64_t PgSession::RoundTrips() { return roundTrips.load(); }

std::shared_ptr<PgSession> PgSession::For(const ServerFolder& folder) {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    std::string key = folder.connection + '\n' + folder.schema;
    auto& slot = Registry()[key];
    if (auto existing = slot.lock()) return existing;
    std::shared_ptr<PgSession> session(new PgSession(folder));
    slot = session;
    return session;
}

std::shared_ptr<PgSession> PgSession::Separate(const ServerFolder& folder) {
    return std::shared_ptr<PgSession>(new PgSession(folder));
}

PgSession::PgSession(const ServerFolder& folder) : folder_(folder), quotedSchema_('"' + folder.schema + '"') {}

PgSession::~PgSession() { Disconnect(); }

void PgSession::Disconnect() {
    if (conn_ != nullptr) PQfinish(conn_);
    conn_ = nullptr;
    prepared_.clear();
    // A batch being sent is lost with the connection; its Flush answers so.
    if (!sent_.empty()) sendStatus_ = btr::kStatusSessionNoLongerValid;
    sent_.clear();
    // A server transaction ends with its connection, and nothing in it was kept.
    if (inTransaction_) endedWith_ = btr::kStatusSessionNoLongerValid;
    inTransaction_ = false;
}

int16_t PgSession::EnsureConnected() {
    if (conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK) return btr::kStatusSuccess;
    Disconnect();
    conn_ = PQconnectdb((kConnectionDefaults + folder_.connection).c_str());
    if (conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK) {
        lastError_ = conn_ != nullptr ? PQerrorMessage(conn_) : "out of memory";
        Disconnect();
        return btr::kStatusSessionNoLongerValid;
    }
    ++connectionNumber_;
    // The server's notices (a rollback with nothing to roll back, ...) are no business of the
    // application's standard error.
    PQsetNoticeProcessor(
        conn_, [](void*, const char*) {}, nullptr);
    // Keys compare as bytes whatever the server's locale; a write that waits for another
    // workstation's write gives up after the busy timeout of every store.
    std::string setup = "SET lock_timeout = 0; SET statement_timeout = 0; SET client_min_messages = error";
    if (durable_) setup += "; SET synchronous_commit = on";
    return Execute(setup);
}

int16_t PgSession::StatusOf(PGresult* result) {
    ExecStatusType state = result == nullptr ? PGRES_FATAL_ERROR : PQresultStatus(result);
    if (state == PGRES_COMMAND_OK || state == PGRES_TUPLES_OK) return btr::kStatusSuccess;
    lastError_ = result != nullptr  ? PQresultErrorMessage(result)
                 : conn_ != nullptr ? PQerrorMessage(conn_)
                                    : "no connection";
    if (conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK) {
        Disconnect();
        return btr::kStatusSessionNoLongerValid;
    }
    const char* code = result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    std::string sqlState = code != nullptr ? code : "";
    if (sqlState == "23505") return btr::kStatusDuplicateKey;
    // The record manager's own refusals, raised by w3btrv7.expect inside a batch.
    if (sqlState == kSqlStateNotAsRead) return kStatusRecordNotAsRead;
    if (sqlState == kSqlStateRecordLocked) return btr::kStatusRecordInUse;
    if (sqlState == kSqlStateDefinitionMoved) return kStatusDefinitionMoved;
    if (sqlState == "55P03" || sqlState == "40001") return btr::kStatusFileInUse;
    if (sqlState == "40P01") return btr::kStatusDeadlock;
    if (sqlState == "53100") return btr::kStatusDiskFull;
    if (sqlState.compare(0, 2, "08") == 0 || sqlState.compare(0, 2, "57") == 0) {
        Disconnect();
        return btr::kStatusSessionNoLongerValid;
    }
    return btr::kStatusIoError;
}

int16_t PgSession::Run(const std::string& sql, const PgParams& params, PgResult* result) {
    PgResult ignored;
    Queue(sql, params, nullptr, result != nullptr ? result : &ignored);
    return Flush();
}

int16_t PgSession::Send(const std::string& sql, const PgParams& params, Answer answer) {
    return Queue(sql, params, std::move(answer), nullptr);
}

int16_t PgSession::Queue(const std::string& sql, const PgParams& params, Answer answer, PgResult* result) {
    if (sendStatus_ != btr::kStatusSuccess) return sendStatus_;
    if (sent_.empty()) {
        if (int16_t status = EnsureConnected(); status != btr::kStatusSuccess) return sendStatus_ = status;
        if (PQpipelineStatus(conn_) == PQ_PIPELINE_OFF && PQenterPipelineMode(conn_) != 1) return LostWhileSending();
    }
    LayOut(params);
    auto it = prepared_.find(sql);
    if (it == prepared_.end()) {
        std::string name = "w3b" + std::to_string(++statementNames_);
        if (PQsendPrepare(conn_, name.c_str(), sql.c_str(), params.Count(), paramTypes_.data()) != 1) {
            return LostWhileSending();
        }
        sent_.push_back(Sent{true, sql, nullptr, nullptr});
        it = prepared_.emplace(sql, name).first;
    }
    if (PQsendQueryPrepared(conn_, it->second.c_str(), params.Count(), paramValues_.data(), paramLengths_.data(),
                            paramFormats_.data(), 1) != 1) {
        return LostWhileSending();
    }
    sent_.push_back(Sent{false, std::string(), std::move(answer), result});
    return btr::kStatusSuccess;
}

void PgSession::LayOut(const PgParams& params) {
    const auto count = static_cast<size_t>(params.Count());
    paramTypes_.resize(count);
    paramValues_.resize(count);
    paramLengths_.resize(count);
    paramFormats_.assign(count, 1);  // binary
    for (int i = 0; i < params.Count(); ++i) {
        paramTypes_[static_cast<size_t>(i)] = params.Type(i);
        paramValues_[static_cast<size_t>(i)] = params.Value(i);
        paramLengths_[static_cast<size_t>(i)] = params.Length(i);
    }
}

int16_t PgSession::LostWhileSending() {
    // What was sent of the batch cannot be told apart from what was not: the connection goes,
    // and the server rolls back whatever of it had begun.
    lastError_ = conn_ != nullptr ? PQerrorMessage(conn_) : "no connection";
    Disconnect();
    return sendStatus_ = btr::kStatusSessionNoLongerValid;
}

int16_t PgSession::Flush() {
    int16_t status = sendStatus_;
    sendStatus_ = btr::kStatusSuccess;
    if (sent_.empty()) return status;
    int16_t answered = ReadBatch();
    return status != btr::kStatusSuccess ? status : answered;
}

int16_t PgSession::ReadBatch() {
    ++roundTrips;
    // The batch's items move out, for an answer may send the next batch's first; the vectors
    // keep their room from batch to batch, so that a write allocates none for them.
    std::vector<Sent> batch;
    batch.swap(sent_);
    sent_.swap(spare_);
    if (PQpipelineSync(conn_) != 1) return LostWhileSending();
    int16_t first = btr::kStatusSuccess;
    for (Sent& item : batch) {
        PGresult* raw = PQgetResult(conn_);
        bool skipped = raw != nullptr && PQresultStatus(raw) == PGRES_PIPELINE_ABORTED;
        int16_t status = skipped ? btr::kStatusSuccess : StatusOf(raw);
        PgResult result(raw);
        if (conn_ == nullptr) return first != btr::kStatusSuccess ? first : status;
        PQclear(PQgetResult(conn_));  // the null that ends the statement's results
        if (item.preparation) {
            if (skipped || status != btr::kStatusSuccess) prepared_.erase(item.sql);
        } else if (!skipped) {
            if (item.answer) status = item.answer(status, result);
            if (item.result != nullptr) *item.result = std::move(result);
        }
        if (first == btr::kStatusSuccess) first = status;
    }
    batch.clear();
    spare_.swap(batch);
    // The batch's end: its sync point, after which the connection leaves pipeline mode.
    for (int nulls = 0; nulls < 2;) {
        PGresult* end = PQgetResult(conn_);
        if (end == nullptr) {
            ++nulls;
            continue;
        }
        bool synced = PQresultStatus(end) == PGRES_PIPELINE_SYNC;
        PQclear(end);
        if (synced) break;
    }
    if (PQexitPipelineMode(conn_) != 1) {
        lastError_ = PQerrorMessage(conn_);
        Disconnect();
        return btr::kStatusSessionNoLongerValid;
    }
    return first;
}

void PgSession::RollBackSent() {
    // The answers are for an operation that is giving up: nothing of them is read.
    for (Sent& item : sent_) {
        item.answer = nullptr;
        item.result = nullptr;
    }
    sendStatus_ = btr::kStatusSuccess;
    if (conn_ == nullptr) {
        sent_.clear();
        return;
    }
    Send("ROLLBACK");
    Flush();
    // A statement that failed before it made the server skip the ROLLBACK as well.
    if (conn_ != nullptr && PQtransactionStatus(conn_) != PQTRANS_IDLE) Execute("ROLLBACK");
}

int16_t PgSession::Execute(const std::string& sql) {
    bool found = false;
    return ExecuteForValue(sql, nullptr, &found);
}

int16_t PgSession::ExecuteForValue(const std::string& sql, std::string* value, bool* found) {
    *found = false;
    // Statements sent ahead go first, and their failure is this one's.
    if (int16_t status = Flush(); status != btr::kStatusSuccess) return status;
    if (int16_t status = EnsureConnected(); status != btr::kStatusSuccess) return status;
    ++roundTrips;
    PGresult* raw = PQexec(conn_, sql.c_str());
    int16_t status = StatusOf(raw);
    if (status == btr::kStatusSuccess && value != nullptr && PQntuples(raw) > 0) {
        *found = true;
        value->assign(PQgetvalue(raw, 0, 0));
    }
    PQclear(raw);
    return status;
}

int16_t PgSession::BeginCopy(const std::string& target) {
    // The binary format's signature, flags and header extension length.
    static const char kHeader[19] = {'P', 'G', 'C', 'O', 'P', 'Y', '\n', '\xff', '\r', '\n', '\0'};
    if (int16_t status = Flush(); status != btr::kStatusSuccess) return status;
    if (int16_t status = EnsureConnected(); status != btr::kStatusSuccess) return status;
    PGresult* raw = PQexec(conn_, ("COPY " + target + " FROM STDIN (FORMAT binary)").c_str());
    if (raw == nullptr || PQresultStatus(raw) != PGRES_COPY_IN) {
        int16_t status = StatusOf(raw);
        PQclear(raw);
        return status != btr::kStatusSuccess ? status : btr::kStatusIoError;
    }
    PQclear(raw);
    return CopyRows(std::string(kHeader, sizeof kHeader));
}

int16_t PgSession::CopyRows(const std::string& rows) {
    if (conn_ != nullptr && PQputCopyData(conn_, rows.data(), static_cast<int>(rows.size())) == 1) {
        return btr::kStatusSuccess;
    }
    lastError_ = conn_ != nullptr ? PQerrorMessage(conn_) : "no connection";
    return btr::kStatusIoError;
}

int16_t PgSession::EndCopy() {
    static const char kTrailer[2] = {'\xff', '\xff'};
    if (conn_ == nullptr) return btr::kStatusSessionNoLongerValid;
    bool sent = CopyRows(std::string(kTrailer, sizeof kTrailer)) == btr::kStatusSuccess;
    PQputCopyEnd(conn_, sent ? nullptr : "w3btrv7: the rows could not be sent");
    int16_t status = btr::kStatusSuccess;
    PGresult* raw;
    while (conn_ != nullptr && (raw = PQgetResult(conn_)) != nullptr) {
        int16_t own = StatusOf(raw);
        if (status == btr::kStatusSuccess) status = own;
        PQclear(raw);
    }
    return status;
}

int16_t PgSession::Commit() {
    if (int16_t status = Flush(); status != btr::kStatusSuccess) {
        RollBack();
        return status;
    }
    if (int16_t status = EnsureConnected(); status != btr::kStatusSuccess) return status;
    ++roundTrips;
    PGresult* raw = PQexec(conn_, "COMMIT");
    int16_t status = StatusOf(raw);
    // A transaction that an error had already spoiled "commits" as a rollback.
    if (status == btr::kStatusSuccess && std::strcmp(PQcmdStatus(raw), "ROLLBACK") == 0) {
        status = btr::kStatusTransactionError;
    }
    PQclear(raw);
    if (status != btr::kStatusSuccess && conn_ != nullptr) Execute("ROLLBACK");
    return status;
}

int16_t PgSession::BeginServerTransaction() {
    if (inTransaction_) return btr::kStatusSuccess;
    int16_t status = Begin();
    if (status != btr::kStatusSuccess) return status;
    inTransaction_ = true;
    ++transactionNumber_;
    endedWith_ = btr::kStatusSuccess;
    return btr::kStatusSuccess;
}

int16_t PgSession::EndServerTransaction(Outcome outcome) {
    if (!inTransaction_) return outcome == Outcome::kCommit ? endedWith_ : btr::kStatusSuccess;
    inTransaction_ = false;
    if (outcome == Outcome::kRollBack) {
        RollBack();
        endedWith_ = btr::kStatusSuccess;
        return btr::kStatusSuccess;
    }
    endedWith_ = Commit();
    return endedWith_;
}

int16_t PgSession::RequireDurableCommit() {
    durable_ = true;
    return conn_ != nullptr ? Execute("SET synchronous_commit = on") : btr::kStatusSuccess;
}

}  // namespace w3b
