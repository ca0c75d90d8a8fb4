#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QTest>
#include <QWidget>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "frm_main.h"
#include "scripted_desktop_services.h"
#include "temp_dir.h"

/// Readable QString values in GoogleTest failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os) {
  *os << '{' << list.join("\", \"").toStdString() << '}';
}

namespace vantry::console::testing {

/// A console in its own world: a temporary settings file, program folder and
/// monitor channel name, scripted dialogs, and a main window built on demand.
class ConsoleFixture : public ::testing::Test {
 protected:
  ConsoleFixture();
  ~ConsoleFixture() override;

  /// Writes the gateway's install defaults with PathEXE = program folder.
  void WriteDefaultSettings();
  /// Builds the main window (not yet loaded).
  FrmMain& NewWindow();
  /// Builds and loads the main window.
  FrmMain& LoadedWindow();

  template <typename T>
  T* Find(const char* name) {
    T* found = window_->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  /// Texts of the rows of a list box.
  QStringList ListItems(const char* name);
  /// Sets a line edit's text as typing would (signals included).
  void Type(const char* name, const QString& text);
  void Click(const char* name);
  void Trigger(const char* action_name);
  /// Waits (running the event loop) until the condition holds.
  static bool WaitFor(const std::function<bool()>& condition, int timeout_ms = 5000);

  std::string File(const char* name) const { return dir_.File(name); }
  std::string ProgramFile(const char* name) const { return program_folder_ + "/" + name; }

  vantry::testing::TempDir dir_;
  std::string program_folder_;
  std::string mailslot_;
  ScriptedDesktopServices services_;
  int end_program_calls_ = 0;
  int restart_pause_ms_ = 200;
  std::unique_ptr<FrmMain> window_;
};

}  // namespace vantry::console::testing
