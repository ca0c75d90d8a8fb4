// VantryMonitor: the gateway's configuration editor and real-time monitor.
#include <QApplication>
#include <QPointer>

#include "frm_main.h"
#include "frm_splash.h"
#include "log_analyzer.h"
#include "qt_desktop_services.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("VantryMonitor");
  vantry::console::QtDesktopServices services;
  vantry::console::FrmMainOptions options;
  options.program_folder = QCoreApplication::applicationDirPath().toStdString();
  vantry::console::FrmMain main_window(services, options);
  vantry::console::InstallLogAnalyzer(main_window, services);

  QPointer<vantry::console::FrmSplash> splash;
  splash = new vantry::console::FrmSplash([&] {
    main_window.Load([&] {
      if (splash) splash->close();
    });
    main_window.show();
  });
  splash->setAttribute(Qt::WA_DeleteOnClose);
  splash->show();
  return app.exec();
}
