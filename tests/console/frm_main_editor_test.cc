#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>

#include "console_check_box.h"
#include "console_fixture.h"
#include "frm_main.h"
#include "stored_settings.h"

namespace vantry::console::testing {
namespace {

using vantry::testing::ReadFileText;
using vantry::testing::WriteFileText;

const char kZoneMsg[] = "No RBL Database servers given.  1 added by default.\n\n";
const char kPortMsg[] =
    "Gateway Incoming Port must have a port value between 1 and 65535.  Default set to 25.\n\n";
const char kHostMsg[] = "No SMTP redirect host listed.  Default set to localhost.\n\n";
const char kSmtpPortMsg[] = "No SMTP redirect port listed.  Default set to 24.\n\n";
const char kSocksMsg[] =
    "Number of sockets must be between 100 and 5000.   Default of 255 has been set.\n\n";
const char kExceptMsg[] =
    "Cannot use exceptions list without any exceptions.  Exceptions disabled by default.\n\n";
const char kManualMsg[] =
    "Cannot use manual blocking without listing hosts to block.  Manual blocking disabled by "
    "default.\n\n";

class EditorTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    WriteDefaultSettings();
    WriteFileText(ProgramFile("rbl.cfg"), "zone.a\r\nzone.b\r\nzone.c\r\n");
    WriteFileText(ProgramFile("exlst.cfg"), "10.0.0.9\r\n10.0.0.1\r\n");
    WriteFileText(ProgramFile("manbl.cfg"), "192.0.2.5\r\n");
    LoadedWindow();
  }
  ConsoleCheckBox* Box(const char* name) { return Find<ConsoleCheckBox>(name); }
  QComboBox* Socks() { return Find<QComboBox>("txtSocks"); }
  /// Saves and returns the summary text ("" when none was shown).
  QString Save() {
    services_.messages.clear();
    EXPECT_TRUE(window_->ApplyConfig());
    for (const auto& m : services_.messages) {
      if (m.title == "Korvane Vantry Monitor") {
        EXPECT_EQ(m.icon, QMessageBox::Information);
        return m.text;
      }
    }
    return {};
  }
  std::int32_t Stored(const char* name) { return RegValueInt32(StoredSetting(name)); }
  std::string StoredText(const char* name) { return RegValueText(StoredSetting(name)); }
  void SelectRow(const char* list, int row) { Find<QListWidget>(list)->setCurrentRow(row); }
};

TEST_F(EditorTest, ShowConfigFillsControlsAndListsInTheirOrder) {
  EXPECT_EQ(ListItems("lbRBLDNS"), (QStringList{"zone.a", "zone.b", "zone.c"}));
  EXPECT_EQ(ListItems("lbExcept"), (QStringList{"10.0.0.1", "10.0.0.9"}));  // sorted
  EXPECT_EQ(Find<QLineEdit>("txtLocalPort")->text(), "25");
  EXPECT_EQ(Find<QLineEdit>("txtSMTPServer")->text(), "localhost");
  EXPECT_EQ(Find<QLineEdit>("txtSMTPPort")->text(), "24");
  EXPECT_EQ(Socks()->currentText(), "255");
  EXPECT_EQ(Box("chkBlk2")->Value(), 1);
  EXPECT_EQ(Box("chkBlk3")->Value(), 0);
  EXPECT_EQ(Box("chkBlkAll")->Value(), 0);
  EXPECT_TRUE(Find<QAction>("mnuServerConfigBlockTypes2")->isChecked());
  EXPECT_TRUE(Find<QRadioButton>("optBlockMsg1")->isChecked());
  EXPECT_TRUE(Find<QLineEdit>("txtBlockMsg")->isEnabled());
  EXPECT_FALSE(Find<QPushButton>("cmdAddRBL")->isEnabled());
  EXPECT_FALSE(window_->config_changed());
}

