#include "frm_report_custom.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "report_custom.h"
#include "ui_text.h"

namespace vantry::console {

using ui::Named;
using ui::Qs;
using ui::Std;

FrmReportCustom::FrmReportCustom(DesktopServices& services, analyser::ReportParams& params,
                                 QWidget* parent)
    : ReportDialog(services, params, "frmReportCustom", "Vantry - Create Custom Report", parent) {
  cbxField_ = Named(new QComboBox(this), "cbxField");
  for (const auto& field : analyser::kCustomFields) cbxField_->addItem(Qs(field.entry));
  cbxOp_ = Named(new QComboBox(this), "cbxOp");
  for (const auto& op : analyser::kCustomOperators) cbxOp_->addItem(Qs(op.entry));
  txtCri_ = Named(new QLineEdit(this), "txtCri");
  txtAnd_ = Named(new QLineEdit(this), "txtAnd");
  cmdAdd_ = Named(new QPushButton("Add Clause", this), "cmdAdd");
  lbClause_ = Named(new QListWidget(this), "lbClause");
  cmdDel_ = Named(new QPushButton("Delete Clause", this), "cmdDel");
  cmdNew_ = Named(new QPushButton("Create New", this), "cmdNew");
  cmdPre_ = Named(new QPushButton("Preview", this), "cmdPre");
  txtPre_ = Named(new QPlainTextEdit(this), "txtPre");
  txtPre_->setReadOnly(true);
  QPalette grey = txtPre_->palette();  // grey, as a box the user does not edit
  grey.setColor(QPalette::Base, grey.color(QPalette::Window));
  txtPre_->setPalette(grey);
  MakeButtons("&Ok", "cmdOk", false);

  auto* clause = new QGridLayout;
  clause->addWidget(cbxField_, 0, 0);
  clause->addWidget(cbxOp_, 0, 1);
  clause->addWidget(txtCri_, 0, 2);
  clause->addWidget(new QLabel("AND", this), 0, 3);
  clause->addWidget(txtAnd_, 0, 4);
  clause->addWidget(cmdAdd_, 0, 5);
  auto* list_buttons = new QVBoxLayout;
  list_buttons->addWidget(cmdDel_);
  list_buttons->addWidget(cmdNew_);
  list_buttons->addWidget(cmdPre_);
  list_buttons->addStretch();
  auto* list = new QHBoxLayout;
  list->addWidget(lbClause_, 1);
  list->addLayout(list_buttons);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(clause);
  layout->addLayout(list);
  layout->addWidget(txtPre_);
  layout->addLayout(ButtonRow());

  connect(cbxOp_, &QComboBox::currentIndexChanged, this, &FrmReportCustom::CbxOpClick);
  connect(cmdAdd_, &QPushButton::clicked, this, &FrmReportCustom::CmdAddClick);
  connect(lbClause_, &QListWidget::itemClicked, this, &FrmReportCustom::LbClauseClick);
  connect(cmdDel_, &QPushButton::clicked, this, &FrmReportCustom::CmdDelClick);
  connect(cmdNew_, &QPushButton::clicked, this, &FrmReportCustom::CmdNewClick);
  connect(cmdPre_, &QPushButton::clicked, this, &FrmReportCustom::CmdPreClick);

  // Load.
  cbxField_->setCurrentIndex(0);
  cbxOp_->setCurrentIndex(0);
  CbxOpClick();
  cmdDel_->setEnabled(false);
  if (!params.CustomSQL.empty()) {
    services_.ShowMessage(this, QMessageBox::NoIcon, QCoreApplication::applicationName(),
                          Qs(analyser::kAlreadyGeneratedMessage), QMessageBox::Ok);
  }
}

std::vector<std::string> FrmReportCustom::Clauses() const {
  std::vector<std::string> clauses;
  for (int i = 0; i < lbClause_->count(); ++i) clauses.push_back(Std(lbClause_->item(i)->text()));
  return clauses;
}

void FrmReportCustom::CbxOpClick() {
  txtAnd_->setEnabled(cbxOp_->currentIndex() == analyser::kBetweenOperator);
}

void FrmReportCustom::CmdAddClick() {
  std::string clause;
  analyser::Status s = analyser::BuildClause(cbxField_->currentIndex(), cbxOp_->currentIndex(),
                                             Std(txtCri_->text()), Std(txtAnd_->text()), &clause);
  if (!s.ok) {
    Tell(QMessageBox::Information, analyser::kCustomTitle, s.message);
    return;
  }
  lbClause_->addItem(Qs(clause));
  txtCri_->clear();
  txtAnd_->clear();
  cbxField_->setCurrentIndex(0);
  cbxOp_->setCurrentIndex(0);
}

void FrmReportCustom::LbClauseClick() {
  if (lbClause_->count() > 0) cmdDel_->setEnabled(true);
}

void FrmReportCustom::CmdDelClick() {
  QList<QListWidgetItem*> selected = lbClause_->selectedItems();
  if (lbClause_->count() == 0 || selected.isEmpty()) return;
  delete lbClause_->takeItem(lbClause_->row(selected.first()));
  // Nothing is selected afterwards, so a second click does not delete a neighbour.
  lbClause_->clearSelection();
  lbClause_->setCurrentRow(-1, QItemSelectionModel::Clear);
}

void FrmReportCustom::CmdNewClick() {
  QMessageBox::StandardButton answer =
      services_.ShowMessage(this, QMessageBox::Question, Qs(analyser::kClearTitle),
                            Qs(analyser::kClearQuestion), QMessageBox::Yes | QMessageBox::No);
  if (answer == QMessageBox::No) return;
  lbClause_->clear();
  txtPre_->clear();
  params_.CustomSQL.clear();
}

void FrmReportCustom::CmdPreClick() {
  std::vector<std::string> clauses = Clauses();
  if (clauses.empty()) return;
  QString text = Qs(analyser::CustomPreviewText(clauses, params_.LogFile));
  // The box shows lines; its own line ends are LF.
  text.replace("\r\n", "\n");
  if (text.endsWith('\n')) text.chop(1);
  txtPre_->setPlainText(text);
}

void FrmReportCustom::OkClick() {
  std::vector<std::string> clauses = Clauses();
  if (clauses.empty()) return;
  params_.CustomSQL = analyser::CustomQuery(clauses);
  accept();
}

void FrmReportCustom::CancelClick() {
  params_.CustomSQL.clear();
  reject();
}

}  // namespace vantry::console
