#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>

#include "console_fixture.h"
#include "frm_main.h"
#include "frm_splash.h"
#include "mod_slot_out.h"
#include "qt_desktop_services.h"

namespace vantry::console::testing {
namespace {

using vantry::testing::ReadFileText;
using vantry::testing::WriteFileText;

const char kChannelLessText[] =
    "Vantry Monitor cannot communicate with the Vantry service.\n"
    "This may be due to a previous instance of the monitor running, \n"
    "or the service is incorrectly configured.\n"
    "Please close any other instances of the monitor on this machine and try again.\n"
    "\n"
    "You may make changes to the configuration however, any other instance of the monitor running\n"
    "may override any changes you make.  Also real-time monitoring will be disabled\n";

class StartupTest : public ConsoleFixture {
 protected:
  void SetUp() override { WriteDefaultSettings(); }
  bool ChannelHeld() {
    SlotReader probe;
    return !probe.SlotCreate(mailslot_);
  }
};

TEST_F(StartupTest, WithChannelWaitsForServiceAndStartsClean) {
  FrmMain& w = LoadedWindow();
  EXPECT_TRUE(services_.messages.isEmpty());
  EXPECT_EQ(w.windowTitle(), "Dask Vantry Service Monitor - Vantry");
  EXPECT_EQ(w.PanelText(1), "Waiting for Vantry service");
  EXPECT_EQ(w.PanelText(5), "Monitor On");
  EXPECT_FALSE(w.PanelText(3).isEmpty());
  EXPECT_FALSE(w.PanelText(4).isEmpty());
  EXPECT_FALSE(w.config_changed());
  EXPECT_FALSE(Find<QAction>("mnuServerConfigSaveSettings")->isEnabled());
  EXPECT_TRUE(Find<QAction>("mnuMonitorStart")->isChecked());
  EXPECT_TRUE(Find<QAction>("mnuServerConfigRestart")->isEnabled());
  EXPECT_FALSE(Find<QAction>("mnuMonitorSelectServer")->isEnabled());
  EXPECT_TRUE(w.watching());
  EXPECT_TRUE(ChannelHeld());
  EXPECT_EQ(Find<QTabWidget>("tabMon")->count(), 4);
}

// Only the keys people use without the menu; the captions are layout.
TEST_F(StartupTest, CommandShortcuts) {
  LoadedWindow();
  for (auto [action, key] : {std::pair{"mnuServerConfigSaveSettings", "Ctrl+S"},
                             {"mnuServerConfigRestart", "Ctrl+R"},
                             {"mnuMonitorStop", "F11"},
                             {"mnuMonitorStart", "F12"},
                             {"mnuFileExit", "Ctrl+Q"}}) {
    EXPECT_EQ(Find<QAction>(action)->shortcut().toString(), key) << action;
  }
}

TEST_F(StartupTest, SecondConsoleGetsTheMessageAndEditsWithoutChannel) {
  ScriptedDesktopServices first_services;
  FrmMainOptions options;
  options.program_folder = program_folder_;
  FrmMain first(first_services, options);
  first.Load();
  ASSERT_TRUE(first_services.messages.isEmpty());

  FrmMain& second = LoadedWindow();
  ASSERT_EQ(services_.messages.size(), 1);
  EXPECT_EQ(services_.messages[0].icon, QMessageBox::Critical);
  EXPECT_EQ(services_.messages[0].title, "Vantry Monitor");
  EXPECT_EQ(services_.messages[0].text, kChannelLessText);
  EXPECT_EQ(second.PanelText(1), "Real-Time Monitor Disabled");
  EXPECT_EQ(second.PanelText(5), "Monitor Off");
  EXPECT_FALSE(Find<QAction>("mnuMonitorStop")->isEnabled());
  EXPECT_FALSE(Find<QAction>("mnuMonitorStart")->isEnabled());
  EXPECT_FALSE(Find<QAction>("mnuServerConfigRestart")->isEnabled());
  EXPECT_FALSE(second.watching());
  EXPECT_FALSE(second.config_changed());

  // Still a working configuration editor, also after the analyser's stop and
  // start around a report: the save entry follows the edits.
  second.MonitorStop();
  second.MonitorStart();
  EXPECT_EQ(second.PanelText(5), "Monitor Off");
  Type("txtLocalPort", "2525");
  EXPECT_TRUE(second.config_changed());
  EXPECT_TRUE(WaitFor([&] { return Find<QAction>("mnuServerConfigSaveSettings")->isEnabled(); }));
  ASSERT_TRUE(second.ApplyConfig());
  EXPECT_NE(ReadFileText(File("registry.reg")).find("\"LocalPort\"=\"2525\""), std::string::npos);
}

TEST_F(StartupTest, ClosingAsksOnlyWithChangesAndHonoursTheThreeAnswers) {
  FrmMain& w = LoadedWindow();
  EXPECT_TRUE(w.close());  // nothing changed: no question
  EXPECT_TRUE(services_.messages.isEmpty());
  EXPECT_FALSE(ChannelHeld());

  LoadedWindow();
  const std::string before = ReadFileText(File("registry.reg"));
  Type("txtSMTPServer", "mail.internal");
  services_.answers = {QMessageBox::Cancel};
  EXPECT_FALSE(window_->close());
  ASSERT_EQ(services_.messages.size(), 1);
  EXPECT_EQ(services_.messages[0].icon, QMessageBox::Question);
  EXPECT_EQ(services_.messages[0].title, "Korvane Vantry");
  EXPECT_EQ(services_.messages[0].buttons,
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  EXPECT_EQ(services_.messages[0].text,
            "You have made changes to the configuration of the Vantry service.\n"
            "Do you wish to save these changes before exiting?\n"
            "Click YES to save and exit.\n"
            "Click NO to exit without saving.\n"
            "Click Cancel to abort exit.\n");
  EXPECT_TRUE(window_->isVisible());
  EXPECT_TRUE(window_->config_changed());
  EXPECT_EQ(Find<QLineEdit>("txtSMTPServer")->text(), "mail.internal");
  EXPECT_TRUE(ChannelHeld());

  services_.answers = {QMessageBox::No};
  EXPECT_TRUE(window_->close());
  EXPECT_EQ(ReadFileText(File("registry.reg")), before);
  EXPECT_FALSE(ChannelHeld());

  LoadedWindow();
  Type("txtSMTPServer", "mail.internal");
  services_.messages.clear();
  services_.answers = {QMessageBox::Yes};
  EXPECT_TRUE(window_->close());
  EXPECT_NE(ReadFileText(File("registry.reg")).find("\"SMTPHost\"=\"mail.internal\""),
            std::string::npos);
}

TEST_F(StartupTest, YesWithAFailingSaveKeepsTheWindowOpen) {
  LoadedWindow();
  Type("txtSMTPServer", "mail.internal");
  std::filesystem::remove_all(program_folder_);  // the list files cannot be written now
  services_.answers = {QMessageBox::Yes};
  EXPECT_FALSE(window_->close());
  ASSERT_GE(services_.messages.size(), 2);  // question, corrections summary, failure
  const auto& failure = services_.messages.back();
  EXPECT_EQ(failure.icon, QMessageBox::Critical);
  EXPECT_TRUE(failure.text.contains("rbl.cfg")) << failure.text.toStdString();
  EXPECT_TRUE(window_->config_changed());
  EXPECT_TRUE(ChannelHeld());
}

TEST_F(StartupTest, FileExitEndsAtOnceWithoutQuestionOrSave) {
  LoadedWindow();
  const std::string before = ReadFileText(File("registry.reg"));
  Type("txtSMTPServer", "mail.internal");
  Trigger("mnuFileExit");
  EXPECT_TRUE(services_.messages.isEmpty());
  EXPECT_EQ(end_program_calls_, 1);
  EXPECT_FALSE(window_->isVisible());
  EXPECT_FALSE(ChannelHeld());
  EXPECT_EQ(ReadFileText(File("registry.reg")), before);
}

TEST_F(StartupTest, StopFreezesPollingAndSaveEntryStartResumes) {
  FrmMain& w = LoadedWindow();
  auto* save = Find<QAction>("mnuServerConfigSaveSettings");
  Trigger("mnuMonitorStop");
  EXPECT_EQ(w.PanelText(5), "Logging Off");
  EXPECT_TRUE(Find<QAction>("mnuMonitorStop")->isChecked());
  EXPECT_FALSE(Find<QAction>("mnuMonitorStart")->isChecked());
  EXPECT_FALSE(Find<QTimer>("tmr")->isActive());
  EXPECT_FALSE(Find<QTimer>("tmrConfig")->isActive());
  Type("txtSMTPPort", "2424");
  QTest::qWait(1300);
  EXPECT_FALSE(save->isEnabled());  // frozen while watching is off

  Trigger("mnuMonitorStart");
  EXPECT_EQ(w.PanelText(5), "Logging On");
  EXPECT_TRUE(Find<QAction>("mnuMonitorStart")->isChecked());
  EXPECT_FALSE(Find<QAction>("mnuMonitorStop")->isChecked());
  EXPECT_EQ(Find<QTimer>("tmr")->interval(), 250);
  EXPECT_TRUE(WaitFor([&] { return save->isEnabled(); }, 2500));
  // Repeating a command repeats its effect.
  Trigger("mnuMonitorStart");
  EXPECT_TRUE(Find<QAction>("mnuMonitorStart")->isChecked());
}

TEST_F(StartupTest, RestartStopsWaitsAndStartsWithoutBlocking) {
  restart_pause_ms_ = 600;
  FrmMain& w = LoadedWindow();
  Trigger("mnuServerConfigRestart");
  ASSERT_EQ(services_.programs.size(), 1);
  EXPECT_EQ(services_.programs[0].program, "systemctl");
  EXPECT_EQ(services_.programs[0].arguments, (QStringList{"stop", "daskvantry"}));
  EXPECT_FALSE(w.isEnabled());
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  EXPECT_EQ(w.PanelText(1), "Restarting Vantry Service...");

  // The event loop keeps running during the pause: a 20 ms timer fires many times.
  int ticks = 0;
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&] { ++ticks; });
  probe.start(20);
  QTest::qWait(300);
  EXPECT_GE(ticks, 5);
  EXPECT_EQ(services_.programs.size(), 1);
  EXPECT_FALSE(w.isEnabled());

