#include "monitor_channel.h"

#include <QSocketNotifier>

namespace vantry::console {

MonitorChannel::MonitorChannel(std::size_t max_queued_bytes, QObject* parent)
    : QObject(parent), max_queued_bytes_(max_queued_bytes) {}

MonitorChannel::~MonitorChannel() { SlotClose(); }

bool MonitorChannel::SlotCreate(std::string_view name) {
  SlotClose();
  if (!reader_.SlotCreate(name)) return false;
  notifier_ = std::make_unique<QSocketNotifier>(reader_.fd(), QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &MonitorChannel::Drain);
  return true;
}

void MonitorChannel::SlotClose() {
  notifier_.reset();
  reader_.SlotClose();
}

void MonitorChannel::Drain() {
  std::string chunk = reader_.SlotRead();
  if (chunk.empty()) return;
  queued_bytes_ += chunk.size();
  queue_.push_back(std::move(chunk));
  // Each chunk is whole datagrams, i.e. whole frames, so dropping chunks never
  // leaves half a frame at the front.
  while (queued_bytes_ > max_queued_bytes_ && queue_.size() > 1) {
    queued_bytes_ -= queue_.front().size();
    dropped_bytes_ += queue_.front().size();
    queue_.pop_front();
  }
}

std::string MonitorChannel::SlotRead() {
  Drain();
  std::string text;
  text.reserve(queued_bytes_);
  for (const std::string& chunk : queue_) text += chunk;
  queue_.clear();
  queued_bytes_ = 0;
  return text;
}

}  // namespace vantry::console
