// The real gateway relaying between real clients and real mail servers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <asio/ip/tcp.hpp>
#include <cstdlib>
#include <map>
#include <thread>
#include <vector>

#include "free_port.h"
#include "gateway_fixture.h"
#include "tcp_client.h"
#include "temp_dir.h"

namespace vantry::testing {
namespace {

using Clock = std::chrono::steady_clock;

bool Ipv6LoopbackUp() {
  asio::io_context io;
  asio::ip::tcp::acceptor probe(io);
  asio::error_code ec;
  probe.open(asio::ip::tcp::v6(), ec);
  if (!ec) probe.bind({asio::ip::address_v6::loopback(), 0}, ec);
  return !ec;
}

bool WaitForIpv6Port(int port, std::chrono::milliseconds timeout) {
  asio::io_context io;
  for (auto deadline = Clock::now() + timeout; Clock::now() < deadline;) {
    asio::ip::tcp::socket socket(io);
    asio::error_code ec;
    socket.connect({asio::ip::address_v6::loopback(), static_cast<unsigned short>(port)}, ec);
    if (!ec) return true;
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

// The gateways this test starts read their hosts file from here.
class ScopedHostsFile {
 public:
  explicit ScopedHostsFile(std::string_view text) {
    WriteFileText(dir_.File("hosts"), text);
    setenv("VANTRY_HOSTS_FILE", dir_.File("hosts").c_str(), 1);
  }
  ~ScopedHostsFile() { unsetenv("VANTRY_HOSTS_FILE"); }

 private:
  TempDir dir_;
};

// A greeting from smtp-sink through the gateway, soon, and its verdict.
void ExpectRelayed(const GatewayFixture& gateway) {
  const auto asked = Clock::now();
  TcpClient client;
  ASSERT_TRUE(client.Connect(gateway.port()));
  EXPECT_TRUE(client.ReadUntil("\r\n", 5s).starts_with("220 ")) << gateway.Trace();
  ASSERT_TRUE(client.SendAll("QUIT\r\n"));
  EXPECT_TRUE(client.ReadUntil("\r\n", 5s).starts_with("221 ")) << gateway.Trace();
  EXPECT_LT(Clock::now() - asked, 5s);
  EXPECT_EQ(gateway.CountInTrace("|OK|"), 1);
  EXPECT_EQ(gateway.CountInTrace("wsout socket: "), 0) << gateway.Trace();
}

// Relaying gateways in front of smtp-sink.
class GatewayToSink : public ::testing::Test {
 protected:
  // One with these settings over the relay defaults.
  GatewayFixture& Start(std::map<std::string, SettingValue> settings) {
    EXPECT_TRUE(sink_.ready());
    GatewayFixture::Options options = RelayOnlyOptions(sink_.port());
    for (auto& [name, value] : settings) options.settings[name] = std::move(value);
    gateway_ = std::make_unique<GatewayFixture>(std::move(options));
    EXPECT_TRUE(gateway_->listening()) << gateway_->Trace();
    return *gateway_;
  }
  SmtpSink sink_;
  std::unique_ptr<GatewayFixture> gateway_;
};

TEST(GatewayRelay, BinaryMegabytesAreRelayedByteExactBothWays) {
  const std::string to_client = "220 raw peer\r\n" + BinaryPayload(3 * 1024 * 1024, 1);
  const std::string to_server = BinaryPayload(5 * 1024 * 1024 + 17, 2);
  asio::io_context io;
  asio::ip::tcp::acceptor mail_server(io, {asio::ip::address_v4::loopback(), 0});
  GatewayFixture gateway(RelayOnlyOptions(mail_server.local_endpoint().port()));
  ASSERT_TRUE(gateway.listening()) << gateway.Trace();

  TcpClient client;
  ASSERT_TRUE(client.Connect(gateway.port()));
  // Sent at once, before the mail server's connection is even up.
  std::thread client_sends([&] { client.SendAll(to_server); });
  // The mail server sends and receives at once, and closes once it has everything.
  std::string at_server;
  std::thread server_side([&] {
    TcpClient server;
    server.Adopt(mail_server.accept().release());
    std::thread sends([&] { server.SendAll(to_client); });
    at_server = server.ReadExactly(to_server.size(), 60s);
    sends.join();
  });
  std::string got = client.ReadExactly(to_client.size(), 60s);
  client_sends.join();
  server_side.join();
  EXPECT_TRUE(got == to_client) << "client got " << got.size() << " of " << to_client.size();
  EXPECT_TRUE(at_server == to_server)
      << "server got " << at_server.size() << " of " << to_server.size();
  // One CLOSED, from the outbound side.
  ASSERT_TRUE(gateway.WaitForTrace("Closing outbound socket 0"));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(gateway.CountInTrace("|CLOSED|"), 1);
}

TEST_F(GatewayToSink, AllSlotsServeAndTheNextRequestIsDroppedUnreported) {
  GatewayFixture& gateway = Start({{"MaxPerIP", 0LL}});
  std::vector<TcpClient> clients(256);
  for (auto& client : clients) ASSERT_TRUE(client.Connect(gateway.port()));
  for (size_t i = 0; i < clients.size(); ++i)
    ASSERT_TRUE(clients[i].ReadUntil("\r\n").starts_with("220")) << "client " << i;
  TcpClient extra;
  ASSERT_TRUE(extra.Connect(gateway.port()));
  bool closed = false;
  EXPECT_EQ(extra.ReadToEnd(5s, &closed), "");
  EXPECT_TRUE(closed);

  // A slot freed by its client serves the next request, since no other slot is free.
  clients[10].Close();
  ASSERT_TRUE(gateway.WaitForTrace("Closing inbound socket 10"));
  TcpClient served;
  ASSERT_TRUE(served.Connect(gateway.port()));
  EXPECT_TRUE(served.ReadUntil("\r\n").starts_with("220"));
  ASSERT_TRUE(gateway.WaitForTrace("255|10|OK|"));
  EXPECT_TRUE(gateway.WaitForTraceCount("|OK|", 257));
  EXPECT_EQ(gateway.CountInTrace("|OK|"), 257);
  EXPECT_EQ(gateway.CountInTrace("|BL|"), 0);
}

// A mail server that refuses: each client is told so and slot 0 is free again for the next.
void ExpectMailServiceDownThrice(const GatewayFixture& gateway) {
  for (int round = 0; round < 3; ++round) {
    TcpClient client;
    ASSERT_TRUE(client.Connect(gateway.port()));
    bool closed = false;
    EXPECT_EQ(client.ReadToEnd(10s, &closed),
              "421 4.3.2 Mail service not available, try again later\r\n");
    EXPECT_TRUE(closed);
  }
  // Each connection found slot 0 free again; none of them ended in CLOSED.
  EXPECT_TRUE(gateway.WaitForTraceCount("wsout socket: 0 Connection refused", 3))
      << gateway.Trace();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(gateway.CountInTrace("wsout socket: "), 3) << gateway.Trace();
  EXPECT_EQ(gateway.CountInTrace("|CLOSED|"), 0);
}

TEST(GatewayRelay, MailServerDownTellsTheClientAndFreesTheSlot) {
  std::vector<std::string> hosts = {"127.0.0.1"};
  if (Ipv6LoopbackUp()) hosts.push_back("::1");
  for (const std::string& host : hosts) {
    SCOPED_TRACE(host);
    GatewayFixture::Options options = RelayOnlyOptions(FreePort());
    options.settings["SMTPHost"] = host;
    GatewayFixture gateway(options);
    ASSERT_TRUE(gateway.listening()) << gateway.Trace();
    ExpectMailServiceDownThrice(gateway);
  }
}

// SMTPHost is looked up as every other name: a name only the gateway's hosts file knows relays,
// also when its first address refuses and the next one takes the connection.
TEST_F(GatewayToSink, TheMailServerNameComesFromTheGatewaysHostsFile) {
  const std::vector<std::pair<std::string_view, std::string_view>> cases = {
      {"one address", "127.0.0.1 mail.hosts.test\n"},
      {"a refusing address first",
       "127.0.0.66 MAIL.hosts.test\n::1 mail.hosts.test\n"
       "127.0.0.1 mail.hosts.test other.test\n"},
  };
  for (const auto& [label, hosts] : cases) {
    SCOPED_TRACE(label);
    ScopedHostsFile hosts_file(hosts);
    ExpectRelayed(Start({{"SMTPHost", std::string("mail.hosts.test")}}));
  }
}

TEST(GatewayRelay, AnIPv6MailServerRelaysASession) {
  if (!Ipv6LoopbackUp()) GTEST_SKIP() << "::1 cannot be bound here: no IPv6 loopback";
  const int port = FreePort();
  std::vector<std::string> argv = {"/usr/sbin/smtp-sink"};
  if (geteuid() == 0) argv.insert(argv.end(), {"-u", "nobody"});
  argv.insert(argv.end(), {"-c", "[::1]:" + std::to_string(port), "16"});
  ChildProcess sink({.argv = argv});
  ASSERT_TRUE(WaitForIpv6Port(port, 10s)) << sink.Output();
  GatewayFixture::Options options = RelayOnlyOptions(port);
  options.settings["SMTPHost"] = std::string("::1");
  GatewayFixture gateway(options);
  ASSERT_TRUE(gateway.listening()) << gateway.Trace();
  ExpectRelayed(gateway);
}

// MaxPerIP at its default of 20: a flood from one address holds 20 slots, the rest are turned
// away with one line each and never reported, and another address is served at once.
TEST_F(GatewayToSink, AFloodFromOneAddressHoldsAtMostMaxPerIPSlots) {
  GatewayFixture& gateway = Start({});
  constexpr int kFlood = 300;
  std::vector<TcpClient> flood(kFlood);
  for (auto& client : flood) ASSERT_TRUE(client.Connect(gateway.port(), "127.0.0.2"));

  const auto asked = Clock::now();
  TcpClient other;
  ASSERT_TRUE(other.Connect(gateway.port(), "127.0.0.3"));
  EXPECT_TRUE(other.ReadUntil("\r\n", 1s).starts_with("220 ")) << gateway.Trace();
  EXPECT_LT(Clock::now() - asked, 1s);

  const std::string turned_away =
      "421 4.7.0 Too many connections from your address, try again later\r\n";
  for (int i = 0; i < kFlood; ++i) {
    if (i < 20) {
      EXPECT_TRUE(flood[i].ReadUntil("\r\n").starts_with("220 ")) << "client " << i;
    } else if (i == 20 || i == kFlood - 1) {
      bool closed = false;
      EXPECT_EQ(flood[i].ReadToEnd(5s, &closed), turned_away) << "client " << i;
      EXPECT_TRUE(closed);
    }
  }
  ASSERT_TRUE(gateway.WaitForTraceCount("127.0.0.2 turned away: MaxPerIP 20 reached", 280));
  EXPECT_EQ(gateway.CountInTrace(" turned away: "), 280);
  EXPECT_EQ(gateway.CountInTrace("|OK|"), 21);
  EXPECT_EQ(gateway.CountInTrace("|BL|"), 0);
  for (int i = 0; i < 250 && CountOccurrences(gateway.LogText(), "\r\n") < 21; ++i)
    std::this_thread::sleep_for(20ms);
  EXPECT_EQ(CountOccurrences(gateway.LogText(), "\r\n"), 21) << gateway.Trace();
}

// A relayed session with no byte either way for IdleTimeout ends as any other: both sockets
// closed and one CLOSED.
TEST_F(GatewayToSink, AnIdleSessionIsClosedAndReportedOnce) {
  GatewayFixture& gateway = Start({{"IdleTimeout", 1LL}});
  TcpClient client;
  ASSERT_TRUE(client.Connect(gateway.port()));
  ASSERT_TRUE(client.ReadUntil("\r\n").starts_with("220 "));
  const auto greeted = Clock::now();
  bool closed = false;
  EXPECT_EQ(client.ReadToEnd(5s, &closed), "");
  EXPECT_TRUE(closed);
  EXPECT_GE(Clock::now() - greeted, 900ms);
  ASSERT_TRUE(gateway.WaitForTrace("Closing idle socket 0 after 1 s")) << gateway.Trace();
  ASSERT_TRUE(gateway.WaitForTrace("|CLOSED|"));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(gateway.CountInTrace("|CLOSED|"), 1);
}

}  // namespace
}  // namespace vantry::testing
