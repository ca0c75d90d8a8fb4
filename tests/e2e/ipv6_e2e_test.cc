// IPv6 clients through the real gateway. Each test process runs in a network
// namespace of its own, whose loopback carries documentation-range addresses
// (2001:db8::/32) for the clients; name servers, mail server and gateway all
// run inside it too, so nothing reaches the machine's own interfaces.
#include <gtest/gtest.h>
#include <sched.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "dns_fixture.h"
#include "gateway_fixture.h"
#include "tcp_client.h"

namespace vantry::testing {
namespace {

std::string namespace_problem;  // empty once the namespace is ready

const char* const kClientAddresses[] = {"2001:db8::5", "2001:db8::7", "2001:db8::8",
                                        "2001:db8::12"};

void EnterOwnNetwork() {
  if (unshare(CLONE_NEWNET) != 0) {
    namespace_problem =
        "cannot make a network namespace here (unshare: " + std::string(std::strerror(errno)) +
        "); needs root or CAP_SYS_ADMIN";
    return;
  }
  std::string commands = "ip link set lo up";
  for (const char* address : kClientAddresses) {
    commands += std::string(" && ip -6 addr add ") + address + "/128 dev lo nodad";
  }
  if (std::system(commands.c_str()) != 0) namespace_problem = "could not set up: " + commands;
}

class Ipv6E2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!namespace_problem.empty()) GTEST_SKIP() << namespace_problem;
  }
};

TEST_F(Ipv6E2eTest, ClientsAreScreenedRelayedAndLoggedByTheirCanonicalAddress) {
  DnsFixture dns;
  ASSERT_TRUE(dns.ready()) << dns.error();
  SmtpSink sink;
  ASSERT_TRUE(sink.ready());
  // Without the reverse-DNS tests, so that clients with no PTR reach the lists.
  GatewayFixture gateway(
      {.smtp_port = sink.port(),
       .settings = {{"DNSServers", dns.DNSServers()}, {"BlockNoHost", 0LL}, {"BlockAltIP", 0LL}},
       .zones = {dns::kZone6, dns::kZone1},
       .exceptions = {"2001:DB8:0:0::8"},
       .manual = {"2001:0DB8::7", "2001:db8:0:0:0:0:0:8"}});
  ASSERT_TRUE(gateway.listening()) << gateway.Trace();
  const struct {
    const char* from;
    bool passes;
    std::string logged;
  } cases[] = {
      {"2001:db8::5", true, "|OK|2001:db8::5|2001:db8::5|good6.vantry.test|||"},
      {"2001:db8::12", false,
       "|BL|2001:db8::12|2001:db8::12|l6-12.vantry.test|Type 2|bl6.vantry.test|"},
      {"2001:db8::7", false, "|BL|2001:db8::7|2001:db8::7||Manual Block|"},
      {"2001:db8::8", true, "|OK|2001:db8::8|2001:db8::8||Exception|Manual Exception|"},
      {"::1", true, "|OK|::1|::1|six.vantry.test|||"},
      {"127.0.0.5", true, "|OK|127.0.0.5|127.0.0.5|good.vantry.test|||"},
  };
  for (const auto& c : cases) {
    const std::string got = VisitGateway(gateway.port(), c.from);
    EXPECT_TRUE(got.starts_with(c.passes ? "220 " : "550 ")) << c.from << ": " << got;
  }
  const std::string log = gateway.WaitForLog(static_cast<int>(std::size(cases)));
  for (const auto& c : cases) EXPECT_NE(log.find(c.logged), std::string::npos) << c.logged << log;
  EXPECT_EQ(log.find("::ffff:"), std::string::npos) << log;
}

TEST_F(Ipv6E2eTest, ListenAddressTakesOneAddressOrStopsTheStart) {
  SmtpSink sink;
  ASSERT_TRUE(sink.ready());
  GatewayFixture::Options options = RelayOnlyOptions(sink.port());
  options.settings["ListenAddress"] = std::string("::1");
  options.wait_until_listening = false;
  GatewayFixture only_v6(options);
  ASSERT_TRUE(WaitForTcpPort(only_v6.port(), 10s, "::1")) << only_v6.Trace();
  EXPECT_TRUE(VisitGateway(only_v6.port(), "::1").starts_with("220 "));
  EXPECT_EQ(VisitGateway(only_v6.port(), "127.0.0.1"), "[no connection]");
  EXPECT_TRUE(only_v6.WaitForTrace("sockets listening to port " + std::to_string(only_v6.port()) +
                                   " for ::1"));

  const struct {
    const char* address;
    std::string trace;
  } refused[] = {
      {"mail.example",
       "Cannot listen on \"mail.example\": ListenAddress must be an IPv4 or IPv6 "
       "address of this machine, or empty for all"},
      {"2001:db8::99", " of 2001:db8::99: Cannot assign requested address"},
  };
  for (const auto& c : refused) {
    options.settings["ListenAddress"] = std::string(c.address);
    GatewayFixture gateway(options);
    EXPECT_EQ(gateway.process().Wait(10s), 1) << c.address;
    EXPECT_NE(gateway.Trace().find(c.trace), std::string::npos) << gateway.Trace();
  }
}

}  // namespace
}  // namespace vantry::testing

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  vantry::testing::EnterOwnNetwork();
  return RUN_ALL_TESTS();
}
