#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <memory>

#include "db_backend.h"

namespace vantry::analyser {

/// The report database in a SQLite file.
class SqliteConnection : public ConnectionBackend {
 public:
  ~SqliteConnection() override;

  /// Opens the file; read_only needs it to exist. The message names the file.
  static Status Open(const std::filesystem::path& file, bool read_only,
                     std::unique_ptr<SqliteConnection>* connection);

  DbKind kind() const override { return DbKind::kSqlite; }
  Status Exec(std::string_view sql) override;
  Status Prepare(std::string_view sql, std::unique_ptr<StatementBackend>* statement) override;

  /// From now on only reading statements run, whatever a typed query tries.
  void AllowOnlyReads();
  /// How long a statement waits for another program's lock.
  void SetBusyTimeout(int milliseconds) { sqlite3_busy_timeout(db_, milliseconds); }
  sqlite3* handle() const { return db_; }

 private:
  SqliteConnection() = default;
  sqlite3* db_ = nullptr;
};

}  // namespace vantry::analyser
