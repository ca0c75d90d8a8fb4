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

TEST(GatewayRelay, SwaksSessionReachesTheMailServerAndIsLogged) {
  AioSmtpd server;
  ASSERT_TRUE(server.ready());
  GatewayFixture gateway(RelayOnlyOptions(server.port()));
  ASSERT_TRUE(gateway.listening()) << gateway.Trace();

  std::string out;
  int code = RunCommand(
      {"swaks", "--server", "127.0.0.1:" + std::to_string(gateway.port()), "--from",
       "alice@src.test", "--to", "bob@dst.test", "--body", "relayed-body-7f3a", "--timeout", "20"},
      {}, &out);
  ASSERT_EQ(code, 0) << out;
  EXPECT_NE(out.find("<-  220 "), std::string::npos);
  EXPECT_NE(out.find("<-  221 "), std::string::npos);
  ASSERT_TRUE(gateway.WaitForTrace("|CLOSED|")) << gateway.Trace();
  for (int i = 0; i < 100 && server.Output().find("relayed-body-7f3a") == std::string::npos; ++i) {
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_NE(server.Output().find("relayed-body-7f3a"), std::string::npos) << server.Output();

  std::string log = gateway.LogText();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
  std::string line = log.substr(0, log.find("\r\n"));
  EXPECT_TRUE(std::regex_match(line, kTenFieldLine)) << line;
  // No reverse-DNS tests here; the host name is whatever /etc/hosts gives 127.0.0.1.
  EXPECT_EQ(line.substr(0, 29), "255|0|OK|127.0.0.1|127.0.0.1|") << line;
  EXPECT_NE(line.find("|||20", 29), std::string::npos) << line;
  EXPECT_EQ(CountOccurrences(log, "\r\n"), 1);  // CLOSED is never logged
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

TEST(GatewayRelay, ClientsVanishingMidTransferLeaveNoBusySlot) {
  SmtpSink sink;
  ASSERT_TRUE(sink.ready());
  GatewayFixture gateway(RelayOnlyOptions(sink.port()));
  ASSERT_TRUE(gateway.listening()) << gateway.Trace();
  const std::string junk = BinaryPayload(2 * 1024 * 1024, 3);
  for (int round = 0; round < 5; ++round) {
    TcpClient client;
    ASSERT_TRUE(client.Connect(gateway.port()));
    client.ReadUntil("\r\n");
    client.SendAll(junk.substr(0, 200000));
    linger hard{1, 0};  // close with a reset, as a crashed client would
    setsockopt(client.fd(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    client.Close();
  }
  // Still alive and every slot usable: a fresh session completes normally.
  TcpClient last;
  ASSERT_TRUE(last.Connect(gateway.port()));
  EXPECT_NE(last.ReadUntil("\r\n").find("220"), std::string::npos);
  ASSERT_TRUE(last.SendAll("QUIT\r\n"));
  EXPECT_NE(last.ReadToEnd(10s).find("221"), std::string::npos);
  EXPECT_TRUE(gateway.process().Running());
}

TEST(GatewayRelay, ATraceNobodyReadsNeverStopsTheGateway) {
  // -debug output into a pipe that is never read, as from a pager left alone:
  // the pipe fills after a few hundred sessions, and the gateway must go on.
  SmtpSink sink;
  ASSERT_TRUE(sink.ready());
  TempDir dir;
  const std::string fifo = dir.File("trace.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int unread = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(unread, 0);
  GatewayFixture::Options options = RelayOnlyOptions(sink.port());
  options.wait_until_listening = false;  // the trace cannot be read back here
  options.trace_file = fifo;
  GatewayFixture gateway(options);
  TcpClient probe;
  for (int i = 0; i < 300 && !probe.Connect(gateway.port()); ++i) std::this_thread::sleep_for(20ms);
  probe.Close();

  for (int session = 0; session < 600; ++session) {
    TcpClient client;
    ASSERT_TRUE(client.Connect(gateway.port())) << "session " << session;
    ASSERT_NE(client.ReadUntil("\r\n", 5s).find("220"), std::string::npos) << "session " << session;
    ASSERT_TRUE(client.SendAll("QUIT\r\n"));
    ASSERT_NE(client.ReadToEnd(5s).find("221"), std::string::npos) << "session " << session;
  }
  EXPECT_EQ(CountOccurrences(gateway.LogText(), "|OK|"), 601);  // with the probe
  EXPECT_TRUE(gateway.process().Running());
  close(unread);
}

}  // namespace
}  // namespace vantry::testing
