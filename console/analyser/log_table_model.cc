#include "log_table_model.h"

#include <algorithm>
#include <limits>

namespace vantry::console {
namespace {

constexpr std::size_t kCachedPages = 16;

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), text.size()); }

}  // namespace

LogTableModel::LogTableModel(QObject* parent) : QAbstractTableModel(parent) {}

analyser::Status LogTableModel::Open(const std::filesystem::path& db_file,
                                     std::string_view gateway) {
  beginResetModel();
  pages_.clear();
  page_order_.clear();
  last_error_.clear();
  open_ = false;
  rows_ = 0;
  view_ = std::make_unique<analyser::LogTableView>();
  analyser::Status status = view_->Open(db_file, gateway);
  std::int64_t count = 0;
  if (status.ok) status = view_->RowCount(&count);
  if (status.ok) {
    open_ = true;
    // A view holds at most INT_MAX rows; a log that large is not shown in full.
    rows_ = static_cast<int>(std::min<std::int64_t>(count, std::numeric_limits<int>::max()));
  }
  if (!open_) view_.reset();
  endResetModel();
  return status;
}

void LogTableModel::Clear() {
  beginResetModel();
  view_.reset();  // closes the read-only connection
  pages_.clear();
  page_order_.clear();
  open_ = false;
  rows_ = 0;
  endResetModel();
}

int LogTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int LogTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : analyser::kLogViewColumns;
}

const analyser::LogViewRow* LogTableModel::Row(int row) const {
  if (!open_ || row < 0 || row >= rows_) return nullptr;
  int page = row / kPageRows;
  auto found = pages_.find(page);
  if (found == pages_.end()) {
    std::vector<analyser::LogViewRow> rows;
    analyser::Status s = view_->FetchRows(std::int64_t{page} * kPageRows, kPageRows, &rows);
    if (!s.ok) {
      last_error_ = QString::fromStdString(s.message);
      return nullptr;
    }
    if (page_order_.size() >= kCachedPages) {
      pages_.erase(page_order_.front());
      page_order_.pop_front();
    }
    page_order_.push_back(page);
    found = pages_.emplace(page, std::move(rows)).first;
  }
  std::size_t offset = static_cast<std::size_t>(row % kPageRows);
  return offset < found->second.size() ? &found->second[offset] : nullptr;
}

QVariant LogTableModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid()) return {};
  const analyser::LogViewRow* row = Row(index.row());
  if (row == nullptr) return {};
  return FromUtf8(row->columns[static_cast<std::size_t>(index.column())]);
}

QVariant LogTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
      section >= analyser::kLogViewColumns) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  std::string_view header = analyser::kLogViewHeaders[static_cast<std::size_t>(section)];
  return QString::fromUtf8(header.data(), static_cast<qsizetype>(header.size()));
}

void LogTableModel::sort(int column, Qt::SortOrder order) {
  if (!open_) return;
  beginResetModel();
  pages_.clear();
  page_order_.clear();
  analyser::Status s = view_->SetSort(column, order == Qt::DescendingOrder);
  last_error_ = s.ok ? QString() : QString::fromStdString(s.message);
  endResetModel();
}

QString LogTableModel::CopyText(QList<int> rows) const {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  std::vector<analyser::LogViewRow> picked;
  if (!open_) return {};
  // Contiguous runs are fetched with one query each, so "select all" on a big
  // log costs a few queries, not one per row.
  for (qsizetype i = 0; i < rows.size();) {
    qsizetype j = i + 1;
    while (j < rows.size() && rows[j] == rows[j - 1] + 1) ++j;
    std::vector<analyser::LogViewRow> run;
    analyser::Status s = view_->FetchRows(rows[i], rows[j - 1] - rows[i] + 1, &run);
    if (!s.ok) {
      last_error_ = QString::fromStdString(s.message);
      return {};
    }
    for (auto& row : run) picked.push_back(std::move(row));
    i = j;
  }
  return FromUtf8(analyser::CopyEntriesText(picked));
}

}  // namespace vantry::console
