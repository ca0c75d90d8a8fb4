#include "proxy_header.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "peer_address.h"

namespace vantry {
namespace {

using asio::ip::address;
using asio::ip::tcp;

constexpr std::array<unsigned char, 12> kSignature = {0x0D, 0x0A, 0x0D, 0x0A, 0x00, 0x0D,
                                                      0x0A, 0x51, 0x55, 0x49, 0x54, 0x0A};
constexpr unsigned char kVersion2Proxy = 0x21;
constexpr unsigned char kTcpOverIPv4 = 0x11;
constexpr unsigned char kTcpOverIPv6 = 0x21;

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
  // A load balancer may name a client of the other family than our end of its
  // connection; a header must not name two families.
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

namespace vantry {
namespace {

using Status = ProxyHeaderParse::Status;
using asio::ip::tcp;

constexpr std::string_view kV1Prefix = "PROXY ";
constexpr unsigned char kCommandLocal = 0x0;
constexpr unsigned char kCommandProxy = 0x1;
constexpr unsigned char kFamilyInet = 0x1;
constexpr unsigned char kFamilyInet6 = 0x2;
constexpr unsigned char kProtocolStream = 0x1;
constexpr std::size_t kV2FixedPart = 16;

ProxyHeaderParse Invalid(std::string_view problem) {
  ProxyHeaderParse parse;
  parse.status = Status::kInvalid;
  parse.problem = problem;
  return parse;
}

ProxyHeaderParse Complete(std::size_t length, std::optional<tcp::endpoint> source = std::nullopt,
                          std::optional<tcp::endpoint> destination = std::nullopt) {
  ProxyHeaderParse parse;
  parse.status = Status::kComplete;
  parse.length = length;
  parse.source = std::move(source);
  parse.destination = std::move(destination);
  return parse;
}

// A port in plain decimal: no sign, no leading zero, at most 65535.
std::optional<std::uint16_t> V1Port(std::string_view text) {
  if (text.empty() || text.size() > 5 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

// An address of exactly the family the line names, in its usual text form.
std::optional<address> V1Address(std::string_view text, bool v4) {
  asio::error_code ec;
  const std::string owned(text);
  if (v4) {
    const auto parsed = asio::ip::make_address_v4(owned, ec);
    if (ec) return std::nullopt;
    return address(parsed);
  }
  const auto parsed = asio::ip::make_address_v6(owned, ec);
  if (ec || parsed.scope_id() != 0) return std::nullopt;
  return address(parsed);
}

ProxyHeaderParse ParseV1(std::string_view bytes) {
  const std::size_t end = bytes.find("\r\n");
  if (end == std::string_view::npos) {
    if (bytes.size() >= kMaxProxyHeaderV1) return Invalid("v1 header longer than 107 bytes");
    // A stray line feed or NUL can never become part of a valid line.
    if (bytes.find_first_of(std::string_view("\n\0", 2)) != std::string_view::npos) {
      return Invalid("malformed v1 header");
    }
    return {};
  }
  const std::size_t length = end + 2;
  if (length > kMaxProxyHeaderV1) return Invalid("v1 header longer than 107 bytes");
  std::string_view rest = bytes.substr(kV1Prefix.size(), end - kV1Prefix.size());
  std::string_view words[5];
  std::size_t count = 0;
  while (!rest.empty() && count < 5) {
    const std::size_t blank = rest.find(' ');
    words[count++] = rest.substr(0, blank);
    rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
  }
  // The sender knows nothing of the client: the rest of the line is to be ignored.
  if (count >= 1 && words[0] == "UNKNOWN") return Complete(length);
  if (count != 5 || !rest.empty() || (words[0] != "TCP4" && words[0] != "TCP6")) {
    return Invalid(count >= 1 && words[0] != "TCP4" && words[0] != "TCP6" ? "unknown v1 protocol"
                                                                          : "malformed v1 header");
  }
  const bool v4 = words[0] == "TCP4";
  const auto source = V1Address(words[1], v4);
  const auto destination = V1Address(words[2], v4);
  const auto source_port = V1Port(words[3]);
  const auto destination_port = V1Port(words[4]);
  if (!source || !destination) return Invalid("v1 address does not match its protocol");
  if (!source_port || !destination_port) return Invalid("malformed v1 port");
  return Complete(length, tcp::endpoint(*source, *source_port),
                  tcp::endpoint(*destination, *destination_port));
}

std::uint16_t BigEndian16(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) << 8 |
                                    static_cast<unsigned char>(bytes[at + 1]));
}

template <std::size_t N>
std::array<unsigned char, N> Bytes(std::string_view bytes, std::size_t at) {
  std::array<unsigned char, N> out{};
  for (std::size_t i = 0; i < N; ++i) out[i] = static_cast<unsigned char>(bytes[at + i]);
  return out;
}

ProxyHeaderParse ParseV2(std::string_view bytes) {
  if (bytes.size() < kV2FixedPart) return {};
  const auto version_command = static_cast<unsigned char>(bytes[12]);
  const auto family_protocol = static_cast<unsigned char>(bytes[13]);
  if ((version_command >> 4) != 2) return Invalid("unknown PROXY protocol version");
  const unsigned char command = version_command & 0x0F;
  if (command != kCommandLocal && command != kCommandProxy) return Invalid("unknown v2 command");
  const std::size_t length = kV2FixedPart + BigEndian16(bytes, 14);
  if (length > kMaxProxyHeaderV2) return Invalid("v2 header too long");
  if (bytes.size() < length) return {};
  // A health check of the balancer itself, or a client the gateway could not
  // address: the connection's own ends stand.
  const unsigned char family = family_protocol >> 4;
  if (command == kCommandLocal || (family != kFamilyInet && family != kFamilyInet6) ||
      (family_protocol & 0x0F) != kProtocolStream) {
    if (family > 3 || (family_protocol & 0x0F) > 2) return Invalid("unknown v2 address family");
    return Complete(length);
  }
  const std::size_t address_size = family == kFamilyInet ? 4 : 16;
  if (length - kV2FixedPart < 2 * address_size + 4) {
    return Invalid("v2 length too short for its address family");
  }
  const std::size_t at = kV2FixedPart;
  address source;
  address destination;
  if (family == kFamilyInet) {
    source = asio::ip::address_v4(Bytes<4>(bytes, at));
    destination = asio::ip::address_v4(Bytes<4>(bytes, at + 4));
  } else {
    source = asio::ip::address_v6(Bytes<16>(bytes, at));
    destination = asio::ip::address_v6(Bytes<16>(bytes, at + 16));
  }
  const std::size_t ports = at + 2 * address_size;
  return Complete(length, tcp::endpoint(source, BigEndian16(bytes, ports)),
                  tcp::endpoint(destination, BigEndian16(bytes, ports + 2)));
}

}  // namespace

ProxyHeaderParse ParseProxyHeader(std::string_view bytes) {
  const std::string_view signature(reinterpret_cast<const char*>(kSignature.data()),
                                   kSignature.size());
  const std::size_t v1_seen = std::min(bytes.size(), kV1Prefix.size());
  if (bytes.substr(0, v1_seen) == kV1Prefix.substr(0, v1_seen)) {
    return bytes.size() < kV1Prefix.size() ? ProxyHeaderParse{} : ParseV1(bytes);
  }
  const std::size_t v2_seen = std::min(bytes.size(), signature.size());
  if (bytes.substr(0, v2_seen) == signature.substr(0, v2_seen)) {
    return bytes.size() < signature.size() ? ProxyHeaderParse{} : ParseV2(bytes);
  }
  return Invalid("no PROXY header");
}

}  // namespace vantry
