#pragma once

#include <QDialog>

#include "desktop_services.h"
#include "report_params.h"

class QListView;
class QPushButton;

namespace vantry::console {

/// "Define Report" for "All Hosts/IP Addresses": the number of addresses to
/// list, 1 to LogIPs. Writes MaxResults on "&Ok".
class FrmReportMaxIP : public QDialog {
  Q_OBJECT

 public:
  /// Loads the dialog; without a loaded log it says so and offers no numbers.
  FrmReportMaxIP(DesktopServices& services, analyser::ReportParams& params,
                 QWidget* parent = nullptr);

 private:
  void CmdOKClick();

  analyser::ReportParams& params_;
  QListView* lbMax_ = nullptr;
  QPushButton* cmdOK_ = nullptr;
  QPushButton* cmdCancel_ = nullptr;
};

}  // namespace vantry::console
