#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>

#include "frm_main.h"
#include "gateway_config.h"
#include "scripted_desktop_services.h"
#include "temp_dir.h"

/// Readable QString values (and lists of them) in GoogleTest failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace vantry::console::testing {

/// A console in its own world: a temporary settings file, program folder and
/// monitor channel name, scripted dialogs, and a main window built on demand.
class ConsoleFixture : public ::testing::Test {
 protected:
  ConsoleFixture() {
    std::filesystem::create_directories(program_folder_);
    setenv("VANTRY_REGISTRY", dir_.File("registry.reg").c_str(), 1);
    setenv("VANTRY_MAILSLOT", mailslot_.c_str(), 1);
  }
  ~ConsoleFixture() override {
    window_.reset();
    unsetenv("VANTRY_MAILSLOT");
    unsetenv("VANTRY_REGISTRY");
  }

  /// The gateway's install defaults, PathEXE = program folder.
  void WriteDefaultSettings() {
    std::string error;
    ASSERT_TRUE(vantry::WriteDefaults(program_folder_, &error)) << error;
  }
  FrmMain& NewWindow() {
    FrmMainOptions options;
    options.program_folder = program_folder_;
    options.end_program = [this] { ++end_program_calls_; };
    options.restart_pause_ms = restart_pause_ms_;
    window_ = std::make_unique<FrmMain>(services_, options);
    return *window_;
  }
  FrmMain& LoadedWindow() {
    NewWindow();
    window_->Load();
    window_->show();
    return *window_;
  }

  template <typename T>
  T* Find(const char* name) {
    T* found = window_->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QStringList ListItems(const char* name) {
    QStringList items;
    auto* list = Find<QListWidget>(name);
    for (int i = 0; list && i < list->count(); ++i) items << list->item(i)->text();
    return items;
  }
  /// Gives the named control the keyboard focus in the active window, as a click would.
  QWidget* Focus(const char* name) {
    QWidget* control = Find<QWidget>(name);
    QWidget* top = control->window();
    if (QApplication::activeWindow() != top) {
      top->activateWindow();
      EXPECT_TRUE(QTest::qWaitForWindowActive(top)) << name;
    }
    control->setFocus(Qt::MouseFocusReason);
    return QApplication::focusWidget();
  }
  /// Replaces a control's text with key presses to the widget that has the
  /// focus, as a person types it: End, Shift+Home, Delete, then the text.
  void Type(const char* name, const QString& text) {
    QWidget* focus = Focus(name);
    ASSERT_NE(focus, nullptr) << name;
    QTest::keyClick(focus, Qt::Key_End);
    QTest::keyClick(focus, Qt::Key_Home, Qt::ShiftModifier);
    QTest::keyClick(focus, Qt::Key_Delete);
    QTest::keyClicks(focus, text);
  }
  /// A key press (with modifiers) to the widget that has the focus: shortcuts act as typed.
  void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : window_.get();
    QTest::keyClick(focus, Qt::Key(key), modifiers);
  }
  void Click(const char* name) { Find<QAbstractButton>(name)->click(); }
  void Trigger(const char* action_name) { Find<QAction>(action_name)->trigger(); }
  /// Expects the `index`-th message box's icon and title, and a text beginning with `text`.
  void ExpectMessage(int index, QMessageBox::Icon icon, const QString& title, const QString& text) {
    ASSERT_LT(index, services_.messages.size());
    const ScriptedDesktopServices::Message& m = services_.messages[index];
    EXPECT_TRUE(m.icon == icon && m.title == title && m.text.startsWith(text))
        << m.icon << " " << m.title.toStdString() << ": " << m.text.toStdString();
  }
  static bool WaitFor(const std::function<bool()>& condition, int timeout_ms = 5000) {
    return QTest::qWaitFor(condition, timeout_ms);
  }

  std::string ProgramFile(const char* name) const { return program_folder_ + "/" + name; }

  vantry::testing::TempDir dir_;
  std::string program_folder_ = dir_.File("program");
  std::string mailslot_ = vantry::testing::UniqueName("vantry-console-test");
  ScriptedDesktopServices services_;
  int end_program_calls_ = 0;
  int restart_pause_ms_ = 200;
  std::unique_ptr<FrmMain> window_;
};

}  // namespace vantry::console::testing
