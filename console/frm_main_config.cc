// The configuration copy and the editor tabs: showing it, the corrections a
// save needs, copying the controls back and saving.
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <optional>
#include <string_view>

#include "advanced_tab.h"
#include "blocking_tab.h"
#include "console_check_box.h"
#include "console_number.h"
#include "frm_main.h"
#include "redirect_tab.h"
#include "settings_schema.h"

namespace vantry::console {
namespace {

double Number(const QString& text) { return ConsoleNumberValue(text.toStdString()); }

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// The setting's editor rule on the text of its box: nullopt when the rule
// accepts it, else the text the box takes, with the rule's message added.
std::optional<QString> Corrected(std::string_view setting, const QString& text, double number,
                                 QString& corrections) {
  const SettingCorrection& rule = *FindSetting(setting)->correction;
  if (rule.Accept(text.trimmed().toStdString(), number)) return std::nullopt;
  corrections += Text(rule.message) + "\n\n";
  return Text(rule.replacement);
}

}  // namespace

void FrmMain::ShowConfig() {
  redirect_tab_->Show(config_);
  blocking_tab_->Show(config_);
  advanced_tab_->Show(config_);
}

void FrmMain::FillLists(const ConsoleLists& lists) {
  unread_lists_ = lists.unread;
  redirect_tab_->FillZones(lists.zones, lists.unread.zones);
  blocking_tab_->FillLists(lists);
}

ConsoleLists FrmMain::CollectLists() const {
  ConsoleLists lists;
  lists.zones = redirect_tab_->Zones();
  lists.manual_blocks = blocking_tab_->ManualBlocks();
  lists.exceptions = blocking_tab_->Exceptions();
  lists.unread = unread_lists_;
  return lists;
}

QString FrmMain::CorrectControls() {
  QListWidget* lbRBLDNS = redirect_tab_->lbRBLDNS();
  QLineEdit* txtLocalPort = redirect_tab_->txtLocalPort();
  QLineEdit* txtSMTPServer = redirect_tab_->txtSMTPServer();
  QLineEdit* txtSMTPPort = redirect_tab_->txtSMTPPort();
  QComboBox* txtSocks = redirect_tab_->txtSocks();
  ConsoleCheckBox* chkUseExceptions = blocking_tab_->chkUseExceptions();
  ConsoleCheckBox* chkUseManBlock = blocking_tab_->chkUseManBlock();
  QString corrections;
  auto correct = [&](const QString& message) { corrections += message + "\n\n"; };

  // A list whose file could not be read shows empty but is not: the save
  // leaves its file alone, so no correction may act on the empty box.
  if (lbRBLDNS->count() == 0 && !unread_lists_.zones) {
    correct("No RBL Database servers given.  1 added by default.");
    lbRBLDNS->addItem(QString::fromUtf8(kDefaultZone.data(), kDefaultZone.size()));
  }
  // The settings' own rules, in the order their messages appear.
  const QString local_port = txtLocalPort->text();
  if (auto fixed = Corrected("LocalPort", local_port, Number(local_port), corrections)) {
    txtLocalPort->setText(*fixed);
  }
  txtSMTPServer->setText(txtSMTPServer->text().trimmed());
  if (auto fixed = Corrected("SMTPHost", txtSMTPServer->text(), 0, corrections)) {
    txtSMTPServer->setText(*fixed);
  }
  txtSMTPPort->setText(txtSMTPPort->text().trimmed());
  const QString smtp_port = txtSMTPPort->text();
  if (auto fixed = Corrected("SMTPPort", smtp_port, Number(smtp_port), corrections)) {
    txtSMTPPort->setText(*fixed);
  }
  txtLocalPort->setText(txtLocalPort->text().trimmed());
  txtSocks->setEditText(txtSocks->currentText().trimmed());
  const QString socks = txtSocks->currentText();
  if (auto fixed = Corrected("MaxSocks", socks, Number(socks), corrections)) {
    txtSocks->setEditText(*fixed);
  }
  if (chkUseExceptions->Value() != 0 && blocking_tab_->lbExcept()->count() == 0 &&
      !unread_lists_.exceptions) {
    correct("Cannot use exceptions list without any exceptions.  Exceptions disabled by default.");
    chkUseExceptions->SetValue(0);
  }
  if (chkUseManBlock->Value() != 0 && blocking_tab_->lbManBlock()->count() == 0 &&
      !unread_lists_.manual_blocks) {
    correct(
        "Cannot use manual blocking without listing hosts to block.  Manual blocking disabled by "
        "default.");
    chkUseManBlock->SetValue(0);
  }
  return corrections + advanced_tab_->Correct();
}

bool FrmMain::ApplyConfig() {
  const QString corrections = CorrectControls();
  if (!corrections.isEmpty()) {
    services_.ShowMessage(this, QMessageBox::Information, "Korvane Vantry Monitor", corrections,
                          QMessageBox::Ok);
  }
  redirect_tab_->CopyTo(config_);
  blocking_tab_->CopyTo(config_);
  advanced_tab_->CopyTo(config_);

  std::string error;
  if (!SaveConfig(config_, CollectLists(), &error)) {
    services_.ShowMessage(
        this, QMessageBox::Critical, "Korvane Vantry Monitor",
        "The configuration was not saved.\n\nCannot write the " + QString::fromStdString(error),
        QMessageBox::Ok);
    config_changed_ = true;
    return false;
  }
  MarkAdvancedSaved(config_);
  config_changed_ = false;
  mnuServerConfigSaveSettings_->setEnabled(false);
  return true;
}

}  // namespace vantry::console
