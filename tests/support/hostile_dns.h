#pragma once

#include <memory>
#include <string>
#include <vector>

#include "child_process.h"

namespace vantry::testing {

/// A name server on loopback (hostile_dns.py, UDP and TCP) that answers or misbehaves per
/// rule, "LABEL=BEHAVIOUR", LABEL being a query name's first label (a reverse lookup's is the
/// address's last number): "a:ADDR[@MS]", "ptr:NAME", "garbage", "servfail", "silent", "wrongid",
/// "cut" (truncated over UDP, then the TCP connection closed), "oversize", "tcp:ADDR" (truncated
/// over UDP, answered over TCP). Other names: NXDOMAIN. Stopped by PID in the destructor.
class HostileDns {
 public:
  explicit HostileDns(const std::vector<std::string>& rules);
  HostileDns(const HostileDns&) = delete;
  HostileDns& operator=(const HostileDns&) = delete;

  bool ready() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  /// The DNSServers setting for it.
  std::string DNSServers() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  int port_ = 0;
  std::unique_ptr<ChildProcess> process_;
  std::string error_;
};

}  // namespace vantry::testing
