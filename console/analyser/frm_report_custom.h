#pragma once

#include <string>
#include <vector>

#include "report_dialog.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace vantry::console {

/// "Vantry - Create Custom Report": builds a query on tbl_log from clauses
/// (field, operator, criteria) joined with AND; "&Ok" stores it in CustomSQL,
/// "&Cancel" clears CustomSQL, closing by the frame changes nothing.
class FrmReportCustom : public ReportDialog {
  Q_OBJECT

 public:
  FrmReportCustom(DesktopServices& services, analyser::ReportParams& params,
                  QWidget* parent = nullptr);

  /// The clauses of lbClause, in order.
  std::vector<std::string> Clauses() const;

 private:
  void CbxOpClick();
  void CmdAddClick();
  void LbClauseClick();
  void CmdDelClick();
  void CmdNewClick();
  void CmdPreClick();
  void OkClick() override;
  void CancelClick() override;

  QComboBox* cbxField_ = nullptr;
  QComboBox* cbxOp_ = nullptr;
  QLineEdit* txtCri_ = nullptr;
  QLineEdit* txtAnd_ = nullptr;
  QPushButton* cmdAdd_ = nullptr;
  QListWidget* lbClause_ = nullptr;
  QPushButton* cmdDel_ = nullptr;
  QPushButton* cmdNew_ = nullptr;
  QPushButton* cmdPre_ = nullptr;
  QPlainTextEdit* txtPre_ = nullptr;
};

}  // namespace vantry::console
