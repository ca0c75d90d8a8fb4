#include "resolver.h"

#include <gtest/gtest.h>

#include <asio/co_spawn.hpp>
#include <asio/ip/udp.hpp>
#include <filesystem>
#include <map>

#include "dns_fixture.h"
#include "run_awaitable.h"
#include "temp_dir.h"

namespace vantry {
namespace {

namespace dns = testing::dns;
using namespace std::chrono_literals;

// Exactly 64 characters, and one of 100, both with A records.
const std::string kName64 = std::string(48, 'a') + ".sixty-four.test";
const std::string kName100 = std::string(60, 'b') + "." + std::string(22, 'c') + ".hundred.test";

class ResolverTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    testing::DnsRecords records = testing::StandardDnsRecords();
    records.a.emplace_back(kName64, "127.0.0.64");
    records.a.emplace_back(kName100, "127.0.0.100");
    // Two PTR records for one address. dnsmasq answers them in the reverse of
    // the order it was given them: "answered.first" comes first.
    records.ptr.emplace_back("127.0.0.9", "answered.second.vantry.test");
    records.ptr.emplace_back("127.0.0.9", "answered.first.vantry.test");
    dns_ = std::make_unique<testing::DnsFixture>(records);
  }
  static void TearDownTestSuite() { dns_.reset(); }
  void SetUp() override { ASSERT_TRUE(dns_->ready()) << dns_->error(); }

  std::string Host(Resolver& r, std::string_view ip) {
    return testing::RunAwaitable(io_, r.GetHostFromIP(std::string(ip)));
  }
  std::string Ip(Resolver& r, std::string_view name) {
    return testing::RunAwaitable(io_, r.GetIPFromHost(std::string(name)));
  }

  // Shared by the suite: starting the servers is the slow part.
  static inline std::unique_ptr<testing::DnsFixture> dns_;
  asio::io_context io_;
  // A name server that receives queries and never answers.
  asio::ip::udp::socket silent_{io_, {asio::ip::address_v4::loopback(), 0}};
  const std::string silent_servers_ =
      "127.0.0.1:" + std::to_string(silent_.local_endpoint().port());
};

TEST_F(ResolverTest, LookupsGiveThePtrNameOrFirstAddressAsWrittenOrNothing) {
  Resolver bad(io_, {.dns_servers = "not-an-ip:53"});
  EXPECT_NE(bad.error().find("not-an-ip:53"), std::string::npos) << bad.error();
  // Blanks around entries and empty entries are tolerated.
  Resolver resolver(io_, {.dns_servers = " , " + dns_->DNSServers() + " ,"});
  EXPECT_EQ(resolver.error(), "");
  for (std::string_view no_name : std::initializer_list<std::string_view>{
           dns::kNoPtrPeer, "", "not an address", "1.2.3", "300.1.1.1", "1.2.3.4.5"}) {
    EXPECT_EQ(Host(resolver, no_name), "") << no_name;
  }
  EXPECT_EQ(Ip(resolver, dns::kTwoHost), dns::kTwoFirst);
  EXPECT_EQ(Host(resolver, "127.0.0.9"), "answered.first.vantry.test");
  EXPECT_EQ(Ip(resolver, kName64), "127.0.0.64");
  EXPECT_EQ(Ip(resolver, kName100), "127.0.0.100");
  EXPECT_EQ(Ip(resolver, "192.0.2.77"), "192.0.2.77");  // an address text stands for itself
  // Unknown, empty, too long for DNS, with a label over 63 characters, and no address.
  for (const std::string& no_address :
       {dns::kLostHost, std::string(), std::string(300, 'x') + ".test",
        std::string(64, 'y') + ".test", std::string("192.0.2.777")}) {
    EXPECT_EQ(Ip(resolver, no_address), "") << no_address;
  }
  EXPECT_EQ(Ip(resolver, dns::kGoodHost), dns::kGoodPeer);  // still works afterwards
}

