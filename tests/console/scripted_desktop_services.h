#pragma once

#include <QList>
#include <deque>
#include <string>

#include "desktop_services.h"

namespace vantry::console::testing {

/// Test double of DesktopServices: message boxes take scripted answers (or
/// the default button when none is scripted) and every call is recorded.
class ScriptedDesktopServices : public DesktopServices {
 public:
  struct Message {
    QMessageBox::Icon icon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
  };
  struct Program {
    QString program;
    QStringList arguments;
  };

  /// Answers for the next message boxes, in order.
  std::deque<QMessageBox::StandardButton> answers;
  /// Results of the next file dialogs, in order ("" = cancelled).
  std::deque<QString> file_names;
  /// What StartProgram, OpenUrl, OpenInTextEditor and printing return.
  bool programs_start = true;
  bool printer_available = true;

  QList<Message> messages;
  QList<Program> programs;
  QList<QUrl> opened_urls;
  QStringList opened_in_editor;
  QStringList printed;  // document names
  QStringList printed_texts;
  QStringList clipboard;

  QMessageBox::StandardButton ShowMessage(QWidget* parent, QMessageBox::Icon icon,
                                          const QString& title, const QString& text,
                                          QMessageBox::StandardButtons buttons) override;
  QString GetOpenFileName(QWidget*, const QString&, const QString&, const QString&) override;
  QString GetSaveFileName(QWidget*, const QString&, const QString&, const QString&) override;
  bool StartProgram(const QString& program, const QStringList& arguments) override;
  bool OpenUrl(const QUrl& url) override;
  bool OpenInTextEditor(const QString& path) override;
  bool PrintHtml(const QString& html, const QString& document_name) override;
  bool PrintText(const QString& text, const QString& document_name) override;
  void SetClipboardText(const QString& text) override;
};

}  // namespace vantry::console::testing
