#pragma once

#include <array>

#include "report_dialog.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace vantry::console {

/// "Define Report IP" for "Specific Host/IP Address": address or host name,
/// wildcards, row limit and date order. Writes ReportIP, ReportHost,
/// SearchHost, MaxResults, DateOrder, WildPrefix and WildSuffix on "OK".
class FrmReportDefIP : public ReportDialog {
  Q_OBJECT

 public:
  FrmReportDefIP(DesktopServices& services, analyser::ReportParams& params,
                 QWidget* parent = nullptr);

 private:
  void OptTypeClick(int index);
  void OkClick() override;

  std::array<QRadioButton*, 2> optType_{};
  QLineEdit* txtIP_ = nullptr;
  QLineEdit* txtHost_ = nullptr;
  QCheckBox* chkWildPre_ = nullptr;
  QCheckBox* chkWildSuf_ = nullptr;
  QComboBox* cbxOrder_ = nullptr;
};

}  // namespace vantry::console
