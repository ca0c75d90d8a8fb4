#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "db_backend.h"
#include "status.h"

namespace vantry::analyser {

class PgConnection;
class SqliteConnection;

/// The report database's file name inside the program folder.
inline constexpr std::string_view kReportDbName = "report.dpr";

/// Program folder + "report.dpr".
std::filesystem::path ReportDbPath(const std::filesystem::path& program_folder);

/// The database of the reports: ReportDB when it is set (a postgresql:// URI or
/// a file), else report.dpr in the program folder.
std::filesystem::path ReportDbTarget(std::string_view report_db_setting,
                                     const std::filesystem::path& program_folder);

/// The table every import fills and every report reads, in a SQLite file. Text
/// columns compare without case; dates are stored yyyy-mm-dd and times
/// hh:mm:ss so they compare in date and time order as text. gateway names the
/// machine whose log a row came from.
inline constexpr std::string_view kCreateLogTableSql =
    "CREATE TABLE IF NOT EXISTS tbl_log ("
    "MaxSocket INTEGER, Socket INTEGER, StatusCode TEXT COLLATE NOCASE, "
    "IP1 TEXT COLLATE NOCASE, IP2 TEXT COLLATE NOCASE, Host TEXT COLLATE NOCASE, "
    "BLType TEXT COLLATE NOCASE, BLInfo TEXT COLLATE NOCASE, "
    "connectdate TEXT, ConnectTime TEXT, gateway TEXT COLLATE NOCASE DEFAULT '')";

/// One prepared statement, finalized on destruction.
class Statement {
 public:
  Statement() = default;
  ~Statement();
  Statement(Statement&& other) noexcept;
  Statement& operator=(Statement&& other) noexcept;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  /// True when a row is available; false at the end or on error (see error()).
  bool Step();
  /// Empty when the last Step ended normally, else the database's message.
  const std::string& error() const { return error_; }
  /// Resets for another run with new bindings.
  void Reset();

  int ColumnCount() const;
  /// Case-insensitive column lookup by name; -1 when the result has none.
  int ColumnIndex(std::string_view name) const;
  /// The value as text; NULL and a missing column read as empty text.
  std::string_view Text(int column) const;
  bool IsNull(int column) const;
  std::int64_t Int64(int column) const;

  /// Binds text without copying; the bytes must outlive the next Step. False
  /// when the database refuses it (longer than it stores); the parameter is
  /// then left empty and must not be stored.
  bool BindTextStatic(int index, std::string_view text);
  void BindInt64(int index, std::int64_t value);

 private:
  friend class ReportDb;
  std::unique_ptr<StatementBackend> impl_;
  std::string error_;
};

/// A connection to the report database, open for one operation and closed on
/// destruction: a SQLite file, or a PostgreSQL database when the target is a
/// postgresql:// URI. Either way the tables are created on first use.
class ReportDb {
 public:
  enum class Mode {
    kReadWrite,  ///< creates the database's tables when missing
    kReadOnly,   ///< the tables must exist; only reading statements may run
  };

  ReportDb();
  ~ReportDb();
  ReportDb(const ReportDb&) = delete;
  ReportDb& operator=(const ReportDb&) = delete;

  /// Opens the file or connects to the URI; the message names it and the
  /// reason on failure. A read-only connection with a gateway sees only that
  /// gateway's rows in tbl_log.
  Status Open(const std::filesystem::path& target, Mode mode, std::string_view gateway = {});
  bool is_open() const { return connection_ != nullptr; }
  void Close();
  DbKind kind() const { return kind_; }

  /// Runs the backend's own SQL (no translation), for the database's own statements.
  Status Exec(std::string_view native_sql);
  /// Prepares the backend's own SQL; exactly one statement is accepted.
  Status PrepareNative(std::string_view native_sql, Statement* statement);
  /// Translates an Access-dialect query and prepares it.
  Status Prepare(std::string_view access_sql, Statement* statement);
  /// The number of rows an Access-dialect query returns (the "counted result").
  Status CountRows(std::string_view access_sql, std::int64_t* count);

  /// The SQLite handle; null on PostgreSQL.
  sqlite3* handle() const;
  SqliteConnection* sqlite() const { return sqlite_; }
  PgConnection* postgres() const { return postgres_; }
  const std::filesystem::path& file() const { return file_; }
  /// The file name or the URI without its password, for messages.
  std::string display_name() const;

 private:
  std::unique_ptr<ConnectionBackend> connection_;
  SqliteConnection* sqlite_ = nullptr;
  PgConnection* postgres_ = nullptr;
  DbKind kind_ = DbKind::kSqlite;
  std::filesystem::path file_;
};

}  // namespace vantry::analyser
