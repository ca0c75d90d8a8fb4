// bench_monitor [frames_per_second] [seconds]
//
// A writer thread (the gateway's SlotWriter end) sends framed report lines at a
// fixed rate to a console window that is watching. Afterwards every slot's row
// must show the last report sent for that slot. A 5 ms heartbeat timer on the
// UI thread measures the longest stall; an idle run of the same window first
// gives the baseline the stall is compared with.
#include <poll.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "frm_main.h"
#include "unattended_desktop_services.h"
#include "mod_slot_out.h"
#include "report_line.h"

namespace {


constexpr int kMaxSocks = 255;

struct Expected {
  QString action;
  QString ip;
};

std::string IpFor(long i) {
  return "10." + std::to_string((i >> 16) & 255) + "." + std::to_string((i >> 8) & 255) + "." +
         std::to_string(i & 255);
}

const char* ActionFor(long i) {
  static const char* kActions[] = {"OK", "BL", "OK", "CLOSED"};
  return kActions[(i / (kMaxSocks + 1)) % 4];
}

// Measures the longest gap between 5 ms heartbeats while `run` lasts.
struct StallMeter {
  QTimer timer;
  QElapsedTimer clock;
  qint64 last = 0;
  qint64 worst = 0;
  StallMeter() {
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [this] {
      qint64 now = clock.elapsed();
      worst = std::max(worst, now - last);
      last = now;
    });
  }
  void Start() {
    clock.start();
    last = 0;
    worst = 0;
    timer.start(5);
  }
  qint64 StallMs() {
    timer.stop();
    return std::max<qint64>(0, worst - 5);
  }
};

void RunFor(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int rate = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;

  char dir_template[] = "/tmp/vantry-bench-monitor-XXXXXX";
  const std::string dir = mkdtemp(dir_template);
  setenv("VANTRY_REGISTRY", (dir + "/registry.reg").c_str(), 1);
  const std::string name = "vantry-bench-monitor-" + std::to_string(getpid());
  setenv("VANTRY_MAILSLOT", name.c_str(), 1);

  vantry::console::UnattendedDesktopServices services;
  vantry::console::FrmMainOptions options;
  options.program_folder = dir;
  vantry::console::FrmMain window(services, options);
  window.Load();
  window.resize(1024, 768);
  window.show();
  auto* table = window.findChild<QTreeWidget*>("lvData");

  StallMeter meter;
  meter.Start();
  RunFor(2000);
  const qint64 idle_stall = meter.StallMs();

  const long total = static_cast<long>(rate) * seconds;
  std::atomic<long> sent{0};
  std::atomic<long> retries{0};
  std::vector<Expected> expected(kMaxSocks + 1);
  for (long i = 0; i < total; ++i) {
    Expected& e = expected[i % (kMaxSocks + 1)];
    e.action = ActionFor(i);
    // "closed" changes only the Action column.
    if (e.action != "CLOSED") e.ip = QString::fromStdString(IpFor(i));
  }

  meter.Start();
  QElapsedTimer wall;
  wall.start();
  std::thread writer_thread([&] {
    vantry::SlotWriter writer(name);
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 5;
    t.tm_mday = 14;
    auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < total; ++i) {
      std::this_thread::sleep_until(start + std::chrono::microseconds(i * 1000000L / rate));
      const int slot = static_cast<int>(i % (kMaxSocks + 1));
      std::string ip = IpFor(i);
      t.tm_hour = static_cast<int>((i / 60) % 24);
      t.tm_min = static_cast<int>(i % 60);
      std::string frame = vantry::FrameReport(vantry::FormatReportLine(
          {kMaxSocks, slot, ActionFor(i), ip, ip, "host.example", "Type 2", "zone.test"}, t));
      writer.SlotOpen();
      // As the gateway does: a full socket is waited on, never skipped.
      while (writer.SlotWrite(frame) == vantry::SlotWriteResult::kWouldBlock) {
        ++retries;
        pollfd p{writer.fd(), POLLOUT, 0};
        poll(&p, 1, 100);
      }
      writer.SlotClose();
      ++sent;
    }
  });
  while (sent.load() < total) RunFor(50);
  writer_thread.join();
  const qint64 send_ms = wall.elapsed();
  QElapsedTimer settle;
  settle.start();
  while (window.monitor_messages_shown() < static_cast<std::size_t>(total) &&
         settle.elapsed() < 10000) {
    RunFor(20);
  }
  const qint64 busy_stall = meter.StallMs();

  long wrong_rows = 0;
  for (int slot = 0; slot <= kMaxSocks; ++slot) {
    QTreeWidgetItem* row = table->topLevelItem(slot);
    if (row == nullptr || row->text(1).toUpper() != expected[slot].action.toUpper() ||
        row->text(2) != expected[slot].ip) {
      ++wrong_rows;
    }
  }
  const long shown = static_cast<long>(window.monitor_messages_shown());
  std::printf("frames sent            %ld in %.2f s (%.0f/s target %d/s)\n", total,
              send_ms / 1000.0, total * 1000.0 / send_ms, rate);
  std::printf("frames shown           %ld (lost %ld), writer waits on full socket %ld\n", shown,
              total - shown, retries.load());
  std::printf("rows wrong at the end  %ld of %d\n", wrong_rows, kMaxSocks + 1);
  std::printf("dropped by queue bound %zu bytes\n", window.channel().dropped_bytes());
  std::printf("UI stall idle baseline %lld ms\n", static_cast<long long>(idle_stall));
  std::printf("UI stall under load    %lld ms (limit 50 ms; ratio to baseline %.1f)\n",
              static_cast<long long>(busy_stall),
              idle_stall > 0 ? double(busy_stall) / double(idle_stall) : double(busy_stall));
  std::filesystem::remove_all(dir);
  const bool ok = total == shown && wrong_rows == 0 && busy_stall <= 50;
  std::printf("%s\n", ok ? "PASS" : "FAIL");
  return ok ? 0 : 1;
}
