#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
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

/// The analysis window in its own world: a temporary program folder (home of
/// report.dpr), console folder, scripted dialogs and recorded monitor calls.
class AnalyserUiFixture : public ::testing::Test {
 protected:
  AnalyserUiFixture();
  ~AnalyserUiFixture() override;

  /// Builds and shows the window.
  FrmLogA& NewWindow();
  /// Writes a log file into the temporary folder and returns its path.
  QString WriteLog(const char* name, const std::vector<std::string>& lines);
  /// "&Open Log" with the given file chosen, then waits for the import to end.
  void Import(const QString& log_path);

  template <typename T>
  T* Find(const char* name) {
    T* found = window_->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  bool Enabled(const char* name) { return Find<QWidget>(name)->isEnabled(); }
  void Click(const char* name);
  /// Runs `act` on the modal dialog that `open` shows, once it is up; returns
  /// the dialog's object name.
  QString WithModal(const std::function<void()>& open, const std::function<void(QWidget*)>& act);
  /// Waits (running the event loop) until the condition holds.
  static bool WaitFor(const std::function<bool()>& condition, int timeout_ms = 10000);

  /// The messages shown so far, as "title|text".
  QStringList MessageTexts() const;

  vantry::testing::TempDir dir_;
  std::filesystem::path program_folder_;
  std::filesystem::path console_folder_;
  ScriptedDesktopServices services_;
  analyser::ReportParams params_;
  std::vector<std::string> monitor_calls_;
  std::unique_ptr<FrmLogA> window_;
};

}  // namespace vantry::console::testing