TEST_F(EditorTest, EveryCorrectionInOrderInOneSummary) {
  for (int i = 0; i < 3; ++i) {
    SelectRow("lbRBLDNS", 0);
    Click("cmdDelRBL");
  }
  for (int i = 0; i < 2; ++i) {
    SelectRow("lbExcept", 0);
    Click("cmdDelExcept");
  }
  SelectRow("lbManBlock", 0);
  Click("cmdDelManBlock");
  Type("txtLocalPort", "70000");
  Type("txtSMTPServer", "   ");
  Type("txtSMTPPort", "");
  Socks()->setEditText("99");
  EXPECT_EQ(Save(), QString(kZoneMsg) + kPortMsg + kHostMsg + kSmtpPortMsg + kSocksMsg +
                        kExceptMsg + kManualMsg);
  EXPECT_EQ(ListItems("lbRBLDNS"), QStringList{"bl.spamcop.net"});
  EXPECT_EQ(ReadFileText(ProgramFile("rbl.cfg")), "bl.spamcop.net\r\n");
  EXPECT_EQ(StoredText("LocalPort"), "25");
  EXPECT_EQ(StoredText("SMTPHost"), "localhost");
  EXPECT_EQ(StoredText("SMTPPort"), "24");
  EXPECT_EQ(Stored("MaxSocks"), 255);
  EXPECT_EQ(Stored("UseExceptions"), 0);
  EXPECT_EQ(Stored("UseManual"), 0);
  EXPECT_FALSE(Find<QGroupBox>("frExceptions")->isEnabled());
  EXPECT_FALSE(window_->config_changed());
}

// A folder in a list file's place cannot be read, not even by root.
void MakeUnreadable(const std::string& path) {
  std::filesystem::remove(path);
  ASSERT_TRUE(std::filesystem::create_directory(path));
}

TEST_F(EditorTest, ListsThatCouldNotBeReadAreNeitherCorrectedNorSwitchedOff) {
  window_.reset();
  MakeUnreadable(ProgramFile("rbl.cfg"));
  MakeUnreadable(ProgramFile("exlst.cfg"));
  MakeUnreadable(ProgramFile("manbl.cfg"));
  services_.messages.clear();
  LoadedWindow();
  ASSERT_FALSE(services_.messages.isEmpty());
  EXPECT_EQ(services_.messages[0].icon, QMessageBox::Warning);
  EXPECT_TRUE(services_.messages[0].text.contains("manbl.cfg"));
  EXPECT_EQ(Box("chkUseManBlock")->Value(), 1);
  EXPECT_EQ(Box("chkUseExceptions")->Value(), 1);

  Type("txtSMTPServer", "mail.test");
  // The boxes are empty only because the files could not be read: no
  // correction, and the gateway keeps using the lists it can read.
  EXPECT_EQ(Save(), "");
  EXPECT_EQ(Stored("UseManual"), 1);
  EXPECT_EQ(Stored("UseExceptions"), 1);
  EXPECT_EQ(StoredText("SMTPHost"), "mail.test");
  EXPECT_TRUE(ListItems("lbRBLDNS").isEmpty());
  EXPECT_TRUE(Find<QGroupBox>("frManBLock")->isEnabled());
  for (const char* name : {"rbl.cfg", "exlst.cfg", "manbl.cfg"}) {
    EXPECT_TRUE(std::filesystem::is_directory(ProgramFile(name))) << name;
  }
}

