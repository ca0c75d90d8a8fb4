#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantry {

/// The most slots a gateway serves (slots 0 ... 65535), and so the most rows
/// a monitor frame may ask the console for.
inline constexpr std::int32_t kMaxSlotCount = 65536;

/// Folder of the channel's socket: /run/vantry for root and the service
/// account (only they may enter it), else a private folder of the user's own
/// ($XDG_RUNTIME_DIR/vantry, or /tmp/vantry-<uid>).
std::string MailslotDirectory();

/// The channel's socket file: an absolute name as it stands, any other name
/// inside MailslotDirectory() with each "/" written as "_".
std::string MailslotPath(std::string_view name);

/// The monitor channel's name: $VANTRY_MAILSLOT, else "\\.\mailslot\korvane\daskvantry".
std::string MailslotName();

/// The name the console creates from its Gateway setting; nullopt when the
/// server part is not the local machine ("\\."), since a channel can only be
/// created locally. $VANTRY_MAILSLOT replaces the whole name.
std::optional<std::string> ConsoleMailslotName(std::string_view gateway);

/// Outcome of one SlotWrite.
enum class SlotWriteResult { kSent, kEmpty, kWouldBlock, kNoReader, kFailed };

/// Gateway end: a non-blocking datagram socket aimed at the console's
/// socket file. A whole frame travels in one datagram, so a
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
  // The folder name_ lies in, checked before each connect; empty for a path
  // given whole.
  std::string folder_;
  int fd_ = -1;
};

/// Console end: owns the channel's name while it lives; a second SlotCreate
/// on the same name (from any process) fails. Only frames sent by root, the
/// service account or the reader's own user are read; others are dropped.
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
  /// Datagrams dropped because their sender was not allowed to write.
  std::size_t refused() const { return refused_; }

 private:
  int fd_ = -1;
  int lock_fd_ = -1;
  std::string path_;
  std::vector<uid_t> senders_;
  std::size_t refused_ = 0;
};

}  // namespace vantry
