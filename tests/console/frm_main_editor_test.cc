// The configuration editor driven through its controls: what a save
// corrects, what it stores, and how lists, boxes and menu marks follow edits.
#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>
#include <tuple>

#include "advanced_settings.h"
#include "console_check_box.h"
#include "console_fixture.h"
#include "settings_schema.h"
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
    WriteFileText(ProgramFile("manbl.cfg"), "spam.example\r\n192.0.2.5\r\n");
    LoadedWindow();
  }
  ConsoleCheckBox* Box(const QString& name) { return Find<ConsoleCheckBox>(name.toUtf8()); }
  bool Marked(const QString& entry) { return Find<QAction>(entry.toUtf8())->isChecked(); }
  QComboBox* Socks() { return Find<QComboBox>("txtSocks"); }
  /// Saves and returns the corrections summary ("" when none was shown).
  QString Save() {
    services_.messages.clear();
    EXPECT_TRUE(window_->ApplyConfig());
    for (const auto& m : services_.messages) {
      if (m.title == "Korvane Vantry Monitor" && m.icon == QMessageBox::Information) return m.text;
    }
    return {};
  }
  /// The stored values of the blank-separated settings, joined by blanks.
  QString Stored(const QString& names) {
    QStringList values;
    for (const QString& name : names.split(' ')) {
      values << QString::fromStdString(RegValueText(StoredSetting(name.toStdString())));
    }
    return values.join(' ');
  }
  void SelectRow(const char* list, int row) { Find<QListWidget>(list)->setCurrentRow(row); }
};

TEST_F(EditorTest, EveryCorrectionInOrderInOneSummary) {
  for (auto [list, del] : {std::pair{"lbRBLDNS", "cmdDelRBL"},
                           {"lbExcept", "cmdDelExcept"},
                           {"lbManBlock", "cmdDelManBlock"}}) {
    while (!ListItems(list).isEmpty()) {
      SelectRow(list, 0);
      Click(del);
    }
  }
  Type("txtLocalPort", "70000");
  Type("txtSMTPServer", "   ");
  Type("txtSMTPPort", "");
  Socks()->setEditText("99");
  EXPECT_EQ(Save(), QString(kZoneMsg) + kPortMsg + kHostMsg + kSmtpPortMsg + kSocksMsg +
                        kExceptMsg + kManualMsg);
  EXPECT_EQ(ListItems("lbRBLDNS"), QStringList{"bl.spamcop.net"});
  EXPECT_EQ(ReadFileText(ProgramFile("rbl.cfg")), "bl.spamcop.net\r\n");
  EXPECT_EQ(Stored("LocalPort SMTPHost SMTPPort MaxSocks UseExceptions UseManual"),
            "25 localhost 24 255 0 0");
  EXPECT_FALSE(Find<QGroupBox>("frExceptions")->isEnabled());
}

TEST_F(EditorTest, PortAndSocketValuesAreCorrectedOrKept) {
  struct Case {
    const char* local_port;
    const char* socks;
    QString summary;
    const char* saved;  // LocalPort and MaxSocks
  };
  const Case cases[] = {
      {"0", "5001", kPortMsg, "25 255"},  // 5001 already became 255 while typed
      {"-5", "", QString(kPortMsg) + kSocksMsg, "25 255"},
      {"", "100", kPortMsg, "25 100"},
      {"  110  ", " 5000 ", "", "110 5000"},
      {"65535", "2.5e3", kSocksMsg, "65535 255"},  // 2.5 reads as below 100
  };
  for (const Case& c : cases) {
    Type("txtLocalPort", c.local_port);
    Socks()->setEditText(c.socks);
    EXPECT_EQ(Save(), c.summary) << c.local_port << " / " << c.socks;
    EXPECT_EQ(Stored("LocalPort MaxSocks"), c.saved) << c.local_port << " / " << c.socks;
  }
  Type("txtSMTPPort", "0");
  EXPECT_EQ(Save(), kSmtpPortMsg);
  Type("txtSMTPPort", " 2424 ");
  EXPECT_EQ(Save(), "");
  EXPECT_EQ(Stored("SMTPPort"), "2424");
}

TEST_F(EditorTest, TheSocketCountTakesTypedDigitsAsTheyAreTyped) {
  // Typed into the box with the focus: letters and signs are dropped, the list
  // of counts completes nothing, above 5000 becomes 255.
  const std::pair<const char*, const char*> cases[] = {
      {"3a0-0x", "300"}, {"99", "99"}, {"6000", "255"}};
  for (auto [typed, shown] : cases) {
    Type("txtSocks", typed);
    EXPECT_EQ(Socks()->currentText(), shown) << typed;
  }
  Press(Qt::Key_Backspace);
  EXPECT_EQ(Socks()->currentText(), "25");
}