TEST_F(EditorTest, AListUnreadAtLoadIsKeptWhenItsFileIsReadableAtSave) {
  window_.reset();
  MakeUnreadable(ProgramFile("manbl.cfg"));
  LoadedWindow();
  EXPECT_TRUE(ListItems("lbManBlock").isEmpty());
  // Entries typed into it would not be saved: it cannot be edited; the others can.
  for (const char* name : {"txtManBlock", "cmdAddManBlock", "lbManBlock", "cmdDelManBlock"}) {
    EXPECT_FALSE(Find<QWidget>(name)->isEnabled()) << name;
  }
  for (const char* name : {"txtExclude", "lbExcept", "txtNewRBL", "lbRBLDNS"}) {
    EXPECT_TRUE(Find<QWidget>(name)->isEnabled()) << name;
  }
  // The user fixes the file after the warning, then edits and saves.
  std::filesystem::remove(ProgramFile("manbl.cfg"));
  const std::string blocks = "192.0.2.66\r\n192.0.2.67\r\n";
  WriteFileText(ProgramFile("manbl.cfg"), blocks);
  Type("txtSMTPServer", "mail.test");
  Type("txtExclude", "10.0.0.5");
  Click("cmdAddExclude");
  EXPECT_EQ(Save(), "");
  EXPECT_EQ(ReadFileText(ProgramFile("manbl.cfg")), blocks);
  EXPECT_EQ(Stored("UseManual"), 1);
  EXPECT_EQ(ReadFileText(ProgramFile("exlst.cfg")), "10.0.0.1\r\n10.0.0.5\r\n10.0.0.9\r\n");
  EXPECT_EQ(ReadFileText(ProgramFile("rbl.cfg")), "zone.a\r\nzone.b\r\nzone.c\r\n");
}

TEST_F(EditorTest, PortAndSocketValuesAreCorrectedOrKept) {
  struct Case {
    const char* local_port;
    const char* socks;
    QString summary;
    const char* saved_port;
    int saved_socks;
  };
  const Case cases[] = {
      {"0", "5001", kPortMsg, "25", 255},  // 5001 already became 255 while typed
      {"-5", "", QString(kPortMsg) + kSocksMsg, "25", 255},
      {"", "100", kPortMsg, "25", 100},
      {"  110  ", " 5000 ", "", "110", 5000},
      {"65535", "2.5e3", kSocksMsg, "65535", 255},  // 2.5 reads as below 100
  };
  for (const Case& c : cases) {
    Type("txtLocalPort", c.local_port);
    Socks()->setEditText(c.socks);
    EXPECT_EQ(Save(), c.summary) << c.local_port << " / " << c.socks;
    EXPECT_EQ(StoredText("LocalPort"), c.saved_port) << c.local_port;
    EXPECT_EQ(Stored("MaxSocks"), c.saved_socks) << c.socks;
  }
  Type("txtSMTPPort", "0");
  EXPECT_EQ(Save(), kSmtpPortMsg);
  Type("txtSMTPPort", " 2424 ");
  EXPECT_EQ(Save(), "");
  EXPECT_EQ(StoredText("SMTPPort"), "2424");
}

TEST_F(EditorTest, SocketBoxFiltersKeysAndResetsAbove5000) {
  QLineEdit* edit = Socks()->lineEdit();
  edit->selectAll();
  QTest::keyClicks(edit, "3a0-0x");
  EXPECT_EQ(Socks()->currentText(), "300");
  QTest::keyClick(edit, Qt::Key_Backspace);
  EXPECT_EQ(Socks()->currentText(), "30");
  edit->selectAll();
  QTest::keyClicks(edit, "6000");
  EXPECT_EQ(Socks()->currentText(), "255");  // 6000 turns into 255 at once
  EXPECT_TRUE(window_->config_changed());
}

TEST_F(EditorTest, RedirectPort25WarnsOnLeavingTheFieldAndIsKept) {
  auto* port = Find<QLineEdit>("txtSMTPPort");
  port->setFocus();
  Type("txtSMTPPort", "25");
  // Switching to another program or opening a menu is not leaving the field.
  for (Qt::FocusReason away : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason}) {
    QFocusEvent event(QEvent::FocusOut, away);
    QApplication::sendEvent(port, &event);
  }
  EXPECT_TRUE(services_.messages.isEmpty());
  QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(port, &leave);
  ASSERT_EQ(services_.messages.size(), 1);
  EXPECT_EQ(services_.messages[0].icon, QMessageBox::Warning);
  EXPECT_TRUE(services_.messages[0].text.startsWith(
      "A connection to the redirected SMTP server may not be possible if the host is the same as "
      "the Vantry gateway.  Please make sure"));
  EXPECT_EQ(Save(), "");
  EXPECT_EQ(StoredText("SMTPPort"), "25");
}

