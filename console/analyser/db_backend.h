#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "status.h"

namespace vantry::analyser {

/// Which server holds the report table.
enum class DbKind {
  kSqlite,    ///< a report.dpr file on this machine
  kPostgres,  ///< a PostgreSQL database named by a libpq URI
};

/// One prepared statement of a backend; ReportDb's Statement wraps it.
class StatementBackend {
 public:
  virtual ~StatementBackend() = default;
  /// True when a row is available; on error false with *error set.
  virtual bool Step(std::string* error) = 0;
  virtual void Reset() = 0;
  virtual int ColumnCount() const = 0;
  virtual std::string_view ColumnName(int column) const = 0;
  /// NULL reads as empty text; the column index is checked by the caller.
  virtual std::string_view Text(int column) const = 0;
  virtual bool IsNull(int column) const = 0;
  virtual std::int64_t Int64(int column) const = 0;
  /// The bytes must outlive the next Step.
  virtual bool BindText(int index, std::string_view text) = 0;
  virtual void BindInt64(int index, std::int64_t value) = 0;
};

/// One open connection of a backend.
class ConnectionBackend {
 public:
  virtual ~ConnectionBackend() = default;
  virtual DbKind kind() const = 0;
  /// Runs statements that return no rows; the message is the server's own.
  virtual Status Exec(std::string_view sql) = 0;
  /// Prepares exactly one statement.
  virtual Status Prepare(std::string_view sql, std::unique_ptr<StatementBackend>* statement) = 0;
};

}  // namespace vantry::analyser
