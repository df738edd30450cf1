// pg_session.h: this process's connection to one server folder (a server and a schema), shared
// by every data file of the folder that the process has open.
//
// One connection per folder makes the process's transaction one server transaction across all
// the folder's files, and makes every record lock of the process one session's lock: the server
// ends them all when the connection ends, whatever ended it.
#ifndef W3BTRV7_STORE_POSTGRES_PG_SESSION_H
#define W3BTRV7_STORE_POSTGRES_PG_SESSION_H

#include <libpq-fe.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "store/file_connection.h"
#include "store/server_folder.h"

namespace w3b {

// The SQLSTATEs that w3btrv7.expect raises for the record manager's own refusals inside a
// batch, so that the server skips the rest of it.
inline constexpr char kSqlStateNotAsRead[] = "W3B01";
inline constexpr char kSqlStateRecordLocked[] = "W3B02";
inline constexpr char kSqlStateDefinitionMoved[] = "W3B03";

// The parameters of one statement, sent in binary form. The first kInline live inside the
// object, since every call makes one or more; only a key build's statements of many rows
// spill past them.
class PgParams {
public:
    PgParams& Int2(int16_t value) { return Number(21, static_cast<uint64_t>(static_cast<uint16_t>(value)), 2); }
    PgParams& Int4(int32_t value) { return Number(23, static_cast<uint64_t>(static_cast<uint32_t>(value)), 4); }
    PgParams& Int8(int64_t value) { return Number(20, static_cast<uint64_t>(value), 8); }
    PgParams& Bool(bool value) { return Number(16, value ? 1 : 0, 1); }
    // Bytes the caller keeps alive until the statement has run.
    PgParams& Bytes(const void* data, size_t size);
    PgParams& Bytes(const std::string& data) { return Bytes(data.data(), data.size()); }
    PgParams& Text(const std::string& text);

    int Count() const { return count_; }
    // Parameter `i` as libpq takes it; a number's bytes are this object's own.
    unsigned int Type(int i) const { return At(i).type; }
    const char* Value(int i) const { return At(i).pointer != nullptr ? At(i).pointer : At(i).number.data(); }
    int Length(int i) const { return At(i).length; }

private:
    struct Param {
        unsigned int type = 0;
        int length = 0;
        const char* pointer = nullptr;  // null: the value is `number`
        std::array<char, 8> number{};
    };
    static constexpr int kInline = 8;

    PgParams& Number(unsigned int type, uint64_t value, int width);
    Param& Add(unsigned int type, const char* pointer, int length);
    const Param& At(int i) const { return i < kInline ? inline_[i] : spilled_[static_cast<size_t>(i - kInline)]; }

    int count_ = 0;
    std::array<Param, kInline> inline_{};
    std::vector<Param> spilled_;
};

// A statement's result, freed with it. Columns come in binary form.
class PgResult {
public:
    PgResult() = default;
    explicit PgResult(PGresult* result) : result_(result) {}
    PgResult(PgResult&& other) noexcept : result_(other.result_), empty_(other.empty_) { other.result_ = nullptr; }
    PgResult& operator=(PgResult&& other) noexcept;
    ~PgResult() { PQclear(result_); }

    int Rows() const { return result_ == nullptr || empty_ ? 0 : PQntuples(result_); }
    int Columns() const { return result_ == nullptr ? 0 : PQnfields(result_); }
    // For a statement that answers a row even when the query inside it found none.
    void TreatAsEmpty() { empty_ = true; }
    bool IsNull(int row, int column) const { return PQgetisnull(result_, row, column) != 0; }
    int64_t Int(int row, int column) const;  // int2, int4 or int8, by its width
    bool Bool(int row, int column) const { return Int(row, column) != 0; }
    void Bytes(int row, int column, std::string* out) const;

private:
    PGresult* result_ = nullptr;
    bool empty_ = false;
};

class PgSession {
public:
    // The process's session for `folder`, connected on first use.
    static std::shared_ptr<PgSession> For(const ServerFolder& folder);
    // A session of its own, for work that must stay outside the process's transaction.
    static std::shared_ptr<PgSession> Separate(const ServerFolder& folder);
    ~PgSession();

    const ServerFolder& Folder() const { return folder_; }
    // A double-quoted schema name, for statements.
    const std::string& Schema() const { return quotedSchema_; }

    // Runs `sql` (prepared once per connection) with `params`, after everything sent ahead and
    // in the same round trip. Returns a status: 0, or what the server's error means to the
    // record manager (5 a duplicate, 85 a lock not granted in time, 78 a deadlock, 95 the
    // connection lost, 2 anything else), the first of the batch's.
    int16_t Run(const std::string& sql, const PgParams& params, PgResult* result = nullptr);

