#include "frm_report_def_ip.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListView>
#include <QRadioButton>
#include <QVBoxLayout>

#include "report_ip.h"
#include "ui_text.h"

namespace vantry::console {

using ui::Named;
using ui::Qs;
using ui::Std;

FrmReportDefIP::FrmReportDefIP(DesktopServices& services, analyser::ReportParams& params,
                               QWidget* parent)
    : ReportDialog(services, params, "frmReportDefIP", "Define Report IP", parent) {
  optType_[0] = Named(new QRadioButton("IP Address", this), "optType0");
  optType_[1] = Named(new QRadioButton("Host Name", this), "optType1");
  txtIP_ = Named(new QLineEdit(this), "txtIP");
  txtHost_ = Named(new QLineEdit(this), "txtHost");
  chkWildPre_ = Named(new QCheckBox("Wildcard prefix", this), "chkWildPre");
  chkWildSuf_ = Named(new QCheckBox("Wildcard prefix suffix", this), "chkWildSuf");
  MakeLimitList();
  cbxOrder_ = Named(new QComboBox(this), "cbxOrder");
  cbxOrder_->addItems({"Chronological", "Reverse Chronological"});
  MakeButtons("OK", "cmdOK", true);

  auto* search = new QGroupBox(this);
  auto* search_layout = new QFormLayout(search);
  search_layout->addRow(optType_[0], txtIP_);
  search_layout->addRow(optType_[1], txtHost_);
  auto* wild = new QHBoxLayout;
  wild->addWidget(chkWildPre_);
  wild->addWidget(chkWildSuf_);
  search_layout->addRow(wild);
  auto* limits = new QFormLayout;
  limits->addRow("Max Results", lbMax_);
  limits->addRow("Date Order", cbxOrder_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(search);
  layout->addLayout(limits);
  layout->addLayout(ButtonRow());

  connect(optType_[0], &QRadioButton::clicked, this, [this] { OptTypeClick(0); });
  connect(optType_[1], &QRadioButton::clicked, this, [this] { OptTypeClick(1); });

  // Load. The buttons show the search mode in force rather than always
  // "IP Address", so the dialog never claims one mode while the report uses the other.
  int mode = params.SearchHost ? 1 : 0;
  optType_[mode]->setChecked(true);
  txtIP_->setEnabled(mode == 0);
  txtHost_->setEnabled(mode == 1);
  cbxOrder_->setCurrentIndex(0);
  txtIP_->setText(Qs(params.ReportIP));
  txtHost_->setText(Qs(params.ReportHost));
  ShowLimit(analyser::DefIPDialogSelection(params.LogIPs));
}

void FrmReportDefIP::OptTypeClick(int index) {
  // Takes effect at once, not only on "OK".
  params_.SearchHost = index == 1;
  txtIP_->setEnabled(index == 0);
  txtHost_->setEnabled(index == 1);
}

void FrmReportDefIP::OkClick() {
  analyser::DefIPDialogFields fields;
  fields.txtIP = Std(txtIP_->text());
  fields.txtHost = Std(txtHost_->text());
  fields.host_name_selected = optType_[1]->isChecked();
  fields.chkWildPre = chkWildPre_->isChecked();
  fields.chkWildSuf = chkWildSuf_->isChecked();
  fields.limit = ChosenLimit();
  fields.reverse_chronological = cbxOrder_->currentIndex() == 1;
  analyser::StoreDefIPDialog(fields, params_);
  accept();
}

}  // namespace vantry::console
