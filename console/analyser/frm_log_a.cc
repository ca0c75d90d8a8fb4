#include "frm_log_a.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTableView>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>

#include "charts_window.h"
#include "log_import_job.h"
#include "log_table_model.h"
#include "log_totals.h"
#include "pg_backend.h"
#include "report_db.h"
#include "report_run.h"
#include "report_schema.h"
#include "ui_text.h"

namespace vantry::console {

using ui::Named;
using ui::Qs;
using ui::Std;

namespace {

constexpr std::array<const char*, 4> kPanelKeys = {"Entries", "BLs", "OKs", "IPs"};
constexpr int kLastColumn = 6;

}  // namespace

FrmLogA::FrmLogA(DesktopServices& services, analyser::ReportParams& params, FrmLogAOptions options,
                 QWidget* parent)
    : QWidget(parent), services_(services), params_(params), options_(std::move(options)) {
  setObjectName("frmLogA");
  setWindowTitle(kTitle);
  CreateControls();
  CreateStatusBar();
  CreateLayout();
  // Window load: the first report kind; nothing loaded yet.
  cbReportSpec_->setCurrentIndex(0);
  cmdReport_->setEnabled(false);
  cmdClose_->setEnabled(false);
  cmdSave_->setEnabled(false);
  cmdView_->setEnabled(false);
  cmdPrint_->setEnabled(false);
  resize(860, 560);
}

FrmLogA::~FrmLogA() = default;

void FrmLogA::CreateControls() {
  model_ = new LogTableModel(this);
  lvMain_ = Named(new QTableView(this), "lvMain");
  lvMain_->setModel(model_);
  lvMain_->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvMain_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lvMain_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvMain_->setWordWrap(false);
  lvMain_->verticalHeader()->hide();
  // Every row is one line high, so Qt never measures a million rows.
  lvMain_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  lvMain_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  lvMain_->horizontalHeader()->setDefaultSectionSize(
      fontMetrics().horizontalAdvance("255.255.255.255") + 16);
  SizeColumns();
  lvMain_->horizontalHeader()->setSectionsClickable(true);
  lvMain_->horizontalHeader()->setStretchLastSection(true);
  lvMain_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(lvMain_->horizontalHeader(), &QHeaderView::sectionClicked, this,
          &FrmLogA::LvMainHeaderClick);
  connect(lvMain_, &QWidget::customContextMenuRequested, this, &FrmLogA::LvMainContextMenu);

  mnuPopup_ = Named(new QMenu(this), "mnuPopup");
  mnuPopupCopy_ = Named(mnuPopup_->addAction("&Copy This Entry"), "mnuPopupCopy");
  connect(mnuPopupCopy_, &QAction::triggered, this, &FrmLogA::MnuPopupCopyClick);

  cmdOpen_ = Named(new QPushButton("&Open Log", this), "cmdOpen");
  cmdOpen_->setToolTip("Opens a Vantry Log File into the Log Analyzer");
  cmdClose_ = Named(new QPushButton("Close Log", this), "cmdClose");
  cmdClose_->setToolTip("Closes the currently open Log file");
  connect(cmdOpen_, &QPushButton::clicked, this, &FrmLogA::CmdOpenClick);
  connect(cmdClose_, &QPushButton::clicked, this, &FrmLogA::CmdCloseClick);
  cmdCharts_ = Named(new QPushButton("C&harts", this), "cmdCharts");
  cmdCharts_->setToolTip("Charts of the loaded log: connections, block types, zones, addresses");
  cmdCharts_->setEnabled(false);
  connect(cmdCharts_, &QPushButton::clicked, this, &FrmLogA::CmdChartsClick);

  cbGateway_ = Named(new QComboBox(this), "cbGateway");
  cbGateway_->setToolTip("Lists, counts and reports the entries of one gateway, or of all");
  cbGateway_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  cbGateway_->setEnabled(false);
  connect(cbGateway_, &QComboBox::activated, this, &FrmLogA::CbGatewayChanged);

  cbReportSpec_ = Named(new QComboBox(this), "cbReportSpec");
  for (std::string_view kind : analyser::kReportKindNames) cbReportSpec_->addItem(Qs(kind));
  cmdReportDef_ = Named(new QPushButton("Define", this), "cmdReportDef");
  cmdReport_ = Named(new QPushButton("Report", this), "cmdReport");
  cmdReport_->setToolTip("Generates a report based on the open log file");
  cmdSave_ = Named(new QPushButton("Save", this), "cmdSave");
  cmdSave_->setToolTip("Saves the report generated");
  cmdView_ = Named(new QPushButton("View", this), "cmdView");
  cmdPrint_ = Named(new QPushButton("Print", this), "cmdPrint");
  cmdPrint_->setToolTip("Prints the report generated to the default printer");
  lblReportGen_ = Named(new QLabel("Generating Report, Please Wait...", this), "lblReportGen");
  lblReportGen_->setAlignment(Qt::AlignCenter);
  lblReportGen_->hide();
  connect(cmdReportDef_, &QPushButton::clicked, this, &FrmLogA::CmdReportDefClick);
  connect(cmdReport_, &QPushButton::clicked, this, &FrmLogA::CmdReportClick);
  connect(cmdSave_, &QPushButton::clicked, this, &FrmLogA::CmdSaveClick);
  connect(cmdView_, &QPushButton::clicked, this, &FrmLogA::CmdViewClick);
  connect(cmdPrint_, &QPushButton::clicked, this, &FrmLogA::CmdPrintClick);

  tmrProgress_ = Named(new QTimer(this), "tmrProgress");
  tmrProgress_->setInterval(100);
  connect(tmrProgress_, &QTimer::timeout, this, &FrmLogA::ImportProgressTick);
}

void FrmLogA::CreateStatusBar() {
  sBar_ = Named(new QStatusBar(this), "sBar");
  sBar_->setSizeGripEnabled(false);
  for (std::size_t i = 0; i < panels_.size(); ++i) {
    panels_[i] = Named(new QLabel(sBar_), kPanelKeys[i]);
    panels_[i]->setMinimumWidth(120);
    sBar_->addWidget(panels_[i], 1);
  }
  prgLoad_ = Named(new QProgressBar(sBar_), "prgLoad");
  prgLoad_->setRange(0, 1000);
  prgLoad_->hide();
  cmdCancelLoad_ = Named(new QPushButton("Cancel", sBar_), "cmdCancelLoad");
  cmdCancelLoad_->setToolTip("Stops the import; the analyser keeps what it held before");
  cmdCancelLoad_->hide();
  connect(cmdCancelLoad_, &QPushButton::clicked, this, &FrmLogA::CmdCancelLoadClick);
  sBar_->addPermanentWidget(prgLoad_, 1);
  sBar_->addPermanentWidget(cmdCancelLoad_);
}

void FrmLogA::CreateLayout() {
  auto* log_buttons = new QHBoxLayout;
  log_buttons->addWidget(cmdOpen_);
  log_buttons->addWidget(cmdClose_);
  log_buttons->addWidget(cmdCharts_);
  log_buttons->addStretch();
  log_buttons->addWidget(new QLabel("Gateway", this));
  log_buttons->addWidget(cbGateway_);
  auto* report_row = new QHBoxLayout;
  report_row->addWidget(new QLabel("Report Specification", this));
  report_row->addWidget(cbReportSpec_, 1);
  report_row->addWidget(cmdReportDef_);
  report_row->addWidget(cmdReport_);
  report_row->addSpacing(12);
  report_row->addWidget(cmdSave_);
  report_row->addWidget(cmdView_);
  report_row->addWidget(cmdPrint_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(log_buttons);
  layout->addLayout(report_row);
  layout->addWidget(lvMain_, 1);
  layout->addWidget(lblReportGen_, 1);
  layout->addWidget(sBar_);
}

void FrmLogA::SizeColumns() {
  // Date and time, host names and zone names are wider than an address; the
  // response ("OK", "BL") needs no more than its header.
  QHeaderView* header = lvMain_->horizontalHeader();
  const QFontMetrics metrics = fontMetrics();
  header->resizeSection(0, metrics.horizontalAdvance("2003-05-01 23:59") + 16);
  header->resizeSection(4, metrics.horizontalAdvance("Response") + 24);
  int wide = metrics.horizontalAdvance("zen.spamhaus.org.") * 3 / 2;
  // Host and zone share what the other columns leave, so the last column
  // shows whole without scrolling, with room kept for the vertical scroll bar.
  int available = lvMain_->width() - 2 * lvMain_->frameWidth() -
                  lvMain_->verticalScrollBar()->sizeHint().width();
  // The last column stretches, but never below the width it was given.
  header->resizeSection(kLastColumn, metrics.horizontalAdvance("BL Type") + 24);
  int others = header->sectionSize(0) + header->sectionSize(1) + header->sectionSize(2) +
               header->sectionSize(4) + header->sectionSize(kLastColumn);
  int fitted = (available - others) / 2;
  wide = std::max(std::min(wide, fitted), metrics.horizontalAdvance("mx.example") + 8);
  header->resizeSection(3, wide);
  header->resizeSection(5, wide);
}

void FrmLogA::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  SizeColumns();
}

std::filesystem::path FrmLogA::db_file() const {
  return analyser::ReportDbTarget(Std(options_.report_db),
                                  std::filesystem::path(Std(options_.program_folder)));
}

bool FrmLogA::shared_database() const { return analyser::IsPostgresUri(db_file().string()); }

std::string FrmLogA::gateway() const { return Std(cbGateway_->currentData().toString()); }

QString FrmLogA::PanelText(const QString& key) const {
  for (std::size_t i = 0; i < panels_.size(); ++i) {
    if (key == kPanelKeys[i]) return panels_[i]->text();
  }
  return {};
}

void FrmLogA::SetPanel(const QString& key, const QString& text) {
  for (std::size_t i = 0; i < panels_.size(); ++i) {
    if (key == kPanelKeys[i]) panels_[i]->setText(text);
  }
}

void FrmLogA::ShowError(const QString& text) {
  services_.ShowMessage(this, QMessageBox::Critical, kTitle, text, QMessageBox::Ok);
}

bool FrmLogA::HoldDatabase() {
  // A shared database takes appends from many programs at once.
  if (shared_database()) return true;
  if (db_lock_ && db_lock_->isLocked()) return true;
  db_lock_ = std::make_unique<QLockFile>(Qs(db_file().string() + ".lock"));
  // Only a holder that is gone leaves a stale lock, however long a log stays open.
  db_lock_->setStaleLockTime(0);
  return db_lock_->tryLock(0);
}

void FrmLogA::CmdOpenClick() {
  QString name = services_.GetOpenFileName(this, "Open Log File", options_.program_folder,
                                           "Log Files (*.log);;All Files (*.*)");
  if (name.isEmpty() || name.contains('*')) return;
  if (!HoldDatabase()) {
    ShowError(db_lock_->error() == QLockFile::LockFailedError
                  ? QString("The log analysis is open in another console.  Close its Vantry Log "
                            "Analysis window first.")
                  : "Cannot lock the report database next to " + Qs(db_file().string()) +
                        ": the folder must be writable.");
    return;
  }

  previous_log_file_ = Qs(params_.LogFile);
  previous_log_ips_ = params_.LogIPs;
  log_path_ = name;
  params_.LogFile = Std(name);

  setCursor(Qt::BusyCursor);  // busy, yet the window still answers (Cancel)
  model_->Clear();
  cmdOpen_->setEnabled(false);
  // The empty table stays in place, so the window keeps its shape while loading.
  lvMain_->setEnabled(false);
  sBar_->clearMessage();
  prgLoad_->setValue(0);
  prgLoad_->show();
  cmdCancelLoad_->show();
  cmdCancelLoad_->setEnabled(true);
  SetPanel("Entries", Qs(analyser::EntriesPanelText(0)));

  job_ = std::make_unique<LogImportJob>(std::filesystem::path(Std(name)), db_file(),
                                        shared_database());
  connect(job_.get(), &LogImportJob::Finished, this, &FrmLogA::ImportFinished);
  job_->Start();
  tmrProgress_->start();
}

void FrmLogA::CmdCancelLoadClick() {
  if (!job_) return;
  job_->Cancel();
  cmdCancelLoad_->setEnabled(false);
}

void FrmLogA::ImportProgressTick() {
  if (!job_) return;
  SetPanel("Entries", Qs(analyser::EntriesPanelText(job_->entries())));
  std::uint64_t total = job_->bytes_total();
  if (total > 0) {
    prgLoad_->setValue(static_cast<int>(job_->bytes_read() * 1000 / total));
  }
}

void FrmLogA::ImportFinished() {
  tmrProgress_->stop();
  const analyser::ImportResult result = job_->result();
  job_.reset();
  if (result.cancelled || !result.status.ok) {
    // The table kept its previous rows; the window goes back to "no log open".
    log_path_.clear();
    params_.LogFile = Std(previous_log_file_);
    params_.LogIPs = previous_log_ips_;
    for (const char* key : kPanelKeys) SetPanel(key, {});
    cmdOpen_->setEnabled(true);
    EndLoad();
    if (result.cancelled) {
      sBar_->showMessage("Import cancelled: no log is open, the report database is unchanged");
    } else {
      ShowError(Qs(result.status.message));
    }
    return;
  }

  // The replaced rows' space goes back while the list is already usable.
  if (!shared_database()) StartCompaction();
  RefreshGateways();
  ShowLoaded(result.stored);
  cmdClose_->setEnabled(true);
  cmdCharts_->setEnabled(true);
  if (charts_) charts_->ShowLog(log_path_);
  cmdReport_->setEnabled(true);
  EndLoad();
  if (std::string skipped = result.SkipSummary(); !skipped.empty()) {
    services_.ShowMessage(this, QMessageBox::Information, kTitle, Qs(skipped), QMessageBox::Ok);
  }
}

void FrmLogA::ShowLoaded(std::int64_t entries) {
  SetPanel("Entries", Qs(analyser::EntriesPanelText(entries)));
  analyser::Status shown = model_->Open(db_file(), gateway());
  SizeColumns();
  analyser::LogTotals totals;
  analyser::Status counted = analyser::ShowTotals(db_file(), &totals, gateway());
  if (counted.ok) {
    SetPanel("OKs", Qs(analyser::OksPanelText(totals)));
    SetPanel("BLs", Qs(analyser::BlsPanelText(totals)));
    SetPanel("IPs", Qs(analyser::IpsPanelText(totals)));
    params_.LogIPs = totals.ips;
  }
  sort_descending_ = true;
  lvMain_->horizontalHeader()->setSortIndicatorShown(false);
  if (!shown.ok) ShowError(Qs(shown.message));
  if (!counted.ok) ShowError(Qs(counted.message));
}

void FrmLogA::RefreshGateways() {
  QString chosen = cbGateway_->currentData().toString();
  cbGateway_->clear();
  cbGateway_->addItem("All gateways", QString());
  std::vector<std::string> names;
  // Without the list the window still shows every gateway's rows.
  if (analyser::ListGateways(db_file(), &names).ok) {
    for (const std::string& name : names) cbGateway_->addItem(Qs(name), Qs(name));
  }
  cbGateway_->setCurrentIndex(std::max(0, cbGateway_->findData(chosen)));
  cbGateway_->setEnabled(true);
}

void FrmLogA::CbGatewayChanged() {
  if (!model_->is_open()) return;
  model_->Clear();
  ShowLoaded(0);
  SetPanel("Entries", Qs(analyser::EntriesPanelText(model_->rowCount())));
}

void FrmLogA::StartCompaction() {
  std::filesystem::path file = db_file();
  std::shared_ptr<std::atomic<int>> running = compactions_;
  ++*running;
  // The global pool's threads are waited for when the console ends, so a
  // compaction started as the window closes still finishes.
  QThreadPool::globalInstance()->start([file, running] {
    analyser::CompactDatabase(file);  // a failure leaves the file as large as it was
    --*running;
  });
}

void FrmLogA::EndLoad() {
  prgLoad_->hide();
  cmdCancelLoad_->hide();
  lvMain_->setEnabled(true);
  unsetCursor();
}

void FrmLogA::CmdCloseClick() {
  model_->Clear();
  cbGateway_->setEnabled(false);
  for (const char* key : kPanelKeys) SetPanel(key, {});
  cmdReport_->setEnabled(false);
  cmdClose_->setEnabled(false);
  cmdCharts_->setEnabled(false);
  cmdView_->setEnabled(false);
  cmdOpen_->setEnabled(true);
  document_.ReportClear();
}

void FrmLogA::CmdChartsClick() {
  if (!charts_) charts_ = new analyser::ChartsWindow(services_, this);
  charts_->ShowLog(log_path_);
  charts_->show();
  charts_->raise();
}

void FrmLogA::LvMainHeaderClick(int column) {
  if (!model_->is_open()) return;
  // Every click flips the order, whichever column it names.
  sort_descending_ = !sort_descending_;
  Qt::SortOrder order = sort_descending_ ? Qt::DescendingOrder : Qt::AscendingOrder;
  QApplication::setOverrideCursor(Qt::BusyCursor);  // the first sort on a column builds an index
  model_->sort(column, order);
  QApplication::restoreOverrideCursor();
  lvMain_->horizontalHeader()->setSortIndicatorShown(true);
  lvMain_->horizontalHeader()->setSortIndicator(column, order);
  if (!model_->last_error().isEmpty()) ShowError(model_->last_error());
}

void FrmLogA::LvMainContextMenu(const QPoint& pos) {
  if (model_->rowCount() < 1) return;
  // popup(), not exec(): the window keeps running its event loop meanwhile.
  mnuPopup_->popup(lvMain_->viewport()->mapToGlobal(pos));
}

void FrmLogA::MnuPopupCopyClick() {
  QList<int> rows;
  for (const QModelIndex& index : lvMain_->selectionModel()->selectedRows()) {
    rows.append(index.row());
  }
  QApplication::setOverrideCursor(Qt::BusyCursor);
  QString text = model_->CopyText(rows);
  QApplication::restoreOverrideCursor();
  if (!model_->last_error().isEmpty()) {
    ShowError(model_->last_error());
    return;
  }
  services_.SetClipboardText(text);
}

void FrmLogA::closeEvent(QCloseEvent* event) {
  // Window unload: a running import is stopped (its transaction rolls back)
  // and the table is left empty.
  if (job_) {
    tmrProgress_->stop();
    job_.reset();  // cancels and waits for the worker
  }
  model_->Clear();
  std::error_code ec;
  // Nothing to empty when no log was ever imported here (another console's
  // window may hold the table); don't create the file just for that. A
  // shared database holds the fleet's rows and is never emptied.
  if (!shared_database() && db_lock_ && db_lock_->isLocked() &&
      std::filesystem::exists(db_file(), ec)) {
    if (analyser::ClearLogTable(db_file()).ok) StartCompaction();
  }
  db_lock_.reset();
  event->accept();
}

}  // namespace vantry::console
