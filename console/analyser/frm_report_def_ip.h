#pragma once

#include <QDialog>
#include <array>

#include "desktop_services.h"
#include "report_params.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListView;
class QPushButton;
class QRadioButton;

namespace vantry::console {

/// "Define Report IP" for "Specific Host/IP Address": address or host name,
/// wildcards, row limit and date order. Writes ReportIP, ReportHost,
/// SearchHost, MaxResults, DateOrder, WildPrefix and WildSuffix on "OK".
class FrmReportDefIP : public QDialog {
  Q_OBJECT

 public:
  FrmReportDefIP(DesktopServices& services, analyser::ReportParams& params,
                 QWidget* parent = nullptr);

 private:
  void OptTypeClick(int index);
  void CmdOKClick();

  analyser::ReportParams& params_;
  std::array<QRadioButton*, 2> optType_{};
  QLineEdit* txtIP_ = nullptr;
  QLineEdit* txtHost_ = nullptr;
  QCheckBox* chkWildPre_ = nullptr;
  QCheckBox* chkWildSuf_ = nullptr;
  QListView* lbMax_ = nullptr;
  QComboBox* cbxOrder_ = nullptr;
  QPushButton* cmdOK_ = nullptr;
  QPushButton* cmdCancel_ = nullptr;
};

}  // namespace vantry::console
