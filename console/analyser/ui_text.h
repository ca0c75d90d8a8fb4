#pragma once

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QString>
#include <string>
#include <string_view>

// Kept apart from the main window's private helpers of the same names.
namespace vantry::console::ui {

/// The core's UTF-8 texts as QString.
inline QString Qs(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
/// A QString as the core's UTF-8 text.
inline std::string Std(const QString& text) { return text.toUtf8().toStdString(); }

/// Gives a widget its control name (tests and style sheets find it by it).
template <typename W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

/// Selects and scrolls to one row of a list view.
inline void SelectRow(QAbstractItemView* view, int row) {
  QModelIndex index = view->model()->index(row, 0);
  view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
  view->scrollTo(index);
}

/// The selected row of a single-selection list view; -1 when none.
inline int SelectedRow(const QAbstractItemView* view) {
  const QModelIndexList rows = view->selectionModel()->selectedIndexes();
  return rows.isEmpty() ? -1 : rows.first().row();
}

}  // namespace vantry::console::ui
