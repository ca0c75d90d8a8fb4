#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "child_process.h"
#include "temp_dir.h"

namespace vantry::testing {

/// One settings value for a test's settings file: text or a dword number.
using SettingValue = std::variant<std::string, long long>;

/// Writes a settings file holding the install defaults (PathEXE = folder,
/// SMTPHost = 127.0.0.1) with the given values replaced or added.
void WriteSettingsFile(const std::string& path, const std::string& folder,
                       const std::map<std::string, SettingValue>& overrides);

/// The real vantrysvc started with -debug for one test: its own settings file, program folder
/// (lists, vantry.log) and monitor channel name, listening on a free port.
class GatewayFixture {
 public:
  struct Options {
    int smtp_port = 0;  // the mail server's port
    std::map<std::string, SettingValue> settings;
    std::vector<std::string> zones = {};       // rbl.cfg lines
    std::vector<std::string> exceptions = {};  // exlst.cfg lines
    std::vector<std::string> manual = {};      // manbl.cfg lines
    bool wait_until_listening = true;
    std::string mailslot = {};  // empty: a name of its own
    std::string hosts = {};     // not empty: the text of a hosts file of its own
  };

  explicit GatewayFixture(Options options);
  ~GatewayFixture();

  bool listening() const { return listening_; }
  int port() const { return port_; }
  std::string folder() const { return dir_.path().string(); }
  std::string LogText() const;
  /// Waits until the log holds at least n lines; returns its text.
  std::string WaitForLog(int n, std::chrono::milliseconds timeout = 5s) const;
  std::string Trace() const { return process_->Output(); }
  bool WaitForTrace(std::string_view needle, std::chrono::milliseconds timeout = 10s) const {
    return WaitForTraceCount(needle, 1, timeout);
  }
  int CountInTrace(std::string_view needle) const;
  /// Waits until needle occurs at least n times in the trace.
  bool WaitForTraceCount(std::string_view needle, int n,
                         std::chrono::milliseconds timeout = 10s) const;
  ChildProcess& process() { return *process_; }
  std::vector<std::pair<std::string, std::string>> Environment() const;

 private:
  TempDir dir_;
  std::string registry_;
  std::string mailslot_;
  std::string hosts_file_;
  int port_ = 0;
  bool listening_ = false;
  std::unique_ptr<ChildProcess> process_;
};

/// Options for tests about relaying, not screening: no reverse-DNS tests, no zones, and a name
/// server port where nothing listens, so no lookup ever reaches the machine's resolver.
GatewayFixture::Options RelayOnlyOptions(int smtp_port);

/// postfix's smtp-sink on a free port of a loopback address.
class SmtpSink {
 public:
  explicit SmtpSink(const std::string& host = "127.0.0.1");
  int port() const { return port_; }
  bool ready() const { return ready_; }

 private:
  int port_ = 0;
  bool ready_ = false;
  std::unique_ptr<ChildProcess> process_;
};

int CountOccurrences(std::string_view text, std::string_view needle);

/// What a refused client gets with the install's block message settings.
extern const std::string kDefaultRefusal;

/// Connects from `from` (127.0.0.x, ::1, ...) to the gateway's `port`; returns what the client
/// receives until the mail server greets (then QUIT and the rest) or the gateway closes, or
/// "[no connection]".
std::string VisitGateway(int port, std::string_view from);

}  // namespace vantry::testing
