#pragma once

#include <libpq-fe.h>

#include <memory>
#include <string>
#include <string_view>

#include "db_backend.h"

namespace vantry::analyser {

/// True when the text names a PostgreSQL database (a libpq URI) rather than a file.
bool IsPostgresUri(std::string_view target);

/// The URI with any password replaced by "***", for messages and logs.
std::string RedactedUri(std::string_view uri);

/// The report database on a PostgreSQL server, through libpq.
class PgConnection : public ConnectionBackend {
 public:
  ~PgConnection() override;

  /// Connects; the message names the URI (without its password) and the reason.
  static Status Open(std::string_view uri, std::unique_ptr<PgConnection>* connection);

  DbKind kind() const override { return DbKind::kPostgres; }
  Status Exec(std::string_view sql) override;
  Status Prepare(std::string_view sql, std::unique_ptr<StatementBackend>* statement) override;

  /// Bulk load: COPY ... FROM STDIN in text format. Rows are added with
  /// CopyRow (fields already escaped, tab-separated, LF-terminated) and the
  /// load ends with CopyEnd, whose status is the server's verdict.
  Status CopyBegin(std::string_view copy_sql);
  Status CopyData(std::string_view bytes);
  Status CopyEnd();
  /// Ends a COPY without storing anything (the transaction then fails).
  void CopyAbort();

  PGconn* handle() const { return conn_; }

 private:
  PgConnection() = default;
  Status LastError(std::string_view fallback) const;

  std::shared_ptr<PGconn> owner_;
  PGconn* conn_ = nullptr;
  int next_statement_ = 0;
};

/// Appends text to a COPY row, escaped for COPY's text format.
void AppendCopyField(std::string& row, std::string_view text);

}  // namespace vantry::analyser
