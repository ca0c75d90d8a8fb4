#include "pg_backend.h"

#include <charconv>
#include <utility>
#include <vector>

namespace vantry::analyser {
namespace {

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// The server's primary message without "ERROR:  " and the trailing line end.
std::string ResultMessage(const PGresult* result, PGconn* conn) {
  const char* primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  if (primary && *primary) return primary;
  std::string text = Trimmed(PQerrorMessage(conn));
  return text.empty() ? "the server gave no reason" : text;
}

struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

class PgStatement : public StatementBackend {
 public:
  PgStatement(std::shared_ptr<PGconn> owner, std::string name, Result description)
      : owner_(std::move(owner)),
        conn_(owner_.get()),
        name_(std::move(name)),
        description_(std::move(description)) {
    params_.resize(PQnparams(description_.get()));
  }
  ~PgStatement() override {
    Finish();
    Result(PQexec(conn_, ("DEALLOCATE " + name_).c_str()));
  }

  bool Step(std::string* error) override {
    if (done_) return false;
    if (!started_) {
      std::vector<const char*> values;
      for (const auto& p : params_) values.push_back(p.c_str());
      if (!PQsendQueryPrepared(conn_, name_.c_str(), static_cast<int>(values.size()), values.data(),
                               nullptr, nullptr, 0)) {
        *error = Trimmed(PQerrorMessage(conn_));
        done_ = true;
        return false;
      }
      // One row at a time: a million-row listing never sits in memory whole.
      PQsetSingleRowMode(conn_);
      started_ = true;
    }
    row_.reset(PQgetResult(conn_));
    if (row_ && PQresultStatus(row_.get()) == PGRES_SINGLE_TUPLE) return true;
    if (!row_ || (PQresultStatus(row_.get()) != PGRES_TUPLES_OK &&
                  PQresultStatus(row_.get()) != PGRES_COMMAND_OK)) {
      *error = ResultMessage(row_.get(), conn_);
    }
    row_.reset();
    Drain();
    return false;
  }
  void Reset() override {
    Finish();
    started_ = false;
    done_ = false;
  }
  int ColumnCount() const override { return PQnfields(description_.get()); }
  std::string_view ColumnName(int column) const override {
    return PQfname(description_.get(), column);
  }
  std::string_view Text(int column) const override {
    if (!row_ || PQgetisnull(row_.get(), 0, column)) return {};
    return {PQgetvalue(row_.get(), 0, column),
            static_cast<size_t>(PQgetlength(row_.get(), 0, column))};
  }
  bool IsNull(int column) const override { return !row_ || PQgetisnull(row_.get(), 0, column); }
  std::int64_t Int64(int column) const override {
    std::string_view text = Text(column);
    std::int64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
  }
  bool BindText(int index, std::string_view text) override {
    if (index < 1 || index > static_cast<int>(params_.size())) return false;
    // libpq takes NUL-terminated text: a NUL inside would cut the value short.
    if (text.find('\0') != std::string_view::npos) return false;
    params_[index - 1].assign(text);
    return true;
  }
  void BindInt64(int index, std::int64_t value) override {
    if (index >= 1 && index <= static_cast<int>(params_.size())) {
      params_[index - 1] = std::to_string(value);
    }
  }

 private:
  void Drain() {
    while (PGresult* rest = PQgetResult(conn_)) PQclear(rest);
    done_ = true;
  }
  // A listing left early is cancelled, not read to its end.
  void Finish() {
    row_.reset();
    if (started_ && !done_) {
      if (PGcancel* cancel = PQgetCancel(conn_)) {
        char reason[256];
        PQcancel(cancel, reason, sizeof reason);
        PQfreeCancel(cancel);
      }
      Drain();
    }
  }

  // Shared, so a statement that outlives its ReportDb still has a connection.
  std::shared_ptr<PGconn> owner_;
  PGconn* conn_;
  std::string name_;
  Result description_;
  std::vector<std::string> params_;
  Result row_;
  bool started_ = false;
  bool done_ = false;
};

}  // namespace

bool IsPostgresUri(std::string_view target) {
  return target.starts_with("postgresql://") || target.starts_with("postgres://");
}

std::string RedactedUri(std::string_view uri) {
  size_t scheme = uri.find("://");
  if (scheme == std::string_view::npos) return std::string(uri);
  size_t start = scheme + 3;
  size_t at = uri.find('@', start);
  size_t slash = uri.find('/', start);
  if (at == std::string_view::npos || (slash != std::string_view::npos && slash < at)) {
    return std::string(uri);
  }
  size_t colon = uri.find(':', start);
  if (colon == std::string_view::npos || colon > at) return std::string(uri);
  return std::string(uri.substr(0, colon + 1)) + "***" + std::string(uri.substr(at));
}

void AppendCopyField(std::string& row, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '\\':
        row += "\\\\";
        break;
      case '\t':
        row += "\\t";
        break;
      case '\n':
        row += "\\n";
        break;
      case '\r':
        row += "\\r";
        break;
      default:
        row += c;
    }
  }
}

