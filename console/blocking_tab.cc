#include "blocking_tab.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "console_check_box.h"
#include "list_editing.h"
#include "tab_widgets.h"

namespace vantry::console {

BlockingTab::BlockingTab(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);

  auto* lists = new QVBoxLayout;
  chkUseExceptions_ = Named(new ConsoleCheckBox("Use Exceptions List"), "chkUseExceptions");
  lists->addWidget(chkUseExceptions_);
  frExceptions_ = Named(new QGroupBox("Exceptions"), "frExceptions");
  auto* ex = new QGridLayout(frExceptions_);
  ex->addWidget(new QLabel("IP Address to exclude from blacklisting"), 0, 0, 1, 2);
  txtExclude_ = Named(new QLineEdit, "txtExclude");
  cmdAddExclude_ = Named(new QPushButton("Add"), "cmdAddExclude");
  lbExcept_ = Named(new QListWidget, "lbExcept");
  cmdDelExcept_ = Named(new QPushButton("Delete"), "cmdDelExcept");
  ex->addWidget(txtExclude_, 1, 0);
  ex->addWidget(cmdAddExclude_, 1, 1);
  ex->addWidget(lbExcept_, 2, 0, 2, 1);
  ex->addWidget(cmdDelExcept_, 2, 1, Qt::AlignTop);
  lists->addWidget(frExceptions_);

  chkUseManBlock_ = Named(new ConsoleCheckBox("Use Manual Blocking"), "chkUseManBlock");
  lists->addWidget(chkUseManBlock_);
  frManBLock_ = Named(new QGroupBox("Manual Blocking"), "frManBLock");
  auto* mb = new QGridLayout(frManBLock_);
  mb->addWidget(new QLabel("IP Address to manually block"), 0, 0, 1, 2);
  txtManBlock_ = Named(new QLineEdit, "txtManBlock");
  cmdAddManBlock_ = Named(new QPushButton("Add"), "cmdAddManBlock");
  lbManBlock_ = Named(new QListWidget, "lbManBlock");
  cmdDelManBlock_ = Named(new QPushButton("Delete"), "cmdDelManBlock");
  mb->addWidget(txtManBlock_, 1, 0);
  mb->addWidget(cmdAddManBlock_, 1, 1);
  mb->addWidget(lbManBlock_, 2, 0, 2, 1);
  mb->addWidget(cmdDelManBlock_, 2, 1, Qt::AlignTop);
  lists->addWidget(frManBLock_);
  layout->addLayout(lists, 1);

  auto* right = new QVBoxLayout;
  auto* types = Named(new QGroupBox("Blocking Types"), "frBlockTypes");
  auto* tl = new QGridLayout(types);
  chkBlkAll_ = Named(new ConsoleCheckBox("Block All (127.0.0.x)"), "chkBlkAll");
  tl->addWidget(chkBlkAll_, 0, 0, 1, 4);
  for (int type = 2; type <= 9; ++type) {
    auto* box = new ConsoleCheckBox(QString("Type %1").arg(type));
    box->setObjectName(QString("chkBlk%1").arg(type));
    chkBlk_[type - 2] = box;
    tl->addWidget(box, 1 + (type - 2) / 4, (type - 2) % 4);
  }
  right->addWidget(types);

  auto* logging = Named(new QGroupBox("Logging"), "frLogging");
  auto* ll = new QVBoxLayout(logging);
  chkLogBL_ = Named(new ConsoleCheckBox("Log Blacklisted Attempts"), "chkLogBL");
  chkLogOK_ = Named(new ConsoleCheckBox("Log Successful Connections"), "chkLogOK");
  ll->addWidget(chkLogBL_);
  ll->addWidget(chkLogOK_);
  right->addWidget(logging);

  auto* messages = Named(new QGroupBox("Blocking Messages"), "frBlockMsgs");
  auto* ml = new QVBoxLayout(messages);
  optBlockMsg_[1] = Named(new QRadioButton("Use the message provided"), "optBlockMsg1");
  optBlockMsg_[0] = Named(new QRadioButton("Do not use messages"), "optBlockMsg0");
  txtBlockMsg_ = Named(new QLineEdit, "txtBlockMsg");
  ml->addWidget(optBlockMsg_[1]);
  ml->addWidget(txtBlockMsg_);
  ml->addWidget(optBlockMsg_[0]);
  right->addWidget(messages);

