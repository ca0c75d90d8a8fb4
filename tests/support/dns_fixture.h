#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "child_process.h"
#include "temp_dir.h"

namespace vantry::testing {

/// One DNSBL zone served by rbldnsd: (address, answer) pairs, e.g. {"127.0.0.12", "127.0.0.2"}.
struct DnsZone {
  std::string name;
  std::vector<std::pair<std::string, std::string>> listings;
};

/// What the fixture's name server knows: names under .test, the one domain it answers alone.
struct DnsRecords {
  /// (address, host name): reverse entries only.
  std::vector<std::pair<std::string, std::string>> ptr;
  /// (host name, address): forward entries, A or AAAA records by the address's family, in answer
  /// order when a name repeats. Each also answers the reverse lookup of its address (dnsmasq's
  /// host-record).
  std::vector<std::pair<std::string, std::string>> a;
  /// DNSBL zones, forwarded by dnsmasq to rbldnsd.
  std::vector<DnsZone> zones;
};

/// Names and addresses of StandardDnsRecords(); peers connect from these loopback addresses.
namespace dns {
inline constexpr std::string_view kGoodPeer = "127.0.0.5";  // PTR kGoodHost, which resolves back
inline constexpr std::string_view kGoodHost = "good.vantry.test";
inline constexpr std::string_view kAltPeer = "127.0.0.6";  // PTR kAltHost, resolving to kAltAddress
inline constexpr std::string_view kAltHost = "alt.vantry.test";
inline constexpr std::string_view kAltAddress = "127.0.0.60";
inline constexpr std::string_view kLostPeer = "127.0.0.7";  // PTR kLostHost, which does not resolve
inline constexpr std::string_view kLostHost = "lost.vantry.test";
inline constexpr std::string_view kNoPtrPeer = "127.0.0.8";
inline constexpr std::string_view kTwoHost = "two.vantry.test";  // A kTwoFirst, then kTwoSecond
inline constexpr std::string_view kTwoFirst = "127.0.0.21";
inline constexpr std::string_view kTwoSecond = "127.0.0.22";
inline constexpr std::string_view kDualHost = "dual.vantry.test";  // A kDualV4; AAAA 2001:db8::
inline constexpr std::string_view kDualV4 = "127.0.0.23";          // 23, then 2001:db8::24
inline constexpr std::string_view kDualV6First = "2001:db8::23";
inline constexpr std::string_view kDualV6Second = "2001:db8::24";
inline constexpr std::string_view kSixHost = "six.vantry.test";  // AAAA ::1 only
/// The DNSBL zones in list order, and what kZone1 (then kZone2) answers for each listed address.
inline constexpr std::string_view kZone1 = "bl1.vantry.test";
inline constexpr std::string_view kZone2 = "bl2.vantry.test";
inline constexpr std::string_view kListedType2 = "127.0.0.12";     // 127.0.0.2
inline constexpr std::string_view kListedType4 = "127.0.0.14";     // 127.0.0.4
inline constexpr std::string_view kListedType127 = "127.0.0.27";   // 127.0.0.127, then 127.0.0.4
inline constexpr std::string_view kListedOtherNet = "127.0.0.30";  // 127.0.1.2
}  // namespace dns

/// The records above: every listed address also has a matching PTR/A pair (name
/// "l<last octet>.vantry.test") so it passes the reverse-DNS tests and reaches the DNSBL check.
DnsRecords StandardDnsRecords();

/// True once a DNS server on 127.0.0.1:port answers a query for name (any answer counts).
bool WaitForDnsAnswer(int port, std::string_view name, std::chrono::milliseconds timeout);

/// Real name servers on loopback for one test: rbldnsd with the zones and dnsmasq with the
/// records, forwarding the zones to rbldnsd. Both are stopped by PID in the destructor.
class DnsFixture {
 public:
  explicit DnsFixture(const DnsRecords& records = StandardDnsRecords());
  DnsFixture(const DnsFixture&) = delete;
  DnsFixture& operator=(const DnsFixture&) = delete;

  /// True when both servers answer; otherwise error() says why.
  bool ready() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  std::string DNSServers() const;
  /// rbldnsd's log of the queries it received so far, one line each.
  std::string RbldnsdQueries() const;

 private:
  TempDir dir_;
  std::unique_ptr<ChildProcess> rbldnsd_;
  std::unique_ptr<ChildProcess> dnsmasq_;
  int dns_port_ = 0;
  int rbldnsd_port_ = 0;
  std::string error_;
};

}  // namespace vantry::testing
