// Gateways behind a load balancer: connections from a trusted balancer start
// with a PROXY header, and the client it names is the one screened, logged
// and relayed for.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <fstream>
#include <thread>

#include "child_process.h"
#include "dns_fixture.h"
#include "gateway_fixture.h"
#include "tcp_client.h"

namespace vantry::testing {
namespace {

// Bytes written as hex pairs, blanks ignored.
std::string Hex(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == ' ') continue;
    out.push_back(static_cast<char>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
    ++i;
  }
  return out;
}

const std::string kV2Signature = Hex("0D0A0D0A 000D0A51 5549540A");

// haproxy in TCP mode on a free loopback port, sending a v2 header to the gateway.
class Haproxy {
 public:
  explicit Haproxy(int gateway_port) : port_(FreePort()) {
    std::ofstream(dir_.File("haproxy.cfg"))
        << "defaults\n  mode tcp\n  timeout connect 5s\n  timeout client 30s\n"
        << "  timeout server 30s\n"
        << "frontend smtp\n  bind 127.0.0.1:" << port_ << "\n  default_backend gateways\n"
        << "backend gateways\n  server gateway 127.0.0.1:" << gateway_port
        << " send-proxy-v2 source 127.0.0.1\n";
    process_ = std::make_unique<ChildProcess>(
        ChildProcess::Options{.argv = {"haproxy", "-db", "-f", dir_.File("haproxy.cfg")}});
    ready_ = WaitForTcpPort(port_, 10s);
  }
  int port() const { return port_; }
  bool ready() const { return ready_; }
  std::string Output() const { return process_->Output(); }

