#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "temp_dir.h"

namespace vantry::testing {

using namespace std::chrono_literals;

/// A private Postfix instance for one test: its own configuration, queue, data folder and log file
/// in a temporary folder, one smtpd on a free loopback port that expects a PROXY protocol header
/// (v1 or v2) before SMTP, mynetworks 127.0.0.0/30 and no relaying for anyone else. Needs root and
/// the postfix package; never touches the system's instance or port 25.
class PostfixFixture {
 public:
  PostfixFixture();
  ~PostfixFixture();

  /// Empty once the instance takes connections; else why it cannot run here.
  const std::string& unavailable() const { return unavailable_; }
  int port() const { return port_; }
  std::string LogText() const { return ReadFileText(dir_.File("maillog")); }
  /// Waits until needle occurs at least n times in the log.
  bool WaitForLogCount(std::string_view needle, int n, std::chrono::milliseconds timeout = 10s);

 private:
  bool Configure();

  TempDir dir_;
  std::string config_dir_;
  int port_ = 0;
  bool started_ = false;
  std::string unavailable_;
};

}  // namespace vantry::testing
