#pragma once

#include <asio/ip/tcp.hpp>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vantry {

/// The header that tells a mail server behind the gateway which client it is
/// really talking to: `version` 1 is the text form ("PROXY TCP4 ...\r\n"), 2
/// the binary one. `client` is the client's end of its connection to the
/// gateway, `local` the gateway's end of it. An IPv4 address mapped into IPv6
/// counts as IPv4. Empty for any other version.
std::string BuildProxyHeader(int version, const asio::ip::tcp::endpoint& client,
                             const asio::ip::tcp::endpoint& local);

/// The longest header taken from a load balancer: a v1 line may have 107
/// bytes; a v2 header carries its length, and one longer than this (TLVs the
/// gateway has no use for) is refused rather than buffered.
inline constexpr std::size_t kMaxProxyHeaderV1 = 107;
inline constexpr std::size_t kMaxProxyHeaderV2 = 1024;

/// What the first bytes of a load balancer's connection say.
struct ProxyHeaderParse {
  enum class Status { kIncomplete, kInvalid, kComplete };
  Status status = Status::kIncomplete;
  /// Bytes of the header, when complete; what follows is the client's.
  std::size_t length = 0;
  /// The client and the address it connected to; empty for a header that
  /// names none (v1 UNKNOWN, v2 LOCAL, or a family other than TCP over IPv4 or
  /// IPv6), which means the connection speaks for itself.
  std::optional<asio::ip::tcp::endpoint> source;
  std::optional<asio::ip::tcp::endpoint> destination;
  /// Why an invalid header is refused.
  std::string_view problem;
};

/// Reads a PROXY protocol v1 or v2 header at the start of `bytes`. Incomplete
/// while every byte so far could still begin a valid header.
ProxyHeaderParse ParseProxyHeader(std::string_view bytes);

}  // namespace vantry
