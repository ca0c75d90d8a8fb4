#pragma once

#include <asio/awaitable.hpp>
#include <asio/ip/tcp.hpp>
#include <string>
#include <system_error>

namespace vantry {

/// How a relayed connection ended, named after the side that ended it.
enum class RelayEnd { kInboundClosed, kInboundError, kOutboundClosed, kOutboundError };

struct RelayOutcome {
  RelayEnd end;
  std::error_code error;  // empty for a plain close
};

/// Copies bytes both ways until one side closes or fails, then stops the other
/// direction. Each direction awaits its whole write before reading again, so
/// a slow reader slows its writer down and no byte is lost or reordered.
asio::awaitable<RelayOutcome> Relay(asio::ip::tcp::socket& inbound,
                                    asio::ip::tcp::socket& outbound);

/// Ends our side of a socket gracefully: sends FIN after queued data and drops
/// unread input first, so the close is not turned into a reset that would
/// discard bytes still on their way to the peer.
void GracefulClose(asio::ip::tcp::socket& socket);

}  // namespace vantry
