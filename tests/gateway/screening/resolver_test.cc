#include "resolver.h"

#include <gtest/gtest.h>

#include <array>
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/ip/udp.hpp>
#include <asio/use_awaitable.hpp>
#include <filesystem>
#include <functional>
#include <map>

#include "dns_fixture.h"
#include "free_port.h"
#include "hostile_dns.h"
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
       {std::string(dns::kLostHost), std::string(), std::string(300, 'x') + ".test",
        std::string(64, 'y') + ".test", std::string("192.0.2.777")}) {
    EXPECT_EQ(Ip(resolver, no_address), "") << no_address;
  }
  EXPECT_EQ(Ip(resolver, dns::kGoodHost), dns::kGoodPeer);  // still works afterwards
}

TEST_F(ResolverTest, SilentOrDeadServersEndInNothingWithinTheConfiguredTries) {
  // The second has nothing listening.
  for (const std::string& servers :
       {silent_servers_, "127.0.0.1:" + std::to_string(testing::FreePort())}) {
    Resolver resolver(io_, {.dns_servers = servers, .timeout_ms = 100, .tries = 2});
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Ip(resolver, dns::kGoodHost), "") << servers;
    EXPECT_EQ(Host(resolver, dns::kGoodPeer), "") << servers;
    // Two lookups of 100 ms + 200 ms of tries; one without its own bound would wait far longer.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << servers;
  }
}

TEST(ResolverSystemServers, AChangedServerFileIsFollowedAtTheNextLookup) {
  // resolv.conf names no port, so the two servers listen on port 53 of two
  // loopback addresses; they never answer, the test only sees who is asked.
  asio::io_context io;
  asio::ip::udp::socket first(io), second(io);
  auto listen = [](asio::ip::udp::socket& server, const char* address) {
    asio::error_code ec;
    server.open(asio::ip::udp::v4(), ec);
    if (!ec) server.bind({asio::ip::make_address_v4(address), 53}, ec);
    return !ec;
  };
  if (!listen(first, "127.0.0.78") || !listen(second, "127.0.0.79"))
    GTEST_SKIP() << "needs port 53 on loopback addresses (root)";
  testing::TempDir dir;
  const std::string conf = dir.File("resolv.conf");
  testing::WriteFileText(conf, "nameserver 127.0.0.78\n");
  Resolver resolver(io, {.dns_servers = "",
                         .timeout_ms = 50,
                         .tries = 1,
                         .hosts_file = "",
                         .resolv_conf = conf,
                         .resolv_conf_recheck = 0ms});
  EXPECT_EQ(testing::RunAwaitable(io, resolver.GetIPFromHost("one.test")), "");
  EXPECT_GT(first.available(), 0u);
  EXPECT_EQ(second.available(), 0u);
  std::array<char, 512> drain;
  while (first.available() > 0) first.receive(asio::buffer(drain));

  testing::WriteFileText(conf, "nameserver 127.0.0.79\n");
  EXPECT_EQ(testing::RunAwaitable(io, resolver.GetIPFromHost("two.test")), "");
  EXPECT_EQ(first.available(), 0u);
  EXPECT_GT(second.available(), 0u);
}

TEST_F(ResolverTest, ManyLookupsOverlapUpToTheCapAndAllComplete) {
  Resolver resolver(
      io_, {.dns_servers = silent_servers_, .timeout_ms = 300, .tries = 1, .max_in_flight = 50});
  int done = 0;
  for (int i = 0; i < 200; ++i) {
    asio::co_spawn(io_, resolver.GetIPFromHost("q" + std::to_string(i) + ".test"),
                   [&](std::exception_ptr e, std::string ip) {
                     EXPECT_TRUE(!e && ip.empty());
                     ++done;
                   });
  }
  // Let every coroutine start its lookup.
  for (int i = 0; i < 400 && resolver.in_flight() + resolver.queued() < 200; ++i) io_.poll_one();
  EXPECT_EQ(resolver.in_flight(), 50u);
  EXPECT_EQ(resolver.queued(), 150u);
  auto start = std::chrono::steady_clock::now();
  std::size_t peak = 0;
  EXPECT_TRUE(testing::RunUntil(io_, [&] {
    peak = std::max(peak, resolver.in_flight());
    return done == 200;
  })) << done;
  EXPECT_LE(peak, 50u);
  // Four waves of one 300 ms try each; one after another would take a minute.
  EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
}

TEST_F(ResolverTest, ThousandsOfLookupsInSequenceLeakNoDescriptors) {
  Resolver resolver(io_, {.dns_servers = dns_->DNSServers()});
  // Warm up, so the count includes whatever the resolver keeps open by design.
  EXPECT_EQ(Ip(resolver, dns::kGoodHost), dns::kGoodPeer);
  auto open_fds = [] {
    auto fds = std::filesystem::directory_iterator("/proc/self/fd");
    return std::distance(begin(fds), end(fds));
  };
  auto before = open_fds();
  for (int i = 0; i < 1500; ++i) {
    ASSERT_EQ(Ip(resolver, dns::kLostHost), "") << i;
    ASSERT_EQ(Host(resolver, dns::kGoodPeer), dns::kGoodHost) << i;
  }
  EXPECT_LE(open_fds(), before + 1);
}

