#include "unattended_desktop_services.h"

#include <cstdio>

namespace vantry::console {

QMessageBox::StandardButton UnattendedDesktopServices::ShowMessage(
    QWidget*, QMessageBox::Icon, const QString& title, const QString& text,
    QMessageBox::StandardButtons buttons) {
  std::fprintf(stderr, "[%s] %s\n", qPrintable(title), qPrintable(text));
  return buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
}

}  // namespace vantry::console