  auto* ip = Named(new QGroupBox("IP Blocking"), "frIPBlocking");
  auto* il = new QVBoxLayout(ip);
  chkBlkAltIP_ = Named(new ConsoleCheckBox("Block DNS reversed alternative IP's"), "chkBlkAltIP");
  chkBlkNoRev_ = Named(new ConsoleCheckBox("Block non-DNS reversable IP's"), "chkBlkNoRev");
  il->addWidget(chkBlkAltIP_);
  il->addWidget(chkBlkNoRev_);
  right->addWidget(ip);
  right->addStretch(1);
  layout->addLayout(right, 1);

  auto changed = [this] { emit Changed(); };
  // Edits of the refusal text are kept: an editor that drops an edit silently is a fault.
  connect(txtBlockMsg_, &QLineEdit::textChanged, this, changed);
  auto* group = new QButtonGroup(this);
  group->addButton(optBlockMsg_[0], 0);
  group->addButton(optBlockMsg_[1], 1);
  connect(optBlockMsg_[1], &QRadioButton::toggled, this, &BlockingTab::OptBlockMsgClick);

  connect(chkUseExceptions_, &QCheckBox::stateChanged, this, &BlockingTab::ChkUseExceptionsClick);
  connect(chkUseManBlock_, &QCheckBox::stateChanged, this, &BlockingTab::ChkUseManBlockClick);
  for (int type = 2; type <= 9; ++type) {
    connect(chkBlk_[type - 2], &QCheckBox::stateChanged, this, [this, type] { ChkBlkClick(type); });
  }
  connect(chkBlkAll_, &QCheckBox::stateChanged, this, &BlockingTab::ChkBlkAllClick);
  connect(chkLogBL_, &QCheckBox::stateChanged, this, &BlockingTab::ChkLogClick);
  connect(chkLogOK_, &QCheckBox::stateChanged, this, &BlockingTab::ChkLogClick);
  connect(chkBlkAltIP_, &QCheckBox::stateChanged, this, changed);
  connect(chkBlkNoRev_, &QCheckBox::stateChanged, this, changed);

  auto list_buttons = [this](ListKind kind, QLineEdit* text_box, QPushButton* add,
                             QListWidget* list, QPushButton* del) {
    connect(add, &QPushButton::clicked, this, [this, kind, text_box, list] {
      if (AddListEntry(kind, text_box, list)) emit Changed();
    });
    connect(del, &QPushButton::clicked, this, [this, text_box, list] {
      if (DeleteListEntry(text_box, list)) emit Changed();
    });
  };
  list_buttons(ListKind::kExceptions, txtExclude_, cmdAddExclude_, lbExcept_, cmdDelExcept_);
  list_buttons(ListKind::kManual, txtManBlock_, cmdAddManBlock_, lbManBlock_, cmdDelManBlock_);
}

void BlockingTab::Show(const ConsoleConfig& config) {
  for (int i = 0; i < 8; ++i) chkBlk_[i]->SetValue(config.BlockT[i] != 0 ? 1 : 0);
  chkLogBL_->SetValue(config.LogBL != 0 ? 1 : 0);
  chkLogOK_->SetValue(config.LogOK != 0 ? 1 : 0);
  chkUseExceptions_->SetValue(config.UseExceptions != 0 ? 1 : 0);
  chkUseManBlock_->SetValue(config.UseManual != 0 ? 1 : 0);
  chkBlkAltIP_->SetValue(config.BlockAltIP != 0 ? 1 : 0);
  chkBlkNoRev_->SetValue(config.BlockNoHost != 0 ? 1 : 0);
  optBlockMsg_[config.UseBlockMsg != 0 ? 1 : 0]->setChecked(true);
  txtBlockMsg_->setText(QString::fromStdString(config.BlockMsg));
  // A box set to the state it already had raises no signal: run the cascades
  // once so frames, menu marks and the message box follow the loaded values.
  ChkUseExceptionsClick();
  ChkUseManBlockClick();
  for (int type = 2; type <= 9; ++type) ChkBlkClick(type);
  ChkLogClick();
  OptBlockMsgClick();
}

