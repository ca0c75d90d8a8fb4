#include "report_db.h"

#include <limits>
#include <utility>

#include "access_dialect.h"
#include "sql_text.h"

namespace vantry::analyser {
namespace {

// Reading connections run nothing but reads: no ATTACH of another file, no
// PRAGMA, no writes, whatever a typed custom query tries.
int ReadOnlyAuthorizer(void*, int action, const char*, const char*, const char*, const char*) {
  switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE:
      return SQLITE_OK;
    default:
      return SQLITE_DENY;
  }
}

bool OnlyBlanksAndSemicolons(const char* tail) {
  for (; tail && *tail; ++tail) {
    if (*tail != ';' && *tail != ' ' && *tail != '\t' && *tail != '\r' && *tail != '\n') {
      return false;
    }
  }
  return true;
}

}  // namespace

std::filesystem::path ReportDbPath(const std::filesystem::path& program_folder) {
  return program_folder / kReportDbName;
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement::Statement(Statement&& other) noexcept
    : stmt_(std::exchange(other.stmt_, nullptr)), db_(other.db_), error_(std::move(other.error_)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(stmt_);
    stmt_ = std::exchange(other.stmt_, nullptr);
    db_ = other.db_;
    error_ = std::move(other.error_);
  }
  return *this;
}

bool Statement::Step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc != SQLITE_DONE) error_ = sqlite3_errmsg(db_);
  return false;
}

void Statement::Reset() {
  sqlite3_reset(stmt_);
  error_.clear();
}

int Statement::ColumnCount() const { return sqlite3_column_count(stmt_); }

int Statement::ColumnIndex(std::string_view name) const {
  std::string wanted = AsciiLower(name);
  for (int i = 0; i < ColumnCount(); ++i) {
    const char* column = sqlite3_column_name(stmt_, i);
    if (column && AsciiLower(column) == wanted) return i;
  }
  return -1;
}

std::string_view Statement::Text(int column) const {
  if (column < 0 || column >= ColumnCount()) return {};
  const unsigned char* text = sqlite3_column_text(stmt_, column);
  if (!text) return {};
  return {reinterpret_cast<const char*>(text),
          static_cast<size_t>(sqlite3_column_bytes(stmt_, column))};
}

bool Statement::IsNull(int column) const {
  return column < 0 || column >= ColumnCount() || sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

std::int64_t Statement::Int64(int column) const {
  if (column < 0 || column >= ColumnCount()) return 0;
  return sqlite3_column_int64(stmt_, column);
}

bool Statement::BindTextStatic(int index, std::string_view text) {
  // Beyond int the length would wrap round and SQLite would read to the next NUL.
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return false;
  return sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                           SQLITE_STATIC) == SQLITE_OK;
}

void Statement::BindInt64(int index, std::int64_t value) {
  sqlite3_bind_int64(stmt_, index, value);
}

ReportDb::~ReportDb() { Close(); }

void ReportDb::Close() {
  if (db_) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
}

Status ReportDb::Failure(std::string_view what) const {
  std::string reason = db_ ? sqlite3_errmsg(db_) : "unknown error";
  return Status::Error(std::string(what) + " \"" + file_.string() + "\": " + reason);
}

Status ReportDb::Open(const std::filesystem::path& file, Mode mode) {
  Close();
  file_ = file;
  std::error_code ec;
  if (mode == Mode::kReadOnly && !std::filesystem::exists(file, ec)) {
    return Status::Error("The report database \"" + file.string() +
                         "\" does not exist; import a log first.");
  }
  int flags =
      mode == Mode::kReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  if (sqlite3_open_v2(file.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    Status s = Failure("Cannot open the report database");
    Close();
    return s;
  }
  sqlite3_extended_result_codes(db_, 1);
  // A second program holding the file gets a short grace period, then a message.
  sqlite3_busy_timeout(db_, 2000);
  if (mode == Mode::kReadWrite) {
    if (sqlite3_exec(db_, std::string(kCreateLogTableSql).c_str(), nullptr, nullptr, nullptr) !=
        SQLITE_OK) {
      Status s = Failure("Cannot use the report database");
      Close();
      return s;
    }
  } else {
    // Reading the schema once surfaces "not a database" and locks now, not mid-report.
    if (sqlite3_exec(db_, "SELECT count(*) FROM tbl_log WHERE 0", nullptr, nullptr, nullptr) !=
        SQLITE_OK) {
      Status s = Failure("Cannot read the report database");
      Close();
      return s;
    }
    sqlite3_set_authorizer(db_, ReadOnlyAuthorizer, nullptr);
  }
  return Status::Ok();
}

Status ReportDb::Exec(std::string_view sqlite_sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_, std::string(sqlite_sql).c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    return Status::Error(text);
  }
  return Status::Ok();
}

Status ReportDb::PrepareNative(std::string_view sqlite_sql, Statement* statement) {
  sqlite3_stmt* stmt = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(db_, sqlite_sql.data(), static_cast<int>(sqlite_sql.size()), &stmt,
                         &tail) != SQLITE_OK) {
    return Status::Error(sqlite3_errmsg(db_));
  }
  if (!stmt) return Status::Error("The query is empty.");
  std::string rest(tail, sqlite_sql.data() + sqlite_sql.size() - tail);
  if (!OnlyBlanksAndSemicolons(rest.c_str())) {
    sqlite3_finalize(stmt);
    return Status::Error("Only one statement may be run at a time.");
  }
  Statement prepared;
  prepared.stmt_ = stmt;
  prepared.db_ = db_;
  *statement = std::move(prepared);
  return Status::Ok();
}

Status ReportDb::Prepare(std::string_view access_sql, Statement* statement) {
  std::string sql;
  if (Status s = TranslateAccessSql(access_sql, &sql); !s.ok) return s;
  return PrepareNative(sql, statement);
}

Status ReportDb::CountRows(std::string_view access_sql, std::int64_t* count) {
  std::string sql;
  if (Status s = TranslateAccessSql(access_sql, &sql); !s.ok) return s;
  while (!sql.empty() && (sql.back() == ';' || sql.back() == ' ' || sql.back() == '\n' ||
                          sql.back() == '\r' || sql.back() == '\t')) {
    sql.pop_back();
  }
  // Preparing the query alone first keeps "one statement only" and gives the
  // database's own message for the user's text, not for the wrapper.
  Statement probe;
  if (Status s = PrepareNative(sql, &probe); !s.ok) return s;
  Statement counter;
  if (Status s = PrepareNative("SELECT count(*) FROM (" + sql + "\n)", &counter); !s.ok) return s;
  if (!counter.Step()) {
    return Status::Error(counter.error().empty() ? "The query returned no count."
                                                 : counter.error());
  }
  *count = counter.Int64(0);
  return Status::Ok();
}

}  // namespace vantry::analyser
