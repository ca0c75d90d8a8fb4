// The configuration editor: ShowConfig, edit handlers and their cascades,
// list editing, the Server Configuration menu mirrors and ApplyConfig.
#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <initializer_list>

#include "console_check_box.h"
#include "console_number.h"
#include "frm_main.h"

namespace vantry::console {
namespace {

double Number(const QString& text) { return ConsoleNumberValue(text.toStdString()); }

}  // namespace

void FrmMain::ConnectEditor() {
  connect(txtLocalPort_, &QLineEdit::textChanged, this, [this](const QString& text) {
    MarkChanged();
    config_.LocalPort = text.toStdString();
  });
  connect(txtSMTPServer_, &QLineEdit::textChanged, this, [this] { MarkChanged(); });
  connect(txtSMTPPort_, &QLineEdit::textChanged, this, [this] { MarkChanged(); });
  txtSMTPPort_->installEventFilter(this);
  connect(txtSocks_, &QComboBox::editTextChanged, this, &FrmMain::TxtSocksChange);
  connect(txtSocks_, &QComboBox::activated, this, &FrmMain::TxtSocksChange);
  connect(txtNewRBL_, &QLineEdit::textChanged, this,
          [this](const QString& text) { cmdAddRBL_->setEnabled(!text.trimmed().isEmpty()); });
  // Edits of the refusal text are kept: an editor that drops an edit silently is a fault.
  connect(txtBlockMsg_, &QLineEdit::textChanged, this, [this] { MarkChanged(); });

  auto* group = new QButtonGroup(this);
  group->addButton(optBlockMsg_[0], 0);
  group->addButton(optBlockMsg_[1], 1);
  connect(optBlockMsg_[1], &QRadioButton::toggled, this, &FrmMain::OptBlockMsgClick);

  connect(chkUseExceptions_, &QCheckBox::stateChanged, this, &FrmMain::ChkUseExceptionsClick);
  connect(chkUseManBlock_, &QCheckBox::stateChanged, this, &FrmMain::ChkUseManBlockClick);
  for (int type = 2; type <= 9; ++type) {
    connect(chkBlk_[type - 2], &QCheckBox::stateChanged, this, [this, type] { ChkBlkClick(type); });
  }
  connect(chkBlkAll_, &QCheckBox::stateChanged, this, &FrmMain::ChkBlkAllClick);
  connect(chkLogBL_, &QCheckBox::stateChanged, this, &FrmMain::ChkLogClick);
  connect(chkLogOK_, &QCheckBox::stateChanged, this, &FrmMain::ChkLogClick);
  connect(chkBlkAltIP_, &QCheckBox::stateChanged, this, [this] { MarkChanged(); });
  connect(chkBlkNoRev_, &QCheckBox::stateChanged, this, [this] { MarkChanged(); });

  connect(cmdAddRBL_, &QPushButton::clicked, this, [this] { AddListEntry(ListKind::kZones); });
  connect(cmdDelRBL_, &QPushButton::clicked, this, [this] { DeleteListEntry(ListKind::kZones); });
  connect(cmdAddExclude_, &QPushButton::clicked, this,
          [this] { AddListEntry(ListKind::kExceptions); });
  connect(cmdDelExcept_, &QPushButton::clicked, this,
          [this] { DeleteListEntry(ListKind::kExceptions); });
  connect(cmdAddManBlock_, &QPushButton::clicked, this,
          [this] { AddListEntry(ListKind::kManual); });
  connect(cmdDelManBlock_, &QPushButton::clicked, this,
          [this] { DeleteListEntry(ListKind::kManual); });
  connect(cmdUpDB_, &QPushButton::clicked, this, [this] { MoveZone(-1); });
  connect(cmdDownDB_, &QPushButton::clicked, this, [this] { MoveZone(+1); });

  connect(mnuServerConfigBLDB_, &QAction::triggered, this, [this] {
    tabMon_->setCurrentIndex(1);
    txtNewRBL_->setFocus();
  });
  connect(mnuServerConfigSMTP_, &QAction::triggered, this, [this] {
    tabMon_->setCurrentIndex(1);
    txtSMTPServer_->setFocus();
  });
  connect(mnuServerConfigMaxSocks_, &QAction::triggered, this, [this] {
    tabMon_->setCurrentIndex(1);
    txtSocks_->setFocus();
  });
  connect(mnuServerConfigExceptions_, &QAction::triggered, this, [this] {
    tabMon_->setCurrentIndex(2);
    if (frExceptions_->isEnabled()) txtExclude_->setFocus();
  });
  connect(mnuServerConfigManualBlock_, &QAction::triggered, this, [this] {
    tabMon_->setCurrentIndex(2);
    if (frManBLock_->isEnabled()) txtManBlock_->setFocus();
  });
  connect(mnuServerConfigBlockMsgsNoMsg_, &QAction::triggered, this,
          [this] { optBlockMsg_[0]->setChecked(true); });
  connect(mnuServerConfigBlockMsgsUseMsgs_, &QAction::triggered, this, [this] {
    optBlockMsg_[1]->setChecked(true);
    txtBlockMsg_->selectAll();
    txtBlockMsg_->setFocus();
  });
  connect(mnuServerConfigBlockTypesAll_, &QAction::triggered, this, &FrmMain::MenuBlockAll);
  for (int type = 2; type <= 9; ++type) {
    connect(mnuServerConfigBlockTypes_[type - 2], &QAction::triggered, this,
            [this, type](bool checked) { MenuBlockType(type, checked); });
  }
  connect(mnuServerConfigLogAll_, &QAction::triggered, this, &FrmMain::MenuLogAll);
  connect(mnuServerConfigLogSuccess_, &QAction::triggered, this,
          [this](bool checked) { MenuLogEntry(chkLogOK_, checked); });
  connect(mnuServerConfigLogBlacklist_, &QAction::triggered, this,
          [this](bool checked) { MenuLogEntry(chkLogBL_, checked); });

  QStringList counts;
  counts.reserve(4901);
  for (int n = 100; n <= 5000; ++n) counts << QString::number(n);
  txtSocks_->addItems(counts);
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == txtSocks_->lineEdit() && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    QString text = key->text();
    // Only typed characters are filtered; navigation and editing keys carry no text.
    if (!text.isEmpty() && text != "\b" && !(text.size() == 1 && text[0].isDigit())) return true;
  }
  if (watched == txtSMTPPort_ && event->type() == QEvent::FocusOut) {
    // Leaving the field, not the window: switching to another program or
    // opening a menu keeps the field where it was and must not raise the box.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
      TxtSMTPPortLostFocus();
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void FrmMain::ShowConfig() {
  txtSMTPServer_->setText(QString::fromStdString(config_.SMTPHost));
  txtSMTPPort_->setText(QString::fromStdString(config_.SMTPPort));
  txtLocalPort_->setText(QString::fromStdString(config_.LocalPort));
  txtSocks_->setEditText(QString::number(config_.MaxSocks));
  for (int i = 0; i < 8; ++i) chkBlk_[i]->SetValue(config_.BlockT[i] != 0 ? 1 : 0);
  chkLogBL_->SetValue(config_.LogBL != 0 ? 1 : 0);
  chkLogOK_->SetValue(config_.LogOK != 0 ? 1 : 0);
  chkUseExceptions_->SetValue(config_.UseExceptions != 0 ? 1 : 0);
  chkUseManBlock_->SetValue(config_.UseManual != 0 ? 1 : 0);
  chkBlkAltIP_->SetValue(config_.BlockAltIP != 0 ? 1 : 0);
  chkBlkNoRev_->SetValue(config_.BlockNoHost != 0 ? 1 : 0);
  optBlockMsg_[config_.UseBlockMsg != 0 ? 1 : 0]->setChecked(true);
  txtBlockMsg_->setText(QString::fromStdString(config_.BlockMsg));
  txtSocks_->setEditText(QString::number(config_.MaxSocks));
  // A box set to the state it already had raises no signal: run the cascades
  // once so frames, menu marks and the message box follow the loaded values.
  ChkUseExceptionsClick();
  ChkUseManBlockClick();
  for (int type = 2; type <= 9; ++type) ChkBlkClick(type);
  ChkLogClick();
  OptBlockMsgClick();
  cmdAddRBL_->setEnabled(!txtNewRBL_->text().trimmed().isEmpty());
}

void FrmMain::ChkUseExceptionsClick() {
  frExceptions_->setEnabled(chkUseExceptions_->Value() != 0);
  MarkChanged();
}

void FrmMain::ChkUseManBlockClick() {
  frManBLock_->setEnabled(chkUseManBlock_->Value() != 0);
  MarkChanged();
}

void FrmMain::ChkBlkClick(int type) {
  mnuServerConfigBlockTypes_[type - 2]->setChecked(chkBlk_[type - 2]->Value() != 0);
  MarkChanged();
}

void FrmMain::ChkBlkAllClick() {
  bool on = chkBlkAll_->Value() != 0;
  for (int i = 0; i < 8; ++i) {
    chkBlk_[i]->SetValue(on ? 2 : 0);
    mnuServerConfigBlockTypes_[i]->setChecked(on);
  }
  MarkChanged();
}

void FrmMain::ChkLogClick() {
  // The menu marks follow the boxes, so the entries' toggles always agree with what is shown.
  mnuServerConfigLogSuccess_->setChecked(chkLogOK_->Value() != 0);
  mnuServerConfigLogBlacklist_->setChecked(chkLogBL_->Value() != 0);
  MarkChanged();
}

void FrmMain::OptBlockMsgClick() {
  txtBlockMsg_->setEnabled(optBlockMsg_[1]->isChecked());
  MarkChanged();
}

void FrmMain::TxtSocksChange() {
  double value = Number(txtSocks_->currentText());
  if (value > 5000 || value < 0) txtSocks_->setEditText("255");
  MarkChanged();
}

void FrmMain::TxtSMTPPortLostFocus() {
  if (Number(txtSMTPPort_->text()) != 25) return;
  services_.ShowMessage(
      this, QMessageBox::Warning, "Korvane Vantry",
      "A connection to the redirected SMTP server may not be possible if the host is the same as "
      "the Vantry gateway.  Please make sure your SMTP redirect server is different from the "
      "Vantry gateway before using the same port.",
      QMessageBox::Ok);
}

void FrmMain::MenuBlockType(int type, bool now_checked) {
  // Qt has already flipped the mark; the box takes the new state and its
  // handler sets the mark again from the box.
  chkBlk_[type - 2]->SetValue(now_checked ? 1 : 0);
  ChkBlkClick(type);
}

void FrmMain::MenuBlockAll() {
  mnuServerConfigBlockTypesAll_->setChecked(true);
  if (chkBlkAll_->Value() == 2) {
    ChkBlkAllClick();  // already grayed: no signal, but the command still applies
  } else {
    chkBlkAll_->SetValue(2);
  }
}

void FrmMain::MenuLogAll() {
  chkLogOK_->SetValue(2);
  chkLogBL_->SetValue(2);
  ChkLogClick();
}

void FrmMain::MenuLogEntry(ConsoleCheckBox* box, bool now_checked) {
  box->SetValue(now_checked ? 1 : 0);
  ChkLogClick();
}

void FrmMain::InsertSorted(QListWidget* list, const QString& text) {
  int row = 0;
  while (row < list->count()) {
    const QString other = list->item(row)->text();
    int order = QString::compare(other, text, Qt::CaseInsensitive);
    if (order > 0 || (order == 0 && QString::compare(other, text) > 0)) break;
    ++row;
  }
  list->insertItem(row, text);
}

void FrmMain::FillLists(const ConsoleLists& lists) {
  lbRBLDNS_->clear();
  lbExcept_->clear();
  lbManBlock_->clear();
  unread_lists_ = lists.unread;
  for (const std::string& zone : lists.zones) lbRBLDNS_->addItem(QString::fromStdString(zone));
  for (const std::string& entry : lists.exceptions) {
    InsertSorted(lbExcept_, QString::fromStdString(entry));
  }
  for (const std::string& entry : lists.manual_blocks) {
    InsertSorted(lbManBlock_, QString::fromStdString(entry));
  }
  // A list whose file could not be read is not saved: what the user typed
  // into it would be lost without a word, so it cannot be edited.
  auto lock = [](bool unread, std::initializer_list<QWidget*> controls) {
    if (!unread) return;
    for (QWidget* control : controls) control->setEnabled(false);
  };
  lock(lists.unread.zones, {txtNewRBL_, cmdAddRBL_, lbRBLDNS_, cmdDelRBL_, cmdUpDB_, cmdDownDB_});
  lock(lists.unread.exceptions, {txtExclude_, cmdAddExclude_, lbExcept_, cmdDelExcept_});
  lock(lists.unread.manual_blocks, {txtManBlock_, cmdAddManBlock_, lbManBlock_, cmdDelManBlock_});
}

ConsoleLists FrmMain::CollectLists() const {
  auto collect = [](QListWidget* list) {
    std::vector<std::string> entries;
    for (int i = 0; i < list->count(); ++i) entries.push_back(list->item(i)->text().toStdString());
    return entries;
  };
  ConsoleLists lists;
  lists.zones = collect(lbRBLDNS_);
  lists.manual_blocks = collect(lbManBlock_);
  lists.exceptions = collect(lbExcept_);
  lists.unread = unread_lists_;
  return lists;
}

QLineEdit* FrmMain::ListTextBox(ListKind kind) const {
  return kind == ListKind::kZones        ? txtNewRBL_
         : kind == ListKind::kExceptions ? txtExclude_
                                         : txtManBlock_;
}

QListWidget* FrmMain::ListBox(ListKind kind) const {
  return kind == ListKind::kZones        ? lbRBLDNS_
         : kind == ListKind::kExceptions ? lbExcept_
                                         : lbManBlock_;
}

void FrmMain::AddListEntry(ListKind kind) {
  QLineEdit* text_box = ListTextBox(kind);
  QListWidget* list = ListBox(kind);
  const QString typed = text_box->text().trimmed();
  // The manual list compares the typed text as typed with the lower-cased entry.
  const QString wanted = kind == ListKind::kManual ? typed : typed.toLower();
  for (int i = 0; i < list->count(); ++i) {
    if (list->item(i)->text().toLower() == wanted) return;
  }
  if (typed.isEmpty()) return;
  if (kind == ListKind::kZones) {
    list->addItem(typed);
  } else {
    InsertSorted(list, typed);
  }
  text_box->clear();
  if (kind != ListKind::kZones) text_box->setFocus();
  MarkChanged();
}

void FrmMain::DeleteListEntry(ListKind kind) {
  QLineEdit* text_box = ListTextBox(kind);
  QListWidget* list = ListBox(kind);
  int row = list->currentRow();
  if (row < 0 || !list->item(row)->isSelected()) return;
  text_box->setText(list->item(row)->text());
  text_box->selectAll();
  text_box->setFocus();
  delete list->takeItem(row);
  MarkChanged();
}

void FrmMain::MoveZone(int step) {
  int row = lbRBLDNS_->currentRow();
  if (row < 0 || !lbRBLDNS_->item(row)->isSelected()) return;
  int target = row + step;
  if (target < 0 || target >= lbRBLDNS_->count()) return;
  QListWidgetItem* item = lbRBLDNS_->takeItem(row);
  lbRBLDNS_->insertItem(target, item);
  lbRBLDNS_->setCurrentRow(target);
  lbRBLDNS_->setFocus();
  MarkChanged();
}

bool FrmMain::ApplyConfig() {
  QString corrections;
  auto correct = [&](const QString& message) { corrections += message + "\n\n"; };

  // A list whose file could not be read shows empty but is not: the save
  // leaves its file alone, so no correction may act on the empty box.
  if (lbRBLDNS_->count() == 0 && !unread_lists_.zones) {
    correct("No RBL Database servers given.  1 added by default.");
    lbRBLDNS_->addItem(QString::fromUtf8(kDefaultZone.data(), kDefaultZone.size()));
  }
  double local_port = Number(txtLocalPort_->text());
  if (txtLocalPort_->text().trimmed().isEmpty() || local_port < 1 || local_port > 65535) {
    correct(
        "Gateway Incoming Port must have a port value between 1 and 65535.  Default set to 25.");
    txtLocalPort_->setText("25");
  }
  txtSMTPServer_->setText(txtSMTPServer_->text().trimmed());
  if (txtSMTPServer_->text().isEmpty()) {
    correct("No SMTP redirect host listed.  Default set to localhost.");
    txtSMTPServer_->setText("localhost");
  }
  txtSMTPPort_->setText(txtSMTPPort_->text().trimmed());
  if (txtSMTPPort_->text().isEmpty() || Number(txtSMTPPort_->text()) == 0) {
    correct("No SMTP redirect port listed.  Default set to 24.");
    txtSMTPPort_->setText("24");
  }
  txtLocalPort_->setText(txtLocalPort_->text().trimmed());
  txtSocks_->setEditText(txtSocks_->currentText().trimmed());
  double socks = Number(txtSocks_->currentText());
  if (txtSocks_->currentText().isEmpty() || socks < 100 || socks > 5000) {
    correct("Number of sockets must be between 100 and 5000.   Default of 255 has been set.");
    txtSocks_->setEditText("255");
  }
  if (chkUseExceptions_->Value() != 0 && lbExcept_->count() == 0 && !unread_lists_.exceptions) {
    correct("Cannot use exceptions list without any exceptions.  Exceptions disabled by default.");
    chkUseExceptions_->SetValue(0);
  }
  if (chkUseManBlock_->Value() != 0 && lbManBlock_->count() == 0 && !unread_lists_.manual_blocks) {
    correct(
        "Cannot use manual blocking without listing hosts to block.  Manual blocking disabled by "
        "default.");
    chkUseManBlock_->SetValue(0);
  }
  if (!corrections.isEmpty()) {
    services_.ShowMessage(this, QMessageBox::Information, "Korvane Vantry Monitor", corrections,
                          QMessageBox::Ok);
  }

  config_.SMTPHost = txtSMTPServer_->text().trimmed().toStdString();
  config_.SMTPPort = txtSMTPPort_->text().trimmed().toStdString();
  config_.MaxSocks = ConsoleWholeNumber(txtSocks_->currentText().trimmed().toStdString());
  config_.LocalPort = txtLocalPort_->text().toStdString();
  config_.LogBL = chkLogBL_->Value();
  config_.LogOK = chkLogOK_->Value();
  config_.UseExceptions = chkUseExceptions_->Value();
  config_.UseManual = chkUseManBlock_->Value();
  for (int i = 0; i < 8; ++i) config_.BlockT[i] = chkBlk_[i]->Value();
  config_.BlockAltIP = chkBlkAltIP_->Value();
  config_.BlockNoHost = chkBlkNoRev_->Value();
  config_.UseBlockMsg = optBlockMsg_[0]->isChecked() ? 0 : 1;
  // The message goes out as one "550" line, so a pasted line break becomes a space.
  QString block_message = txtBlockMsg_->text();
  block_message.replace("\r\n", " ").replace('\r', ' ').replace('\n', ' ');
  config_.BlockMsg = block_message.toStdString();

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
