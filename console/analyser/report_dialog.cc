#include "report_dialog.h"

#include <QHBoxLayout>
#include <QListView>
#include <QPushButton>

#include "number_list_model.h"
#include "report_messages.h"
#include "ui_text.h"

namespace vantry::console {

ReportDialog::ReportDialog(DesktopServices& services, analyser::ReportParams& params,
                           const char* object_name, const char* title, QWidget* parent)
    : QDialog(parent), services_(services), params_(params) {
  setObjectName(object_name);
  setWindowTitle(title);
}

void ReportDialog::MakeButtons(const char* ok_text, const char* ok_name, bool ok_default) {
  cmdOk_ = ui::Named(new QPushButton(ok_text, this), ok_name);
  if (ok_default) cmdOk_->setDefault(true);
  cmdCancel_ = ui::Named(new QPushButton("&Cancel", this), "cmdCancel");
  connect(cmdOk_, &QPushButton::clicked, this, [this] { OkClick(); });
  connect(cmdCancel_, &QPushButton::clicked, this, [this] { CancelClick(); });
}

QHBoxLayout* ReportDialog::ButtonRow() {
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdOk_);
  buttons->addWidget(cmdCancel_);
  return buttons;
}

QListView* ReportDialog::MakeLimitList() {
  lbMax_ = ui::Named(new QListView(this), "lbMax");
  lbMax_->setModel(new NumberListModel(params_.LogIPs, lbMax_));
  lbMax_->setSelectionMode(QAbstractItemView::SingleSelection);
  lbMax_->setUniformItemSizes(true);
  return lbMax_;
}

void ReportDialog::ShowLimit(std::optional<std::size_t> row) {
  if (row) {
    ui::SelectRow(lbMax_, static_cast<int>(*row));
  } else {
    Tell(QMessageBox::Information, analyser::kReportTitle, analyser::kPreloadMessage);
  }
}

std::optional<int> ReportDialog::ChosenLimit() const {
  int row = ui::SelectedRow(lbMax_);
  if (row < 0) return std::nullopt;
  return row + 1;
}

void ReportDialog::Tell(QMessageBox::Icon icon, std::string_view title, std::string_view text) {
  services_.ShowMessage(this, icon, ui::Qs(title), ui::Qs(text), QMessageBox::Ok);
}

}  // namespace vantry::console
