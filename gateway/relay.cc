#include "relay.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <asio/async_result.hpp>
#include <asio/use_awaitable.hpp>
#include <cerrno>
#include <cstdint>
#include <optional>

namespace vantry {
namespace {

// SMTP dialogue lines fit the first buffer; a bulk transfer that fills it
// grows it, so a large message moves in few system calls while a plain session
// costs no big allocation.
constexpr std::size_t kFirstBufferSize = std::size_t{8} * 1024;
constexpr std::size_t kLargestBufferSize = std::size_t{256} * 1024;
constexpr int kBatch = 128;

constexpr RelayEnd ClosedEnd(int side) {
  return side == 0 ? RelayEnd::kInboundClosed : RelayEnd::kOutboundClosed;
}
constexpr RelayEnd ErrorEnd(int side) {
  return side == 0 ? RelayEnd::kInboundError : RelayEnd::kOutboundError;
}

}  // namespace

struct RelayPump::Pair {
  // Side 0 is the client, side 1 the mail server. A side's buffer holds what
  // was read from it and not yet written to the other side.
  struct Side {
    int fd = -1;
    std::unique_ptr<char[]> buffer;
    std::size_t size = kFirstBufferSize;
    std::size_t begin = 0;
    std::size_t end = 0;
    bool grow = false;
    // The peer's close or a failure has been signalled: its edge may have come
    // and gone while reading waited, so reading goes on until it is met.
    bool ending = false;
    bool pending() const { return begin < end; }
  };
  std::array<Side, 2> sides;
  std::unique_ptr<RelayWaiter> waiter;
  // The mail server's addresses still to try, and the caller's owner of the
  // outbound connection.
  std::shared_ptr<const MailServerAddresses> endpoints;
  std::size_t next_endpoint = 0;
  UniqueFd* outbound = nullptr;
  // While the connection is being made, the client's bytes wait for it.
  bool connecting = false;
  std::uint32_t attempt = 0;
  // Re-armed only when it fires, for the last activity plus the idle time.
  std::optional<asio::steady_timer> idle_timer;
  std::chrono::steady_clock::time_point last_activity;
};

RelayPump::RelayPump(asio::io_context& io, std::chrono::milliseconds connect_timeout,
                     std::chrono::milliseconds idle_timeout)
    : io_(io), connect_timeout_(connect_timeout), idle_timeout_(idle_timeout), connect_timer_(io) {
  epoll_fd_ = epoll_create1(EPOLL_CLOEXEC);
  if (epoll_fd_ < 0) {
    setup_error_ = std::error_code(errno, std::system_category());
    return;
  }
  watcher_ = std::make_unique<asio::posix::stream_descriptor>(io_);
  asio::error_code ec;
  watcher_->assign(epoll_fd_, ec);
  if (ec) {
    setup_error_ = ec;
    watcher_.reset();
    close(epoll_fd_);
    epoll_fd_ = -1;
  }
}

RelayPump::~RelayPump() {
  *alive_ = false;
  // The watcher owns the set's descriptor and closes it.
  watcher_.reset();
}

asio::awaitable<RelayOutcome> RelayPump::Relay(int inbound,
                                               std::shared_ptr<const MailServerAddresses> endpoints,
                                               UniqueFd& outbound, std::string preamble) {
  co_return co_await asio::async_initiate<decltype(asio::use_awaitable), void(RelayOutcome)>(
      [this, inbound, &outbound, &preamble](auto handler,
                                            std::shared_ptr<const MailServerAddresses> addresses) {
        Start(inbound, std::move(addresses), outbound, preamble,
              std::make_unique<StoredHandler<RelayOutcome, decltype(handler)>>(std::move(handler),
                                                                               io_));
      },
      asio::use_awaitable, std::move(endpoints));
}

void RelayPump::Start(int inbound_fd, std::shared_ptr<const MailServerAddresses> endpoints,
                      UniqueFd& outbound, std::string_view preamble,
                      std::unique_ptr<RelayWaiter> waiter) {
  if (epoll_fd_ < 0) {
    waiter->Complete(RelayOutcome{RelayEnd::kInboundError, setup_error_});
    return;
  }
  const std::uint64_t id = next_id_++;
  auto pair = std::make_unique<Pair>();
  pair->waiter = std::move(waiter);
  pair->sides[0].fd = inbound_fd;
  pair->endpoints = std::move(endpoints);
  pair->outbound = &outbound;
  // The preamble takes the client's buffer as if the client had sent it: it
  // goes out through the same writes once the connection is made, and the
  // client's own bytes are read only after its last byte has left, so a
  // partial send can never let one of them ahead.
  if (!preamble.empty()) {
    Pair::Side& client = pair->sides[0];
    client.size = std::max(client.size, preamble.size());
    client.buffer = std::make_unique_for_overwrite<char[]>(client.size);
    std::copy(preamble.begin(), preamble.end(), client.buffer.get());
    client.end = preamble.size();
  }
  Pair& relayed = *live_.emplace(id, std::move(pair)).first->second;
  // Edge-triggered and never changed: a side is read until it is drained or
  // its bytes wait for room on the other side, and room arriving is an edge
  // of its own. Nothing is removed at the end either: the caller closes the
  // sockets, which takes them out of the set, and an event for an ended pair
  // finds no pair under its number.
  epoll_event event{};
  event.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
  event.data.u64 = id << 1;
  if (epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, inbound_fd, &event) != 0) {
    Finish(id, RelayEnd::kInboundError, errno);
    return;
  }
  if (ConnectNext(id, relayed, EHOSTUNREACH)) Arm();
}

