#include "monitor_channel.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace vantry {
namespace {

// With no console running every report would cost a socket, a refused connect
// and a close; asking again after this pause costs almost nothing, and a
// console that has just started misses at most this much.
constexpr auto kReconnectPause = std::chrono::milliseconds(20);

}  // namespace

MonitorChannel::MonitorChannel(asio::io_context& io, std::string name, std::size_t max_queued)
    : io_(io), writer_(std::move(name)), max_queued_(max_queued) {}

SlotWriteResult MonitorChannel::TrySend(const std::string& frame) {
  const bool was_connected = writer_.fd() >= 0;
  if (!was_connected) {
    auto now = std::chrono::steady_clock::now();
    if (now < next_connect_attempt_) return SlotWriteResult::kNoReader;
    writer_.SlotOpen();
    if (writer_.fd() < 0) {
      next_connect_attempt_ = now + kReconnectPause;
      return SlotWriteResult::kNoReader;
    }
  }
  SlotWriteResult result = writer_.SlotWrite(frame);
  if (!was_connected && result != SlotWriteResult::kSent &&
      result != SlotWriteResult::kWouldBlock) {
    writer_.SlotClose();  // still no console: try again with the next report
    return result;
  }
  if (result == SlotWriteResult::kNoReader || result == SlotWriteResult::kFailed) {
    // The console may have restarted since we connected: try a fresh connection once.
    writer_.SlotClose();
    waiter_.reset();
    writer_.SlotOpen();
    result = writer_.SlotWrite(frame);
    if (result != SlotWriteResult::kSent && result != SlotWriteResult::kWouldBlock) {
      writer_.SlotClose();
      next_connect_attempt_ = std::chrono::steady_clock::now() + kReconnectPause;
    }
  }
  return result;
}

void MonitorChannel::Send(std::string frame) {
  // Queued frames with no wait armed (it could not be set up) would otherwise
  // never leave: each new report tries them first.
  if (!queue_.empty() && !waiting_) Flush();
  if (!queue_.empty()) {
    if (queue_.size() >= max_queued_) {
      ++dropped_;
      return;
    }
    queue_.push_back(std::move(frame));
    return;
  }
  if (TrySend(frame) == SlotWriteResult::kWouldBlock) {
    queue_.push_back(std::move(frame));
    WaitWritable();
  }
}

bool MonitorChannel::SendQueued() {
  while (!queue_.empty()) {
    SlotWriteResult result = TrySend(queue_.front());
    if (result == SlotWriteResult::kWouldBlock) return false;
    if (result != SlotWriteResult::kSent) {
      // The console went away: what is queued for it is lost, as a report is
      // lost when no console runs at all.
      dropped_ += queue_.size();
      queue_.clear();
      return true;
    }
    queue_.pop_front();
  }
  return true;
}

void MonitorChannel::Flush() {
  if (!SendQueued()) WaitWritable();
}

void MonitorChannel::FlushFor(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!SendQueued()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    pollfd room{.fd = writer_.fd(), .events = POLLOUT, .revents = 0};
    if (poll(&room, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) return;
  }
}

void MonitorChannel::WaitWritable() {
  if (waiting_ || writer_.fd() < 0) return;
  if (!waiter_) {
    int fd = dup(writer_.fd());
    if (fd < 0) return;
    waiter_.emplace(io_, fd);
  }
  waiting_ = true;
  waiter_->async_wait(asio::posix::descriptor_base::wait_write, [this](std::error_code ec) {
    waiting_ = false;
    if (ec == asio::error::operation_aborted) return;
    Flush();
  });
}

}  // namespace vantry
