#include "log_analyzer.h"

#include <QCoreApplication>

#include "frm_log_a.h"
#include "frm_main.h"
#include "settings_schema.h"

namespace vantry::console {

LogAnalyzer::LogAnalyzer(FrmMain& main_window, DesktopServices& services)
    : QObject(&main_window), main_window_(main_window), services_(services) {}

LogAnalyzer::~LogAnalyzer() { delete window_.data(); }

FrmLogA* LogAnalyzer::window() const { return window_.data(); }

void LogAnalyzer::Open() {
  if (!window_) {
    FrmLogAOptions options;
    options.program_folder = main_window_.LogFolder();
    // Read when the window opens, so a ReportDB saved meanwhile takes effect.
    options.report_db = QString::fromStdString(
        SettingsSnapshot::Load(SettingsReader::kConsole,
                               QCoreApplication::applicationDirPath().toStdString())
            .Text("ReportDB"));
    options.console_folder = QCoreApplication::applicationDirPath();
    options.monitor_stop = [this] { main_window_.MonitorStop(); };
    options.monitor_start = [this] {
      // After the main window has closed its channel there is nothing to watch.
      if (main_window_.isVisible()) main_window_.MonitorStart();
    };
    // A top-level window of its own: the console keeps running while it is
    // open even after the main window has closed.
    window_ = new FrmLogA(services_, params_, std::move(options));
    window_->setAttribute(Qt::WA_DeleteOnClose);
  }
  window_->show();
  window_->raise();
  window_->activateWindow();
}

LogAnalyzer* InstallLogAnalyzer(FrmMain& main_window, DesktopServices& services) {
  auto* analyzer = new LogAnalyzer(main_window, services);
  main_window.SetLogAnalyzerOpener([analyzer] { analyzer->Open(); });
  return analyzer;
}

}  // namespace vantry::console
