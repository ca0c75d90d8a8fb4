#include "gateway_fixture.h"

#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "leading_number.h"
#include "registry_document.h"
#include "settings_schema.h"
#include "tcp_client.h"

namespace vantry::testing {
namespace {

constexpr std::string_view kParameters =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\DaskVantry\\Parameters";

void WriteList(const std::string& path, const std::vector<std::string>& lines) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (const auto& line : lines) out << line << "\r\n";
}

}  // namespace

void WriteSettingsFile(const std::string& path, const std::string& folder,
                       const std::map<std::string, SettingValue>& overrides) {
  std::map<std::string, SettingValue> values = {{"PathEXE", folder},
                                                {"SMTPHost", std::string("127.0.0.1")}};
  for (const SettingSpec& spec : SettingsSchema()) {
    if (!spec.written_by_fixreg) continue;
    values.try_emplace(std::string(spec.name), spec.type == RegType::kDword
                                                   ? SettingValue(LeadingNumber(spec.default_value))
                                                   : SettingValue(std::string(spec.default_value)));
  }
  for (const auto& [name, value] : overrides) values[name] = value;
  RegistryDocument document;
  document.AddKey(kParameters);
  std::vector<RegEntry>& entries = document.FindKey(kParameters)->values;
  for (const auto& [name, value] : values) {
    const auto* text = std::get_if<std::string>(&value);
    entries.push_back(text
                          ? RegEntry{name, *text}
                          : RegEntry{name, static_cast<std::uint32_t>(std::get<long long>(value))});
  }
  WriteFileText(path, document.Serialize());
}

GatewayFixture::GatewayFixture(Options options) {
  registry_ = dir_.File("registry.reg");
  mailslot_ = options.mailslot.empty() ? UniqueName("vantry-test-slot") : options.mailslot;
  WriteList(dir_.File("rbl.cfg"), options.zones);
  WriteList(dir_.File("exlst.cfg"), options.exceptions);
  WriteList(dir_.File("manbl.cfg"), options.manual);
  if (!options.hosts.empty()) {
    hosts_file_ = dir_.File("hosts");
    WriteFileText(hosts_file_, options.hosts);
  }
  const bool own_port = !options.settings.count("LocalPort");
  // A port found free can still be taken by a parallel test before the gateway
  // binds it; then the gateway says so and stops, and we try another.
  for (int attempt = 0; attempt < 5; ++attempt) {
    auto settings = options.settings;
    if (own_port) {
      port_ = FreePort();
      settings["LocalPort"] = std::to_string(port_);
    }
    if (!settings.count("SMTPPort")) settings["SMTPPort"] = std::to_string(options.smtp_port);
    WriteSettingsFile(registry_, folder(), settings);
    process_ = std::make_unique<ChildProcess>(
        ChildProcess::Options{.argv = {BuiltProgram("vantrysvc"), "-debug"},
                              .env = Environment(),
                              .output_file = dir_.File("trace.txt")});
    if (!options.wait_until_listening) return;
    auto deadline = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < deadline) {
      if (process_->Output().find(" sockets listening to port ") != std::string::npos) {
        listening_ = true;
        return;
      }
      if (!process_->Running()) break;
      std::this_thread::sleep_for(10ms);
    }
    if (!own_port || process_->Output().find("Address already in use") == std::string::npos) return;
  }
}

GatewayFixture::~GatewayFixture() {
  if (process_) process_->Terminate(SIGTERM, 5s);
}

std::vector<std::pair<std::string, std::string>> GatewayFixture::Environment() const {
  std::vector<std::pair<std::string, std::string>> env = {{"VANTRY_REGISTRY", registry_},
                                                          {"VANTRY_MAILSLOT", mailslot_}};
  if (!hosts_file_.empty()) env.emplace_back("VANTRY_HOSTS_FILE", hosts_file_);
  return env;
}

std::string GatewayFixture::LogText() const { return ReadFileText(dir_.path() / "vantry.log"); }

std::string GatewayFixture::WaitForLog(int n, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (CountOccurrences(LogText(), "\r\n") < n && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(10ms);
  return LogText();
}

int GatewayFixture::CountInTrace(std::string_view needle) const {
  return CountOccurrences(Trace(), needle);
}

bool GatewayFixture::WaitForTraceCount(std::string_view needle, int n,
                                       std::chrono::milliseconds timeout) const {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (CountInTrace(needle) < n) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

GatewayFixture::Options RelayOnlyOptions(int smtp_port) {
  GatewayFixture::Options options;
  options.smtp_port = smtp_port;
  options.settings = {{"BlockNoHost", 0LL},
                      {"BlockAltIP", 0LL},
                      {"DNSServers", "127.0.0.1:" + std::to_string(FreePort())}};
  return options;
}

SmtpSink::SmtpSink(const std::string& host) {
  port_ = FreePort();
  std::vector<std::string> argv = {"/usr/sbin/smtp-sink"};
  // smtp-sink changes to this user, which only root may do; others run it as themselves.
  if (geteuid() == 0) argv.insert(argv.end(), {"-u", "nobody"});
  const bool v6 = host.find(':') != std::string::npos;
  argv.insert(argv.end(),
              {"-c", (v6 ? "[" + host + "]:" : host + ":") + std::to_string(port_), "1024"});
  process_ = std::make_unique<ChildProcess>(ChildProcess::Options{.argv = argv});
  ready_ = WaitForTcpPort(port_, 10s, host);
}

int CountOccurrences(std::string_view text, std::string_view needle) {
  int count = 0;
  for (size_t pos = text.find(needle); pos != std::string_view::npos;
       pos = text.find(needle, pos + needle.size()))
    ++count;
  return count;
}

const std::string kDefaultRefusal =
    "550 Access Denied.  http://www.vantry.example/dnsbl\r\n"
    "550 You are not allowed here.  Please refer this message to your system administrator. "
    "(RBL/SBL)\r\n"
    "550 Closing Connection.\r\n";

std::string VisitGateway(int port, std::string_view from) {
  TcpClient client;
  if (!client.Connect(port, from)) return "[no connection]";
  std::string got = client.ReadUntil("220 ", 15s);
  if (got.find("220 ") != std::string::npos) client.SendAll("QUIT\r\n");
  return got + client.ReadToEnd(5s);
}

}  // namespace vantry::testing
