#pragma once

#include <asio/awaitable.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <cstdint>
#include <memory>
#include <system_error>
#include <unordered_map>

#include "stored_completion.h"

namespace vantry {

/// How a relayed connection ended, named after the side that ended it.
enum class RelayEnd { kInboundClosed, kInboundError, kOutboundClosed, kOutboundError };

struct RelayOutcome {
  RelayEnd end;
  std::error_code error;  // empty for a plain close
};

using RelayWaiter = StoredCompletion<RelayOutcome>;

/// Copies bytes both ways between relayed connections until one side closes or
/// fails. Each direction writes all it has read before it reads again, so a
/// slow reader slows its writer down and no byte is lost or reordered.
///
/// An Asio socket read tries the socket once before it waits, and in an SMTP
/// dialogue the next message never arrives before the last one is answered:
/// that is a system call that finds nothing for every message relayed. The
/// pump keeps the relayed sockets in an edge-triggered epoll set of its own
/// and reads a socket only when the set says it has something. The set is
/// watched by the io_context like any other descriptor, so everything still
/// runs on the one thread.
class RelayPump {
 public:
  explicit RelayPump(asio::io_context& io);
  ~RelayPump();
  RelayPump(const RelayPump&) = delete;
  RelayPump& operator=(const RelayPump&) = delete;

  /// Relays between two connected sockets until one side ends. The sockets
  /// stay open; closing them, which also takes them out of the pump's set, is
  /// the caller's, and must follow at once.
  asio::awaitable<RelayOutcome> Relay(asio::ip::tcp::socket& inbound,
                                      asio::ip::tcp::socket& outbound);

 private:
  struct Pair;
  void Start(asio::ip::tcp::socket& inbound, asio::ip::tcp::socket& outbound,
             std::unique_ptr<RelayWaiter> waiter);
  void Arm();
  void OnReady();
  void Handle(std::uint64_t id, int side, std::uint32_t events);
  // These return false once the pair has ended.
  bool Drain(std::uint64_t id, Pair& pair, int side);
  bool Flush(std::uint64_t id, Pair& pair, int side);
  bool Finish(std::uint64_t id, RelayEnd end, int error_number);

  asio::io_context& io_;
  int epoll_fd_ = -1;
  std::error_code setup_error_;
  std::unique_ptr<asio::posix::stream_descriptor> watcher_;
  bool armed_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::uint64_t next_id_ = 1;
  std::unordered_map<std::uint64_t, std::unique_ptr<Pair>> live_;
};

/// Ends our side of a socket gracefully: sends FIN after queued data and drops
/// unread input first, so the close is not turned into a reset that would
/// discard bytes still on their way to the peer.
void GracefulClose(asio::ip::tcp::socket& socket);

}  // namespace vantry