// Addresses to connect to: every one, IPv4 first; the hosts file before DNS; an address text in
// any form the system reads stands for itself; no answer at all is a failure, not "no address".
TEST_F(ResolverTest, ResolveAddressesGivesEveryAddressIPv4First) {
  testing::TempDir dir;
  testing::WriteFileText(dir.File("hosts"),
                         "::2 Listed.test\n127.0.0.41 listed.test\n127.0.0.42 LISTED.test\n");
  Resolver resolver(io_, {.dns_servers = dns_->DNSServers(), .hosts_file = dir.File("hosts")});
  struct Case {
    std::string name;
    std::vector<std::string> addresses;
  };
  for (const Case& c : std::vector<Case>{
           {dns::kDualHost, {dns::kDualV4, dns::kDualV6First, dns::kDualV6Second}},
           {dns::kSixHost, {"::1"}},
           {dns::kTwoHost, {dns::kTwoFirst, dns::kTwoSecond}},
           {"listed.test", {"127.0.0.41", "127.0.0.42", "::2"}},
           {"0:0::1", {"::1"}},
           {"1", {"0.0.0.1"}},
           {dns::kLostHost, {}},
       }) {
    AddressList got = testing::RunAwaitable(io_, resolver.ResolveAddresses(c.name));
    EXPECT_EQ(got.addresses, c.addresses) << c.name;
    EXPECT_FALSE(got.failed) << c.name;
  }
  Resolver silent(io_, {.dns_servers = silent_servers_, .timeout_ms = 100, .tries = 1});
  AddressList none = testing::RunAwaitable(io_, silent.ResolveAddresses(dns::kDualHost));
  EXPECT_TRUE(none.addresses.empty());
  EXPECT_TRUE(none.failed);
}

// Identical lookups in flight go out once; the answer is then kept, failures never are; the
// probes go past both.
TEST_F(ResolverTest, AnswersAreSharedAndKeptButNotFailuresAndProbesAskAgain) {
  // Its answers carry a TTL of 60 s; dnsmasq gives its own records none.
  testing::HostileDns server({"kept=a:192.0.2.7@100"});
  ASSERT_TRUE(server.ready()) << server.error();
  Resolver resolver(io_, {.dns_servers = server.DNSServers(), .cache_size = 10});
  std::vector<std::string> got;
  for (int i = 0; i < 5; ++i) {
    asio::co_spawn(io_, resolver.GetIPFromHost("kept.test"),
                   [&](std::exception_ptr, std::string ip) { got.push_back(ip); });
  }
  for (int i = 0; i < 50 && resolver.in_flight() == 0; ++i) io_.poll_one();
  EXPECT_EQ(resolver.in_flight(), 1u);
  ASSERT_TRUE(testing::RunUntil(io_, [&] { return got.size() == 5; }));
  EXPECT_EQ(got, std::vector<std::string>(5, "192.0.2.7"));
  EXPECT_EQ(Ip(resolver, "KEPT.test"), "192.0.2.7");
  EXPECT_EQ(resolver.cache_counters().hits, 1u);
  EXPECT_EQ(testing::RunAwaitable(io_, resolver.ProbeLookup("kept.test")).text, "192.0.2.7");
  EXPECT_EQ(resolver.cache_counters().hits, 1u);
  EXPECT_EQ(resolver.cache_counters().entries, 1u);

  Resolver silent(
      io_, {.dns_servers = silent_servers_, .timeout_ms = 100, .tries = 1, .cache_size = 10});
  for (int i = 0; i < 2; ++i)
    EXPECT_TRUE(testing::RunAwaitable(io_, silent.ForwardLookup("x.test")).failed);
  EXPECT_EQ(silent.cache_counters().misses, 2u);
  EXPECT_EQ(silent.cache_counters().entries, 0u);
}

