#pragma once

#include "desktop_services.h"

namespace vantry::console {

/// Desktop services for tools that run the windows with nobody in front of
/// them (benchmarks, screenshot makers): message boxes are printed on stderr
/// and answered Yes (or OK), the open dialog returns open_file_name, and
/// nothing leaves the program.
class UnattendedDesktopServices : public DesktopServices {
 public:
  QString open_file_name;

  QMessageBox::StandardButton ShowMessage(QWidget* parent, QMessageBox::Icon icon,
                                          const QString& title, const QString& text,
                                          QMessageBox::StandardButtons buttons) override;
  QString GetOpenFileName(QWidget*, const QString&, const QString&, const QString&) override {
    return open_file_name;
  }
  QString GetSaveFileName(QWidget*, const QString&, const QString&, const QString&) override {
    return {};
  }
  void RunProgram(const QString&, const QStringList&,
                  std::function<void(const ProgramResult&)> done) override {
    done({-1, "no program is run unattended"});
  }
  bool OpenUrl(const QUrl&) override { return false; }
  bool OpenInTextEditor(const QString&) override { return false; }
  bool PrintHtml(const QString&, const QString&) override { return false; }
  bool PrintText(const QString&, const QString&) override { return false; }
  void SetClipboardText(const QString&) override {}
};

}  // namespace vantry::console
