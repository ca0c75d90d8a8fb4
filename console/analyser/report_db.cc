#include "report_db.h"

#include <utility>

#include "access_dialect.h"
#include "pg_backend.h"
#include "report_schema.h"
#include "sql_text.h"
#include "sqlite_backend.h"

namespace vantry::analyser {

std::filesystem::path ReportDbPath(const std::filesystem::path& program_folder) {
  return program_folder / kReportDbName;
}

std::filesystem::path ReportDbTarget(std::string_view report_db_setting,
                                     const std::filesystem::path& program_folder) {
  std::string_view setting = TrimSpacesAndTabs(report_db_setting);
  if (setting.empty()) return ReportDbPath(program_folder);
  return std::filesystem::path(std::string(setting));
}

Statement::~Statement() = default;
Statement::Statement(Statement&& other) noexcept = default;
Statement& Statement::operator=(Statement&& other) noexcept = default;

bool Statement::Step() {
  if (!impl_) return false;
  return impl_->Step(&error_);
}

void Statement::Reset() {
  if (impl_) impl_->Reset();
  error_.clear();
}

int Statement::ColumnCount() const { return impl_ ? impl_->ColumnCount() : 0; }

int Statement::ColumnIndex(std::string_view name) const {
  std::string wanted = AsciiLower(name);
  for (int i = 0; i < ColumnCount(); ++i) {
    if (AsciiLower(impl_->ColumnName(i)) == wanted) return i;
  }
  return -1;
}

std::string_view Statement::Text(int column) const {
  if (column < 0 || column >= ColumnCount()) return {};
  return impl_->Text(column);
}

bool Statement::IsNull(int column) const {
  return column < 0 || column >= ColumnCount() || impl_->IsNull(column);
}

std::int64_t Statement::Int64(int column) const {
  if (column < 0 || column >= ColumnCount()) return 0;
  return impl_->Int64(column);
}

bool Statement::BindTextStatic(int index, std::string_view text) {
  return impl_ && impl_->BindText(index, text);
}

void Statement::BindInt64(int index, std::int64_t value) {
  if (impl_) impl_->BindInt64(index, value);
}

ReportDb::ReportDb() = default;
ReportDb::~ReportDb() { Close(); }

void ReportDb::Close() {
  connection_.reset();
  sqlite_ = nullptr;
  postgres_ = nullptr;
}

sqlite3* ReportDb::handle() const { return sqlite_ ? sqlite_->handle() : nullptr; }

std::string ReportDb::display_name() const {
  return kind_ == DbKind::kPostgres ? RedactedUri(file_.string()) : file_.string();
}

Status ReportDb::Open(const std::filesystem::path& target, Mode mode, std::string_view gateway) {
  Close();
  file_ = target;
  bool read_only = mode == Mode::kReadOnly;
  if (IsPostgresUri(target.string())) {
    kind_ = DbKind::kPostgres;
    std::unique_ptr<PgConnection> pg;
    if (Status s = PgConnection::Open(target.string(), &pg); !s.ok) return s;
    postgres_ = pg.get();
    connection_ = std::move(pg);
  } else {
    kind_ = DbKind::kSqlite;
    std::unique_ptr<SqliteConnection> lite;
    if (Status s = SqliteConnection::Open(target, read_only, &lite); !s.ok) return s;
    sqlite_ = lite.get();
    connection_ = std::move(lite);
  }
  auto fail = [&](std::string_view what, const Status& s) {
    Status failure = Status::Error(std::string(what) + " \"" + display_name() + "\": " + s.message);
    Close();
    return failure;
  };
  if (!read_only) {
    if (Status s = EnsureSchema(*this); !s.ok) return fail("Cannot use the report database", s);
    return Status::Ok();
  }
  // Reading the table once surfaces "not a database", a missing table and
  // locks now, not mid-report.
  if (Status s = Exec("SELECT count(*) FROM tbl_log WHERE 1 = 0"); !s.ok) {
    return fail("Cannot read the report database", s);
  }
  if (!gateway.empty()) {
    if (Status s = RestrictToGateway(*this, gateway); !s.ok) {
      return fail("Cannot read the report database", s);
    }
  }
  if (sqlite_) {
    sqlite_->AllowOnlyReads();
  } else if (Status s = Exec("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY"); !s.ok) {
    return fail("Cannot read the report database", s);
  }
  return Status::Ok();
}

Status ReportDb::Exec(std::string_view native_sql) {
  if (!connection_) return Status::Error("The report database is not open.");
  return connection_->Exec(native_sql);
}

Status ReportDb::PrepareNative(std::string_view native_sql, Statement* statement) {
  if (!connection_) return Status::Error("The report database is not open.");
  Statement prepared;
  if (Status s = connection_->Prepare(native_sql, &prepared.impl_); !s.ok) return s;
  *statement = std::move(prepared);
  return Status::Ok();
}

Status ReportDb::Prepare(std::string_view access_sql, Statement* statement) {
  std::string sql;
  if (Status s = TranslateAccessSql(access_sql, &sql, SqlTarget(kind_)); !s.ok) return s;
  return PrepareNative(sql, statement);
}

Status ReportDb::CountRows(std::string_view access_sql, std::int64_t* count) {
  std::string sql;
  if (Status s = TranslateAccessSql(access_sql, &sql, SqlTarget(kind_)); !s.ok) return s;
  while (!sql.empty() && (sql.back() == ';' || sql.back() == ' ' || sql.back() == '\n' ||
                          sql.back() == '\r' || sql.back() == '\t')) {
    sql.pop_back();
  }
  // Preparing the query alone first keeps "one statement only" and gives the
  // database's own message for the user's text, not for the wrapper.
  Statement probe;
  if (Status s = PrepareNative(sql, &probe); !s.ok) return s;
  probe = Statement();
  // PostgreSQL 15 wants a name for a subquery in FROM.
  std::string wrapper = "SELECT count(*) FROM (" + sql + "\n)";
  if (kind_ == DbKind::kPostgres) wrapper += " AS counted";
  Statement counter;
  if (Status s = PrepareNative(wrapper, &counter); !s.ok) return s;
  if (!counter.Step()) {
    return Status::Error(counter.error().empty() ? "The query returned no count."
                                                 : counter.error());
  }
  *count = counter.Int64(0);
  return Status::Ok();
}

}  // namespace vantry::analyser
