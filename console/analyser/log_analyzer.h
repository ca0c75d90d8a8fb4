#pragma once

#include <QObject>
#include <QPointer>

#include "desktop_services.h"
#include "report_params.h"

namespace vantry::console {

class FrmLogA;
class FrmMain;

/// The console's log analyser: owns the report parameters for the life of the
/// console and opens the analysis window from File > Log Analyzer, modeless,
/// creating it on first use and again after it was closed.
class LogAnalyzer : public QObject {
  Q_OBJECT

 public:
  LogAnalyzer(FrmMain& main_window, DesktopServices& services);
  ~LogAnalyzer() override;

  /// Shows the window (creating it when needed) and brings it to the front.
  void Open();
  /// The open analysis window, or null.
  FrmLogA* window() const;
  analyser::ReportParams& params() { return params_; }

 private:
  FrmMain& main_window_;
  DesktopServices& services_;
  analyser::ReportParams params_;
  QPointer<FrmLogA> window_;
};

/// Plugs the log analyser into the main window's File > Log Analyzer entry.
/// The analyser lives as long as the main window.
LogAnalyzer* InstallLogAnalyzer(FrmMain& main_window, DesktopServices& services);

}  // namespace vantry::console
