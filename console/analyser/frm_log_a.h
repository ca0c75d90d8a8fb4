#pragma once

#include <QLockFile>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>

#include "desktop_services.h"
#include "report_document.h"
#include "report_params.h"

class QComboBox;
class QLabel;
class QMenu;
class QAction;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTableView;
class QTimer;

namespace vantry::analyser {
class ChartsWindow;
}

namespace vantry::console {

class LogImportJob;
class LogTableModel;

/// What the analysis window needs from the console around it.
struct FrmLogAOptions {
  /// The program folder (PathEXE): the log dialog starts here and report.dpr lives here.
  QString program_folder;
  /// The ReportDB setting: "" for report.dpr in the program folder, else a
  /// postgresql:// URI (a fleet's shared database) or a file.
  QString report_db;
  /// The console's own folder, where the save dialog starts.
  QString console_folder;
  /// Real-time watching is stopped while a report is produced and started again after.
  std::function<void()> monitor_stop;
  std::function<void()> monitor_start;
};

/// "Vantry Log Analysis": imports an activity log into the report database,
/// lists it, and produces, saves, views and prints the HTML reports.
/// Controls carry their system names as objectName.
class FrmLogA : public QWidget {
  Q_OBJECT

 public:
  FrmLogA(DesktopServices& services, analyser::ReportParams& params, FrmLogAOptions options,
          QWidget* parent = nullptr);
  ~FrmLogA() override;

  /// Title of the window's own messages (failures of the database or files).
  static constexpr const char* kTitle = "Vantry Log Analysis";

  /// The report database of this window: ReportDB, or program folder + "report.dpr".
  std::filesystem::path db_file() const;
  /// True for a PostgreSQL database that several gateways share: "&Open Log"
  /// adds the log's new lines and nothing ever empties the table.
  bool shared_database() const;
  /// The gateway the list, totals and reports are limited to; empty for all.
  std::string gateway() const;
  /// True while the report database is being compacted (in the background).
  bool compacting() const { return compactions_->load() > 0; }
  /// Text of the status bar panel "Entries", "BLs", "OKs" or "IPs".
  QString PanelText(const QString& key) const;
  /// True from "&Open Log" until the import has ended.
  bool importing() const { return job_ != nullptr; }
  /// The report built by the last "Report" (what "Save" writes).
  const analyser::ReportDocument& document() const { return document_; }
  /// The path of the last saved report; empty before the first save.
  const QString& report_path() const { return report_path_; }
  LogTableModel& model() { return *model_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Construction.
  void CreateControls();
  void CreateStatusBar();
  void CreateLayout();
  void SizeColumns();

  // The log half.
  void CmdOpenClick();
  void CmdCancelLoadClick();
  void ImportProgressTick();
  void ImportFinished();
  void EndLoad();
  void CmdCloseClick();
  void CmdChartsClick();
  void LvMainHeaderClick(int column);
  void LvMainContextMenu(const QPoint& pos);
  void MnuPopupCopyClick();
  void SetPanel(const QString& key, const QString& text);
  // Lists the rows, totals and gateways of what the database holds now.
  void ShowLoaded(std::int64_t entries);
  void RefreshGateways();
  void CbGatewayChanged();
  // VACUUM on a worker thread that outlives the window if it must.
  void StartCompaction();
  void ShowError(const QString& text);
  // True when this window holds the report database, taking it if it is free.
  bool HoldDatabase();

  // The report half.
  void CmdReportDefClick();
  void CmdReportClick();
  void CmdSaveClick();
  void CmdViewClick();
  void CmdPrintClick();
  void EndReport(bool success);

  DesktopServices& services_;
  analyser::ReportParams& params_;
  FrmLogAOptions options_;
  analyser::ReportDocument document_;
  QString log_path_;
  QString report_path_;
  // The parameters before "&Open Log", put back when the import fails or is cancelled.
  QString previous_log_file_;
  std::int64_t previous_log_ips_ = 0;
  std::unique_ptr<LogImportJob> job_;
  // Held from the first import until the window closes: the report database
  // is one per program folder, and a second console's window would change or
  // empty the table this one shows.
  std::unique_ptr<QLockFile> db_lock_;
  bool sort_descending_ = true;  // the first header click sorts ascending
  // Compactions still running; shared with the workers, which may outlive the window.
  std::shared_ptr<std::atomic<int>> compactions_ = std::make_shared<std::atomic<int>>(0);

  LogTableModel* model_ = nullptr;
  QTableView* lvMain_ = nullptr;
  QMenu* mnuPopup_ = nullptr;
  QAction* mnuPopupCopy_ = nullptr;
  QPushButton* cmdOpen_ = nullptr;
  QPushButton* cmdClose_ = nullptr;
  QPushButton* cmdCharts_ = nullptr;
  QPointer<analyser::ChartsWindow> charts_;  // made on first use, follows the loaded log
  QComboBox* cbReportSpec_ = nullptr;
  QComboBox* cbGateway_ = nullptr;
  QPushButton* cmdReportDef_ = nullptr;
  QPushButton* cmdReport_ = nullptr;
  QPushButton* cmdSave_ = nullptr;
  QPushButton* cmdView_ = nullptr;
  QPushButton* cmdPrint_ = nullptr;
  QLabel* lblReportGen_ = nullptr;
  QStatusBar* sBar_ = nullptr;
  /// The panels "Entries", "BLs", "OKs", "IPs", in that order.
  std::array<QLabel*, 4> panels_{};
  QProgressBar* prgLoad_ = nullptr;
  QPushButton* cmdCancelLoad_ = nullptr;
  QTimer* tmrProgress_ = nullptr;
};

}  // namespace vantry::console
