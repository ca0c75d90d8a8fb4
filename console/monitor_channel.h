#pragma once

#include <QObject>
#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

#include "mod_slot_out.h"

class QSocketNotifier;

namespace vantry::console {

/// The console's end of the monitor channel. The kernel keeps only a handful
/// of datagrams per socket, so the channel is drained the moment data arrives
/// into a bounded queue of our own; the monitor poll then reads the queue.
/// While nobody polls (watching stopped) the queue keeps what arrives up to
/// its bound, dropping the oldest frames first so the table ends up current.
class MonitorChannel : public QObject {
  Q_OBJECT

 public:
  /// Default bound of the queue: far more than a burst of reports.
  static constexpr std::size_t kDefaultMaxQueuedBytes = 16 * 1024 * 1024;

  explicit MonitorChannel(std::size_t max_queued_bytes = kDefaultMaxQueuedBytes,
                          QObject* parent = nullptr);
  ~MonitorChannel() override;

  /// Creates (binds) the channel; false when another console holds the name.
  bool SlotCreate(std::string_view name);
  /// Closes the channel; what is queued stays readable.
  void SlotClose();
  bool IsOpen() const { return reader_.fd() >= 0; }
  /// Everything waiting, frames in arrival order; empties the queue.
  std::string SlotRead();
  /// Bytes currently queued and bytes dropped because the queue was full.
  std::size_t queued_bytes() const { return queued_bytes_; }
  std::size_t dropped_bytes() const { return dropped_bytes_; }

 private:
  void Drain();

  SlotReader reader_;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::deque<std::string> queue_;
  std::size_t max_queued_bytes_;
  std::size_t queued_bytes_ = 0;
  std::size_t dropped_bytes_ = 0;
};

}  // namespace vantry::console
