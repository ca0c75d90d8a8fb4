#include "frm_report_max_ip.h"

#include <QLabel>
#include <QListView>
#include <QVBoxLayout>

#include "report_ip.h"

namespace vantry::console {

FrmReportMaxIP::FrmReportMaxIP(DesktopServices& services, analyser::ReportParams& params,
                               QWidget* parent)
    : ReportDialog(services, params, "frmReportMaxIP", "Define Report", parent) {
  auto* label = new QLabel("Maximum IP Addresses to display", this);
  MakeLimitList();
  MakeButtons("&Ok", "cmdOK", true);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(lbMax_);
  layout->addLayout(ButtonRow());

  ShowLimit(analyser::MaxIPDialogSelection(params.LogIPs));
}

void FrmReportMaxIP::OkClick() {
  // With nothing to choose (no log loaded) the previous limit stays.
  if (auto limit = ChosenLimit()) params_.MaxResults = *limit;
  accept();
}

}  // namespace vantry::console