TEST_F(EditorTest, DuplicateRulesOfTheThreeLists) {
  Type("txtNewRBL", "ZONE.B");
  Click("cmdAddRBL");
  EXPECT_EQ(ListItems("lbRBLDNS").size(), 3);  // case-insensitive duplicate
  EXPECT_FALSE(window_->config_changed());
  Type("txtNewRBL", "  zone.d  ");
  Click("cmdAddRBL");
  EXPECT_EQ(ListItems("lbRBLDNS"), (QStringList{"zone.a", "zone.b", "zone.c", "zone.d"}));
  EXPECT_TRUE(Find<QLineEdit>("txtNewRBL")->text().isEmpty());
  EXPECT_FALSE(Find<QPushButton>("cmdAddRBL")->isEnabled());

  Type("txtExclude", "10.0.0.1");
  Click("cmdAddExclude");
  EXPECT_EQ(ListItems("lbExcept").size(), 2);
  WriteFileText(ProgramFile("exlst.cfg"), "mail.example\r\n");
  WriteFileText(ProgramFile("manbl.cfg"), "spam.example\r\n");
  LoadedWindow();
  Type("txtExclude", "MAIL.Example");
  Click("cmdAddExclude");
  EXPECT_EQ(ListItems("lbExcept"), QStringList{"mail.example"});
  Type("txtManBlock", "SPAM.Example");  // capitals never match the lower-cased entry
  Click("cmdAddManBlock");
  EXPECT_EQ(ListItems("lbManBlock"), (QStringList{"SPAM.Example", "spam.example"}));
  Type("txtManBlock", "spam.example");
  Click("cmdAddManBlock");
  EXPECT_EQ(ListItems("lbManBlock").size(), 2);
  Type("txtManBlock", "   ");
  Click("cmdAddManBlock");
  EXPECT_EQ(ListItems("lbManBlock").size(), 2);

  Type("txtExclude", "1.2.3.4 office");  // kept as typed, cut on the next load
  Click("cmdAddExclude");
  Save();
  EXPECT_EQ(ReadFileText(ProgramFile("exlst.cfg")), "1.2.3.4 office\r\nmail.example\r\n");
  LoadedWindow();
  EXPECT_EQ(ListItems("lbExcept"), (QStringList{"1.2.3.4", "mail.example"}));
}

TEST_F(EditorTest, DeleteAndMoveNeedASelectionAndMoveStopsAtTheEnds) {
  Click("cmdDelExcept");
  Click("cmdUpDB");
  EXPECT_EQ(ListItems("lbExcept").size(), 2);
  SelectRow("lbRBLDNS", 0);
  Click("cmdUpDB");
  SelectRow("lbRBLDNS", 2);
  Click("cmdDownDB");
  EXPECT_EQ(ListItems("lbRBLDNS"), (QStringList{"zone.a", "zone.b", "zone.c"}));
  EXPECT_FALSE(window_->config_changed());

  SelectRow("lbExcept", 1);
  Click("cmdDelExcept");  // the deleted entry comes back into the box, selected
  EXPECT_EQ(ListItems("lbExcept"), QStringList{"10.0.0.1"});
  EXPECT_EQ(Find<QLineEdit>("txtExclude")->selectedText(), "10.0.0.9");
  EXPECT_TRUE(window_->config_changed());
  Click("cmdUpDB");
  Click("cmdUpDB");
  EXPECT_EQ(ListItems("lbRBLDNS"), (QStringList{"zone.c", "zone.a", "zone.b"}));
  EXPECT_EQ(Find<QListWidget>("lbRBLDNS")->currentRow(), 0);
  Click("cmdDownDB");
  Save();
  EXPECT_EQ(ReadFileText(ProgramFile("rbl.cfg")), "zone.a\r\nzone.c\r\nzone.b\r\n");
}