  ASSERT_TRUE(WaitFor([&] { return services_.programs.size() == 2; }, 3000));
  EXPECT_EQ(services_.programs[1].arguments, (QStringList{"start", "daskvantry"}));
  EXPECT_TRUE(w.isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(w.PanelText(1), "Restarting Vantry Service...");
  EXPECT_TRUE(services_.messages.isEmpty());
}

TEST_F(StartupTest, ClosingDuringARestartStillStartsTheService) {
  restart_pause_ms_ = 5000;
  FrmMain& w = LoadedWindow();
  Trigger("mnuServerConfigRestart");
  ASSERT_EQ(services_.programs.size(), 1);
  EXPECT_TRUE(w.close());
  ASSERT_EQ(services_.programs.size(), 2);
  EXPECT_EQ(services_.programs[1].arguments, (QStringList{"start", "daskvantry"}));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(StartupTest, RestartWithoutSystemctlSaysCannotStop) {
  FrmMain& w = LoadedWindow();
  services_.programs_start = false;
  Trigger("mnuServerConfigRestart");
  ASSERT_EQ(services_.messages.size(), 1);
  EXPECT_EQ(services_.messages[0].text, "Cannot stop service, error.");
  EXPECT_EQ(services_.messages[0].title, "Vantry");
  EXPECT_EQ(services_.messages[0].icon, QMessageBox::Warning);
  EXPECT_TRUE(w.isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  QTest::qWait(restart_pause_ms_ + 100);
  EXPECT_EQ(services_.programs.size(), 1);  // no start after a failed stop
  // The production starter reports a program that does not exist.
  QtDesktopServices qt;
  EXPECT_FALSE(qt.StartProgram("/nonexistent/systemctl", {"stop", "daskvantry"}));
}

TEST_F(StartupTest, ShellEntriesOpenLogHelpPagePrintAndAnalyserHook) {
  FrmMain& w = LoadedWindow();
  Trigger("mnuFileOpenLog");
  EXPECT_EQ(services_.opened_in_editor,
            QStringList{QString::fromStdString(ProgramFile("vantry.log"))});
  Trigger("mnuHelpContents");
  Trigger("mnuHelpKorvane");
  ASSERT_EQ(services_.opened_urls.size(), 2);
  EXPECT_EQ(services_.opened_urls[0],
            QUrl::fromLocalFile(QString::fromStdString(ProgramFile("help/index.htm"))));
  EXPECT_EQ(services_.opened_urls[1], QUrl("https://www.vantry.example/"));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  Trigger("mnuFilePrintLog");  // no log yet: says so, prints nothing
  ASSERT_EQ(services_.messages.size(), 1);
  EXPECT_TRUE(services_.messages[0].text.contains("vantry.log"));
  EXPECT_TRUE(services_.printed.isEmpty());
  WriteFileText(ProgramFile("vantry.log"), "255|0|OK|1.2.3.4|1.2.3.4|||2026-06-14|09:05\r\n");
  Trigger("mnuFilePrintLog");
  ASSERT_EQ(services_.printed_texts.size(), 1);
  EXPECT_TRUE(services_.printed_texts[0].startsWith("255|0|OK|1.2.3.4"));
  EXPECT_EQ(services_.messages.size(), 1);  // a small log prints without a question
  // A big log asks first; No prints nothing.
  std::string big;
  while (big.size() <= (1u << 20)) big += "255|0|OK|1.2.3.4|1.2.3.4|||2026-06-14|09:05\r\n";
  WriteFileText(ProgramFile("vantry.log"), big);
  services_.answers.push_back(QMessageBox::No);
  Trigger("mnuFilePrintLog");
  ASSERT_EQ(services_.messages.size(), 2);
  EXPECT_TRUE(services_.messages[1].text.endsWith("Print it all?"))
      << services_.messages[1].text.toStdString();
  EXPECT_EQ(services_.printed_texts.size(), 1);
  services_.answers.push_back(QMessageBox::Yes);
  Trigger("mnuFilePrintLog");
  EXPECT_EQ(services_.printed_texts.size(), 2);
  services_.messages.clear();

  int opened = 0;
  w.SetLogAnalyzerOpener([&] { ++opened; });
  Trigger("mnuFileLogAnalyze");
  EXPECT_EQ(opened, 1);

  Trigger("mnuHelpAbout");
  EXPECT_EQ(Find<QTabWidget>("tabMon")->currentIndex(), 3);
  Trigger("mnuServerConfigShowActivity");
  EXPECT_EQ(Find<QTabWidget>("tabMon")->currentIndex(), 0);
}

TEST_F(StartupTest, SplashShowsLoadingTextThenTheMainWindowThenGoes) {
  NewWindow();
  QPointer<FrmSplash> splash;
  bool unloaded = false;
  splash = new FrmSplash(
      [&] {
        window_->Load([&] { unloaded = true; });
        window_->show();
      },
      50);
  splash->setAttribute(Qt::WA_DeleteOnClose);
  splash->show();
  EXPECT_EQ(splash->findChild<QLabel*>("lblStat")->text(), "Setting Service Information");
  ASSERT_TRUE(WaitFor([&] { return window_->isVisible(); }, 2000));
  EXPECT_TRUE(unloaded);
  ASSERT_TRUE(splash);
  EXPECT_EQ(splash->findChild<QLabel*>("lblStat")->text(), "Loading Configuration Data");
  EXPECT_EQ(splash->ticks(), 1);
  EXPECT_TRUE(WaitFor([&] { return splash.isNull(); }, 3000));  // second tick closes it
}

TEST_F(StartupTest, AMessageBoxWhileLoadingKeepsTheSplashUntilItIsAnswered) {
  // Loading that waits in an event loop of its own, as a message box does,
  // for longer than the splash's second tick.
  QPointer<FrmSplash> splash;
  bool splash_lived_through_loading = false;
  splash = new FrmSplash(
      [&] {
        QEventLoop box;
        QTimer::singleShot(1300, &box, &QEventLoop::quit);
        box.exec();
        splash_lived_through_loading = !splash.isNull();
      },
      20);
  splash->setAttribute(Qt::WA_DeleteOnClose);
  splash->show();
  ASSERT_TRUE(WaitFor([&] { return splash_lived_through_loading || splash.isNull(); }, 5000));
  EXPECT_TRUE(splash_lived_through_loading);
  EXPECT_TRUE(WaitFor([&] { return splash.isNull(); }, 3000));  // and then it goes
}

}  // namespace
}  // namespace vantry::console::testing