void BlockingTab::CopyTo(ConsoleConfig& config) const {
  config.LogBL = chkLogBL_->Value();
  config.LogOK = chkLogOK_->Value();
  config.UseExceptions = chkUseExceptions_->Value();
  config.UseManual = chkUseManBlock_->Value();
  for (int i = 0; i < 8; ++i) config.BlockT[i] = chkBlk_[i]->Value();
  config.BlockAltIP = chkBlkAltIP_->Value();
  config.BlockNoHost = chkBlkNoRev_->Value();
  config.UseBlockMsg = optBlockMsg_[0]->isChecked() ? 0 : 1;
  // The message goes out as one "550" line, so a pasted line break becomes a space.
  QString block_message = txtBlockMsg_->text();
  block_message.replace("\r\n", " ").replace('\r', ' ').replace('\n', ' ');
  config.BlockMsg = block_message.toStdString();
}

void BlockingTab::FillLists(const ConsoleLists& lists) {
  lbExcept_->clear();
  lbManBlock_->clear();
  for (const std::string& entry : lists.exceptions) {
    InsertSorted(lbExcept_, QString::fromStdString(entry));
  }
  for (const std::string& entry : lists.manual_blocks) {
    InsertSorted(lbManBlock_, QString::fromStdString(entry));
  }
  LockUnreadList(lists.unread.exceptions, {txtExclude_, cmdAddExclude_, lbExcept_, cmdDelExcept_});
  LockUnreadList(lists.unread.manual_blocks,
                 {txtManBlock_, cmdAddManBlock_, lbManBlock_, cmdDelManBlock_});
}

std::vector<std::string> BlockingTab::Exceptions() const { return ListEntries(lbExcept_); }

std::vector<std::string> BlockingTab::ManualBlocks() const { return ListEntries(lbManBlock_); }

void BlockingTab::FocusExceptions() {
  if (frExceptions_->isEnabled()) txtExclude_->setFocus();
}

void BlockingTab::FocusManualBlock() {
  if (frManBLock_->isEnabled()) txtManBlock_->setFocus();
}

void BlockingTab::MenuNoMessage() { optBlockMsg_[0]->setChecked(true); }

void BlockingTab::MenuUseMessage() {
  optBlockMsg_[1]->setChecked(true);
  txtBlockMsg_->selectAll();
  txtBlockMsg_->setFocus();
}

void BlockingTab::ChkUseExceptionsClick() {
  frExceptions_->setEnabled(chkUseExceptions_->Value() != 0);
  emit Changed();
}

void BlockingTab::ChkUseManBlockClick() {
  frManBLock_->setEnabled(chkUseManBlock_->Value() != 0);
  emit Changed();
}

void BlockingTab::ChkBlkClick(int type) {
  emit BlockTypeMarked(type, chkBlk_[type - 2]->Value() != 0);
  emit Changed();
}

void BlockingTab::ChkBlkAllClick() {
  bool on = chkBlkAll_->Value() != 0;
  for (int i = 0; i < 8; ++i) {
    chkBlk_[i]->SetValue(on ? 2 : 0);
    emit BlockTypeMarked(i + 2, on);
  }
  emit Changed();
}

void BlockingTab::ChkLogClick() {
  // The menu marks follow the boxes, so the entries' toggles always agree with what is shown.
  emit LoggingMarked(chkLogOK_->Value() != 0, chkLogBL_->Value() != 0);
  emit Changed();
}

void BlockingTab::OptBlockMsgClick() {
  txtBlockMsg_->setEnabled(optBlockMsg_[1]->isChecked());
  emit Changed();
}

void BlockingTab::MenuBlockType(int type, bool now_checked) {
  // Qt has already flipped the mark; the box takes the new state and its
  // handler sets the mark again from the box.
  chkBlk_[type - 2]->SetValue(now_checked ? 1 : 0);
  ChkBlkClick(type);
}

void BlockingTab::MenuBlockAll() {
  if (chkBlkAll_->Value() == 2) {
    ChkBlkAllClick();  // already grayed: no signal, but the command still applies
  } else {
    chkBlkAll_->SetValue(2);
  }
}

void BlockingTab::MenuLogAll() {
  chkLogOK_->SetValue(2);
  chkLogBL_->SetValue(2);
  ChkLogClick();
}

void BlockingTab::MenuLogSuccess(bool now_checked) { MenuLogEntry(chkLogOK_, now_checked); }

void BlockingTab::MenuLogBlacklist(bool now_checked) { MenuLogEntry(chkLogBL_, now_checked); }

void BlockingTab::MenuLogEntry(ConsoleCheckBox* box, bool now_checked) {
  box->SetValue(now_checked ? 1 : 0);
  ChkLogClick();
}

}  // namespace vantry::console