// Lookups beyond the cap wait their turn, and every one of them completes.
TEST_F(ResolverTest, ManyLookupsOverlapUpToTheCapAndAllComplete) {
  Resolver resolver(
      io_, {.dns_servers = silent_servers_, .timeout_ms = 300, .tries = 1, .max_in_flight = 50});
  int done = 0;
  for (int i = 0; i < 200; ++i) {
    asio::co_spawn(io_, resolver.GetIPFromHost("q" + std::to_string(i) + ".test"),
                   [&](std::exception_ptr e, std::string ip) { done += !e && ip.empty(); });
  }
  for (int i = 0; i < 400 && resolver.in_flight() + resolver.queued() < 200; ++i) io_.poll_one();
  EXPECT_EQ(resolver.queued(), 150u);
  std::size_t peak = 0;
  EXPECT_TRUE(testing::RunUntil(io_, [&] {
    peak = std::max(peak, resolver.in_flight());
    return done == 200;
  })) << done;
  EXPECT_EQ(peak, 50u);
}

// The innocent answer comes late, so that every hostile exchange happens while it is in flight:
// a server closing a TCP connection must not spend its tries. A truncated answer is still asked
// again over TCP ("whole"). PTR names keep their case; garbage, hostile or huge ones give nothing.
TEST(ResolverIsolation, HostileExchangesFailOnlyThemselvesAndNoAnswerIsNotNoName) {
  const std::string ones(63, '\x01'), letters(63, 'a');
  // The longest name DNS can carry: four labels of 63 letters, 255 bytes on the wire.
  testing::HostileDns server({"innocent=a:192.0.2.53@300", "cut=cut", "oversize=oversize",
                              "wrongid=wrongid", "silent=silent", "servfail=servfail",
                              "whole=tcp:192.0.2.54", "garbage=garbage", "9=garbage",
                              "1=ptr:MixedCase.Vantry.TEST", "2=ptr:evil|name.line\r\nbreak.test",
                              "3=ptr:" + ones + "." + ones + "." + ones + "." + ones,
                              "4=ptr:" + letters + "." + letters + "." + letters + "." + letters});
  ASSERT_TRUE(server.ready()) << server.error();
  asio::io_context io;
  Resolver resolver(io, {.dns_servers = server.DNSServers(), .timeout_ms = 400, .hosts_file = ""});
  auto open_fds = [] {
    auto fds = std::filesystem::directory_iterator("/proc/self/fd");
    return std::distance(begin(fds), end(fds));
  };
  const auto fds_before = open_fds();
  std::map<std::string, std::string> got;
  auto ask = [&](const std::string& name) {
    asio::co_spawn(io, resolver.ForwardLookup(name + ".test"),
                   [&got, name](std::exception_ptr e, LookupResult result) {
                     got[name] = e ? "exception" : result.text + (result.failed ? "failed" : "");
                   });
  };
  ask("innocent");
  for (int i = 0; i < 20 && resolver.in_flight() == 0; ++i) io.poll_one();
  for (const char* name :
       {"cut", "oversize", "wrongid", "silent", "servfail", "missing", "whole", "garbage"}) {
    ask(name);
  }
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(testing::RunUntil(io, [&] { return got.size() == 9; })) << got.size();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  std::string all;  // in name order
  for (const auto& [name, result] : got) all += name + "=" + result + " ";
  EXPECT_EQ(all,
            "cut=failed garbage=failed innocent=192.0.2.53 missing= oversize=failed "
            "servfail=failed silent=failed whole=192.0.2.54 wrongid=failed ");
  // No exchange, over UDP or TCP, leaves a descriptor behind (beyond the one kept by design).
  EXPECT_LE(open_fds(), fds_before + 1);
  auto host = [&](std::string ip) { return testing::RunAwaitable(io, resolver.GetHostFromIP(ip)); };
  EXPECT_EQ(host("192.0.2.1"), "MixedCase.Vantry.TEST");
  for (const char* none : {"192.0.2.9", "192.0.2.2", "192.0.2.3"})
    EXPECT_EQ(host(none), "") << none;
  EXPECT_EQ(host("192.0.2.4").size(), 255u);
  // The same under ip6.arpa, whose query name starts with the address's last nibble.
  EXPECT_EQ(host("2001:db8::4"), host("192.0.2.4"));
  EXPECT_EQ(host("2001:db8::2"), "");
  EXPECT_EQ(host("192.0.2.4").substr(0, 64), letters + ".");
}

}  // namespace
}  // namespace vantry
