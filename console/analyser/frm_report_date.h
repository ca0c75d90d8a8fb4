#pragma once

#include <QDialog>

#include "desktop_services.h"
#include "report_date.h"
#include "report_params.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace vantry::console {

/// "Define Report Date/Time": a date range, or a time range on one date.
/// "&Ok" checks and rewrites the boxes (mm/dd/yyyy, h:mm AM/PM) and stores
/// DateStart, DateEnd, TimeStart, TimeEnd and TimeBased.
class FrmReportDate : public QDialog {
  Q_OBJECT

 public:
  FrmReportDate(DesktopServices& services, analyser::ReportParams& params,
                QWidget* parent = nullptr);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ChkTimeClick();
  void CmdOkClick();
  analyser::DateDialogFields Fields() const;
  void ShowFields(const analyser::DateDialogFields& fields);
  void ApplyEnabling();

  DesktopServices& services_;
  analyser::ReportParams& params_;
  QLineEdit* txtDateStart_ = nullptr;
  QLineEdit* txtDateEnd_ = nullptr;
  QCheckBox* chkTime_ = nullptr;
  QLineEdit* txtTimeStart_ = nullptr;
  QLineEdit* txtTimeEnd_ = nullptr;
  QPushButton* cmdOk_ = nullptr;
  QPushButton* cmdCancel_ = nullptr;
};

}  // namespace vantry::console
