#include "proxy_header_reader.h"

#include <sys/socket.h>

#include <asio/experimental/as_tuple.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include <cerrno>
#include <memory>

#include "proxy_header.h"

namespace vantry {
namespace {

using asio::experimental::as_tuple;
using Status = ProxyHeaderParse::Status;

ProxiedConnection Dropped(std::string_view problem) {
  ProxiedConnection dropped;
  dropped.problem = problem;
  return dropped;
}

}  // namespace

asio::awaitable<ProxiedConnection> ReadProxyHeader(asio::io_context& io, int fd,
                                                   std::chrono::milliseconds limit) {
  // The socket belongs to the slot: it is watched here only while the header
  // comes in, and released, not closed, at the end.
  auto watched = std::make_shared<asio::posix::stream_descriptor>(io, fd);
  struct Release {
    asio::posix::stream_descriptor& descriptor;
    ~Release() { descriptor.release(); }
  } release{*watched};
  auto expired = std::make_shared<bool>(false);
  asio::steady_timer deadline(io, limit);
  // Shared, because the deadline's handler may still be queued when we are done.
  deadline.async_wait([watched, expired](const std::error_code& ec) {
    if (ec) return;
    *expired = true;
    std::error_code ignored;
    watched->cancel(ignored);
  });
  std::string received;
  char chunk[kMaxProxyHeaderV2];
  for (;;) {
    const ssize_t got = recv(fd, chunk, sizeof chunk, 0);
    if (got > 0) {
      received.append(chunk, static_cast<std::size_t>(got));
      const ProxyHeaderParse parsed = ParseProxyHeader(received);
      if (parsed.status == Status::kInvalid) co_return Dropped(parsed.problem);
      if (parsed.status == Status::kComplete) {
        ProxiedConnection taken;
        taken.client = parsed.source;
        taken.early_bytes = received.substr(parsed.length);
        co_return taken;
      }
      continue;
    }
    if (got == 0) co_return Dropped("closed before its PROXY header");
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      co_return Dropped("failed before its PROXY header");
    }
    if (*expired) co_return Dropped("no PROXY header in time");
    co_await watched->async_wait(asio::posix::stream_descriptor::wait_read,
                                 as_tuple(asio::use_awaitable));
    if (*expired) co_return Dropped("no PROXY header in time");
  }
}

}  // namespace vantry