 private:
  TempDir dir_;
  int port_;
  bool ready_ = false;
  std::unique_ptr<ChildProcess> process_;
};

TEST(ProxyInE2eTest, BehindHaproxyTheRealClientIsScreenedAndLogged) {
  DnsFixture dns;
  ASSERT_TRUE(dns.ready()) << dns.error();
  SmtpSink sink;
  ASSERT_TRUE(sink.ready());
  GatewayFixture gateway(
      {.smtp_port = sink.port(),
       .settings = {{"DNSServers", dns.DNSServers()}, {"ProxyFrom", std::string("127.0.0.1")}},
       .zones = {dns::kZone1},
       .exceptions = {},
       .manual = {}});
  ASSERT_TRUE(gateway.listening()) << gateway.Trace();
  Haproxy balancer(gateway.port());
  ASSERT_TRUE(balancer.ready()) << balancer.Output();

  TcpClient listed;
  ASSERT_TRUE(listed.Connect(balancer.port(), dns::kListedType2));
  EXPECT_EQ(listed.ReadToEnd(15s), kDefaultRefusal) << gateway.Trace();
  TcpClient good;
  ASSERT_TRUE(good.Connect(balancer.port(), dns::kGoodPeer));
  EXPECT_TRUE(good.ReadUntil("220 ", 15s).starts_with("220 ")) << gateway.Trace();
  good.SendAll("QUIT\r\n");
  good.ReadToEnd(5s);

  // The first line is the readiness probe's, a client of haproxy's from 127.0.0.1.
  const std::string log = gateway.WaitForLog(3);
  EXPECT_NE(log.find("|BL|127.0.0.12|127.0.0.12|l12.vantry.test|Type 2|bl1.vantry.test|"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("|OK|127.0.0.5|127.0.0.5|good.vantry.test|"), std::string::npos) << log;
}

TEST(ProxyInE2eTest, ABalancerConnectionWithoutAGoodHeaderIsDroppedWithoutAVerdict) {
  SmtpSink sink;
  ASSERT_TRUE(sink.ready());
  GatewayFixture::Options options = RelayOnlyOptions(sink.port());
  options.settings["ProxyFrom"] = std::string("10.0.0.0/33, 127.0.0.1");
  GatewayFixture gateway(std::move(options));
  ASSERT_TRUE(gateway.listening()) << gateway.Trace();
  EXPECT_TRUE(
      gateway.WaitForTrace("ProxyFrom: \"10.0.0.0/33\" is not an address or address block"));

  // The one that never sends anything is dropped after the header's time limit.
  TcpClient silent;
  ASSERT_TRUE(silent.Connect(gateway.port()));
  const struct {
    const char* name;
    std::string bytes;
    const char* problem;
  } cases[] = {
      {"truncated, then closed", "PROXY TCP4 192.0.2.1 127.0.0.1 1", "closed before"},
      {"v1 too long", "PROXY TCP4 " + std::string(110, '1') + "\r\n", "longer than 107"},
      {"unknown version", kV2Signature + Hex("31 11 000C C0000201 7F000001 0001 0019"),
       "unknown PROXY protocol version"},
      {"unknown command", kV2Signature + Hex("2F 11 000C C0000201 7F000001 0001 0019"),
       "unknown v2 command"},
      {"family longer than its length",
       kV2Signature + Hex("21 21 000C C0000201 7F000001 0001 0019"),
       "too short for its address family"},
      {"SMTP instead", "EHLO balancer.test\r\n", "no PROXY header"},
  };
  for (const auto& c : cases) {
    TcpClient client;
    ASSERT_TRUE(client.Connect(gateway.port()));
    client.SendAll(c.bytes);
    if (std::string_view(c.name).starts_with("truncated")) shutdown(client.fd(), SHUT_WR);
    EXPECT_EQ(client.ReadToEnd(5s), "") << c.name;
    EXPECT_TRUE(gateway.WaitForTrace(c.problem)) << c.name << "\n" << gateway.Trace();
  }
  EXPECT_EQ(silent.ReadToEnd(10s), "");
  EXPECT_TRUE(gateway.WaitForTrace("no PROXY header in time"));
  EXPECT_EQ(gateway.CountInTrace("Load balancer 127.0.0.1 connection dropped: "),
            static_cast<int>(std::size(cases)) + 1);

  // A header that comes a byte at a time, with the client's first command
  // behind it: the command reaches the mail server once the client is let in.
  TcpClient trickle;
  ASSERT_TRUE(trickle.Connect(gateway.port()));
  const std::string header = "PROXY TCP4 192.0.2.9 127.0.0.1 4000 25\r\n";
  for (char c : header) {
    ASSERT_TRUE(trickle.SendAll(std::string(1, c)));
    std::this_thread::sleep_for(2ms);
  }
  // From any other address a header is the client's own data.
  TcpClient direct;
  ASSERT_TRUE(direct.Connect(gateway.port(), "127.0.0.2"));
  direct.SendAll("PROXY TCP4 192.0.2.99 127.0.0.1 1 25\r\n");
  EXPECT_TRUE(trickle.ReadUntil("220 ", 10s).starts_with("220 ")) << gateway.Trace();
  trickle.SendAll("QUIT\r\n");
  EXPECT_NE(trickle.ReadToEnd(5s).find("221 "), std::string::npos);
  EXPECT_TRUE(direct.ReadUntil("220 ", 10s).starts_with("220 "));
  direct.SendAll("QUIT\r\n");
  direct.ReadToEnd(5s);

  TcpClient early;
  ASSERT_TRUE(early.Connect(gateway.port()));
  early.SendAll(kV2Signature + Hex("21 11 000C C000020A 7F000001 0FA0 0019") + "NOOP\r\n");
  const std::string replies = early.ReadUntil("250 ", 10s);
  EXPECT_NE(replies.find("220 "), std::string::npos) << replies;
  EXPECT_NE(replies.find("250 "), std::string::npos) << replies;
  early.Close();

  const std::string log = gateway.WaitForLog(3);
  EXPECT_EQ(CountOccurrences(log, "\r\n"), 3) << log;
  for (const char* client : {"|OK|192.0.2.9|", "|OK|127.0.0.2|", "|OK|192.0.2.10|"}) {
    EXPECT_NE(log.find(client), std::string::npos) << client << "\n" << log;
  }
  EXPECT_EQ(log.find("192.0.2.99"), std::string::npos) << log;
}

}  // namespace
}  // namespace vantry::testing
