#pragma once

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <chrono>
#include <deque>
#include <optional>
#include <string>

#include "mod_slot_out.h"

namespace vantry {

/// The gateway's end of the monitor channel. Send never blocks: when the
/// console's socket is momentarily full, frames wait in a bounded queue and go
/// out as soon as it drains; with no console, or a full queue, a frame is lost.
class MonitorChannel {
 public:
  MonitorChannel(asio::io_context& io, std::string name, std::size_t max_queued = 20000);

  void Send(std::string frame);
  /// Sends what is queued, waiting up to `limit` for the console to make room:
  /// the last reports before the process ends are not thrown away with it.
  void FlushFor(std::chrono::milliseconds limit);
  std::size_t queued() const { return queue_.size(); }
  std::size_t dropped() const { return dropped_; }

 private:
  SlotWriteResult TrySend(const std::string& frame);
  // Sends queued frames in order; false when the console's socket is full.
  bool SendQueued();
  void WaitWritable();
  void Flush();

  asio::io_context& io_;
  SlotWriter writer_;
  std::deque<std::string> queue_;
  std::size_t max_queued_;
  std::size_t dropped_ = 0;
  std::optional<asio::posix::stream_descriptor> waiter_;
  bool waiting_ = false;
  std::chrono::steady_clock::time_point next_connect_attempt_{};
};

}  // namespace vantry
