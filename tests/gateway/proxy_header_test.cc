#include "proxy_header.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "trusted_peers.h"

namespace vantry {
namespace {

using asio::ip::make_address;
using asio::ip::tcp;

// Bytes written as hex pairs, blanks ignored, so the expected headers read
// like the layout they follow.
std::string Hex(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ' ') continue;
    out.push_back(static_cast<char>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
    ++i;
  }
  return out;
}

constexpr std::string_view kSignature = "0D0A0D0A 000D0A51 5549540A";

TEST(ProxyHeaderTest, BuildsEachVersionAndFamilyByteForByte) {
  const struct {
    const char* name;
    int version;
    const char* client;
    std::uint16_t client_port;
    const char* local;
    std::uint16_t local_port;
    std::string expected;
  } cases[] = {
      {"v1 IPv4", 1, "127.0.0.5", 40000, "127.0.0.1", 2525,
       "PROXY TCP4 127.0.0.5 127.0.0.1 40000 2525\r\n"},
      {"v1 IPv6", 1, "2001:db8::5", 40000, "::1", 25, "PROXY TCP6 2001:db8::5 ::1 40000 25\r\n"},
      {"v1 IPv4 seen by a dual-stack listener", 1, "::ffff:192.0.2.7", 1, "::ffff:10.1.2.3", 65535,
       "PROXY TCP4 192.0.2.7 10.1.2.3 1 65535\r\n"},
      {"v2 IPv4", 2, "127.0.0.5", 40000, "127.0.0.1", 2525,
       Hex(std::string(kSignature) + "21 11 000C 7F000005 7F000001 9C40 09DD")},
      {"v2 IPv6", 2, "2001:db8::5", 40000, "::1", 25,
       Hex(std::string(kSignature) +
           "21 21 0024 20010DB8000000000000000000000005 00000000000000000000000000000001"
           " 9C40 0019")},
      {"v2 IPv4 seen by a dual-stack listener", 2, "::ffff:192.0.2.7", 258, "::ffff:10.1.2.3", 25,
       Hex(std::string(kSignature) + "21 11 000C C0000207 0A010203 0102 0019")},
      {"v1 IPv6 client named by a balancer on IPv4", 1, "2001:db8::5", 40000, "127.0.0.1", 25,
       "PROXY TCP6 2001:db8::5 ::ffff:127.0.0.1 40000 25\r\n"},
      {"no other version", 3, "127.0.0.5", 40000, "127.0.0.1", 2525, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BuildProxyHeader(c.version, tcp::endpoint(make_address(c.client), c.client_port),
                               tcp::endpoint(make_address(c.local), c.local_port)),
              c.expected)
        << c.name;
  }
}

std::string Endpoint(const std::optional<tcp::endpoint>& e) {
  if (!e) return "-";
  return e->address().to_string() + " " + std::to_string(e->port());
}

TEST(ProxyHeaderTest, ReadsWhatItBuildsAndAnyPrefixIsIncomplete) {
  using Status = ProxyHeaderParse::Status;
  const tcp::endpoint client(make_address("2001:db8::5"), 40000);
  const tcp::endpoint local(make_address("::1"), 25);
  const tcp::endpoint client4(make_address("192.0.2.7"), 1);
  const tcp::endpoint local4(make_address("10.1.2.3"), 65535);
  for (int version : {1, 2}) {
    for (const auto& [from, to] : {std::pair(client, local), std::pair(client4, local4)}) {
      const std::string header = BuildProxyHeader(version, from, to);
      const std::string with_data = header + "EHLO x\r\n";
      const ProxyHeaderParse whole = ParseProxyHeader(with_data);
      ASSERT_EQ(whole.status, Status::kComplete) << version << " " << whole.problem;
      EXPECT_EQ(whole.length, header.size());
      EXPECT_EQ(Endpoint(whole.source), Endpoint(from));
      EXPECT_EQ(Endpoint(whole.destination), Endpoint(to));
      // A balancer's header may arrive a byte at a time.
      for (std::size_t n = 0; n < header.size(); ++n) {
        EXPECT_EQ(ParseProxyHeader(std::string_view(header).substr(0, n)).status,
                  Status::kIncomplete)
            << version << " prefix " << n;
      }
    }
  }
}

TEST(ProxyHeaderTest, TakesHeadersWithoutAClientAndRefusesBadOnes) {
  const std::string v2 = Hex(kSignature);
  const struct {
    const char* name;
    std::string bytes;
    bool complete;
    std::string source;  // "-": none named
  } cases[] = {
      {"v1 unknown", "PROXY UNKNOWN whatever\r\n", true, "-"},
      {"v2 local (health check)", v2 + Hex("20 00 0000"), true, "-"},
      {"v2 with extra TLV bytes", v2 + Hex("21 11 0010 7F000005 7F000001 9C40 09DD 01020304"), true,
       "127.0.0.5 40000"},
      {"v2 unix family", v2 + Hex("21 31 0000"), true, "-"},
      {"v1 longer than 107 bytes", "PROXY TCP4 " + std::string(100, '1') + "\r\n", false, ""},
      {"v1 107 bytes without an end", "PROXY TCP4 " + std::string(96, '1'), false, ""},
      {"v1 unknown protocol", "PROXY UDP4 1.2.3.4 5.6.7.8 1 2\r\n", false, ""},
      {"v1 IPv6 address as TCP4", "PROXY TCP4 ::1 ::1 1 2\r\n", false, ""},
      {"v1 IPv4 address as TCP6", "PROXY TCP6 1.2.3.4 ::1 1 2\r\n", false, ""},
      {"v1 port out of range", "PROXY TCP4 1.2.3.4 5.6.7.8 65536 2\r\n", false, ""},
      {"v1 missing field", "PROXY TCP4 1.2.3.4 5.6.7.8 1\r\n", false, ""},
      {"v1 double blank", "PROXY TCP4 1.2.3.4  5.6.7.8 1 2\r\n", false, ""},
      {"v1 bare line feed", "PROXY TCP4 1.2.3.4\n", false, ""},
      {"v2 version 3", v2 + Hex("31 11 000C 7F000005 7F000001 9C40 09DD"), false, ""},
      {"v2 command 2", v2 + Hex("22 11 000C 7F000005 7F000001 9C40 09DD"), false, ""},
      {"v2 IPv6 family, IPv4 length", v2 + Hex("21 21 000C 7F000005 7F000001 9C40 09DD"), false,
       ""},
      {"v2 longer than taken", v2 + Hex("21 11 0400"), false, ""},
      {"v2 unknown family", v2 + Hex("21 41 0000"), false, ""},
      {"SMTP instead", "EHLO client.test\r\n", false, ""},
  };
  for (const auto& c : cases) {
    const ProxyHeaderParse parsed = ParseProxyHeader(c.bytes);
    EXPECT_EQ(parsed.status,
              c.complete ? ProxyHeaderParse::Status::kComplete : ProxyHeaderParse::Status::kInvalid)
        << c.name;
    if (c.complete) {
      EXPECT_EQ(Endpoint(parsed.source), c.source) << c.name;
    } else {
      EXPECT_FALSE(parsed.problem.empty()) << c.name;
    }
  }
}

TEST(TrustedPeersTest, MatchesAddressesAndBlocksOfTheirOwnFamily) {
  std::vector<std::string> rejected;
  const TrustedPeers peers = TrustedPeers::Parse(
      " 192.0.2.1, 10.0.0.0/8,2001:db8:1::/48, ::ffff:198.51.100.0/120, bad, 1.2.3.4/33,"
      " 1.2.3.4/x, fe80::1%lo,, 203.0.113.0/0x",
      rejected);
  EXPECT_EQ(rejected, (std::vector<std::string>{"bad", "1.2.3.4/33", "1.2.3.4/x", "fe80::1%lo",
                                                "203.0.113.0/0x"}));
  const struct {
    const char* address;
    bool trusted;
  } cases[] = {
      {"192.0.2.1", true},        {"192.0.2.2", false},      {"10.255.1.2", true},
      {"11.0.0.1", false},        {"::ffff:10.1.1.1", true}, {"2001:db8:1:ffff::9", true},
      {"2001:db8:2::1", false},   {"198.51.100.77", true},   {"198.51.101.1", false},
      {"::ffff:192.0.2.1", true}, {"::a00:1", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(peers.Contains(make_address(c.address)), c.trusted) << c.address;
  }
  EXPECT_TRUE(TrustedPeers::Parse("", rejected).empty());
}

}  // namespace
}  // namespace vantry