// Makes the silent name server answer each query with reply(query).
void Script(asio::ip::udp::socket& server, std::function<std::string(const std::string&)> reply) {
  asio::co_spawn(
      server.get_executor(),
      [&server, reply]() -> asio::awaitable<void> {
        for (;;) {
          char buffer[1500];
          asio::ip::udp::endpoint from;
          std::size_t n =
              co_await server.async_receive_from(asio::buffer(buffer), from, asio::use_awaitable);
          std::string answer = reply(std::string(buffer, n));
          co_await server.async_send_to(asio::buffer(answer), from, asio::use_awaitable);
        }
      },
      asio::detached);
}

// A reply to `query` carrying one PTR record whose target has these labels.
std::string PtrReply(const std::string& query, const std::vector<std::string>& labels) {
  std::string target;
  for (const auto& label : labels) target += static_cast<char>(label.size()) + label;
  target += '\0';
  return query.substr(0, 2) + std::string("\x81\x80\x00\x01\x00\x01\x00\x00\x00\x00", 10) +
         query.substr(12) +  // the question, as asked
         std::string("\xc0\x0c\x00\x0c\x00\x01\x00\x00\x00\x3c", 10) +
         static_cast<char>(target.size() >> 8) + static_cast<char>(target.size() & 0xff) + target;
}

TEST_F(ResolverTest, PtrNamesKeepTheirCaseWhileGarbageHostileOrHugeAnswersGiveNothing) {
  Script(silent_, [](const std::string& query) {
    // Whether the query name's first label is `label`.
    auto asked = [&](std::string_view label) {
      return query.compare(12, label.size() + 1,
                           static_cast<char>(label.size()) + std::string(label)) == 0;
    };
    if (asked("garbage") || asked("9")) {
      // The right id and a "success" header over bytes that are no answer.
      return query.substr(0, 2) + std::string("\x81\x80\x00\x01\x00\x05\x00\x00\x00\x00", 10) +
             std::string(40, '\xff');
    }
    if (asked("1")) return PtrReply(query, {"MixedCase", "Vantry", "TEST"});
    if (asked("2")) return PtrReply(query, {"evil|name", "line\r\nbreak", "test"});
    if (asked("3")) return PtrReply(query, std::vector<std::string>(4, std::string(63, '\x01')));
    // The longest name DNS can carry: four labels of 63 letters, 255 bytes on the wire.
    return PtrReply(query, std::vector<std::string>(4, std::string(63, 'a')));
  });
  Resolver resolver(io_, {.dns_servers = silent_servers_, .timeout_ms = 300, .tries = 1});
  EXPECT_EQ(Ip(resolver, "garbage.test"), "");
  EXPECT_EQ(Host(resolver, "192.0.2.9"), "");
  EXPECT_EQ(Host(resolver, "192.0.2.1"), "MixedCase.Vantry.TEST");
  EXPECT_EQ(Host(resolver, "192.0.2.2"), "");
  EXPECT_EQ(Host(resolver, "192.0.2.3"), "");
  std::string longest = Host(resolver, "192.0.2.4");
  EXPECT_EQ(longest.size(), 255u);
  EXPECT_EQ(longest.substr(0, 64), std::string(63, 'a') + ".");
}

TEST(ResolverIsolation, HostileExchangesFailOnlyThemselvesAndNoAnswerIsNotNoName) {
  // The innocent answer comes late, so that every hostile exchange happens while it is in
  // flight: a server closing a TCP connection must not spend its tries. A truncated answer
  // is still asked again over TCP ("whole").
  testing::HostileDns server({"innocent=a:192.0.2.53@300", "cut=cut", "oversize=oversize",
                              "wrongid=wrongid", "silent=silent", "servfail=servfail",
                              "whole=tcp:192.0.2.54"});
  ASSERT_TRUE(server.ready()) << server.error();
  asio::io_context io;
  Resolver resolver(io, {.dns_servers = server.DNSServers(), .timeout_ms = 400, .hosts_file = ""});
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
       {"cut", "oversize", "wrongid", "silent", "servfail", "missing", "whole"}) {
    ask(name);
  }
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(testing::RunUntil(io, [&] { return got.size() == 8; })) << got.size();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(got, (std::map<std::string, std::string>{{"innocent", "192.0.2.53"},
                                                     {"cut", "failed"},
                                                     {"oversize", "failed"},
                                                     {"wrongid", "failed"},
                                                     {"silent", "failed"},
                                                     {"servfail", "failed"},
                                                     {"missing", ""},
                                                     {"whole", "192.0.2.54"}}));
}

}  // namespace
}  // namespace vantry