TEST_F(EditorTest, RedirectPort25WarnsOnLeavingTheFieldAndIsKept) {
  Type("txtSMTPPort", "25");
  // Switching to another program or opening a menu is not leaving the field.
  for (Qt::FocusReason reason :
       {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason, Qt::TabFocusReason}) {
    QFocusEvent event(QEvent::FocusOut, reason);
    QApplication::sendEvent(Find<QLineEdit>("txtSMTPPort"), &event);
  }
  ASSERT_EQ(services_.messages.size(), 1);
  ExpectMessage(0, QMessageBox::Warning, "Korvane Vantry",
                "A connection to the redirected SMTP server may not be possible if the host is "
                "the same as the Vantry gateway.  Please make sure");
  EXPECT_EQ(Save(), "");
  EXPECT_EQ(Stored("SMTPPort"), "25");
}

TEST_F(EditorTest, ListsUnreadAtLoadAreLockedUncorrectedAndLeftAlone) {
  window_.reset();
  // A folder in a list file's place cannot be read, not even by root.
  for (const char* name : {"rbl.cfg", "manbl.cfg"}) {
    std::filesystem::remove(ProgramFile(name));
    ASSERT_TRUE(std::filesystem::create_directory(ProgramFile(name)));
  }
  services_.messages.clear();
  LoadedWindow();
  ExpectMessage(0, QMessageBox::Warning, "Vantry Monitor",
                "These list files could not be read or created:\n");
  EXPECT_TRUE(services_.messages[0].text.contains("manbl.cfg") &&
              services_.messages[0].text.contains("rbl.cfg"));
  // Entries typed into them would not be saved: they cannot be edited; the other one can.
  for (const char* name : {"txtManBlock", "cmdAddManBlock", "lbManBlock", "cmdDelManBlock",
                           "txtNewRBL", "lbRBLDNS", "cmdUpDB"}) {
    EXPECT_FALSE(Find<QWidget>(name)->isEnabled()) << name;
  }
  EXPECT_TRUE(Find<QWidget>("txtExclude")->isEnabled());

  // The user repairs one file after the warning, then edits and saves: the
  // boxes are empty only because the files could not be read, so nothing is
  // corrected and neither file is replaced.
  std::filesystem::remove(ProgramFile("manbl.cfg"));
  WriteFileText(ProgramFile("manbl.cfg"), "192.0.2.66\r\n");
  Type("txtSMTPServer", "mail.test");
  Type("txtExclude", "10.0.0.5");
  Click("cmdAddExclude");
  EXPECT_EQ(Save(), "");
  EXPECT_EQ(Stored("UseManual SMTPHost"), "1 mail.test");
  EXPECT_EQ(ReadFileText(ProgramFile("manbl.cfg")), "192.0.2.66\r\n");
  EXPECT_TRUE(std::filesystem::is_directory(ProgramFile("rbl.cfg")));
  EXPECT_EQ(ReadFileText(ProgramFile("exlst.cfg")), "10.0.0.1\r\n10.0.0.5\r\n10.0.0.9\r\n");
}

TEST_F(EditorTest, AddRulesOfTheThreeLists) {
  // Box, Add button and list of each: zones, exceptions, manual blocks.
  const char* const kLists[3][3] = {{"txtNewRBL", "cmdAddRBL", "lbRBLDNS"},
                                    {"txtExclude", "cmdAddExclude", "lbExcept"},
                                    {"txtManBlock", "cmdAddManBlock", "lbManBlock"}};
  const std::tuple<int, const char*, const char*> cases[] = {
      // Zones: case-insensitive duplicates, appended in the order given.
      {0, "ZONE.B", "zone.a zone.b zone.c"},
      {0, "  zone.0  ", "zone.a zone.b zone.c zone.0"},
      // Exceptions: case-insensitive duplicates, kept sorted.
      {1, "10.0.0.5", "10.0.0.1 10.0.0.5 10.0.0.9"},
      {1, "A.Example", "10.0.0.1 10.0.0.5 10.0.0.9 A.Example"},
      {1, "a.EXAMPLE", "10.0.0.1 10.0.0.5 10.0.0.9 A.Example"},
      // Manual blocks: the text as typed against the lower-cased entries.
      {2, "spam.example", "192.0.2.5 spam.example"},
      {2, "SPAM.Example", "192.0.2.5 SPAM.Example spam.example"},
      {2, "   ", "192.0.2.5 SPAM.Example spam.example"},
  };
  for (auto [list, typed, after] : cases) {
    auto [box, add, items] = kLists[list];
    const bool added = ListItems(items).join(' ').size() < QString(after).size();
    Type(box, typed);
    Click(add);
    EXPECT_EQ(ListItems(items).join(' '), after) << typed;
    EXPECT_EQ(window_->config_changed(), added) << typed;
    EXPECT_EQ(Find<QLineEdit>(box)->text().isEmpty(), added) << typed;
    Save();
  }
  EXPECT_FALSE(Find<QPushButton>("cmdAddRBL")->isEnabled());  // the box was emptied
  EXPECT_EQ(ReadFileText(ProgramFile("rbl.cfg")), "zone.a\r\nzone.b\r\nzone.c\r\nzone.0\r\n");
}

