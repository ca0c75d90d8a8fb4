#include "log_table_view.h"

#include "date_time_text.h"
#include "log_import.h"

namespace vantry::analyser {
namespace {

// SQL for each column's sort key; the date column sorts by date, then time.
constexpr std::array<std::string_view, kLogViewColumns> kSortKeys = {
    "connectdate, ConnectTime", "IP1", "IP2", "Host", "StatusCode", "BLInfo", "BLType"};
constexpr std::array<std::string_view, kLogViewColumns> kIndexNames = {
    "date", "ip1", "ip2", "host", "status", "blinfo", "bltype"};

}  // namespace

Status LogTableView::Open(const std::filesystem::path& db_file, std::string_view gateway) {
  db_file_ = db_file;
  gateway_ = gateway;
  sort_column_ = -1;
  return db_.Open(db_file, ReportDb::Mode::kReadOnly, gateway_);
}

Status LogTableView::RowCount(std::int64_t* count) {
  return db_.CountRows("select * from tbl_log", count);
}

Status LogTableView::SetSort(int column, bool descending) {
  if (column < 0 || column >= kLogViewColumns) return Status::Error("No such column.");
  if (db_.kind() == DbKind::kPostgres) {
    // A fleet's table is shared: building an index would hold up every
    // gateway's appends. The server sorts the page it is asked for.
    sort_column_ = column;
    descending_ = descending;
    return Status::Ok();
  }
  // The index needs a writing connection; the view's own one stays read-only.
  ReportDb writer;
  if (Status s = writer.Open(db_file_, ReportDb::Mode::kReadWrite); !s.ok) return s;
  std::string ddl = std::string("CREATE INDEX IF NOT EXISTS ") + kSortIndexPrefix +
                    std::string(kIndexNames[column]) + " ON tbl_log (" +
                    std::string(kSortKeys[column]) + ")";
  if (Status s = writer.Exec(ddl); !s.ok) return s;
  writer.Close();
  // Reopen so the read-only connection sees the new schema at once.
  if (Status s = db_.Open(db_file_, ReportDb::Mode::kReadOnly, gateway_); !s.ok) return s;
  sort_column_ = column;
  descending_ = descending;
  return Status::Ok();
}

Status LogTableView::FetchRows(std::int64_t offset, std::int64_t limit,
                               std::vector<LogViewRow>* rows) {
  rows->clear();
  std::string order = "rowid";
  if (sort_column_ >= 0) {
    std::string direction = descending_ ? " DESC" : "";
    std::string keys(kSortKeys[sort_column_]);
    if (sort_column_ == 0) keys = "connectdate" + direction + ", ConnectTime";
    order = keys + direction + ", rowid";
  }
  Statement query;
  if (Status s = db_.PrepareNative(
          "SELECT rowid, connectdate, ConnectTime, IP1, IP2, Host, StatusCode, BLInfo, BLType "
          "FROM tbl_log ORDER BY " +
              order +
              (db_.kind() == DbKind::kPostgres ? " LIMIT $1 OFFSET $2" : " LIMIT ?1 OFFSET ?2"),
          &query);
      !s.ok) {
    return s;
  }
  query.BindInt64(1, limit);
  query.BindInt64(2, offset);
  while (query.Step()) {
    LogViewRow row;
    row.rowid = query.Int64(0);
    row.columns[0] = DisplayDate(query.Text(1)) + " " + DisplayTime(query.Text(2));
    for (int i = 1; i < kLogViewColumns; ++i) row.columns[i] = std::string(query.Text(i + 2));
    rows->push_back(std::move(row));
  }
  if (!query.error().empty()) return Status::Error(query.error());
  return Status::Ok();
}

std::string CopyEntriesText(std::span<const LogViewRow> rows) {
  std::string text;
  for (const LogViewRow& row : rows) {
    text += row.columns[0];
    text += ' ';
    for (int i = 1; i < kLogViewColumns; ++i) {
      text += row.columns[i];
      text += ' ';
    }
    text += "\r\n";
  }
  return text;
}

}  // namespace vantry::analyser
