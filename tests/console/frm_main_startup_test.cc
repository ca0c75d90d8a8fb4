// The window's frame: start-up with and without the monitor channel, closing
// and exiting, watching on and off, the service restart, printing the log and
// the splash.
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <filesystem>

#include "console_fixture.h"
#include "frm_splash.h"
#include "mod_slot_out.h"
#include "qt_desktop_services.h"
#include "settings_schema.h"

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
  // Missing list files are made, public zones to start with, and shown as made.
  EXPECT_EQ(ReadFileText(ProgramFile("rbl.cfg")),
            "zen.spamhaus.org\r\nbl.spamcop.net\r\nb.barracudacentral.org\r\n");
  EXPECT_EQ(ListItems("lbRBLDNS"),
            (QStringList{"zen.spamhaus.org", "bl.spamcop.net", "b.barracudacentral.org"}));
  Trigger("mnuMonitorStop");
  EXPECT_EQ(w.PanelText(5), "Logging Off");
  EXPECT_TRUE(Checked("mnuMonitorStop") && !Checked("mnuMonitorStart"));
  Trigger("mnuMonitorStart");
  EXPECT_EQ(w.PanelText(5), "Logging On");
}

TEST_F(StartupTest, ASaveRightAfterAnEditKeepsIt) {
  // Typed, added, saved and quit within a blink: the save entry
  // is there the moment the edit is, even with watching stopped.
  LoadedWindow();
  Trigger("mnuMonitorStop");
  Type("txtExclude", "10.9.8.7");
  QTest::mouseClick(Find<QAbstractButton>("cmdAddExclude"), Qt::LeftButton);
  EXPECT_TRUE(Enabled("mnuServerConfigSaveSettings"));
  Press(Qt::Key_S, Qt::ControlModifier);
  Press(Qt::Key_Q, Qt::ControlModifier);
  EXPECT_EQ(end_program_calls_, 1);
  EXPECT_EQ(ReadFileText(ProgramFile("exlst.cfg")), "10.9.8.7\r\n");
  EXPECT_FALSE(Enabled("mnuServerConfigSaveSettings"));
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
  // The unit that runs the gateway on this settings file, beside the system's own.
  const std::string units = dir_.File("units");
  std::filesystem::create_directories(units);
  WriteFileText(units + "/daskvantry.service", "[Service]\nExecStart=/usr/sbin/vantrysvc\n");
  WriteFileText(units + "/vantry-test.service",
                "[Service]\nExecStart=\"/opt/v%%1/vantrysvc\"\nEnvironment=\"VANTRY_REGISTRY=" +
                    dir_.File("registry.reg") + "\"\n");
  setenv("VANTRY_UNIT_DIR", units.c_str(), 1);
  restart_pause_ms_ = 600;
  FrmMain& w = LoadedWindow();
  Trigger("mnuServerConfigRestart");
  ASSERT_EQ(services_.programs.size(), 1);
  EXPECT_EQ(services_.programs[0].program, "systemctl");
  EXPECT_EQ(services_.programs[0].arguments, (QStringList{"stop", "vantry-test"}));
  EXPECT_FALSE(w.isEnabled());
  EXPECT_TRUE(QApplication::overrideCursor() &&
              QApplication::overrideCursor()->shape() == Qt::WaitCursor);
  EXPECT_EQ(w.PanelText(1), "Restarting Vantry Service...");
  QTest::qWait(300);  // the pause runs in the event loop, not in the handler
  EXPECT_EQ(services_.programs.size(), 1);
  ASSERT_TRUE(WaitFor([&] { return services_.programs.size() == 2; }, 3000));
  EXPECT_EQ(services_.programs[1].arguments, (QStringList{"start", "vantry-test"}));
  ASSERT_TRUE(WaitFor([&] { return w.isEnabled(); }));
  EXPECT_EQ(w.PanelText(1), "Vantry Service restarted (vantry-test)");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(services_.messages.isEmpty());

  // Closing halfway through a restart starts the service at once.
  restart_pause_ms_ = 5000;
  FrmMain& again = LoadedWindow();
  Trigger("mnuServerConfigRestart");
  ASSERT_TRUE(WaitFor([&] { return services_.programs.size() == 3; }));
  QTest::qWait(50);
  EXPECT_TRUE(again.close());
  ASSERT_EQ(services_.programs.size(), 4);
  EXPECT_EQ(services_.programs[3].arguments, (QStringList{"start", "vantry-test"}));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // A failing systemctl: its status and words in a box and the status bar, no start after it.
  restart_pause_ms_ = 200;
  FrmMain& third = LoadedWindow();
  services_.program_results = {{1, "System has not been booted with systemd as init system."}};
  Trigger("mnuServerConfigRestart");
  ASSERT_TRUE(WaitFor([&] { return third.isEnabled(); }));
  ExpectMessage(0, QMessageBox::Warning, "Vantry",
                "Cannot stop service, error.\n\nsystemctl stop vantry-test exited with status 1:\n"
                "System has not been booted with systemd as init system.");
  EXPECT_EQ(third.PanelText(1), "Restart failed: systemctl stop vantry-test exited with status 1");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  QTest::qWait(restart_pause_ms_ + 100);
  EXPECT_EQ(services_.programs.size(), 5);

  // A settings file no unit runs on: nothing to restart, and it says so.
  std::filesystem::remove(units + "/vantry-test.service");
  services_.messages.clear();
  Trigger("mnuServerConfigRestart");
  ExpectMessage(0, QMessageBox::Warning, "Vantry",
                "No service unit in " + QString::fromStdString(units));
  EXPECT_EQ(services_.programs.size(), 5);
  unsetenv("VANTRY_UNIT_DIR");

  // The production runner gives a program's status and what it wrote, or -1.
  QList<DesktopServices::ProgramResult> results;
  QtDesktopServices real;
  auto keep = [&](const DesktopServices::ProgramResult& r) { results.append(r); };
  real.RunProgram("sh", {"-c", "echo out; echo no unit >&2; exit 5"}, keep);
  real.RunProgram("/nonexistent/systemctl", {"stop"}, keep);
  ASSERT_TRUE(WaitFor([&] { return results.size() == 2; }));
  std::sort(results.begin(), results.end(),
            [](const auto& a, const auto& b) { return a.exit_status > b.exit_status; });
  EXPECT_EQ(results[0].exit_status, 5);
  EXPECT_EQ(results[0].output, "out\nno unit");
  EXPECT_EQ(results[1].exit_status, -1);
  EXPECT_FALSE(results[1].output.isEmpty());
}

