// The report half of the analysis window: Define, Report, Save, View, Print.
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QUrl>

#include "frm_log_a.h"
#include "frm_report_custom.h"
#include "frm_report_date.h"
#include "frm_report_def_ip.h"
#include "frm_report_max_ip.h"
#include "report_messages.h"
#include "report_run.h"
#include "ui_text.h"

namespace vantry::console {

using ui::Qs;
using ui::Std;

void FrmLogA::CmdReportDefClick() {
  std::unique_ptr<QDialog> dialog;
  switch (cbReportSpec_->currentIndex()) {
    case static_cast<int>(analyser::ReportKind::kAllHosts):
      dialog = std::make_unique<FrmReportMaxIP>(services_, params_, this);
      break;
    case static_cast<int>(analyser::ReportKind::kSpecificHost):
      dialog = std::make_unique<FrmReportDefIP>(services_, params_, this);
      break;
    case static_cast<int>(analyser::ReportKind::kDateRange):
      dialog = std::make_unique<FrmReportDate>(services_, params_, this);
      break;
    case static_cast<int>(analyser::ReportKind::kCustom):
      dialog = std::make_unique<FrmReportCustom>(services_, params_, this);
      break;
    default:
      return;  // no selection
  }
  dialog->exec();
}

void FrmLogA::CmdReportClick() {
  int kind = cbReportSpec_->currentIndex();
  if (kind < 0) return;
  lvMain_->hide();
  lblReportGen_->show();
  QCoreApplication::processEvents();
  cbReportSpec_->setEnabled(false);
  cmdReportDef_->setEnabled(false);
  if (options_.monitor_stop) options_.monitor_stop();

  analyser::ReportContext context;
  context.db_file = db_file();
  context.gateway = gateway();
  context.ask_limit = [this] {
    return services_.ShowMessage(this, QMessageBox::Question, Qs(analyser::kReportTitle),
                                 Qs(analyser::kLargeResultQuestion),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
  };
  setCursor(Qt::BusyCursor);
  analyser::ReportOutcome outcome =
      analyser::RunReport(static_cast<analyser::ReportKind>(kind), params_, context, document_);
  unsetCursor();

  switch (outcome.result) {
    case analyser::ReportOutcome::Result::kDone:
      EndReport(true);
      return;
    case analyser::ReportOutcome::Result::kRefused:
      services_.ShowMessage(this, QMessageBox::Warning, Qs(analyser::kReportTitle),
                            Qs(outcome.message), QMessageBox::Ok);
      break;
    case analyser::ReportOutcome::Result::kFailed:
      // The database's own words, so a rejected custom query can be mended.
      services_.ShowMessage(this, QMessageBox::Critical, Qs(analyser::kReportTitle),
                            Qs(outcome.message), QMessageBox::Ok);
      break;
  }
  EndReport(false);
}

void FrmLogA::EndReport(bool success) {
  lvMain_->show();
  lblReportGen_->hide();
  cbReportSpec_->setEnabled(true);
  cmdReportDef_->setEnabled(true);
  if (success) {
    QCoreApplication::processEvents();
    cmdSave_->setEnabled(true);
  } else {
    // The document now holds only the skeleton: saving it would replace the
    // last good report with an empty page.
    cmdSave_->setEnabled(false);
  }
  if (options_.monitor_start) options_.monitor_start();
}

void FrmLogA::CmdSaveClick() {
  QString name = services_.GetSaveFileName(this, "Save Report As...", options_.console_folder,
                                           "Hyper-Text Markup (*.htm)");
  if (name.isEmpty() || name.contains('*')) return;
  if (QFileInfo(name).suffix().isEmpty()) {
    // The dialog asked about the name as typed; the name with ".htm" is new to it.
    name += ".htm";
    if (QFileInfo::exists(name) &&
        services_.ShowMessage(
            this, QMessageBox::Warning, "Save Report As...",
            QFileInfo(name).fileName() + " already exists.\nDo you want to replace it?",
            QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
      return;
    }
  }
  analyser::Status saved = analyser::SaveReport(document_, std::filesystem::path(Std(name)));
  if (!saved.ok) {
    // Saying so beats enabling View and Print on a file that was never written.
    ShowError("The report was not saved: " + Qs(saved.message));
    return;
  }
  report_path_ = name;
  cmdPrint_->setEnabled(true);
  cmdView_->setEnabled(true);
}

void FrmLogA::CmdViewClick() {
  if (report_path_.isEmpty()) return;
  if (!QFileInfo::exists(report_path_)) {
    ShowError("The saved report " + report_path_ + " no longer exists.");
    return;
  }
  if (!services_.OpenUrl(QUrl::fromLocalFile(report_path_))) {
    ShowError("No program is available to show " + report_path_ + ".");
  }
}

void FrmLogA::CmdPrintClick() {
  if (report_path_.isEmpty()) return;
  // Prints the saved file, not the document in memory.
  QFile file(report_path_);
  if (!file.open(QIODevice::ReadOnly)) {
    ShowError("Cannot print " + report_path_ + ": " + file.errorString());
    return;
  }
  QString html = QString::fromUtf8(file.readAll());
  if (!services_.PrintHtml(html, QFileInfo(report_path_).fileName())) {
    ShowError("The report " + report_path_ + " could not be printed.");
  }
}

}  // namespace vantry::console
