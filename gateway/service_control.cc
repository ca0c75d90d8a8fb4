#include "service_control.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <vector>

#include "gateway_config.h"
#include "mod_rbl_registry.h"
#include "registry_store.h"
#include "service_user.h"
#include "unit_template.h"

namespace vantry {
namespace {

namespace fs = std::filesystem;

std::string UnitFilePath() {
  return UnitDirectory() + "/" + std::string(kServiceUnitName) + ".service";
}

// systemd is asked to reload only when it runs and the unit went to its real
// folder; a test's private unit folder must not touch the machine's manager.
bool ManageSystemd() {
  return std::getenv("VANTRY_UNIT_DIR") == nullptr && fs::exists("/run/systemd/system");
}

// Runs a program to its end; its exit status, or -1 when it could not run
// or died of a signal.
int RunProgram(std::string program, const std::vector<std::string>& args) {
  pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv;
    argv.push_back(program.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    execvp(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

void RunSystemctl(const std::vector<std::string>& args) { RunProgram("systemctl", args); }

// The service runs as its own account: the account is made when missing (no
// login shell, no home), owns the program folder (lists and log) and the run
// lock, and its group may read the settings file. Only root can do this; an
// ordinary user's test install leaves ownership alone. An error text, or
// empty when all is done.
std::string PrepareServiceAccount(std::string_view program_folder) {
  if (geteuid() != 0) return "";
  const std::string name(kServiceUserName);
  if (!LookUpServiceUser()) {
    int status = RunProgram("/usr/sbin/useradd",
                            {"--system", "--no-create-home", "--home-dir", "/nonexistent",
                             "--shell", "/usr/sbin/nologin", "--user-group", name});
    if (status != 0) return "useradd could not create the system user " + name;
  }
  std::optional<ServiceUser> user = LookUpServiceUser();
  if (!user) return "the system user " + name + " cannot be found";
  const std::string folder(program_folder);
  const std::string log = folder + "/vantry.log";
  const std::string settings = RegistryFilePath();
  const std::string lock = settings + ".run.lock";
  if (chown(folder.c_str(), user->uid, user->gid) != 0)
    return "cannot give " + folder + " to " + name;
  // An existing log keeps its mode; the service must still append to it.
  if (access(log.c_str(), F_OK) == 0 && chown(log.c_str(), user->uid, user->gid) != 0)
    return "cannot give " + log + " to " + name;
  if (chown(settings.c_str(), 0, user->gid) != 0 || chmod(settings.c_str(), 0640) != 0)
    return "cannot let " + name + " read " + settings;
  int fd = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0 || fchown(fd, user->uid, user->gid) != 0) {
    if (fd >= 0) close(fd);
    return "cannot give " + lock + " to " + name;
  }
  close(fd);
  return "";
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
  for (size_t pos = text.find(from); pos != std::string::npos;
       pos = text.find(from, pos + to.size())) {
    text.replace(pos, from.size(), to);
  }
  return text;
}

// A unit file value in double quotes, so blanks do not split it and systemd
// takes it as written: backslashes and quotes escaped, "%" specifiers doubled
// ("$" is expanded only in a command's arguments, and there are none). Empty
// when the text holds a control character, which no unit line can carry.
std::optional<std::string> QuoteForUnit(std::string_view text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return std::nullopt;
    if (c == '\\' || c == '"') quoted.push_back('\\');
    if (c == '%') quoted.push_back(c);
    quoted.push_back(c);
  }
  quoted.push_back('"');
  return quoted;
}

}  // namespace

Switch ParseCommandLine(std::string_view arguments) {
  std::string lower(arguments);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (lower == "-install") return Switch::kInstall;
  if (lower == "-uninstall") return Switch::kUninstall;
  if (lower == "-debug") return Switch::kDebug;
  if (lower == "-fixreg") return Switch::kFixReg;
  if (lower == "--help" || lower == "-help" || lower == "-h" || lower == "-?") return Switch::kHelp;
  return Switch::kNone;
}

std::string UnitDirectory() {
  const char* env = std::getenv("VANTRY_UNIT_DIR");
  return env && *env ? std::string(env) : std::string("/etc/systemd/system");
}

int InstallService(std::string_view program_path, std::string_view program_folder) {
  const std::string display(kDisplayName);
  std::string unit_path = UnitFilePath();
  std::error_code ec;
  bool written = false;
  std::optional<std::string> exec_start = QuoteForUnit(program_path);
  std::optional<std::string> environment = "";
  if (const char* reg = std::getenv("VANTRY_REGISTRY"); reg && *reg) {
    environment = QuoteForUnit("VANTRY_REGISTRY=" + std::string(reg));
    if (environment) environment = "Environment=" + *environment + "\n";
  }
  const std::string settings_folder = fs::path(RegistryFilePath()).parent_path().string();
  std::optional<std::string> program_rw = QuoteForUnit(program_folder);
  std::optional<std::string> settings_rw = QuoteForUnit(settings_folder);
  if (!exec_start || !environment || !program_rw || !settings_rw) {
    std::cerr << display << " failed to install: the program or settings path holds a control "
              << "character, which a service unit cannot carry." << std::endl;
    return 1;
  }
  if (!fs::exists(unit_path, ec)) {
    std::string unit = ReplaceAll(std::string(kUnitTemplate), "@VANTRYSVC@", *exec_start);
    unit = ReplaceAll(unit, "@ENVIRONMENT@", *environment);
    unit = ReplaceAll(unit, "@READWRITEPATHS@", *program_rw + " " + *settings_rw);
    fs::create_directories(UnitDirectory(), ec);
    std::ofstream out(unit_path, std::ios::binary | std::ios::trunc);
    out << unit;
    out.close();
    written = static_cast<bool>(out);
    if (!written) fs::remove(unit_path, ec);
  }
  if (!written) {
    std::cerr << display << " failed to install.  Service may already be installed." << std::endl;
    return 1;
  }
  if (ManageSystemd()) {
    RunSystemctl({"daemon-reload"});
    RunSystemctl({"enable", std::string(kServiceUnitName)});
  }
  std::string error;
  if (!WriteDefaults(program_folder, &error)) {
    std::cerr << display << " installed, but its settings could not be written: " << error
              << std::endl;
    return 1;
  }
  if (std::string failed = PrepareServiceAccount(program_folder); !failed.empty()) {
    std::cerr << display << " installed, but " << failed << std::endl;
    return 1;
  }
  std::cout << display << " installed successfully" << std::endl;
  return 0;
}

int UninstallService() {
  const std::string display(kDisplayName);
  std::string unit_path = UnitFilePath();
  std::error_code ec;
  if (!fs::exists(unit_path, ec)) {
    std::cerr << display << " failed to uninstall.  Service may already be uninstalled."
              << std::endl;
    return 1;
  }
  if (ManageSystemd()) RunSystemctl({"disable", "--now", std::string(kServiceUnitName)});
  if (!fs::remove(unit_path, ec)) {
    std::cerr << display << " failed to uninstall.  Service may already be uninstalled."
              << std::endl;
    return 1;
  }
  if (ManageSystemd()) RunSystemctl({"daemon-reload"});
  DeleteParametersKey();  // errors ignored: the service itself is gone
  std::cout << display << " uninstalled successfully" << std::endl;
  return 0;
}

int FixRegistry(std::string_view program_folder) {
  std::string error;
  if (!WriteDefaults(program_folder, &error)) {
    std::cerr << "Cannot write the settings file: " << error << std::endl;
    return 1;
  }
  std::cout << "Korvane Vantry Gateway Registry Keys have been fixed.  Please try to restart the "
               "Dask Vantry service"
            << std::endl;
  return 0;
}

std::string UsageText() {
  return "Usage: vantrysvc [-install | -uninstall | -debug | -fixreg | -zones]\n"
         "\n"
         "DNS-blocklist gateway: screens every incoming SMTP connection and relays the\n"
         "passed ones to the real mail server.\n"
         "\n"
         "  (no switch)  run as the daskvantry service (trace on stderr / the journal);\n"
         "               any other argument is no switch either, and says so on stderr\n"
         "  -debug       run in the foreground with the trace on the terminal\n"
         "  -install     write the daskvantry.service unit, enable it and write the\n"
         "               default settings\n"
         "  -uninstall   disable and remove the unit and delete the settings\n"
         "  -fixreg      rewrite every setting with its default\n"
         "  -zones       probe every DNSBL zone once and print its state; exit status\n"
         "               0 when all are healthy, 1 otherwise\n"
         "\n"
         "Environment:\n"
         "  VANTRY_REGISTRY  settings file (default /etc/vantry/registry.reg)\n"
         "  VANTRY_MAILSLOT  monitor channel name (default \\\\.\\mailslot\\korvane\\daskvantry)\n"
         "  VANTRY_UNIT_DIR  unit folder for -install/-uninstall (default /etc/systemd/system)\n"
         "  VANTRY_HOSTS_FILE  hosts file read before DNS (default /etc/hosts; empty: none)\n"
         "\n"
         "Stop with SIGTERM, SIGHUP or Ctrl-C. The lists and vantry.log live in the folder\n"
         "named by the PathEXE setting.\n";
}

}  // namespace vantry
