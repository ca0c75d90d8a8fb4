#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "status.h"

namespace vantry::analyser {

/// The report database's file name inside the program folder.
inline constexpr std::string_view kReportDbName = "report.dpr";

/// Program folder + "report.dpr".
std::filesystem::path ReportDbPath(const std::filesystem::path& program_folder);

/// The table every import fills and every report reads. Text columns compare
/// without case; dates are stored yyyy-mm-dd and times hh:mm:ss so they compare
/// in date and time order as text.
inline constexpr std::string_view kCreateLogTableSql =
    "CREATE TABLE IF NOT EXISTS tbl_log ("
    "MaxSocket INTEGER, Socket INTEGER, StatusCode TEXT COLLATE NOCASE, "
    "IP1 TEXT COLLATE NOCASE, IP2 TEXT COLLATE NOCASE, Host TEXT COLLATE NOCASE, "
    "BLType TEXT COLLATE NOCASE, BLInfo TEXT COLLATE NOCASE, "
    "connectdate TEXT, ConnectTime TEXT)";

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

  sqlite3_stmt* get() const { return stmt_; }

 private:
  friend class ReportDb;
  sqlite3_stmt* stmt_ = nullptr;
  sqlite3* db_ = nullptr;
  std::string error_;
};

/// A connection to the report database, open for one operation and closed on
/// destruction.
class ReportDb {
 public:
  enum class Mode {
    kReadWrite,  ///< creates the file and tbl_log when missing
    kReadOnly,   ///< the file must exist; only reading statements may run
  };

  ReportDb() = default;
  ~ReportDb();
  ReportDb(const ReportDb&) = delete;
  ReportDb& operator=(const ReportDb&) = delete;

  /// Opens the file; the message names the file and the reason on failure.
  Status Open(const std::filesystem::path& file, Mode mode);
  bool is_open() const { return db_ != nullptr; }
  void Close();

  /// Runs SQLite SQL (no translation), for the database's own statements.
  Status Exec(std::string_view sqlite_sql);
  /// Prepares SQLite SQL; exactly one statement is accepted.
  Status PrepareNative(std::string_view sqlite_sql, Statement* statement);
  /// Translates an Access-dialect query and prepares it.
  Status Prepare(std::string_view access_sql, Statement* statement);
  /// The number of rows an Access-dialect query returns (the "counted result").
  Status CountRows(std::string_view access_sql, std::int64_t* count);

  sqlite3* handle() const { return db_; }
  const std::filesystem::path& file() const { return file_; }

 private:
  Status Failure(std::string_view what) const;

  sqlite3* db_ = nullptr;
  std::filesystem::path file_;
};

}  // namespace vantry::analyser
