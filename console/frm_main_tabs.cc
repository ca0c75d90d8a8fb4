// The four tabs of the main window and their controls.
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "console_check_box.h"
#include "frm_main.h"

namespace vantry::console {
namespace {

template <typename W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

QLabel* Note(const QString& text) {
  auto* label = new QLabel(text);
  label->setWordWrap(true);
  QFont font = label->font();
  font.setItalic(true);
  label->setFont(font);
  return label;
}

}  // namespace

void FrmMain::CreateTabs() {
  tabMon_ = Named(new QTabWidget(this), "tabMon");
  tabMon_->addTab(CreateMonitorTab(), "Server Activity");
  tabMon_->addTab(CreateRedirectTab(), "BLDNS/Redirect");
  tabMon_->addTab(CreateBlockingTab(), "Blocking/Exceptions");
  tabMon_->addTab(CreateAboutTab(), "About Dask Vantry");
  setCentralWidget(tabMon_);
}

QWidget* FrmMain::CreateMonitorTab() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  lvData_ = Named(new QTreeWidget, "lvData");
  lvData_->setColumnCount(7);
  lvData_->setHeaderLabels(
      {"Socket", "Action", "IP Address", "Host Name", "Reverse IP", "Information", "Date/Time"});
  lvData_->setRootIsDecorated(false);
  lvData_->setUniformRowHeights(true);  // keeps thousands of rows cheap to lay out
  lvData_->setAlternatingRowColors(true);
  lvData_->setSelectionMode(QAbstractItemView::SingleSelection);
  static constexpr int kWidths[7] = {60, 70, 120, 220, 120, 230, 130};
  for (int c = 0; c < 7; ++c) lvData_->setColumnWidth(c, kWidths[c]);
  lvData_->header()->setStretchLastSection(true);
  layout->addWidget(lvData_);
  return page;
}

QWidget* FrmMain::CreateRedirectTab() {
  auto* page = new QWidget;
  auto* layout = new QHBoxLayout(page);

  auto* bldns = Named(new QGroupBox("BLDNS Server Maintenance"), "frBLDNS");
  auto* bl = new QGridLayout(bldns);
  bl->addWidget(new QLabel("BLDNS Server Address"), 0, 0, 1, 2);
  txtNewRBL_ = Named(new QLineEdit, "txtNewRBL");
  bl->addWidget(txtNewRBL_, 1, 0);
  cmdAddRBL_ = Named(new QPushButton("Add Database"), "cmdAddRBL");
  cmdAddRBL_->setEnabled(false);
  bl->addWidget(cmdAddRBL_, 1, 1);
  lbRBLDNS_ = Named(new QListWidget, "lbRBLDNS");
  bl->addWidget(lbRBLDNS_, 2, 0, 4, 1);
  cmdDelRBL_ = Named(new QPushButton("Delete Database"), "cmdDelRBL");
  cmdUpDB_ = Named(new QPushButton("Move Up"), "cmdUpDB");
  cmdDownDB_ = Named(new QPushButton("Move Down"), "cmdDownDB");
  bl->addWidget(cmdDelRBL_, 2, 1);
  bl->addWidget(cmdUpDB_, 3, 1);
  bl->addWidget(cmdDownDB_, 4, 1);
  bl->setRowStretch(5, 1);
  bl->addWidget(Note("Please note that if you enter a non-RBL DNS database address, you may slow "
                     "the Vantry Gateway service causing bottlenecking on the mail server "
                     "gateway."),
                6, 0, 1, 2);
  layout->addWidget(bldns, 3);

  auto* right = new QVBoxLayout;
  auto* smtp = Named(new QGroupBox("SMTP Local/Redirect"), "frSMTP");
  auto* sl = new QVBoxLayout(smtp);
  auto* local = new QFormLayout;
  txtLocalPort_ = Named(new QLineEdit, "txtLocalPort");
  txtLocalPort_->setMaximumWidth(90);
  local->addRow("Gateway Incoming Port", txtLocalPort_);
  sl->addLayout(local);
  sl->addWidget(
      Note("This is the port which Vantry will listen for incoming connections.  "
           "Commonly this would be 25 but can be reconfigured."));
  auto* redirect = new QFormLayout;
  txtSMTPServer_ = Named(new QLineEdit, "txtSMTPServer");
  redirect->addRow("SMTP Server Address", txtSMTPServer_);
  txtSMTPPort_ = Named(new QLineEdit, "txtSMTPPort");
  txtSMTPPort_->setMaximumWidth(90);
  redirect->addRow("Port", txtSMTPPort_);
  sl->addLayout(redirect);
  sl->addWidget(
      Note("Only upon a successful connection from a non-RBL SMTP server will the "
           "above informaiton be used."));
  right->addWidget(smtp);

  auto* socks = Named(new QGroupBox("Sockets"), "frSockets");
  auto* so = new QFormLayout(socks);
  txtSocks_ = Named(new QComboBox, "txtSocks");
  txtSocks_->setEditable(true);
  txtSocks_->setInsertPolicy(QComboBox::NoInsert);
  txtSocks_->setMaximumWidth(110);
  txtSocks_->lineEdit()->installEventFilter(this);
  so->addRow("Maximum Number of Listening Sockets", txtSocks_);
  right->addWidget(socks);
  right->addStretch(1);
  layout->addLayout(right, 2);
  return page;
}

QWidget* FrmMain::CreateBlockingTab() {
  auto* page = new QWidget;
  auto* layout = new QHBoxLayout(page);

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
  return page;
}

QWidget* FrmMain::CreateAboutTab() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  layout->addStretch(1);
  auto* product = Named(new QLabel("Vantry"), "lblAboutProduct");
  QFont big = product->font();
  big.setPointSize(big.pointSize() * 3);
  big.setBold(true);
  product->setFont(big);
  product->setAlignment(Qt::AlignCenter);
  auto* line = Named(new QLabel("Gateway Monitor"), "lblAboutLine");
  QFont medium = line->font();
  medium.setPointSize(medium.pointSize() * 3 / 2);
  line->setFont(medium);
  line->setAlignment(Qt::AlignCenter);
  auto* description =
      Named(new QLabel("Vantry Monitor is the monitoring and configuration tool of the Vantry DNS "
                       "blocklist gateway service."),
            "lblAboutDescription");
  description->setAlignment(Qt::AlignCenter);
  description->setWordWrap(true);
  layout->addWidget(product);
  layout->addWidget(line);
  layout->addSpacing(16);
  layout->addWidget(description);
  layout->addStretch(2);
  return page;
}

}  // namespace vantry::console
