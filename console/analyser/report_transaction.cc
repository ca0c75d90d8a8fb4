#include "report_transaction.h"

namespace vantry::analyser {

ReportTransaction::~ReportTransaction() {
  if (open_) db_.Exec("ROLLBACK");
}

Status ReportTransaction::BeginImmediate() {
  Status s = db_.Exec("BEGIN IMMEDIATE");
  open_ = s.ok;
  return s;
}

Status ReportTransaction::Commit() {
  Status s = db_.Exec("COMMIT");
  if (s.ok) open_ = false;
  return s;
}

}  // namespace vantry::analyser
