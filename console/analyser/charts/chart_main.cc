// vantry-chart: the analysis window's charts of a log written to a file, with
// no display. vantry-report chart runs it.
// Usage: vantry-chart --kind hourly|types|zones|top --out FILE.svg|FILE.png LOG
#include <QApplication>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "chart_builder.h"
#include "chart_counts.h"

namespace {

constexpr std::string_view kUsage =
    "usage: vantry-report chart --kind hourly|types|zones|top --out FILE.svg|FILE.png LOG\n";

int Fail(std::string_view message) {
  std::cerr << "vantry-report chart: " << message << "\n";
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string kind_name, out, log;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if ((arg == "--kind" || arg == "--out") && i + 1 < argc) {
      (arg == "--kind" ? kind_name : out) = argv[++i];
    } else if (!arg.starts_with("--") && log.empty()) {
      log = arg;
    } else {
      std::cerr << kUsage;
      return 2;
    }
  }
  const auto kind = vantry::analyser::ChartKindFromName(kind_name);
  if (!kind || out.empty() || log.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  // Charts are drawn by widgets' graphics code, which needs an application but no screen.
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  const auto counts = vantry::analyser::CountLogFile(log);
  if (!counts) return Fail("cannot read " + log);
  QString error;
  if (!vantry::analyser::SaveChart(*kind, *counts, QString::fromStdString(out), &error)) {
    return Fail(error.toStdString());
  }
  return 0;
}
