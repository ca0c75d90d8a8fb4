#pragma once

#include <asio/awaitable.hpp>
#include <asio/io_context.hpp>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "zone_counters.h"

namespace vantry {

/// How the gateway's resolver talks to its name servers.
struct ResolverOptions {
  /// The DNSServers setting: "ip[:port],ip[:port]"; empty means /etc/resolv.conf.
  std::string dns_servers;
  /// Time allowed for the first try against each server; later rounds double it.
  int timeout_ms = 1000;
  /// Rounds over the server list before a lookup gives up.
  int tries = 2;
  /// Queries sent at once (at most 1000); more wait in a queue, so that a burst never
  /// overflows the socket's receive buffer and stalls until the retry timer.
  int max_in_flight = 400;
  /// Consulted before DNS, as the system's own lookups do; empty: DNS only.
  std::string hosts_file = "/etc/hosts";
  /// The system's name servers, used when dns_servers is empty or unusable. A change to
  /// the file (DHCP, a VPN) is followed, looked for at most once per interval, and takes
  /// effect at the next lookup that finds no other in flight.
  std::string resolv_conf = "/etc/resolv.conf";
  std::chrono::milliseconds resolv_conf_recheck{1000};
  /// Answers kept for their TTL (the DNSCacheSize setting); 0: none kept.
  std::size_t cache_size = 0;
};

/// What one lookup gave: a text, nothing because the name or record does not exist, or nothing
/// because no answer could be had (timeout, SERVFAIL, REFUSED, unreachable, malformed reply).
struct LookupResult {
  std::string text;
  /// Only when text is empty: asking again later might give another answer.
  bool failed = false;
  /// Address lookups: every address of the answer, in answer order (text is the first).
  std::vector<std::string> addresses = {};
};

/// The addresses to connect to for a name: IPv4 ones first, then IPv6 ones, each in the order
/// given; none because the name has no address, or because no answer could be had (failed).
struct AddressList {
  std::vector<std::string> addresses;
  bool failed = false;
};

/// The name lookups of the screening (modWinsock), on c-ares driven by the caller's io_context.
/// Answers from DNS are kept in a cache of cache_size entries for their TTL (negative ones for the
/// zone's SOA minimum, at most an hour; failures never), and a query asked again while the same
/// one is in flight waits for that one's answer instead of going out twice.
/// Lookups never block the thread, any number may be awaited at once from one thread, and each
/// ends within about timeout_ms * (2^tries - 1) plus its time in the queue, twice that when a
/// truncated answer has it asked again over TCP. One lookup's broken exchange (a truncated
/// answer and a TCP connection closed on it, wrong ids, oversize answers) never fails or
/// shortens another one. The object and its lookups belong to the io_context's thread.
class Resolver {
 public:
  /// Never throws on bad server text: it falls back to the system's servers and says why in
  /// error().
  Resolver(asio::io_context& io, ResolverOptions options);
  /// Pending lookups complete with "" (when the io_context runs again).
  ~Resolver();
  Resolver(const Resolver&) = delete;
  Resolver& operator=(const Resolver&) = delete;

  /// Reverse lookup of a dotted IPv4 address (under in-addr.arpa) or an IPv6 one (under ip6.arpa):
  /// the name of its PTR record, at most 255 characters, as the resolver gives it; "" when there is
  /// none or the text is not an address.
  asio::awaitable<std::string> GetHostFromIP(std::string ip);
  /// The same, telling a missing name from a failure to get an answer.
  asio::awaitable<LookupResult> ReverseLookup(std::string ip);

  /// Forward lookup: the first IPv4 address of the name's A records, in the order of the answer,
  /// as dotted text; "" when there is none or the name cannot be asked.
  asio::awaitable<std::string> GetIPFromHost(std::string name);
  /// The same, telling a missing name or record from a failure to get an answer.
  asio::awaitable<LookupResult> ForwardLookup(std::string name);
  /// The IPv6 counterpart: the first address of the name's AAAA records (or its first IPv6 one in
  /// the hosts file), as inet_ntop writes it.
  asio::awaitable<LookupResult> ForwardLookup6(std::string name);
  /// An A query straight to the name servers, past the cache and any identical query in flight:
  /// for probes that must see what the servers answer now.
  asio::awaitable<LookupResult> ProbeLookup(std::string name);

  /// Every address of a name to connect to: an IPv4 (also in its short forms, such as "1") or
  /// IPv6 address text stands for itself; a name is looked up in the hosts file, then by DNS with
  /// A and AAAA queries at once.
  asio::awaitable<AddressList> ResolveAddresses(std::string name);

  /// Why the configured servers or the resolver could not be set up; empty when all is well.
  const std::string& error() const;

  /// Queries sent and not yet answered.
  std::size_t in_flight() const;
  /// Lookups waiting for a free place among those in flight.
  std::size_t queued() const;
  /// What the answer cache counted; all zero when it is off.
  DnsCacheCounters cache_counters() const;

  class Impl;

 private:
  std::shared_ptr<Impl> impl_;
};

}  // namespace vantry