    // What the answer to a statement sent ahead means: it gets the statement's status and
    // result and returns the status the batch answers.
    using Answer = std::function<int16_t(int16_t status, PgResult& result)>;
    // Sends `sql` without waiting for its answer: it reaches the server with the next statement
    // whose answer is waited for (Run, Flush), in one round trip. Once a statement of the batch
    // fails, the server skips the rest of it. Nonzero only when the connection is gone.
    int16_t Send(const std::string& sql, const PgParams& params, Answer answer = nullptr);
    int16_t Send(const std::string& sql) { return Send(sql, PgParams()); }
    // Waits for the answers to everything sent: the batch's first failing status, else 0.
    int16_t Flush();
    bool HasSent() const { return !sent_.empty() || sendStatus_ != 0; }
    // The status of a batch that lost its connection while being sent, once nothing of it is
    // left to wait for; it is then forgotten.
    int16_t TakeSendFailure() {
        int16_t status = sent_.empty() ? sendStatus_ : int16_t{0};
        if (sent_.empty()) sendStatus_ = 0;
        return status;
    }
    // Gives up what was sent: no answer is read, and the server rolls it back.
    void RollBackSent();
    // Runs statements without parameters (several may be separated by ';'), in one round trip.
    int16_t Execute(const std::string& sql);
    // The same, with the first value the last statement returned (as text); `found` false when
    // it returned no row.
    int16_t ExecuteForValue(const std::string& sql, std::string* value, bool* found);

    // A bulk load into `target` (a table and its columns) with one COPY in binary form: the rows
    // stream to the server while the caller makes the next ones, with no round trip per row.
    // CopyRows sends tuples of COPY's binary form; EndCopy ends the COPY with its status.
    int16_t BeginCopy(const std::string& target);
    int16_t CopyRows(const std::string& rows);
    int16_t EndCopy();

    // Connects when there is no usable connection. 0, or 95 when the server cannot be reached.
    int16_t EnsureConnected();
    bool Connected() const { return conn_ != nullptr; }
    // Counts the connections made: locks taken under an earlier one are gone.
    uint64_t ConnectionNumber() const { return connectionNumber_; }

    // One write's own transaction. Commit answers 36 when an error had spoiled the transaction
    // (the server then rolls it back).
    int16_t Begin() { return Execute("BEGIN"); }
    int16_t Commit();
    // Without a connection there is nothing to roll back: the server did it when it ended.
    void RollBack() { RollBackSent(); }

    // The server transaction that the process's transaction is on this folder: begun by the
    // first file that joins it, ended by the first file that ends it. Each has a number, so
    // that the other files learn how it ended: its commit's status, or 95 when the connection
    // was lost with it.
    bool InServerTransaction() const { return inTransaction_; }
    uint64_t TransactionNumber() const { return transactionNumber_; }
    int16_t BeginServerTransaction();
    int16_t EndServerTransaction(Outcome outcome);
    int16_t EndedWith() const { return endedWith_; }

    // Whether writes wait until the server has made them durable (synchronous_commit).
    int16_t RequireDurableCommit();

    const std::string& LastError() const { return lastError_; }

    // Statements sent to any server by this process so far (each is one round trip), for the
    // benchmarks' count per operation.
    static uint64_t RoundTrips();

private:
    explicit PgSession(const ServerFolder& folder);
    int16_t StatusOf(PGresult* result);
    void Disconnect();
    int16_t Queue(const std::string& sql, const PgParams& params, Answer answer, PgResult* result);
    int16_t LostWhileSending();
    // Reads the answers of the batch sent, in order, then its end.
    int16_t ReadBatch();

    // A statement sent and not yet answered: a preparation (of `sql`) or a statement.
    struct Sent {
        bool preparation = false;
        std::string sql;
        Answer answer;
        PgResult* result = nullptr;
    };

    ServerFolder folder_;
    std::string quotedSchema_;
    PGconn* conn_ = nullptr;
    uint64_t connectionNumber_ = 0;
    bool inTransaction_ = false;
    uint64_t transactionNumber_ = 0;
    int16_t endedWith_ = 0;
    bool durable_ = false;
    std::unordered_map<std::string, std::string> prepared_;  // sql -> statement name
    // The parameters of the statement being sent, laid out as libpq takes them; kept between
    // statements so that sending one allocates nothing.
    std::vector<unsigned int> paramTypes_;
    std::vector<const char*> paramValues_;
    std::vector<int> paramLengths_;
    std::vector<int> paramFormats_;
    void LayOut(const PgParams& params);
    uint64_t statementNames_ = 0;
    std::vector<Sent> sent_;
    std::vector<Sent> spare_;  // empty, with the room of an earlier batch
    int16_t sendStatus_ = 0;   // the batch lost its connection while it was being sent
    std::string lastError_;
};

}  // namespace w3b

#endif  // W3BTRV7_STORE_POSTGRES_PG_SESSION_H
