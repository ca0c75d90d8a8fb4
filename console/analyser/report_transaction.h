#pragma once

#include "report_db.h"
#include "status.h"

namespace vantry::analyser {

/// A write transaction on the report database that rolls back when it goes
/// out of scope uncommitted, so every early return leaves the rows as they were.
class ReportTransaction {
 public:
  explicit ReportTransaction(ReportDb& db) : db_(db) {}
  ~ReportTransaction();
  ReportTransaction(const ReportTransaction&) = delete;
  ReportTransaction& operator=(const ReportTransaction&) = delete;

  /// BEGIN IMMEDIATE on SQLite: takes the write lock now, so a locked file is
  /// reported before any work is done. BEGIN on PostgreSQL.
  Status BeginImmediate();
  /// On failure the transaction stays open and rolls back with the guard.
  Status Commit();

 private:
  ReportDb& db_;
  bool open_ = false;
};

}  // namespace vantry::analyser