bool RelayPump::ConnectNext(std::uint64_t id, Pair& pair, int error_number) {
  Pair::Side& server = pair.sides[1];
  while (pair.endpoints && pair.next_endpoint < pair.endpoints->size()) {
    const asio::ip::tcp::endpoint& address = (*pair.endpoints)[pair.next_endpoint++];
    pair.outbound->reset(
        socket(address.protocol().family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    server.fd = pair.outbound->get();
    if (server.fd < 0) {
      error_number = errno;
      continue;
    }
    // SMTP is a dialogue of short lines: each one goes out as it comes.
    const int on = 1;
    setsockopt(server.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const bool at_once = connect(server.fd, address.data(), address.size()) == 0;
    epoll_event event{};
    event.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
    event.data.u64 = id << 1 | 1;
    if ((!at_once && errno != EINPROGRESS) ||
        epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, server.fd, &event) != 0) {
      error_number = errno;
      pair.outbound->reset();
      server.fd = -1;
      continue;
    }
    pair.connecting = !at_once;
    if (at_once) WatchIdle(id, pair);
    if (pair.connecting) {
      ++pair.attempt;
      // Made connections leave their entries behind; the front ones go here
      // so the queue stays as short as the connections actually pending.
      while (!deadlines_.empty() && !ConnectPending(deadlines_.front())) deadlines_.pop_front();
      deadlines_.push_back({std::chrono::steady_clock::now() + connect_timeout_, id, pair.attempt});
      ArmConnectTimer();
    }
    return true;
  }
  return Finish(id, RelayEnd::kConnectFailed, error_number);
}

bool RelayPump::ConnectFailed(std::uint64_t id, Pair& pair, int error_number) {
  pair.connecting = false;
  pair.outbound->reset();
  pair.sides[1].fd = -1;
  return ConnectNext(id, pair, error_number);
}

bool RelayPump::ConnectPending(const ConnectDeadline& deadline) const {
  auto found = live_.find(deadline.id);
  return found != live_.end() && found->second->connecting &&
         found->second->attempt == deadline.attempt;
}

void RelayPump::ArmConnectTimer() {
  if (connect_timer_armed_ || deadlines_.empty()) return;
  connect_timer_armed_ = true;
  connect_timer_.expires_at(deadlines_.front().at);
  connect_timer_.async_wait([this, alive = alive_](const asio::error_code& ec) {
    if (!*alive) return;
    connect_timer_armed_ = false;
    if (!ec) OnConnectTimer();
  });
}

void RelayPump::OnConnectTimer() {
  const auto now = std::chrono::steady_clock::now();
  while (!deadlines_.empty()) {
    const ConnectDeadline next = deadlines_.front();
    if (!ConnectPending(next)) {
      deadlines_.pop_front();
      continue;
    }
    if (next.at > now) break;
    deadlines_.pop_front();
    ConnectFailed(next.id, *live_.find(next.id)->second, ETIMEDOUT);
  }
  ArmConnectTimer();
}

void RelayPump::Arm() {
  if (armed_ || live_.empty() || !watcher_) return;
  armed_ = true;
  watcher_->async_wait(asio::posix::stream_descriptor::wait_read,
                       [this, alive = alive_](const asio::error_code& ec) {
                         if (!*alive) return;
                         armed_ = false;
                         if (!ec) OnReady();
                       });
}

void RelayPump::OnReady() {
  std::array<epoll_event, kBatch> events;
  const int count = epoll_wait(epoll_fd_, events.data(), kBatch, 0);
  if (idle_timeout_.count() > 0 && count > 0) batch_time_ = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    const std::uint64_t data = events[i].data.u64;
    Handle(data >> 1, static_cast<int>(data & 1), events[i].events);
  }
  // Events beyond this batch keep the set ready, so the wait ends again at once.
  Arm();
}

void RelayPump::Handle(std::uint64_t id, int side, std::uint32_t events) {
  auto found = live_.find(id);
  if (found == live_.end()) return;  // ended earlier
  Pair& pair = *found->second;
  // Any event is a byte that came or room that a byte sent left behind.
  pair.last_activity = batch_time_;
  if (side == 1 && pair.connecting) {
    if ((events & (EPOLLERR | EPOLLHUP)) != 0) {
      int error_number = 0;
      socklen_t length = sizeof error_number;
      if (getsockopt(pair.sides[1].fd, SOL_SOCKET, SO_ERROR, &error_number, &length) != 0 ||
          error_number == 0) {
        error_number = ECONNREFUSED;
      }
      // The next address's socket reports its own state when it joins the set.
      ConnectFailed(id, pair, error_number);
      return;
    }
    if ((events & EPOLLOUT) == 0) return;
    pair.connecting = false;  // made: what the client sent meanwhile goes now
    WatchIdle(id, pair);
  }
  const int other = 1 - side;
  if ((events & (EPOLLRDHUP | EPOLLERR | EPOLLHUP)) != 0) pair.sides[side].ending = true;
  // Room on this side for bytes the other side sent: write them, then go on
  // reading the other side, which stopped while they waited.
  if ((events & (EPOLLOUT | EPOLLERR | EPOLLHUP)) != 0 && pair.sides[other].pending()) {
    if (!Flush(id, pair, other)) return;
    if (!pair.sides[other].pending() && !Drain(id, pair, other)) return;
  }
  if ((events & (EPOLLIN | EPOLLRDHUP | EPOLLERR | EPOLLHUP)) != 0 && !pair.sides[side].pending()) {
    Drain(id, pair, side);
  }
}

bool RelayPump::Drain(std::uint64_t id, Pair& pair, int side) {
  Pair::Side& from = pair.sides[side];
  for (;;) {
    if (from.grow) {
      from.size = std::min(from.size * 4, kLargestBufferSize);
      from.buffer.reset();
      from.grow = false;
    }
    if (!from.buffer) from.buffer = std::make_unique_for_overwrite<char[]>(from.size);
    const ssize_t n = recv(from.fd, from.buffer.get(), from.size, MSG_DONTWAIT);
    if (n == 0) return Finish(id, ClosedEnd(side), 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
      return Finish(id, ErrorEnd(side), errno);
    }
    from.begin = 0;
    from.end = static_cast<std::size_t>(n);
    const bool filled = from.end == from.size;
    from.grow = filled && from.size < kLargestBufferSize;
    if (!Flush(id, pair, side)) return false;
    // Waiting bytes stop the reading until the other side has room; a read
    // that did not fill the buffer took all there was, and more is an edge,
    // unless the end was already signalled.
    if (from.pending() || (!filled && !from.ending)) return true;
  }
}

bool RelayPump::Flush(std::uint64_t id, Pair& pair, int side) {
  Pair::Side& from = pair.sides[side];
  const int to = 1 - side;
  // Until the connection is made the bytes wait; its completion is the edge
  // that sends them.
  if (to == 1 && pair.connecting) return true;
  while (from.pending()) {
    const ssize_t n = send(pair.sides[to].fd, from.buffer.get() + from.begin, from.end - from.begin,
                           MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) {
      from.begin += static_cast<std::size_t>(n);
      (side == 0 ? counters_.bytes_to_mail_server : counters_.bytes_to_clients) +=
          static_cast<std::uint64_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;  // room comes as an edge
    return Finish(id, ErrorEnd(to), n < 0 ? errno : EPIPE);
  }
  from.begin = from.end = 0;
  return true;
}

bool RelayPump::Finish(std::uint64_t id, RelayEnd end, int error_number) {
  auto found = live_.find(id);
  if (found == live_.end()) return false;
  std::unique_ptr<Pair> pair = std::move(found->second);
  live_.erase(found);
  RelayOutcome outcome{end, error_number != 0
                                ? std::error_code(error_number, std::system_category())
                                : std::error_code()};
  pair->waiter->Complete(std::move(outcome));
  return false;
}

void RelayPump::WatchIdle(std::uint64_t id, Pair& pair) {
  if (idle_timeout_.count() <= 0) return;
  pair.last_activity = std::chrono::steady_clock::now();
  pair.idle_timer.emplace(io_);
  ArmIdleTimer(id, pair);
}

void RelayPump::ArmIdleTimer(std::uint64_t id, Pair& pair) {
  pair.idle_timer->expires_at(pair.last_activity + idle_timeout_);
  pair.idle_timer->async_wait([this, alive = alive_, id](const asio::error_code& ec) {
    if (!*alive || ec) return;
    auto found = live_.find(id);
    if (found == live_.end()) return;
    Pair& timed = *found->second;
    if (timed.last_activity + idle_timeout_ <= std::chrono::steady_clock::now()) {
      ++counters_.idle_timeouts;
      Finish(id, RelayEnd::kIdle, 0);
    } else {
      ArmIdleTimer(id, timed);
    }
  });
}

namespace {

void DiscardUnread(int fd) {
  std::array<char, 4096> sink;
  for (int rounds = 0; rounds < 64; ++rounds) {
    if (recv(fd, sink.data(), sink.size(), MSG_DONTWAIT) <= 0) break;
  }
}

}  // namespace

void GracefulClose(UniqueFd& socket) {
  if (!socket) return;
  // With no unread input left, close sends FIN after the queued data.
  DiscardUnread(socket.get());
  socket.reset();
}

}  // namespace vantry
