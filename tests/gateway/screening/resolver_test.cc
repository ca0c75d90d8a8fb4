#include "resolver.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <asio/co_spawn.hpp>
#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>

#include "dns_fixture.h"
#include "run_awaitable.h"

namespace vantry {
namespace {

namespace dns = testing::dns;
using namespace std::chrono_literals;

// Exactly 64 characters, and one of 100, both with A records.
const std::string kName64 = std::string(48, 'a') + ".sixty-four.test";
const std::string kName100 = std::string(60, 'b') + "." + std::string(22, 'c') + ".hundred.test";

testing::DnsRecords ResolverRecords() {
  testing::DnsRecords records = testing::StandardDnsRecords();
  records.a.emplace_back(kName64, "127.0.0.64");
  records.a.emplace_back(kName100, "127.0.0.100");
  return records;
}

int OpenFdCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

class ResolverTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { dns_ = new testing::DnsFixture(ResolverRecords()); }
  static void TearDownTestSuite() {
    delete dns_;
    dns_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(dns_->ready()) << dns_->error(); }

  std::string Host(Resolver& r, std::string ip) {
    return testing::RunAwaitable(io_, r.GetHostFromIP(std::move(ip)));
  }
  std::string Ip(Resolver& r, std::string name) {
    return testing::RunAwaitable(io_, r.GetIPFromHost(std::move(name)));
  }