PgConnection::~PgConnection() = default;

Status PgConnection::LastError(std::string_view fallback) const {
  std::string text = Trimmed(PQerrorMessage(conn_));
  return Status::Error(text.empty() ? std::string(fallback) : text);
}

Status PgConnection::Open(std::string_view uri, std::unique_ptr<PgConnection>* connection) {
  std::string text(uri);
  std::string shown = RedactedUri(uri);
  char* parse_error = nullptr;
  PQconninfoOption* parsed = PQconninfoParse(text.c_str(), &parse_error);
  if (!parsed) {
    std::string why = parse_error ? Trimmed(parse_error) : "it is not a connection URI";
    PQfreemem(parse_error);
    return Status::Error("The report database address \"" + shown + "\" does not parse: " + why);
  }
  PQconninfoFree(parsed);
  // The URI's own settings win over these defaults (it is expanded last).
  const char* keywords[] = {"connect_timeout", "application_name", "dbname", nullptr};
  const char* values[] = {"10", "vantry-report", text.c_str(), nullptr};
  std::unique_ptr<PgConnection> opened(new PgConnection);
  opened->owner_.reset(PQconnectdbParams(keywords, values, 1), PQfinish);
  opened->conn_ = opened->owner_.get();
  if (!opened->conn_ || PQstatus(opened->conn_) != CONNECTION_OK) {
    std::string why = opened->conn_ ? Trimmed(PQerrorMessage(opened->conn_)) : "out of memory";
    return Status::Error("Cannot connect to the report database \"" + shown + "\": " + why);
  }
  // CREATE ... IF NOT EXISTS notices would otherwise land on stderr.
  PQsetNoticeProcessor(
      opened->conn_, [](void*, const char*) {}, nullptr);
  if (PQsetClientEncoding(opened->conn_, "UTF8") != 0) {
    return Status::Error("The report database \"" + shown + "\" does not take UTF-8 text.");
  }
  *connection = std::move(opened);
  return Status::Ok();
}

Status PgConnection::Exec(std::string_view sql) {
  Result result(PQexec(conn_, std::string(sql).c_str()));
  ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    return Status::Error(ResultMessage(result.get(), conn_));
  }
  return Status::Ok();
}

Status PgConnection::Prepare(std::string_view sql, std::unique_ptr<StatementBackend>* statement) {
  std::string name = "vantry_s" + std::to_string(++next_statement_);
  Result prepared(PQprepare(conn_, name.c_str(), std::string(sql).c_str(), 0, nullptr));
  if (!prepared || PQresultStatus(prepared.get()) != PGRES_COMMAND_OK) {
    return Status::Error(ResultMessage(prepared.get(), conn_));
  }
  Result description(PQdescribePrepared(conn_, name.c_str()));
  if (!description || PQresultStatus(description.get()) != PGRES_COMMAND_OK) {
    Status s = Status::Error(ResultMessage(description.get(), conn_));
    Result(PQexec(conn_, ("DEALLOCATE " + name).c_str()));
    return s;
  }
  *statement = std::make_unique<PgStatement>(owner_, std::move(name), std::move(description));
  return Status::Ok();
}

Status PgConnection::CopyBegin(std::string_view copy_sql) {
  Result result(PQexec(conn_, std::string(copy_sql).c_str()));
  if (!result || PQresultStatus(result.get()) != PGRES_COPY_IN) {
    return Status::Error(ResultMessage(result.get(), conn_));
  }
  return Status::Ok();
}

Status PgConnection::CopyData(std::string_view bytes) {
  if (PQputCopyData(conn_, bytes.data(), static_cast<int>(bytes.size())) != 1) {
    return LastError("the server stopped taking rows");
  }
  return Status::Ok();
}

Status PgConnection::CopyEnd() {
  if (PQputCopyEnd(conn_, nullptr) != 1) return LastError("the server stopped taking rows");
  Status status;
  while (PGresult* raw = PQgetResult(conn_)) {
    Result result(raw);
    if (PQresultStatus(raw) != PGRES_COMMAND_OK && status.ok) {
      status = Status::Error(ResultMessage(raw, conn_));
    }
  }
  return status;
}

void PgConnection::CopyAbort() {
  PQputCopyEnd(conn_, "the import stopped");
  while (PGresult* rest = PQgetResult(conn_)) PQclear(rest);
}

}  // namespace vantry::analyser
