#include "console_check_box.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace vantry::console {

ConsoleCheckBox::ConsoleCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {
  setTristate(true);
}

int ConsoleCheckBox::Value() const {
  switch (checkState()) {
    case Qt::Unchecked:
      return 0;
    case Qt::Checked:
      return 1;
    default:
      return 2;
  }
}

void ConsoleCheckBox::SetValue(int value) {
  setCheckState(value == 0 ? Qt::Unchecked : value == 1 ? Qt::Checked : Qt::PartiallyChecked);
}

void ConsoleCheckBox::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  if (option.state & QStyle::State_NoChange) {
    option.state &= ~QStyle::State_NoChange;
    option.state |= QStyle::State_On;
  }
  painter.drawControl(QStyle::CE_CheckBox, option);
}

void ConsoleCheckBox::nextCheckState() {
  setCheckState(checkState() == Qt::Unchecked ? Qt::Checked : Qt::Unchecked);
}

}  // namespace vantry::console
