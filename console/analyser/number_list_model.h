#pragma once

#include <QAbstractListModel>
#include <cstdint>
#include <limits>

namespace vantry::console {

/// The rows "1" ... "n" of the address dialogs' limit lists (lbMax), computed
/// on demand: a log with a million addresses does not build a million items.
class NumberListModel : public QAbstractListModel {
 public:
  explicit NumberListModel(std::int64_t count, QObject* parent = nullptr)
      : QAbstractListModel(parent),
        count_(count < 0 ? 0
                         : static_cast<int>(
                               std::min<std::int64_t>(count, std::numeric_limits<int>::max()))) {}

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : count_;
  }
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    return QString::number(index.row() + 1);
  }

 private:
  int count_;
};

}  // namespace vantry::console
