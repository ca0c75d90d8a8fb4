#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "report_db.h"
#include "status.h"

namespace vantry::analyser {

/// Number of columns of the log list view.
inline constexpr int kLogViewColumns = 7;

/// The list view's column headers, in order.
inline constexpr std::array<std::string_view, kLogViewColumns> kLogViewHeaders = {
    "Date Time", "IP Address", "Reverse IP", "Host Name", "Response", "BLDNS", "BL Type"};

/// One row of the list view: the texts of its seven columns ("yyyy-mm-dd hh:mm",
/// IP1, IP2, Host, StatusCode, BLInfo, BLType) and the row's key in tbl_log.
struct LogViewRow {
  std::int64_t rowid = 0;
  std::array<std::string, kLogViewColumns> columns;
};

/// The query side of a lazily fetched, SQL-sorted table model over tbl_log.
/// Holds a read-only connection for as long as the view lives.
class LogTableView {
 public:
  /// Opens the database read-only (after an import); with a gateway name
  /// only that gateway's rows show.
  Status Open(const std::filesystem::path& db_file, std::string_view gateway = {});
  /// Rows in tbl_log.
  Status RowCount(std::int64_t* count);
  /// Sorts by a column (0-based position) ascending or descending; rows with
  /// equal keys keep the table's order. Sorting creates an index on the column
  /// the first time, so scrolling a million sorted rows stays quick.
  Status SetSort(int column, bool descending);
  /// Rows [offset, offset + limit) in the current order.
  Status FetchRows(std::int64_t offset, std::int64_t limit, std::vector<LogViewRow>* rows);

 private:
  std::filesystem::path db_file_;
  std::string gateway_;
  ReportDb db_;
  int sort_column_ = -1;
  bool descending_ = false;
};

/// "&Copy This Entry": each row as its first column and a space, then each of
/// the other six columns followed by a space, then CR LF.
std::string CopyEntriesText(std::span<const LogViewRow> rows);

}  // namespace vantry::analyser