TEST_F(EditorTest, BlockAllStoresTwoAndReloadsAsPlainlyChecked) {
  Trigger("mnuServerConfigBlockTypesAll");
  EXPECT_TRUE(Find<QAction>("mnuServerConfigBlockTypesAll")->isChecked());
  EXPECT_EQ(Box("chkBlkAll")->Value(), 2);
  for (int t = 2; t <= 9; ++t) {
    EXPECT_EQ(Box(QString("chkBlk%1").arg(t).toUtf8())->Value(), 2) << t;
    EXPECT_TRUE(Find<QAction>(QString("mnuServerConfigBlockTypes%1").arg(t).toUtf8())->isChecked());
  }
  Trigger("mnuServerConfigBlockTypesAll");  // only ever checked
  EXPECT_TRUE(Find<QAction>("mnuServerConfigBlockTypesAll")->isChecked());
  Save();
  for (int t = 2; t <= 9; ++t) EXPECT_EQ(Stored(QString("BlockT%1").arg(t).toUtf8()), 2);
  LoadedWindow();
  for (int t = 2; t <= 9; ++t) EXPECT_EQ(Box(QString("chkBlk%1").arg(t).toUtf8())->Value(), 1);
  EXPECT_EQ(Box("chkBlkAll")->Value(), 0);

  Box("chkBlkAll")->click();  // on: all grayed; off again: all cleared
  EXPECT_EQ(Box("chkBlk5")->Value(), 2);
  Box("chkBlkAll")->click();
  EXPECT_EQ(Box("chkBlk5")->Value(), 0);
  EXPECT_FALSE(Find<QAction>("mnuServerConfigBlockTypes5")->isChecked());
}

TEST_F(EditorTest, TypeAndLogMenuEntriesToggleTheirBoxes) {
  for (int t : {3, 6, 7}) {
    QByteArray entry = QString("mnuServerConfigBlockTypes%1").arg(t).toUtf8();
    QByteArray box = QString("chkBlk%1").arg(t).toUtf8();
    Trigger(entry);
    EXPECT_EQ(Box(box)->Value(), 1) << t;
    EXPECT_TRUE(Find<QAction>(entry)->isChecked());
    Trigger(entry);
    EXPECT_EQ(Box(box)->Value(), 0) << t;
    EXPECT_FALSE(Find<QAction>(entry)->isChecked());
  }
  Box("chkBlk4")->click();
  EXPECT_TRUE(Find<QAction>("mnuServerConfigBlockTypes4")->isChecked());

  // The logging marks follow their boxes, so the entries toggle what is shown.
  EXPECT_TRUE(Find<QAction>("mnuServerConfigLogSuccess")->isChecked());
  Trigger("mnuServerConfigLogSuccess");
  EXPECT_EQ(Box("chkLogOK")->Value(), 0);
  EXPECT_FALSE(Find<QAction>("mnuServerConfigLogSuccess")->isChecked());
  Box("chkLogOK")->click();
  EXPECT_TRUE(Find<QAction>("mnuServerConfigLogSuccess")->isChecked());
  Trigger("mnuServerConfigLogAll");
  EXPECT_EQ(Box("chkLogOK")->Value(), 2);
  EXPECT_EQ(Box("chkLogBL")->Value(), 2);
  EXPECT_TRUE(Find<QAction>("mnuServerConfigLogBlacklist")->isChecked());
  Save();
  EXPECT_EQ(Stored("LogOK"), 2);
  EXPECT_EQ(Stored("BlockT4"), 1);
}

