#include "proxy_header.h"

#include <gtest/gtest.h>

#include <string>

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
      {"no other version", 3, "127.0.0.5", 40000, "127.0.0.1", 2525, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BuildProxyHeader(c.version, tcp::endpoint(make_address(c.client), c.client_port),
                               tcp::endpoint(make_address(c.local), c.local_port)),
              c.expected)
        << c.name;
  }
}

}  // namespace
}  // namespace vantry
