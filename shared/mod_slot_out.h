#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantry {

/// The monitor channel's name: $VANTRY_MAILSLOT, else "\\.\mailslot\korvane\daskvantry".
std::string MailslotName();

/// The name the console creates from its Gateway setting; nullopt when the
/// server part is not the local machine ("\\."), since a channel can only be
/// created locally. $VANTRY_MAILSLOT replaces the whole name.
std::optional<std::string> ConsoleMailslotName(std::string_view gateway);

/// Outcome of one SlotWrite.
enum class SlotWriteResult { kSent, kEmpty, kWouldBlock, kNoReader, kFailed };

/// Gateway end: a non-blocking datagram socket aimed at the console's
/// abstract-namespace socket. A whole frame travels in one datagram, so a
/// reader never sees half a frame.
class SlotWriter {
 public:
  explicit SlotWriter(std::string name = MailslotName());
  ~SlotWriter();
  SlotWriter(const SlotWriter&) = delete;
  SlotWriter& operator=(const SlotWriter&) = delete;

  /// Connects to the reader; without one the handle stays invalid and writes fail.
  void SlotOpen();
  /// Sends the message unless it is blank; never blocks.
  SlotWriteResult SlotWrite(std::string_view message);
  void SlotClose();
  /// The socket, for waiting until it is writable again; -1 when none.
  int fd() const { return fd_; }

 private:
  std::string name_;
  int fd_ = -1;
};

/// Console end: owns the channel's name while it lives; a second SlotCreate
/// on the same name (from any process) fails.
class SlotReader {
 public:
  SlotReader() = default;
  ~SlotReader();
  SlotReader(const SlotReader&) = delete;
  SlotReader& operator=(const SlotReader&) = delete;

  /// Binds the name; false when it is taken, too long or cannot be bound.
  bool SlotCreate(std::string_view name);
  /// Everything waiting, frames concatenated in arrival order; "" when nothing.
  std::string SlotRead();
  void SlotClose();
  /// The socket, for a readiness notifier; -1 when none.
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

}  // namespace vantry
