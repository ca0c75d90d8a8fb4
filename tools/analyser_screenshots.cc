// Renders the analysis window (with a generated sample log loaded and a
// report produced) and the four report dialogs to PNG files for the
// documentation. Run under xvfb-run: vantry_analyser_screenshots <out-folder>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <fstream>

#include "charts_window.h"
#include "frm_log_a.h"
#include "frm_report_custom.h"
#include "frm_report_date.h"
#include "frm_report_def_ip.h"
#include "frm_report_max_ip.h"
#include "unattended_desktop_services.h"

namespace {

void WriteSampleLog(const QString& path) {
  std::ofstream out(path.toStdString(), std::ios::binary);
  const char* zones[] = {"zen.spamhaus.test", "bl.spamcop.test", "dnsbl.sorbs.test"};
  for (int i = 0; i < 2000; ++i) {
    int host = (i * 37) % 120;
    bool blocked = host % 3 == 0;
    char line[256];
    std::snprintf(line, sizeof line,
                  "255|%d|%s|192.0.2.%d|192.0.2.%d|%s|%s|%s|2003-05-%02d|%02d:%02d\r\n", i % 255,
                  blocked ? "BL" : "OK", host, host,
                  host % 5 == 0 ? "" : ("mail" + std::to_string(host) + ".example.net").c_str(),
                  blocked ? "Type 2" : "", blocked ? zones[(host / 3) % 3] : "", 1 + i / 100,
                  (i * 7) % 24, (i * 13) % 60);
    out << line;
  }
}

void Save(QWidget* widget, const QString& file) {
  widget->show();
  QApplication::processEvents();
  if (!widget->grab().save(file)) std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QString out = argc > 1 ? argv[1] : ".";
  QTemporaryDir folder;
  vantry::console::UnattendedDesktopServices services;
  services.open_file_name = folder.filePath("vantry.log");
  WriteSampleLog(services.open_file_name);
  vantry::analyser::ReportParams params;
  vantry::console::FrmLogAOptions options;
  options.program_folder = folder.path();
  options.console_folder = folder.path();
  vantry::console::FrmLogA window(services, params, options);
  window.resize(900, 560);
  window.show();
  window.findChild<QPushButton*>("cmdOpen")->click();
  QElapsedTimer clock;
  clock.start();
  while (window.importing() && clock.elapsed() < 30000) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  Save(&window, QDir(out).filePath("console-log-analyzer.png"));

  // The charts of the same log: connections per day, then refusals by zone.
  window.findChild<QPushButton*>("cmdCharts")->click();
  auto* charts = window.findChild<vantry::analyser::ChartsWindow*>();
  while (charts->counting() && clock.elapsed() < 60000) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  QApplication::processEvents();
  Save(charts, QDir(out).filePath("console-charts.png"));
  charts->findChild<QTabWidget*>("tabCharts")->setCurrentIndex(2);
  Save(charts, QDir(out).filePath("console-charts-zones.png"));

  params.DateStart = "05/01/2003";
  params.DateEnd = "05/07/2003";
  vantry::console::FrmReportDate date(services, params, &window);
  Save(&date, QDir(out).filePath("console-report-date.png"));
  vantry::console::FrmReportMaxIP max_ip(services, params, &window);
  Save(&max_ip, QDir(out).filePath("console-report-max-ip.png"));
  params.ReportHost = "mail";
  vantry::console::FrmReportDefIP def_ip(services, params, &window);
  Save(&def_ip, QDir(out).filePath("console-report-def-ip.png"));
  vantry::console::FrmReportCustom custom(services, params, &window);
  Save(&custom, QDir(out).filePath("console-report-custom.png"));
  window.close();
  return 0;
}
