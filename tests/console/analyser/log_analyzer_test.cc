// The analyser inside the real console: File > Log Analyzer opens frmLogA,
// reports stop and restart real-time watching, the parameters outlive the window.
#include "log_analyzer.h"

#include <QAction>
#include <QPointer>
#include <QPushButton>

#include "analyser_fixture.h"
#include "console_fixture.h"
#include "frm_log_a.h"

namespace vantry::console::testing {
namespace {

using analyser::testing::CrLf;
using analyser::testing::LogLine;

class LogAnalyzerTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    WriteDefaultSettings();
    LoadedWindow();
    analyzer_ = InstallLogAnalyzer(*window_, services_);
  }
  LogAnalyzer* analyzer_ = nullptr;
};

TEST_F(LogAnalyzerTest, MenuOpensOneWindowThatReportsAroundTheMonitorAndParametersOutliveIt) {
  ASSERT_TRUE(window_->watching());
  Trigger("mnuFileLogAnalyze");
  QPointer<FrmLogA> analysis = analyzer_->window();
  ASSERT_TRUE(analysis && analysis->isVisible());
  EXPECT_TRUE(services_.messages.isEmpty()) << "no 'not part of this build' message";
  Trigger("mnuFileLogAnalyze");
  EXPECT_EQ(analyzer_->window(), analysis) << "one window, brought to the front";
  // The report database lives in the program folder (PathEXE).
  EXPECT_EQ(analysis->db_file(), std::filesystem::path(program_folder_) / "report.dpr");

  std::string log = dir_.File("vantry.log");
  vantry::testing::WriteFileText(log, CrLf({LogLine("OK", "10.0.0.1", "2003-05-01", "10:00")}));
  services_.file_names.push_back(QString::fromStdString(log));
  analysis->findChild<QPushButton*>("cmdOpen")->click();
  ASSERT_TRUE(WaitFor([&] { return !analysis->importing(); }));

  // Watching stopped by hand: the report stops it and starts it again afterwards.
  Trigger("mnuMonitorStop");
  EXPECT_FALSE(window_->watching());
  QStringList toggles;
  QObject::connect(Find<QAction>("mnuMonitorStop"), &QAction::toggled, window_.get(),
                   [&](bool on) { toggles << (on ? "stop" : "start"); });
  analyzer_->params().MaxResults = 1;
  analysis->findChild<QPushButton*>("cmdReport")->click();
  EXPECT_EQ(toggles, QStringList({"start"})) << "Stop was already checked; Start unchecks it";
  EXPECT_TRUE(window_->watching());
  EXPECT_TRUE(analysis->findChild<QPushButton*>("cmdSave")->isEnabled());
  toggles.clear();
  analysis->findChild<QPushButton*>("cmdReport")->click();  // refused: no limit
  EXPECT_EQ(toggles, QStringList({"stop", "start"}));

  // The window is deleted when closed and made again; the parameters stay.
  analyzer_->params().DateStart = "05/01/2003";
  analysis->close();
  ASSERT_TRUE(WaitFor([&] { return analysis.isNull(); }));
  EXPECT_EQ(analyzer_->window(), nullptr);
  Trigger("mnuFileLogAnalyze");
  ASSERT_NE(analyzer_->window(), nullptr);
  EXPECT_EQ(analyzer_->params().DateStart, "05/01/2003");
  EXPECT_EQ(analyzer_->params().LogFile, log);
}

}  // namespace
}  // namespace vantry::console::testing
