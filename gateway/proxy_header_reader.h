#pragma once

#include <asio/awaitable.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace vantry {

/// What a load balancer's connection began with.
struct ProxiedConnection {
  /// Empty when a header was read; else why the connection must be dropped.
  std::string_view problem;
  /// The client the header names; empty: the connection speaks for itself.
  std::optional<asio::ip::tcp::endpoint> client;
  /// Bytes the client sent after the header, to be relayed first.
  std::string early_bytes;
};

/// Takes the PROXY header off the non-blocking socket `fd`, waiting on the
/// io_context for it to arrive within `limit`, however it is split. Never
/// takes more than the header and what arrived with it.
asio::awaitable<ProxiedConnection> ReadProxyHeader(asio::io_context& io, int fd,
                                                   std::chrono::milliseconds limit);

}  // namespace vantry
