// The gateway in front of a real Postfix that reads PROXY headers: Postfix
// must judge the client that connected, not the gateway.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gateway_fixture.h"
#include "postfix_fixture.h"
#include "tcp_client.h"

namespace vantry::testing {
namespace {

// A multi-line reply up to its last line, which starts with code and a blank.
std::string Reply(TcpClient& client, std::string_view code) {
  std::string reply = client.ReadUntil(std::string("\r\n") + std::string(code) + " ", 10s);
  if (!reply.ends_with("\r\n")) reply += client.ReadUntil("\r\n", 10s);
  return reply;
}

// The relay attempt of one session from `from`; Postfix must refuse it.
void TryToRelay(int port, std::string_view from, const GatewayFixture& gateway,
                const PostfixFixture& postfix) {
  SCOPED_TRACE(std::string("from ") + std::string(from));
  TcpClient client;
  ASSERT_TRUE(client.Connect(port, from));
  // The greeting comes only after Postfix has read a header it accepts.
  ASSERT_TRUE(client.ReadUntil("\r\n", 10s).starts_with("220 "))
      << gateway.Trace() << postfix.LogText();
  ASSERT_TRUE(client.SendAll("EHLO client.test\r\n"));
  EXPECT_NE(Reply(client, "250").find("250 "), std::string::npos);
  ASSERT_TRUE(client.SendAll("MAIL FROM:<a@client.test>\r\n"));
  EXPECT_NE(client.ReadUntil("\r\n", 10s).find("250 "), std::string::npos);
  ASSERT_TRUE(client.SendAll("RCPT TO:<x@example.org>\r\n"));
  EXPECT_EQ(client.ReadUntil("\r\n", 10s), "554 5.7.1 <x@example.org>: Relay access denied\r\n");
  ASSERT_TRUE(client.SendAll("QUIT\r\n"));
  EXPECT_TRUE(client.ReadUntil("\r\n", 10s).starts_with("221 "));
}

// 127.0.0.5 and ::1 are outside the instance's mynetworks, 127.0.0.1 (the
// gateway) is inside: relayed without a header, the relay attempt would be taken.
TEST(ProxyOutE2eTest, PostfixRefusesToRelayForTheRealClientWithEitherHeader) {
  PostfixFixture postfix;
  if (!postfix.unavailable().empty()) GTEST_SKIP() << postfix.unavailable();
  for (long long version : {1LL, 2LL}) {
    SCOPED_TRACE("ProxyOut " + std::to_string(version));
    GatewayFixture::Options options = RelayOnlyOptions(postfix.port());
    options.settings["ProxyOut"] = version;
    options.hosts = "127.0.0.5 client.test\n";
    GatewayFixture gateway(std::move(options));
    ASSERT_TRUE(gateway.listening()) << gateway.Trace();
    // Without IPv6 loopback only the IPv4 client can be tried.
    const std::vector<std::string_view> clients =
        HasIpv6Loopback() ? std::vector<std::string_view>{"127.0.0.5", "::1"}
                          : std::vector<std::string_view>{"127.0.0.5"};
    for (std::string_view from : clients) TryToRelay(gateway.port(), from, gateway, postfix);
    for (std::string_view from : clients) {
      const std::string client = "unknown[" + std::string(from) + "]";
      EXPECT_TRUE(postfix.WaitForLogCount("NOQUEUE: reject: RCPT from " + client + ": 554 5.7.1",
                                          static_cast<int>(version)))
          << postfix.LogText();
    }
  }
}

}  // namespace
}  // namespace vantry::testing
