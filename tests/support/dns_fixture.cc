#include "dns_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "tcp_client.h"

namespace vantry::testing {
namespace {

// A standard query for the A record of name, id 0x5654.
std::string BuildQuery(std::string_view name) {
  std::string packet("\x56\x54\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00", 12);
  while (!name.empty()) {
    std::size_t dot = name.find('.');
    std::string_view label = name.substr(0, dot);
    packet += static_cast<char>(label.size());
    packet += label;
    if (dot == std::string_view::npos) break;
    name.remove_prefix(dot + 1);
  }
  packet += std::string("\x00\x00\x01\x00\x01", 5);
  return packet;
}

std::string ZoneText(const DnsZone& zone) {
  std::string text;
  for (const auto& [address, answer] : zone.listings)
    text += address + " :" + answer + ":listed by " + zone.name + "\n";
  return text;
}

}  // namespace

bool WaitForDnsAnswer(int port, std::string_view name, std::chrono::milliseconds timeout) {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return false;
  timeval tv{0, 50000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  sockaddr_in addr = LoopbackAddress(port);
  std::string query = BuildQuery(name);
  bool answered = false;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!answered && std::chrono::steady_clock::now() < deadline) {
    sendto(fd, query.data(), query.size(), 0, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    char reply[512];
    ssize_t n = recv(fd, reply, sizeof reply, 0);
    answered = n >= 12 && reply[0] == query[0] && reply[1] == query[1];
    // A closed port refuses at once; don't spin on it while the server starts.
    if (!answered && n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) usleep(20000);
  }
  close(fd);
  return answered;
}

DnsRecords StandardDnsRecords() {
  using namespace dns;
  DnsRecords records;
  records.ptr = {{kAltPeer, kAltHost}, {kLostPeer, kLostHost}};
  records.a = {{kGoodHost, kGoodPeer},     {kAltHost, kAltAddress},
               {kTwoHost, kTwoFirst},      {kTwoHost, kTwoSecond},
               {kDualHost, kDualV6First},  {kDualHost, kDualV4},
               {kDualHost, kDualV6Second}, {kSixHost, "::1"},
               {kGoodHost6, kGoodPeer6},   {"l6-12.vantry.test", kListedPeer6}};
  for (std::string_view listed : {kListedType2, kListedType4, kListedType127, kListedOtherNet}) {
    std::string last_octet(listed.substr(listed.rfind('.') + 1));
    records.a.emplace_back("l" + last_octet + ".vantry.test", std::string(listed));
  }
  // Each zone lists its test entry, as every real one does, so that its health probe finds it.
  records.zones = {{kZone1,
                    {{"127.0.0.2", "127.0.0.2"},
                     {kListedType2, "127.0.0.2"},
                     {kListedType4, "127.0.0.4"},
                     {kListedType127, "127.0.0.127"},
                     {kListedOtherNet, "127.0.1.2"}}},
                   {kZone2, {{"127.0.0.2", "127.0.0.2"}, {kListedType127, "127.0.0.4"}}},
                   {kZone6, {{"::ffff:7f00:2", "127.0.0.2"}, {kListedPeer6, "127.0.0.2"}}}};
  return records;
}

DnsFixture::DnsFixture(const DnsRecords& records) {
  // setpriv makes the servers die with the test process even when it crashes. rbldnsd refuses
  // to run as root and reads its zones after dropping to its user, so as root setpriv drops it
  // first (a later uid change would clear the death signal) and its files are world-readable.
  std::vector<std::string> rbldnsd_argv = {"/usr/bin/setpriv", "--pdeathsig", "TERM"};
  const std::vector<std::string> dnsmasq_prefix = rbldnsd_argv;
  const bool root = geteuid() == 0;
  const passwd* user = root ? getpwnam("rbldns") : nullptr;
  if (root && user == nullptr) user = getpwnam("nobody");
  if (user != nullptr) {
    rbldnsd_argv.insert(rbldnsd_argv.end(),
                        {"--reuid=" + std::to_string(user->pw_uid),
                         "--regid=" + std::to_string(user->pw_gid), "--clear-groups"});
  }
  chmod(dir_.path().c_str(), 0755);
  const std::filesystem::path queries = dir_.path() / "queries.log";
  WriteFileText(queries, "");  // made here: rbldnsd may open it after giving up root
  chmod(queries.c_str(), 0666);
  rbldnsd_port_ = FreePort();
  rbldnsd_argv.insert(
      rbldnsd_argv.end(),
      {"/usr/sbin/rbldnsd", "-n", "-a", "-t", "60", "-c", "1", "-l", "+" + queries.string(), "-b",
       "127.0.0.1/" + std::to_string(rbldnsd_port_), "-w", dir_.path().string()});
  for (std::size_t i = 0; i < records.zones.size(); ++i) {
    const std::string file = "zone" + std::to_string(i);
    const std::string text = ZoneText(records.zones[i]);
    WriteFileText(dir_.path() / file, text);
    chmod((dir_.path() / file).c_str(), 0644);
    // ip4set takes no block as wide as 0.0.0.0/0; ip4trie and ip6trie take any.
    const char* dataset = text.find(':') < text.find(' ')       ? ":ip6trie:"
                          : text.find('/') != std::string::npos ? ":ip4trie:"
                                                                : ":ip4set:";
    rbldnsd_argv.push_back(records.zones[i].name + dataset + file);
  }
  rbldnsd_ = std::make_unique<ChildProcess>(ChildProcess::Options{
      .argv = rbldnsd_argv, .env = {}, .output_file = dir_.path() / "rbldnsd.out"});
  if (!WaitForDnsAnswer(rbldnsd_port_, "2.0.0.127." + records.zones.at(0).name, 10s)) {
    error_ = "rbldnsd did not answer: " + rbldnsd_->Output();
    return;
  }

  dns_port_ = FreePort();
  std::vector<std::string> dnsmasq_argv = dnsmasq_prefix;
  dnsmasq_argv.insert(
      dnsmasq_argv.end(),
      {"/usr/sbin/dnsmasq", "--no-daemon", "--conf-file=/dev/null", "--no-resolv", "--no-hosts",
       "--port=" + std::to_string(dns_port_), "--listen-address=127.0.0.1", "--bind-interfaces",
       "--pid-file=", "--local=/in-addr.arpa/", "--local=/ip6.arpa/"});
  if (root) dnsmasq_argv.push_back("--user=root");
  // Unknown names in our own domain get NXDOMAIN rather than REFUSED, as from a real server.
  dnsmasq_argv.push_back("--local=/test/");
  for (const auto& [address, name] : records.ptr) {
    in6_addr v6{};
    if (inet_pton(AF_INET6, address.c_str(), &v6) == 1) {
      static constexpr char kHex[] = "0123456789abcdef";
      std::string reversed;
      for (int i = 15; i >= 0; --i)
        reversed += {kHex[v6.s6_addr[i] & 15], '.', kHex[v6.s6_addr[i] >> 4], '.'};
      dnsmasq_argv.push_back("--ptr-record=" + reversed + "ip6.arpa," + name);
      continue;
    }
    unsigned b[4];
    std::sscanf(address.c_str(), "%u.%u.%u.%u", &b[0], &b[1], &b[2], &b[3]);
    dnsmasq_argv.push_back("--ptr-record=" + std::to_string(b[3]) + "." + std::to_string(b[2]) +
                           "." + std::to_string(b[1]) + "." + std::to_string(b[0]) +
                           ".in-addr.arpa," + name);
  }
  for (const auto& [name, address] : records.a)
    dnsmasq_argv.push_back("--host-record=" + name + "," + address);
  for (const auto& zone : records.zones)
    dnsmasq_argv.push_back("--server=/" + zone.name + "/127.0.0.1#" +
                           std::to_string(rbldnsd_port_));
  dnsmasq_ = std::make_unique<ChildProcess>(ChildProcess::Options{
      .argv = dnsmasq_argv, .env = {}, .output_file = dir_.path() / "dnsmasq.out"});
  if (!WaitForDnsAnswer(dns_port_, "probe.invalid", 10s))
    error_ = "dnsmasq did not answer: " + dnsmasq_->Output();
}

void DnsFixture::RewriteZone(std::size_t index, const DnsZone& zone) {
  const std::filesystem::path file = dir_.path() / ("zone" + std::to_string(index));
  WriteFileText(file, ZoneText(zone));
  // rbldnsd looks for a newer file every second; a rewrite within the same second must count.
  std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) + 5s);
}

std::string DnsFixture::RbldnsdServers() const {
  return "127.0.0.1:" + std::to_string(rbldnsd_port_);
}

std::string DnsFixture::RbldnsdQueries() const { return ReadFileText(dir_.path() / "queries.log"); }

std::string DnsFixture::DNSServers() const { return "127.0.0.1:" + std::to_string(dns_port_); }

HostileDns::HostileDns(const std::vector<std::string>& rules) : port_(FreePort()) {
  // setpriv makes it die with the test process even when that crashes.
  std::vector<std::string> argv = {"/usr/bin/setpriv", "--pdeathsig", "TERM", "/usr/bin/python3"};
  argv.push_back(VANTRY_SOURCE_DIR "/tests/support/hostile_dns.py");
  argv.push_back(std::to_string(port_));
  argv.insert(argv.end(), rules.begin(), rules.end());
  process_ = std::make_unique<ChildProcess>(ChildProcess::Options{.argv = argv});
  if (!WaitForDnsAnswer(port_, "probe.invalid", 10s))
    error_ = "hostile_dns.py did not answer: " + process_->Output();
}

}  // namespace vantry::testing
