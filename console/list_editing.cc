#include "list_editing.h"

#include <QLineEdit>
#include <QListWidget>
#include <memory>

namespace vantry::console {

void InsertSorted(QListWidget* list, const QString& text) {
  int row = 0;
  while (row < list->count()) {
    const QString other = list->item(row)->text();
    int order = QString::compare(other, text, Qt::CaseInsensitive);
    if (order > 0 || (order == 0 && QString::compare(other, text) > 0)) break;
    ++row;
  }
  list->insertItem(row, text);
}

bool AddListEntry(ListKind kind, QLineEdit* text_box, QListWidget* list) {
  const QString typed = text_box->text().trimmed();
  // The manual list compares the typed text as typed with the lower-cased entry.
  const QString wanted = kind == ListKind::kManual ? typed : typed.toLower();
  for (int i = 0; i < list->count(); ++i) {
    if (list->item(i)->text().toLower() == wanted) return false;
  }
  if (typed.isEmpty()) return false;
  if (kind == ListKind::kZones) {
    list->addItem(typed);
  } else {
    InsertSorted(list, typed);
  }
  text_box->clear();
  if (kind != ListKind::kZones) text_box->setFocus();
  return true;
}

bool DeleteListEntry(QLineEdit* text_box, QListWidget* list) {
  int row = list->currentRow();
  if (row < 0 || !list->item(row)->isSelected()) return false;
  text_box->setText(list->item(row)->text());
  text_box->selectAll();
  text_box->setFocus();
  std::unique_ptr<QListWidgetItem>(list->takeItem(row));  // the list gave up ownership
  return true;
}

std::vector<std::string> ListEntries(const QListWidget* list) {
  std::vector<std::string> entries;
  for (int i = 0; i < list->count(); ++i) entries.push_back(list->item(i)->text().toStdString());
  return entries;
}

}  // namespace vantry::console
