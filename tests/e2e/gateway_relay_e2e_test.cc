// The real gateway relaying between real clients and real mail servers.
#include <gtest/gtest.h>

#include <asio/ip/tcp.hpp>
#include <map>
#include <thread>
#include <vector>

#include "free_port.h"
#include "gateway_fixture.h"
#include "tcp_client.h"

namespace vantry::testing {
namespace {

using Clock = std::chrono::steady_clock;

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

TEST(GatewayRelay, MailServerDownTellsTheClientAndFreesTheSlot) {
  GatewayFixture gateway(RelayOnlyOptions(FreePort()));
  ASSERT_TRUE(gateway.listening()) << gateway.Trace();
  for (int round = 0; round < 3; ++round) {
    TcpClient client;
    ASSERT_TRUE(client.Connect(gateway.port()));
    bool closed = false;
    EXPECT_EQ(client.ReadToEnd(10s, &closed),
              "421 4.3.2 Mail service not available, try again later\r\n");
    EXPECT_TRUE(closed);
  }
  // Each connection found slot 0 free again; none of them ended in CLOSED.
  ASSERT_TRUE(gateway.WaitForTraceCount("wsout socket: 0 Connection refused", 3))
      << gateway.Trace();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(gateway.CountInTrace("wsout socket: "), 3) << gateway.Trace();
  EXPECT_EQ(gateway.CountInTrace("|CLOSED|"), 0);
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
