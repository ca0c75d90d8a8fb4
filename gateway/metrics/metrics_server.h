#pragma once

#include <asio/awaitable.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace vantry {

/// "127.0.0.1:9466" or "[::1]:9466": a literal address (IPv6 in brackets) and
/// a port from 1 to 65535; nullopt for anything else, host names included.
std::optional<asio::ip::tcp::endpoint> ParseListenAddress(std::string_view text);

/// The whole HTTP/1.1 response to a request head (request line and header
/// lines, up to the blank line): the page from `page` for GET /metrics, 404
/// for another path, 405 for another method, 400 for what is no request.
std::string MetricsResponse(std::string_view request_head,
                            const std::function<std::string()>& page);

/// A small HTTP server for Prometheus scrapes on the gateway's own loop. It is
/// bounded so that a scraper, slow or hostile, costs the relay next to
/// nothing: a few scrapes at a time (more are closed at once), a deadline for
/// each, and a cap on the request head. One response per connection.
class MetricsServer {
 public:
  static constexpr std::size_t kMaxScrapes = 4;
  static constexpr std::chrono::seconds kScrapeTimeout{5};
  static constexpr std::size_t kMaxRequestHead = 8192;

  MetricsServer(asio::io_context& io, std::function<std::string()> page,
                std::chrono::milliseconds timeout = kScrapeTimeout);
  ~MetricsServer();
  MetricsServer(const MetricsServer&) = delete;
  MetricsServer& operator=(const MetricsServer&) = delete;

  /// Binds, listens and starts taking scrapes; the reason when it cannot.
  std::error_code Listen(const asio::ip::tcp::endpoint& endpoint);
  asio::ip::tcp::endpoint local_endpoint() const;

 private:
  asio::awaitable<void> AcceptLoop();
  asio::awaitable<void> Serve(asio::ip::tcp::socket socket);

  asio::io_context& io_;
  std::function<std::string()> page_;
  const std::chrono::milliseconds timeout_;
  asio::ip::tcp::acceptor acceptor_;
  std::size_t active_ = 0;
};

}  // namespace vantry
