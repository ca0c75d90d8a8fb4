// The real gateway relaying between real clients and real mail servers.
#include <gtest/gtest.h>

#include <asio/ip/tcp.hpp>
#include <map>
#include <thread>
#include <vector>

#include "gateway_fixture.h"
#include "tcp_client.h"

namespace vantry::testing {
namespace {

using Clock = std::chrono::steady_clock;

// Exactly n of needle in the trace once they have come, and still a moment later.
void ExpectSettled(const GatewayFixture& gateway, std::string_view needle, int n) {
  EXPECT_TRUE(gateway.WaitForTraceCount(needle, n)) << gateway.Trace();
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(gateway.CountInTrace(needle), n) << gateway.Trace();
}

// Relaying gateways in front of smtp-sink.
class GatewayToSink : public ::testing::Test {
 protected:
  // One with these settings over the relay defaults.
  GatewayFixture& Start(std::map<std::string, SettingValue> settings, std::string hosts = {}) {
    EXPECT_TRUE(sink_.ready());
    GatewayFixture::Options options = RelayOnlyOptions(sink_.port());
    for (auto& [name, value] : settings) options.settings[name] = std::move(value);
    options.hosts = std::move(hosts);
    gateway_ = std::make_unique<GatewayFixture>(std::move(options));
    EXPECT_TRUE(gateway_->listening()) << gateway_->Trace();
    return *gateway_;
  }
  // A greeting from smtp-sink through the gateway, soon, and its verdict.
  void ExpectRelayed() {
    const auto asked = Clock::now();
    TcpClient client;
    ASSERT_TRUE(client.Connect(gateway_->port()));
    EXPECT_TRUE(client.ReadUntil("\r\n", 5s).starts_with("220 ")) << gateway_->Trace();
    ASSERT_TRUE(client.SendAll("QUIT\r\n"));
    EXPECT_TRUE(client.ReadUntil("\r\n", 5s).starts_with("221 ")) << gateway_->Trace();
    EXPECT_LT(Clock::now() - asked, 5s);
    EXPECT_EQ(gateway_->CountInTrace("|OK|"), 1);
    EXPECT_EQ(gateway_->CountInTrace("wsout socket: "), 0) << gateway_->Trace();
  }
  SmtpSink sink_;
  std::unique_ptr<GatewayFixture> gateway_;
};

TEST_F(GatewayToSink, BinaryMegabytesAreRelayedByteExactBothWays) {
  const std::string to_client = "220 raw peer\r\n" + BinaryPayload(3 * 1024 * 1024, 1);
  const std::string to_server = BinaryPayload(5 * 1024 * 1024 + 17, 2);
  asio::io_context io;
  asio::ip::tcp::acceptor mail_server(io, {asio::ip::address_v4::loopback(), 0});
  GatewayFixture& gateway =
      Start({{"SMTPPort", std::to_string(mail_server.local_endpoint().port())}});
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
  ASSERT_TRUE(gateway.WaitForTrace("Closing outbound socket 0"));
  ExpectSettled(gateway, "|CLOSED|", 1);
}

TEST_F(GatewayToSink, AllSlotsServeAndTheNextRequestIsDroppedUnreported) {
  GatewayFixture& gateway = Start({{"MaxPerIP", 0LL}});
  std::vector<TcpClient> clients(256);
  for (auto& client : clients) ASSERT_TRUE(client.Connect(gateway.port()));
  for (size_t i = 0; i < clients.size(); ++i)
    ASSERT_TRUE(clients[i].ReadUntil("\r\n").starts_with("220")) << "client " << i;
  TcpClient extra;
  ASSERT_TRUE(extra.Connect(gateway.port()));
  EXPECT_EQ(extra.ReadToEnd(5s), "");

  // A slot freed by its client serves the next request, since no other slot is free.
  clients[10].Close();
  ASSERT_TRUE(gateway.WaitForTrace("Closing inbound socket 10"));
  TcpClient served;
  ASSERT_TRUE(served.Connect(gateway.port()));
  EXPECT_TRUE(served.ReadUntil("\r\n").starts_with("220"));
  ASSERT_TRUE(gateway.WaitForTrace("255|10|OK|"));
  EXPECT_EQ(gateway.CountInTrace("|OK|"), 257);
  EXPECT_EQ(gateway.CountInTrace("|BL|"), 0);
}

// A mail server that refuses: each client is told so, and slot 0 is free again for the next.
TEST_F(GatewayToSink, MailServerDownTellsTheClientAndFreesTheSlot) {
  GatewayFixture& gateway = Start({{"SMTPPort", std::to_string(FreePort())}});
  for (int round = 0; round < 3; ++round) {
    TcpClient client;
    ASSERT_TRUE(client.Connect(gateway.port()));
    EXPECT_EQ(client.ReadToEnd(), "421 4.3.2 Mail service not available, try again later\r\n");
  }
  ExpectSettled(gateway, "wsout socket: 0 Connection refused", 3);
  EXPECT_EQ(gateway.CountInTrace("|CLOSED|"), 0);
}

// SMTPHost is looked up as every other name: a name only the gateway's hosts file knows relays,
// also when its first address refuses and the next one takes the connection.
TEST_F(GatewayToSink, TheMailServerNameComesFromTheGatewaysHostsFile) {
  for (const char* hosts : {"127.0.0.1 mail.hosts.test\n",
                            "127.0.0.66 MAIL.hosts.test\n::1 mail.hosts.test\n"
                            "127.0.0.1 mail.hosts.test other.test\n"}) {
    SCOPED_TRACE(hosts);
    Start({{"SMTPHost", std::string("mail.hosts.test")}}, hosts);
    ExpectRelayed();
  }
}

TEST_F(GatewayToSink, AnIPv6MailServerRelaysASession) {
  SmtpSink six("::1");
  if (!six.ready()) GTEST_SKIP() << "smtp-sink takes no connection on ::1: no IPv6 loopback?";
  Start({{"SMTPHost", std::string("::1")}, {"SMTPPort", std::to_string(six.port())}});
  ExpectRelayed();
}

// MaxPerIP at its default of 20: a flood from one address holds 20 slots, the rest are turned
// away with one line each and never reported, and another address is served at once.
TEST_F(GatewayToSink, AFloodFromOneAddressHoldsAtMostMaxPerIPSlots) {
  GatewayFixture& gateway = Start({});
  std::vector<TcpClient> flood(300);
  for (auto& client : flood) ASSERT_TRUE(client.Connect(gateway.port(), "127.0.0.2"));
  const auto asked = Clock::now();
  TcpClient other;
  ASSERT_TRUE(other.Connect(gateway.port(), "127.0.0.3"));
  EXPECT_TRUE(other.ReadUntil("\r\n", 1s).starts_with("220 ")) << gateway.Trace();
  EXPECT_LT(Clock::now() - asked, 1s);
  for (int i = 0; i < 20; ++i) EXPECT_TRUE(flood[i].ReadUntil("\r\n").starts_with("220 ")) << i;
  for (int i : {20, 299}) {
    EXPECT_EQ(flood[i].ReadToEnd(5s),
              "421 4.7.0 Too many connections from your address, try again later\r\n")
        << i;
  }
  ASSERT_TRUE(gateway.WaitForTraceCount("127.0.0.2 turned away: MaxPerIP 20 reached", 280));
  EXPECT_EQ(gateway.CountInTrace(" turned away: "), 280);
  EXPECT_EQ(gateway.CountInTrace("|OK|"), 21);
  EXPECT_EQ(CountOccurrences(gateway.WaitForLog(21), "\r\n"), 21) << gateway.Trace();
}

// A relayed session with no byte either way for IdleTimeout ends as any other: both sockets
// closed and one CLOSED.
TEST_F(GatewayToSink, AnIdleSessionIsClosedAndReportedOnce) {
  GatewayFixture& gateway = Start({{"IdleTimeout", 1LL}});
  TcpClient client;
  ASSERT_TRUE(client.Connect(gateway.port()));
  ASSERT_TRUE(client.ReadUntil("\r\n").starts_with("220 "));
  const auto greeted = Clock::now();
  EXPECT_EQ(client.ReadToEnd(5s), "");
  EXPECT_GE(Clock::now() - greeted, 900ms);
  EXPECT_TRUE(gateway.WaitForTrace("Closing idle socket 0 after 1 s")) << gateway.Trace();
  ExpectSettled(gateway, "|CLOSED|", 1);
}

}  // namespace
}  // namespace vantry::testing
