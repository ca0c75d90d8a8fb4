// vantrysvc: the DNS-blocklist gateway.
#include <signal.h>
#include <sys/stat.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "configure_service.h"
#include "drop_privileges.h"
#include "frm_svc.h"
#include "instance_lock.h"
#include "service_control.h"
#include "trace.h"
#include "zones_command.h"

namespace {

std::string ProgramPath() {
  std::error_code ec;
  auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("vantrysvc") : path.string();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vantry;
  std::string arguments;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) arguments += ' ';
    arguments += argv[i];
  }
  const Switch requested = ParseCommandLine(arguments);
  const std::string program_path = ProgramPath();
  const std::string program_folder = std::filesystem::path(program_path).parent_path().string();
  // A check for administrators, beside a running gateway: no lock, no listener.
  if (IsZonesSwitch(arguments)) return ProbeZonesOnce(program_folder);

  switch (requested) {
    case Switch::kHelp:
      std::cout << UsageText();
      return 0;
    case Switch::kInstall:
      return InstallService(program_path, program_folder);
    case Switch::kUninstall:
      return UninstallService();
    case Switch::kFixReg:
      return FixRegistry(program_folder);
    case Switch::kDebug:
      break;
    case Switch::kNone:
      // Any other text runs the service, as with no switch at all; a mistyped
      // switch should not go unnoticed.
      if (!arguments.empty()) {
        std::cerr << "vantrysvc: \"" << arguments
                  << "\" is not a switch (see --help); running the gateway" << std::endl;
      }
      break;
  }

  // What the gateway creates (the activity log) is not for every user to read.
  umask(027);
  std::string lock_path;
  if (!AcquireInstanceLock(&lock_path)) {
    std::cerr << "vantrysvc: another gateway is already running with these settings (lock "
              << lock_path << ")" << std::endl;
    return 1;
  }
  // A client that vanishes mid-write must cost an error code, not the process.
  signal(SIGPIPE, SIG_IGN);

  const int trace_fd = requested == Switch::kDebug ? STDOUT_FILENO : STDERR_FILENO;
  Trace trace(trace_fd, Trace::kDefaultMaxPending, WritesToJournal(trace_fd));
  asio::io_context io(1);
  ConfigSettings settings;
  HostLists lists;
  if (!ConfigureService(trace, program_folder, settings, lists)) return 1;
  FitSlotsToLimits(trace, settings);
  trace.Say("Setting Socket Parameters");
  auto service = std::make_unique<FrmSvc>(io, trace, std::move(settings), std::move(lists));
  if (!service->StartListening()) return 1;
  trace.AttachExecutor(io.get_executor());
  PrivilegeDrop dropped = DropPrivileges();
  if (!dropped.trace_line.empty()) trace.Say(dropped.trace_line);
  if (!dropped.ok) {
    trace.FlushBeforeExit();
    return 1;
  }

  // SIGHUP is the -debug terminal closing: a stop like the others.
  asio::signal_set stop_signals(io, SIGINT, SIGTERM, SIGHUP);
  stop_signals.async_wait([&service, &trace](std::error_code ec, int) {
    if (ec) return;
    sd_notify(0, "STOPPING=1");
    service->ReportShutdown();
    trace.FlushBeforeExit();
    // Stop ends the process at once: open connections are dropped unreported.
    _exit(0);
  });
  // The lists are loaded, the port takes connections and a stop is heard:
  // systemd may start what waits for the gateway (outside a Type=notify unit
  // there is no one to tell).
  sd_notify(0, "READY=1");
  // Every connection's work catches its own failures; anything that still
  // escapes a handler is a fault to report, and the other slots keep running.
  for (;;) {
    try {
      io.run();
      return 0;
    } catch (const std::exception& error) {
      trace.Say(std::string("Unexpected error, carrying on: ") + error.what());
    }
  }
}
