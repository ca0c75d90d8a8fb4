#pragma once

#include "report_dialog.h"

namespace vantry::console {

/// "Define Report" for "All Hosts/IP Addresses": the number of addresses to
/// list, 1 to LogIPs. Writes MaxResults on "&Ok".
class FrmReportMaxIP : public ReportDialog {
  Q_OBJECT

 public:
  /// Loads the dialog; without a loaded log it says so and offers no numbers.
  FrmReportMaxIP(DesktopServices& services, analyser::ReportParams& params,
                 QWidget* parent = nullptr);

 private:
  void OkClick() override;
};

}  // namespace vantry::console
