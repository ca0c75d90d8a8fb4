#include "hostile_dns.h"

#include "dns_fixture.h"
#include "free_port.h"

namespace vantry::testing {

HostileDns::HostileDns(const std::vector<std::string>& rules) : port_(FreePort()) {
  // setpriv makes it die with the test process even when that crashes.
  std::vector<std::string> argv = {"/usr/bin/setpriv",
                                   "--pdeathsig",
                                   "TERM",
                                   "/usr/bin/python3",
                                   VANTRY_SOURCE_DIR "/tests/support/hostile_dns.py",
                                   std::to_string(port_)};
  argv.insert(argv.end(), rules.begin(), rules.end());
  process_ = std::make_unique<ChildProcess>(ChildProcess::Options{.argv = argv});
  if (!WaitForDnsAnswer(port_, "probe.invalid", 10s))
    error_ = "hostile_dns.py did not answer: " + process_->Output();
}

}  // namespace vantry::testing
