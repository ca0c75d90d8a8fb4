#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

#include "analyser_fixture.h"
#include "frm_log_a.h"
#include "report_params.h"
#include "scripted_desktop_services.h"
#include "temp_dir.h"

/// Readable QString values in GoogleTest failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace vantry::console::testing {

using analyser::testing::CrLf;
using analyser::testing::LogLine;

/// The control of that name inside a window or dialog; fails the test when missing.
template <typename T>
T* Child(QWidget* root, const char* name) {
  T* found = root->findChild<T*>(name);
  EXPECT_NE(found, nullptr) << name;
  return found;
}
/// Replaces a line edit's text with key presses, as a person types it.
inline void Type(QWidget* root, const char* name, const QString& text) {
  auto* box = Child<QLineEdit>(root, name);
  box->clear();
  QTest::keyClicks(box, text);
}
/// Clicks a button that must be enabled.
inline void Press(QWidget* root, const char* name) {
  auto* button = Child<QAbstractButton>(root, name);
  ASSERT_NE(button, nullptr);
  ASSERT_TRUE(button->isEnabled()) << name << " is disabled";
  button->click();
}

/// The analysis window in its own world: a temporary program folder (home of
/// report.dpr), console folder, scripted dialogs and recorded monitor calls.
class AnalyserUiFixture : public ::testing::Test {
 protected:
  AnalyserUiFixture() {
    std::filesystem::create_directories(program_folder_);
    std::filesystem::create_directories(console_folder_);
  }
  ~AnalyserUiFixture() override {
    if (window_) window_->close();
  }

  FrmLogAOptions Options() {
    FrmLogAOptions options;
    options.program_folder = QString::fromStdString(program_folder_.string());
    options.console_folder = QString::fromStdString(console_folder_.string());
    return options;
  }
  /// Builds and shows the window.
  FrmLogA& NewWindow() {
    FrmLogAOptions options = Options();
    options.monitor_stop = [this] { monitor_calls_.push_back("stop"); };
    options.monitor_start = [this] { monitor_calls_.push_back("start"); };
    window_ = std::make_unique<FrmLogA>(services_, params_, options);
    window_->show();
    return *window_;
  }
  /// Writes a log file into the temporary folder and returns its path.
  QString WriteLog(const char* name, const std::vector<std::string>& lines) {
    vantry::testing::WriteFileText(dir_.path() / name, CrLf(lines));
    return QString::fromStdString((dir_.path() / name).string());
  }
  /// "&Open Log" with the given file chosen, then waits for the import to end.
  void Import(const QString& log_path) {
    services_.file_names.push_back(log_path);
    Click("cmdOpen");
    ASSERT_TRUE(WaitFor([&] { return !window_->importing(); })) << "import did not end";
  }

  template <typename T>
  T* Find(const char* name) {
    return Child<T>(window_.get(), name);
  }
  bool Enabled(const char* name) { return Find<QWidget>(name)->isEnabled(); }
  void Click(const char* name) { Press(window_.get(), name); }
  /// Runs `act` on the modal dialog that `open` shows, once it is up; returns
  /// the dialog's object name.
  QString WithModal(const std::function<void()>& open, const std::function<void(QWidget*)>& act) {
    QString name;
    // Polls from inside the dialog's own event loop; a dialog that never comes
    // up fails the test instead of hanging it.
    std::function<void()> poll;
    QElapsedTimer clock;
    clock.start();
    poll = [&] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        name = modal->objectName();
        act(modal);
      } else if (clock.elapsed() < 5000) {
        QTimer::singleShot(10, poll);
      }
    };
    QTimer::singleShot(0, poll);
    open();
    EXPECT_FALSE(name.isEmpty()) << "no modal dialog came up";
    return name;
  }
  static bool WaitFor(const std::function<bool()>& condition, int timeout_ms = 10000) {
    return QTest::qWaitFor(condition, timeout_ms);
  }

  vantry::testing::TempDir dir_;
  std::filesystem::path program_folder_ = dir_.path() / "program";
  std::filesystem::path console_folder_ = dir_.path() / "console";
  ScriptedDesktopServices services_;
  analyser::ReportParams params_;
  std::vector<std::string> monitor_calls_;
  std::unique_ptr<FrmLogA> window_;
};

}  // namespace vantry::console::testing
