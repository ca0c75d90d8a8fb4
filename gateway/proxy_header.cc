#include "proxy_header.h"

#include <array>
#include <cstdint>

namespace vantry {
namespace {

using asio::ip::address;
using asio::ip::tcp;

constexpr std::array<unsigned char, 12> kSignature = {0x0D, 0x0A, 0x0D, 0x0A, 0x00, 0x0D,
                                                      0x0A, 0x51, 0x55, 0x49, 0x54, 0x0A};
constexpr unsigned char kVersion2Proxy = 0x21;
constexpr unsigned char kTcpOverIPv4 = 0x11;
constexpr unsigned char kTcpOverIPv6 = 0x21;

// A listener taking both families reports IPv4 clients as ::ffff:a.b.c.d; the
// mail server is told the plain IPv4 address it would have seen directly.
address Unmapped(const address& a) {
  if (a.is_v6() && a.to_v6().is_v4_mapped()) {
    return asio::ip::make_address_v4(asio::ip::v4_mapped, a.to_v6());
  }
  return a;
}

template <std::size_t N>
void AppendBytes(std::string& out, const std::array<unsigned char, N>& bytes) {
  out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

void AppendPort(std::string& out, std::uint16_t port) {
  out.push_back(static_cast<char>(port >> 8));
  out.push_back(static_cast<char>(port & 0xFF));
}

}  // namespace

std::string BuildProxyHeader(int version, const tcp::endpoint& client, const tcp::endpoint& local) {
  address source = Unmapped(client.address());
  address destination = Unmapped(local.address());
  // Never the case on one connection, but a header must not name two families.
  if (source.is_v4() != destination.is_v4()) {
    if (source.is_v4()) source = asio::ip::make_address_v6(asio::ip::v4_mapped, source.to_v4());
    if (destination.is_v4()) {
      destination = asio::ip::make_address_v6(asio::ip::v4_mapped, destination.to_v4());
    }
  }
  const bool v4 = source.is_v4();
  if (version == 1) {
    return std::string("PROXY ") + (v4 ? "TCP4 " : "TCP6 ") + source.to_string() + " " +
           destination.to_string() + " " + std::to_string(client.port()) + " " +
           std::to_string(local.port()) + "\r\n";
  }
  if (version != 2) return {};
  std::string out;
  AppendBytes(out, kSignature);
  out.push_back(static_cast<char>(kVersion2Proxy));
  out.push_back(static_cast<char>(v4 ? kTcpOverIPv4 : kTcpOverIPv6));
  const std::uint16_t length = v4 ? 2 * 4 + 2 * 2 : 2 * 16 + 2 * 2;
  AppendPort(out, length);
  if (v4) {
    AppendBytes(out, source.to_v4().to_bytes());
    AppendBytes(out, destination.to_v4().to_bytes());
  } else {
    AppendBytes(out, source.to_v6().to_bytes());
    AppendBytes(out, destination.to_v6().to_bytes());
  }
  AppendPort(out, client.port());
  AppendPort(out, local.port());
  return out;
}

}  // namespace vantry
