#pragma once

#include "report_date.h"
#include "report_dialog.h"

class QCheckBox;
class QLineEdit;

namespace vantry::console {

/// "Define Report Date/Time": a date range, or a time range on one date.
/// "&Ok" checks and rewrites the boxes (mm/dd/yyyy, h:mm AM/PM) and stores
/// DateStart, DateEnd, TimeStart, TimeEnd and TimeBased.
class FrmReportDate : public ReportDialog {
  Q_OBJECT

 public:
  FrmReportDate(DesktopServices& services, analyser::ReportParams& params,
                QWidget* parent = nullptr);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ChkTimeClick();
  void OkClick() override;
  analyser::DateDialogFields Fields() const;
  void ShowFields(const analyser::DateDialogFields& fields);
  void ApplyEnabling();

  QLineEdit* txtDateStart_ = nullptr;
  QLineEdit* txtDateEnd_ = nullptr;
  QCheckBox* chkTime_ = nullptr;
  QLineEdit* txtTimeStart_ = nullptr;
  QLineEdit* txtTimeEnd_ = nullptr;
};

}  // namespace vantry::console
