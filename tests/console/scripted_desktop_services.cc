#include "scripted_desktop_services.h"

namespace vantry::console::testing {

QMessageBox::StandardButton ScriptedDesktopServices::ShowMessage(
    QWidget*, QMessageBox::Icon icon, const QString& title, const QString& text,
    QMessageBox::StandardButtons buttons) {
  messages.append({icon, title, text, buttons});
  if (!answers.empty()) {
    QMessageBox::StandardButton answer = answers.front();
    answers.pop_front();
    return answer;
  }
  // Unscripted: the first button the box offers, as Enter would choose.
  for (auto button : {QMessageBox::Ok, QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}) {
    if (buttons.testFlag(button)) return button;
  }
  return QMessageBox::NoButton;
}

QString ScriptedDesktopServices::GetOpenFileName(QWidget*, const QString&, const QString&,
                                                 const QString&) {
  if (file_names.empty()) return {};
  QString name = file_names.front();
  file_names.pop_front();
  return name;
}

QString ScriptedDesktopServices::GetSaveFileName(QWidget* parent, const QString& caption,
                                                 const QString& dir, const QString& filter) {
  return GetOpenFileName(parent, caption, dir, filter);
}

bool ScriptedDesktopServices::StartProgram(const QString& program, const QStringList& arguments) {
  programs.append({program, arguments});
  return programs_start;
}

bool ScriptedDesktopServices::OpenUrl(const QUrl& url) {
  opened_urls.append(url);
  return true;
}

bool ScriptedDesktopServices::OpenInTextEditor(const QString& path) {
  opened_in_editor.append(path);
  return true;
}

bool ScriptedDesktopServices::PrintHtml(const QString& html, const QString& document_name) {
  printed.append(document_name);
  printed_texts.append(html);
  return printer_available;
}

bool ScriptedDesktopServices::PrintText(const QString& text, const QString& document_name) {
  printed.append(document_name);
  printed_texts.append(text);
  return printer_available;
}

void ScriptedDesktopServices::SetClipboardText(const QString& text) { clipboard.append(text); }

}  // namespace vantry::console::testing
