// Renders each tab of the main window into PNG files for the documentation.
// Usage: vantry_console_screenshots OUT_DIR (with VANTRY_REGISTRY and
// VANTRY_MAILSLOT pointing at a scratch settings file and channel name).
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTimer>
#include <fstream>
#include <iostream>
#include <iterator>

#include "frm_main.h"
#include "gateway_config.h"
#include "mod_slot_out.h"
#include "qt_desktop_services.h"
#include "report_line.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 3) {
    std::cerr << "usage: vantry_console_screenshots OUT_DIR PROGRAM_FOLDER\n";
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);
  // A scratch settings file with the install defaults and a few list entries.
  vantry::WriteDefaults(argv[2]);
  const std::string folder = argv[2];
  auto write = [&](const char* name, const char* text) {
    std::ofstream(folder + "/" + name, std::ios::binary) << text;
  };
  write("rbl.cfg", "zen.spamhaus.org\r\nbl.spamcop.net\r\nb.barracudacentral.org\r\n");
  write("exlst.cfg", "192.0.2.25\r\n198.51.100.3\r\n");
  write("manbl.cfg", "203.0.113.66\r\n203.0.113.67\r\n");
  vantry::console::QtDesktopServices services;
  vantry::console::FrmMainOptions options;
  options.program_folder = argv[2];
  vantry::console::FrmMain window(services, options);
  window.Load();
  window.resize(1024, 768);
  window.show();

  // A little traffic from a real writer so the activity tab is not empty.
  vantry::SlotWriter writer;
  writer.SlotOpen();
  std::tm t{};
  t.tm_year = 126;
  t.tm_mon = 5;
  t.tm_mday = 14;
  t.tm_hour = 9;
  auto send = [&](int slot, const char* action, const char* ip, const char* alt, const char* host,
                  const char* type, const char* source) {
    vantry::ReportFields f{255, slot, action, ip, alt, host, type, source};
    t.tm_min = slot;
    writer.SlotWrite(vantry::FrameReport(vantry::FormatReportLine(f, t)));
  };
  send(0, "START", "", "", "", "", "");
  send(0, "OK", "192.0.2.10", "192.0.2.10", "mail.example.net", "", "");
  send(1, "BL", "198.51.100.7", "198.51.100.7", "", "No Hostname", "No Host");
  send(2, "BL", "203.0.113.45", "203.0.113.45", "dsl-45.example.org", "Type 2", "bl.spamcop.net");
  send(3, "OK", "192.0.2.77", "192.0.2.77", "relay.example.com", "", "");
  send(3, "CLOSED", "192.0.2.77", "192.0.2.77", "relay.example.com", "", "");
  send(4, "BL", "192.0.2.200", "192.0.2.201", "spoof.example.org", "Alt IP", "ALT IP");
  send(5, "BL", "198.51.100.90", "198.51.100.90", "host-90.example.net", "Type 3",
       "zen.spamhaus.org");

  const char* names[] = {"console-monitor.png", "console-redirect.png", "console-blocking.png",
                         "console-advanced.png", "console-about.png"};
  // The blocking tab as Block All leaves it.
  window.findChild<QAction*>("mnuServerConfigBlockTypesAll")->trigger();
  int index = 0;
  auto* tabs = window.findChild<QTabWidget*>("tabMon");
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    window.grab().save(out + "/" + names[index]);
    if (++index == static_cast<int>(std::size(names))) {
      app.quit();
      return;
    }
    tabs->setCurrentIndex(index);
  });
  timer.start(700);
  return app.exec();
}
