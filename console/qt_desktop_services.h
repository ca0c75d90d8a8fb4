#pragma once

#include "desktop_services.h"

class QTextDocument;

namespace vantry::console {

/// The production services: QMessageBox, QFileDialog, QProcess, QDesktopServices,
/// QPrinter, QClipboard.
class QtDesktopServices : public DesktopServices {
 public:
  QMessageBox::StandardButton ShowMessage(QWidget* parent, QMessageBox::Icon icon,
                                          const QString& title, const QString& text,
                                          QMessageBox::StandardButtons buttons) override;
  QString GetOpenFileName(QWidget* parent, const QString& caption, const QString& dir,
                          const QString& filter) override;
  QString GetSaveFileName(QWidget* parent, const QString& caption, const QString& dir,
                          const QString& filter) override;
  void RunProgram(const QString& program, const QStringList& arguments,
                  std::function<void(const ProgramResult&)> done) override;
  bool OpenUrl(const QUrl& url) override;
  bool OpenInTextEditor(const QString& path) override;
  bool PrintHtml(const QString& html, const QString& document_name) override;
  bool PrintText(const QString& text, const QString& document_name) override;
  void SetClipboardText(const QString& text) override;

 private:
  static bool Print(QTextDocument& document, const QString& document_name);
};

}  // namespace vantry::console
