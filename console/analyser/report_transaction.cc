#include "report_transaction.h"

namespace vantry::analyser {

ReportTransaction::~ReportTransaction() {
  if (open_) db_.Exec("ROLLBACK");
}

Status ReportTransaction::BeginImmediate() {
  // PostgreSQL locks rows as they are written; its writers need no early lock.
  Status s = db_.Exec(db_.kind() == DbKind::kSqlite ? "BEGIN IMMEDIATE" : "BEGIN");
  open_ = s.ok;
  return s;
}

Status ReportTransaction::Commit() {
  Status s = db_.Exec("COMMIT");
  if (s.ok) open_ = false;
  return s;
}

}  // namespace vantry::analyser
