#include "frm_report_max_ip.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

#include "number_list_model.h"
#include "report_ip.h"
#include "report_messages.h"
#include "ui_text.h"

namespace vantry::console {

using ui::Named;
using ui::Qs;
using ui::SelectedRow;
using ui::SelectRow;

FrmReportMaxIP::FrmReportMaxIP(DesktopServices& services, analyser::ReportParams& params,
                               QWidget* parent)
    : QDialog(parent), params_(params) {
  setObjectName("frmReportMaxIP");
  setWindowTitle("Define Report");
  auto* label = new QLabel("Maximum IP Addresses to display", this);
  lbMax_ = Named(new QListView(this), "lbMax");
  lbMax_->setModel(new NumberListModel(params.LogIPs, lbMax_));
  lbMax_->setSelectionMode(QAbstractItemView::SingleSelection);
  lbMax_->setUniformItemSizes(true);
  cmdOK_ = Named(new QPushButton("&Ok", this), "cmdOK");
  cmdOK_->setDefault(true);
  cmdCancel_ = Named(new QPushButton("&Cancel", this), "cmdCancel");

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdOK_);
  buttons->addWidget(cmdCancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(lbMax_);
  layout->addLayout(buttons);

  connect(cmdOK_, &QPushButton::clicked, this, &FrmReportMaxIP::CmdOKClick);
  connect(cmdCancel_, &QPushButton::clicked, this, &QDialog::reject);

  if (auto first = analyser::MaxIPDialogSelection(params.LogIPs)) {
    SelectRow(lbMax_, static_cast<int>(*first));
  } else {
    services.ShowMessage(this, QMessageBox::Information, Qs(analyser::kReportTitle),
                         Qs(analyser::kPreloadMessage), QMessageBox::Ok);
  }
}

void FrmReportMaxIP::CmdOKClick() {
  // With nothing to choose (no log loaded) the previous limit stays.
  if (int row = SelectedRow(lbMax_); row >= 0) params_.MaxResults = row + 1;
  accept();
}

}  // namespace vantry::console