TEST_F(StartupTest, FailedOpensSayWhyAndHelpOpensThePageShippedBesideTheProgram) {
  LoadedWindow();
  Focus("txtSMTPServer");
  Press(Qt::Key_F1);          // no help folder in this program folder
  Trigger("mnuFileOpenLog");  // no log yet
  WriteFileText(ProgramFile("vantry.log"), "x\r\n");
  services_.opens = false;
  Trigger("mnuFileOpenLog");
  Trigger("mnuHelpKorvane");
  ASSERT_EQ(services_.messages.size(), 4);
  const QString program = QString::fromStdString(program_folder_);
  ExpectMessage(0, QMessageBox::Warning, "Vantry", "Cannot open " + program + "/help/index.htm");
  ExpectMessage(1, QMessageBox::Warning, "Vantry", "Cannot open " + program + "/vantry.log");
  ExpectMessage(2, QMessageBox::Warning, "Vantry",
                "Cannot open " + program + "/vantry.log: no text editor");
  ExpectMessage(3, QMessageBox::Warning, "Vantry", "Cannot open https://");

  // The build puts the page beside the programs; it covers every Advanced setting.
  services_.opens = true;
  services_.messages.clear();
  program_folder_ = VANTRY_BIN_DIR;
  LoadedWindow();
  Focus("txtSMTPServer");
  Press(Qt::Key_F1);
  ASSERT_EQ(services_.opened_urls.size(), 2);  // the maker's page, then help
  EXPECT_TRUE(services_.messages.isEmpty());
  const std::string page = ReadFileText(services_.opened_urls[1].toLocalFile().toStdString());
  for (const SettingSpec& spec : SettingsSchema()) {
    if (spec.console_advanced || spec.console_save_rank > 0) {
      EXPECT_NE(page.find(std::string(spec.name)), std::string::npos) << spec.name;
    }
  }
}

class NoSettingsTest : public ConsoleFixture {};

TEST_F(NoSettingsTest, OffersTheDefaultsAndWritesNothingUnasked) {
  const std::string settings = dir_.File("registry.reg");
  for (const bool write : {false, true}) {
    SCOPED_TRACE(write);
    services_.messages.clear();
    services_.answers = {write ? QMessageBox::Yes : QMessageBox::No};
    FrmMain& w = LoadedWindow();
    ExpectMessage(0, QMessageBox::Warning, "Vantry Monitor",
                  "The settings file " + QString::fromStdString(settings) + " does not exist");
    EXPECT_EQ(services_.messages[0].buttons, QMessageBox::Yes | QMessageBox::No);
    // The gateway's defaults in the fields, never "1"; the zones a new list gets.
    QStringList shown;
    for (const char* name : {"txtLocalPort", "txtSMTPServer", "txtSMTPPort"}) {
      shown << Find<QLineEdit>(name)->text();
    }
    shown << Find<QComboBox>("txtSocks")->currentText();
    EXPECT_EQ(shown, (QStringList{"25", "localhost", "24", "255"}));
    EXPECT_EQ(ListItems("lbRBLDNS").size(), 3);
    EXPECT_EQ(w.config().PathEXE, program_folder_);
    EXPECT_EQ(std::filesystem::exists(settings), write);
    EXPECT_EQ(std::filesystem::exists(ProgramFile("rbl.cfg")), write);
  }
  // Byte for byte what the gateway's own repair writes.
  const std::string written = ReadFileText(settings);
  std::filesystem::remove(settings);
  WriteDefaultSettings();
  EXPECT_EQ(written, ReadFileText(settings));
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
