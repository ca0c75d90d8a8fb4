#include "redirect_tab.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "console_number.h"
#include "list_editing.h"
#include "tab_widgets.h"

namespace vantry::console {

RedirectTab::RedirectTab(DesktopServices& services, QWidget* parent)
    : QWidget(parent), services_(services) {
  auto* layout = new QHBoxLayout(this);

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
  // Inline completion would turn a typed 99 into 990 from the list of counts.
  txtSocks_->setCompleter(nullptr);
  // Typed keys reach the combo box, which hands them to its line edit
  // directly, past any filter there: the filter sits on both.
  txtSocks_->installEventFilter(this);
  txtSocks_->lineEdit()->installEventFilter(this);
  so->addRow("Maximum Number of Listening Sockets", txtSocks_);
  right->addWidget(socks);
  right->addStretch(1);
  layout->addLayout(right, 2);

  auto changed = [this] { emit Changed(); };
  connect(txtLocalPort_, &QLineEdit::textChanged, this, changed);
  connect(txtSMTPServer_, &QLineEdit::textChanged, this, changed);
  connect(txtSMTPPort_, &QLineEdit::textChanged, this, changed);
  txtSMTPPort_->installEventFilter(this);
  connect(txtSocks_, &QComboBox::editTextChanged, this, &RedirectTab::TxtSocksChange);
  connect(txtSocks_, &QComboBox::activated, this, &RedirectTab::TxtSocksChange);
  connect(txtNewRBL_, &QLineEdit::textChanged, this,
          [this](const QString& text) { cmdAddRBL_->setEnabled(!text.trimmed().isEmpty()); });
  connect(cmdAddRBL_, &QPushButton::clicked, this, [this] {
    if (AddListEntry(ListKind::kZones, txtNewRBL_, lbRBLDNS_)) emit Changed();
  });
  connect(cmdDelRBL_, &QPushButton::clicked, this, [this] {
    if (DeleteListEntry(txtNewRBL_, lbRBLDNS_)) emit Changed();
  });
  connect(cmdUpDB_, &QPushButton::clicked, this, [this] { MoveZone(-1); });
  connect(cmdDownDB_, &QPushButton::clicked, this, [this] { MoveZone(+1); });
}

void RedirectTab::FillSocketCounts() {
  QStringList counts;
  counts.reserve(4901);
  for (int n = 100; n <= 5000; ++n) counts << QString::number(n);
  txtSocks_->addItems(counts);
}

void RedirectTab::Show(const ConsoleConfig& config) {
  txtSMTPServer_->setText(QString::fromStdString(config.SMTPHost));
  txtSMTPPort_->setText(QString::fromStdString(config.SMTPPort));
  txtLocalPort_->setText(QString::fromStdString(config.LocalPort));
  txtSocks_->setEditText(QString::number(config.MaxSocks));
  cmdAddRBL_->setEnabled(!txtNewRBL_->text().trimmed().isEmpty());
}

void RedirectTab::CopyTo(ConsoleConfig& config) const {
  config.SMTPHost = txtSMTPServer_->text().trimmed().toStdString();
  config.SMTPPort = txtSMTPPort_->text().trimmed().toStdString();
  config.MaxSocks = ConsoleWholeNumber(txtSocks_->currentText().trimmed().toStdString());
  config.LocalPort = txtLocalPort_->text().toStdString();
}

void RedirectTab::FillZones(const std::vector<std::string>& zones, bool unread) {
  lbRBLDNS_->clear();
  for (const std::string& zone : zones) lbRBLDNS_->addItem(QString::fromStdString(zone));
  LockUnreadList(unread, {txtNewRBL_, cmdAddRBL_, lbRBLDNS_, cmdDelRBL_, cmdUpDB_, cmdDownDB_});
}

std::vector<std::string> RedirectTab::Zones() const { return ListEntries(lbRBLDNS_); }

void RedirectTab::FocusNewZone() { txtNewRBL_->setFocus(); }
void RedirectTab::FocusSMTPServer() { txtSMTPServer_->setFocus(); }
void RedirectTab::FocusSockets() { txtSocks_->setFocus(); }

bool RedirectTab::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == txtSocks_ || watched == txtSocks_->lineEdit()) &&
      event->type() == QEvent::KeyPress) {
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
  return QWidget::eventFilter(watched, event);
}

void RedirectTab::TxtSocksChange() {
  double value = ConsoleNumberValue(txtSocks_->currentText().toStdString());
  if (value > 5000 || value < 0) txtSocks_->setEditText("255");
  emit Changed();
}

void RedirectTab::TxtSMTPPortLostFocus() {
  if (ConsoleNumberValue(txtSMTPPort_->text().toStdString()) != 25) return;
  // The box belongs to the window, as every other message of the editor.
  services_.ShowMessage(
      window(), QMessageBox::Warning, "Korvane Vantry",
      "A connection to the redirected SMTP server may not be possible if the host is the same as "
      "the Vantry gateway.  Please make sure your SMTP redirect server is different from the "
      "Vantry gateway before using the same port.",
      QMessageBox::Ok);
}

void RedirectTab::MoveZone(int step) {
  int row = lbRBLDNS_->currentRow();
  if (row < 0 || !lbRBLDNS_->item(row)->isSelected()) return;
  int target = row + step;
  if (target < 0 || target >= lbRBLDNS_->count()) return;
  QListWidgetItem* item = lbRBLDNS_->takeItem(row);
  lbRBLDNS_->insertItem(target, item);
  lbRBLDNS_->setCurrentRow(target);
  lbRBLDNS_->setFocus();
  emit Changed();
}

}  // namespace vantry::console
