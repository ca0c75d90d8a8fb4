// The window's frame: start-up with and without the monitor channel, closing
// and exiting, watching on and off, the service restart, printing the log and
// the splash.
#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <filesystem>

#include "console_fixture.h"
#include "frm_splash.h"
#include "mod_slot_out.h"
#include "qt_desktop_services.h"

namespace vantry::console::testing {
namespace {

using vantry::testing::ReadFileText;
using vantry::testing::WriteFileText;

class StartupTest : public ConsoleFixture {
 protected:
  void SetUp() override { WriteDefaultSettings(); }
  bool ChannelHeld() {
    SlotReader probe;
    return !probe.SlotCreate(mailslot_);
  }
  bool Enabled(const char* action) { return Find<QAction>(action)->isEnabled(); }
  bool Checked(const char* action) { return Find<QAction>(action)->isChecked(); }
  std::string Settings() { return ReadFileText(dir_.File("registry.reg")); }
  bool Stored(const std::string& entry) { return Settings().find(entry) != std::string::npos; }
};

TEST_F(StartupTest, WithChannelWaitsForServiceAndStartsClean) {
  FrmMain& w = LoadedWindow();
  EXPECT_TRUE(services_.messages.isEmpty());
  EXPECT_EQ(w.windowTitle(), "Dask Vantry Service Monitor - Vantry");
  EXPECT_EQ(w.PanelText(1), "Waiting for Vantry service");
  EXPECT_EQ(w.PanelText(5), "Monitor On");
  EXPECT_FALSE(Enabled("mnuServerConfigSaveSettings"));
  EXPECT_TRUE(Checked("mnuMonitorStart") && !Checked("mnuMonitorStop"));
  EXPECT_TRUE(w.watching() && ChannelHeld());
  // Missing list files are made: public zones to start with, shown empty until the next load.
  EXPECT_EQ(ReadFileText(ProgramFile("rbl.cfg")),
            "zen.spamhaus.org\r\nbl.spamcop.net\r\nb.barracudacentral.org\r\n");
  EXPECT_TRUE(ListItems("lbRBLDNS").isEmpty());
  // Stop freezes polling and the save entry's timer; Start resumes both.
  Trigger("mnuMonitorStop");
  EXPECT_EQ(w.PanelText(5), "Logging Off");
  EXPECT_TRUE(Checked("mnuMonitorStop") && !Checked("mnuMonitorStart"));
  Type("txtSMTPPort", "2424");
  QTest::qWait(1300);
  EXPECT_FALSE(Enabled("mnuServerConfigSaveSettings"));
  Trigger("mnuMonitorStart");
  EXPECT_EQ(w.PanelText(5), "Logging On");
  EXPECT_TRUE(WaitFor([&] { return Enabled("mnuServerConfigSaveSettings"); }, 2500));
}

TEST_F(StartupTest, SecondConsoleGetsTheMessageAndEditsWithoutChannel) {
  SlotReader first;  // the channel as the first console holds it
  ASSERT_TRUE(first.SlotCreate(mailslot_));

  FrmMain& second = LoadedWindow();
  ASSERT_EQ(services_.messages.size(), 1);
  ExpectMessage(0, QMessageBox::Critical, "Vantry Monitor",
                "Vantry Monitor cannot communicate with the Vantry service.\n"
                "This may be due to a previous instance of the monitor running, \n");
  EXPECT_EQ(second.PanelText(1), "Real-Time Monitor Disabled");
  EXPECT_EQ(second.PanelText(5), "Monitor Off");
  for (const char* action : {"mnuMonitorStop", "mnuMonitorStart", "mnuServerConfigRestart"}) {
    EXPECT_FALSE(Enabled(action)) << action;
  }

  // Still a working configuration editor, also after the analyser's stop and
  // start around a report: the save entry follows the edits.
  second.MonitorStop();
  second.MonitorStart();
  EXPECT_EQ(second.PanelText(5), "Monitor Off");
  Type("txtLocalPort", "2525");
  EXPECT_TRUE(WaitFor([&] { return Enabled("mnuServerConfigSaveSettings"); }));
  ASSERT_TRUE(second.ApplyConfig());
  EXPECT_TRUE(Stored("\"LocalPort\"=\"2525\""));
}

TEST_F(StartupTest, ClosingAsksOnlyWithChangesAndExitDoesNotAsk) {
  FrmMain& w = LoadedWindow();
  EXPECT_TRUE(w.close());  // nothing changed: no question
  EXPECT_TRUE(services_.messages.isEmpty());
  EXPECT_FALSE(ChannelHeld());

  // Cancel keeps the window and its edits; so does Yes when the save fails.
  LoadedWindow();
  Type("txtSMTPServer", "mail.internal");
  std::filesystem::rename(program_folder_, program_folder_ + ".away");
  services_.answers = {QMessageBox::Cancel, QMessageBox::Yes, QMessageBox::Yes};
  EXPECT_FALSE(window_->close());
  ExpectMessage(0, QMessageBox::Question, "Korvane Vantry",
                "You have made changes to the configuration of the Vantry service.\n"
                "Do you wish to save these changes before exiting?\n");
  EXPECT_EQ(services_.messages[0].buttons,
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  EXPECT_FALSE(window_->close());
  ExpectMessage(services_.messages.size() - 1, QMessageBox::Critical, "Korvane Vantry Monitor",
                "The configuration was not saved.\n\nCannot write the list file");
  EXPECT_TRUE(services_.messages.back().text.contains("rbl.cfg"));
  EXPECT_TRUE(window_->config_changed() && ChannelHeld());
  std::filesystem::rename(program_folder_ + ".away", program_folder_);
  EXPECT_TRUE(window_->close());
  EXPECT_TRUE(Stored("\"SMTPHost\"=\"mail.internal\""));

  // No closes without saving.
  const std::string before = Settings();
  LoadedWindow();
  Type("txtSMTPServer", "mail.other");
  services_.answers = {QMessageBox::No};
  EXPECT_TRUE(window_->close());
  EXPECT_EQ(Settings(), before);
  EXPECT_FALSE(ChannelHeld());

  // File > Exit ends at once: no question, no save.
  LoadedWindow();
  Type("txtSMTPServer", "mail.other");
  services_.messages.clear();
  Trigger("mnuFileExit");
  EXPECT_TRUE(services_.messages.isEmpty());
  EXPECT_EQ(end_program_calls_, 1);
  EXPECT_FALSE(window_->isVisible() || ChannelHeld());
  EXPECT_EQ(Settings(), before);
}

TEST_F(StartupTest, RestartStopsWaitsWithoutBlockingAndStarts) {
  restart_pause_ms_ = 600;
  FrmMain& w = LoadedWindow();
  Trigger("mnuServerConfigRestart");
  ASSERT_EQ(services_.programs.size(), 1);
  EXPECT_EQ(services_.programs[0].program, "systemctl");
  EXPECT_EQ(services_.programs[0].arguments, (QStringList{"stop", "daskvantry"}));
  EXPECT_FALSE(w.isEnabled());
  EXPECT_TRUE(QApplication::overrideCursor() &&
              QApplication::overrideCursor()->shape() == Qt::WaitCursor);
  EXPECT_EQ(w.PanelText(1), "Restarting Vantry Service...");
  QTest::qWait(300);  // the pause runs in the event loop, not in the handler
  EXPECT_EQ(services_.programs.size(), 1);
  ASSERT_TRUE(WaitFor([&] { return services_.programs.size() == 2; }, 3000));
  EXPECT_EQ(services_.programs[1].arguments, (QStringList{"start", "daskvantry"}));
  EXPECT_TRUE(w.isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(services_.messages.isEmpty());

  // Closing halfway through a restart starts the service at once.
  restart_pause_ms_ = 5000;
  FrmMain& again = LoadedWindow();
  Trigger("mnuServerConfigRestart");
  EXPECT_TRUE(again.close());
  ASSERT_EQ(services_.programs.size(), 4);
  EXPECT_EQ(services_.programs[3].arguments, (QStringList{"start", "daskvantry"}));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // A stop that fails says so, and no start follows.
  restart_pause_ms_ = 200;
  FrmMain& third = LoadedWindow();
  services_.programs_start = false;
  Trigger("mnuServerConfigRestart");
  ExpectMessage(0, QMessageBox::Warning, "Vantry", "Cannot stop service, error.");
  EXPECT_TRUE(third.isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  QTest::qWait(restart_pause_ms_ + 100);
  EXPECT_EQ(services_.programs.size(), 5);
  // The production starter reports a program that does not exist.
  EXPECT_FALSE(QtDesktopServices().StartProgram("/nonexistent/systemctl", {"stop"}));
}

TEST_F(StartupTest, PrintTheLog) {
  LoadedWindow();
  Trigger("mnuFilePrintLog");  // no log yet: says so, prints nothing
  ExpectMessage(0, QMessageBox::Warning, "Vantry", "Cannot print ");
  const std::string line = "255|0|OK|1.2.3.4|1.2.3.4|||2026-06-14|09:05\r\n";
  WriteFileText(ProgramFile("vantry.log"), line);
  Trigger("mnuFilePrintLog");  // a small log prints without a question
  EXPECT_EQ(services_.printed_texts, QStringList{QString::fromStdString(line)});
  std::string big;
  while (big.size() <= (1u << 20)) big += line;
  WriteFileText(ProgramFile("vantry.log"), big);
  services_.answers = {QMessageBox::No, QMessageBox::Yes};
  Trigger("mnuFilePrintLog");  // a big one asks first; No prints nothing
  ASSERT_EQ(services_.messages.size(), 2);
  EXPECT_TRUE(services_.messages[1].text.endsWith("Print it all?"));
  EXPECT_EQ(services_.printed_texts.size(), 1);
  Trigger("mnuFilePrintLog");
  EXPECT_EQ(services_.printed_texts.size(), 2);
}

TEST_F(StartupTest, TheSplashShowsTheWindowAndOutlivesAMessageBoxWhileLoading) {
  // Loading that waits in an event loop of its own, as a message box does,
  // for longer than the splash's second tick.
  NewWindow();
  QPointer<FrmSplash> splash;
  bool splash_lived_through_loading = false;
  splash = new FrmSplash(
      [&] {
        window_->Load([&] {
          QEventLoop box;
          QTimer::singleShot(1300, &box, &QEventLoop::quit);
          box.exec();
          splash_lived_through_loading = !splash.isNull();
        });
        window_->show();
      },
      20);
  splash->setAttribute(Qt::WA_DeleteOnClose);
  splash->show();
  ASSERT_TRUE(WaitFor([&] { return window_->isVisible(); }, 5000));
  EXPECT_TRUE(splash_lived_through_loading);
  EXPECT_TRUE(WaitFor([&] { return splash.isNull(); }, 3000));  // and then it goes
}

}  // namespace
}  // namespace vantry::console::testing
