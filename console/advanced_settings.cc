#include "advanced_settings.h"

#include <arpa/inet.h>

#include <cctype>
#include <charconv>
#include <cstdint>

#include "text_trim.h"

namespace vantry::console {
namespace {

using Check = AdvancedCheck;

constexpr AdvancedRow kRows[] = {
    {"DNSServers", "DNS servers",
     "Name servers the gateway asks, \"ip[:port]\" separated by commas (IPv6 as [addr]:port).\n"
     "Empty: the servers of /etc/resolv.conf.",
     Check::kNameServers,
     "DNS servers must be addresses with an optional port, separated by commas.  Emptied: the "
     "system's name servers are used."},
    {"MaxPerIP", "Connections per client address",
     "The most sockets one client address may hold at once.  0: no limit.", Check::kWholeNumber,
     "Connections per client address must be a whole number of 0 or more.  Default of 20 has "
     "been set."},
    {"IdleTimeout", "Idle timeout (seconds)",
     "Seconds a relayed connection may pass no byte either way before it is closed.  0: no "
     "limit.",
     Check::kWholeNumber,
     "Idle timeout must be a whole number of seconds, 0 or more.  Default of 600 has been set."},
    {"ProxyOut", "PROXY header to the mail server",
     "0: relay the client's bytes only.  1 or 2: send the mail server a PROXY protocol header\n"
     "of that version first, so it sees the client's address (the mail server must expect it).",
     Check::kProxyVersion, "PROXY header version must be 0, 1 or 2.  Default of 0 has been set."},
    {"ProxyFrom", "Trusted load balancers",
     "Addresses or networks (\"addr[/bits]\", separated by commas) whose connections start\n"
     "with a PROXY header naming the real client.  Empty: none.",
     Check::kNetworks,
     "Trusted load balancers must be addresses or networks separated by commas.  Emptied: none "
     "is trusted."},
    {"ListenAddress", "Listen address",
     "The one literal IPv4 or IPv6 address the gateway listens on.\n"
     "Empty: every address, IPv4 and IPv6.",
     Check::kAddress,
     "Listen address must be one IPv4 or IPv6 address.  Emptied: the gateway listens on every "
     "address."},
    {"DNSCacheSize", "DNS cache entries",
     "Answers the gateway keeps to spare repeated lookups.  0: no cache.", Check::kWholeNumber,
     "DNS cache entries must be a whole number of 0 or more.  Default of 100000 has been set."},
    {"ZoneCheck", "Zone check (minutes)",
     "Minutes between the probes that check every blocklist zone still answers.  0: none.",
     Check::kWholeNumber,
     "Zone check must be a whole number of minutes, 0 or more.  Default of 10 has been set."},
    {"MetricsListen", "Metrics endpoint",
     "\"host:port\" where the gateway serves its counters to Prometheus ([addr]:port for\n"
     "IPv6).  Empty: off.",
     Check::kHostPort,
     "Metrics endpoint must be host:port with a port from 1 to 65535.  Emptied: metrics are "
     "off."},
    {"ReportDB", "Reports' database",
     "Where the log analyser keeps its imported activity.\n"
     "Empty: report.dpr in the lists' folder; else a postgresql:// URI.",
     Check::kDatabase,
     "Reports' database must be empty or a postgresql:// URI.  Emptied: report.dpr is used."},
};

bool IsAddress(std::string_view text, int family) {
  if (text.empty() || text.size() >= 64) return false;
  std::string copy(text);
  unsigned char bytes[16];
  return inet_pton(family, copy.c_str(), bytes) == 1;
}

bool IsAnyAddress(std::string_view text) {
  return IsAddress(text, AF_INET) || IsAddress(text, AF_INET6);
}

// Digits only, within [min, max].
bool IsNumber(std::string_view text, std::int64_t min, std::int64_t max) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return !text.empty() && text[0] != '-' && ec == std::errc() && ptr == end && value >= min &&
         value <= max;
}

// "host:port" or "[v6]:port"; `host_ok` judges the host part.
template <typename HostOk>
bool IsHostPort(std::string_view text, bool port_needed, HostOk host_ok) {
  std::string_view host = text, port;
  if (text.starts_with('[')) {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    host = text.substr(1, close - 1);
    std::string_view rest = text.substr(close + 1);
    if (!rest.empty() && !rest.starts_with(':')) return false;
    if (!rest.empty()) port = rest.substr(1);
    if (!IsAddress(host, AF_INET6)) return false;
    if (rest.empty()) return !port_needed;
    return IsNumber(port, 1, 65535);
  }
  const std::size_t colon = text.rfind(':');
  // A bare IPv6 address holds colons of its own and no port.
  if (colon != std::string_view::npos && !IsAddress(text, AF_INET6)) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (!IsNumber(port, 1, 65535)) return false;
  } else if (port_needed) {
    return false;
  }
  return host_ok(host);
}

// Every entry between commas (blanks around it allowed) passes `ok`; an empty entry does not.
template <typename EntryOk>
bool IsList(std::string_view text, EntryOk ok) {
  while (true) {
    const std::size_t comma = text.find(',');
    if (!ok(TrimBlanks(text.substr(0, comma)))) return false;
    if (comma == std::string_view::npos) return true;
    text.remove_prefix(comma + 1);
  }
}

bool IsNetwork(std::string_view text) {
  const std::size_t slash = text.find('/');
  std::string_view address = text.substr(0, slash);
  const int bits = IsAddress(address, AF_INET) ? 32 : IsAddress(address, AF_INET6) ? 128 : -1;
  if (bits < 0) return false;
  return slash == std::string_view::npos || IsNumber(text.substr(slash + 1), 0, bits);
}

bool IsHostName(std::string_view host) {
  if (host.empty()) return false;
  for (char c : host) {
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-')) return false;
  }
  return true;
}

}  // namespace

std::span<const AdvancedRow> AdvancedRows() { return kRows; }

const AdvancedRow* FindAdvancedRow(std::string_view name) {
  for (const AdvancedRow& row : kRows) {
    if (row.name == name) return &row;
  }
  return nullptr;
}

bool AdvancedAccepts(AdvancedCheck check, std::string_view trimmed) {
  switch (check) {
    case Check::kWholeNumber:
      return IsNumber(trimmed, 0, 2147483647);
    case Check::kProxyVersion:
      return IsNumber(trimmed, 0, 2);
    case Check::kAddress:
      return trimmed.empty() || IsAnyAddress(trimmed);
    case Check::kNetworks:
      return trimmed.empty() || IsList(trimmed, IsNetwork);
    case Check::kHostPort:
      return trimmed.empty() || IsHostPort(trimmed, true, [](std::string_view host) {
               return IsAnyAddress(host) || IsHostName(host);
             });
    case Check::kNameServers:
      return trimmed.empty() || IsList(trimmed, [](std::string_view entry) {
               return IsHostPort(entry, false, IsAnyAddress);
             });
    case Check::kDatabase:
      return trimmed.empty() ||
             ((trimmed.starts_with("postgresql://") || trimmed.starts_with("postgres://")) &&
              trimmed.find_first_of(" \t") == std::string_view::npos);
  }
  return false;
}

}  // namespace vantry::console
