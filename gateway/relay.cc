#include "relay.h"

#include <array>
#include <asio/experimental/as_tuple.hpp>
#include <asio/experimental/awaitable_operators.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>
#include <memory>
#include <variant>

namespace vantry {
namespace {

using asio::experimental::as_tuple;
using namespace asio::experimental::awaitable_operators;

// SMTP dialogue lines fit the first buffer; a bulk transfer that fills it
// grows it, so a large message moves in few system calls while a plain session
// costs no big allocation.
constexpr std::size_t kFirstBufferSize = 8 * 1024;
constexpr std::size_t kLargestBufferSize = 256 * 1024;

asio::awaitable<RelayOutcome> Transfer(asio::ip::tcp::socket& from, asio::ip::tcp::socket& to,
                                       bool from_is_inbound) {
  std::size_t size = kFirstBufferSize;
  auto buffer = std::make_unique_for_overwrite<char[]>(size);
  const RelayEnd from_closed = from_is_inbound ? RelayEnd::kInboundClosed : RelayEnd::kOutboundClosed;
  const RelayEnd from_error = from_is_inbound ? RelayEnd::kInboundError : RelayEnd::kOutboundError;
  const RelayEnd to_error = from_is_inbound ? RelayEnd::kOutboundError : RelayEnd::kInboundError;
  for (;;) {
    auto [read_error, n] = co_await from.async_read_some(asio::buffer(buffer.get(), size),
                                                         as_tuple(asio::use_awaitable));
    if (n > 0) {
      auto [write_error, written] = co_await asio::async_write(
          to, asio::buffer(buffer.get(), n), as_tuple(asio::use_awaitable));
      if (write_error) co_return RelayOutcome{to_error, write_error};
      if (n == size && size < kLargestBufferSize) {
        size *= 4;
        buffer = std::make_unique_for_overwrite<char[]>(size);
      }
    }
    if (read_error == asio::error::eof) co_return RelayOutcome{from_closed, {}};
    if (read_error) co_return RelayOutcome{from_error, read_error};
  }
}

}  // namespace

asio::awaitable<RelayOutcome> Relay(asio::ip::tcp::socket& inbound,
                                    asio::ip::tcp::socket& outbound) {
  auto first = co_await (Transfer(inbound, outbound, true) || Transfer(outbound, inbound, false));
  co_return std::visit([](const RelayOutcome& outcome) { return outcome; }, first);
}

void GracefulClose(asio::ip::tcp::socket& socket) {
  std::error_code ignored;
  if (!socket.is_open()) return;
  std::array<char, 4096> sink;
  for (int rounds = 0; rounds < 64; ++rounds) {
    std::size_t waiting = socket.available(ignored);
    if (ignored || waiting == 0) break;
    socket.non_blocking(true, ignored);
    socket.read_some(asio::buffer(sink), ignored);
    if (ignored) break;
  }
  // With no unread input left, close sends FIN after the queued data.
  socket.close(ignored);
}

}  // namespace vantry
