#include "metrics/metrics_server.h"

#include <array>
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/ip/v6_only.hpp>
#include <asio/read_until.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>
#include <charconv>

namespace vantry {
namespace {

using asio::experimental::as_tuple;
using asio::ip::tcp;

constexpr auto kAcceptBackoff = std::chrono::milliseconds(100);

std::string Response(std::string_view status, std::string_view extra_headers,
                     std::string_view content_type, std::string_view body) {
  std::string out = "HTTP/1.1 ";
  out.append(status).append("\r\nContent-Type: ").append(content_type);
  out.append("\r\nContent-Length: ").append(std::to_string(body.size()));
  out.append("\r\nConnection: close\r\n").append(extra_headers).append("\r\n").append(body);
  return out;
}

std::string PlainResponse(std::string_view status, std::string_view extra_headers = {}) {
  return Response(status, extra_headers, "text/plain; charset=utf-8", std::string(status) + "\n");
}

}  // namespace

std::optional<tcp::endpoint> ParseListenAddress(std::string_view text) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  std::string_view host = text.substr(0, colon);
  const std::string_view port_text = text.substr(colon + 1);
  unsigned port = 0;
  const auto [end, ec] =
      std::from_chars(port_text.data(), port_text.data() + port_text.size(), port);
  if (ec != std::errc() || end != port_text.data() + port_text.size() || port < 1 || port > 65535) {
    return std::nullopt;
  }
  const bool bracketed = host.size() >= 2 && host.front() == '[' && host.back() == ']';
  if (bracketed) host = host.substr(1, host.size() - 2);
  asio::error_code parse_error;
  asio::ip::address address;
  if (bracketed) {
    address = asio::ip::make_address_v6(std::string(host), parse_error);
  } else {
    address = asio::ip::make_address_v4(std::string(host), parse_error);
  }
  if (parse_error) return std::nullopt;
  return tcp::endpoint(address, static_cast<unsigned short>(port));
}

std::string MetricsResponse(std::string_view request_head,
                            const std::function<std::string()>& page) {
  const std::string_view line = request_head.substr(0, request_head.find("\r\n"));
  const std::size_t first = line.find(' ');
  const std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
  if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos ||
      line.substr(second + 1).rfind("HTTP/1.", 0) != 0) {
    return PlainResponse("400 Bad Request");
  }
  const std::string_view method = line.substr(0, first);
  std::string_view target = line.substr(first + 1, second - first - 1);
  target = target.substr(0, target.find('?'));
  if (method != "GET") return PlainResponse("405 Method Not Allowed", "Allow: GET\r\n");
  if (target != "/metrics") return PlainResponse("404 Not Found");
  return Response("200 OK", {}, "text/plain; version=0.0.4; charset=utf-8", page());
}

MetricsServer::MetricsServer(asio::io_context& io, std::function<std::string()> page,
                             std::chrono::milliseconds timeout)
    : io_(io), page_(std::move(page)), timeout_(timeout), acceptor_(io) {}

MetricsServer::~MetricsServer() = default;

std::error_code MetricsServer::Listen(const tcp::endpoint& endpoint) {
  std::error_code ec;
  acceptor_.open(endpoint.protocol(), ec);
  if (!ec) acceptor_.set_option(tcp::acceptor::reuse_address(true), ec);
  if (!ec && endpoint.address().is_v6()) acceptor_.set_option(asio::ip::v6_only(true), ec);
  if (!ec) acceptor_.bind(endpoint, ec);
  if (!ec) acceptor_.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) {
    std::error_code ignored;
    acceptor_.close(ignored);
    return ec;
  }
  asio::co_spawn(io_, AcceptLoop(), asio::detached);
  return {};
}

tcp::endpoint MetricsServer::local_endpoint() const {
  std::error_code ec;
  return acceptor_.local_endpoint(ec);
}

asio::awaitable<void> MetricsServer::AcceptLoop() {
  asio::steady_timer backoff(io_);
  for (;;) {
    // Into a socket of our own: GCC 12 mishandles a socket that comes back
    // inside the awaited tuple.
    tcp::socket socket(io_);
    auto [ec] = co_await acceptor_.async_accept(socket, as_tuple(asio::use_awaitable));
    if (ec == asio::error::operation_aborted) co_return;
    if (ec) {
      // Out of descriptors, say: the relay needs them more; try again soon.
      backoff.expires_after(kAcceptBackoff);
      co_await backoff.async_wait(as_tuple(asio::use_awaitable));
      continue;
    }
    if (active_ >= kMaxScrapes) continue;  // the socket closes as it goes out of scope
    asio::co_spawn(io_, Serve(std::move(socket)), asio::detached);
  }
}

asio::awaitable<void> MetricsServer::Serve(tcp::socket socket) {
  ++active_;
  struct Leave {
    std::size_t& active;
    ~Leave() { --active; }
  } leave{active_};
  // One deadline for the whole exchange: a scraper that sends its request a
  // byte at a time, or never reads the answer, is cut off all the same.
  asio::steady_timer deadline(io_, timeout_);
  deadline.async_wait([&socket](const std::error_code& ec) {
    std::error_code ignored;
    if (!ec) socket.close(ignored);
  });
  std::string head;
  auto [read_error, size] =
      co_await asio::async_read_until(socket, asio::dynamic_buffer(head, kMaxRequestHead),
                                      "\r\n\r\n", as_tuple(asio::use_awaitable));
  std::string response;
  if (!read_error) {
    response = MetricsResponse(std::string_view(head).substr(0, size), page_);
  } else if (read_error == asio::error::not_found) {
    response = PlainResponse("431 Request Header Fields Too Large");
  } else {
    co_return;
  }
  auto [write_error, written] =
      co_await asio::async_write(socket, asio::buffer(response), as_tuple(asio::use_awaitable));
  if (write_error) co_return;
  // Closing with unread bytes would reset the connection and could take the
  // response with it: the scraper gets our end first, then its own.
  std::error_code ignored;
  socket.shutdown(tcp::socket::shutdown_send, ignored);
  std::array<char, 1024> sink;
  for (;;) {
    auto [ec, n] =
        co_await socket.async_read_some(asio::buffer(sink), as_tuple(asio::use_awaitable));
    if (ec) break;
  }
}

}  // namespace vantry
