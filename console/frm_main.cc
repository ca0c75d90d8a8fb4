#include "frm_main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QStatusBar>
#include <QTime>
#include <QTimer>

#include "gateway_config.h"
#include "mod_slot_out.h"
#include "registry_store.h"
#include "service_unit.h"

namespace vantry::console {
namespace {

const QString kChannelLessText = QStringLiteral(
    "Vantry Monitor cannot communicate with the Vantry service.\n"
    "This may be due to a previous instance of the monitor running, \n"
    "or the service is incorrectly configured.\n"
    "Please close any other instances of the monitor on this machine and try again.\n"
    "\n"
    "You may make changes to the configuration however, any other instance of the monitor "
    "running\n"
    "may override any changes you make.  Also real-time monitoring will be disabled\n");

const QString kExitQuestion = QStringLiteral(
    "You have made changes to the configuration of the Vantry service.\n"
    "Do you wish to save these changes before exiting?\n"
    "Click YES to save and exit.\n"
    "Click NO to exit without saving.\n"
    "Click Cancel to abort exit.\n");

}  // namespace

FrmMain::FrmMain(DesktopServices& services, FrmMainOptions options, QWidget* parent)
    : QMainWindow(parent),
      services_(services),
      options_(std::move(options)),
      channel_(std::make_unique<MonitorChannel>(options_.max_queued_bytes)) {
  setObjectName("frmMain");
  setWindowTitle("Dask Vantry Service Monitor - Vantry");
  if (!options_.end_program) options_.end_program = [] { QCoreApplication::exit(0); };

  tmr_ = new QTimer(this);
  tmr_->setObjectName("tmr");
  tmr_->setSingleShot(true);  // every tick re-arms it itself
  connect(tmr_, &QTimer::timeout, this, &FrmMain::TmrTick);
  tmrConfig_ = new QTimer(this);
  tmrConfig_->setObjectName("tmrConfig");
  tmrConfig_->setInterval(1000);
  connect(tmrConfig_, &QTimer::timeout, this, &FrmMain::TmrConfigTick);
  clock_ = new QTimer(this);
  clock_->setInterval(1000);
  connect(clock_, &QTimer::timeout, this, &FrmMain::UpdateClock);
  restart_timer_ = new QTimer(this);
  restart_timer_->setSingleShot(true);
  connect(restart_timer_, &QTimer::timeout, this, &FrmMain::FinishRestart);

  CreateActions();
  CreateMenus();
  CreateStatusBar();
  CreateTabs();
  ConnectTabs();
  resize(1000, 700);
}

FrmMain::~FrmMain() = default;

void FrmMain::CreateStatusBar() {
  statusBar()->setObjectName("sBar");
  static constexpr int kStretch[5] = {3, 2, 0, 0, 0};
  for (int i = 0; i < 5; ++i) {
    auto* label = new QLabel(statusBar());
    label->setObjectName(QString("sBarPanel%1").arg(i + 1));
    label->setFrameShape(QFrame::StyledPanel);
    label->setFrameShadow(QFrame::Sunken);
    label->setContentsMargins(4, 0, 4, 0);
    statusBar()->addPermanentWidget(label, kStretch[i]);
    panels_[i] = label;
  }
  panels_[4]->setText("Monitor On");
  UpdateClock();
  clock_->start();
}

void FrmMain::UpdateClock() {
  QLocale locale = QLocale::system();
  panels_[2]->setText(locale.toString(QDate::currentDate(), QLocale::ShortFormat));
  panels_[3]->setText(locale.toString(QTime::currentTime(), QLocale::ShortFormat));
}

void FrmMain::SetPanel(int panel, const QString& text) { panels_[panel - 1]->setText(text); }

QString FrmMain::PanelText(int panel) const { return panels_[panel - 1]->text(); }

QString FrmMain::LogFolder() const { return QString::fromStdString(config_.PathEXE); }

void FrmMain::Load(const std::function<void()>& unload_splash) {
  auto unload = [&] {
    if (unload_splash) unload_splash();
  };
  const bool settings_there = SettingsFileExists() || OfferDefaults();
  LoadedConfig loaded =
      settings_there ? LoadConfig(options_.program_folder) : DefaultConfig(options_.program_folder);
  config_ = loaded.config;
  FillLists(loaded.lists);
  ShowConfig();
  if (!loaded.problems.empty()) {
    QString text = "These list files could not be read or created:\n";
    for (const std::string& problem : loaded.problems)
      text += QString::fromStdString(problem) + "\n";
    services_.ShowMessage(this, QMessageBox::Warning, "Vantry Monitor", text, QMessageBox::Ok);
  }

  std::optional<std::string> name = ConsoleMailslotName(config_.Gateway);
  if (!name || !channel_->SlotCreate(*name)) {
    services_.ShowMessage(this, QMessageBox::Critical, "Vantry Monitor", kChannelLessText,
                          QMessageBox::Ok);
    unload();
    channel_less_ = true;
    watching_ = false;
    tmr_->stop();
    SetPanel(1, "Real-Time Monitor Disabled");
    mnuMonitorStop_->setEnabled(false);
    mnuMonitorStart_->setEnabled(false);
    mnuServerConfigRestart_->setEnabled(false);
    SetPanel(5, "Monitor Off");
  } else {
    watching_ = true;
    tmr_->start(250);
    SetPanel(1, "Waiting for Vantry service");
  }
  tmrConfig_->start();
  config_changed_ = false;
  mnuServerConfigSaveSettings_->setEnabled(false);
  unload();
}

void FrmMain::MonitorStop() {
  // Without the channel there is nothing to stop, and the save entry's timer
  // must keep running: Start would not restart it.
  if (channel_less_) return;
  watching_ = false;
  tmr_->stop();
  tmrConfig_->stop();
  SetPanel(5, "Logging Off");
  mnuMonitorStop_->setChecked(true);
  mnuMonitorStart_->setChecked(false);
}

void FrmMain::MonitorStart() {
  if (channel_less_) return;  // nothing to watch; the entries are disabled too
  watching_ = true;
  tmr_->start(250);
  tmrConfig_->start(1000);
  SetPanel(5, "Logging On");
  mnuMonitorStart_->setChecked(true);
  mnuMonitorStop_->setChecked(false);
}

void FrmMain::TmrConfigTick() { mnuServerConfigSaveSettings_->setEnabled(config_changed_); }

void FrmMain::MarkChanged() {
  config_changed_ = true;
  mnuServerConfigSaveSettings_->setEnabled(true);
}

bool FrmMain::OfferDefaults() {
  const QString path = QString::fromStdString(RegistryFilePath());
  const QString folder = QString::fromStdString(options_.program_folder);
  const QMessageBox::StandardButton answer = services_.ShowMessage(
      this, QMessageBox::Warning, "Vantry Monitor",
      "The settings file " + path +
          " does not exist: the gateway cannot run as configured.\n\n"
          "Write the default settings now, as \"vantrysvc -fixreg\" does, with the lists and "
          "the log in " +
          folder +
          "?\n\nClick NO to see the defaults without writing anything; a save writes them "
          "then.",
      QMessageBox::Yes | QMessageBox::No);
  if (answer != QMessageBox::Yes) return false;
  std::string error;
  if (!WriteDefaults(options_.program_folder, &error)) {
    services_.ShowMessage(this, QMessageBox::Critical, "Vantry Monitor",
                          "The default settings were not written: " + QString::fromStdString(error),
                          QMessageBox::Ok);
    return false;
  }
  return true;
}

void FrmMain::closeEvent(QCloseEvent* event) {
  if (!exiting_now_ && config_changed_) {
    QMessageBox::StandardButton answer =
        services_.ShowMessage(this, QMessageBox::Question, "Korvane Vantry", kExitQuestion,
                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (answer != QMessageBox::Yes && answer != QMessageBox::No) {
      event->ignore();
      return;
    }
    // A save that failed has told the user why; closing now would lose the edits.
    if (answer == QMessageBox::Yes && !ApplyConfig()) {
      event->ignore();
      return;
    }
  }
  // A restart half done would leave the gateway stopped: start it now.
  if (restart_timer_->isActive()) {
    restart_timer_->stop();
    FinishRestart();
    EndRestart();
  }
  tmr_->stop();
  watching_ = false;
  channel_->SlotClose();
  event->accept();
}

void FrmMain::FileExit() {
  exiting_now_ = true;
  tmr_->stop();
  watching_ = false;
  channel_->SlotClose();
  close();
  options_.end_program();
}

void FrmMain::OpenFailed(const QString& what, const QString& why) {
  services_.ShowMessage(this, QMessageBox::Warning, "Vantry", "Cannot open " + what + ": " + why,
                        QMessageBox::Ok);
}

void FrmMain::FileOpenLog() {
  const QString path = LogFolder() + "/vantry.log";
  if (!QFileInfo(path).isFile()) {
    OpenFailed(path, "the gateway has not written a log there yet.");
  } else if (!services_.OpenInTextEditor(path)) {
    OpenFailed(path, "no text editor could be started.");
  }
}

void FrmMain::FileLogAnalyze() {
  if (log_analyzer_opener_) {
    log_analyzer_opener_();
    return;
  }
  services_.ShowMessage(this, QMessageBox::Information, "Vantry Monitor",
                        "The log analyser is not part of this build.", QMessageBox::Ok);
}

void FrmMain::FilePrintLog() {
  QString path = LogFolder() + "/vantry.log";
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    services_.ShowMessage(this, QMessageBox::Warning, "Vantry",
                          "Cannot print " + path + ": " + file.errorString(), QMessageBox::Ok);
    return;
  }
  // A busy gateway's log runs to thousands of pages: ask before sending them all.
  constexpr qint64 kAskAbove = qint64{1} << 20;
  constexpr qint64 kBytesPerPage = 60 * 60;  // about 60 lines of 60 characters
  if (file.size() > kAskAbove &&
      services_.ShowMessage(this, QMessageBox::Question, "Vantry",
                            QString("%1 is %2 MB, about %3 pages.\n\nPrint it all?")
                                .arg(path)
                                .arg(file.size() / (1 << 20))
                                .arg(file.size() / kBytesPerPage),
                            QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
    return;
  }
  QString text = QString::fromLocal8Bit(file.readAll());
  if (!services_.PrintText(text, "vantry.log")) {
    services_.ShowMessage(this, QMessageBox::Warning, "Vantry",
                          "Cannot print " + path + ": no default printer is available.",
                          QMessageBox::Ok);
  }
}

void FrmMain::RestartService() {
  if (restarting_) return;
  const std::string settings = RegistryFilePath();
  const std::string folder = ServiceUnitFolder();
  std::optional<std::string> unit = ServiceUnitFor(settings, folder);
  if (!unit) {
    SetPanel(1, "Restart failed: no service unit for this settings file");
    services_.ShowMessage(
        this, QMessageBox::Warning, "Vantry",
        QString("No service unit in %1 runs the gateway with the settings file "
                "%2, so there is nothing to restart.")
            .arg(QString::fromStdString(folder), QString::fromStdString(settings)),
        QMessageBox::Ok);
    return;
  }
  restart_unit_ = QString::fromStdString(*unit);
  restarting_ = true;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  setEnabled(false);
  SetPanel(1, "Restarting Vantry Service...");
  // A timer, not a sleep: the window stays disabled but keeps painting.
  RunSystemctl("stop", [this] { restart_timer_->start(options_.restart_pause_ms); });
}

void FrmMain::FinishRestart() {
  RunSystemctl("start", [this] {
    EndRestart();
    SetPanel(1, "Vantry Service restarted (" + restart_unit_ + ")");
  });
}

void FrmMain::RunSystemctl(const QString& verb, std::function<void()> next) {
  QPointer<FrmMain> self(this);
  services_.RunProgram(
      "systemctl", {verb, restart_unit_},
      [self, verb, next = std::move(next)](const DesktopServices::ProgramResult& result) {
        // A window closed meanwhile has ended the restart itself.
        if (!self || !self->restarting_) return;
        if (result.exit_status == 0) {
          next();
        } else {
          self->RestartFailed(verb, result);
        }
      });
}

void FrmMain::RestartFailed(const QString& verb, const DesktopServices::ProgramResult& result) {
  EndRestart();
  const QString how = result.exit_status < 0
                          ? QString("could not run")
                          : QString("exited with status %1").arg(result.exit_status);
  const QString command = "systemctl " + verb + " " + restart_unit_;
  SetPanel(1, "Restart failed: " + command + " " + how);
  services_.ShowMessage(this, QMessageBox::Warning, "Vantry",
                        QString("Cannot %1 service, error.\n\n%2 %3").arg(verb, command, how) +
                            (result.output.isEmpty() ? QString(".") : ":\n" + result.output),
                        QMessageBox::Ok);
}

void FrmMain::EndRestart() {
  if (!restarting_) return;
  restarting_ = false;
  setEnabled(true);
  QApplication::restoreOverrideCursor();
}

void FrmMain::HelpContents() {
  const QString path = QString::fromStdString(options_.program_folder) + "/help/index.htm";
  if (!QFileInfo(path).isFile()) {
    OpenFailed(path, "the help page is not installed beside the program.");
  } else if (!services_.OpenUrl(QUrl::fromLocalFile(path))) {
    OpenFailed(path, "no web browser could be started.");
  }
}

void FrmMain::HelpMakerPage() {
  const QString page = QString::fromUtf8(kMakerPage.data(), kMakerPage.size());
  if (!services_.OpenUrl(QUrl(page))) OpenFailed(page, "no web browser could be started.");
}

}  // namespace vantry::console