TEST_F(EditorTest, DeleteAndMoveNeedASelectionAndMoveStopsAtTheEnds) {
  Click("cmdDelExcept");
  Click("cmdUpDB");
  SelectRow("lbRBLDNS", 0);
  Click("cmdUpDB");
  SelectRow("lbRBLDNS", 2);
  Click("cmdDownDB");
  EXPECT_EQ(ListItems("lbExcept").size(), 2);
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
  Click("cmdDownDB");
  Save();
  EXPECT_EQ(ReadFileText(ProgramFile("rbl.cfg")), "zone.a\r\nzone.c\r\nzone.b\r\n");
}

TEST_F(EditorTest, BlockAndLogMenuEntriesAndTheirBoxesFollowEachOther) {
  const QString kType = "mnuServerConfigBlockTypes%1";
  EXPECT_TRUE(Marked(kType.arg(2)) && !Marked(kType.arg(3)));  // set by the load's cascades
  Trigger("mnuServerConfigBlockTypesAll");
  Trigger("mnuServerConfigBlockTypesAll");  // only ever checked
  EXPECT_TRUE(Marked("mnuServerConfigBlockTypesAll"));
  for (int t = 2; t <= 9; ++t) EXPECT_TRUE(Marked(kType.arg(t))) << t;
  Save();
  EXPECT_EQ(Stored("BlockT2 BlockT3 BlockT4 BlockT5 BlockT6 BlockT7 BlockT8 BlockT9"),
            "2 2 2 2 2 2 2 2");
  Box("chkBlkAll")->click();  // a click on a grayed box turns it and all types off
  EXPECT_FALSE(Marked(kType.arg(5)));
  Trigger(kType.arg(6).toUtf8());
  EXPECT_EQ(Box("chkBlk6")->Value(), 1);
  Trigger(kType.arg(6).toUtf8());
  Box("chkBlk4")->click();
  // The logging entries toggle their boxes, whose marks follow them.
  Trigger("mnuServerConfigLogSuccess");
  Box("chkLogBL")->click();
  EXPECT_FALSE(Marked("mnuServerConfigLogSuccess") || Marked("mnuServerConfigLogBlacklist"));
  Save();
  EXPECT_EQ(Stored("BlockT4 BlockT5 BlockT6 LogOK LogBL"), "1 0 0 0 0");
  Trigger("mnuServerConfigLogAll");
  EXPECT_TRUE(Marked("mnuServerConfigLogBlacklist") && Marked("mnuServerConfigLogSuccess"));
  Save();
  EXPECT_EQ(Stored("LogOK LogBL"), "2 2");
}

TEST_F(EditorTest, MessageOptionsFramesAndTheBlockMessage) {
  auto* message = Find<QLineEdit>("txtBlockMsg");
  Trigger("mnuServerConfigBlockMsgsNoMsg");
  EXPECT_TRUE(Find<QRadioButton>("optBlockMsg0")->isChecked());
  EXPECT_FALSE(message->isEnabled());
  Save();
  EXPECT_EQ(Stored("UseBlockMsg"), "0");
  Trigger("mnuServerConfigBlockMsgsUseMsgs");
  EXPECT_EQ(message->selectedText(), message->text());
  Save();
  Type("txtBlockMsg", "Go away.");  // typing needs the box enabled again
  EXPECT_TRUE(window_->config_changed());
  Save();
  EXPECT_EQ(Stored("UseBlockMsg BlockMsg"), "1 Go away.");
  // Pasted line breaks become spaces: the message goes out as one line.
  message->setText("Go away.\r\nNow.\nBye.");
  ASSERT_NE(message->text().indexOf('\n'), -1);
  Save();
  EXPECT_EQ(Stored("BlockMsg"), "Go away. Now. Bye.");

  Box("chkUseManBlock")->click();
  EXPECT_FALSE(Find<QGroupBox>("frManBLock")->isEnabled());
  EXPECT_TRUE(Find<QGroupBox>("frExceptions")->isEnabled());

  // IP-blocking values are written from their own boxes, untouched or not.
  SetRegValue("BlockAltIP", std::int64_t{0}, 4);
  LoadedWindow();
  Box("chkBlkNoRev")->click();
  Save();
  EXPECT_EQ(Stored("BlockAltIP BlockNoHost"), "0 0");
}

