#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <unordered_map>
#include <vector>

#include "log_table_view.h"
#include "status.h"

namespace vantry::console {

/// The list view lvMain's model: tbl_log fetched a page at a time and sorted
/// by SQL, so a million-line log never becomes a million widget items.
class LogTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  /// Rows fetched per query while scrolling.
  static constexpr int kPageRows = 256;

  explicit LogTableModel(QObject* parent = nullptr);

  /// Shows the rows of tbl_log (after an import), in table order; one
  /// gateway's rows when a name is given.
  analyser::Status Open(const std::filesystem::path& db_file, std::string_view gateway = {});
  /// Empties the list and lets go of the database.
  void Clear();
  bool is_open() const { return open_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  /// Re-queries the table in the new order; the list shows the first rows again.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

  /// "&Copy This Entry" text for the given rows, copied in list order.
  QString CopyText(QList<int> rows) const;
  /// The database's message when a fetch or a sort failed; empty otherwise.
  const QString& last_error() const { return last_error_; }

 private:
  const analyser::LogViewRow* Row(int row) const;

  // Behind a pointer: a view owns its connection and cannot be reassigned.
  std::unique_ptr<analyser::LogTableView> view_;
  bool open_ = false;
  int rows_ = 0;
  // A handful of recently used pages; scrolling touches one or two at a time.
  mutable std::unordered_map<int, std::vector<analyser::LogViewRow>> pages_;
  mutable std::deque<int> page_order_;
  mutable QString last_error_;
};

}  // namespace vantry::console