TEST_F(EditorTest, MessageOptionsFramesAndBlockMessageEdits) {
  Trigger("mnuServerConfigBlockMsgsNoMsg");
  EXPECT_TRUE(Find<QRadioButton>("optBlockMsg0")->isChecked());
  EXPECT_FALSE(Find<QLineEdit>("txtBlockMsg")->isEnabled());
  EXPECT_TRUE(window_->config_changed());
  Save();
  EXPECT_EQ(Stored("UseBlockMsg"), 0);
  Trigger("mnuServerConfigBlockMsgsUseMsgs");
  EXPECT_TRUE(Find<QLineEdit>("txtBlockMsg")->isEnabled());
  EXPECT_EQ(Find<QLineEdit>("txtBlockMsg")->selectedText(), Find<QLineEdit>("txtBlockMsg")->text());
  Save();
  // An edit of the message marks a change and is stored.
  Type("txtBlockMsg", "Go away.");
  EXPECT_TRUE(window_->config_changed());
  Save();
  EXPECT_EQ(StoredText("BlockMsg"), "Go away.");
  EXPECT_EQ(Stored("UseBlockMsg"), 1);
  // Pasted line breaks become spaces: the message goes out as one line.
  Find<QLineEdit>("txtBlockMsg")->setText("Go away.\r\nNow.\nBye.");
  ASSERT_NE(Find<QLineEdit>("txtBlockMsg")->text().indexOf('\n'), -1);
  Save();
  EXPECT_EQ(StoredText("BlockMsg"), "Go away. Now. Bye.");

  Box("chkUseManBlock")->click();
  EXPECT_FALSE(Find<QGroupBox>("frManBLock")->isEnabled());
  Trigger("mnuServerConfigManualBlock");
  EXPECT_FALSE(Find<QLineEdit>("txtManBlock")->hasFocus());
  Box("chkUseManBlock")->click();
  EXPECT_TRUE(Find<QGroupBox>("frManBLock")->isEnabled());

  // IP-blocking values are written from their own boxes, untouched or not.
  SetRegValue("BlockAltIP", std::int64_t{0}, 4);
  LoadedWindow();
  Box("chkBlkNoRev")->click();
  Save();
  EXPECT_EQ(Stored("BlockAltIP"), 0);
  EXPECT_EQ(Stored("BlockNoHost"), 0);
}

TEST_F(EditorTest, RoundTripThroughRealFiles) {
  Type("txtLocalPort", "2525");
  Type("txtSMTPServer", "mx.internal");
  Type("txtSMTPPort", "2526");
  Socks()->setEditText("1000");
  Type("txtNewRBL", "zone.new");
  Click("cmdAddRBL");
  Type("txtManBlock", "203.0.113.9");
  Click("cmdAddManBlock");
  Box("chkBlk9")->click();
  Box("chkLogBL")->click();
  EXPECT_EQ(Save(), "");
  LoadedWindow();
  EXPECT_EQ(Find<QLineEdit>("txtLocalPort")->text(), "2525");
  EXPECT_EQ(Find<QLineEdit>("txtSMTPServer")->text(), "mx.internal");
  EXPECT_EQ(Find<QLineEdit>("txtSMTPPort")->text(), "2526");
  EXPECT_EQ(Socks()->currentText(), "1000");
  EXPECT_EQ(ListItems("lbRBLDNS"), (QStringList{"zone.a", "zone.b", "zone.c", "zone.new"}));
  EXPECT_EQ(ListItems("lbManBlock"), (QStringList{"192.0.2.5", "203.0.113.9"}));
  EXPECT_EQ(Box("chkBlk9")->Value(), 1);
  EXPECT_EQ(Box("chkLogBL")->Value(), 0);
  EXPECT_EQ(StoredText("PathEXE"), program_folder_);
}

TEST_F(EditorTest, SaveEntryFollowsTheFlagAndReportsAFailedSave) {
  auto* save = Find<QAction>("mnuServerConfigSaveSettings");
  Type("txtSMTPServer", "mx2.internal");
  ASSERT_TRUE(WaitFor([&] { return save->isEnabled(); }, 2500));
  WriteFileText(File("gone"), "");  // a file where the settings folder should be
  setenv("VANTRY_REGISTRY", File("gone/registry.reg").c_str(), 1);
  services_.messages.clear();
  save->trigger();
  ASSERT_EQ(services_.messages.size(), 1);
  EXPECT_EQ(services_.messages[0].icon, QMessageBox::Critical);
  EXPECT_TRUE(services_.messages[0].text.contains("settings file"));
  EXPECT_TRUE(services_.messages[0].text.contains("gone/registry.reg"));
  EXPECT_TRUE(window_->config_changed());
  setenv("VANTRY_REGISTRY", File("registry.reg").c_str(), 1);
  save->trigger();
  EXPECT_FALSE(window_->config_changed());
  EXPECT_TRUE(WaitFor([&] { return !save->isEnabled(); }, 2500));
}

}  // namespace
}  // namespace vantry::console::testing