TEST_F(EditorTest, ABoxOnByBlockAllLooksChecked) {
  ConsoleCheckBox box("Type 3");
  box.resize(box.sizeHint());
  auto look = [&](int value) {
    box.SetValue(value);
    return box.grab().toImage();
  };
  const QImage checked = look(1);
  EXPECT_EQ(look(2), checked);
  EXPECT_NE(look(0), checked);
}

// The Advanced tab's settings with a value of each kind the gateway takes.
const std::pair<const char*, const char*> kAdvancedValues[] = {
    {"DNSServers", "192.0.2.53, [2001:db8::53]:5353"},
    {"MaxPerIP", "0"},
    {"IdleTimeout", "90"},
    {"ProxyOut", "2"},
    {"ProxyFrom", "10.0.0.0/8,192.0.2.7"},
    {"ListenAddress", "2001:db8::25"},
    {"DNSCacheSize", "5000"},
    {"ZoneCheck", "0"},
    {"MetricsListen", "127.0.0.1:9125"},
    {"ReportDB", "postgresql://vantry@db.internal/reports"},
};

TEST_F(EditorTest, AdvancedValuesRoundTripThroughTheSettingsFile) {
  int advanced_rows = 0;
  for (const SettingSpec& spec : SettingsSchema()) advanced_rows += spec.console_advanced;
  ASSERT_EQ(advanced_rows, std::size(kAdvancedValues));
  // Untouched, none is written: an existing file gains nothing.
  Type("txtSMTPServer", "mail.test");
  Save();
  const std::string settings = ReadFileText(dir_.File("registry.reg"));
  for (auto [name, text] : kAdvancedValues) {
    EXPECT_EQ(settings.find('"' + std::string(name) + '"'), std::string::npos) << name;
  }
  for (auto [name, text] : kAdvancedValues) Type(("txt" + std::string(name)).c_str(), text);
  EXPECT_TRUE(window_->config_changed());
  EXPECT_EQ(Save(), "");
  LoadedWindow();
  for (auto [name, text] : kAdvancedValues) {
    EXPECT_EQ(Stored(name), text) << name;
    EXPECT_EQ(Find<QLineEdit>(("txt" + std::string(name)).c_str())->text(), text) << name;
  }
  EXPECT_NE(ReadFileText(dir_.File("registry.reg")).find("\"ProxyOut\"=dword:00000002"),
            std::string::npos);
  EXPECT_EQ(window_->config().AdvancedText("ReportDB"), "postgresql://vantry@db.internal/reports");
}

TEST_F(EditorTest, AdvancedValuesTheGatewayWouldRefuseGetTheirDefaults) {
  const std::pair<const char*, const char*> refused[] = {
      {"DNSServers", "ns1.example"},  {"MaxPerIP", "-1"},
      {"IdleTimeout", "ten"},         {"ProxyOut", "3"},
      {"ProxyFrom", "10.0.0.0/33"},   {"ListenAddress", "localhost"},
      {"DNSCacheSize", ""},           {"ZoneCheck", "1.5"},
      {"MetricsListen", "127.0.0.1"}, {"ReportDB", "mysql://db/reports"},
  };
  QString summary;
  for (auto [name, text] : refused) {
    Type(("txt" + std::string(name)).c_str(), text);
    summary += QString::fromUtf8(FindAdvancedRow(name)->message.data()) + "\n\n";
  }
  EXPECT_EQ(Save(), summary);
  // Back at their defaults, as at load: the file still lacks them.
  const std::string settings = ReadFileText(dir_.File("registry.reg"));
  for (auto [name, text] : refused) {
    EXPECT_EQ(Find<QLineEdit>(("txt" + std::string(name)).c_str())->text().toStdString(),
              FindSetting(name)->default_value);
    EXPECT_EQ(settings.find('"' + std::string(name) + '"'), std::string::npos) << name;
  }
}

}  // namespace
}  // namespace vantry::console::testing
