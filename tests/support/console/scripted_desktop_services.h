#pragma once

#include <QList>
#include <QTimer>
#include <deque>

#include "desktop_services.h"

namespace vantry::console::testing {

/// Test double of DesktopServices: message boxes take scripted answers (or
/// the first button the box offers, as Enter would) and every call is recorded.
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

  std::deque<QMessageBox::StandardButton> answers;  ///< for the next message boxes
  std::deque<QString> file_names;                   ///< for the next file dialogs; "" = cancel
  std::deque<ProgramResult> program_results;        ///< for the next programs run; else status 0
  bool printer_available = true;
  bool opens = true;  ///< whether a browser or editor can be started

  QList<Message> messages;
  QList<Program> programs;
  QList<QUrl> opened_urls;
  QStringList opened_in_editor, printed_texts, clipboard;
  QStringList printed;  ///< document names

  QMessageBox::StandardButton ShowMessage(QWidget*, QMessageBox::Icon icon, const QString& title,
                                          const QString& text,
                                          QMessageBox::StandardButtons buttons) override {
    messages.append({icon, title, text, buttons});
    if (!answers.empty()) {
      QMessageBox::StandardButton answer = answers.front();
      answers.pop_front();
      return answer;
    }
    for (auto b : {QMessageBox::Ok, QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}) {
      if (buttons.testFlag(b)) return b;
    }
    return QMessageBox::NoButton;
  }
  QString GetOpenFileName(QWidget*, const QString&, const QString&, const QString&) override {
    if (file_names.empty()) return {};
    QString name = file_names.front();
    file_names.pop_front();
    return name;
  }
  QString GetSaveFileName(QWidget* w, const QString& c, const QString& d,
                          const QString& f) override {
    return GetOpenFileName(w, c, d, f);
  }
  void RunProgram(const QString& program, const QStringList& arguments,
                  std::function<void(const ProgramResult&)> done) override {
    programs.append({program, arguments});
    ProgramResult result{0, {}};
    if (!program_results.empty()) {
      result = program_results.front();
      program_results.pop_front();
    }
    // As a real program: the result comes from the event loop, later.
    QTimer::singleShot(0, [done = std::move(done), result] { done(result); });
  }
  bool OpenUrl(const QUrl& url) override {
    opened_urls.append(url);
    return opens;
  }
  bool OpenInTextEditor(const QString& path) override {
    opened_in_editor.append(path);
    return opens;
  }
  bool PrintHtml(const QString& html, const QString& name) override { return Print(html, name); }
  bool PrintText(const QString& text, const QString& name) override { return Print(text, name); }
  void SetClipboardText(const QString& text) override { clipboard.append(text); }

 private:
  bool Print(const QString& text, const QString& name) {
    printed.append(name);
    printed_texts.append(text);
    return printer_available;
  }
};

}  // namespace vantry::console::testing
