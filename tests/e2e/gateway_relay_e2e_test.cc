// The real gateway relaying between real clients and real mail servers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>
#include <thread>

#include "child_process.h"
#include "free_port.h"
#include "gateway_fixture.h"
#include "raw_tcp_server.h"
#include "tcp_client.h"
#include "temp_dir.h"

namespace vantry::testing {
namespace {

const std::regex kTenFieldLine(
    R"(255\|\d+\|(OK|BL)\|[0-9.]*\|[0-9.]*\|[^|]*\|[^|]*\|[^|]*\|\d{4}-\d\d-\d\d\|\d\d:\d\d)");

// The bytes themselves are checked by the binary test below.
TEST(GatewayRelay, ASwaksSessionCompletesAndOnlyItsVerdictIsLogged) {
  SmtpSink sink;
  ASSERT_TRUE(sink.ready());
  GatewayFixture gateway(RelayOnlyOptions(sink.port()));
  ASSERT_TRUE(gateway.listening()) << gateway.Trace();
  std::string out;
  ASSERT_EQ(RunCommand({"swaks", "--server", "127.0.0.1:" + std::to_string(gateway.port()),
                        "--from", "alice@src.test", "--to", "bob@dst.test", "--timeout", "20"},
                       {}, &out),
            0)
      << out;
  EXPECT_NE(out.find("<-  221 "), std::string::npos) << out;
  ASSERT_TRUE(gateway.WaitForTrace("|CLOSED|")) << gateway.Trace();
  std::string log = gateway.LogText();
  ASSERT_EQ(CountOccurrences(log, "\r\n"), 1) << log;  // CLOSED is never logged
  EXPECT_TRUE(log.ends_with("\r\n"));
  std::string line = log.substr(0, log.size() - 2);
  EXPECT_TRUE(std::regex_match(line, kTenFieldLine)) << line;
  // No reverse-DNS tests here; the host name is whatever /etc/hosts gives 127.0.0.1.
  EXPECT_TRUE(line.starts_with("255|0|OK|127.0.0.1|127.0.0.1|")) << line;
  EXPECT_NE(line.find("|||20", 29), std::string::npos) << line;
}

TEST(GatewayRelay, BinaryMegabytesAreRelayedByteExactBothWays) {
  const std::string to_client = "220 raw peer\r\n" + BinaryPayload(3 * 1024 * 1024, 1);
  const std::string to_server = BinaryPayload(5 * 1024 * 1024 + 17, 2);
  RawTcpServer server(to_client, to_server.size());
  GatewayFixture gateway(RelayOnlyOptions(server.port()));
  ASSERT_TRUE(gateway.listening()) << gateway.Trace();

  TcpClient client;
  ASSERT_TRUE(client.Connect(gateway.port()));
  // Sent at once, before the mail server's connection is even up.
  std::thread sender([&] { client.SendAll(to_server); });
  std::string got = client.ReadExactly(to_client.size(), 60s);
  sender.join();
  EXPECT_TRUE(got == to_client) << "client got " << got.size() << " of " << to_client.size();
  std::string at_server = server.Received();
  EXPECT_TRUE(at_server == to_server)
      << "server got " << at_server.size() << " of " << to_server.size();
  // The raw peer closes once it has everything: one CLOSED from the outbound side.
  ASSERT_TRUE(gateway.WaitForTrace("|CLOSED|"));
  EXPECT_TRUE(gateway.WaitForTrace("Closing outbound socket 0"));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(gateway.CountInTrace("|CLOSED|"), 1);
}

TEST(GatewayRelay, ExactlyOneClosedWhicheverSideClosesFirst) {
  SmtpSink sink;
  ASSERT_TRUE(sink.ready());
  GatewayFixture gateway(RelayOnlyOptions(sink.port()));
  ASSERT_TRUE(gateway.listening()) << gateway.Trace();

  {  // the client hangs up first
    TcpClient client;
    ASSERT_TRUE(client.Connect(gateway.port()));
    EXPECT_NE(client.ReadUntil("\r\n").find("220"), std::string::npos);
    client.Close();
    ASSERT_TRUE(gateway.WaitForTrace("Closing inbound socket 0"));
  }
  {  // the mail server hangs up first, after QUIT
    TcpClient client;
    ASSERT_TRUE(client.Connect(gateway.port()));
    EXPECT_NE(client.ReadUntil("\r\n").find("220"), std::string::npos);
    ASSERT_TRUE(client.SendAll("QUIT\r\n"));
    bool closed = false;
    std::string rest = client.ReadToEnd(10s, &closed);
    EXPECT_NE(rest.find("221"), std::string::npos);
    EXPECT_TRUE(closed);
    // Slot 0 was left closing by the first client: this search frees it, and hands out slot 1.
    ASSERT_TRUE(gateway.WaitForTrace("Closing outbound socket 1"));
  }
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(gateway.CountInTrace("|CLOSED|"), 2) << gateway.Trace();
  EXPECT_EQ(gateway.CountInTrace("255|0|CLOSED|"), 1);
  EXPECT_EQ(gateway.CountInTrace("255|1|CLOSED|"), 1);
}

TEST(GatewayRelay, AllSlotsServeAndTheNextRequestIsDroppedUnreported) {
  SmtpSink sink;
  ASSERT_TRUE(sink.ready());
  GatewayFixture gateway(RelayOnlyOptions(sink.port()));
  ASSERT_TRUE(gateway.listening()) << gateway.Trace();

  std::vector<TcpClient> clients(256);
  for (auto& client : clients) ASSERT_TRUE(client.Connect(gateway.port()));
  for (size_t i = 0; i < clients.size(); ++i) {
    ASSERT_NE(clients[i].ReadUntil("\r\n").find("220"), std::string::npos) << "client " << i;
  }
  EXPECT_TRUE(gateway.WaitForTraceCount("|OK|", 256));

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
  EXPECT_NE(served.ReadUntil("\r\n").find("220"), std::string::npos);
  ASSERT_TRUE(gateway.WaitForTrace("255|10|OK|"));
  EXPECT_TRUE(gateway.WaitForTraceCount("|OK|", 257));
  EXPECT_EQ(gateway.CountInTrace("|OK|"), 257);
  EXPECT_EQ(gateway.CountInTrace("|BL|"), 0);
}

TEST(GatewayRelay, MailServerDownClosesTheClientAndFreesTheSlot) {
  GatewayFixture gateway(RelayOnlyOptions(FreePort()));
  ASSERT_TRUE(gateway.listening()) << gateway.Trace();
  for (int round = 0; round < 3; ++round) {
    TcpClient client;
    ASSERT_TRUE(client.Connect(gateway.port()));
    bool closed = false;
    EXPECT_EQ(client.ReadToEnd(10s, &closed), "");
    EXPECT_TRUE(closed);
  }
  // Each connection found slot 0 free again; none of them ended in CLOSED.
  ASSERT_TRUE(gateway.WaitForTraceCount("wsout socket: 0 Connection refused", 3))
      << gateway.Trace();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(gateway.CountInTrace("wsout socket: "), 3) << gateway.Trace();
  EXPECT_EQ(gateway.CountInTrace("|CLOSED|"), 0);
}

}  // namespace
}  // namespace vantry::testing
