#pragma once

#include <QDialog>
#include <QMessageBox>
#include <cstddef>
#include <optional>
#include <string_view>

#include "desktop_services.h"
#include "report_params.h"

class QHBoxLayout;
class QListView;
class QPushButton;

namespace vantry::console {

/// What the four report dialogs share: the parameters they edit, the services
/// that show their messages, Ok and Cancel in a right-aligned row under the
/// content, and the limit list (lbMax) of the two address dialogs.
class ReportDialog : public QDialog {
  Q_OBJECT

 protected:
  ReportDialog(DesktopServices& services, analyser::ReportParams& params, const char* object_name,
               const char* title, QWidget* parent);

  /// Makes Ok and Cancel; a dialog calls it after its own controls, which
  /// puts the two buttons last in the tab order. Ok runs OkClick, Cancel CancelClick.
  void MakeButtons(const char* ok_text, const char* ok_name, bool ok_default);
  /// Ok and Cancel, right-aligned: the last row of each dialog's layout.
  QHBoxLayout* ButtonRow();
  virtual void OkClick() = 0;
  /// Closes the dialog without storing anything.
  virtual void CancelClick() { reject(); }

  /// The list "1" ... LogIPs of the address dialogs, single selection.
  QListView* MakeLimitList();
  /// Selects the given row of the limit list; with none (no log loaded) says
  /// that a loaded log would help.
  void ShowLimit(std::optional<std::size_t> row);
  /// The selected number of the limit list; none when nothing is selected.
  std::optional<int> ChosenLimit() const;

  /// A message box over the dialog with a single Ok button.
  void Tell(QMessageBox::Icon icon, std::string_view title, std::string_view text);

  DesktopServices& services_;
  analyser::ReportParams& params_;
  QPushButton* cmdOk_ = nullptr;
  QPushButton* cmdCancel_ = nullptr;
  QListView* lbMax_ = nullptr;
};

}  // namespace vantry::console
