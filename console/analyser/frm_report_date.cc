#include "frm_report_date.h"

#include <QCheckBox>
#include <QEvent>
#include <QFormLayout>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>

#include "report_messages.h"
#include "ui_text.h"

namespace vantry::console {

using ui::Named;
using ui::Qs;
using ui::Std;

FrmReportDate::FrmReportDate(DesktopServices& services, analyser::ReportParams& params,
                             QWidget* parent)
    : ReportDialog(services, params, "frmReportDate", "Define Report Date/Time", parent) {
  txtDateStart_ = Named(new QLineEdit(this), "txtDateStart");
  txtDateEnd_ = Named(new QLineEdit(this), "txtDateEnd");
  chkTime_ = Named(new QCheckBox("Use this date for a time-based report", this), "chkTime");
  txtTimeStart_ = Named(new QLineEdit(this), "txtTimeStart");
  txtTimeEnd_ = Named(new QLineEdit(this), "txtTimeEnd");
  MakeButtons("&Ok", "cmdOk", true);

  auto* form = new QFormLayout;
  form->addRow("Starting Date (mm/dd/yyyy)", txtDateStart_);
  form->addRow("Ending Date (mm/dd/yyyy)", txtDateEnd_);
  form->addRow(chkTime_);
  form->addRow("Starting Time", txtTimeStart_);
  form->addRow("Ending Time", txtTimeEnd_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(ButtonRow());

  for (QLineEdit* box : {txtDateStart_, txtDateEnd_, txtTimeStart_, txtTimeEnd_}) {
    box->installEventFilter(this);
  }
  connect(chkTime_, &QCheckBox::clicked, this, &FrmReportDate::ChkTimeClick);

  ShowFields(analyser::LoadDateDialog(params));
}

bool FrmReportDate::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn) {
    if (auto* box = qobject_cast<QLineEdit*>(watched)) {
      // Deferred: a mouse click that gave the focus would otherwise place the
      // cursor and undo the selection.
      QTimer::singleShot(0, box, &QLineEdit::selectAll);
    }
  }
  return QDialog::eventFilter(watched, event);
}

analyser::DateDialogFields FrmReportDate::Fields() const {
  analyser::DateDialogFields fields;
  fields.txtDateStart = Std(txtDateStart_->text());
  fields.txtDateEnd = Std(txtDateEnd_->text());
  fields.txtTimeStart = Std(txtTimeStart_->text());
  fields.txtTimeEnd = Std(txtTimeEnd_->text());
  fields.chkTime = chkTime_->isChecked();
  return fields;
}

void FrmReportDate::ShowFields(const analyser::DateDialogFields& fields) {
  txtDateStart_->setText(Qs(fields.txtDateStart));
  txtDateEnd_->setText(Qs(fields.txtDateEnd));
  txtTimeStart_->setText(Qs(fields.txtTimeStart));
  txtTimeEnd_->setText(Qs(fields.txtTimeEnd));
  chkTime_->setChecked(fields.chkTime);
  ApplyEnabling();
}

void FrmReportDate::ApplyEnabling() {
  bool ticked = chkTime_->isChecked();
  txtDateEnd_->setEnabled(!ticked);
  txtTimeStart_->setEnabled(ticked);
  txtTimeEnd_->setEnabled(ticked);
}

void FrmReportDate::ChkTimeClick() {
  analyser::DateDialogFields fields = Fields();
  analyser::ApplyTimeCheck(fields, chkTime_->isChecked());
  ShowFields(fields);
}

void FrmReportDate::OkClick() {
  analyser::DateDialogCheck check = analyser::CheckDateDialog(Fields());
  ShowFields(check.fields);
  if (!check.ok) {
    Tell(QMessageBox::Warning, analyser::kReportTitle, check.message);
    QLineEdit* box = nullptr;
    switch (check.focus) {
      case analyser::DateDialogField::kDateStart:
        box = txtDateStart_;
        break;
      case analyser::DateDialogField::kDateEnd:
        box = txtDateEnd_;
        break;
      case analyser::DateDialogField::kTimeStart:
        box = txtTimeStart_;
        break;
      case analyser::DateDialogField::kTimeEnd:
        box = txtTimeEnd_;
        break;
      case analyser::DateDialogField::kNone:
        break;
    }
    if (box != nullptr) box->setFocus();
    return;
  }
  analyser::StoreDateDialog(check.fields, params_);
  accept();
}

}  // namespace vantry::console
