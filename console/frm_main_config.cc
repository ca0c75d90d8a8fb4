// The configuration copy and the editor tabs: showing it, the corrections a
// save needs, copying the controls back and saving.
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>

#include "blocking_tab.h"
#include "console_check_box.h"
#include "console_number.h"
#include "frm_main.h"
#include "redirect_tab.h"

namespace vantry::console {
namespace {

double Number(const QString& text) { return ConsoleNumberValue(text.toStdString()); }

}  // namespace

void FrmMain::ShowConfig() {
  redirect_tab_->Show(config_);
  blocking_tab_->Show(config_);
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
  double local_port = Number(txtLocalPort->text());
  if (txtLocalPort->text().trimmed().isEmpty() || local_port < 1 || local_port > 65535) {
    correct(
        "Gateway Incoming Port must have a port value between 1 and 65535.  Default set to 25.");
    txtLocalPort->setText("25");
  }
  txtSMTPServer->setText(txtSMTPServer->text().trimmed());
  if (txtSMTPServer->text().isEmpty()) {
    correct("No SMTP redirect host listed.  Default set to localhost.");
    txtSMTPServer->setText("localhost");
  }
  txtSMTPPort->setText(txtSMTPPort->text().trimmed());
  if (txtSMTPPort->text().isEmpty() || Number(txtSMTPPort->text()) == 0) {
    correct("No SMTP redirect port listed.  Default set to 24.");
    txtSMTPPort->setText("24");
  }
  txtLocalPort->setText(txtLocalPort->text().trimmed());
  txtSocks->setEditText(txtSocks->currentText().trimmed());
  double socks = Number(txtSocks->currentText());
  if (txtSocks->currentText().isEmpty() || socks < 100 || socks > 5000) {
    correct("Number of sockets must be between 100 and 5000.   Default of 255 has been set.");
    txtSocks->setEditText("255");
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
  return corrections;
}

bool FrmMain::ApplyConfig() {
  const QString corrections = CorrectControls();
  if (!corrections.isEmpty()) {
    services_.ShowMessage(this, QMessageBox::Information, "Korvane Vantry Monitor", corrections,
                          QMessageBox::Ok);
  }
  redirect_tab_->CopyTo(config_);
  blocking_tab_->CopyTo(config_);

  std::string error;
  if (!SaveConfig(config_, CollectLists(), &error)) {
    services_.ShowMessage(
        this, QMessageBox::Critical, "Korvane Vantry Monitor",
        "The configuration was not saved.\n\nCannot write the " + QString::fromStdString(error),
        QMessageBox::Ok);
    config_changed_ = true;
    return false;
  }
  config_changed_ = false;
  return true;
}

}  // namespace vantry::console
