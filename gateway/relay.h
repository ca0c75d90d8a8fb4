#pragma once

#include <asio/awaitable.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "metrics/gateway_counters.h"
#include "stored_completion.h"
#include "unique_fd.h"

namespace vantry {

/// How a relayed connection ended, named after the side that ended it;
/// kConnectFailed when no address of the mail server took the connection, kIdle
/// when neither side sent a byte for the idle time.
enum class RelayEnd {
  kInboundClosed,
  kInboundError,
  kOutboundClosed,
  kOutboundError,
  kConnectFailed,
  kIdle
};

struct RelayOutcome {
  RelayEnd end;
  std::error_code error;  // empty for a plain close
};

using RelayWaiter = StoredCompletion<RelayOutcome>;
using MailServerAddresses = std::vector<asio::ip::tcp::endpoint>;

/// Opens the connection to the mail server for an accepted client, then copies
/// bytes both ways until one side closes or fails. Each direction writes all
/// it has read before it reads again, so a slow reader slows its writer down
/// and no byte is lost or reordered.
///
/// An Asio socket read tries the socket once before it waits, and in an SMTP
/// dialogue the next message never arrives before the last one is answered:
/// that is a system call that finds nothing for every message relayed. The
/// pump keeps the relayed sockets in an edge-triggered epoll set of its own
/// and reads a socket only when the set says it has something. The set is
/// watched by the io_context like any other descriptor, so everything still
/// runs on the one thread. The outbound connection is made in the same set,
/// which spares the registration, mode change and polling that an Asio connect
/// costs for every session.
class RelayPump {
 public:
  static constexpr std::chrono::milliseconds kDefaultConnectTimeout{30000};

  /// `connect_timeout` is the time each address of the mail server gets to
  /// take the connection; a made connection with no byte either way for
  /// `idle_timeout` ends as kIdle (zero: never).
  explicit RelayPump(asio::io_context& io,
                     std::chrono::milliseconds connect_timeout = kDefaultConnectTimeout,
                     std::chrono::milliseconds idle_timeout = std::chrono::milliseconds::zero());
  ~RelayPump();
  RelayPump(const RelayPump&) = delete;
  RelayPump& operator=(const RelayPump&) = delete;

  /// Connects to the first of `endpoints` that takes the connection, then
  /// relays between `inbound` and it until one side ends. `outbound` owns the
  /// connection from the moment it is opened. Both stay open at the end;
  /// closing them, which also takes them out of the pump's set, is the
  /// caller's and must follow at once. When no address takes the connection
  /// the relay ends as kConnectFailed with the last address's reason. What the
  /// client sends meanwhile waits and goes to the connection that is made.
  /// The address list is shared, so a session costs no copy of it.
  /// `preamble` (a PROXY header, or nothing) goes to the mail server before
  /// the first byte of the client's.
  asio::awaitable<RelayOutcome> Relay(int inbound,
                                      std::shared_ptr<const MailServerAddresses> endpoints,
                                      UniqueFd& outbound, std::string preamble = {});
  /// Bytes relayed each way and idle endings since the pump was made.
  const RelayCounters& counters() const { return counters_; }

 private:
  struct Pair;
  struct ConnectDeadline {
    std::chrono::steady_clock::time_point at;
    std::uint64_t id;
    std::uint32_t attempt;
  };
  void Start(int inbound_fd, std::shared_ptr<const MailServerAddresses> endpoints,
             UniqueFd& outbound, std::string_view preamble, std::unique_ptr<RelayWaiter> waiter);
  // Tries the pair's remaining addresses; false once the pair has ended.
  bool ConnectNext(std::uint64_t id, Pair& pair, int error_number);
  // Closes the failed attempt and goes on with the next address.
  bool ConnectFailed(std::uint64_t id, Pair& pair, int error_number);
  bool ConnectPending(const ConnectDeadline& deadline) const;
  void ArmConnectTimer();
  void OnConnectTimer();
  void Arm();
  void OnReady();
  void Handle(std::uint64_t id, int side, std::uint32_t events);
  // These return false once the pair has ended.
  bool Drain(std::uint64_t id, Pair& pair, int side);
  bool Flush(std::uint64_t id, Pair& pair, int side);
  bool Finish(std::uint64_t id, RelayEnd end, int error_number);
  // From the moment the connection is made, until the pair ends.
  void WatchIdle(std::uint64_t id, Pair& pair);
  void ArmIdleTimer(std::uint64_t id, Pair& pair);

  asio::io_context& io_;
  const std::chrono::milliseconds connect_timeout_;
  const std::chrono::milliseconds idle_timeout_;
  // Taken once per batch of events: every pair with an event in the batch was
  // active then, which spares a clock reading per system call.
  std::chrono::steady_clock::time_point batch_time_;
  int epoll_fd_ = -1;
  std::error_code setup_error_;
  std::unique_ptr<asio::posix::stream_descriptor> watcher_;
  bool armed_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::uint64_t next_id_ = 1;
  std::unordered_map<std::uint64_t, std::unique_ptr<Pair>> live_;
  // Connections being made, oldest first: every one gets the same time, so the
  // front is always the next to run out.
  std::deque<ConnectDeadline> deadlines_;
  asio::steady_timer connect_timer_;
  bool connect_timer_armed_ = false;
  RelayCounters counters_;
};

/// Ends our side of a socket gracefully: sends FIN after queued data and drops
/// unread input first, so the close is not turned into a reset that would
/// discard bytes still on their way to the peer.
void GracefulClose(UniqueFd& socket);

}  // namespace vantry