  // Shared by the suite: starting the servers is the slow part.
  static testing::DnsFixture* dns_;
  asio::io_context io_;
};

testing::DnsFixture* ResolverTest::dns_ = nullptr;

TEST_F(ResolverTest, ReverseLookupsGiveThePtrNameAsWrittenOrNothing) {
  Resolver resolver(io_, {.dns_servers = dns_->DNSServers()});
  EXPECT_EQ(resolver.error(), "");
  EXPECT_EQ(Host(resolver, std::string(dns::kGoodPeer)), dns::kGoodHost);
  EXPECT_EQ(Host(resolver, std::string(dns::kNoPtrPeer)), "");
  for (std::string bad : {"", "not an address", "1.2.3", "300.1.1.1", "1.2.3.4.5"}) {
    EXPECT_EQ(Host(resolver, bad), "") << bad;
  }
}

TEST_F(ResolverTest, ForwardLookupsGiveTheFirstAddressOrNothing) {
  Resolver resolver(io_, {.dns_servers = dns_->DNSServers()});
  EXPECT_EQ(Ip(resolver, std::string(dns::kGoodHost)), dns::kGoodPeer);
  EXPECT_EQ(Ip(resolver, std::string(dns::kAltHost)), dns::kAltAddress);
  EXPECT_EQ(Ip(resolver, std::string(dns::kTwoHost)), dns::kTwoFirst);
  EXPECT_EQ(Ip(resolver, std::string(dns::kLostHost)), "");
  EXPECT_EQ(Ip(resolver, ""), "");
  // A DNSBL query through the name server's forwarding to rbldnsd.
  EXPECT_EQ(Ip(resolver, "12.0.0.127." + std::string(dns::kZone1)), "127.0.0.2");
}

TEST_F(ResolverTest, LongNamesWorkOrFailCleanly) {
  Resolver resolver(io_, {.dns_servers = dns_->DNSServers()});
  ASSERT_EQ(kName64.size(), 64u);
  EXPECT_EQ(Ip(resolver, kName64), "127.0.0.64");
  EXPECT_EQ(Ip(resolver, kName100), "127.0.0.100");
  // Too long for DNS at all, and a label over 63 characters.
  EXPECT_EQ(Ip(resolver, std::string(300, 'x') + ".test"), "");
  EXPECT_EQ(Ip(resolver, std::string(64, 'y') + ".test"), "");
  // The resolver still works afterwards.
  EXPECT_EQ(Ip(resolver, std::string(dns::kGoodHost)), dns::kGoodPeer);
}

TEST_F(ResolverTest, ASilentServerEndsInNothingWithinTheConfiguredTries) {
  Resolver resolver(io_, {.dns_servers = dns_->SilentDNSServers(), .timeout_ms = 100, .tries = 2});
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Ip(resolver, std::string(dns::kGoodHost)), "");
  // 100 ms + 200 ms of tries; a lookup without its own bound would wait far longer.
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST_F(ResolverTest, ADeadServerEndsInNothing) {
  Resolver resolver(io_, {.dns_servers = dns_->DeadDNSServers(), .timeout_ms = 200, .tries = 2});
  EXPECT_EQ(Ip(resolver, std::string(dns::kGoodHost)), "");
  EXPECT_EQ(Host(resolver, std::string(dns::kGoodPeer)), "");
}

TEST_F(ResolverTest, BadServerTextIsReportedNotThrown) {
  Resolver bad(io_, {.dns_servers = "not-an-ip:53"});
  EXPECT_NE(bad.error().find("not-an-ip:53"), std::string::npos) << bad.error();
  // Blanks around entries and empty entries are tolerated.
  Resolver spaced(io_, {.dns_servers = " , " + dns_->DNSServers() + " ,"});
  EXPECT_EQ(spaced.error(), "");
  EXPECT_EQ(Ip(spaced, std::string(dns::kGoodHost)), dns::kGoodPeer);
}

TEST_F(ResolverTest, ManyLookupsOverlapUpToTheCapAndAllComplete) {
  Resolver resolver(io_, {.dns_servers = dns_->SilentDNSServers(),
                          .timeout_ms = 300,
                          .tries = 1,
                          .max_in_flight = 50});
  int done = 0;
  std::size_t peak_in_flight = 0;
  for (int i = 0; i < 200; ++i) {
    asio::co_spawn(
        io_,
        [&, i]() -> asio::awaitable<void> {
          peak_in_flight = std::max(peak_in_flight, resolver.in_flight());
          std::string result = co_await resolver.GetIPFromHost("q" + std::to_string(i) + ".test");
          EXPECT_EQ(result, "");
          ++done;
        },
        [](std::exception_ptr e) { EXPECT_FALSE(e); });
  }
  // Let every coroutine start its lookup.
  for (int i = 0; i < 400 && resolver.in_flight() + resolver.queued() < 200; ++i) io_.poll_one();
  EXPECT_EQ(resolver.in_flight(), 50u);
  EXPECT_EQ(resolver.queued(), 150u);
  auto start = std::chrono::steady_clock::now();
  // The resolver keeps its socket open between lookups, so the loop never runs
  // out of work by itself: run until every lookup is done.
  while (done < 200 && std::chrono::steady_clock::now() - start < 30s) io_.run_one_for(100ms);
  EXPECT_EQ(done, 200);
  EXPECT_LE(peak_in_flight, 50u);
  // Four waves of one 300 ms try each; one after another would take a minute.
  EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
}

TEST_F(ResolverTest, ConcurrentAnswersReachTheirOwnCallers) {
  Resolver resolver(io_, {.dns_servers = dns_->DNSServers(), .max_in_flight = 20});
  const std::vector<std::pair<std::string, std::string>> expected = {
      {std::string(dns::kGoodHost), std::string(dns::kGoodPeer)},
      {std::string(dns::kAltHost), std::string(dns::kAltAddress)},
      {std::string(dns::kLostHost), ""},
      {kName64, "127.0.0.64"}};
  int checked = 0;
  for (int i = 0; i < 200; ++i) {
    const auto& [name, address] = expected[i % expected.size()];
    asio::co_spawn(
        io_,
        [&, name, address]() -> asio::awaitable<void> {
          EXPECT_EQ(co_await resolver.GetIPFromHost(name), address) << name;
          ++checked;
        },
        [](std::exception_ptr e) { EXPECT_FALSE(e); });
  }
  io_.run_for(30s);
  EXPECT_EQ(checked, 200);
}

TEST_F(ResolverTest, ThousandsOfLookupsInSequenceLeakNoDescriptors) {
  Resolver resolver(io_, {.dns_servers = dns_->DNSServers()});
  // Warm up, so the count includes whatever the resolver keeps open by design.
  EXPECT_EQ(Ip(resolver, std::string(dns::kGoodHost)), dns::kGoodPeer);
  int before = OpenFdCount();
  testing::RunAwaitable(io_, [&]() -> asio::awaitable<void> {
    for (int i = 0; i < 3000; ++i) {
      // Plain statements: GCC 12 miscompiles co_await inside a conditional expression.
      if (i % 2 == 1) {
        std::string result = co_await resolver.GetIPFromHost(std::string(dns::kLostHost));
        if (!result.empty()) ADD_FAILURE() << "lookup " << i << ": " << result;
      } else {
        std::string result = co_await resolver.GetHostFromIP(std::string(dns::kGoodPeer));
        if (result != dns::kGoodHost) ADD_FAILURE() << "lookup " << i << ": " << result;
      }
    }
  }());
  EXPECT_LE(OpenFdCount(), before + 1);
}

TEST_F(ResolverTest, DestroyingTheResolverCompletesPendingLookupsWithNothing) {
  std::optional<std::string> result;
  {
    Resolver resolver(io_, {.dns_servers = dns_->SilentDNSServers(), .timeout_ms = 5000});
    asio::co_spawn(io_, resolver.GetIPFromHost(std::string(dns::kGoodHost)),
                   [&](std::exception_ptr, std::string r) { result = std::move(r); });
    io_.run_for(100ms);
    EXPECT_FALSE(result);
  }
  io_.restart();
  io_.run_for(1s);
  ASSERT_TRUE(result);
  EXPECT_EQ(*result, "");
}

// A name server on loopback that answers every query with bytes made by `reply`.
class ScriptedServer {
 public:
  explicit ScriptedServer(std::function<std::string(const std::string& query)> reply)
      : reply_(std::move(reply)) {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    timeval tv{0, 50000};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedServer() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }
  std::string Servers() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  void Serve() {
    while (!stop_) {
      char buffer[1500];
      sockaddr_in from{};
      socklen_t len = sizeof from;
      ssize_t n = recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
      if (n < 12) continue;
      std::string answer = reply_(std::string(buffer, static_cast<std::size_t>(n)));
      sendto(fd_, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
    }
  }

  std::function<std::string(const std::string&)> reply_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

std::string EncodeName(const std::vector<std::string>& labels) {
  std::string out;
  for (const auto& label : labels) out += static_cast<char>(label.size()) + label;
  return out + '\0';
}

// A reply to `query` carrying one PTR record whose target has these labels.
std::string PtrReply(const std::string& query, const std::vector<std::string>& labels) {
  std::string reply =
      query.substr(0, 2) + std::string("\x81\x80\x00\x01\x00\x01\x00\x00\x00\x00", 10);
  reply += query.substr(12);  // the question, as asked
  std::string target = EncodeName(labels);
  reply += std::string("\xc0\x0c\x00\x0c\x00\x01\x00\x00\x00\x3c", 10);
  reply += static_cast<char>(target.size() >> 8);
  reply += static_cast<char>(target.size() & 0xff);
  return reply + target;
}

TEST_F(ResolverTest, GarbageAnswersGiveNothing) {
  ScriptedServer server([](const std::string& query) {
    // The right id and a "success" header over bytes that are no answer.
    return query.substr(0, 2) + std::string("\x81\x80\x00\x01\x00\x05\x00\x00\x00\x00", 10) +
           std::string(40, '\xff');
  });
  Resolver resolver(io_, {.dns_servers = server.Servers(), .timeout_ms = 300, .tries = 1});
  EXPECT_EQ(Ip(resolver, "anything.test"), "");
  EXPECT_EQ(Host(resolver, "127.0.0.9"), "");
}

TEST_F(ResolverTest, PtrNamesKeepTheirCaseWhileHostileOrHugeOnesGiveNothing) {
  ScriptedServer server([](const std::string& query) {
    auto asked = [&](std::string_view last_octet) {
      return query.compare(12, last_octet.size() + 1,
                           std::string(1, static_cast<char>(last_octet.size())) +
                               std::string(last_octet)) == 0;
    };
    if (asked("1")) return PtrReply(query, {"MixedCase", "Vantry", "TEST"});
    if (asked("2")) return PtrReply(query, {"evil|name", "line\r\nbreak", "test"});
    if (asked("3")) return PtrReply(query, std::vector<std::string>(4, std::string(63, '\x01')));
    // The longest name DNS can carry: four labels of 63 letters, 255 bytes on the wire.
    return PtrReply(query, std::vector<std::string>(4, std::string(63, 'a')));
  });
  Resolver resolver(io_, {.dns_servers = server.Servers(), .timeout_ms = 300, .tries = 1});
  EXPECT_EQ(Host(resolver, "192.0.2.1"), "MixedCase.Vantry.TEST");
  EXPECT_EQ(Host(resolver, "192.0.2.2"), "");
  EXPECT_EQ(Host(resolver, "192.0.2.3"), "");
  std::string longest = Host(resolver, "192.0.2.4");
  EXPECT_EQ(longest.size(), 255u);
  EXPECT_EQ(longest.substr(0, 64), std::string(63, 'a') + ".");
}


}  // namespace
}  // namespace vantry
