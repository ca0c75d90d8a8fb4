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
/// Addresses may be IPv4 blocks ("0.0.0.0/0") or, in a zone of their own, IPv6 addresses.
struct DnsZone {
  std::string name;
  std::vector<std::pair<std::string, std::string>> listings;
};

/// What the fixture's name server knows: names under .test, the one domain it answers alone.
struct DnsRecords {
  /// (address, host name): reverse entries only, IPv4 or IPv6.
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
inline const std::string kGoodPeer = "127.0.0.5";  // PTR kGoodHost, which resolves back
inline const std::string kGoodHost = "good.vantry.test";
inline const std::string kAltPeer = "127.0.0.6";  // PTR kAltHost, resolving to kAltAddress
inline const std::string kAltHost = "alt.vantry.test";
inline const std::string kAltAddress = "127.0.0.60";
inline const std::string kLostPeer = "127.0.0.7";  // PTR kLostHost, which does not resolve
inline const std::string kLostHost = "lost.vantry.test";
inline const std::string kNoPtrPeer = "127.0.0.8";
inline const std::string kTwoHost = "two.vantry.test";  // A kTwoFirst, then kTwoSecond
inline const std::string kTwoFirst = "127.0.0.21";
inline const std::string kTwoSecond = "127.0.0.22";
inline const std::string kDualHost = "dual.vantry.test";  // A kDualV4; AAAA 2001:db8::
inline const std::string kDualV4 = "127.0.0.23";          // 23, then 2001:db8::24
inline const std::string kDualV6First = "2001:db8::23";
inline const std::string kDualV6Second = "2001:db8::24";
inline const std::string kSixHost = "six.vantry.test";  // AAAA ::1 only
inline const std::string kGoodPeer6 = "2001:db8::5";    // PTR kGoodHost6, which resolves back
inline const std::string kGoodHost6 = "good6.vantry.test";
inline const std::string kListedPeer6 = "2001:db8::12";  // PTR l6-12.vantry.test and back
inline const std::string kZone6 = "bl6.vantry.test";     // lists kListedPeer6 as 127.0.0.2
/// The DNSBL zones in list order, and what kZone1 (then kZone2) answers for each listed address.
/// Each zone also lists its test entry, 127.0.0.2 (kZone6: ::ffff:127.0.0.2).
inline const std::string kZone1 = "bl1.vantry.test";
inline const std::string kZone2 = "bl2.vantry.test";
inline const std::string kListedType2 = "127.0.0.12";     // 127.0.0.2
inline const std::string kListedType4 = "127.0.0.14";     // 127.0.0.4
inline const std::string kListedType127 = "127.0.0.27";   // 127.0.0.127, then 127.0.0.4
inline const std::string kListedOtherNet = "127.0.0.30";  // 127.0.1.2
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

  /// True when both servers answer; otherwise error() says why.
  bool ready() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  std::string DNSServers() const;
  /// rbldnsd itself, with no cache in front of it.
  std::string RbldnsdServers() const;
  /// Replaces the listings of zone `index` (of the same dataset kind); rbldnsd reads them
  /// within about a second.
  void RewriteZone(std::size_t index, const DnsZone& zone);
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

/// A name server on loopback (hostile_dns.py, UDP and TCP) that answers or misbehaves per
/// rule, "LABEL=BEHAVIOUR", LABEL being a query name's first label (a reverse lookup's is the
/// address's last number) or its whole name: "a:ADDR[@MS]", "ptr:NAME", "garbage", "servfail",
/// "silent", "wrongid", "cut" (truncated over UDP, then the TCP connection closed), "oversize",
/// "tcp:ADDR" (truncated over UDP, answered over TCP). Other names: NXDOMAIN. Stopped by PID in the
/// destructor.
class HostileDns {
 public:
  explicit HostileDns(const std::vector<std::string>& rules);

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
