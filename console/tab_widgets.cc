#include "tab_widgets.h"

#include <QLabel>

namespace vantry::console {

QLabel* Note(const QString& text) {
  auto* label = new QLabel(text);
  label->setWordWrap(true);
  QFont font = label->font();
  font.setItalic(true);
  label->setFont(font);
  return label;
}

void LockUnreadList(bool unread, std::initializer_list<QWidget*> controls) {
  if (!unread) return;
  for (QWidget* control : controls) control->setEnabled(false);
}

}  // namespace vantry::console
