#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

class QWidget;

namespace vantry::console {

/// Everything the console does that is modal or leaves the program: message
/// boxes, file dialogs, starting programs, shell open and print, the
/// clipboard. Production uses Qt (QtDesktopServices); tests script the
/// answers and record the calls, so nothing ever waits on a modal dialog.
class DesktopServices {
 public:
  virtual ~DesktopServices() = default;

  /// A modal message box; returns the button pressed (for a single-button
  /// box, that button).
  virtual QMessageBox::StandardButton ShowMessage(QWidget* parent, QMessageBox::Icon icon,
                                                  const QString& title, const QString& text,
                                                  QMessageBox::StandardButtons buttons) = 0;
  /// File dialogs; an empty result means the user cancelled.
  virtual QString GetOpenFileName(QWidget* parent, const QString& caption, const QString& dir,
                                  const QString& filter) = 0;
  virtual QString GetSaveFileName(QWidget* parent, const QString& caption, const QString& dir,
                                  const QString& filter) = 0;
  /// How a program run by RunProgram ended: its exit status (-1 when it could
  /// not start or died of a signal) and what it wrote on stdout and stderr.
  struct ProgramResult {
    int exit_status = -1;
    QString output;
  };
  /// Runs a program without blocking the event loop; `done` is called from the
  /// event loop once it has ended (or could not start).
  virtual void RunProgram(const QString& program, const QStringList& arguments,
                          std::function<void(const ProgramResult&)> done) = 0;
  /// The shell's "open" on a URL (web page or local file); false when refused.
  virtual bool OpenUrl(const QUrl& url) = 0;
  /// Opens a plain text file in the desktop's default text editor.
  virtual bool OpenInTextEditor(const QString& path) = 0;
  /// Prints an HTML document on the default printer; false when it could not.
  virtual bool PrintHtml(const QString& html, const QString& document_name) = 0;
  /// Prints plain text on the default printer through the same path as PrintHtml.
  virtual bool PrintText(const QString& text, const QString& document_name) = 0;
  /// Puts text on the clipboard.
  virtual void SetClipboardText(const QString& text) = 0;
};

}  // namespace vantry::console
